// What an image cannot get past: the run budget of tests and fuzzers.
#include <gtest/gtest.h>

#include "core/native/native.h"
#include "service_rig.h"
#include "vm_fixture.h"

namespace norvex::testing {
namespace {

using assembler::Assembler;

// LIT 0  begin  LIT 1 + BRANCH begin: counts its iterations on the stack.
std::vector<uint8_t> counting_loop() {
    Assembler a = harvard_image();
    a.lit(0);
    auto loop = a.label_here();
    a.lit(1);
    a.op(Op::PLUS);
    a.branch(loop);
    return a.finish();
}

// The rounds the loop has counted, wherever in the loop it stopped: right
// after LIT 1 (PC 90) the count is the second cell.
uint32_t rounds(VmRun& r) { return r.m.cpu.PC == 90 ? r.ds(1) : r.ds(0); }

TEST(Budget, StopsAnEndlessLoopInEitherEngine) {
    // The interpreter spends one unit per instruction: LIT 0 and then 333
    // rounds of three instructions are exactly 1000.
    VmRun interpreted;
    interpreted.m.native_enabled = false;
    interpreted.load(counting_loop());
    interpreted.m.budget = 1000;
    interpreted.run();
    EXPECT_EQ(interpreted.status, kExitOk);
    EXPECT_EQ(interpreted.m.budget, 0u);
    EXPECT_EQ(interpreted.m.cpu.PC, 85u);   // back at the loop's LIT
    EXPECT_EQ(rounds(interpreted), 333u);

    // Translated code spends one unit per block entered: at least one round
    // per unit, and never more instructions than three per unit.
    VmRun native;
    native.load(counting_loop());
    native.m.budget = 1000;
    native.run();
    ASSERT_TRUE(native_available(native.m));
    EXPECT_EQ(native.status, kExitOk);
    EXPECT_EQ(native.m.budget, 0u);
    EXPECT_GT(rounds(native), 333u);
    EXPECT_LE(rounds(native), 1000u);
}

TEST(Budget, EndsTheMainLoopAsAStopDoesAndSpendsNothingWhenItIsZero) {
    ScriptConsole console;
    Machine m;
    m.console = &console;
    m.budget = 5000;
    const std::vector<uint8_t> loop = counting_loop();
    const auto startup = [&](Machine& mm) {
        STARTUP_BUILTIN(mm, "", loop.data(), uint32_t(loop.size()));
    };
    EXPECT_EQ(MAINLOOP(m, startup), kExitOk);
    EXPECT_EQ(m.budget, 0u);
    EXPECT_EQ(console.output(), "");

    // A program that ends by itself ends the same way with a budget as
    // without one, and leaves the rest of its budget.
    for (uint32_t budget : {0u, 100000u}) {
        VmRun r;
        r.load(image("5 DUP + 0 1 DEBUG"));
        r.m.budget = budget;
        r.run();
        EXPECT_EQ(r.status, kExitOk);
        EXPECT_EQ(r.ds(1), 10u);
        if (budget) {
            EXPECT_GT(r.m.budget, 0u);
        }
    }
}

}  // namespace
}  // namespace norvex::testing
