// Fuzz target: translated code against the interpreter. An image that ends
// by itself (a stop, BYE, a report) within the interpreter's budget must end
// the same way with translated code: the same status, output, memories and,
// after a stop, registers.
//
// What may differ: translated code keeps cells that are pushed and consumed
// inside a block in registers, so such dead cells below the data-stack
// pointer are not written as the interpreter writes them. They lie where an
// instruction moved the data-stack pointer up past them, which the
// interpreter's run records (under a budget it runs one instruction per
// burst). Those bytes are left out of the memory comparison, and a run that
// reads them (through the return stack, a fetch, a moved stack pointer, a
// service, a report's trace line, or as code) is not compared at all. After a
// translation fault CPUSTATE is not compared either: it holds the start of
// the faulting burst, and translated code splits bursts differently.
//
// Input: a mode byte (1: a terminal of 80 x 24 as the console), the keys up
// to a NUL, then the image's bytes, started as norvex-rom starts its own.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <memory>
#include <string>
#include <string_view>

#include "core/engine.h"
#include "core/translate.h"
#include "fuzz/harness.h"
#include "image/startup.h"
#include "monitor/console.h"
#include "monitor/run_end.h"
#include "services/dispatch.h"

using namespace norvex;

namespace {

// Offsets into variable memory that may hold dead cells. Offsets, not
// virtual addresses: a variable memory may wrap around from 0xFFFFFFFF to 0.
class DeadCells {
public:
    void add(uint64_t from, uint64_t to) {
        auto it = ranges_.upper_bound(from);
        if (it != ranges_.begin() && std::prev(it)->second >= from) {
            --it;
            from = it->first;
            to = std::max(to, it->second);
            it = ranges_.erase(it);
        }
        while (it != ranges_.end() && it->first <= to) {
            to = std::max(to, it->second);
            it = ranges_.erase(it);
        }
        ranges_.emplace(from, to);
    }
    bool overlaps(uint64_t from, uint64_t n) const {
        auto it = ranges_.upper_bound(from + n - 1);
        return n && it != ranges_.begin() && std::prev(it)->second > from;
    }
    bool empty() const { return ranges_.empty(); }

private:
    std::map<uint64_t, uint64_t> ranges_;   // [first, second)
};

// The offset into variable memory of a host location, if it lies there.
bool in_var(const MemConf& c, const uint8_t* p, uint64_t& v) {
    if (!p || !c.var || p < c.var || p >= c.var + c.VARSIZE) return false;
    v = uint64_t(p - c.var);
    return true;
}

// The offset into variable memory of a virtual address, as translation
// computes it (modulo 2^32); past VARSIZE when the address lies outside.
uint64_t var_offset(const MemConf& c, uint32_t addr) { return uint32_t(addr - c.VAROFF); }

// The services that read memory the image names (names, FWRITE's and
// FLASH-W's sources).
bool reads_named_memory(uint32_t code) {
    const ServiceEntry* e = service_entry(code);
    if (!e) return false;
    for (const char* name : {"FCREATE", "FOPEN", "FDELETE", "FCOPY", "FWRITE", "FLASH-W"})
        if (std::strcmp(e->name, name) == 0) return true;
    return false;
}

// True when the instruction at PC may read a dead cell.
bool reads_dead(const Machine& m, const DeadCells& dead) {
    if (dead.empty()) return false;
    const MemConf& c = m.mem;
    const CpuState& r = m.cpu;
    const uint8_t* at = find_prg(c, r.PC, 1);
    if (!at) return false;
    uint64_t code;   // code fetched from variable memory (split and shared layouts)
    if (in_var(c, at, code) && dead.overlaps(code, 5)) return true;
    auto cell = [&](uint32_t a) {
        const uint8_t* p = find_var(c, a, 4);
        return p ? mem_load32(p) : 0u;
    };
    auto var_read = [&](const uint8_t* p, uint32_t width) {
        uint64_t v;
        return in_var(c, p, v) && dead.overlaps(v, width);
    };
    const uint32_t t0 = cell(r.S), t1 = cell(r.S + 4);
    switch (Op(mem_load8(at))) {
    case Op::RFROM:
    case Op::RFETCH:
    case Op::EXIT:
    case Op::NBRANCH: return dead.overlaps(var_offset(c, r.R), 4);
    case Op::SPSTORE: return t0 < r.S && dead.overlaps(var_offset(c, t0), r.S - t0);
    case Op::CFETCH: return var_read(find_var(c, t0, 1), 1);
    case Op::WFETCH: return var_read(find_var(c, t0, 2), 2);
    case Op::FETCH: return var_read(find_var(c, t0, 4), 4);
    case Op::CFETCHP: return var_read(find_prg(c, t0, 1), 1);
    case Op::WFETCHP: return var_read(find_prg(c, t0, 2), 2);
    case Op::FETCHP: return var_read(find_prg(c, t0, 4), 4);
    case Op::CFETCHX: return var_read(m.space.locate(t1, 1), 1);
    case Op::WFETCHX: return var_read(m.space.locate(t1, 2), 2);
    case Op::FETCHX: return var_read(m.space.locate(t1, 4), 4);
    case Op::NEST: {
        const uint8_t* list = find_prg(c, r.IP, 4);
        const uint8_t* field = list ? find_prg(c, mem_load32(list), 4) : nullptr;
        return var_read(list, 4) || var_read(field, 4);
    }
    case Op::SYSCALL: return reads_named_memory(t0);
    default: return false;
    }
}

struct Run {
    ScriptConsole console;
    Machine m;
    int status = kExitOk;
    bool ended = false;        // by the image itself, before the budget ran out
    bool comparable = true;    // no dead cell was read
    DeadCells dead;            // recorded by the interpreter's run

