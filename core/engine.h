// The execution engine: runs the virtual processor in bursts.
#pragma once

#include <cstdint>

#include "core/machine.h"

namespace norvex {

enum class Op : uint8_t {
#define OPCODE(code, name, mnem, operand, kind) name = code,
#include "core/opcodes.def"
#undef OPCODE
};

struct OpInfo {
    const char* mnemonic;
    uint8_t operand_bytes;
    bool runs;   // false: named, but the illegal-opcode stop
};
extern const OpInfo kOpInfo[64];

enum class BurstEnd {
    Normal,     // registers stored back into Machine::cpu
    Abandoned,  // a handler (BYE) left without storing them
};

// Runs at least one instruction from Machine::cpu; in free run until an
// instruction sets a run-mode bit. A fault is raised as a Fault
// (core/fault.h), with nothing printed.
BurstEnd RUNBURST(Machine& m);
// The same without translated code: the interpreter alone (tests, benchmark).
BurstEnd RUNBURST_INTERPRETED(Machine& m);

}  // namespace norvex
