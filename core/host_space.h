// The simulator's own 32-bit host address space.
//
// Host addresses are 64-bit here, but images and the monitor's text see host
// addresses as 32-bit cells (PRGPTR, VARPTR, extended addresses, the address
// GETPAR hands out, dump lines). Every block of host memory that the image may
// name gets a 32-bit base in this space; raw host pointers never reach the image.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <map>
#include <memory>

namespace norvex {

// Host memory the simulator owns, from calloc: zero-filled, and untouched
// pages of a large block are not backed until written.
struct FreeHostMemory {
    void operator()(uint8_t* p) const { std::free(p); }
};
using MemoryBlock = std::unique_ptr<uint8_t[], FreeHostMemory>;

struct HostBlock {
    uint32_t base = 0;      // 32-bit host address of the first byte
    uint32_t size = 0;      // bytes the image may address
    uint8_t* data = nullptr;
    bool xalloc = false;    // made by XALLOC, so XFREE may release it
    bool complemented = false;  // program or variable memory (see mem_load32)
};

class HostSpace {
public:
    // Gives a block a 32-bit base; returns 0 when the space is full.
    // Blocks are kept at least one page apart, so the address one past a
    // block's end never lies in another block.
    uint32_t add(uint8_t* data, uint32_t size, bool xalloc = false, bool complemented = false);
    void remove(uint32_t base);
    void clear() { blocks_.clear(); }

    // The block holding [addr, addr + width), or nullptr.
    const HostBlock* find(uint32_t addr, uint32_t width) const;
    // Host location of [addr, addr + width) inside one block, or nullptr.
    uint8_t* locate(uint32_t addr, uint32_t width) const;
    // The 32-bit address of a host location inside a block or one past its
    // end; 0 for a location in no block.
    uint32_t address_of(const uint8_t* p) const;

    const HostBlock* block_at(uint32_t base) const;
    size_t count() const { return blocks_.size(); }

    static constexpr uint32_t kFirstBase = 0x00400000;
    static constexpr uint32_t kSpacing = 0x10000;  // base alignment and gap

private:
    std::map<uint32_t, HostBlock> blocks_;  // by base
};

}  // namespace norvex
