// The test rig: a machine on a scripted console that loads an image (or a
// program text), runs bursts until the image stops or a fault report ends
// the run, and reads the stacks and memories it leaves. The memories stay
// allocated after the run, so a test can look at everything.
#pragma once

#include <cstdint>
#include <stdexcept>
#include <string>
#include <vector>

#include "core/engine.h"
#include "core/translate.h"
#include "image/header.h"
#include "image/startup.h"
#include "monitor/fault_report.h"
#include "monitor/run_control.h"
#include "monitor/run_end.h"
#include "testing/script_console.h"
#include "tests/images.h"

namespace norvex::testing {

using Cells = std::vector<uint32_t>;

struct Rig {
    ScriptConsole console;
    Machine m;
    int status = -1;        // RunEnd status, or -1 while the machine still runs
    bool faulted = false;   // a fault report ended the run
    // Where start-up puts the stacks: the return stack at the top of the
    // variable memory the header gives, the data stack 256 bytes below.
    uint32_t s0 = 0, r0 = 0;

    Rig() { m.console = &console; }
    // A program text in the split (or shared) layout, loaded; it ends in a
    // stop through DEBUG, which stores the registers.
    explicit Rig(const std::string& program, std::string keys = {}, bool shared = false) : Rig() {
        console.add_keys(keys);
        load(text_image(program + " 0 1 DEBUG", shared));
    }
    Rig(const Rig&) = delete;
    Rig& operator=(const Rig&) = delete;

    void load(const std::vector<uint8_t>& image, const std::string& args = {}) {
        STARTUP(m, args, image.data(), uint32_t(image.size()));
        r0 = header_cell(image.data(), H_VX);
        s0 = r0 - 256;
    }

    // Runs bursts until a stop bit is set or a report ends the run.
    void run(int max_bursts = 100000) {
        try {
            for (int i = 0; i < max_bursts && !(m.DBGMODE & DM_STOP); ++i) RUNBURST(m);
            status = (m.DBGMODE & DM_STOP) ? m.services.exit_status : -1;
        } catch (const Fault& f) {
            faulted = true;
            status = report_fault(m, f).status;
        }
    }

    // Runs a program that ends in a stop; the cells it leaves below DEBUG's
    // result, top first. A run that does not stop throws, with its output.
    Cells results() {
        run();
        if (faulted || !(m.DBGMODE & DM_STOP)) throw std::runtime_error("the program did not stop: " + output());
        if (depth() < 1) throw std::runtime_error("the data stack is below where it started");
        Cells cells;
        for (int i = 1; i < depth(); ++i) cells.push_back(ds(i));
        return cells;
    }
    // Runs a program expected to fault; the report.
    std::string fault() {
        run();
        return faulted && status == kExitFault ? output() : "(no fault)";
    }

    // Runs start-up, the main loop and shutdown as the process does; the
    // exit status.
    int run_as_process(const std::vector<uint8_t>& image, const std::string& args = {}) {
        status = MAINLOOP(m, [&](Machine& mm) { STARTUP(mm, args, image.data(), uint32_t(image.size())); });
        return status;
    }

    // Data-stack cell i (0 = top), return-stack cell i, and the depths.
    uint32_t ds(int i) { return mem_load32(GETVARPTR(m, m.cpu.S + 4 * uint32_t(i), 4)); }
    uint32_t rs(int i) { return mem_load32(GETVARPTR(m, m.cpu.R + 4 * uint32_t(i), 4)); }
    int depth() const { return int(s0 - m.cpu.S) / 4; }
    int rdepth() const { return int(r0 - m.cpu.R) / 4; }
    const std::string& output() const { return console.output(); }

    // Variable and program memory as the image sees it; an address outside
    // them throws the translation fault.
    std::string bytes_at(uint32_t addr, uint32_t n) { return read(GETVARPTR(m, addr, n), n); }
    std::string prg_at(uint32_t addr, uint32_t n) { return read(GETPRGPTR(m, addr, n), n); }
    void put(uint32_t addr, const std::string& s) { write(GETVARPTR(m, addr, uint32_t(s.size())), s); }
    void put_prg(uint32_t addr, const std::string& s) { write(GETPRGPTR(m, addr, uint32_t(s.size())), s); }
    void put_name(uint32_t addr, const std::string& name) { put(addr, name + '\0'); }

private:
    static std::string read(const uint8_t* at, uint32_t n) {
        std::string s(n, '\0');
        mem_read(reinterpret_cast<uint8_t*>(s.data()), at, n);
        return s;
    }
    static void write(uint8_t* at, const std::string& s) {
        mem_write(at, reinterpret_cast<const uint8_t*>(s.data()), s.size());
    }
};

}  // namespace norvex::testing
