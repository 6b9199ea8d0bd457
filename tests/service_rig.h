// A fresh machine running an assembled image on a scripted console, for the
// service tests. The image body is followed by a stop through DEBUG (mode
// DM_STOP), which ends the burst with the registers stored, so the data
// stack the body left can be read afterwards.
#pragma once

#include <cstdint>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "asm/assembler.h"
#include "core/engine.h"
#include "core/translate.h"
#include "image/startup.h"
#include "monitor/console.h"
#include "monitor/run_end.h"

namespace norvex::testing {

using assembler::Assembler;
using assembler::ImageHeader;

// Program memory 0x0000-0x10000 (separate), variable memory
// 0x20000000-0x20010000; not Harvard.
constexpr uint32_t kPrgEnd = 0x10000;
constexpr uint32_t kVar = 0x20000000;
constexpr uint32_t kVarEnd = 0x20010000;
constexpr uint32_t kOutside = 0x90000000;   // in no memory

inline ImageHeader split_header() {
    ImageHeader h;
    h.flags = 0x80;   // separate program memory
    h.p0 = 0;
    h.px = kPrgEnd;
    h.v0 = kVar;
    h.vx = kVarEnd;
    h.start = 80;
    return h;
}

inline ImageHeader shared_header() {
    ImageHeader h;
    h.v0 = kVar;
    h.vx = kVarEnd;
    h.start = kVar + 80;
    return h;
}

struct Rig {
    ScriptConsole console;
    Machine m;
    uint32_t s0 = 0;
    std::vector<uint8_t> image;

    explicit Rig(const std::function<void(Assembler&)>& body, ImageHeader h = split_header(),
                 std::string keys = {})
        : console(std::move(keys)) {
        Assembler a(h.flags & 0x80 ? h.p0 : h.v0, h);
        body(a);
        a.lit(0);
        a.lit(DM_STOP);
        a.syscall(0x0001);   // DEBUG
        image = a.finish();
        m.console = &console;
        STARTUP_BUILTIN(m, "", image.data(), uint32_t(image.size()));
        s0 = m.cpu.S;
    }

    // Runs to the stop; a fault report throws RunEnd.
    void run() {
        do RUNBURST(m);
        while (!(m.DBGMODE & DM_STOP));
    }

    // The cells the body left, top first (the stop's own 0 removed).
    std::vector<uint32_t> stack() {
        std::vector<uint32_t> cells;
        for (uint32_t a = m.cpu.S + 4; a != s0; a += 4) cells.push_back(mem_load32(var(a)));
        return cells;
    }

    // Runs and returns the stack.
    std::vector<uint32_t> results() {
        run();
        return stack();
    }

    // Runs an image expected to fault; returns the report text.
    std::string fault() {
        try {
            run();
        } catch (const RunEnd& end) {
            if (end.status == kExitFault) return console.output();
        }
        return "(no fault)";
    }

    uint8_t* var(uint32_t addr, uint32_t width = 1) { return find_var(m.mem, addr, width); }
    uint8_t* prg(uint32_t addr, uint32_t width = 1) { return find_prg(m.mem, addr, width); }
    void put(uint32_t addr, const std::string& bytes) {
        mem_write(var(addr, uint32_t(bytes.size())), reinterpret_cast<const uint8_t*>(bytes.data()),
                  bytes.size());
    }
    // Bytes of program or variable memory as the image sees them.
    std::string read(uint8_t* at, uint32_t n) {
        std::string s(n, '\0');
        mem_read(reinterpret_cast<uint8_t*>(s.data()), at, n);
        return s;
    }
    std::string read_prg(uint32_t addr, uint32_t n) { return read(prg(addr, n), n); }
    std::string read_var(uint32_t addr, uint32_t n) { return read(var(addr, n), n); }
    void poke_prg(uint32_t addr, uint8_t byte) { mem_store8(prg(addr), byte); }
    void put_name(uint32_t addr, const std::string& name) { put(addr, name + '\0'); }
};

using Cells = std::vector<uint32_t>;

}  // namespace norvex::testing
