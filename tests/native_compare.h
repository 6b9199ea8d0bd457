// Runs one image with the interpreter alone and with translated code and
// compares what the two leave: status, output, registers after a stop, and
// every byte of both memories.
#pragma once

#include <gtest/gtest.h>

#include <cstdio>
#include <functional>
#include <string>
#include <vector>

#include "tests/rig.h"

namespace norvex::testing {

struct Outcome {
    int status;
    std::string output;
    CpuState cpu;
    uint8_t dbgmode;
    std::vector<uint8_t> var, prg;
};

// Run after start-up, before the first instruction: places code or data.
using Setup = std::function<void(Machine&)>;

// A code area of code_bytes (1 MiB unless given: quicker to make for each
// of thousands of programs than the default).
inline Outcome run_outcome(const std::vector<uint8_t>& image, bool native, const Setup& setup = {},
                           size_t code_bytes = 0) {
    Rig r;
    r.m.native_enabled = native;
    r.m.native_code_bytes = code_bytes ? code_bytes : size_t(1) << 20;
    r.load(image);
    if (setup) setup(r.m);
    r.run(1000);
    Outcome o{r.status, r.output(), r.m.cpu, r.m.DBGMODE, {}, {}};
    o.var.assign(r.m.mem.var, r.m.mem.var + r.m.mem.VARSIZE);
    if (!r.m.mem.shared()) o.prg.assign(r.m.mem.prg, r.m.mem.prg + r.m.mem.PRGSIZE);
    return o;
}

// A listing of an image's code, for replaying a failing program by hand.
inline void list(const std::vector<uint8_t>& image) {
    for (size_t at = 80; at < image.size();) {
        const uint8_t op = image[at];
        const OpInfo info = op < 64 ? kOpInfo[op] : OpInfo{"??", 0, false};
        std::fprintf(stderr, "%04zX %-8s", at, info.mnemonic);
        if (info.operand_bytes && at + 5 <= image.size()) std::fprintf(stderr, " %08X", load32(&image[at + 1]));
        std::fprintf(stderr, "\n");
        at += 1 + info.operand_bytes;
    }
}

inline void expect_same_bytes(const std::vector<uint8_t>& a, const std::vector<uint8_t>& b, const char* memory,
                              const std::string& what) {
    if (a == b) return;
    size_t at = 0;
    while (at < a.size() && at < b.size() && a[at] == b[at]) ++at;
    ADD_FAILURE() << what << ": " << memory << " memory differs first at offset " << at << " ("
                  << (at < a.size() ? int(uint8_t(~a[at])) : -1) << " vs "
                  << (at < b.size() ? int(uint8_t(~b[at])) : -1) << ")";
}

inline void expect_same(const std::vector<uint8_t>& image, const std::string& what, const Setup& setup = {},
                        size_t code_bytes = 0) {
    if (std::getenv("NATIVE_LIST")) list(image);
    const Outcome a = run_outcome(image, false, setup), b = run_outcome(image, true, setup, code_bytes);
    EXPECT_EQ(a.status, b.status) << what;
    EXPECT_EQ(a.output, b.output) << what;
    expect_same_bytes(a.var, b.var, "variable", what);
    expect_same_bytes(a.prg, b.prg, "program", what);
    // After a translation fault nothing reads the registers again (the process
    // ends), and it holds the start of the burst that faulted; translated
    // code splits a burst differently, so only a normal stop is compared.
    if (a.status != kExitOk) return;
    EXPECT_EQ(a.cpu.PC, b.cpu.PC) << what;
    EXPECT_EQ(a.cpu.S, b.cpu.S) << what;
    EXPECT_EQ(a.cpu.R, b.cpu.R) << what;
    EXPECT_EQ(a.cpu.IP, b.cpu.IP) << what;
    EXPECT_EQ(a.cpu.W, b.cpu.W) << what;
    EXPECT_EQ(a.dbgmode, b.dbgmode) << what;
}

}  // namespace norvex::testing
