// Where the program's own code lies in memory: tells the program's allocations from those
// of the shared libraries it has loaded (the OpenGL driver, the C++ runtime).
#pragma once

namespace platform {

// True when `address` lies in the executable's own image, false in a shared library's.
// Takes no lock and allocates nothing, so the allocator may call it from any thread,
// before main and during exit.
bool InProgramImage(const void* address);

}  // namespace platform
