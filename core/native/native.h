// Native code for free run: blocks of VM code translated to x86-64.
//
// The interpreter (core/engine.cpp) stays the reference: it runs every burst
// in a debug mode and every instruction the translated code leaves to it.
// Translated code runs only in free run, only for code in a program memory
// of its own, with both stacks in variable memory. It never faults: where an
// instruction could fault, or needs a service, or does something rare, the
// block stops with the machine exactly as it stood before that instruction
// and the interpreter executes it.
#pragma once

#include <cstdint>

#include "core/machine.h"

namespace norvex {

// True when free-run bursts of this machine may use translated code.
bool native_available(const Machine& m);

// Runs translated code from CPUSTATE until it reaches an instruction that the
// interpreter must execute; CPUSTATE and memory are then exact.
void native_run(Machine& m);

// Program memory from host location p, n bytes, has changed: translations
// of those bytes are dropped. Called by every writer of program memory.
void native_program_written(Machine& m, const uint8_t* p, uint32_t n);

}  // namespace norvex
