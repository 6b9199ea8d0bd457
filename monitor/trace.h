// The trace line: both stacks' top cells, IP, W, PC and the instruction at
// PC with its operand and mnemonic (for SYSCALL, the service's name).
#pragma once

#include <string>

#include "core/machine.h"

namespace norvex {

void TRACELINE(Machine& m);

// The mnemonic column for the opcode at PC: 8 characters, blank-padded, or
// "????????" where the tables have no entry. For SYSCALL, tos is the service
// code on top of the data stack.
std::string mnemonic_column(uint8_t opcode, uint32_t tos);

}  // namespace norvex
