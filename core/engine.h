// The execution engine: runs the virtual processor in bursts.
#pragma once

#include <cstdint>

#include "core/machine.h"
#include "core/opcodes.h"

namespace norvex {

enum class BurstEnd {
    Normal,     // registers stored back into Machine::cpu
    Abandoned,  // a handler (BYE) left without storing them
};

// Runs at least one instruction from Machine::cpu; in free run until an
// instruction sets a run-mode bit. A fault is raised as a Fault
// (core/fault.h), with nothing printed.
BurstEnd RUNBURST(Machine& m);
// The same without translated code: the interpreter alone (tests, benchmark).
BurstEnd interpret_burst(Machine& m);

}  // namespace norvex
