// A shared library for the tracker's probe: its allocations come from outside the
// program's image, as the OpenGL driver's do.
#include <cstddef>

extern "C" void* ProbeLibraryAllocate(std::size_t size) {
    char* block = new char[size];
    block[0] = 1;  // keeps the call from becoming a tail call out of the library
    return block;
}
