// A tiny tracked program for the tracker's tests: what it leaves live at exit is what
// "memleaks.log" must report. Usage: tracker_probe leaks N | late | first
#include "MemoryTracker.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {
int* lateBlock = nullptr;
}

// Runs after the tracker's exit step (destructors run after atexit handlers), so the
// release it makes must rewrite the report.
__attribute__((destructor)) static void ReleaseLate() {
    if (lateBlock) KAVLO_DELETE(lateBlock);
}

int main(int argc, char** argv) {
    if (argc < 2) return 2;
    if (std::strcmp(argv[1], "leaks") == 0 && argc == 3) {
        int n = std::atoi(argv[2]);
        for (int i = 0; i < n; ++i) {
            volatile int* p = KAVLO_NEW(int, i);
            (void)p;
        }
        return 0;
    }
    if (std::strcmp(argv[1], "late") == 0) {
        lateBlock = KAVLO_NEW(int, 7);
        return 0;
    }
    if (std::strcmp(argv[1], "first") == 0) {
        std::printf("%u\n", MemoryTracker::AllocationCount());
        return 0;
    }
    return 2;
}
