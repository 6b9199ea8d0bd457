#include "host/vt_screen.h"

#include <algorithm>

namespace norvex {

namespace {

constexpr uint8_t ESC = 0x1B, BEL = 0x07, BS = 0x08, TAB = 0x09, LF = 0x0A, VT = 0x0B,
                  FF = 0x0C, CR = 0x0D, CAN = 0x18, SUB = 0x1A, DEL = 0x7F;

// ANSI colour numbers count red 1, green 2, blue 4.
int ansi_colour(uint16_t c) { return (c & 4 ? 1 : 0) | (c & 2) | (c & 1 ? 4 : 0); }

}  // namespace

void VtScreen::resize(uint16_t cols, uint16_t rows) {
    cols_ = std::max<int>(cols, 1);
    rows_ = std::max<int>(rows, 1);
    move_to(col_, row_);
}

void VtScreen::place(uint16_t col, uint16_t row) { move_to(col, row); }

ScreenInfo VtScreen::info() const {
    ScreenInfo s;
    s.cols = s.max_cols = uint16_t(cols_);
    s.rows = s.max_rows = uint16_t(rows_);
    s.col = uint16_t(col_);
    s.row = uint16_t(row_);
    s.attr = attr_;
    return s;
}

void VtScreen::move_to(int col, int row) {
    col_ = std::clamp(col, 0, cols_ - 1);
    row_ = std::clamp(row, 0, rows_ - 1);
    wrap_pending_ = false;
}

void VtScreen::line_feed() {
    if (row_ < rows_ - 1) ++row_;   // at the bottom the screen scrolls
    if (lf_returns_) col_ = 0;
    wrap_pending_ = false;
}

void VtScreen::printable() {
    if (wrap_pending_) {
        wrap_pending_ = false;
        col_ = 0;
        if (row_ < rows_ - 1) ++row_;
    }
    if (col_ < cols_ - 1)
        ++col_;
    else
        wrap_pending_ = true;
}

int VtScreen::param(unsigned i, int missing) const {
    return i < nparams_ && params_[i] != 0 ? params_[i] : missing;
}

void VtScreen::escape_final(uint8_t final) {
    switch (final) {
    case '7': saved_col_ = col_; saved_row_ = row_; break;
    case '8': move_to(saved_col_, saved_row_); break;
    case 'D': line_feed(); break;
    case 'E': col_ = 0; line_feed(); break;
    case 'M': move_to(col_, row_ - 1); break;
    case 'c': move_to(0, 0); attr_ = kDefaultAttribute; break;
    default: break;
    }
}

void VtScreen::csi_final(uint8_t final) {
    if (private_) return;
    const int n = param(0, 1);
    switch (final) {
    case 'A': move_to(col_, row_ - n); break;
    case 'B': move_to(col_, row_ + n); break;
    case 'C': move_to(col_ + n, row_); break;
    case 'D': move_to(col_ - n, row_); break;
    case 'E': move_to(0, row_ + n); break;
    case 'F': move_to(0, row_ - n); break;
    case 'G': case '`': move_to(n - 1, row_); break;
    case 'H': case 'f': move_to(param(1, 1) - 1, n - 1); break;
    case 'd': move_to(col_, n - 1); break;
    case 's': saved_col_ = col_; saved_row_ = row_; break;
    case 'u': move_to(saved_col_, saved_row_); break;
    default: break;   // erasing, colours, modes: the cursor stays
    }
}

void VtScreen::control(uint8_t b) {
    switch (b) {
    case CR: col_ = 0; wrap_pending_ = false; break;
    case LF: case VT: case FF: line_feed(); break;
    case BS: move_to(col_ - 1, row_); break;
    case TAB: move_to(std::min(cols_ - 1, (col_ / 8 + 1) * 8), row_); break;
    default: break;   // BEL and the rest: no movement
    }
}

void VtScreen::track(const uint8_t* data, size_t n) {
    for (size_t i = 0; i < n; ++i) {
        const uint8_t b = data[i];
        const bool in_string = state_ == State::String || state_ == State::StringEscape;
        if (b == CAN || b == SUB) {   // abort any sequence
            state_ = State::Ground;
        } else if (b < 0x20 && b != ESC && !in_string) {
            control(b);   // acts at once, even inside a sequence
        } else {
            switch (state_) {
            case State::Ground:
                if (b == ESC) state_ = State::Escape;
                else if (b != DEL && (b < 0x80 || b >= 0xC0)) printable();   // not a continuation
                break;
            case State::Escape:
                if (b == '[') {
                    state_ = State::Csi;
                    nparams_ = 0;
                    params_[0] = 0;
                    private_ = false;
                } else if (b == ']' || b == 'P' || b == 'X' || b == '^' || b == '_') {
                    state_ = State::String;
                } else if (b >= 0x20 && b <= 0x2F) {
                    state_ = State::EscapeIntermediate;
                } else if (b != ESC) {
                    state_ = State::Ground;
                    escape_final(b);
                }
                break;
            case State::EscapeIntermediate:   // character sets and the like
                if (b == ESC) state_ = State::Escape;
                else if (b >= 0x30) state_ = State::Ground;
                break;
            case State::Csi:
                if (b >= '0' && b <= '9') {
                    if (nparams_ == 0) nparams_ = 1;
                    int& p = params_[nparams_ - 1];
                    p = std::min(p * 10 + (b - '0'), 0xFFFF);
                } else if (b == ';' || b == ':') {
                    if (nparams_ == 0) nparams_ = 1;
                    if (nparams_ < kMaxParams) params_[nparams_++] = 0;
                } else if (b >= 0x3C && b <= 0x3F) {
                    private_ = true;
                } else if (b >= 0x40 && b <= 0x7E) {
                    state_ = State::Ground;
                    csi_final(b);
                } else if (b == ESC) {
                    state_ = State::Escape;
                }
                break;
            case State::String:   // ends with BEL or ESC '\'
                if (b == BEL) state_ = State::Ground;
                else if (b == ESC) state_ = State::StringEscape;
                break;
            case State::StringEscape:
                state_ = b == '\\' ? State::Ground : State::String;
                break;
            }
        }
    }
}

std::string VtScreen::page_sequence() { return "\x1b[H\x1b[2J"; }

std::string VtScreen::move_sequence(uint16_t col, uint16_t row) {
    std::string s = "\x1b[";
    s += std::to_string(row + 1);
    s += ';';
    s += std::to_string(col + 1);
    s += 'H';
    return s;
}

std::string VtScreen::attribute_sequence(uint16_t attr) {
    std::string s = "\x1b[0";
    auto add = [&s](int code) {
        s += ';';
        s += std::to_string(code);
    };
    if ((attr & 0xFF) != kDefaultAttribute) {
        const uint16_t fg = attr & 0x0F, bg = (attr >> 4) & 0x0F;
        add((fg & 8 ? 90 : 30) + ansi_colour(fg));
        add((bg & 8 ? 100 : 40) + ansi_colour(bg));
    }
    if (attr & 0x4000) add(7);   // reverse video
    if (attr & 0x8000) add(4);   // underscore
    s += 'm';
    return s;
}

}  // namespace norvex
