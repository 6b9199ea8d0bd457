// The image header and the resolution of the memory configuration
// from the header and the command line.
#pragma once

#include <cstdint>

#include "core/machine.h"

namespace norvex {

constexpr uint32_t kHeaderBytes = 80;

// Offsets of the header cells.
enum HeaderCell : uint32_t {
    H_FLAGS = 3,   // one byte
    H_STAMP = 4,
    H_PV = 8,
    H_START = 12,
    H_PX = 16,
    H_P0 = 20,
    H_VX = 24,
    H_R0 = 28,
    H_RSTACK = 32,
    H_S0 = 36,
    H_STACK = 40,
    H_CPB = 44,
    H_PB = 48,
    H_CFB = 52,
    H_FB = 56,
    H_CTIB = 60,
    H_TB = 64,
    H_CTOB = 68,
    H_HX = 72,
    H_V0 = 76,
};

// Bits of the flags byte.
enum : uint8_t {
    HF_PRGSEP = 0x80,
    HF_HARVARD = 0x40,
    HF_ALIGN = 0x10,
};

inline uint32_t header_cell(const uint8_t* header, uint32_t offset) { return load32(header + offset); }

// The five resolution steps. `step` is called after each (1 to 5), so that
// start-up can print the display line of that step.
template <typename AfterStep>
void resolve_config(const uint8_t* header, MemConf& c, uint32_t& pc, AfterStep step) {
    const uint8_t flags = header[H_FLAGS];
    if (!(c.Flag & F_PRGSET) && (flags & HF_PRGSEP)) {
        c.PRGOFF = header_cell(header, H_P0);
        c.PRGSIZE = header_cell(header, H_PX) - c.PRGOFF;
        c.Flag |= F_PRGSEP;
    }
    step(1);
    if (!(c.Flag & F_VARSET)) {
        c.VAROFF = header_cell(header, H_V0);
        c.VARSIZE = header_cell(header, H_VX) - c.VAROFF;
    }
    step(2);
    if (!(c.Flag & F_HARVSET) && (flags & HF_HARVARD)) c.Flag |= F_HARVARD;
    step(3);
    if (!(c.Flag & F_ALIGNSET) && (flags & HF_ALIGN)) c.Flag |= F_ALIGN;
    step(4);
    if (!(c.Flag & F_STARTSET)) pc = header_cell(header, H_START);
    step(5);
}

}  // namespace norvex
