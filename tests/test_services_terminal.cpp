// Group 3: keys, characters.
#include <gtest/gtest.h>

#include "service_rig.h"

namespace norvex::testing {
namespace {

constexpr uint32_t TINIT = 0x0300, KEY = 0x0301, EMIT = 0x0302, KEYQ = 0x0303, EMITQ = 0x0304;

TEST(Keys, KeyReadsTheScriptThenAnswersEndOfTransmissionForever) {
    Rig r([](Assembler& a) {
        a.syscall(KEYQ);
        a.syscall(KEY);
        a.syscall(KEY);
        a.syscall(KEY);
        a.syscall(KEYQ);
        a.syscall(KEY);
    }, split_header(), "a\x1b");
    EXPECT_EQ(r.results(), (Cells{0, 4, 0, 0xFFFFFFFF, 0, 4, 0, 0x1B, 0, 'a', 0, 0xFFFFFFFF}));
}

TEST(Keys, KeyQueryLeavesTheKeyWaiting) {
    Rig r([](Assembler& a) {
        a.syscall(KEYQ);
        a.ops("DROP DROP");
        a.syscall(KEY);
    }, split_header(), "q");
    EXPECT_EQ(r.results(), (Cells{0, 'q'}));
}

TEST(Characters, EmitWritesTheLowByteAndNothingForZero) {
    Rig r([](Assembler& a) {
        a.lit(0x141); a.syscall(EMIT);
        a.lit(0x100); a.syscall(EMIT);
        a.lit(0x0D);  a.syscall(EMIT);
        a.lit(0xFF);  a.syscall(EMIT);
        a.syscall(EMITQ);
        a.lit(77); a.syscall(TINIT);
    });
    EXPECT_EQ(r.results(), (Cells{0, 0, 0xFFFFFFFF, 0, 0, 0, 0}));
    EXPECT_EQ(r.console.output(), "A\r\xFF");
}

}  // namespace
}  // namespace norvex::testing
