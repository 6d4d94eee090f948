// Whose code lies where on Windows: each module's extent from its PE header, and the walk
// up the stack with the system's own capture, which unwinds by the modules' tables.
#include "platform/image/ProgramImage.h"

#include <windows.h>

#include <cstdint>

// The linker's name for the module's own base address (of the .exe, as this file is
// linked into programs only).
extern "C" IMAGE_DOS_HEADER __ImageBase;

namespace platform {
namespace {

struct CodeRange {
    uintptr_t begin = 0;
    uintptr_t end = 0;
    bool Holds(uintptr_t p) const { return p >= begin && p < end; }
};

CodeRange ModuleRange(const void* module) {
    const auto* dos = static_cast<const IMAGE_DOS_HEADER*>(module);
    const auto base = reinterpret_cast<uintptr_t>(module);
    const auto* nt = reinterpret_cast<const IMAGE_NT_HEADERS*>(base + dos->e_lfanew);
    return {base, base + nt->OptionalHeader.SizeOfImage};
}

// Our programs link the runtime in (-static), so it lies in the program's image; a build
// that takes it from these DLLs has them loaded with the program, to the end.
const wchar_t* const kRuntimeModules[] = {L"libstdc++-6.dll", L"libgcc_s_seh-1.dll",
                                          L"libgcc_s_dw2-1.dll", L"libc++.dll",
                                          L"libunwind.dll"};
constexpr int kRuntimeCount = sizeof kRuntimeModules / sizeof kRuntimeModules[0];

struct RuntimeCode {
    CodeRange ranges[kRuntimeCount];
};

const RuntimeCode& Runtime() {
    static const RuntimeCode code = [] {
        RuntimeCode found;
        for (int i = 0; i < kRuntimeCount; ++i)
            if (HMODULE module = GetModuleHandleW(kRuntimeModules[i]))
                found.ranges[i] = ModuleRange(module);
        return found;
    }();
    return code;
}

}  // namespace

CodeOwner OwnerOfCode(const void* address) {
    const auto p = reinterpret_cast<uintptr_t>(address);
    if (ModuleRange(&__ImageBase).Holds(p)) return CodeOwner::kProgram;
    for (const CodeRange& range : Runtime().ranges)
        if (range.Holds(p)) return CodeOwner::kRuntime;
    return CodeOwner::kLibrary;
}

CodeOwner OwnerPastRuntime(const void* returnAddress) {
    void* frames[62];  // the most one capture gives on older systems
    const USHORT count = RtlCaptureStackBackTrace(0, 62, frames, nullptr);
    USHORT i = 0;
    while (i < count && frames[i] != returnAddress) ++i;  // past the walk's and the allocator's frames
    for (++i; i < count; ++i) {
        const CodeOwner owner = OwnerOfCode(frames[i]);
        if (owner != CodeOwner::kRuntime) return owner;
    }
    return CodeOwner::kLibrary;
}

}  // namespace platform
