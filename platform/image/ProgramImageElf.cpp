// Whose code lies where on ELF systems: the executable's image from the linker's symbols,
// the C++ runtime's from the loader's list of shared objects, and the walk up the stack
// with the unwinder that the runtime's own exceptions use.
#include "platform/image/ProgramImage.h"

#include <link.h>
#include <unwind.h>

#include <cstdint>
#include <cstring>

// Defined by the GNU and LLVM linkers for every executable: the first byte of the image
// and the end of its code. They are relocated with the image, so a position-independent
// executable gets its load addresses.
extern "C" char __executable_start[];
extern "C" char etext[];

namespace platform {
namespace {

// The runtime's shared objects, by the start of their file names.
const char* const kRuntimeNames[] = {"libstdc++.so", "libgcc_s.so", "libc++.so", "libc++abi.so",
                                     "libunwind.so"};

struct CodeRange {
    uintptr_t begin;
    uintptr_t end;
};

struct RuntimeCode {
    CodeRange ranges[16];
    int count = 0;
};

bool IsRuntimeName(const char* path) {
    const char* slash = std::strrchr(path, '/');
    const char* name = slash ? slash + 1 : path;
    for (const char* runtime : kRuntimeNames)
        if (std::strncmp(name, runtime, std::strlen(runtime)) == 0) return true;
    return false;
}

int AddRuntimeCode(dl_phdr_info* info, size_t, void* data) {
    auto* code = static_cast<RuntimeCode*>(data);
    if (!info->dlpi_name || !IsRuntimeName(info->dlpi_name)) return 0;
    for (int i = 0; i < info->dlpi_phnum; ++i) {
        const ElfW(Phdr)& segment = info->dlpi_phdr[i];
        if (segment.p_type != PT_LOAD || !(segment.p_flags & PF_X) || code->count == 16) continue;
        const uintptr_t begin = info->dlpi_addr + segment.p_vaddr;
        code->ranges[code->count++] = {begin, begin + segment.p_memsz};
    }
    return 0;
}

// The runtime the program links is loaded with it and stays to the end, so it is looked
// up once. A runtime that a library loads later (a driver bringing its own libc++) serves
// that library alone, and its code rightly counts as a library's.
const RuntimeCode& Runtime() {
    static const RuntimeCode code = [] {
        RuntimeCode found;
        dl_iterate_phdr(AddRuntimeCode, &found);
        return found;
    }();
    return code;
}

constexpr int kMaxFrames = 64;

struct Walk {
    uintptr_t from;
    bool reached = false;
    int frames = 0;
    CodeOwner owner = CodeOwner::kLibrary;
};

_Unwind_Reason_Code Step(_Unwind_Context* context, void* data) {
    auto* walk = static_cast<Walk*>(data);
    if (++walk->frames > kMaxFrames) return _URC_END_OF_STACK;
    const uintptr_t ip = _Unwind_GetIP(context);
    // The frames below the one asked about are the walk's and the allocator's own.
    if (!walk->reached) {
        walk->reached = ip == walk->from;
        return _URC_NO_REASON;
    }
    const CodeOwner owner = OwnerOfCode(reinterpret_cast<const void*>(ip));
    if (owner == CodeOwner::kRuntime) return _URC_NO_REASON;
    walk->owner = owner;
    return _URC_END_OF_STACK;
}

}  // namespace

CodeOwner OwnerOfCode(const void* address) {
    const auto p = reinterpret_cast<uintptr_t>(address);
    if (p >= reinterpret_cast<uintptr_t>(__executable_start) &&
        p < reinterpret_cast<uintptr_t>(etext))
        return CodeOwner::kProgram;
    const RuntimeCode& runtime = Runtime();
    for (int i = 0; i < runtime.count; ++i)
        if (p >= runtime.ranges[i].begin && p < runtime.ranges[i].end) return CodeOwner::kRuntime;
    return CodeOwner::kLibrary;
}

// The unwinder rather than frame pointers, which the runtime is built without; and
// _Unwind_Backtrace itself rather than backtrace(), so that the walk stops at the first
// frame past the runtime's. It reports a frame's return address even where that frame
// has no unwind information of its own.
CodeOwner OwnerPastRuntime(const void* returnAddress) {
    Walk walk;
    walk.from = reinterpret_cast<uintptr_t>(returnAddress);
    _Unwind_Backtrace(Step, &walk);
    return walk.owner;
}

}  // namespace platform
