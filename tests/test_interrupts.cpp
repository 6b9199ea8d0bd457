// User interrupts: DEBUG mode 0x0200 sets a handler, and an interrupt is
// delivered as a CALL to it at the next instruction boundary, in the
// interpreter and in translated code alike, also inside loops that never
// leave translated code.
#include <gtest/gtest.h>

#include <sys/time.h>

#include <chrono>
#include <csignal>

#include "host/interrupt.h"
#include "tests/rig.h"

namespace norvex {
namespace {

using assembler::Assembler;
using assembler::Label;

constexpr uint32_t kSeen = testing::kVarBase + 0x200;   // where the handler notes the pushed PC

// An image that sets `handler` as its interrupt handler, then runs `body`
// (which never ends by itself). The handler stores the cell on top of the
// return stack (the interrupted PC) at kSeen and stops the machine.
std::vector<uint8_t> endless(void (*body)(Assembler&, Label)) {
    Assembler a = testing::harvard_image();
    Label handler = a.label();
    Label go = a.label();
    a.lit(handler);
    a.lit(0x0200);
    a.syscall(Service::DEBUG);   // the interrupt handler
    a.op(Op::DROP);
    a.branch(go);
    a.bind(handler);
    a.op(Op::RFETCH);
    a.lit(kSeen);
    a.op(Op::STORE);
    testing::halt(a);
    a.bind(go);
    body(a, go);
    return a.finish();
}

void branch_to_itself(Assembler& a, Label) {
    Label self = a.label_here();
    a.branch(self);
}

void call_and_return(Assembler& a, Label) {
    Label sub = a.label();
    Label again = a.label_here();
    a.lit(1);
    a.call(sub);
    a.branch(again);
    a.bind(sub);
    a.op(Op::DROP);
    a.op(Op::EXIT);
}

// Threaded code: IP walks a list whose only entry leads back to NEST.
void threaded(Assembler& a, Label) {
    Label list = a.label(), field = a.label(), code = a.label();
    a.bind(code);
    a.lit(list);
    a.op(Op::FIPSTORE);
    a.op(Op::NEST);
    a.bind(list);
    a.cell(field);
    a.bind(field);
    a.cell(code);
}

// A call to a lower address whose code jumps forward, twice, to the call
// again: translated code follows the call into its target, so the loop has
// no backward jump between blocks, only the call.
void call_back_jump_forward(Assembler& a, Label) {
    Label callee = a.label(), middle = a.label(), caller = a.label();
    a.branch(caller);
    a.bind(callee);
    a.op(Op::RDROP);
    a.branch(middle);
    a.bind(middle);
    a.op(Op::NOP);
    a.branch(caller);
    a.bind(caller);
    a.call(callee);
}

void on_alarm(int) { raise_interrupt(); }

// Runs the image and raises an interrupt from a timer signal 20 ms in.
struct Interrupted {
    testing::Rig r;
    std::chrono::steady_clock::duration took{};

