#include "engine/GovX16Utility.h"

#include "tests/support/TestSupport.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

TEST(GovX16Utility, StoredPinComesBack)
{
    engine::GovX16Utility utility(tests::TempDir());
    for (const char* pin : {"1234", "s3nh@ com espaço", ""}) {
        SCOPED_TRACE(pin);
        EXPECT_EQ(utility.DecodePin(utility.EncodePin(pin)), pin);
    }
    EXPECT_EQ(utility.DecodePin("4321"), "4321"); // written by hand, in clear
}

TEST(GovX16Utility, TextFilesAcrossEncodingsAndPrivateWrites)
{
    const std::string root = tests::TempDir();
    engine::GovX16Utility utility(root);
    tests::WriteFile(root + "cp1252.xml", "<a>S\xE3o Jos\xE9</a>");
    tests::WriteFile(root + "utf8bom.xml", "\xEF\xBB\xBF<a>São José</a>");
    EXPECT_EQ(utility.ReadTextFile(root + "cp1252.xml"), "<a>São José</a>");
    EXPECT_EQ(utility.ReadTextFile(root + "UTF8BOM.XML"), "<a>São José</a>");

    const std::string log = root + "resposta.xml";
    tests::WriteFile(log, "antigo");
    ::chmod(log.c_str(), 0644);
    utility.WriteTextFile(log, "<senha>x</senha>", true);
    struct stat info
    { };
    ASSERT_EQ(::stat(log.c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0600u);
    EXPECT_EQ(tests::ReadFile(log), "<senha>x</senha>");
}
