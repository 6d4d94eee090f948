// The tracked global allocation operators, and the tracker's start-up and exit steps.
// Linked whole into the programs that track their memory (the demo, the tracker tests).
#include "MemoryTracker.h"

#include <cstdlib>
#include <new>

namespace {

// The exception the tracked operator new throws when no memory can be had.
struct TrackerBadAlloc : std::bad_alloc {
    const char* what() const noexcept override { return "bad allocation"; }
};

void* AllocateOrThrow(size_t size, AllocationType type) {
    if (size == 0) size = 1;
    for (;;) {
        const char* file;
        int line;
        const char* function;
        MemoryTracker::CurrentOwner(&file, &line, &function);
        if (void* p = TrackedAllocate(file, line, function, type, size)) return p;
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

void ExitStep() { MemoryTracker::OnProgramExit(); }

// Runs before the program's other static initialisers, so the exit step is registered
// early and therefore runs late: after every static destructor registered after it.
struct TrackerStartup {
    TrackerStartup() {
        MemoryTracker::ClearLogAtStart();
        std::atexit(ExitStep);
    }
};
__attribute__((init_priority(101))) TrackerStartup trackerStartup;

}  // namespace

void* operator new(size_t size) { return AllocateOrThrow(size, kAllocNew); }
void* operator new[](size_t size) { return AllocateOrThrow(size, kAllocNewArray); }

void* operator new(size_t size, const std::nothrow_t&) noexcept {
    try {
        return AllocateOrThrow(size, kAllocNew);
    } catch (...) {
        return nullptr;
    }
}
void* operator new[](size_t size, const std::nothrow_t&) noexcept {
    try {
        return AllocateOrThrow(size, kAllocNewArray);
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
