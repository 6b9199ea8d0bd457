// State that the host services keep for the image between calls.
#pragma once

#include <cstdint>
#include <map>

#include "core/host_space.h"

namespace norvex {

// XALLOC's bounds: bytes handed out and not freed, and live blocks. Past
// either, XALLOC answers 0x7F07 as when the host has no memory.
constexpr uint64_t kXallocMaxBytes = uint64_t(1) << 30;
constexpr uint32_t kXallocMaxBlocks = 4096;


struct ServiceState {
    // Host memory blocks made by XALLOC and not yet freed, by their 32-bit
    // base in the host space.
    std::map<uint32_t, MemoryBlock> xblocks;
    uint64_t xalloc_bytes = 0;
    uint64_t xalloc_max_bytes = kXallocMaxBytes;
    uint32_t xalloc_max_blocks = kXallocMaxBlocks;
};

}  // namespace norvex
