// The cursor rules of a VT terminal and the sequences of the screen services.
#include <gtest/gtest.h>

#include "monitor/vt_screen.h"

namespace norvex {
namespace {

struct At {
    int col, row;
    bool operator==(const At&) const = default;
};
std::ostream& operator<<(std::ostream& o, const At& a) { return o << a.col << "," << a.row; }

At after(VtScreen& vt, const std::string& bytes) {
    vt.track(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size());
    const ScreenInfo s = vt.info();
    return {s.col, s.row};
}

TEST(VtScreen, TextAdvancesAndWrapsOnlyWhenTheNextCharacterComes) {
    VtScreen vt(10, 3);
    EXPECT_EQ(after(vt, "abc"), (At{3, 0}));
    EXPECT_EQ(after(vt, "defghij"), (At{9, 0}));   // ten written: still on the last column
    EXPECT_EQ(after(vt, "k"), (At{1, 1}));
    EXPECT_EQ(after(vt, "\r"), (At{0, 1}));
    EXPECT_EQ(after(vt, "0123456789\r"), (At{0, 1}));   // CR cancels the pending wrap
}

TEST(VtScreen, ControlBytes) {
    VtScreen vt(20, 3);
    EXPECT_EQ(after(vt, "ab\n"), (At{2, 1}));          // raw output: LF only goes down
    EXPECT_EQ(after(vt, "\n\n\n"), (At{2, 2}));        // the bottom row scrolls
    EXPECT_EQ(after(vt, "\b\b\b"), (At{0, 2}));        // BS stops at column 0
    EXPECT_EQ(after(vt, "x\t"), (At{8, 2}));
    EXPECT_EQ(after(vt, "\t\t\t"), (At{19, 2}));       // TAB stops at the last column
    EXPECT_EQ(after(vt, "\a\x01\x7F"), (At{19, 2}));
    vt.set_lf_returns(true);
    EXPECT_EQ(after(vt, "\x1b[1;5Hq\n"), (At{0, 1}));   // with output processing LF returns
}

TEST(VtScreen, CursorSequencesMoveAndOthersDoNot) {
    VtScreen vt(80, 24);
    EXPECT_EQ(after(vt, "\x1b[4;6H"), (At{5, 3}));
    EXPECT_EQ(after(vt, "\x1b[H"), (At{0, 0}));
    EXPECT_EQ(after(vt, "\x1b[10;20f\x1b[2A\x1b[3C"), (At{22, 7}));
    EXPECT_EQ(after(vt, "\x1b[B\x1b[D\x1b[5D"), (At{16, 8}));
    EXPECT_EQ(after(vt, "\x1b[12G\x1b[3d"), (At{11, 2}));
    EXPECT_EQ(after(vt, "\x1b[999;999H"), (At{79, 23}));   // clamped to the screen
    EXPECT_EQ(after(vt, "\x1b[2J\x1b[0;93;44m\x1b[?25l\x1b[K"), (At{79, 23}));
    EXPECT_EQ(after(vt, "\x1b]0;a title\a"), (At{79, 23}));
    EXPECT_EQ(after(vt, "\x1b]0;title\x1b\\\x1b(B"), (At{79, 23}));
    EXPECT_EQ(after(vt, "\x1b" "7\x1b[H\x1b" "8"), (At{79, 23}));
    EXPECT_EQ(after(vt, "\x1b[3E"), (At{0, 23}));
    EXPECT_EQ(after(vt, "\x1b[1"), (At{0, 23}));   // split across writes
    EXPECT_EQ(after(vt, "0;4H"), (At{3, 9}));
}

TEST(VtScreen, Utf8CharactersTakeOneColumn) {
    VtScreen vt(80, 24);
    EXPECT_EQ(after(vt, "\xC3\xA4\xE2\x82\xAC!"), (At{3, 0}));
}

TEST(VtScreen, ServiceSequencesPlaceTheCursor) {
    VtScreen vt(80, 24);
    EXPECT_EQ(VtScreen::move_sequence(5, 3), "\x1b[4;6H");
    EXPECT_EQ(after(vt, VtScreen::move_sequence(5, 3)), (At{5, 3}));
    EXPECT_EQ(after(vt, "xyz" + VtScreen::page_sequence()), (At{0, 0}));
}

TEST(VtScreen, AttributeWordsBecomeAnsiColours) {
    // Blue 1, green 2, red 4, intensity 8, background in the next four bits.
    EXPECT_EQ(VtScreen::attribute_sequence(0x07), "\x1b[0m");         // the default
    EXPECT_EQ(VtScreen::attribute_sequence(0x1E), "\x1b[0;93;44m");   // yellow on blue
    EXPECT_EQ(VtScreen::attribute_sequence(0x0C), "\x1b[0;91;40m");   // light red on black
    EXPECT_EQ(VtScreen::attribute_sequence(0x70), "\x1b[0;30;47m");   // black on grey
    EXPECT_EQ(VtScreen::attribute_sequence(0xF1), "\x1b[0;34;107m");  // blue on white
    EXPECT_EQ(VtScreen::attribute_sequence(0x02), "\x1b[0;32;40m");
    EXPECT_EQ(VtScreen::attribute_sequence(0x4000 | 0x8000 | 0x07), "\x1b[0;7;4m");
}

}  // namespace
}  // namespace norvex
