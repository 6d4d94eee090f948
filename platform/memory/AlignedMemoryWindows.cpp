// Over-aligned blocks on Windows, whose C heap has no posix_memalign and releases its
// aligned blocks with a call of their own.
#include "platform/memory/AlignedMemory.h"

#include <malloc.h>

namespace platform {

void* AlignedAllocate(std::size_t align, std::size_t size) { return _aligned_malloc(size, align); }

void AlignedFree(void* block) { _aligned_free(block); }

}  // namespace platform
