// Fault reports: REGDUMP, CONFDUMP and the three report sequences. Each
// report prints its text and ends the run by throwing RunEnd (key wait, then
// shutdown). The translation-fault report is declared in core/translate.h.
#pragma once

#include <cstdint>

#include "core/machine.h"

namespace norvex {

struct RegSlots {
    uint32_t eax = 0, ebx = 0, ecx = 0, edx = 0, edi = 0, esi = 0;
};

void REGDUMP(Machine& m, const RegSlots& r);
void CONFDUMP(Machine& m);

// The fault stops' reports; CPUSTATE already holds the machine as it stood
// before the faulting instruction. sp and pc are its host locations.
[[noreturn]] void illegal_opcode_report(Machine& m, const uint8_t* sp, const uint8_t* pc);
[[noreturn]] void align_fault_report(Machine& m, const uint8_t* sp, const uint8_t* pc);

}  // namespace norvex
