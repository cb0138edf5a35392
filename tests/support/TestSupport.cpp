#include "tests/support/TestSupport.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <vector>

namespace tests {
namespace {

std::string s_tempDir;

std::vector<std::function<void()>>& StartActions()
{
    static std::vector<std::function<void()>> actions;
    return actions;
}

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
        // The per-user stores (remembered login, imported certificates) of a test are its own,
        // never those of whoever runs the tests.
        setenv("XDG_CONFIG_HOME", (s_tempDir + "config").c_str(), 1);
        setenv("XDG_DATA_HOME", (s_tempDir + "data").c_str(), 1);
        for (const std::function<void()>& action : StartActions()) {
            action();
        }
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

void AtEachTestStart(std::function<void()> action)
{
    StartActions().push_back(std::move(action));
}

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

ProgramRun RunProgram(const std::string& program, const std::vector<std::string>& args, std::string_view input,
                      bool mergeErrors)
{
    const std::string inputFile = TempDir() + "program-stdin.txt";
    const std::string outputFile = TempDir() + "program-stdout.txt";
    const std::string errorFile = TempDir() + "program-stderr.txt";
    WriteFile(inputFile, input);
    std::vector<char*> argv;
    argv.push_back(const_cast<char*>(program.c_str()));
    for (const std::string& arg : args) {
        argv.push_back(const_cast<char*>(arg.c_str()));
    }
    argv.push_back(nullptr);

    const pid_t child = fork();
    if (child == 0) {
        const int in = open(inputFile.c_str(), O_RDONLY);
        const int out = open(outputFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        const int err = mergeErrors ? out : open(errorFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        if (in < 0 || out < 0 || err < 0 || dup2(in, 0) < 0 || dup2(out, 1) < 0 || dup2(err, 2) < 0) {
            _exit(127);
        }
        execv(program.c_str(), argv.data());
        _exit(127);
    }
    ProgramRun run;
    int status = 0;
    if (child < 0 || waitpid(child, &status, 0) != child) {
        return run;
    }
    run.Status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    run.Output = ReadFile(outputFile);
    run.Errors = mergeErrors ? std::string() : ReadFile(errorFile);
    return run;
}

void InstallTestEnvironment()
{
    ::testing::UnitTest::GetInstance()->listeners().Append(new TempDirListener);
}

} // namespace tests