    Interrupted(const std::vector<uint8_t>& image, bool native) {
        clear_interrupt();
        struct sigaction act{}, old{};
        act.sa_handler = on_alarm;
        sigaction(SIGALRM, &act, &old);
        r.m.native_enabled = native;
        r.load(image);
        const struct itimerval in20ms{{0, 0}, {0, 20000}};
        const auto start = std::chrono::steady_clock::now();
        setitimer(ITIMER_REAL, &in20ms, nullptr);
        r.run();
        took = std::chrono::steady_clock::now() - start;
        sigaction(SIGALRM, &old, nullptr);
    }
};

TEST(Interrupts, EndEndlessLoopsInTheInterpreterAndInTranslatedCode) {
    struct Case {
        const char* what;
        void (*body)(Assembler&, Label);
    } cases[] = {{"branch to itself", branch_to_itself}, {"call and return", call_and_return},
                 {"threaded code", threaded}, {"a call back, a jump forward", call_back_jump_forward}};
    for (const Case& c : cases)
        for (bool native : {false, true}) {
            const std::vector<uint8_t> image = endless(c.body);
            Interrupted run(image, native);
            const std::string what = std::string(c.what) + (native ? ", translated" : ", interpreted");
            ASSERT_EQ(run.r.status, kExitOk) << what << run.r.output();
            EXPECT_LT(run.took, std::chrono::seconds(2)) << what;
            // The handler saw a PC inside the loop, below the end of the image.
            const uint32_t pc = mem_load32(GETVARPTR(run.r.m, kSeen, 4));
            EXPECT_GT(pc, 80u) << what;
            EXPECT_LT(pc, image.size()) << what;
            EXPECT_FALSE(interrupt_pending()) << what;
        }
}

TEST(Interrupts, AreDeliveredAsACallAtTheNextInstruction) {
    // An interrupt that waits before the first instruction after DEBUG: the
    // handler is entered with that instruction's address pushed, the data
    // stack untouched, and returns to it with EXIT.
    Assembler a = testing::harvard_image();
    Label handler = a.label(), after = a.label();
    a.lit(handler);
    a.lit(0x0200);
    a.syscall(Service::DEBUG);
    a.bind(after);
    a.lit(5);
    testing::halt(a);
    a.bind(handler);
    a.op(Op::RFETCH);
    a.lit(kSeen);
    a.op(Op::STORE);
    a.op(Op::EXIT);
    const std::vector<uint8_t> image = a.finish();
    for (bool native : {false, true}) {
        testing::Rig r;
        r.m.native_enabled = native;
        r.load(image);
        r.m.DBGMODE = DM_TRACE;   // one instruction per burst up to DEBUG
        for (int i = 0; i < 4; ++i) RUNBURST(r.m);   // LIT LIT LIT SYSCALL: the handler is set
        r.m.DBGMODE = 0;
        raise_interrupt();
        r.run();
        ASSERT_EQ(r.status, kExitOk) << r.output();
        EXPECT_EQ(mem_load32(GETVARPTR(r.m, kSeen, 4)), a.address(after));
        EXPECT_EQ(r.ds(0), 0u);   // DEBUG's result, then 5, then the first DEBUG's 0
        EXPECT_EQ(r.ds(1), 5u);
        EXPECT_EQ(r.ds(2), 0u);
        EXPECT_EQ(r.rdepth(), 0);
    }
}

void pushes_and_drops(Assembler& a, Label) {
    Label again = a.label_here();
    a.words("1 2 3 4 5 6 DROP DROP DROP DROP DROP DROP");
    a.branch(again);
}

// The same where the loop's branch back sits in a block that begins
// elsewhere and goes on past the branch with other cells at the same places.
void pushes_and_drops_then_more(Assembler& a, Label) {
    Label sub = a.label(), again = a.label();
    a.words("0 FW!");
    a.bind(again);
    a.words("1 2 3 4 5 6 DROP DROP DROP DROP DROP DROP");
    a.call(sub);
    a.op(Op::FWFETCH);
    a.zbranch(again);
    a.words("7 8 9 10 11 12 DROP DROP DROP DROP DROP DROP 0 1 1 SYSCALL");
    a.bind(sub);
    a.op(Op::EXIT);
}

TEST(Interrupts, LeaveTheDeadCellsOfAnInterruptedLoop) {
    // Each round of the loop writes 1 to 6 below the stack pointer; the
    // handler's own pushes cover the first three, the others must be there
    // whenever the loop is interrupted.
    for (auto body : {pushes_and_drops, pushes_and_drops_then_more})
    for (bool native : {false, true, true, true}) {
        Interrupted run(endless(body), native);
        ASSERT_EQ(run.r.status, kExitOk) << run.r.output();
        const uint32_t s0 = testing::kVarBase + testing::kVarSize - 256;
        for (uint32_t k = 4; k <= 6; ++k)
            EXPECT_EQ(mem_load32(GETVARPTR(run.r.m, s0 - 4 * k, 4)), k) << native;
    }
}

TEST(Interrupts, WithoutAHandlerChangeNothing) {
    Assembler a = testing::harvard_image();
    a.lit(2);
    a.lit(3);
    a.op(Op::PLUS);
    testing::halt(a);
    testing::Rig r;
    r.load(a.finish());
    raise_interrupt();
    r.run();
    ASSERT_EQ(r.status, kExitOk);
    EXPECT_EQ(r.ds(1), 5u);
    EXPECT_FALSE(interrupt_pending());
}

TEST(Interrupts, DeliveryWithAFullReturnStackFaultsAsACallWould) {
    // The return stack pointer at the very start of variable memory: the
    // pushed PC has no room, which is the translation fault of a push.
    Assembler a = testing::harvard_image();
    Label handler = a.label();
    a.lit(handler);
    a.lit(0x0200);
    a.syscall(Service::DEBUG);
    a.op(Op::DROP);
    a.lit(testing::kVarBase);
    a.op(Op::RPSTORE);
    Label self = a.label_here();
    a.branch(self);
    a.bind(handler);
    testing::halt(a);
    const std::vector<uint8_t> image = a.finish();
    for (bool native : {false, true}) {
        Interrupted run(image, native);
        EXPECT_EQ(run.r.status, kExitFault);
        EXPECT_NE(run.r.output().find("GETVARPTR - Error"), std::string::npos) << run.r.output();
    }
}

}  // namespace
}  // namespace norvex
