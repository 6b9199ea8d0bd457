// The cursor rules of a VT terminal and the sequences of the screen services.
#include <gtest/gtest.h>

#include "host/vt_screen.h"

namespace norvex {
namespace {

// The cursor after these bytes, as "col,row".
std::string after(VtScreen& vt, const std::string& bytes) {
    vt.track(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size());
    return std::to_string(vt.info().col) + "," + std::to_string(vt.info().row);
}

TEST(VtScreen, TextControlBytesAndWrapping) {
    VtScreen vt(10, 3);
    EXPECT_EQ(after(vt, "abcdefghij"), "9,0");   // ten written: still on the last column
    EXPECT_EQ(after(vt, "k"), "1,1");            // the next one wraps first
    EXPECT_EQ(after(vt, "\r0123456789\r"), "0,1");   // CR cancels the pending wrap
    EXPECT_EQ(after(vt, "ab\n\n\n"), "2,2");     // raw: LF only goes down; the bottom scrolls
    EXPECT_EQ(after(vt, "\b\b\b"), "0,2");
    EXPECT_EQ(after(vt, "\xC3\xA4\xE2\x82\xAC\a\x01\x7F"), "2,2");   // a column per UTF-8 character
    EXPECT_EQ(after(vt, "x\t\t"), "9,2");        // TAB stops at the last column
    vt.set_lf_returns(true);
    EXPECT_EQ(after(vt, "\x1b[1;5Hq\n"), "0,1");   // with output processing LF returns
}

TEST(VtScreen, SequencesThatMoveTheCursorAndOnesThatDoNot) {
    VtScreen vt(80, 24);
    EXPECT_EQ(after(vt, VtScreen::move_sequence(5, 3)), "5,3");
    EXPECT_EQ(after(vt, "\x1b[10;20f\x1b[2A\x1b[3C\x1b[B\x1b[D\x1b[5D"), "16,8");
    EXPECT_EQ(after(vt, "\x1b[12G\x1b[3d"), "11,2");
    EXPECT_EQ(after(vt, "\x1b[999;999H"), "79,23");   // clamped to the screen
    EXPECT_EQ(after(vt, "\x1b[2J\x1b[0;93;44m\x1b[?25l\x1b]0;title\a\x1b]2;t\x1b\\\x1b(B"),
              "79,23");
    EXPECT_EQ(after(vt, "\x1b" "7\x1b[H\x1b" "8\x1b[3E"), "0,23");
    EXPECT_EQ(after(vt, "\x1b[1"), "0,23");            // split across writes
    EXPECT_EQ(after(vt, "0;4H"), "3,9");
    EXPECT_EQ(after(vt, "xyz" + VtScreen::page_sequence()), "0,0");
}

TEST(VtScreen, AttributeWordsBecomeAnsiColours) {
    // Blue 1, green 2, red 4, intensity 8; the background in the next four bits.
    EXPECT_EQ(VtScreen::attribute_sequence(0x07), "\x1b[0m");          // the default
    EXPECT_EQ(VtScreen::attribute_sequence(0x1E), "\x1b[0;93;44m");    // yellow on blue
    EXPECT_EQ(VtScreen::attribute_sequence(0x0C), "\x1b[0;91;40m");
    EXPECT_EQ(VtScreen::attribute_sequence(0x70), "\x1b[0;30;47m");
    EXPECT_EQ(VtScreen::attribute_sequence(0xF1), "\x1b[0;34;107m");
    EXPECT_EQ(VtScreen::attribute_sequence(0xC007), "\x1b[0;7;4m");    // reverse, underscore
}

}  // namespace
}  // namespace norvex
