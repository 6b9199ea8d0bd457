// Fault reports: REGDUMP, CONFDUMP and the reports of the faults that
// core/ and the service dispatcher raise (core/fault.h). The main loop, and
// any rig that runs a machine, hands a caught Fault to report_fault.
#pragma once

#include <cstdint>

#include "core/fault.h"
#include "core/machine.h"
#include "monitor/run_end.h"

namespace norvex {

struct RegSlots {
    uint32_t eax = 0, ebx = 0, ecx = 0, edx = 0, edi = 0, esi = 0;
};

void REGDUMP(Machine& m, const RegSlots& r);
void CONFDUMP(Machine& m);

// Prints the fault's report; the end of the run that follows it (a key
// wait, then shutdown, with the fault's exit status). For a fault stop the
// machine's registers stand as before the faulting instruction.
RunEnd report_fault(Machine& m, const Fault& f);

}  // namespace norvex
