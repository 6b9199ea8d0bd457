// Group 3: keys, characters, screen, cursor, colour.
#include <gtest/gtest.h>

#include "tests/process_run.h"
#include "tests/rig.h"
#include "tests/pty_session.h"

namespace norvex::testing {
namespace {

TEST(Terminal, KeysAndCharacters) {
    // KEY? leaves the key waiting; after the script KEY answers 4 every time.
    Rig r("KEY? KEY KEY KEY KEY? KEY 0x141 EMIT 0x100 EMIT 0x0D EMIT 0xFF EMIT EMIT? 77 TINIT",
          "a\x1b");
    EXPECT_EQ(r.results(), (Cells{0, 0, 0xFFFFFFFF, 0, 0, 0, 0, 0, 4, 0, 0xFFFFFFFF, 0, 4, 0,
                                  0x1B, 0, 'a', 0, 0xFFFFFFFF}));
    EXPECT_EQ(r.console.output(), "A\r\xFF");
}

TEST(Terminal, CursorFollowsMovesTextAndPage) {
    Rig r("5 3 ATXY ATXY? 'a' EMIT DROP 'b' EMIT DROP ATXY? 0x1004E 0x20009 ATXY 'x' EMIT DROP "
          "'y' EMIT DROP 'z' EMIT DROP ATXY? PAGE ATXY? ATMAX COLOR@ 0x1001E COLOR! COLOR@");
    r.console.set_screen(80, 10);
    // x lands on the last column, z wraps and scrolls the bottom row;
    // ATXY and COLOR! take the low 16 bits.
    EXPECT_EQ(r.results(), (Cells{0, 0x1E, 0, 0, 7, 0, 10, 80, 0, 0, 0, 0, 0, 9, 1, 0, 0, 3, 7,
                                  0, 3, 5, 0}));
    EXPECT_EQ(r.console.output(), "\x1b[4;6Hab\x1b[10;79Hxyz\x1b[H\x1b[2J\x1b[0;93;44m");
}

TEST(Terminal, WithoutATerminalNothingIsWrittenAndTheRecordAnswers) {
    Rig r("ATMAX ATXY? 'a' EMIT DROP PAGE 5 3 ATXY 0x1E COLOR! 'b' EMIT DROP ATXY? COLOR@");
    EXPECT_EQ(r.results(), (Cells{0, 0x1E, 0, 3, 5, 0, 0, 0, 0, 0, 0, 0, 0, 0}));
    EXPECT_EQ(r.console.output(), "ab");
}

// Prints the two cells below an ior as characters '0' + value, lower first.
const std::string SHOW2 = " DROP SWAP '0' + EMIT DROP '0' + EMIT DROP ";

TEST(Programs, ScreenOnAPseudoTerminal) {
    // The terminal (80 x 24) places the cursor at column 3, row 5 (2,4
    // from 0) when asked; from there the simulator tracks it. ATMAX prints
    // "00" for 80 and 24.
    TempDir dir;
    PtySession run(NORVEX_BINARY, {image_file(dir,
        "ATXY?" + SHOW2 + "ATXY?" + SHOW2 + "78 23 ATXY DROP 'a' EMIT 'b' EMIT 'c' EMIT ATXY?" +
        SHOW2 + "PAGE DROP ATXY?" + SHOW2 + "ATMAX DROP 24 XOR '0' + EMIT DROP 80 XOR '0' + EMIT "
        "DROP 0x1E COLOR! DROP COLOR@ DROP '0' + EMIT")});
    ASSERT_TRUE(run.wait_for("\x1b[6n"));
    run.send("\x1b[5;3R");
    EXPECT_EQ(run.wait_exit(), 0);
    EXPECT_EQ(run.output(), "\x1b[6n" "24" "44" "\x1b[24;79H" "abc" "1G" "\x1b[H\x1b[2J" "00" "00"
                            "\x1b[0;93;44m" "N");
}

TEST(Programs, KeysAndScreenServicesThroughAPipe) {
    // Keys plus one come back; the screen services write nothing.
    TempDir dir;
    EXPECT_EQ(run_norvex(dir, "KEY DROP 1 + EMIT DROP KEY DROP 1 + EMIT DROP "
                              "KEY DROP 1 + EMIT DROP "
                              "PAGE DROP 5 3 ATXY DROP 0x1E COLOR! DROP ATXY?" + SHOW2 +
                              "KEY DROP EMIT", "HAL").output,
              "IBM53\x04");
}

}  // namespace
}  // namespace norvex::testing
