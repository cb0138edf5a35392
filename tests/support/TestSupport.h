#pragma once

#include <string>
#include <string_view>

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

// Installs the listener that gives each test its folder. The test mains call it.
void InstallTestEnvironment();

} // namespace tests
