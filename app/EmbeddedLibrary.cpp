#include "app/LibraryDeployment.h"

// The transmission library travels inside the executable, byte for byte, so the program
// folder can always be brought back to a working state by the program itself.
__asm__(".pushsection .rodata.notavia_library,\"a\",@progbits\n"
        ".balign 16\n"
        ".local notavia_library_begin\n"
        "notavia_library_begin:\n"
        ".incbin \"" NOTAVIA_EMBEDDED_LIBRARY "\"\n"
        ".local notavia_library_end\n"
        "notavia_library_end:\n"
        ".popsection\n");

extern "C" const unsigned char notavia_library_begin[];
extern "C" const unsigned char notavia_library_end[];

namespace app {

std::span<const unsigned char> EmbeddedLibrary()
{
    return {notavia_library_begin, static_cast<size_t>(notavia_library_end - notavia_library_begin)};
}

} // namespace app
