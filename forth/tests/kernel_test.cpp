// Kernel words run on the virtual processor: arithmetic, loops, numbers and
// the dictionary, checked through what they leave on the data stack.
#include <gtest/gtest.h>

#include "forth/tests/kernel_run.h"

namespace norvex::forth {
namespace {

std::vector<int32_t> run(const std::string& definitions, const std::string& body) {
    const KernelRun r = run_image(kernel_image(definitions, body));
    EXPECT_EQ(r.status, 0) << r.output;
    return r.stack;
}

using Stack = std::vector<int32_t>;

TEST(KernelLoops, DoLoopRunsFromStartToLimitMinusOne) {
    EXPECT_EQ(run(": sum ( n -- sum ) 0 swap 0 do i + loop ;", "5 sum 1 sum"), (Stack{10, 0}));
    // DO with equal start and limit runs 2^32 times; ?DO skips.
    EXPECT_EQ(run(": q ( n -- n' ) 7 7 ?do 1+ loop ;", "0 q"), (Stack{0}));
    EXPECT_EQ(run(": nest 0 3 0 do 2 0 do i j 10 * + + loop loop ;", "nest"), (Stack{0 + 1 + 10 + 11 + 20 + 21}));
}

TEST(KernelLoops, PlusLoopStopsWhenTheIndexCrossesTheLimit) {
    const char* defs = "variable step  : steps ( limit start step -- i*x ) step ! do i step @ +loop ;";
    EXPECT_EQ(run(defs, "10 0 3 steps"), (Stack{0, 3, 6, 9}));
    EXPECT_EQ(run(defs, "0 10 -3 steps"), (Stack{10, 7, 4, 1}));
    EXPECT_EQ(run(defs, "-1 2 -1 steps"), (Stack{2, 1, 0, -1}));
    EXPECT_EQ(run(defs, "4 4 -1 steps"), (Stack{4}));
    // A step of 2^24 from 0 to the largest unsigned number: 256 turns.
    EXPECT_EQ(run(": turns 0 -1 0 do 1+ $1000000 +loop ;", "turns"), (Stack{256}));
    EXPECT_EQ(run(": back 0 0 -1 do 1+ $-1000000 +loop ;", "back"), (Stack{256}));
}

TEST(KernelLoops, LeaveAndUnloopLeaveTheReturnStackBalanced) {
    EXPECT_EQ(run(": l 100 0 do i 3 = if i leave then loop ;", "l 42"), (Stack{3, 42}));
    EXPECT_EQ(run(": u 10 0 do 5 0 do i j + 6 = if i j unloop unloop exit then loop loop 0 ;", "u"),
              (Stack{4, 2}));
}

TEST(KernelArithmetic, DivisionSymmetricAndFloored) {
    EXPECT_EQ(run("", "7 2 /mod -7 2 /mod 7 -2 /mod -7 -2 /mod"), (Stack{1, 3, -1, -3, 1, -3, -1, 3}));
    EXPECT_EQ(run("", "-7 s>d 2 fm/mod 7 s>d -2 fm/mod -6 s>d 2 fm/mod"), (Stack{1, -4, -1, -4, 0, -3}));
    EXPECT_EQ(run("", "$80000000 s>d 1 sm/rem 1000 3 7 */ 100000 100000 * 7 mod"),
              (Stack{0, INT32_MIN, 428, int32_t(10000000000LL % (1LL << 32)) % 7}));
    EXPECT_EQ(run("", "-5 3 m* 3 -5 um* 1 2 3 4 d+"), (Stack{-15, -1, -15, 2, 4, 6}));
}

TEST(KernelNumbers, PrefixesSignsDoublesAndCharacters) {
    EXPECT_EQ(run("", R"(s" $-12eF" number? s" #99" number? s" %101" number? s" 'z'" number?)"),
              (Stack{-0x12EF, 1, 99, 1, 5, 1, 'z', 1}));
    EXPECT_EQ(run("", R"(s" -123." number? s" 12a" number? s" -" number? s" ." number? base @)"),
              (Stack{-123, -1, 2, 0, 0, 0, 10}));
    EXPECT_EQ(run("", R"(16 base ! s" ff" number? s" -Ab" number? decimal)"), (Stack{255, 1, -0xAB, 1}));
}

TEST(KernelDictionary, NamesAreFoundWhateverTheirCase) {
    EXPECT_EQ(run("", R"(s" DUP" find-name name>xt ['] dup =  s" Find-Name" find-name 0<>
                          s" no-such-word" find-name)"),
              (Stack{-1, -1, 0}));
    EXPECT_EQ(run(": Mixed-Case ;", R"(s" mixed-case" find-name name>string s" Mixed-Case" str=)"), (Stack{-1}));
}

TEST(KernelExceptions, ThrowReturnsToCatchWithTheStackRestored) {
    // The depth comes back; what the cells hold is whatever the thrower left.
    EXPECT_EQ(run(": boom ( a b -- ) 2drop 1 2 3 4 5 -42 throw ;  : safe 11 22 ['] boom catch ;",
                  "5 safe"), (Stack{5, 1, 2, -42}));
    EXPECT_EQ(run(": fine 7 ;", "['] fine catch  0 throw"), (Stack{7, 0}));
    EXPECT_EQ(run(": inner -3 throw ;  : mid ['] inner catch 100 + throw ;", "['] mid catch"), (Stack{97}));
}

}  // namespace
}  // namespace norvex::forth
