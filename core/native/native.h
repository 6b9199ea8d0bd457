// Native code for free run: blocks of VM code translated to x86-64.
//
// The interpreter (core/engine.cpp) stays the reference: it runs every burst
// in a debug mode and every instruction the translated code leaves to it.
// Translated code runs only in free run, only for code in a program memory
// of its own, with both stacks in variable memory. It never faults: where an
// instruction could fault, or needs a service, or does something rare, the
// block stops with the machine exactly as it stood before that instruction
// and the interpreter executes it. Memory after translated code is byte for
// byte what the interpreter leaves.
//
// The pieces: code_area (executable memory), guards (which accesses may run
// in registers), stack_model (the data stack during translation),
// translator and emit_ops (one block), block_cache (blocks, links, lookup,
// invalidation, and running them).
#pragma once

#include <cstdint>

#include "core/machine.h"

namespace norvex {

// The code area's size unless Machine::native_code_bytes sets another.
constexpr size_t kDefaultCodeBytes = size_t(32) << 20;

// True when free-run bursts of this machine may use translated code: the
// split layout, with the address just past variable memory in no block.
// Translated code keeps the stack pointers as offsets into variable memory
// from block to block; a stack emptied to the top of variable memory would
// go on there, where a new burst finds that address in program memory.
bool native_available(const Machine& m);

// Runs translated code from Machine::cpu until it reaches an instruction that the
// interpreter must execute, or a user interrupt waits; the registers and memory
// are then exact.
void native_run(Machine& m);

// Program memory from host location p, n bytes, has changed: translations
// of those bytes are dropped. Every writer of program memory calls it.
void native_program_written(Machine& m, const uint8_t* p, uint32_t n);

// Drops every translation.
void native_forget(Machine& m);

// How many times the code area has been emptied because it was full.
uint32_t native_resets(const Machine& m);

}  // namespace norvex
