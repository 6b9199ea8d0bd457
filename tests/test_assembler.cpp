// The assembler: header layout, mnemonics, label resolution.
#include <gtest/gtest.h>

#include "asm/assembler.h"
#include "image/header.h"

namespace norvex::assembler {
namespace {

TEST(Assembler, HeaderFieldsLandAtTheirOffsets) {
    ImageHeader h;
    h.flags = 0xC4;
    h.start = 0x5320;
    h.hx = 0x200FF300;
    h.v0 = 0x20000000;
    const std::vector<uint8_t> b = h.bytes();
    ASSERT_EQ(b.size(), 80u);
    EXPECT_EQ(b[3], 0xC4);
    EXPECT_EQ(header_cell(b.data(), H_START), 0x5320u);
    EXPECT_EQ(header_cell(b.data(), H_HX), 0x200FF300u);
    EXPECT_EQ(header_cell(b.data(), H_V0), 0x20000000u);
}

TEST(Assembler, RelativeOffsetsCountFromTheByteAfterTheOperand) {
    Assembler a(0x1000);
    auto back = a.label_here();   // at 0x1050
    a.branch(back);               // operand at 0x1051..0x1054, next byte 0x1055
    auto fwd = a.label();
    a.call(fwd);
    a.bind(fwd);
    const std::vector<uint8_t> img = a.finish();
    EXPECT_EQ(img[80], uint8_t(Op::BRANCH));
    EXPECT_EQ(load32(&img[81]), uint32_t(-5));
    EXPECT_EQ(img[85], uint8_t(Op::CALL));
    EXPECT_EQ(load32(&img[86]), 0u);
}

TEST(Assembler, MnemonicsAndErrors) {
    EXPECT_EQ(opcode_named("um/mod"), Op::UMSLASHMOD);
    EXPECT_EQ(opcode_named("0branch"), Op::ZBRANCH);
    EXPECT_FALSE(opcode_named("1+").has_value());
    Assembler a;
    EXPECT_THROW(a.op("FROB"), std::invalid_argument);
    EXPECT_THROW(a.op("LIT"), std::invalid_argument);   // needs an operand
    a.ops("DUP  + SWAP");
    auto never = a.label();
    a.zbranch(never);
    EXPECT_THROW(a.finish(), std::logic_error);
}

}  // namespace
}  // namespace norvex::assembler
