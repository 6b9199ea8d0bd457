// The working registers of a running burst, as the engine hands them to the
// services and the fault stops: PC, S and R as host locations, each with the
// bounds of the memory block it lies in. Stack moves are checked against
// those bounds, so no push or pop ever leaves the block.
#pragma once

#include <cstdint>

#include "core/translate.h"

namespace norvex {

// One memory block as a register sees it: host bytes [lo, hi) starting at
// virtual address voff.
struct Area {
    uint8_t* lo = nullptr;
    uint8_t* hi = nullptr;
    uint32_t voff = 0;
    // A program memory of its own, which translated code is made from: a
    // stack here writes program memory (see stored() in engine.cpp).
    bool watched = false;

    uint32_t size() const { return uint32_t(hi - lo); }
    bool holds(const uint8_t* p) const { return p >= lo && p <= hi; }
};

// The area of the block in which a translated host location p lies (p may be
// one past the block's end). Program-side and variable-side views differ only
// in the shared layout, where both are the whole block with its guard.
Area area_of(const MemConf& c, const uint8_t* p);

struct Burst {
    Machine& m;
    uint8_t* pc;
    uint8_t* sp;
    uint8_t* rp;
    Area code;   // block of pc
    Area ds;     // block of sp
    Area rs;     // block of rp

    FaultContext here() const { return {sp, pc}; }

    // Data-stack access for the services. A pop or read past the top of the
    // block, or a push below its bottom, is the translation fault of S.
    uint32_t pop();
    void push(uint32_t x);
    uint32_t peek(unsigned index);            // 0 = top
    void require(unsigned cells);             // cells readable at sp
    [[noreturn]] void stack_fault(const Area& a, bool below) const;
};

}  // namespace norvex
