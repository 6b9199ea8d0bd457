#include "monitor/run_control.h"

#include "core/engine.h"
#include "core/translate.h"
#include "image/startup.h"
#include "host/console.h"
#include "monitor/fault_report.h"
#include "monitor/run_end.h"
#include "monitor/text_output.h"
#include "monitor/trace.h"

namespace norvex {

namespace {

bool any_bit(const Machine& m) { return m.DBGMODE & kDbgMask; }

void break_check(Machine& m) {
    if (m.DBGMODE & DM_BRKPC) {
        if (m.cpu.PC == m.BREAKADR) m.DBGMODE = DM_TRACE | DM_STEP;
    } else if ((m.DBGMODE & DM_BRKIP) && m.cpu.IP == m.BREAKADR) {
        m.DBGMODE = DM_TRACE | DM_STEP;
    }
}

// One monitor key in single-step mode. ESC, and the end of input, end the run.
void monitor_key(Machine& m) {
    const int key = m.console->read_key();
    switch (key) {
    case kEndOfInput:
    case KEY_ESC:
        throw RunEnd{kExitOk, false};
    case KEY_CR:
        m.DBGMODE = 0;
        break;
    case KEY_STEP_OVER:
        m.BREAKADR = m.cpu.PC + instruction_length(Op::CALL);   // the address after a CALL
        m.DBGMODE = DM_BRKPC;
        break;
    case KEY_RUN_TO_RETURN:
        m.BREAKADR = mem_load32(GETVARPTR(m, m.cpu.R, 4));
        m.DBGMODE = DM_BRKPC;
        break;
    default:
        break;
    }
}

}  // namespace

int MAINLOOP(Machine& m, const std::function<void(Machine&)>& startup) {
    RunEnd end{kExitOk, false};
    try {
        startup(m);
        if (!any_bit(m)) RUNBURST(m);
        for (;;) {
            break_check(m);
            if (m.DBGMODE & DM_TRACE) TRACELINE(m);
            if (m.DBGMODE & DM_STOP) throw RunEnd{m.services.exit_status, false};
            if (m.DBGMODE & DM_STEP) monitor_key(m);
            RUNBURST(m);
        }
    } catch (const RunEnd& e) {
        end = e;
    } catch (const Fault& f) {
        end = report_fault(m, f);
    } catch (const StartupFailure& f) {
        PRINTSTR(m, f.line + "\r\n");
        end = {kExitStartup, f.wait_key};
    }
    m.console->flush();   // the last text out before any wait and at every end
    if (end.wait_key) WAITKEY(m);
    SHUTDOWN(m);
    return end.status;
}

}  // namespace norvex
