// Translated code against the interpreter: the same image must end in the
// same machine (registers, every byte of memory, output, report) either way.
#include <gtest/gtest.h>

#include <random>

#include "core/native/native.h"
#include "native_compare.h"

namespace norvex {
namespace {

using assembler::Assembler;
using assembler::Label;

using testing::expect_same;

// Random programs: stack and return-stack work, arithmetic with W, memory
// (including addresses into the stack itself), forward branches, counted
// loops, calls and EXECUTE of leaf routines, output through EMIT, and now
// and then something that faults.
class Generator {
public:
    explicit Generator(uint32_t seed) : rng_(seed) {}

    std::vector<uint8_t> program() {
        Assembler a = testing::harvard_image(pick(4) == 0 ? 0xD0 : 0xC0);
        a.header().px = 0x1000;   // small memories are quicker to compare
        Label go = a.label();
        a.branch(go);
        for (int i = 0; i < 3; ++i) {
            subs_[i] = a.label_here();
            depth_ = 4;
            statements(a, 1 + pick(5), false);
            a.op(Op::EXIT);
        }
        a.bind(go);
        depth_ = 0;
        for (int i = 0; i < 4; ++i) literal(a);
        statements(a, 10 + pick(40), true);
        testing::halt(a);
        return a.finish();
    }

private:
    uint32_t pick(uint32_t n) { return std::uniform_int_distribution<uint32_t>(0, n - 1)(rng_); }

    void literal(Assembler& a) {
        static const uint32_t interesting[] = {0, 1, 2, 31, 32, 33, 0x7FFFFFFF, 0x80000000, 0xFFFFFFFF};
        a.lit(pick(3) == 0 ? interesting[pick(9)] : pick(2) ? pick(100) : uint32_t(rng_()));
        ++depth_;
    }

    void op(Assembler& a, Op o, int pops, int pushes) {
        a.op(o);
        depth_ += pushes - pops;
    }

    void statements(Assembler& a, int n, bool top_level) {
        for (int i = 0; i < n; ++i) statement(a, top_level);
    }

    void statement(Assembler& a, bool top_level) {
        // Now and then ignore the depth, so that stacks run past their ends.
        const bool careless = pick(60) == 0;
        if (depth_ < 2 && !careless) {
            literal(a);
            return;
        }
        switch (pick(16)) {
        case 0: literal(a); break;
        case 1: {
            static const Op ops[] = {Op::PLUS, Op::MINUS, Op::AND, Op::OR, Op::XOR, Op::LSHIFT,
                                     Op::RSHIFT, Op::ASHIFT, Op::LESS, Op::ULESS};
            op(a, ops[pick(10)], 2, 1);
            break;
        }
        case 2: op(a, Op::UMSTAR, 2, 2); break;
        case 3:
            if (depth_ >= 3 || careless) op(a, Op::UMSLASHMOD, 3, 2);
            break;
        case 4: {
            static const Op ops[] = {Op::DUP, Op::DROP, Op::SWAP, Op::OVER, Op::ZLESS};
            static const int pops[] = {1, 1, 2, 2, 1}, pushes[] = {2, 0, 2, 3, 1};
            const int k = int(pick(5));
            op(a, ops[k], pops[k], pushes[k]);
            break;
        }
        case 5:   // through the return stack and back
            a.op(Op::TOR);
            if (pick(2)) a.op(Op::RFETCH), a.op(Op::DROP);
            a.op(Op::RFROM);
            break;
        case 6: memory(a); break;
        case 7: {   // forward branch over a few statements
            Label skip = a.label();
            a.zbranch(skip);
            --depth_;
            const int saved = depth_;
            statements(a, 1 + pick(3), false);
            depth_ = std::min(depth_, saved);
            a.bind(skip);
            break;
        }
        case 8:
            if (top_level && pick(2)) loop(a);
            break;
        case 9:
            if (top_level) {
                a.call(subs_[pick(3)]);
                depth_ = std::max(depth_ - 2, 0);
            }
            break;
        case 10:
            if (top_level) {
                a.lit(subs_[pick(3)]);
                a.op(Op::EXECUTE);
                depth_ = std::max(depth_ - 2, 0);
            }
            break;
        case 11:   // the W register
            if (pick(2)) op(a, Op::FWFETCH, 0, 1);
            else op(a, Op::FWSTORE, 1, 0);
            break;
        case 12:
            op(a, Op::FIPSTORE, 1, 0);
            op(a, Op::FIPFETCH, 0, 1);
            break;
        case 13:   // output
            a.op(Op::DUP);
            a.lit(0x20);
            a.op(Op::OR);
            a.syscall(Service::EMIT);   // ( c -- 0 )
            a.op(Op::DROP);
            break;
        case 14:   // the stack's own cells through their addresses
            a.op(Op::SPFETCH);
            a.lit(4 * pick(3));
            a.op(Op::PLUS);
            if (pick(2)) {
                a.op(Op::FETCH);
                ++depth_;
            } else {
                a.op(Op::STORE);   // stores the cell below the address into the stack
                --depth_;
            }
            break;
        case 15:
            if (pick(20) == 0) a.byte(uint8_t(0x40 + pick(0xC0)));   // illegal opcode
            else op(a, Op::RPFETCH, 0, 1);
            break;
        }
    }

