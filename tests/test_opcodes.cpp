// The instruction set, run through the engine in free run.
#include <gtest/gtest.h>

#include <functional>
#include <sstream>

#include "tests/rig.h"

namespace norvex {
namespace {

using assembler::Assembler;
using testing::harvard_image;
using testing::Rig;

// Pushes the inputs with LIT, runs the program (mnemonics, and numbers that
// become LITs), stops; the results are the cells below DEBUG's 0, top first.
struct Case {
    std::vector<uint32_t> inputs;
    const char* ops;
    std::vector<uint32_t> results;   // top first
    int64_t w = -1;                  // expected W, or -1 for "not checked"
};

void check(const Case& c) {
    Assembler a = harvard_image();
    for (uint32_t x : c.inputs) a.lit(x);
    std::istringstream words(c.ops);
    for (std::string w; words >> w;) {
        if (w.find_first_not_of("0123456789abcdefxABCDEF") == std::string::npos)
            a.lit(uint32_t(std::stoul(w, nullptr, 0)));
        else
            a.op(w);
    }
    testing::halt(a);
    Rig run;
    run.load(a.finish());
    run.run();
    ASSERT_EQ(run.status, kExitOk) << c.ops << run.output();
    EXPECT_EQ(run.ds(0), 0u);
    EXPECT_EQ(run.depth(), int(c.results.size()) + 1) << c.ops;
    for (size_t i = 0; i < c.results.size(); ++i)
        EXPECT_EQ(run.ds(int(i) + 1), c.results[i]) << c.ops << " result " << i;
    if (c.w >= 0) {
        EXPECT_EQ(run.m.cpu.W, uint32_t(c.w)) << c.ops;
    }
}

TEST(Opcodes, StackMoves) {
    check({{1, 2}, "DROP", {1}});
    check({{1}, "DUP", {1, 1}});
    check({{1, 2}, "OVER", {1, 2, 1}});
    check({{1, 2}, "SWAP", {1, 2}});
    check({{7}, ">R R@ R>", {7, 7}});
    check({{7, 8}, ">R RDROP", {7}});
    check({{}, "NOP", {}});
}

TEST(Opcodes, ArithmeticWithCarryInW) {
    check({{0xFFFFFFFF, 1}, "+", {0}, 1});
    check({{2, 3}, "+", {5}, 0});
    check({{0, 1}, "-", {0xFFFFFFFF}, 1});
    check({{1, 1}, "-", {0}, 0});
    check({{0x80000001, 1}, "LSHIFT", {2}, 1});
    check({{3, 1}, "RSHIFT", {1}, 0x80000000});
    check({{0x80000000, 4}, "ASHIFT", {0xF8000000}, 0});
    check({{0x1234, 0}, "LSHIFT", {0x1234}, 0});
    check({{0x1234, 32}, "RSHIFT", {0x1234}, 0});
    check({{0x1234, 33}, "LSHIFT", {0x2468}, 0});
    check({{0xFFFFFFFF, 0xFFFFFFFF}, "UM*", {0xFFFFFFFE, 1}});
}

TEST(Opcodes, LogicAndComparisons) {
    check({{0xC, 0xA}, "AND", {0x8}});
    check({{0xC, 0xA}, "OR", {0xE}});
    check({{0xC, 0xA}, "XOR", {0x6}});
    check({{0x80000000, 1}, "<", {0xFFFFFFFF}});
    check({{0x80000000, 1}, "U<", {0}});
    check({{0x7FFFFFFF, 0x80000000}, "<", {0}});   // exact where the difference overflows
    check({{0x80000000}, "0<", {0xFFFFFFFF}});
    check({{0}, "0<", {0}});
}

TEST(Opcodes, UnsignedDivision) {
    check({{7, 0, 2}, "UM/MOD", {3, 1}});
    check({{0, 1, 1}, "UM/MOD", {0xFFFFFFFF, 0xFFFFFFFF}});   // quotient overflow
    check({{5, 0, 0}, "UM/MOD", {0xFFFFFFFF, 0xFFFFFFFF}});   // zero divisor
    check({{0xFFFFFFFF, 0xFFFFFFFE, 0xFFFFFFFF}, "UM/MOD", {0xFFFFFFFF, 0xFFFFFFFE}});
}

TEST(Opcodes, VariableMemory) {
    check({{0x12345678}, "0x20000100 ! 0x20000100 @", {0x12345678}});
    check({{0x1FF}, "0x20000100 C! 0x20000100 C@", {0xFF}});
    check({{0x1FFFF}, "0x20000101 W! 0x20000101 W@", {0xFFFF}});
    // Stores write only their width; erased memory reads as 0xFF bytes.
    check({{0xAA}, "0x20000101 C! 0x20000100 @", {0xFFFFAAFF}});
    check({{0x11223344}, "0x20000100 ! 0x20000102 W@", {0x1122}});
}

TEST(Opcodes, ProgramMemoryFetchesAndLiteralByteOrder) {
    // The image's header lies at program address 0: flags byte 0xC0, and
    // the start address 80 in the cell at 12.
    check({{3}, "C@P", {0xC0}});
    check({{12}, "@P", {80}});
    check({{12}, "W@P", {80}});
}

TEST(Opcodes, ThreadedCodeRegisters) {
    check({{0x1234}, "FIP! FIP@", {0x1234}});
    check({{0x55}, "FW! FW@", {0x55}, 0x55});
}

TEST(Opcodes, StackPointers) {
    // SP@ gives the address of the cell that was on top; SP! of it restores S.
    check({{1, 2}, "SP@ SP!", {2, 1}});
    check({{}, "RP@", {testing::kVarBase + testing::kVarSize}});
}

// Runs an image built by `build` and returns the finished run.
std::unique_ptr<Rig> run_image(const std::function<void(Assembler&)>& build,
                                 uint8_t flags = 0xC0, const std::string& args = {}) {
    Assembler a = harvard_image(flags);
    build(a);
    auto run = std::make_unique<Rig>();
    run->load(a.finish(), args);
    run->run();
    return run;
}

TEST(ControlFlow, CallAndExit) {
    auto run = run_image([](Assembler& a) {
        auto sub = a.label();
        auto done = a.label();
        a.lit(5);
        a.call(sub);
        a.branch(done);
        a.bind(sub);
        a.ops("DUP +");
        a.op(Op::EXIT);
        a.bind(done);
        testing::halt(a);
    });
    ASSERT_EQ(run->status, kExitOk) << run->output();
    EXPECT_EQ(run->ds(1), 10u);
    EXPECT_EQ(run->rdepth(), 0);
}

TEST(ControlFlow, ZeroBranchPopsItsFlag) {
    auto run = run_image([](Assembler& a) {
        auto skip = a.label();
        auto next = a.label();
        a.lit(1);
        a.lit(0);
        a.zbranch(skip);   // taken
        a.lit(99);
        a.bind(skip);
        a.lit(7);
        a.zbranch(next);   // not taken: falls through to `next` anyway
        a.bind(next);
        testing::halt(a);
    });
    ASSERT_EQ(run->status, kExitOk);
    EXPECT_EQ(run->depth(), 2);
    EXPECT_EQ(run->ds(1), 1u);
}

TEST(ControlFlow, CountedLoopRunsCountPlusOneTimes) {
    auto run = run_image([](Assembler& a) {
        a.lit(0);
        a.lit(2);
        a.op(Op::TOR);
        auto body = a.label_here();
        a.lit(1);
        a.op(Op::PLUS);
        a.nbranch(body);
        testing::halt(a);
    });
    ASSERT_EQ(run->status, kExitOk);
    EXPECT_EQ(run->ds(1), 3u);
    EXPECT_EQ(run->rdepth(), 0);
}

TEST(ControlFlow, ExecutePushesTheAddressAfterItself) {
    uint32_t execute_at = 0;
    auto run = run_image([&](Assembler& a) {
        auto sub = a.label();
        auto go = a.label();
        a.branch(go);
        a.bind(sub);
        a.op(Op::RFETCH);   // the return address EXECUTE pushed
        a.op(Op::EXIT);
        a.bind(go);
        a.lit(sub);
        execute_at = a.here();
        a.op(Op::EXECUTE);
        testing::halt(a);
    });
    ASSERT_EQ(run->status, kExitOk) << run->output();
    EXPECT_EQ(run->ds(1), execute_at + 1);
    EXPECT_EQ(run->rdepth(), 0);
}

TEST(ControlFlow, NestStepsThroughThreadedCode) {
    // IP = a, the cell at a = t, the cell at t = c: NEST leaves IP = a + 4,
    // W = t + 4 and continues at c.
    uint32_t a_addr = 0, t_addr = 0;
    auto run = run_image([&](Assembler& a) {
        auto table = a.label();
        auto word = a.label();
        auto code = a.label();
        auto go = a.label();
        a.branch(go);
        a.bind(table);
        a.cell(word);
        a.bind(word);
        a.cell(code);
        a.bind(code);
        testing::halt(a);
        a.bind(go);
        a.lit(table);
        a.op(Op::FIPSTORE);
        a.op(Op::NEST);
        a_addr = a.address(table);
        t_addr = a.address(word);
    });
    ASSERT_EQ(run->status, kExitOk) << run->output();
    EXPECT_EQ(run->m.cpu.IP, a_addr + 4);
    EXPECT_EQ(run->m.cpu.W, t_addr + 4);
}

TEST(ControlFlow, AnInstructionAcrossTheEndOfProgramMemoryGoesOnInVariableMemory) {
    // Split layout: program memory 0..0x200, variable memory from 0x200 on.
    // The program stores 0xAB and a halt at 0x200, then runs a LIT at 0x1FC
    // whose last operand byte is variable memory's first; the code goes on
    // at 0x201. Free run, with and without translated code, and one
    // instruction per burst.
    Assembler a(0, assembler::image_header(0x80, 0x200, 0x200, 0x1200));
    const uint8_t var_code[] = {0xAB, 0x04, 0, 0, 0, 0, 0x04, DM_STOP, 0, 0, 0,
                                0x04, 1,    0, 0, 0, 0x3E};   // LIT 0 LIT DM_STOP LIT 1 SYSCALL
    for (uint32_t i = 0; i < sizeof var_code; ++i) {
        a.lit(var_code[i]);
        a.lit(0x200 + i);
        a.op(Op::CSTORE);
    }
    while (a.here() < 0x1FC) a.op(Op::NOP);
    for (uint8_t b : {0x04, 0x11, 0x22, 0x33}) a.byte(b);
    const std::vector<uint8_t> image = a.finish();
    for (const uint8_t mode : {uint8_t(0), uint8_t(DM_TRACE)}) {
        for (const bool native : {true, false}) {
            Rig run;
            run.m.native_enabled = native;
            run.load(image);
            run.m.DBGMODE = mode;
            run.run();
            const std::string what = "mode " + std::to_string(mode) + " native " + std::to_string(native);
            ASSERT_EQ(run.status, kExitOk) << what << run.output();
            EXPECT_EQ(run.m.cpu.PC, 0x201u + sizeof var_code - 1) << what;
            EXPECT_EQ(mem_load32(GETVARPTR(run.m, run.m.cpu.S + 4, 4)), 0xAB332211u) << what;
        }
    }
}

}  // namespace
}  // namespace norvex
