#include "app/StartUp.h"

#include "tests/support/TestSupport.h"

#include <gtest/gtest.h>

TEST(StartUp, OnlyAnExistingFileAsFirstArgumentMeansImport)
{
    const std::string file = tests::TempDir() + "RPS_0001.txt";
    tests::WriteFile(file, "RPS");
    EXPECT_EQ(app::CommandLineImportFile({"Notavia", file}), file);
    EXPECT_EQ(app::CommandLineImportFile({"Notavia", file, "ignored"}), file);
    EXPECT_EQ(app::CommandLineImportFile({"Notavia", tests::TempDir() + "RPS_0001.tx"}), std::nullopt);
    EXPECT_EQ(app::CommandLineImportFile({"Notavia", tests::TempDir()}), std::nullopt) << "a folder is no file";
    EXPECT_EQ(app::CommandLineImportFile({"Notavia", "", file}), std::nullopt) << "only the first argument counts";
    EXPECT_EQ(app::CommandLineImportFile({"Notavia"}), std::nullopt);
}
