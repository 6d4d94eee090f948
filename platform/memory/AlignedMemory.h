// Over-aligned blocks from the C heap, for the allocator's aligned operator new forms.
#pragma once

#include <cstddef>

namespace platform {

// A block of `size` bytes aligned to `align` (a power of two, at least the size of a
// pointer), or null. Released with AlignedFree only: Windows' aligned blocks cannot go
// to free().
void* AlignedAllocate(std::size_t align, std::size_t size);
void AlignedFree(void* block);

}  // namespace platform
