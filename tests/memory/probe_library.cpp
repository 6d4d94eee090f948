// A shared library for the tracker's probe: its allocations come from outside the
// program's image, as the OpenGL driver's do.
#include <cstddef>
#include <string>

extern "C" void* ProbeLibraryAllocate(std::size_t size) {
    char* block = new char[size];
    block[0] = 1;  // keeps the call from becoming a tail call out of the library
    return block;
}

// A string kept by the library and grown inside the C++ runtime, as LLVM's are.
extern "C" void* ProbeLibraryString(std::size_t size) {
    auto* text = new std::string;
    text->append(size, 'z');
    (*text)[0] = 'a';  // as above
    return text;
}
