// alloc_bench: one tracked new/delete pair per kind of request (with an owner, without
// one from the program, from the program through the C++ runtime's string code, from a
// shared library directly and through the runtime), against malloc/free of the same
// sizes from the C heap in the same run, printed as nanoseconds and ratios.
//
// usage: alloc_bench [--count N] [--rounds N]
#include "memory/MemoryTracker.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <time.h>

extern "C" void BenchLibraryNew(int count, const std::size_t* sizes, int sizeCount);
extern "C" void BenchLibraryString(int count, const std::size_t* sizes, int sizeCount);

namespace {

const std::size_t kSizes[] = {16, 24, 40, 64, 100, 160, 256, 48};
constexpr int kSizeCount = sizeof kSizes / sizeof kSizes[0];

template <class T>
T* Escape(T* p) {
    asm volatile("" : : "r"(p) : "memory");
    return p;
}

void Malloc(int count) {
    for (int i = 0; i < count; ++i) std::free(Escape(std::malloc(kSizes[i % kSizeCount])));
}

void Owned(int count) {
    for (int i = 0; i < count; ++i) {
        char* block = KAVLO_NEW_ARRAY(char, kSizes[i % kSizeCount]);
        KAVLO_DELETE_ARRAY(Escape(block));
    }
}

void Program(int count) {
    for (int i = 0; i < count; ++i) delete[] Escape(new char[kSizes[i % kSizeCount]]);
}

void ProgramString(int count) {
    for (int i = 0; i < count; ++i) {
        std::string text;
        text.reserve(kSizes[i % kSizeCount]);
        Escape(&text);
    }
}

void Library(int count) { BenchLibraryNew(count, kSizes, kSizeCount); }
void LibraryString(int count) { BenchLibraryString(count, kSizes, kSizeCount); }

struct Kind {
    const char* name;
    void (*run)(int count);
    double best;
};

Kind kinds[] = {
    {"malloc (peer)", Malloc, 0},
    {"owner set", Owned, 0},
    {"program", Program, 0},
    {"program, runtime", ProgramString, 0},
    {"library", Library, 0},
    {"library, runtime", LibraryString, 0},
};

// The thread's processor time: on a machine shared with other work it is far steadier
// than the wall clock, and the work here is all on this thread.
double ThreadNs() {
    timespec t;
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return t.tv_sec * 1e9 + t.tv_nsec;
}

double NsPerPair(void (*run)(int), int count) {
    const double start = ThreadNs();
    run(count);
    return (ThreadNs() - start) / count;
}

bool ParseCount(const char* text, int* out) {
    char* end = nullptr;
    const long v = std::strtol(text, &end, 10);
    if (!end || *end || v < 1 || v > 100000000) return false;
    *out = static_cast<int>(v);
    return true;
}

}  // namespace

int main(int argc, char** argv) {
    int count = 200000, rounds = 7;
    for (int i = 1; i < argc; ++i) {
        if (!std::strcmp(argv[i], "--count") && i + 1 < argc && ParseCount(argv[i + 1], &count)) {
            ++i;
        } else if (!std::strcmp(argv[i], "--rounds") && i + 1 < argc &&
                   ParseCount(argv[i + 1], &rounds)) {
            ++i;
        } else {
            std::fprintf(argc > 1 && !std::strcmp(argv[1], "--help") ? stdout : stderr,
                         "usage: alloc_bench [--count N] [--rounds N]\n"
                         "Times N new/delete pairs (default 200000) of 16 to 256 bytes per kind\n"
                         "of request through the memory tracker, and malloc/free as the peer;\n"
                         "prints the best of the rounds (default 7) in ns of processor time\n"
                         "per pair and the ratio to malloc.\n");
            return std::strcmp(argv[i], "--help") ? 2 : 0;
        }
    }
    // The kinds take turns in every round, so that a busy moment of a shared machine
    // falls on all of them alike.
    for (int r = 0; r < rounds; ++r)
        for (Kind& kind : kinds) {
            const double ns = NsPerPair(kind.run, count);
            kind.best = r == 0 ? ns : std::min(kind.best, ns);
        }
    std::printf("%-18s %10s %10s\n", "request", "ns/pair", "/ malloc");
    for (const Kind& kind : kinds)
        std::printf("%-18s %10.1f %10.2f\n", kind.name, kind.best, kind.best / kinds[0].best);
    return 0;
}
