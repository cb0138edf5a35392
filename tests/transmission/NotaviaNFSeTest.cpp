#include "tests/support/TestSupport.h"

#include <dlfcn.h>
#include <gtest/gtest.h>

#include <memory>

namespace {

struct LibraryCloser
{
    void operator()(void* handle) const { dlclose(handle); }
};

} // namespace

TEST(NotaviaNFSe, LoadsFromTheProgramFolderWithEverySymbolResolved)
{
    const std::string path = tests::ProgramDir() + "NotaviaNFSe.so";
    std::unique_ptr<void, LibraryCloser> library(dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL));
    ASSERT_TRUE(library) << dlerror();
}

TEST(NotaviaNFSe, CarriesItsVersionInANote)
{
    const std::string bytes = tests::ReadFile(tests::ProgramDir() + "NotaviaNFSe.so");
    const std::string note = std::string("Notavia\0", 8) + NOTAVIA_LIBRARY_VERSION;
    EXPECT_NE(bytes.find(note), std::string::npos);
}
