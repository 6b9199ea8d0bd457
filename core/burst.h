// The working registers of a running burst, as the engine hands them to the
// services and the fault stops: PC, S and R as host locations, each with the
// bounds of the memory block it lies in. Stack moves are checked against
// those bounds, so no push or pop ever leaves the block.
#pragma once

#include <cstdint>

#include "core/native/native.h"
#include "core/translate.h"

namespace norvex {

// One memory block as a register sees it: host bytes [lo, hi) starting at
// virtual address voff.
struct Area {
    uint8_t* lo = nullptr;
    uint8_t* hi = nullptr;
    uint32_t voff = 0;
    // A program memory of its own, which translated code is made from: a
    // stack here writes program memory (see stored() below).
    bool watched = false;

    uint32_t size() const { return uint32_t(hi - lo); }
    bool holds(const uint8_t* p) const { return p >= lo && p <= hi; }
};

// The area of the block in which a translated host location p lies (p may be
// one past the block's end). Program-side and variable-side views differ only
// in the shared layout, where both are the whole block with its guard.
// Inline: the interpreter's jumps call it on their slow path, and a call there
// costs the whole loop its registers (NEST-threaded code ran at half speed).
inline Area area_of(const MemConf& c, const uint8_t* p) {
    if (c.var && p >= c.var && p <= c.var + c.VARSIZE) return {c.var, c.var + c.VARSIZE, c.VAROFF, false};
    return {c.prg, c.prg + prg_extent(c), c.PRGOFF, !c.shared()};
}

// How a service leaves the burst it was called from.
enum class ServiceEnd {
    Continue,   // back to the burst loop
    LeaveBurst, // BYE: leave the burst without storing the registers
};

// Stores PC, S and R as virtual addresses: pc inside the code area, the
// stacks anywhere in the memories. At the end of every burst and before
// every fault stop.
inline void store_registers(Machine& m, const Area& code, const uint8_t* pc, const uint8_t* sp,
                            const uint8_t* rp) {
    m.cpu.R = GETVARADR(m.mem, rp);
    m.cpu.S = GETVARADR(m.mem, sp);
    m.cpu.PC = code.voff + uint32_t(pc - code.lo);
}

// A store that may have reached program memory (the split and shared
// layouts let variable accesses in, extended addresses reach any block, and
// the stacks may lie there): translated code of those bytes is dropped.
inline void stored(Machine& m, const uint8_t* p, uint32_t width) {
    if (m.native) native_program_written(m, p, width);
}

// Where a register left by translated code points (see burst.cpp).
uint8_t* resume_location(Machine& m, Translation t, uint32_t a);

// The interpreter: one burst of the loop in engine.cpp (with `resume`, one
// instruction). kChecked is false only in the benchmark's
// unchecked build.
enum class BurstEnd;
template <bool kChecked>
BurstEnd interpret(Machine& m, bool resume);

struct Burst {
    Machine& m;
    uint8_t* pc;
    uint8_t* sp;
    uint8_t* rp;
    Area code;   // block of pc
    Area ds;     // block of sp
    Area rs;     // block of rp

    FaultContext here() const { return {sp, pc}; }
    // The registers with PC at the instruction at `at`.
    void store_registers(const uint8_t* at) const { norvex::store_registers(m, code, at, sp, rp); }

    // Data-stack access for the services. A pop or read past the top of the
    // block, or a push below its bottom, is the translation fault of S.
    uint32_t pop();
    void push(uint32_t x);
    uint32_t peek(unsigned index);            // 0 = top
    void require(unsigned cells);             // cells readable at sp
    [[noreturn]] void stack_fault(const Area& a, bool below) const;
};

}  // namespace norvex
