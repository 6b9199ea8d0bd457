#include "core/host_space.h"

#include <algorithm>
#include <cstdint>

namespace norvex {

namespace {
uint64_t round_up(uint64_t v, uint64_t unit) { return (v + unit - 1) / unit * unit; }
}  // namespace

uint32_t HostSpace::add(uint8_t* data, uint32_t size, bool xalloc, bool complemented) {
    // First fit above kFirstBase, with a gap of at least kSpacing after
    // every block, so that one-past-the-end addresses stay unambiguous.
    uint64_t candidate = kFirstBase;
    const uint64_t need = round_up(uint64_t(size) + kSpacing, kSpacing);
    for (const auto& [base, block] : blocks_) {
        if (candidate + need <= base) break;
        candidate = std::max<uint64_t>(candidate,
                                       round_up(uint64_t(base) + block.size + kSpacing, kSpacing));
    }
    if (candidate + need > 0xFFFF0000ull) return 0;
    const uint32_t base = uint32_t(candidate);
    blocks_[base] = HostBlock{base, size, data, xalloc, complemented};
    return base;
}

void HostSpace::remove(uint32_t base) { blocks_.erase(base); }

const HostBlock* HostSpace::find(uint32_t addr, uint32_t width) const {
    auto it = blocks_.upper_bound(addr);
    if (it == blocks_.begin()) return nullptr;
    --it;
    const HostBlock& b = it->second;
    const uint32_t offset = addr - b.base;
    if (offset >= b.size || b.size - offset < width) return nullptr;
    return &b;
}

uint8_t* HostSpace::locate(uint32_t addr, uint32_t width) const {
    const HostBlock* b = find(addr, width);
    return b ? b->data + (addr - b->base) : nullptr;
}

uint32_t HostSpace::address_of(const uint8_t* p) const {
    const auto hp = reinterpret_cast<uintptr_t>(p);
    for (const auto& [base, block] : blocks_) {
        const auto lo = reinterpret_cast<uintptr_t>(block.data);
        if (hp >= lo && hp - lo <= block.size) return base + uint32_t(hp - lo);
    }
    return 0;
}

const HostBlock* HostSpace::block_at(uint32_t base) const {
    auto it = blocks_.find(base);
    return it == blocks_.end() ? nullptr : &it->second;
}

}  // namespace norvex
