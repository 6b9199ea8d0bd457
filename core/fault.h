// Faults as values. The translations, the engine and the service dispatcher
// raise a Fault (a C++ exception carrying it) and never print; the main loop
// catches it and hands it to the report printer (monitor/fault_report.h).
// Before a fault stop is raised the engine has stored PC, S and R, so the
// machine state the fault stood in is the machine's registers.
#pragma once

#include <cstdint>

namespace norvex {

enum class Translation { Prg, Var };

// Where a fault struck inside an instruction: the burst's working data-stack
// top and program position. Null where there is no instruction (start of a
// burst, trace line, monitor key); the report then shows zeros.
struct FaultContext {
    const uint8_t* sp = nullptr;
    const uint8_t* pc = nullptr;
};

enum class FaultKind {
    Translation,     // an address in no usable region of its memory
    IllegalOpcode,   // an opcode, or a service code, without an operation
    Alignment,       // a cell access off a cell boundary with alignment on
};

struct Fault {
    FaultKind kind;
    Translation translation = Translation::Var;   // the translation that failed
    uint32_t offset = 0;                          // the offset its report shows
    FaultContext where;                           // for a fault stop: the opcode's location
};

[[noreturn]] inline void translation_fault(Translation t, uint32_t offset, FaultContext where) {
    throw Fault{FaultKind::Translation, t, offset, where};
}

// The fault stops: the registers are already stored; sp and pc are the
// host locations of the data-stack top and of the faulting opcode.
[[noreturn]] inline void fault_stop(FaultKind kind, const uint8_t* sp, const uint8_t* pc) {
    throw Fault{kind, Translation::Var, 0, {sp, pc}};
}

}  // namespace norvex