    void memory(Assembler& a) {
        const uint32_t base = testing::kVarBase + 0x100 + pick(64);
        // Mostly inside variable memory, now and then outside or across its
        // end (in the guard, clear of the loop counters on the return stack).
        const uint32_t addr = pick(30) == 0 ? 0x30000000 + pick(16) : pick(30) == 0 ? 0x2000100A : base;
        static const Op loads[] = {Op::CFETCH, Op::WFETCH, Op::FETCH, Op::CFETCHP, Op::WFETCHP, Op::FETCHP};
        static const Op stores[] = {Op::CSTORE, Op::WSTORE, Op::STORE};
        if (pick(2)) {
            a.lit(pick(4) == 0 ? pick(200) : addr);
            a.op(loads[pick(6)]);
        } else {
            a.lit(addr);
            a.op(stores[pick(3)]);
            depth_ -= 1;
        }
        if (pick(3) == 0) {   // an address computed at run time
            a.lit(addr);
            a.op(Op::DUP);
            a.op(Op::XOR);
            a.lit(addr);
            a.op(Op::PLUS);
            a.op(Op::FETCH);
            ++depth_;
        }
    }

    void loop(Assembler& a) {
        a.lit(pick(6));
        a.op(Op::TOR);
        Label body = a.label_here();
        const int saved = depth_;
        statements(a, 1 + pick(4), false);
        if (pick(2)) {
            a.op(Op::RFETCH);
            a.op(Op::PLUS);
        }
        depth_ = std::min(depth_, saved);
        a.nbranch(body);
    }

