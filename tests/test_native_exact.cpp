// Translated code never leaves its blocks and leaves the machine byte for
// byte as the interpreter does: dead cells, tiny program memories, stacks
// in program memory, a code area that fills and empties.
#include <gtest/gtest.h>

#include "core/native/native.h"
#include "native_compare.h"

namespace norvex {
namespace {

using assembler::Assembler;
using assembler::ImageHeader;
using assembler::Label;
using testing::expect_same;
using testing::kVarBase;
using testing::kVarSize;

// --- dead cells --------------------------------------------------------------

// Cells an instruction pops stay in memory below the stack pointer with the
// values the interpreter wrote; each snippet leaves some of them below the
// cells that the final DEBUG call pushes.
TEST(NativeExact, DeadCellsHoldWhatTheInterpreterWrote) {
    const char* snippets[] = {
        "1 2 3 4 5 + + + + DROP",              // operands of arithmetic
        "7 3 UM/MOD DROP DROP",                // the divisor
        "5 6 < DROP 9 9 U< DROP",              // comparison flags
        "1 0BRANCH 0 2 DUP DROP DROP",         // a branch's flag (offset 0: falls through)
        "11 >R 12 >R R> R> DROP DROP",         // cells moved to the return stack
        "31 >R R> >R R@ 1 + >R R> R> DROP DROP",            // a return-stack cell popped and pushed back
        "32 >R R> 33 RP@ 4 - ! >R R> DROP",                 // ... after a store into it
        "34 >R 35 >R R> R> SWAP >R >R R> R> DROP DROP",     // ... into each other's cell
        "13 FIP! 14 FW! FIP@ FW@ DROP DROP",   // cells moved to IP and W
        "21 22 SWAP OVER DROP DROP DROP",
        "-1 0< DROP 33 0< DROP",
        "0x20000200 7 OVER ! @ DROP",          // a store's operands
    };
    for (const char* snippet : snippets) {
        Assembler a = testing::harvard_image();
        a.words("100 200 300 400 DROP DROP DROP DROP");   // an old cell under all of them
        a.words(snippet);
        testing::halt(a);
        expect_same(a.finish(), snippet);
    }
}

TEST(NativeExact, FusedComparisonsLeaveTheirFlagOnEitherSide) {
    // < then 0BRANCH: the flag cell holds -1 after the fall-through and 0
    // after the jump, below three cells that are dropped again.
    for (uint32_t x : {1u, 5u}) {
        Assembler a = testing::harvard_image();
        Label skip = a.label();
        a.words("77 78 79");
        a.lit(x);
        a.lit(3);
        a.op(Op::LESS);
        a.zbranch(skip);
        a.words("44 DROP");
        a.bind(skip);
        a.lit(x);
        a.op(Op::ZLESS);
        Label skip2 = a.label();
        a.zbranch(skip2);
        a.bind(skip2);
        a.words("DROP DROP DROP");
        testing::halt(a);
        expect_same(a.finish(), "x = " + std::to_string(x));
    }
}

// --- tiny program memories -----------------------------------------------------

constexpr uint32_t kPrgBase = 0x10000000;
constexpr uint32_t kCodeAt = kVarBase + 0x100;   // code runs from variable memory
constexpr uint32_t kCellsAt = kVarBase + 0x800;

// The split layout with a program memory of prg.size() bytes at kPrgBase and
// code in variable memory at kCodeAt; returns the image and a setup that
// places both.
struct TinyPrg {
    std::vector<uint8_t> image;
    testing::Setup setup;
};

TinyPrg tiny_prg(std::vector<uint8_t> prg, Assembler& code, std::vector<uint32_t> cells = {}) {
    std::vector<uint8_t> bytes = code.finish();
    const std::vector<uint8_t> program(bytes.begin() + 80, bytes.end());
    ImageHeader h;
    h.flags = 0x80;   // a program memory of its own, not Harvard
    h.p0 = kPrgBase;
    h.px = kPrgBase + uint32_t(prg.size());
    h.v0 = kVarBase;
    h.vx = kVarBase + kVarSize;
    h.start = kCodeAt;
    auto setup = [prg, program, cells](Machine& m) {
        mem_write(m.mem.prg, prg.data(), prg.size());
        mem_write(GETVARPTR(m, kCodeAt, uint32_t(program.size())), program.data(), program.size());
        for (size_t i = 0; i < cells.size(); ++i) mem_store32(GETVARPTR(m, kCellsAt + 4 * uint32_t(i), 4), cells[i]);
    };
    return {h.bytes(), setup};
}

Assembler code_in_var_memory() { return Assembler(kCodeAt - 80, ImageHeader{}); }

TEST(NativeExact, FetchesFromATinyProgramMemoryStayInside) {
    // @P W@P C@P in a program memory of 1 to 3 bytes, called from variable
    // memory, with addresses in variable memory (the split layout reads
    // them there), at the start of program memory, and outside everything.
    const Op fetches[] = {Op::FETCHP, Op::WFETCHP, Op::CFETCHP};
    for (uint32_t size = 1; size <= 3; ++size)
        for (Op fetch : fetches)
            for (uint32_t addr : {kCellsAt, kPrgBase, kPrgBase + 0x7FFFFF00u}) {
                Assembler a = code_in_var_memory();
                for (int round = 0; round < 3; ++round) {
                    a.lit(addr);
                    a.call(kPrgBase);
                }
                testing::halt(a);
                std::vector<uint8_t> prg{uint8_t(fetch), uint8_t(Op::EXIT), uint8_t(Op::EXIT)};
                prg.resize(size);
                const TinyPrg t = tiny_prg(prg, a, {0x11223344});
                expect_same(t.image, "size " + std::to_string(size) + " " + kOpInfo[uint8_t(fetch)].mnemonic +
                                         " of " + std::to_string(addr), t.setup);
            }
}

TEST(NativeExact, NestInATinyProgramMemoryStaysInside) {
    // NEST in a program memory of 1 to 3 bytes, with IP in variable memory
    // (cells there lead to code there) or at the start of program memory
    // (a cell that runs past its end).
    for (uint32_t size = 1; size <= 3; ++size)
        for (uint32_t ip : {kCellsAt, kPrgBase}) {
            Assembler a = code_in_var_memory();
            Label done = a.label();
            a.lit(ip);
            a.op(Op::FIPSTORE);
            a.call(kPrgBase);
            a.bind(done);
            testing::halt(a);
            std::vector<uint8_t> prg{uint8_t(Op::NEST), uint8_t(Op::NEST), uint8_t(Op::NEST)};
            prg.resize(size);
            // IP -> t -> the code of `done`.
            const TinyPrg t = tiny_prg(prg, a, {kCellsAt + 4, a.address(done)});
            expect_same(t.image, "size " + std::to_string(size) + " IP " + std::to_string(ip), t.setup);
        }
}

// --- stacks in program memory ---------------------------------------------------

// The split layout with 64 KiB of program memory: `five` (LIT 5 EXIT) runs
// translated, then a stack is moved onto its code and a push rewrites it to
// LIT 7, the stack is moved back, and `five` runs again.
std::vector<uint8_t> rewritten_by_a_push(bool return_stack) {
    ImageHeader h;
    h.flags = 0x80;
    h.p0 = 0;
    h.px = 0x10000;
    h.v0 = kVarBase;
    h.vx = kVarBase + kVarSize;
    h.start = 80;
    Assembler a(0, h);
    Label go = a.label();
    a.branch(go);
    Label five = a.label_here();
    a.lit(5);
    a.op(Op::EXIT);
    a.bind(go);
    for (int round = 0; round < 3; ++round) {
        a.call(five);
        a.op(Op::DROP);
    }
    const uint32_t save = kVarBase + 0x200;
    a.op(return_stack ? Op::RPFETCH : Op::SPFETCH);
    a.lit(save);
    a.op(Op::STORE);
    a.lit(five);
    a.lit(4);
    a.op(Op::PLUS);
    if (return_stack) {
        a.op(Op::RPSTORE);
        a.lit(0x00000704);   // the bytes 04 07 00 00: LIT 7 with the old operand's last byte
        a.op(Op::TOR);
        a.lit(save);
        a.op(Op::FETCH);
        a.op(Op::RPSTORE);
    } else {
        a.op(Op::SPSTORE);
        a.lit(0x00000704);
        a.lit(save);         // pushed into program memory below `five`: the branch's operand
        a.op(Op::FETCH);
        a.op(Op::SPSTORE);
    }
    a.call(five);
    testing::halt(a);
    return a.finish();
}

TEST(NativeExact, PushesIntoProgramMemoryDropTheirTranslations) {
    for (bool return_stack : {false, true}) {
        const std::vector<uint8_t> image = rewritten_by_a_push(return_stack);
        expect_same(image, return_stack ? "return stack" : "data stack");
        testing::Rig r;
        r.load(image);
        r.run();
        ASSERT_EQ(r.status, kExitOk) << r.output();
        EXPECT_EQ(r.ds(1), 7u) << (return_stack ? "return stack" : "data stack");
    }
}

// Variable memory inside the range of a 64 KiB program memory: the address
// just past variable memory lies in program memory. A stack emptied to the
// top of variable memory goes on in program memory whenever a new burst
// starts there, as every instruction does under a run budget.
TEST(NativeExact, AStackEmptiedToTheTopOfVariableMemoryGoesOnWhereANewBurstFindsIt) {
    for (bool return_stack : {false, true}) {
        ImageHeader h;
        h.flags = 0x80;
        h.p0 = 0;
        h.px = 0x10000;
        h.v0 = 0x8000;
        h.vx = 0x9000;
        h.start = 80;
        Assembler a(0, h);
        a.words(return_stack ? "RDROP 0x12345678 >R R@" : "DROP 0x12345678 DUP");
        testing::halt(a);
        const std::vector<uint8_t> image = a.finish();
        // The stack starts one cell below the top of variable memory.
        auto one_cell_below_the_top = [return_stack](Machine& m) {
            (return_stack ? m.cpu.R : m.cpu.S) = m.mem.VAROFF + m.mem.VARSIZE - 4;
        };
        const std::string what = return_stack ? "return stack" : "data stack";
        expect_same(image, what + ", one burst an instruction", [&](Machine& m) {
            one_cell_below_the_top(m);
            m.budget = 100000;
        });
        expect_same(image, what + ", free run", one_cell_below_the_top);
    }
}

// --- the code area ----------------------------------------------------------------

constexpr uint32_t kStaging = kVarBase + 0x200;

// A loop of `rounds` rounds (R@ counts down to 0) that writes `bytes` bytes
// at `target` with FLASH-W, which stage(a) has put at kStaging, then calls
// `routine` and adds what it returns to a sum. DEBUG ends the program with
// the sum under its result.
void rewrite_and_call(Assembler& a, uint32_t rounds, void (*stage)(Assembler&), Label target, uint32_t bytes,
                      Label routine) {
    a.lit(0);   // the sum
    a.lit(rounds - 1);
    a.op(Op::TOR);
    Label again = a.label_here();
    stage(a);
    a.lit(kStaging);
    a.lit(target);
    a.lit(bytes);
    a.syscall(Service::FLASH_W);   // ( addr paddr u -- 0 )
    a.op(Op::DROP);
    a.call(routine);
    a.op(Op::PLUS);
    a.nbranch(again);
    testing::halt(a);
}

// LIT n, with n the round's count: opcode 04, then the count's bytes.
void stage_lit_of_the_count(Assembler& a) {
    a.words("R@ 8 LSHIFT 4 OR");
    a.lit(kStaging);
    a.op(Op::STORE);
    a.words("R@ 24 RSHIFT");
    a.lit(kStaging + 4);
    a.op(Op::CSTORE);
}

// A routine rewritten with FLASH-W before every call: each call needs a new
// translation. Returns the image; the sum of what the calls returned is left
// under the DEBUG result.
std::vector<uint8_t> rewritten_by_flash(uint32_t rounds) {
    Assembler a = testing::harvard_image();
    Label go = a.label();
    a.branch(go);
    Label routine = a.label_here();
    a.lit(0);
    a.words("DUP + DUP + 1 + DUP 3 LSHIFT XOR");   // enough code to fill the area soon
    a.op(Op::EXIT);
    a.bind(go);
    rewrite_and_call(a, rounds, stage_lit_of_the_count, routine, 5, routine);
    return a.finish();
}

TEST(NativeExact, AFullCodeAreaIsEmptiedAndFilledAgain) {
    const std::vector<uint8_t> image = rewritten_by_flash(3000);
    expect_same(image, "4 KiB code area", {}, 4096);
    testing::Rig r;
    r.m.native_code_bytes = 4096;
    r.load(image);
    r.run();
    ASSERT_EQ(r.status, kExitOk) << r.output();
    if (!native_available(r.m)) GTEST_SKIP() << "no translated code on this host";
    EXPECT_GT(native_resets(r.m), 20u);
    testing::Rig interpreted;
    interpreted.m.native_enabled = false;
    interpreted.load(image);
    interpreted.run();
    EXPECT_EQ(r.ds(1), interpreted.ds(1));
}

TEST(NativeExact, CodeAreaOfTheDefaultSizeFillsWithoutHarm) {
    // Enough new translations to fill 32 MiB several times over.
    testing::Rig r;
    r.load(rewritten_by_flash(200000));
    r.run();
    ASSERT_EQ(r.status, kExitOk) << r.output();
    if (!native_available(r.m)) GTEST_SKIP() << "no translated code on this host";
    EXPECT_GT(native_resets(r.m), 0u);
}

// --- program memory read as constants ------------------------------------------

// n * 0x10001, with n the round's count: the three fetches below differ.
void stage_count_in_both_halves(Assembler& a) {
    a.words("R@ 0x10001 UM* DROP");
    a.lit(kStaging);
    a.op(Op::STORE);
}

// A routine that fetches one cell of program memory with C@P, W@P and @P at
// a constant address, a page away from its code; FLASH-W gives the cell a
// new value before every call. Each call must see the value just written.
TEST(NativeExact, FetchesFromAConstantProgramAddressSeeEveryWrite) {
    Assembler a = testing::harvard_image();
    Label go = a.label(), cell = a.label();
    a.branch(go);
    Label routine = a.label_here();
    a.lit(cell);
    a.op(Op::CFETCHP);
    a.lit(cell);
    a.op(Op::WFETCHP);
    a.lit(cell);
    a.op(Op::FETCHP);
    a.words("+ +");
    a.op(Op::EXIT);
    a.bytes(std::string(600, '\x3F'));   // NOPs: the cell lies on a page of its own
    a.bind(cell);
    a.cell(0);
    a.bind(go);
    rewrite_and_call(a, 100, stage_count_in_both_halves, cell, 4, routine);
    const std::vector<uint8_t> image = a.finish();
    expect_same(image, "fetches from a cell rewritten by FLASH-W");

    testing::Rig r;
    r.load(image);
    r.run();
    ASSERT_EQ(r.status, kExitOk) << r.output();
    uint32_t sum = 0;
    for (uint32_t n = 0; n < 100; ++n) sum += n + n + (n * 0x10001);
    EXPECT_EQ(r.ds(1), sum);
}

// --- calls followed into their target ------------------------------------------

// Translated code runs a called routine's first instructions in the
// caller's block. The routine, LIT n 1 + EXIT a page away from its call, is
// rewritten by FLASH-W with the round's n before every call.
TEST(NativeExact, ACalledRoutineRewrittenAPageAwayRunsAsWritten) {
    Assembler a = testing::harvard_image();
    Label routine = a.label();
    rewrite_and_call(a, 100, stage_lit_of_the_count, routine, 5, routine);
    a.bytes(std::string(600, '\x3F'));   // NOPs: the routine lies on another page
    a.bind(routine);
    a.lit(0);
    a.words("1 +");
    a.op(Op::EXIT);
    const std::vector<uint8_t> image = a.finish();
    expect_same(image, "a called routine rewritten by FLASH-W");
    testing::Rig r;
    r.load(image);
    r.run();
    ASSERT_EQ(r.status, kExitOk) << r.output();
    EXPECT_EQ(r.ds(1), 5050u);   // n + 1 for n = 0 .. 99
}

// A routine whose first instruction is the interpreter's (SP!): the
// caller's block stops there, after the call's push.
TEST(NativeExact, ACallIntoAnInstructionForTheInterpreterStopsThere) {
    Assembler a = testing::harvard_image();
    Label routine = a.label(), go = a.label();
    a.branch(go);
    a.bind(routine);
    a.ops("SP! EXIT");
    a.bind(go);
    a.words("1 2 SP@");
    a.call(routine);
    a.words("3");
    testing::halt(a);
    const std::vector<uint8_t> image = a.finish();
    expect_same(image, "a call into SP!");
    testing::Rig r;
    r.load(image);
    r.run();
    ASSERT_EQ(r.status, kExitOk) << r.output();
    EXPECT_EQ(r.ds(1), 3u);
    EXPECT_EQ(r.ds(2), 2u);
}

// --- stack checks -------------------------------------------------------------

// `K p U< 0BRANCH` with p from SP@ or RP@ and K a constant, the Forth
// system's check before a call that may recurse: translated code tests it
// at the block's entry. A loop pushes a cell a round and leaves when the
// stack pointer has come down to K, 40 cells below its start, so the
// translated block runs many rounds before an entry that fails the test.
std::vector<uint8_t> stack_check_loop(bool return_stack, uint32_t floor) {
    Assembler a = testing::harvard_image();
    Label again = a.label_here(), done = a.label();
    a.lit(1);
    if (return_stack) a.op(Op::TOR);
    a.lit(floor);
    a.op(return_stack ? Op::RPFETCH : Op::SPFETCH);
    a.op(Op::ULESS);
    a.zbranch(done);
    a.branch(again);
    a.bind(done);
    testing::halt(a);
    return a.finish();
}

TEST(NativeExact, StackChecksStillBranchWhenTheStackReachesTheirLimit) {
    constexpr uint32_t high = kVarBase + 0xC00, low = kVarBase + 0x600;
    for (bool return_stack : {false, true}) {
        for (bool r_above : {true, false}) {
            const uint32_t start = return_stack == r_above ? high : low;
            const std::vector<uint8_t> image = stack_check_loop(return_stack, start - 4 * 40);
            const testing::Setup stacks = [&](Machine& m) {
                m.cpu.R = r_above ? high : low;
                m.cpu.S = r_above ? low : high;
            };
            const std::string what = std::string(return_stack ? "RP@" : "SP@") +
                                     (r_above ? ", return stack above" : ", return stack below");
            expect_same(image, what, stacks);
            const testing::Outcome o = testing::run_outcome(image, true, stacks);
            ASSERT_EQ(o.status, kExitOk) << what;
            // Rounds until the pointer the check reads is at or below K.
            const uint32_t rounds = return_stack ? 40 : 39;
            if (return_stack) EXPECT_EQ(o.cpu.R, start - 4 * rounds) << what;
            else EXPECT_EQ(o.cpu.S, start - 4 * rounds - 4) << what;   // and DEBUG's result
        }
    }
}

// Hosts that refuse memory both writable and executable get the code area
// as two views of one memory file: code is written in one and runs in the
// other. Blocks, links, patches and resets all go through the writable view.
TEST(NativeExact, CodeWrittenThroughASecondViewRunsTheSame) {
    const testing::Setup two_views = [](Machine& m) { m.native_two_views = true; };
    expect_same(rewritten_by_flash(3000), "two views, 4 KiB code area", two_views, 4096);
    for (const char* snippet : {"1 2 3 4 5 + + + + DROP", "5 6 < DROP 9 9 U< DROP", "11 >R 12 >R R> R> DROP DROP"}) {
        Assembler a = testing::harvard_image();
        a.words(snippet);
        testing::halt(a);
        expect_same(a.finish(), std::string("two views: ") + snippet, two_views);
    }

    testing::Rig r;
    r.m.native_code_bytes = 4096;
    r.m.native_two_views = true;
    r.load(rewritten_by_flash(3000));
    r.run();
    ASSERT_EQ(r.status, kExitOk) << r.output();
    if (!native_available(r.m)) GTEST_SKIP() << "no translated code on this host";
    EXPECT_GT(native_resets(r.m), 20u);
}

}  // namespace
}  // namespace norvex
