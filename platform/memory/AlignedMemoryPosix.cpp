// Over-aligned blocks on POSIX systems: posix_memalign, released by free().
#include "platform/memory/AlignedMemory.h"

#include <cstdlib>

namespace platform {

void* AlignedAllocate(std::size_t align, std::size_t size) {
    void* block = nullptr;
    return posix_memalign(&block, align, size) == 0 ? block : nullptr;
}

void AlignedFree(void* block) { std::free(block); }

}  // namespace platform
