// The executable's image on ELF systems: the linker's symbols around its code.
#include "platform/image/ProgramImage.h"

// Defined by the GNU and LLVM linkers for every executable: the first byte of the image
// and the end of its code. They are relocated with the image, so a position-independent
// executable gets its load addresses.
extern "C" char __executable_start[];
extern "C" char etext[];

namespace platform {

bool InProgramImage(const void* address) {
    const char* p = static_cast<const char*>(address);
    return p >= __executable_start && p < etext;
}

}  // namespace platform
