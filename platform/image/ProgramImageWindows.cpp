// Whose code lies where on Windows: the executable's extent from its PE header. The C++
// runtime is linked into the program (-static), so it is the program's code; and a DLL's
// requests go to the operator new it was linked with, never to the program's, so
// nothing reaches the allocator from the runtime's code and there is nothing to walk.
#include "platform/image/ProgramImage.h"

#include <windows.h>

// The linker's name for the module's own base address (of the .exe, as this file is
// linked into programs only).
extern "C" IMAGE_DOS_HEADER __ImageBase;

namespace platform {

CodeOwner OwnerOfCode(const void* address) {
    const char* base = reinterpret_cast<const char*>(&__ImageBase);
    const auto* nt = reinterpret_cast<const IMAGE_NT_HEADERS*>(base + __ImageBase.e_lfanew);
    const char* p = static_cast<const char*>(address);
    return p >= base && p < base + nt->OptionalHeader.SizeOfImage ? CodeOwner::kProgram
                                                                  : CodeOwner::kLibrary;
}

CodeOwner OwnerPastRuntime(const void*) { return CodeOwner::kLibrary; }

}  // namespace platform
