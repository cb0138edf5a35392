#include "transmission/Exports.h"

// The version travels in an ELF note so the desktop program can tell, without loading the
// file, whether the copy beside it is older than the one it carries.
#define NOTAVIA_STRINGIFY2(x) #x
#define NOTAVIA_STRINGIFY(x) NOTAVIA_STRINGIFY2(x)
__asm__(".pushsection .note.notavia.version,\"a\",@note\n"
        ".balign 4\n"
        ".long 8\n"
        ".long 2f - 1f\n"
        ".long 1\n"
        ".asciz \"Notavia\"\n"
        "1: .asciz \"" NOTAVIA_STRINGIFY(NOTAVIA_LIBRARY_VERSION) "\"\n"
                                                                  "2: .balign 4\n"
                                                                  ".popsection\n");
