// The line editor of norvex-rom on a pseudo-terminal: UTF-8 characters,
// lines wider than the window, the history file and Tab completion.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "forth/tests/rom_process.h"
#include "forth/tests/rom_terminal.h"
#include "tests/pty_session.h"

namespace norvex::forth {
namespace {

// What a terminal shows: cells written as a VT terminal writes them (the
// pending wrap at the last column, East Asian wide characters in two
// cells), for the bytes and sequences the line editor sends.
class Screen {
public:
    Screen(int cols, int rows) : cols_(cols), rows_(rows), cells_(size_t(rows), blank_row()) {}

    void feed(const std::string& bytes) {
        for (size_t i = 0; i < bytes.size();) i = step(bytes, i);
    }
    // Row r as text, blanks at its end cut.
    std::string row(int r) const {
        std::string text;
        for (const std::string& cell : cells_[size_t(r)]) text += cell;
        return text.substr(0, text.find_last_not_of(' ') + 1);
    }
    int cursor_row() const { return row_; }
    int cursor_col() const { return col_; }

private:
    std::vector<std::string> blank_row() const { return std::vector<std::string>(size_t(cols_), " "); }
    static bool wide(uint32_t cp) {
        return (cp >= 0x2E80 && cp <= 0xA4CF) || (cp >= 0xAC00 && cp <= 0xD7A3) || (cp >= 0xFF00 && cp <= 0xFF60);
    }
    void line_feed() {
        if (row_ + 1 < rows_) {
            ++row_;
            return;
        }
        cells_.erase(cells_.begin());
        cells_.push_back(blank_row());
    }
    void put(const std::string& ch, uint32_t cp) {
        const int w = wide(cp) ? 2 : 1;
        if (pending_ || col_ + w > cols_) {
            col_ = 0;
            line_feed();
        }
        pending_ = false;
        cells_[size_t(row_)][size_t(col_)] = ch;
        if (w == 2) cells_[size_t(row_)][size_t(col_) + 1] = "";
        col_ += w;
        if (col_ == cols_) {
            col_ = cols_ - 1;
            pending_ = true;
        }
    }
    void sequence(int n, char final) {
        pending_ = false;
        switch (final) {
        case 'A': row_ = std::max(0, row_ - std::max(n, 1)); break;
        case 'B': row_ = std::min(rows_ - 1, row_ + std::max(n, 1)); break;
        case 'C': col_ = std::min(cols_ - 1, col_ + std::max(n, 1)); break;
        case 'D': col_ = std::max(0, col_ - std::max(n, 1)); break;
        case 'J':   // erase from the cursor to the end of the screen
            for (int c = col_; c < cols_; ++c) cells_[size_t(row_)][size_t(c)] = " ";
            for (int r = row_ + 1; r < rows_; ++r) cells_[size_t(r)] = blank_row();
            break;
        default: break;   // the cursor query, colours
        }
    }
    size_t step(const std::string& b, size_t i) {
        const auto c = uint8_t(b[i]);
        if (c == 27 && i + 1 < b.size() && b[i + 1] == '[') {
            size_t j = i + 2;
            int n = 0;
            while (j < b.size() && (std::isdigit(uint8_t(b[j])) || b[j] == ';')) n = b[j] == ';' ? 0 : n * 10 + (b[j++] - '0');
            if (j < b.size()) sequence(n, b[j]);
            return j + 1;
        }
        if (c == '\r') col_ = 0, pending_ = false;
        else if (c == '\n') line_feed(), pending_ = false;
        else if (c == '\b') col_ = std::max(0, col_ - (pending_ ? 0 : 1)), pending_ = false;
        if (c < 0x20) return i + 1;
        size_t n = c < 0xC0 ? 1 : c < 0xE0 ? 2 : c < 0xF0 ? 3 : 4;
        n = std::min(n, b.size() - i);
        uint32_t cp = n == 1 ? c : c & (0x7F >> n);
        for (size_t k = 1; k < n; ++k) cp = cp << 6 | (uint8_t(b[i + k]) & 0x3F);
        put(b.substr(i, n), cp);
        return i + n;
    }

