// Whose code lies where in memory: tells the program's allocations from those of the
// shared libraries it has loaded (the OpenGL driver and LLVM under it), looking past the
// C++ runtime, whose code runs the program's requests as well as the libraries'.
#pragma once

namespace platform {

enum class CodeOwner : unsigned char {
    kProgram,  // the executable's own image
    kRuntime,  // the C++ runtime's shared objects (libstdc++, libgcc_s, libc++)
    kLibrary,  // any other shared library
};

// Whose image holds the code at `address`. A few comparisons once the runtime's images
// are known (looked up on the first call).
CodeOwner OwnerOfCode(const void* address);

// `returnAddress` is the return address of a frame on the calling thread's stack, into
// the runtime's code. Walks up from that frame and returns the owner of the first code
// past the runtime's frames; kLibrary when the walk cannot get there.
CodeOwner OwnerPastRuntime(const void* returnAddress);

// Neither allocates, so the allocator may call them, from any thread, before main and
// during exit.

}  // namespace platform
