// The console of tests, fuzzers and benchmarks: keys from a string, output
// collected, a clock that stands still. Production code never includes it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>

#include "host/console.h"
#include "host/vt_screen.h"

namespace norvex {

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
