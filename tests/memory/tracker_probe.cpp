// A tiny tracked program for the tracker's tests: what it leaves live at exit is what
// "memleaks.log" must report. Usage: tracker_probe leaks N | library N | strings | late |
// first | overrun | underrun | damaged-leak (the last three damage a guard; see
// KAVLO_CHECK_GUARDS)
#include "MemoryTracker.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#if defined(__SANITIZE_ADDRESS__)
#include <sanitizer/asan_interface.h>
#define OPEN_GUARDS(block, size) ASAN_UNPOISON_MEMORY_REGION((block) - 16, (size) + 32)
#else
#define OPEN_GUARDS(block, size) ((void)0)
#endif

extern "C" void* ProbeLibraryAllocate(std::size_t size);
extern "C" void* ProbeLibraryString(std::size_t size);

namespace {
int* lateBlock = nullptr;

// Writes `value` at `offset` from the start of a fresh 10-byte block, past the block's
// bounds but inside its guards; the writes go through a volatile pointer so that they
// are not dropped as dead stores before the release. Under AddressSanitizer, which
// would stop the write itself, the guards are opened first.
char* Damage(long offset) {
    char* block = KAVLO_NEW_ARRAY(char, 10);
    asm volatile("" : "+r"(block));  // hides the size from the compiler's bounds checks
    OPEN_GUARDS(block, 10);
    volatile char* p = block;
    p[offset] = 0x55;
    return block;
}
}  // namespace

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
    if (std::strcmp(argv[1], "library") == 0 && argc == 3) {
        // Four blocks a shared library keeps (two of them a string it grew through the
        // C++ runtime), and N of our own.
        ProbeLibraryAllocate(100);
        ProbeLibraryAllocate(28);
        ProbeLibraryString(67);
        for (int i = 0, n = std::atoi(argv[2]); i < n; ++i) {
            volatile int* p = KAVLO_NEW(int, i);
            (void)p;
        }
        return 0;
    }
    if (std::strcmp(argv[1], "strings") == 0) {
        // Two strings grown inside the C++ runtime (basic_string<char> is compiled
        // there), one with no owner and one with: four blocks of ours.
        std::string* plain = new std::string("a");
        *plain += std::string(150, 'x');
        std::string* owned = KAVLO_NEW(std::string);
        owned->append(200, 'y');
        return 0;
    }
    if (std::strcmp(argv[1], "late") == 0) {
        lateBlock = KAVLO_NEW(int, 7);
        return 0;
    }
    if (std::strcmp(argv[1], "overrun") == 0) {
        KAVLO_DELETE_ARRAY(Damage(12));  // the third byte past the end
        return 0;
    }
    if (std::strcmp(argv[1], "underrun") == 0) {
        KAVLO_DELETE_ARRAY(Damage(-1));
        return 0;
    }
    if (std::strcmp(argv[1], "damaged-leak") == 0) {
        Damage(10);  // left live: only the exit step can see it
        return 0;
    }
    if (std::strcmp(argv[1], "first") == 0) {
        std::printf("%u\n", MemoryTracker::AllocationCount());
        return 0;
    }
    return 2;
}
