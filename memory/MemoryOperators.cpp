// The tracked global allocation operators, and the tracker's start-up and exit steps.
// Linked whole into the programs that track their memory (the demo, the tracker tests).
#include "MemoryTracker.h"
#include "platform/image/ProgramImage.h"
#include "platform/memory/AlignedMemory.h"

#include <cstdlib>
#include <new>

namespace {

// The exception the tracked operator new throws when no memory can be had.
struct TrackerBadAlloc : std::bad_alloc {
    const char* what() const noexcept override { return "bad allocation"; }
};

// Whether a request with no owner set is a shared library's own (the OpenGL driver, LLVM
// under it, our stand-in for the sound library): the report counts those apart from the
// program's. `caller` is where operator new was called from. The C++ runtime runs the
// program's templates (basic_string<char> is compiled into libstdc++) as well as the
// libraries', so a request from its code belongs to whoever called into it.
bool FromLibrary(const void* caller) {
    if (MemoryTracker::InLibraryScope()) return true;
    switch (platform::OwnerOfCode(caller)) {
    case platform::CodeOwner::kProgram:
        return false;
    case platform::CodeOwner::kRuntime:
        return platform::OwnerPastRuntime(caller) == platform::CodeOwner::kLibrary;
    case platform::CodeOwner::kLibrary:
        break;
    }
    return true;
}

void* AllocateOrThrow(size_t size, AllocationType type, const void* caller) {
    if (size == 0) size = 1;
    for (;;) {
        const char* file;
        int line;
        const char* function;
        MemoryTracker::CurrentOwner(&file, &line, &function);
        const bool fromLibrary = line == 0 && FromLibrary(caller);
        if (void* p = fromLibrary ? TrackedAllocateForLibrary(type, size)
                                  : TrackedAllocate(file, line, function, type, size))
            return p;
        std::new_handler handler = std::get_new_handler();
        if (!handler) throw TrackerBadAlloc();
        handler();
    }
}

void Release(void* p, AllocationType type) {
    if (!p) return;
    const char* file;
    int line;
    const char* function;
    MemoryTracker::CurrentOwner(&file, &line, &function);
    TrackedDeallocate(file, line, function, type, p);
}

// The over-aligned forms are not tracked (the tracker's layout gives 16-byte alignment
// only); they come from the C heap as the C++ runtime's own would. Their releases are
// replaced as well, so that a block from the tracked operator new that reaches an
// aligned delete (callers mixing the forms, harmless without the tracker) is released
// by the tracker instead of being handed to free() 16 bytes into a block of its own.
void* AllocateAlignedOrThrow(size_t size, std::align_val_t alignment) {
    size_t align = static_cast<size_t>(alignment);
    if (align == 0 || (align & (align - 1)) != 0) throw TrackerBadAlloc();
    if (align < sizeof(void*)) align = sizeof(void*);
    if (size == 0) size = 1;
    for (;;) {
        if (void* p = platform::AlignedAllocate(align, size)) return p;
        std::new_handler handler = std::get_new_handler();
        if (!handler) throw TrackerBadAlloc();
        handler();
    }
}

void ReleaseAligned(void* p, AllocationType type) {
    if (!p) return;
    if (MemoryTracker::IsTracked(p))
        Release(p, type);
    else
        platform::AlignedFree(p);
}

void ExitStep() { MemoryTracker::OnProgramExit(); }

// Runs before the program's other static initialisers, so the exit step is registered
// early and therefore runs late: after every static destructor registered after it.
// The last run's "memory.log" is not deleted here, in whatever folder the program was
// started from (an installed kavlo started in a home folder would take the user's own
// file): the program clears it once it is in the folder it works in, and the first
// message clears it in any case.
struct TrackerStartup {
    TrackerStartup() { std::atexit(ExitStep); }
};
__attribute__((init_priority(101))) TrackerStartup trackerStartup;

}  // namespace

#define KAVLO_CALLER __builtin_return_address(0)

void* operator new(size_t size) { return AllocateOrThrow(size, kAllocNew, KAVLO_CALLER); }
void* operator new[](size_t size) { return AllocateOrThrow(size, kAllocNewArray, KAVLO_CALLER); }

void* operator new(size_t size, const std::nothrow_t&) noexcept {
    try {
        return AllocateOrThrow(size, kAllocNew, KAVLO_CALLER);
    } catch (...) {
        return nullptr;
    }
}
void* operator new[](size_t size, const std::nothrow_t&) noexcept {
    try {
        return AllocateOrThrow(size, kAllocNewArray, KAVLO_CALLER);
    } catch (...) {
        return nullptr;
    }
}

void operator delete(void* p) noexcept { Release(p, kAllocDelete); }
void operator delete[](void* p) noexcept { Release(p, kAllocDeleteArray); }
void operator delete(void* p, size_t) noexcept { Release(p, kAllocDelete); }
void operator delete[](void* p, size_t) noexcept { Release(p, kAllocDeleteArray); }
void operator delete(void* p, const std::nothrow_t&) noexcept { Release(p, kAllocDelete); }
void operator delete[](void* p, const std::nothrow_t&) noexcept { Release(p, kAllocDeleteArray); }

void* operator new(size_t size, std::align_val_t alignment) {
    return AllocateAlignedOrThrow(size, alignment);
}
void* operator new[](size_t size, std::align_val_t alignment) {
    return AllocateAlignedOrThrow(size, alignment);
}
void* operator new(size_t size, std::align_val_t alignment, const std::nothrow_t&) noexcept {
    try {
        return AllocateAlignedOrThrow(size, alignment);
    } catch (...) {
        return nullptr;
    }
}
void* operator new[](size_t size, std::align_val_t alignment, const std::nothrow_t&) noexcept {
    try {
        return AllocateAlignedOrThrow(size, alignment);
    } catch (...) {
        return nullptr;
    }
}

void operator delete(void* p, std::align_val_t) noexcept { ReleaseAligned(p, kAllocDelete); }
void operator delete[](void* p, std::align_val_t) noexcept { ReleaseAligned(p, kAllocDeleteArray); }
void operator delete(void* p, size_t, std::align_val_t) noexcept { ReleaseAligned(p, kAllocDelete); }
void operator delete[](void* p, size_t, std::align_val_t) noexcept {
    ReleaseAligned(p, kAllocDeleteArray);
}
void operator delete(void* p, std::align_val_t, const std::nothrow_t&) noexcept {
    ReleaseAligned(p, kAllocDelete);
}
void operator delete[](void* p, std::align_val_t, const std::nothrow_t&) noexcept {
    ReleaseAligned(p, kAllocDeleteArray);
}
