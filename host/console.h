// The console host layer: the one interface through which the simulator,
// the services and the monitor reach the terminal and the clock. The POSIX
// implementation is host/posix_console.cpp; tests and fuzzers put a
// scripted one in its place.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>

#include "host/vt_screen.h"

namespace norvex {

constexpr int kEndOfInput = -1;

// The local date and time, as the clock services hand them to the image.
struct LocalTime {
    uint16_t year = 0;
    uint16_t month = 0;    // 1-12
    uint16_t day = 0;      // 1-31
    uint16_t hour = 0;     // 0-23
    uint16_t minute = 0;   // 0-59
    uint16_t second = 0;   // 0-59
    uint16_t ms = 0;       // 0-999
};

class Console {
public:
    virtual ~Console() = default;

    // Output in call order. A console may keep what is written until
    // flush(); it flushes itself before it reads or waits for a key and
    // before it sleeps. Between begin_batch() and end_batch() (they nest) a
    // console that writes through at once may keep the text to write it in
    // one piece at the end.
    virtual void write(const uint8_t* data, size_t n) = 0;
    virtual void flush() {}
    virtual void begin_batch() {}
    virtual void end_batch() {}

    // One key code, blocking, without echo; kEndOfInput once input has ended.
    virtual int read_key() = 0;
    // True when read_key would not block (a key is waiting, or input ended).
    virtual bool key_waiting() = 0;
    // Discards keys typed so far (terminal input only).
    virtual void flush_input() = 0;

    // Suspends the simulator ms milliseconds, signals or not, but no longer
    // than until a user interrupt waits (host/interrupt.h).
    virtual void sleep_ms(uint32_t ms) = 0;

    // With on, Ctrl-C typed while the image runs (not while it reads a key)
    // and SIGINT raise a user interrupt; with off, Ctrl-C is key 3 and
    // SIGINT ends the process, as at start.
    virtual void catch_interrupts(bool on) { (void)on; }

    // The screen of the terminal on standard output; false, and info left
    // as it was, when standard output is no terminal.
    virtual bool screen(ScreenInfo& info) = 0;
    // On a terminal: clear the screen and home the cursor; move the cursor;
    // set the attribute of the text written from now on. Without a
    // terminal they write nothing.
    virtual void page() = 0;
    virtual void move_cursor(uint16_t col, uint16_t row) = 0;
    virtual void set_attribute(uint16_t attr) = 0;

    // A monotonic millisecond counter, 32 bits, wrapping.
    virtual uint32_t tick_ms() = 0;
    virtual LocalTime local_time() = 0;
};

// A console that reads keys from a string and collects what is written.
// With a screen size it is a terminal: its cursor follows what is written
// and the screen operations write their sequences into the output.
class ScriptConsole : public Console {
public:
    explicit ScriptConsole(std::string keys = {}) : keys_(std::move(keys)) {}

    void set_screen(uint16_t cols, uint16_t rows) { vt_.emplace(cols, rows); }
    VtScreen* vt() { return vt_ ? &*vt_ : nullptr; }

    void write(const uint8_t* data, size_t n) override {
        out_.append(reinterpret_cast<const char*>(data), n);
        if (vt_) vt_->track(data, n);
    }
    int read_key() override { return pos_ < keys_.size() ? uint8_t(keys_[pos_++]) : kEndOfInput; }
    bool key_waiting() override { return true; }
    void flush_input() override {}
    // The clock stands still except while the image waits.
    void sleep_ms(uint32_t ms) override {
        slept_ms += ms;
        ticks += ms;
    }
    bool screen(ScreenInfo& info) override {
        if (vt_) info = vt_->info();
        return vt_.has_value();
    }
    void page() override { send(VtScreen::page_sequence()); }
    void move_cursor(uint16_t col, uint16_t row) override {
        send(VtScreen::move_sequence(col, row));
    }
    void set_attribute(uint16_t attr) override {
        if (!vt_) return;
        vt_->set_attribute(attr);
        send(VtScreen::attribute_sequence(attr));
    }

    uint32_t tick_ms() override { return ticks; }
    LocalTime local_time() override { return time; }

    const std::string& output() const { return out_; }
    void clear_output() { out_.clear(); }
    void add_keys(const std::string& k) { keys_ += k; }

    uint32_t ticks = 0;
    uint64_t slept_ms = 0;
    LocalTime time;

private:
    void send(const std::string& s) {
        if (vt_) write(reinterpret_cast<const uint8_t*>(s.data()), s.size());
    }

    std::optional<VtScreen> vt_;
    std::string keys_;
    size_t pos_ = 0;
    std::string out_;
};

}  // namespace norvex
