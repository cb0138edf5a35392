#pragma once

#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace tests {

// The current test's private folder: created empty before the test, removed after it
// (kept when NOTAVIA_KEEP_TEST_TMP is set). TMPDIR points at it during the test.
const std::string& TempDir();

// The built program folder (build/bin/) and the source tree, with trailing "/".
std::string ProgramDir();
std::string SourceDir();

// A copy of tests/data/<relative> inside TempDir(); fixtures are never written in place.
std::string CopyFixture(std::string_view relative);

std::string ReadFile(const std::string& path);
void WriteFile(const std::string& path, std::string_view bytes);

// Runs a program of the program folder (or any path) without a shell, feeding it `input` and
// collecting what it writes; with mergeErrors both streams land in Output, in order.
struct ProgramRun
{
    int Status = -1;
    std::string Output;
    std::string Errors;
};
ProgramRun RunProgram(const std::string& program, const std::vector<std::string>& args, std::string_view input = {},
                      bool mergeErrors = false);

// Installs the listener that gives each test its folder. The test mains call it.
void InstallTestEnvironment();

// Runs `action` at the start of every test, once its TempDir() exists; for test programs that
// point a process-wide setting into the test's folder. Callable from static initialisers.
void AtEachTestStart(std::function<void()> action);

} // namespace tests
