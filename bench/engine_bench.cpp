// Engine benchmark: VM instructions per second on four kernels (a tight
// arithmetic loop, CALL/EXIT recursion, a load/store loop, NEST-threaded
// code) with the engine as the programs use it in free run (translated
// code), with the interpreter alone, and with the interpreter built without
// its bound tests. Instruction counts are exact: each kernel's count follows
// from its code and is checked by counting on a small size first.
//
// Usage: engine_bench [rounds]   (median of the rounds, default 5)
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <string>
#include <vector>

#include "asm/assembler.h"
#include "image/startup.h"
#include "host/console.h"
#include "testing/script_console.h"

namespace norvex {
BurstEnd interpret_burst_unchecked(Machine& m);
}

using namespace norvex;
using assembler::Assembler;
using assembler::Label;

namespace {

Assembler bench_image() {
    return Assembler(0, assembler::image_header(0xC0, 0x10000, 0x20000000, 0x20010000));
}

void stop(Assembler& a) {
    a.lit(0);
    a.lit(DM_STOP);
    a.syscall(Service::DEBUG);
}
constexpr uint64_t kStopInstructions = 4;   // LIT LIT LIT SYSCALL

struct Kernel {
    const char* name;
    std::vector<uint8_t> image;
    uint64_t instructions;
};

// ( n ) >R  begin DUP + LIT 7 XOR  NBRANCH
Kernel arithmetic(uint32_t n) {
    Assembler a = bench_image();
    a.lit(1);
    a.lit(n);
    a.op(Op::TOR);
    auto loop = a.label_here();
    a.ops("DUP +");
    a.lit(7);
    a.op(Op::XOR);
    a.nbranch(loop);
    stop(a);
    return {"arithmetic loop", a.finish(), 3 + 5ull * (uint64_t(n) + 1) + kStopInstructions};
}

// fib: DUP 2 < IF EXIT THEN DUP 1 - fib SWAP 2 - fib + ;
Kernel recursion(uint32_t n) {
    Assembler a = bench_image();
    auto fib = a.label();
    auto go = a.label();
    a.branch(go);
    a.bind(fib);
    auto rec = a.label();
    a.op(Op::DUP);
    a.lit(2);
    a.op(Op::LESS);
    a.zbranch(rec);
    a.op(Op::EXIT);
    a.bind(rec);
    a.op(Op::DUP);
    a.lit(1);
    a.op(Op::MINUS);
    a.call(fib);
    a.op(Op::SWAP);
    a.lit(2);
    a.op(Op::MINUS);
    a.call(fib);
    a.op(Op::PLUS);
    a.op(Op::EXIT);
    a.bind(go);
    a.lit(n);
    a.call(fib);
    stop(a);
    // Leaves run 5 instructions, inner calls 14.
    std::function<uint64_t(uint32_t)> count = [&](uint32_t k) -> uint64_t {
        return k < 2 ? 5 : 14 + count(k - 1) + count(k - 2);
    };
    return {"CALL/EXIT recursion", a.finish(), 1 + 2 + count(n) + kStopInstructions};
}

// ( n ) >R  begin LIT a @ LIT 1 + LIT a ! NBRANCH
Kernel load_store(uint32_t n) {
    Assembler a = bench_image();
    const uint32_t cell = 0x20000100;
    a.lit(0);
    a.lit(cell);
    a.op(Op::STORE);
    a.lit(n);
    a.op(Op::TOR);
    auto loop = a.label_here();
    a.lit(cell);
    a.op(Op::FETCH);
    a.lit(1);
    a.op(Op::PLUS);
    a.lit(cell);
    a.op(Op::STORE);
    a.nbranch(loop);
    stop(a);
    return {"load/store loop", a.finish(), 5 + 7ull * (uint64_t(n) + 1) + kStopInstructions};
}

// Indirect-threaded code: a list of four primitives and a loop word, each
// primitive ending in NEST.
Kernel threaded(uint32_t n) {
    Assembler a = bench_image();
    auto go = a.label();
    a.branch(go);
    auto dup_code = a.label_here();
    a.op(Op::DUP);
    a.op(Op::NEST);
    auto drop_code = a.label_here();
    a.op(Op::DROP);
    a.op(Op::NEST);
    auto list = a.label();
    auto again_code = a.label();
    auto loop_code = a.label_here();
    a.nbranch(again_code);
    auto done = a.label();
    a.branch(done);
    a.bind(again_code);
    a.lit(list);
    a.op(Op::FIPSTORE);
    a.op(Op::NEST);
    // Word headers: each a cell holding its code address.
    auto w_dup = a.label_here();
    a.cell(dup_code);
    auto w_drop = a.label_here();
    a.cell(drop_code);
    auto w_loop = a.label_here();
    a.cell(loop_code);
    a.bind(list);
    for (Label w : {w_dup, w_drop, w_dup, w_drop, w_loop}) a.cell(w);
    a.bind(go);
    a.lit(1);
    a.lit(n);
    a.op(Op::TOR);
    a.lit(list);
    a.op(Op::FIPSTORE);
    a.op(Op::NEST);
    a.bind(done);
    stop(a);
    // Start: BRANCH and six set-up instructions. Per round: 4 x (primitive,
    // NEST) and the loop word's NBRANCH, then LIT FIP! NEST to go round
    // again; the last round leaves through BRANCH instead.
    const uint64_t rounds = uint64_t(n) + 1;
    return {"NEST-threaded code", a.finish(), 7 + rounds * 9 + n * 3ull + 1 + kStopInstructions};
}

double seconds_to_run(const Kernel& k, BurstEnd (*burst)(Machine&)) {
    ScriptConsole console;
    Machine m;
    m.console = &console;
    STARTUP(m, "", k.image.data(), uint32_t(k.image.size()));
    const auto start = std::chrono::steady_clock::now();
    while (!(m.DBGMODE & DM_STOP)) burst(m);
    const auto end = std::chrono::steady_clock::now();
    SHUTDOWN(m);
    return std::chrono::duration<double>(end - start).count();
}

// Runs one instruction per burst (a break address never reached) and
// counts them: checks each kernel's formula on a small size.
uint64_t counted_instructions(const Kernel& k) {
    ScriptConsole console;
    Machine m;
    m.console = &console;
    STARTUP(m, "", k.image.data(), uint32_t(k.image.size()));
    m.DBGMODE = DM_BRKPC;
    m.BREAKADR = 0xFFFFFFFF;
    uint64_t n = 0;
    for (; !(m.DBGMODE & DM_STOP); ++n) RUNBURST(m);
    SHUTDOWN(m);
    return n;
}

double median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

}  // namespace

