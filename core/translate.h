// The four translations between virtual addresses and host locations.
//
// The forward translations (GETPRGPTR, GETVARPTR) search program memory and
// variable memory in the order the layout gives and raise the translation
// fault for an address in no usable region. They take the width of the access:
// the first byte decides the region, and an access whose last byte would leave
// that region's block is a translation fault too (reported at the first
// address outside), so no access ever reaches past a block.
#pragma once

#include <cstdint>

#include "core/fault.h"
#include "core/machine.h"

namespace norvex {

// Bytes of the program block that program accesses may touch from PRGPTR on:
// in the shared layout that is the whole variable block, guard included.
inline uint32_t prg_extent(const MemConf& c) { return c.shared() ? c.VARSIZE : c.PRGSIZE; }

// Non-faulting lookups: the host location, or nullptr where the translation
// would fault.
inline uint8_t* find_prg(const MemConf& c, uint32_t a, uint32_t width) {
    uint32_t o = a - c.PRGOFF;
    if (o < c.PRGSIZE) return prg_extent(c) - o >= width ? c.prg + o : nullptr;
    if (c.harvard()) return nullptr;
    o = a - c.VAROFF;
    if (o < c.VARSIZE) return c.VARSIZE - o >= width ? c.var + o : nullptr;
    return nullptr;
}

inline uint8_t* find_var(const MemConf& c, uint32_t a, uint32_t width) {
    uint32_t o = a - c.VAROFF;
    if (o < c.VARSIZE) return c.VARSIZE - o >= width ? c.var + o : nullptr;
    if (c.harvard()) return nullptr;
    o = a - c.PRGOFF;
    if (o < c.PRGSIZE) return prg_extent(c) - o >= width ? c.prg + o : nullptr;
    return nullptr;
}

// The offset the translation fault reports for address a: measured from the
// last region searched, or, for an access that starts inside a region and
// runs past its block, the offset of the first byte outside.
uint32_t fault_offset(const MemConf& c, Translation t, uint32_t a, uint32_t width);

inline uint8_t* GETPRGPTR(Machine& m, uint32_t a, uint32_t width = 1, FaultContext ctx = {}) {
    if (uint8_t* p = find_prg(m.mem, a, width)) return p;
    translation_fault(Translation::Prg, fault_offset(m.mem, Translation::Prg, a, width), ctx);
}

inline uint8_t* GETVARPTR(Machine& m, uint32_t a, uint32_t width = 1, FaultContext ctx = {}) {
    if (uint8_t* p = find_var(m.mem, a, width)) return p;
    translation_fault(Translation::Var, fault_offset(m.mem, Translation::Var, a, width), ctx);
}

// Host location (inside a block or one past its end) back to a virtual
// address. Never fails.
uint32_t GETPRGADR(const MemConf& c, const uint8_t* p);
uint32_t GETVARADR(const MemConf& c, const uint8_t* p);

}  // namespace norvex