    Run(const std::string& keys, bool terminal, bool native, uint32_t budget,
        const uint8_t* image, uint32_t size)
        : console(keys) {
        if (terminal) console.set_screen(80, 24);
        m.console = &console;
        m.native_enabled = native;
        fuzz::bound(m);
        m.budget = budget;
        try {
            STARTUP_BUILTIN(m, "", image, size);
            while (!(m.DBGMODE & DM_STOP)) {
                const uint32_t before = m.cpu.S;
                if (!native && reads_dead(m, dead)) comparable = false;
                RUNBURST(m);
                // No translated instruction moves S up by more than 12.
                if (!native && m.cpu.S - before - 1 < 12) {
                    const uint64_t from = var_offset(m.mem, before);
                    dead.add(from, from + (m.cpu.S - before));
                }
            }
            ended = m.budget != 0;
        } catch (const RunEnd& end) {
            status = end.status;
            ended = true;
            // The reports of the fault stops show three return-stack cells.
            if (!native && end.status == kExitFault && dead.overlaps(var_offset(m.mem, m.cpu.R), 12))
                comparable = false;
        }
    }
};

// A disagreement: what it is, on standard error, then the crash the fuzzer
// records.
void check(bool holds, const char* what) {
    if (holds) return;
    std::fprintf(stderr, "interpreter and translated code disagree: %s\n", what);
    __builtin_trap();
}

void show(const char* engine, const Run& r) {
    const CpuState& c = r.m.cpu;
    std::fprintf(stderr, "%s: status %d ended %d comparable %d PC %08X S %08X R %08X IP %08X W %08X "
                 "DBGMODE %02X\n%s\n", engine, r.status, r.ended, r.comparable, c.PC, c.S, c.R, c.IP,
                 c.W, r.m.DBGMODE, r.console.output().c_str());
}

void compare_memory(const MemConf& a, const MemConf& b, const DeadCells& dead) {
    check(a.VARSIZE == b.VARSIZE && a.PRGSIZE == b.PRGSIZE && a.shared() == b.shared(), "layout");
    if (a.var && std::memcmp(a.var, b.var, a.VARSIZE) != 0) {
        for (uint32_t o = 0; o < a.VARSIZE; ++o) {
            if (a.var[o] == b.var[o] || dead.overlaps(o, 1)) continue;
            std::fprintf(stderr, "variable memory at %08X: %02X, translated %02X\n", a.VAROFF + o,
                         mem_load8(a.var + o), mem_load8(b.var + o));
            check(false, "variable memory");
        }
    }
    if (a.prg && !a.shared()) check(std::memcmp(a.prg, b.prg, a.PRGSIZE) == 0, "program memory");
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv) {
    fuzz::enter_sandbox(argc, argv);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 1) return -1;
    const bool terminal = data[0] & 1;
    std::string_view rest(reinterpret_cast<const char*>(data + 1), size - 1);
    const std::string keys(fuzz::field(rest));
    const uint8_t* image = fuzz::image_bytes(rest);
    const uint32_t image_size = uint32_t(rest.size());
    uint8_t header[kHeaderBytes];
    fuzz::header_of(image, image_size, header);
    if (!fuzz::memory_fits(header, nullptr)) return -1;

    const auto interpreted = std::make_unique<Run>(keys, terminal, false, fuzz::kBudget, image, image_size);
    fuzz::clear_scratch();
    if (!interpreted->ended || !interpreted->comparable) return 0;
    // Translated code spends at most two units an instruction: a block
    // entered, and its first instruction left to the interpreter.
    const auto native = std::make_unique<Run>(keys, terminal, true, 2 * fuzz::kBudget + 2, image, image_size);
    fuzz::clear_scratch();

    const Run& a = *interpreted;
    const Run& b = *native;
    // Both runs are shown on request, and always before a disagreement.
    const bool agree = b.ended && a.status == b.status && a.console.output() == b.console.output();
    if (!agree || std::getenv("NORVEX_FUZZ_SHOW")) {
        show("interpreter", a);
        show("translated", b);
    }
    check(b.ended, "the budget ran out");
    check(a.status == b.status, "status");
    check(a.console.output() == b.console.output(), "output");
    compare_memory(a.m.mem, b.m.mem, a.dead);
    if (a.status == kExitOk) {
        const CpuState &x = a.m.cpu, &y = b.m.cpu;
        check(x.PC == y.PC && x.S == y.S && x.R == y.R && x.IP == y.IP && x.W == y.W, "registers");
        check(a.m.DBGMODE == b.m.DBGMODE, "run mode");
    }
    return 0;
}
