// What a VT/ANSI terminal does with the cursor, and the sequences the
// terminal services send it. No terminal is touched here: the console
// implementations feed every byte they write through track(), so the
// cursor position is known without asking the terminal, and tests can use
// the same rules on a screen kept in memory.
//
// The rules followed: printable bytes (UTF-8 continuation bytes excepted)
// advance one column; at the last column the cursor stays and the next
// printable byte wraps first (the VT's pending wrap); the bottom row
// scrolls; CR, LF/VT/FF, BS and TAB move as on a VT; escape sequences are
// parsed, and those that move the cursor (CUU, CUD, CUF, CUB, CNL, CPL,
// CHA, CUP, HVP, VPA, IND, NEL, RI, save and restore) are applied.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace norvex {

// The screen as the terminal services see it: buffer size, cursor, text
// attribute, largest window size; 0-based columns and rows.
struct ScreenInfo {
    uint16_t cols = 0;
    uint16_t rows = 0;
    uint16_t col = 0;
    uint16_t row = 0;
    uint16_t attr = 0;
    uint16_t max_cols = 0;
    uint16_t max_rows = 0;
};

// The text attribute word: foreground in bits 0-3 and background in bits
// 4-7, each blue 1, green 2, red 4, intensity 8; reverse video 0x4000,
// underscore 0x8000. 0x07, grey on black, is the console's own default.
constexpr uint16_t kDefaultAttribute = 0x07;

class VtScreen {
public:
    VtScreen(uint16_t cols, uint16_t rows) { resize(cols, rows); }

    void resize(uint16_t cols, uint16_t rows);
    // Output processing that turns LF into CR LF (a terminal not in raw mode).
    void set_lf_returns(bool on) { lf_returns_ = on; }

    // Moves the cursor as the terminal does for these bytes.
    void track(const uint8_t* data, size_t n);
    void place(uint16_t col, uint16_t row);

    ScreenInfo info() const;
    uint16_t attribute() const { return attr_; }
    void set_attribute(uint16_t attr) { attr_ = attr; }

    // Clear the screen and home the cursor; move the cursor; the attribute
    // as select-graphic-rendition.
    static std::string page_sequence();
    static std::string move_sequence(uint16_t col, uint16_t row);
    static std::string attribute_sequence(uint16_t attr);

private:
    enum class State { Ground, Escape, EscapeIntermediate, Csi, String, StringEscape };

    void printable();
    void control(uint8_t b);
    void line_feed();
    void escape_final(uint8_t final);
    void csi_final(uint8_t final);
    void move_to(int col, int row);
    int param(unsigned i, int missing) const;

    int cols_ = 80;
    int rows_ = 24;
    int col_ = 0;
    int row_ = 0;
    bool wrap_pending_ = false;
    bool lf_returns_ = false;
    int saved_col_ = 0;
    int saved_row_ = 0;
    uint16_t attr_ = kDefaultAttribute;

    State state_ = State::Ground;
    static constexpr unsigned kMaxParams = 16;
    int params_[kMaxParams] = {};
    unsigned nparams_ = 0;
    bool private_ = false;   // a CSI with a '<', '=', '>' or '?' parameter prefix
};

}  // namespace norvex
