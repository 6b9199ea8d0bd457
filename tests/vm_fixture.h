// Runs assembled images in-process on a scripted console.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "asm/assembler.h"
#include "core/engine.h"
#include "core/translate.h"
#include "image/startup.h"
#include "host/console.h"
#include "monitor/run_control.h"
#include "monitor/fault_report.h"

namespace norvex::testing {

constexpr uint32_t kVarBase = 0x20000000;
constexpr uint32_t kVarSize = 0x1000;

// A Harvard image: program memory 0..0x10000, 4 KiB of variable memory at
// 0x20000000, code starting right after the header.
inline assembler::Assembler harvard_image(uint8_t flags = 0xC0) {
    assembler::ImageHeader h;
    h.flags = flags;
    h.p0 = 0;
    h.px = 0x10000;
    h.v0 = kVarBase;
    h.vx = kVarBase + kVarSize;
    h.start = 80;
    return assembler::Assembler(0, h);
}

// Ends a test program with its registers stored: DEBUG sets DM_STOP, which
// ends the burst normally. The DEBUG result 0 is then on top of the stack,
// the program's own results below it.
inline void halt(assembler::Assembler& a) {
    a.lit(0);
    a.lit(DM_STOP);
    a.syscall(Service::DEBUG);
}

struct VmRun {
    ScriptConsole console;
    Machine m;
    int status = -1;   // RunEnd status, or -1 while the machine still runs

    explicit VmRun(std::string keys = {}) : console(std::move(keys)) { m.console = &console; }

    void load(const std::vector<uint8_t>& image, const std::string& args = {}) {
        STARTUP_BUILTIN(m, args, image.data(), uint32_t(image.size()));
    }

    // Runs bursts until a stop bit is set or a report ends the run. The
    // memories stay allocated, so the test can look at the machine.
    void run(int max_bursts = 100000) {
        try {
            for (int i = 0; i < max_bursts && !(m.DBGMODE & DM_STOP); ++i) RUNBURST(m);
            status = (m.DBGMODE & DM_STOP) ? m.services.exit_status : -1;
        } catch (const Fault& f) {
            status = report_fault(m, f).status;
        }
    }

    // Data-stack cell i (0 = top) and depth relative to the initial S.
    uint32_t ds(int i) { return mem_load32(GETVARPTR(m, m.cpu.S + 4 * uint32_t(i), 4)); }
    uint32_t rs(int i) { return mem_load32(GETVARPTR(m, m.cpu.R + 4 * uint32_t(i), 4)); }
    int depth() const { return int((kVarBase + kVarSize - 256) - m.cpu.S) / 4; }
    int rdepth() const { return int((kVarBase + kVarSize) - m.cpu.R) / 4; }
    const std::string& output() const { return console.output(); }
};

// Runs the whole program (start-up, main loop, shutdown) as a process would.
inline int run_program(ScriptConsole& console, const std::vector<uint8_t>& image,
                       const std::string& args = {}) {
    Machine m;
    m.console = &console;
    return MAINLOOP(m, [&](Machine& mm) {
        STARTUP_BUILTIN(mm, args, image.data(), uint32_t(image.size()));
    });
}

}  // namespace norvex::testing
