// The executable's image on Windows: its PE header says how large it is.
#include "platform/image/ProgramImage.h"

#include <windows.h>

// The linker's name for the module's own base address (of the .exe, as this file is
// linked into programs only).
extern "C" IMAGE_DOS_HEADER __ImageBase;

namespace platform {

bool InProgramImage(const void* address) {
    const char* base = reinterpret_cast<const char*>(&__ImageBase);
    const auto* nt = reinterpret_cast<const IMAGE_NT_HEADERS*>(base + __ImageBase.e_lfanew);
    const char* p = static_cast<const char*>(address);
    return p >= base && p < base + nt->OptionalHeader.SizeOfImage;
}

}  // namespace platform
