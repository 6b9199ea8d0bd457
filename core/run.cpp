// The kinds of burst the main loop runs: free run alternating translated
// code with the interpreter, bursts under a budget, the interpreter alone,
// and the delivery of a user interrupt.
#include "core/engine.h"

#include "core/burst.h"
#include "core/native/native.h"
#include "host/interrupt.h"

namespace norvex {

namespace {

// A burst under a budget is short. In free run it is translated code while
// the budget lasts (it leaves at least the last unit), then one interpreted
// instruction as the continuation of one long burst; with a run-mode bit set
// it is the one instruction it always is. The interpreted instruction spends
// a unit, and the last unit stops the machine.
BurstEnd budgeted_burst(Machine& m) {
    BurstEnd end;
    if (m.DBGMODE & kDbgMask) {
        end = interpret<true>(m, false);
    } else {
        if (native_available(m)) native_run(m);
        end = interpret<true>(m, true);
    }
    if (--m.budget == 0) m.DBGMODE |= DM_STOP;
    return end;
}

}  // namespace

// A user interrupt, delivered as a CALL to the handler would be: the address
// of the next instruction pushed on the return stack, PC at the handler. A
// return stack without room, or a handler outside program memory, is the
// fault such a CALL would meet.
BurstEnd deliver_interrupt(Machine& m) {
    clear_interrupt();
    const MemConf& c = m.mem;
    uint8_t* pc = resume_location(m, Translation::Prg, m.cpu.PC);
    uint8_t* sp = resume_location(m, Translation::Var, m.cpu.S);
    uint8_t* rp = resume_location(m, Translation::Var, m.cpu.R);
    Burst b{m, pc, sp, rp, area_of(c, pc), area_of(c, sp), area_of(c, rp)};
    if (size_t(rp - b.rs.lo) < 4) b.stack_fault(b.rs, true);
    rp -= 4;
    mem_store32(rp, m.cpu.PC);
    if (b.rs.watched) stored(m, rp, 4);
    GETPRGPTR(m, m.interrupt_handler, 1, b.here());
    m.cpu.R = GETVARADR(c, rp);
    m.cpu.PC = m.interrupt_handler;
    return BurstEnd::Normal;
}

// A burst of the interpreter alone that may run long: no translation may
// exist meanwhile (see the note on program-memory writes above).
BurstEnd burst_without_translations(Machine& m) {
    if (m.native && !(m.DBGMODE & kDbgMask)) native_forget(m);
    return interpret<true>(m, false);
}

// Free run alternates translated code with single instructions of the
// interpreter: each stretch of translated code stops at an instruction it
// leaves to the interpreter (a service, a fault, anything rare). A waiting
// user interrupt ends the burst; the next one delivers it.
BurstEnd RUNBURST(Machine& m) {
    if (interrupt_pending()) {
        if (m.interrupt_handler) return deliver_interrupt(m);
        clear_interrupt();
    }
    if (m.budget) return budgeted_burst(m);
    if ((m.DBGMODE & kDbgMask) || !native_available(m)) return burst_without_translations(m);
    const CpuState start = m.cpu;
    for (;;) {
        native_run(m);
        if (interrupt_pending()) return BurstEnd::Normal;
        if (interpret<true>(m, true) == BurstEnd::Abandoned) {
            // As if the whole burst had been abandoned: PC, S and R as at its start.
            m.cpu.PC = start.PC;
            m.cpu.S = start.S;
            m.cpu.R = start.R;
            return BurstEnd::Abandoned;
        }
        if ((m.DBGMODE & kDbgMask) || interrupt_pending()) return BurstEnd::Normal;
        if (!m.native_enabled) return burst_without_translations(m);
    }
}

BurstEnd interpret_burst(Machine& m) { return interpret<true>(m, false); }

#ifdef NORVEX_BENCH_UNCHECKED
BurstEnd interpret_burst_unchecked(Machine& m) { return interpret<false>(m, false); }
#endif

}  // namespace norvex
