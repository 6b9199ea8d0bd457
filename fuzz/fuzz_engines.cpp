// Fuzz target: translated code against the interpreter. An image that ends
// by itself (a stop, BYE, a report) within the interpreter's budget must end
// the same way with translated code: the same status, output, every byte of
// both memories and, after a stop, registers. After a translation fault
// The registers (Machine::cpu) are not compared: it holds the start of the faulting burst, and
// translated code splits bursts differently.
//
// Input: a mode byte, the keys up to a NUL, then the image's bytes, started
// as norvex-rom starts its own. The mode byte:
//   bit 0     a terminal of 80 x 24 as the console
//   bits 1-2  the code area of the translated run: default, 4, 8 or 16 KiB,
//             so that it fills and empties many times
//   bit 3     program memory of 1 to 64 bytes: its size is 1 + (#px & 63)
//   bit 4     variable memory of 1 to 64 bytes: its size is 1 + (#vx & 63)
//   bit 5     the stacks start where the header's #s0 and #r0 say, which
//             may be anywhere (program memory, outside every memory)
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "core/engine.h"
#include "fuzz/harness.h"
#include "image/startup.h"
#include "host/console.h"
#include "testing/script_console.h"
#include "monitor/fault_report.h"

using namespace norvex;

namespace {

constexpr size_t kCodeAreas[] = {0, 4096, 8192, 16384};

struct Shape {
    bool terminal;
    size_t code_bytes;
    bool stacks_from_header;
};

// The image with the mode byte's tiny memories written into its header.
std::vector<uint8_t> shaped(uint8_t mode, const uint8_t* image, size_t size) {
    std::vector<uint8_t> v(image, image + size);
    if (v.size() < 80) v.resize(80, 0);
    auto set_size = [&](size_t start_at, size_t end_at) {
        uint32_t start, end;
        std::memcpy(&start, &v[start_at], 4);
        std::memcpy(&end, &v[end_at], 4);
        end = start + 1 + (end & 63);
        std::memcpy(&v[end_at], &end, 4);
    };
    if (mode & 0x08) set_size(20, 16);   // #p0, #px
    if (mode & 0x10) set_size(76, 24);   // #v0, #vx
    if (size < 80 && !(mode & 0x18)) v.resize(size);
    return v;
}

struct Run {
    ScriptConsole console;
    Machine m;
    int status = kExitOk;
    bool ended = false;   // by the image itself, before the budget ran out

    Run(const std::string& keys, const Shape& shape, bool native, uint32_t budget,
        const std::vector<uint8_t>& image)
        : console(keys) {
        if (shape.terminal) console.set_screen(80, 24);
        m.console = &console;
        m.native_enabled = native;
        m.native_code_bytes = shape.code_bytes;
        fuzz::bound(m);
        m.budget = budget;
        try {
            STARTUP(m, "", image.data(), uint32_t(image.size()));
            if (shape.stacks_from_header) {
                std::memcpy(&m.cpu.S, m.header + 36, 4);
                std::memcpy(&m.cpu.R, m.header + 28, 4);
            }
            while (!(m.DBGMODE & DM_STOP)) RUNBURST(m);
            ended = m.budget != 0;
        } catch (const RunEnd& end) {
            status = end.status;
            ended = true;
        } catch (const Fault& f) {
            status = report_fault(m, f).status;
            ended = true;
        } catch (const StartupFailure&) {
            status = kExitStartup;
            ended = true;
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
    std::fprintf(stderr, "%s: status %d ended %d PC %08X S %08X R %08X IP %08X W %08X DBGMODE %02X\n%s\n",
                 engine, r.status, r.ended, c.PC, c.S, c.R, c.IP, c.W, r.m.DBGMODE,
                 r.console.output().c_str());
}

void compare_bytes(const uint8_t* a, const uint8_t* b, uint32_t size, uint32_t base, const char* what) {
    if (!a || std::memcmp(a, b, size) == 0) return;
    uint32_t o = 0;
    while (a[o] == b[o]) ++o;
    std::fprintf(stderr, "%s memory at %08X: %02X, translated %02X\n", what, base + o, mem_load8(a + o),
                 mem_load8(b + o));
    check(false, what);
}

void compare_memory(const MemConf& a, const MemConf& b) {
    check(a.VARSIZE == b.VARSIZE && a.PRGSIZE == b.PRGSIZE && a.shared() == b.shared(), "layout");
    compare_bytes(a.var, b.var, a.VARSIZE, a.VAROFF, "variable");
    if (!a.shared()) compare_bytes(a.prg, b.prg, a.PRGSIZE, a.PRGOFF, "program");
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv) {
    fuzz::enter_sandbox(argc, argv);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 1) return -1;
    const uint8_t mode = data[0];
    const Shape shape{bool(mode & 1), kCodeAreas[(mode >> 1) & 3], bool(mode & 0x20)};
    std::string_view rest(reinterpret_cast<const char*>(data + 1), size - 1);
    const std::string keys(fuzz::field(rest));
    const std::vector<uint8_t> image = shaped(mode, fuzz::image_bytes(rest), rest.size());
    uint8_t header[kHeaderBytes];
    fuzz::header_of(image.data(), image.size(), header);
    if (!fuzz::memory_fits(header, nullptr)) return -1;

    const auto interpreted = std::make_unique<Run>(keys, shape, false, fuzz::kBudget, image);
    fuzz::clear_scratch();
    if (!interpreted->ended) return 0;
    // Translated code spends at most two units an instruction: a block
    // entered, and its first instruction left to the interpreter.
    const auto native = std::make_unique<Run>(keys, shape, true, 2 * fuzz::kBudget + 2, image);
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
    compare_memory(a.m.mem, b.m.mem);
    if (a.status == kExitOk) {
        const CpuState &x = a.m.cpu, &y = b.m.cpu;
        check(x.PC == y.PC && x.S == y.S && x.R == y.R && x.IP == y.IP && x.W == y.W, "registers");
        check(a.m.DBGMODE == b.m.DBGMODE, "run mode");
    }
    return 0;
}
