// Group 3: keys, characters, screen, cursor, colour.
#include <gtest/gtest.h>

#include "run_program.h"
#include "service_rig.h"
#include "temp_dir.h"

namespace norvex::testing {
namespace {

constexpr uint32_t BYE = 0x0000, TINIT = 0x0300, KEY = 0x0301, EMIT = 0x0302, KEYQ = 0x0303,
                   EMITQ = 0x0304, PAGE = 0x0306, ATMAX = 0x0307, ATXYQ = 0x0308, ATXY = 0x0309,
                   COLORFETCH = 0x030A, COLORSTORE = 0x030B;

void emit(Assembler& a, char c) {
    a.lit(uint8_t(c));
    a.syscall(EMIT);
    a.ops("DROP");
}
void at(Assembler& a, uint32_t col, uint32_t row) {
    a.lit(col);
    a.lit(row);
    a.syscall(ATXY);
}

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

TEST(Screen, CursorFollowsMovesTextAndPage) {
    Rig r([](Assembler& a) {
        at(a, 5, 3);
        a.syscall(ATXYQ);                 // 5 3 0
        emit(a, 'a'); emit(a, 'b');
        a.syscall(ATXYQ);                 // 7 3 0
        at(a, 0x10000 + 78, 0x20000 + 9); // low 16 bits: 78, 9
        emit(a, 'x'); emit(a, 'y'); emit(a, 'z');   // z wraps; the bottom row scrolls
        a.syscall(ATXYQ);                 // 1 9 0
        a.syscall(PAGE);
        a.syscall(ATXYQ);                 // 0 0 0
        a.syscall(ATMAX);                 // 80 10 0
    });
    r.console.set_screen(80, 10);
    EXPECT_EQ(r.results(), (Cells{0, 10, 80, 0, 0, 0, 0, 0, 9, 1, 0, 0, 3, 7, 0, 3, 5, 0}));
    EXPECT_EQ(r.console.output(), "\x1b[4;6Hab\x1b[10;79Hxyz\x1b[H\x1b[2J");
}

TEST(Screen, ColourIsSetAndReadBack) {
    Rig r([](Assembler& a) {
        a.syscall(COLORFETCH);            // 7 0: the default
        a.lit(0x1001E); a.syscall(COLORSTORE);
        a.syscall(COLORFETCH);            // 1E 0
    });
    r.console.set_screen(80, 24);
    EXPECT_EQ(r.results(), (Cells{0, 0x1E, 0, 0, 7}));
    EXPECT_EQ(r.console.output(), "\x1b[0;93;44m");
}

TEST(Screen, WithoutATerminalNothingIsWrittenAndTheRecordAnswers) {
    Rig r([](Assembler& a) {
        a.syscall(ATMAX);                 // 0 0 0: no query ever succeeded
        a.syscall(ATXYQ);                 // 0 0 0
        emit(a, 'a');
        a.syscall(PAGE);
        at(a, 5, 3);
        a.lit(0x1E); a.syscall(COLORSTORE);
        emit(a, 'b');
        a.syscall(ATXYQ);                 // 5 3 0: as ATXY left the record
        a.syscall(COLORFETCH);            // 1E 0
    });
    EXPECT_EQ(r.results(), (Cells{0, 0x1E, 0, 3, 5, 0, 0, 0, 0, 0, 0, 0, 0, 0}));
    EXPECT_EQ(r.console.output(), "ab");
}

// An image that reports the cursor (and once the size and colour) as
// characters '0' + value, so the test can read them in the output.
void show(Assembler& a, uint32_t code, int cells) {
    a.syscall(code);
    a.ops("DROP");
    if (cells == 2) a.ops("SWAP");   // print the bottom cell first
    for (int i = 0; i < cells; ++i) {
        a.lit('0');
        a.ops("+");
        a.syscall(EMIT);
        a.ops("DROP");
    }
}

void screen_image(Assembler& a) {
    show(a, ATXYQ, 2);                    // where the terminal says: 2,4 -> "24"
    show(a, ATXYQ, 2);                    // after "24": "44"
    at(a, 38, 9); a.ops("DROP");
    emit(a, 'a'); emit(a, 'b'); emit(a, 'c');   // c wraps and scrolls
    show(a, ATXYQ, 2);                    // "19"
    a.syscall(PAGE); a.ops("DROP");
    show(a, ATXYQ, 2);                    // "00"
    show(a, ATMAX, 2);                    // 40 10: "X:"
    a.lit(0x1E); a.syscall(COLORSTORE); a.ops("DROP");
    show(a, COLORFETCH, 1);               // 0x1E: "N"
    a.syscall(BYE);
}

TEST(Programs, ScreenOnAPseudoTerminal) {
    TempDir dir;
    Assembler a(0, split_header());
    screen_image(a);
    assembler::write_file(dir / "s.zvk", a.finish());
    size_t asked = 0;
    const ProgramRun run = run_norvex_on_pty("s.zvk", dir.path, 40, 10, [&](const std::string& out) {
        size_t n = 0;
        for (size_t at = out.find("\x1b[6n"); at != std::string::npos; at = out.find("\x1b[6n", at + 1)) ++n;
        if (n == asked) return std::string();
        asked = n;
        return std::string("\x1b[5;3R");   // row 5, column 3
    });
    EXPECT_EQ(asked, 1u);   // asked once; tracked from then on
    const std::string expected = "\x1b[6n" "24" "44" "\x1b[10;39H" "abc" "19" "\x1b[H\x1b[2J" "00" "X:"
                                 "\x1b[0;93;44m" "N";
    EXPECT_EQ(run.output, expected);
    EXPECT_EQ(run.status, 0);
}

TEST(Programs, ScreenServicesWriteNothingIntoAPipe) {
    TempDir dir;
    Assembler a(0, split_header());
    emit(a, 'a');
    a.syscall(PAGE); a.ops("DROP");
    at(a, 5, 3); a.ops("DROP");
    a.lit(0x1E); a.syscall(COLORSTORE); a.ops("DROP");
    emit(a, 'b');
    show(a, ATXYQ, 2);
    show(a, COLORFETCH, 1);
    a.syscall(BYE);
    assembler::write_file(dir / "p.zvk", a.finish());
    EXPECT_EQ(run_norvex("p.zvk", "", dir.path).output, "ab53N");
}

}  // namespace
}  // namespace norvex::testing