    std::mt19937 rng_;
    Label subs_[3]{};
    int depth_ = 0;
};

TEST(NativeCode, AgreesWithTheInterpreterOnRandomPrograms) {
    const char* from = std::getenv("NATIVE_SEED");   // to replay one program
    const uint32_t first = from ? uint32_t(std::atoi(from)) : 1;
    for (uint32_t seed = first; seed <= (from ? first : 20000u); ++seed) {
        Generator g(seed);
        if (std::getenv("NATIVE_TRACE")) std::fprintf(stderr, "seed %u\n", seed);
        expect_same(g.program(), "seed " + std::to_string(seed));
        if (::testing::Test::HasFailure()) break;
    }
}

TEST(NativeCode, CodeRewrittenByFlashRunsInItsNewForm) {
    // A routine `five` (LIT 5 EXIT) is called in a loop, then rewritten with
    // FLASH-W to LIT 7 EXIT from bytes prepared in variable memory, and
    // called again: the new code must run.
    Assembler a = testing::harvard_image();
    Label go = a.label();
    a.branch(go);
    Label five = a.label_here();
    a.lit(5);
    a.op(Op::EXIT);
    a.bind(go);
    a.lit(3);
    a.op(Op::TOR);
    Label again = a.label_here();
    a.call(five);
    a.op(Op::DROP);
    a.nbranch(again);
    // Bytes of "LIT 7" as stored in memory: build the plain cell 0x00000704
    // and the byte 0x00, then store them at 0x20000200.
    a.lit(0x00000704u);
    a.lit(testing::kVarBase + 0x200);
    a.op(Op::STORE);
    a.lit(0);
    a.lit(testing::kVarBase + 0x204);
    a.op(Op::CSTORE);
    a.lit(testing::kVarBase + 0x200);
    a.lit(five);
    a.lit(5);
    a.syscall(Service::FLASH_W);   // ( addr paddr u -- 0 )
    a.op(Op::DROP);
    a.call(five);
    testing::halt(a);
    const std::vector<uint8_t> image = a.finish();
    for (bool native : {false, true}) {
        testing::Rig r;
        r.m.native_enabled = native;
        r.load(image);
        r.run();
        ASSERT_EQ(r.status, kExitOk) << r.output();
        EXPECT_EQ(r.ds(1), 7u) << (native ? "native" : "interpreter");
    }
}

TEST(NativeCode, StoresIntoCachedStackCellsAreSeen) {
    // SP@ gives the address of the top cell; a store through it changes the
    // stack, and later fetches through a saved address see the stack.
    Assembler a = testing::harvard_image();
    a.lit(1);
    a.lit(2);
    a.op(Op::SPFETCH);               // 1 2 a
    a.lit(testing::kVarBase + 0x100);
    a.op(Op::STORE);                 // save a; 1 2
    a.lit(9);
    a.op(Op::DROP);
    a.lit(42);                       // 1 2 42
    a.op(Op::SWAP);                  // 1 42 2
    a.op(Op::SWAP);                  // 1 2 42
    a.op(Op::DROP);                  // 1 2 (the 2 is in a register here)
    a.lit(77);
    a.lit(testing::kVarBase + 0x100);
    a.op(Op::FETCH);
    a.op(Op::STORE);                 // 77 into the cell that holds the 2
    a.op(Op::DUP);
    testing::halt(a);
    expect_same(a.finish(), "store through SP@");
}

TEST(NativeCode, ImageThatLeavesTraceModeRunsOnTheSame) {
    // Trace three instructions, switch tracing off from inside the traced
    // burst, then loop: the trace lines and the final machine agree.
    Assembler a = testing::harvard_image();
    a.lit(0);
    a.lit(DM_TRACE);
    a.syscall(Service::DEBUG);
    a.op(Op::DROP);
    a.lit(0);
    a.lit(0);
    a.syscall(Service::DEBUG);
    a.op(Op::DROP);
    a.lit(0);
    a.lit(1000);
    a.op(Op::TOR);
    Label loop = a.label_here();
    a.lit(3);
    a.op(Op::PLUS);
    a.nbranch(loop);
    testing::halt(a);
    expect_same(a.finish(), "trace switched off by DEBUG");
}

TEST(NativeCode, ReturnStackOverTheDataStacksCellsIsSeen) {
    // The return stack moved next to the data stack's top cell, above it or
    // below it, at distances from none to far: where the stacks meet,
    // return-stack writes change data-stack cells and the data stack reads
    // them, as when the stacks of a runaway recursion run into each other.
    for (int32_t offset : {4, 8, 12, 16, 64, 0, -4, -8, -12, -16, -64}) {
        Assembler a = testing::harvard_image();
        Label go = a.label();
        a.branch(go);
        Label sub = a.label_here();
        a.op(Op::EXIT);
        a.bind(go);
        a.lit(7);
        a.op(Op::SPFETCH);
        a.lit(uint32_t(offset));
        a.op(Op::PLUS);
        a.op(Op::RPSTORE);   // R = the address of the 7, plus offset
        a.lit(1);
        a.op(Op::TOR);
        a.lit(2);
        a.op(Op::TOR);
        a.ops("R> R>");
        a.lit(3);
        a.op(Op::TOR);
        Label loop = a.label_here();
        a.call(sub);
        a.nbranch(loop);
        testing::halt(a);
        expect_same(a.finish(), "offset " + std::to_string(offset));
    }
}

}  // namespace
}  // namespace norvex
