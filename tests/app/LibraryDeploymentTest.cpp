#include "app/LibraryDeployment.h"

#include "tests/support/TestSupport.h"

#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/stat.h>

#include <csignal>
#include <filesystem>

using namespace app;

namespace {

std::vector<unsigned char> Bytes(const std::string& path)
{
    const std::string text = tests::ReadFile(path);
    return {text.begin(), text.end()};
}

std::string Library(const std::string& name)
{
    return std::string(NOTAVIA_TEST_LIBRARIES) + "/" + name;
}

} // namespace

TEST(LibraryDeployment, VersionKeyComparesAsText)
{
    struct Row
    {
        const char* Version;
        const char* Key;
    };
    const Row rows[] = {
        {"1.0.0.3", "0001.0000.0000.0003"}, {"1.0.0.10", "0001.0000.0000.0010"}, {"1.2", "0001.0002.0000.0000"},
        {"1.x.0.3", "0001.0000.0000.0003"}, {"", "0000.0000.0000.0000"},         {"2.0.0.0.9", "0002.0000.0000.0000"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.Version);
        EXPECT_EQ(VersionKey(row.Version), row.Key);
    }
    EXPECT_LT(VersionKey("1.0.0.2"), VersionKey("1.0.0.3"));
    EXPECT_GT(VersionKey("1.0.0.10"), VersionKey("1.0.0.3"));
}

TEST(LibraryDeployment, ReadsTheVersionWithoutLoadingTheFile)
{
    EXPECT_EQ(ReadLibraryVersion(tests::ProgramDir() + "NotaviaNFSe.so"), std::string(kLibraryVersion));
    EXPECT_EQ(ReadLibraryVersion(Library("version_1_0_0_10.so")), "1.0.0.10");
    EXPECT_EQ(ReadLibraryVersion(Library("no_version.so")), std::nullopt);
    tests::WriteFile(tests::TempDir() + "texto.so", "not an ELF file at all");
    EXPECT_EQ(ReadLibraryVersion(tests::TempDir() + "texto.so"), std::nullopt);
    EXPECT_EQ(ReadLibraryVersion(tests::TempDir() + "ausente.so"), std::nullopt);
    const std::vector<unsigned char> truncated(64, 0x7F);
    EXPECT_EQ(ReadLibraryVersion(std::span<const unsigned char>(truncated)), std::nullopt);
}

TEST(LibraryDeployment, ReplacesOnlyMissingOlderOrUnversionedCopies)
{
    const std::vector<unsigned char> embedded = Bytes(tests::ProgramDir() + "NotaviaNFSe.so");
    struct Row
    {
        const char* Name;
        const char* Existing; // empty: no file
        DeployResult Expected;
    };
    const Row rows[] = {
        {"Ausente", "", DeployResult::Written},
        {"Mais antiga", "version_1_0_0_2.so", DeployResult::Replaced},
        {"Sem versao", "no_version.so", DeployResult::Replaced},
        {"Mesma", "version_1_0_0_3.so", DeployResult::Kept},
        {"Mais nova", "version_1_0_0_10.so", DeployResult::Kept},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.Name);
        const std::string target = tests::TempDir() + "NotaviaNFSe.so";
        std::filesystem::remove(target);
        std::string before;
        if (*row.Existing) {
            std::filesystem::copy_file(Library(row.Existing), target);
            before = tests::ReadFile(target);
        }
        EXPECT_EQ(DeployLibrary(target, embedded, "1.0.0.3"), row.Expected);
        const std::string after = tests::ReadFile(target);
        if (row.Expected == DeployResult::Kept) {
            EXPECT_EQ(after, before);
        } else {
            EXPECT_EQ(after, std::string(embedded.begin(), embedded.end()));
            struct stat info
            { };
            ASSERT_EQ(stat(target.c_str(), &info), 0);
            EXPECT_EQ(info.st_mode & 0777, 0755u);
        }
        // Nothing but the library is left in the folder.
        EXPECT_EQ(std::distance(std::filesystem::directory_iterator(tests::TempDir()), {}), 1);
    }
}

TEST(LibraryDeployment, AFailedWriteLeavesTheOldCopyWhole)
{
    const std::string target = tests::TempDir() + "NotaviaNFSe.so";
    std::filesystem::copy_file(Library("version_1_0_0_2.so"), target);
    const std::string before = tests::ReadFile(target);
    const std::vector<unsigned char> embedded = Bytes(tests::ProgramDir() + "NotaviaNFSe.so");

    // A file size limit makes the write fail part-way, even for root.
    signal(SIGXFSZ, SIG_IGN);
    rlimit previous {};
    getrlimit(RLIMIT_FSIZE, &previous);
    const rlimit small {4096, previous.rlim_max};
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);
    EXPECT_THROW(DeployLibrary(target, embedded, "1.0.0.3"), std::runtime_error);
    setrlimit(RLIMIT_FSIZE, &previous);

    EXPECT_EQ(tests::ReadFile(target), before);
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(tests::TempDir()), {}), 1) << "no temporary file left";
}
