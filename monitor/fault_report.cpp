#include "monitor/fault_report.h"

#include "core/translate.h"
#include "host/console.h"
#include "monitor/run_end.h"
#include "monitor/text_output.h"
#include "monitor/trace.h"

namespace norvex {

namespace {

// The number of bytes of the "\r\n\r\n" that opens the fault stops' reports:
// the EAX slot of those reports.
constexpr uint32_t kReportLead = 4;

}  // namespace

void REGDUMP(Machine& m, const RegSlots& r) {
    PRINTSTR(m, "\r\nEAX:");
    PRINTHEX(m, r.eax, 8);
    PRINTSTR(m, " EBX:");
    PRINTHEX(m, r.ebx, 8);
    PRINTSTR(m, " ECX:");
    PRINTHEX(m, r.ecx, 8);
    PRINTSTR(m, " EDX:");
    PRINTHEX(m, r.edx, 8);
    PRINTSTR(m, " EDI:");
    PRINTHEX(m, r.edi, 8);
    PRINTSTR(m, " ESI:");
    PRINTHEX(m, r.esi, 8);
    PRINTSTR(m, "\r\n");
}

void CONFDUMP(Machine& m) {
    const MemConf& c = m.mem;
    PRINTSTR(m, "\r\nFlag:");
    PRINTHEX(m, c.Flag, 8);
    PRINTSTR(m, "\r\n PRGPTR:");
    PRINTHEX(m, c.PRGPTR, 8);
    PRINTSTR(m, " PRGOFF:");
    PRINTHEX(m, c.PRGOFF, 8);
    PRINTSTR(m, " PRGSIZE:");
    PRINTHEX(m, c.PRGSIZE, 8);
    PRINTSTR(m, "\r\n VARPTR:");
    PRINTHEX(m, c.VARPTR, 8);
    PRINTSTR(m, " VAROFF:");
    PRINTHEX(m, c.VAROFF, 8);
    PRINTSTR(m, " VARSIZE:");
    PRINTHEX(m, c.VARSIZE, 8);
}

namespace {

void translation_report(Machine& m, Translation t, uint32_t offset, FaultContext where) {
    PRINTSTR(m, t == Translation::Prg ? "\r\nGETPRGPTR - Error" : "\r\nGETVARPTR - Error");
    RegSlots r;
    r.eax = offset;
    r.ebx = where.sp ? m.space.address_of(where.sp) : 0;
    r.esi = where.pc ? m.space.address_of(where.pc) : 0;
    REGDUMP(m, r);
    CONFDUMP(m);
}

void fault_stop_report(Machine& m, FaultContext where, const char* message) {
    PRINTSTR(m, "\r\n\r\n");
    RegSlots r;
    r.eax = kReportLead;
    r.ebx = m.space.address_of(where.sp);
    r.esi = m.space.address_of(where.pc);
    REGDUMP(m, r);
    CONFDUMP(m);
    TRACELINE(m);
    PRINTSTR(m, message);
}

void print_report(Machine& m, const Fault& f) {
    switch (f.kind) {
    case FaultKind::Translation:
        translation_report(m, f.translation, f.offset, f.where);
        break;
    case FaultKind::IllegalOpcode:
        fault_stop_report(m, f.where, "\r\n\r\nIllegal Opcode !!!\r\n");
        break;
    case FaultKind::Alignment:
        fault_stop_report(m, f.where, "\r\n\r\nAddress not Aligned\r\n");
        break;
    }
}

}  // namespace

RunEnd report_fault(Machine& m, const Fault& f) {
    m.console->flush();
    TextBatch report(m);
    try {
        print_report(m, f);
    } catch (const Fault& inner) {
        // The trace line of a stop report can fault itself (a return-stack
        // pointer past its memory): that translation's report follows what
        // was printed, and the run ends there. It prints no trace line, so
        // it cannot fault again.
        print_report(m, inner);
    }
    return RunEnd{kExitFault, true};
}

}  // namespace norvex
