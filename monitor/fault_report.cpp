#include "monitor/fault_report.h"

#include "core/translate.h"
#include "monitor/console.h"
#include "monitor/run_end.h"
#include "monitor/text_output.h"
#include "monitor/trace.h"

namespace norvex {

namespace {

// The number of bytes of the "\r\n\r\n" that opens the fault stops' reports:
// the EAX slot of those reports.
constexpr uint32_t kReportLead = 4;

[[noreturn]] void end_with_fault() { throw RunEnd{kExitFault, true}; }

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

void translation_fault(Machine& m, Translation t, uint32_t offset, FaultContext ctx) {
    m.console->flush();
    TextBatch report(m);
    PRINTSTR(m, t == Translation::Prg ? "\r\nGETPRGPTR - Error" : "\r\nGETVARPTR - Error");
    RegSlots r;
    r.eax = offset;
    r.ebx = ctx.sp ? m.space.address_of(ctx.sp) : 0;
    r.esi = ctx.pc ? m.space.address_of(ctx.pc) : 0;
    REGDUMP(m, r);
    CONFDUMP(m);
    end_with_fault();
}

namespace {

[[noreturn]] void fault_stop_report(Machine& m, const uint8_t* sp, const uint8_t* pc,
                                    const char* message) {
    m.console->flush();
    TextBatch report(m);
    PRINTSTR(m, "\r\n\r\n");
    RegSlots r;
    r.eax = kReportLead;
    r.ebx = m.space.address_of(sp);
    r.esi = m.space.address_of(pc);
    REGDUMP(m, r);
    CONFDUMP(m);
    TRACELINE(m);
    PRINTSTR(m, message);
    end_with_fault();
}

}  // namespace

void illegal_opcode_report(Machine& m, const uint8_t* sp, const uint8_t* pc) {
    fault_stop_report(m, sp, pc, "\r\n\r\nIllegal Opcode !!!\r\n");
}

void align_fault_report(Machine& m, const uint8_t* sp, const uint8_t* pc) {
    fault_stop_report(m, sp, pc, "\r\n\r\nAddress not Aligned\r\n");
}

}  // namespace norvex
