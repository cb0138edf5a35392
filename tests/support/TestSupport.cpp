#include "tests/support/TestSupport.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>

namespace tests {
namespace {

std::string s_tempDir;

std::string EnvFolder(const char* name, const char* fallback)
{
    const char* value = std::getenv(name);
    std::string folder = value && *value ? value : fallback;
    if (folder.empty() || folder.back() != '/') {
        folder += '/';
    }
    return folder;
}

class TempDirListener : public ::testing::EmptyTestEventListener
{
    void OnTestStart(const ::testing::TestInfo& info) override
    {
        const std::string root = EnvFolder("NOTAVIA_TEST_TMP", "/tmp/notavia-tests");
        std::filesystem::create_directories(root);
        std::string name = std::string(info.test_suite_name()) + "." + info.name();
        for (char& c : name) {
            if (c == '/' || c == ' ') {
                c = '_';
            }
        }
        std::string pattern = root + name + ".XXXXXX";
        if (!mkdtemp(pattern.data())) {
            throw std::runtime_error("mkdtemp failed under " + root);
        }
        s_tempDir = pattern + "/";
        setenv("TMPDIR", s_tempDir.c_str(), 1);
    }

    void OnTestEnd(const ::testing::TestInfo&) override
    {
        if (!std::getenv("NOTAVIA_KEEP_TEST_TMP") && !s_tempDir.empty()) {
            std::error_code ignored;
            std::filesystem::remove_all(s_tempDir, ignored);
        }
        s_tempDir.clear();
    }
};

} // namespace

const std::string& TempDir()
{
    if (s_tempDir.empty()) {
        throw std::logic_error("TempDir() used outside a running test");
    }
    return s_tempDir;
}

std::string ProgramDir()
{
    return EnvFolder("NOTAVIA_PROGRAM_DIR", NOTAVIA_DEFAULT_PROGRAM_DIR);
}

std::string SourceDir()
{
    return EnvFolder("NOTAVIA_SOURCE_DIR", NOTAVIA_DEFAULT_SOURCE_DIR);
}

std::string CopyFixture(std::string_view relative)
{
    const std::filesystem::path source = SourceDir() + "tests/data/" + std::string(relative);
    const std::filesystem::path target = TempDir() + source.filename().string();
    std::filesystem::copy(source, target,
                          std::filesystem::copy_options::recursive | std::filesystem::copy_options::overwrite_existing);
    return target.string();
}

std::string ReadFile(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        throw std::runtime_error("cannot read " + path);
    }
    std::ostringstream buffer;
    buffer << in.rdbuf();
    return buffer.str();
}

void WriteFile(const std::string& path, std::string_view bytes)
{
    std::filesystem::create_directories(std::filesystem::path(path).parent_path());
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    if (!out) {
        throw std::runtime_error("cannot write " + path);
    }
}

void InstallTestEnvironment()
{
    ::testing::UnitTest::GetInstance()->listeners().Append(new TempDirListener);
}

} // namespace tests