int main(int argc, char** argv) {
    const int rounds = argc > 1 ? std::max(1, std::atoi(argv[1])) : 5;
    for (const Kernel& k : {arithmetic(10), recursion(10), load_store(10), threaded(10)}) {
        if (counted_instructions(k) != k.instructions) {
            std::fprintf(stderr, "%s: counted %llu instructions, formula says %llu\n", k.name,
                         static_cast<unsigned long long>(counted_instructions(k)),
                         static_cast<unsigned long long>(k.instructions));
            return 1;
        }
    }
    const Kernel kernels[] = {arithmetic(60'000'000), recursion(32), load_store(40'000'000),
                              threaded(25'000'000)};
    std::printf("%-22s %13s %12s %14s %12s %11s\n", "kernel", "instructions", "native", "interpreter",
                "unchecked", "check cost");
    for (const Kernel& k : kernels) {
        std::vector<double> native, checked, unchecked;
        for (int r = 0; r < rounds; ++r) {   // interleaved: drift hits all alike
            native.push_back(seconds_to_run(k, RUNBURST));
            checked.push_back(seconds_to_run(k, interpret_burst));
            unchecked.push_back(seconds_to_run(k, interpret_burst_unchecked));
        }
        const double n = median(native), c = median(checked), u = median(unchecked);
        const double count = double(k.instructions);
        std::printf("%-22s %13llu %8.0f M/s %10.0f M/s %8.0f M/s %10.1f%%\n", k.name,
                    static_cast<unsigned long long>(k.instructions), count / n / 1e6, count / c / 1e6,
                    count / u / 1e6, (c / u - 1) * 100);
    }
    return 0;
}
