// The test images: the Harvard layout most engine tests assemble into, the
// split and shared layouts the service tests write their programs for, and
// the small programs the process tests run.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "asm/assembler.h"

namespace norvex::testing {

constexpr uint32_t kVarBase = 0x20000000;
constexpr uint32_t kVarSize = 0x1000;

// A Harvard image: program memory 0..0x10000, 4 KiB of variable memory at
// 0x20000000, code starting right after the header.
inline assembler::Assembler harvard_image(uint8_t flags = 0xC0) {
    return assembler::Assembler(0, assembler::image_header(flags, 0x10000, kVarBase, kVarBase + kVarSize));
}

// Ends a test program with its registers stored: DEBUG sets DM_STOP, which
// ends the burst normally. The DEBUG result 0 is then on top of the stack,
// the program's own results below it.
inline void halt(assembler::Assembler& a) {
    a.lit(0);
    a.lit(DM_STOP);
    a.syscall(Service::DEBUG);
}

// A program as text, as Assembler::words reads it ("100 0 XALLOC DROP 0
// C@X"). Split layout: program memory 0..0x10000 of its own, variable memory
// 0x20000000..0x20010000 (and the 12 guard bytes above it). Shared: one
// memory, the variable memory, holding the code.
inline std::vector<uint8_t> text_image(const std::string& program, bool shared = false) {
    constexpr uint32_t prg_end = 0x10000, var = 0x20000000, var_end = 0x20010000;
    assembler::Assembler a(shared ? var : 0, assembler::image_header(shared ? 0 : 0x80, prg_end, var, var_end,
                                                                     shared ? var + 80 : 80));
    a.words(program);
    return a.finish();
}

// LIT 5, DUP, +, BYE
inline std::vector<uint8_t> adder() {
    assembler::Assembler a = harvard_image();
    a.lit(5);
    a.ops("DUP +");
    a.syscall(Service::BYE);
    return a.finish();
}

// Pops past the end of variable memory: the translation-fault report.
inline std::vector<uint8_t> pop_past_memory() {
    assembler::Assembler a = harvard_image();
    a.lit(0x20001000);
    a.ops("SP! DROP DROP DROP DROP");
    return a.finish();
}

}  // namespace norvex::testing
