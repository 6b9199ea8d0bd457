// The console on a POSIX terminal: standard input in raw mode while the
// simulator runs (restored on every way out), unbuffered writes to standard
// output.
#pragma once

#include "monitor/console.h"

namespace norvex {

class PosixConsole : public Console {
public:
    PosixConsole();
    ~PosixConsole() override;
    PosixConsole(const PosixConsole&) = delete;
    PosixConsole& operator=(const PosixConsole&) = delete;

    void write(const uint8_t* data, size_t n) override;
    int read_key() override;
    bool key_waiting() override;
    void flush_input() override;
    void sleep_ms(uint32_t ms) override;
    uint32_t tick_ms() override;
    LocalTime local_time() override;

private:
    int pending_ = -2;   // a byte read ahead by key_waiting, or kEndOfInput; -2: none
    bool input_is_terminal_ = false;
};

}  // namespace norvex
