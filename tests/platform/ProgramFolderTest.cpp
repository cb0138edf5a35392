#include "platform/ProgramFolder.h"

#include "tests/support/TestSupport.h"

#include <gtest/gtest.h>

#include <filesystem>

using namespace platform;
using tests::TempDir;

TEST(ProgramFolder, IsTheExecutablesFolderWithTrailingSlash)
{
    const std::string folder = ProgramFolder();
    ASSERT_FALSE(folder.empty());
    EXPECT_EQ(folder.back(), '/');
    EXPECT_TRUE(DirectoryExists(folder));
    EXPECT_TRUE(std::filesystem::exists(folder + "platform_tests"));
}

TEST(ProgramFolder, JoinsBackslashPaths)
{
    EXPECT_EQ(JoinPath("/opt/notavia/", "NFSe\\Engine\\PadraoTx2\\"), "/opt/notavia/NFSe/Engine/PadraoTx2/");
    EXPECT_EQ(JoinPath("/opt/notavia", "\\Log"), "/opt/notavia/Log");
    EXPECT_EQ(JoinPath("/opt/notavia/", "nfseConfig.ini"), "/opt/notavia/nfseConfig.ini");
    EXPECT_EQ(ExtractFileName("/a/b/Lote12.tx2"), "Lote12.tx2");
    EXPECT_EQ(ExtractFilePath("NFSe\\Engine\\x.xml"), "NFSe/Engine/");
    EXPECT_EQ(ExtractFilePath("x.xml"), "");
}

TEST(ProgramFolder, FindsFilesWhoseCaseDiffers)
{
    const std::string root = TempDir();
    ASSERT_TRUE(ForceDirectories(root + "NFSe/Engine/Templates", 0755));
    tests::WriteFile(root + "NFSe/Engine/Templates/Envelope_SOAP.xml", "<x/>");
    EXPECT_EQ(FindFileIgnoringCase(root + "nfse/engine/templates/envelope_soap.xml"),
              root + "NFSe/Engine/Templates/Envelope_SOAP.xml");
    EXPECT_EQ(FindFileIgnoringCase(JoinPath(root, "NFSE\\ENGINE\\TEMPLATES\\")), root + "NFSe/Engine/Templates/");
    EXPECT_EQ(FindFileIgnoringCase(root + "nfse/nada.xml"), root + "nfse/nada.xml");
    EXPECT_TRUE(FileExists(root + "NFSe/Engine/Templates/Envelope_SOAP.xml"));
    EXPECT_FALSE(FileExists(root + "NFSe/Engine/Templates"));
}
