// A shared library for alloc_bench: requests from outside the program, as the OpenGL
// driver's and LLVM's are, made directly and through the C++ runtime's string code.
#include <cstddef>
#include <string>

namespace {
// Keeps the compiler from dropping a new/delete pair whose block is never used.
template <class T>
T* Escape(T* p) {
    asm volatile("" : : "r"(p) : "memory");
    return p;
}
}  // namespace

extern "C" void BenchLibraryNew(int count, const std::size_t* sizes, int sizeCount) {
    for (int i = 0; i < count; ++i) delete[] Escape(new char[sizes[i % sizeCount]]);
}

extern "C" void BenchLibraryString(int count, const std::size_t* sizes, int sizeCount) {
    for (int i = 0; i < count; ++i) {
        std::string text;
        text.reserve(sizes[i % sizeCount]);
        Escape(&text);
    }
}
