// The console on a POSIX terminal: standard input in raw mode while the
// simulator runs (restored on every way out), output written through to a
// terminal and kept in large blocks for a file or pipe (host/kept_output),
// and the screen operations as VT/ANSI sequences when standard output is a
// terminal.
#pragma once

#include <string>

#include "host/console.h"

namespace norvex {

class PosixConsole : public Console {
public:
    PosixConsole();
    ~PosixConsole() override;
    PosixConsole(const PosixConsole&) = delete;
    PosixConsole& operator=(const PosixConsole&) = delete;

    void write(const uint8_t* data, size_t n) override;
    void flush() override;
    void begin_batch() override;
    void end_batch() override;
    int read_key() override;
    bool key_waiting() override;
    void flush_input() override;
    void sleep_ms(uint32_t ms) override;
    void catch_interrupts(bool on) override;
    bool screen(ScreenInfo& info) override;
    void page() override;
    void move_cursor(uint16_t col, uint16_t row) override;
    void set_attribute(uint16_t attr) override;
    uint32_t tick_ms() override;
    LocalTime local_time() override;

private:
    void send(const std::string& s);
    void follow_resize();
    void ask_cursor();

    std::string ahead_;          // keys read but not yet taken
    bool input_ended_ = false;   // end of input (or an error) stays ended
    bool input_is_terminal_ = false;
    bool output_is_terminal_ = false;
    bool can_ask_cursor_ = false;   // input and output are the same terminal
    bool cursor_known_ = false;     // the tracked cursor started from a real position
    int batch_depth_ = 0;
    VtScreen vt_{80, 24};
};

}  // namespace norvex
