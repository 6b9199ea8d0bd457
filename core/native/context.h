// What translated code and the routines that run it share: the machine
// state translated code keeps while it runs, and why it stopped.
#pragma once

#include <cstddef>
#include <csignal>
#include <cstdint>

namespace norvex::native {

// A slot of the direct-mapped table of dynamic exits (EXIT, EXECUTE, NEST):
// the program address as a 64-bit key, so that the empty key matches none.
struct LookupSlot {
    uint64_t key;
    const uint8_t* code;
};
constexpr uint64_t kNoKey = ~uint64_t(0);
constexpr uint32_t kLookupSlots = 4096;
inline uint32_t slot_of(uint32_t vaddr) { return (vaddr ^ (vaddr >> 12)) & (kLookupSlots - 1); }
// A table in which every lookup misses.
const LookupSlot* missing_table();

struct Context {
    uint32_t ds;          // data-stack top, as an offset into variable memory
    uint32_t tos;         // the top cell's value (its memory cell is not kept current)
    uint32_t rs;          // return-stack top, as an offset into variable memory
    uint32_t W;
    uint32_t IP;
    uint32_t exit_pc;     // the instruction to continue with
    uint32_t exit_site;   // for kLink: the exit that asks to be linked
    uint32_t reason;
    uint32_t budget;      // units left (see Machine::budget) while counting
    // Once a user interrupt waits, loop edges see `interrupt` set and
    // dynamic exits a table in which every lookup misses, so translated code
    // stops at the next of either. Written from a signal handler.
    volatile sig_atomic_t interrupt;
    const void* volatile lookup;
    uint8_t* var;
    uint8_t* prg;
};

enum ExitReason : uint32_t {
    kLink = 1,     // a block exit whose target has no translation yet
    kLookup = 2,   // EXIT, EXECUTE or NEST to an address not in the lookup table
    kStop = 3,     // the machine goes on at exit_pc outside translated code
};

constexpr int32_t context_offset(size_t o) { return int32_t(o); }

}  // namespace norvex::native

// A field of the Context as a memory operand: r14 holds the Context.
#define CTX(field) ::norvex::x64::Mem{::norvex::x64::R14, ::norvex::x64::NOREG, \
    ::norvex::native::context_offset(offsetof(::norvex::native::Context, field))}