    int cols_, rows_;
    std::vector<std::vector<std::string>> cells_;
    int row_ = 0, col_ = 0;
    bool pending_ = false;
};

const std::string kLeft = "\x1b[D", kRight = "\x1b[C", kHome = "\x1b[H", kEnd = "\x1b[F", kUp = "\x1b[A",
                  kDelete = "\x1b[3~", kBackspace = "\x7f";

std::string times(int n, const std::string& key) {
    std::string keys;
    for (int k = 0; k < n; ++k) keys += key;
    return keys;
}


// --- UTF-8 ------------------------------------------------------------------------

TEST(LineEditor, MovesAndDeletesWholeCharacters) {
    RomTerminal t;
    // Backspace takes the two bytes of é; the string is one character long.
    ASSERT_TRUE(t.line("s\" a\xc3\xa9" + kBackspace + "\" nip .", "\" nip . 1  ok\r\n")) << t.s.output();
    // Left over two wide characters, insert, right over one, Delete the other.
    ASSERT_TRUE(t.line("s\" 日本" + kLeft + kLeft + "x" + kRight + kDelete + "\" type", "\" type x日 ok\r\n"))
        << t.s.output();
    // A character of four bytes, and one of three after a combining accent.
    ASSERT_TRUE(t.line("s\" \xf0\x9f\x98\x80" "e\xcc\x81z" + kLeft + kBackspace + kBackspace + kBackspace +
                           kEnd + "\" nip .",
                       "\" nip . 1  ok\r\n"))
        << t.s.output();
    EXPECT_EQ(t.leave(), 0);
}

TEST(LineEditor, ALineWiderThanTheWindowRedrawsCleanly) {
    // 20 columns: the line takes two rows; wide and multi-byte characters
    // move what follows them.
    RomTerminal t({}, 20);
    t.s.send("s\" \xc3\xa9日本 0123456789abcdefghij\" type");
    t.s.send(kHome + times(4, kRight) + "\xc3\xbc" + kEnd + times(6, kLeft) + kBackspace);
    t.s.wait_for("(all of it)", 500);
    Screen screen(20, 24);
    screen.feed(t.s.output());
    EXPECT_EQ(screen.row(1), "s\" éü日本 0123456789") << t.s.output();
    EXPECT_EQ(screen.row(2), "abcdefghi\" type") << t.s.output();
    EXPECT_EQ(screen.row(3), "");
    EXPECT_EQ(screen.cursor_row(), 2);
    EXPECT_EQ(screen.cursor_col(), 9);
    ASSERT_TRUE(t.line("", "éü日本 0123456789abcdefghi ok\r\n")) << t.s.output();
    // The history brings the long line back over a short one, and the short
    // one back over the long one: nothing of the long one stays.
    ASSERT_TRUE(t.line("1 .", " 1  ok\r\n"));
    t.s.send(kUp + kUp + "\x1b[B");
    t.s.wait_for("(all of it)", 500);
    Screen after(20, 24);
    after.feed(t.s.output());
    EXPECT_EQ(after.row(after.cursor_row()), "1 .") << t.s.output();
    EXPECT_EQ(after.row(after.cursor_row() + 1), "") << t.s.output();
    EXPECT_EQ(after.cursor_col(), 3);
    t.s.send("\x15");
    EXPECT_EQ(t.leave(), 0);
}

// --- The history file ---------------------------------------------------------------

struct Home {
    TempDir dir;
    std::string saved;
    bool had = false;
    Home() {
        if (const char* h = std::getenv("HOME")) had = true, saved = h;
        setenv("HOME", dir.path.c_str(), 1);
    }
    ~Home() {
        if (had) setenv("HOME", saved.c_str(), 1);
        else unsetenv("HOME");
    }
    std::string file() const { return dir.read(".norvex-history"); }
};

TEST(History, LinesAreKeptAcrossSessionsAndSurviveAFaultReport) {
    Home home;
    {
        RomTerminal t;
        ASSERT_TRUE(t.line("1 .", " 1  ok\r\n"));
        ASSERT_TRUE(t.line("", "  ok\r\n"));   // empty lines are not kept
        ASSERT_TRUE(t.line("2 .", " 2  ok\r\n"));
        ASSERT_TRUE(t.line("2 .", " 2  ok\r\n"));   // nor the newest again
        // An address in no memory: the simulator's fault report ends the run.
        ASSERT_TRUE(t.line("$30000000 @", "GETVARPTR - Error")) << t.s.output();
        t.s.send(" ");
        EXPECT_EQ(t.s.wait_exit(), 1);
    }
    EXPECT_EQ(home.file(), "1 .\n2 .\n$30000000 @\n");
    RomTerminal t;
    ASSERT_TRUE(t.line(kUp + kUp, " 2  ok\r\n")) << t.s.output();
    EXPECT_EQ(t.leave(), 0);
    const std::string kept = "1 .\n2 .\n$30000000 @\n2 .\n";
    EXPECT_EQ(home.file(), kept);
    // Piped input and the argument text are not kept.
    run_process(NORVEX_ROM_BIN, {"3 ."}, "4 .\n");
    EXPECT_EQ(home.file(), kept);
}

TEST(History, TheFileKeepsTheLast1000Lines) {
    Home home;
    std::string lines;
    for (int k = 0; k < 1500; ++k) lines += std::to_string(k) + " .\n";
    home.dir.write(".norvex-history", lines);
    RomTerminal t;
    ASSERT_TRUE(t.line(kUp, " 1499  ok\r\n")) << t.s.output();
    EXPECT_EQ(t.leave(), 0);
    const std::string kept = home.file();
    EXPECT_EQ(kept.substr(0, 6), "500 .\n");
    EXPECT_EQ(std::count(kept.begin(), kept.end(), '\n'), 1000);
}

TEST(History, NoFileWithoutAHome) {
    Home home;
    for (bool unset : {true, false}) {
        if (unset) unsetenv("HOME");
        else setenv("HOME", "", 1);
        RomTerminal t;
        ASSERT_TRUE(t.line("5 .", " 5  ok\r\n"));
        EXPECT_EQ(t.leave(), 0);
        EXPECT_FALSE(std::filesystem::exists("/.norvex-history"));
    }
}

// --- Tab completion -----------------------------------------------------------------

TEST(Completion, TabCompletesNamesOfTheSearchOrder) {
    RomTerminal t;
    ASSERT_TRUE(t.line(": frobnicate-one 1 ; : frobnicate-two 2 ;", " ok\r\n"));
    // As far as the names agree; a second Tab lists them and shows the line again.
    t.s.send("FROBN\t");
    ASSERT_TRUE(t.s.wait_for("FROBNicate-")) << t.s.output();
    t.s.send("\t");
    ASSERT_TRUE(t.s.wait_for("\r\nfrobnicate-one  frobnicate-two  \r\nFROBNicate-")) << t.s.output();
    // One name: whole, and a blank after it.
    ASSERT_TRUE(t.line("t\t.", "two . 2  ok\r\n")) << t.s.output();
    // The system's own helpers are not in the search order until asked for.
    ASSERT_TRUE(t.line("edit-lin\t", "edit-lin \r\nedit-lin: undefined word\r\n")) << t.s.output();
    ASSERT_TRUE(t.line("also internals", " ok\r\n")) << t.s.output();
    ASSERT_TRUE(t.line("' edit-lin\t0<> .", "' edit-line 0<> . -1  ok\r\n")) << t.s.output();
    EXPECT_EQ(t.leave(), 0);
}

}  // namespace
}  // namespace norvex::forth
