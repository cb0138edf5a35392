// Linked into the test programs of the engine: every test keeps the engine's error log in its
// own temporary folder, which goes away with it, instead of beside the test program.

#include "engine/mvlExceptions.h"
#include "tests/support/TestSupport.h"

namespace {

const bool s_registered = [] {
    tests::AtEachTestStart([] { EmvlNFSeException::SetErrorLogFolder(tests::TempDir()); });
    return true;
}();

} // namespace
