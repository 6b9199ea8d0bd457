#include "monitor/posix_console.h"

#include <poll.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <ctime>

namespace norvex {

namespace {

constexpr int kNone = -2;

// The terminal modes found at start, restored on every way out. Plain
// globals: the signal handler reads them.
struct termios g_saved_modes;
volatile sig_atomic_t g_modes_saved = 0;

void restore_terminal() {
    if (g_modes_saved) tcsetattr(STDIN_FILENO, TCSANOW, &g_saved_modes);
}

// SIGTERM, SIGHUP, SIGINT from outside: restore the terminal, then die of
// the same signal so the parent sees why.
void on_fatal_signal(int sig) {
    restore_terminal();
    std::signal(sig, SIG_DFL);
    std::raise(sig);
}

void enter_raw_mode() {
    if (tcgetattr(STDIN_FILENO, &g_saved_modes) != 0) return;
    g_modes_saved = 1;
    struct termios raw = g_saved_modes;
    // Keys one at a time, no echo, no line editing, control keys (Ctrl-C,
    // Ctrl-Z, Ctrl-S) delivered as key codes, Enter as 0x0D; output bytes
    // reach the terminal exactly as written.
    raw.c_iflag &= ~tcflag_t(IGNBRK | BRKINT | PARMRK | ISTRIP | INLCR | IGNCR | ICRNL | IXON);
    raw.c_oflag &= ~tcflag_t(OPOST);
    raw.c_lflag &= ~tcflag_t(ECHO | ECHONL | ICANON | ISIG | IEXTEN);
    raw.c_cflag &= ~tcflag_t(CSIZE | PARENB);
    raw.c_cflag |= CS8;
    raw.c_cc[VMIN] = 1;
    raw.c_cc[VTIME] = 0;
    tcsetattr(STDIN_FILENO, TCSANOW, &raw);
}

}  // namespace

PosixConsole::PosixConsole() {
    std::signal(SIGPIPE, SIG_IGN);   // a closed output makes writes fail silently
    input_is_terminal_ = isatty(STDIN_FILENO);
    if (input_is_terminal_) {
        enter_raw_mode();
        for (int sig : {SIGTERM, SIGHUP, SIGINT}) std::signal(sig, on_fatal_signal);
    }
}

PosixConsole::~PosixConsole() {
    restore_terminal();
    g_modes_saved = 0;
}

void PosixConsole::write(const uint8_t* data, size_t n) {
    while (n > 0) {
        const ssize_t done = ::write(STDOUT_FILENO, data, n);
        if (done < 0 && errno == EINTR) continue;
        if (done <= 0) return;   // output gone: the text is dropped
        data += done;
        n -= size_t(done);
    }
}

int PosixConsole::read_key() {
    if (pending_ != kNone) {
        const int key = pending_;
        if (key != kEndOfInput) pending_ = kNone;
        return key;
    }
    for (;;) {
        uint8_t byte;
        const ssize_t got = ::read(STDIN_FILENO, &byte, 1);
        if (got == 1) return byte;
        if (got < 0 && errno == EINTR) continue;
        pending_ = kEndOfInput;   // end of input (or an error) stays ended
        return kEndOfInput;
    }
}

bool PosixConsole::key_waiting() {
    if (pending_ != kNone) return true;
    struct pollfd p{STDIN_FILENO, POLLIN, 0};
    if (::poll(&p, 1, 0) <= 0) return false;
    pending_ = read_key();
    return true;
}

void PosixConsole::flush_input() {
    if (!input_is_terminal_) return;
    if (pending_ != kEndOfInput) pending_ = kNone;
    tcflush(STDIN_FILENO, TCIFLUSH);
}

void PosixConsole::sleep_ms(uint32_t ms) {
    struct timespec left{time_t(ms / 1000), long(ms % 1000) * 1000000L};
    while (nanosleep(&left, &left) != 0 && errno == EINTR) {
    }
}

uint32_t PosixConsole::tick_ms() {
    struct timespec now;
    clock_gettime(CLOCK_MONOTONIC, &now);
    return uint32_t(uint64_t(now.tv_sec) * 1000u + uint64_t(now.tv_nsec) / 1000000u);
}

LocalTime PosixConsole::local_time() {
    struct timespec now;
    clock_gettime(CLOCK_REALTIME, &now);
    struct tm t;
    localtime_r(&now.tv_sec, &t);
    LocalTime lt;
    lt.year = uint16_t(t.tm_year + 1900);
    lt.month = uint16_t(t.tm_mon + 1);
    lt.day = uint16_t(t.tm_mday);
    lt.hour = uint16_t(t.tm_hour);
    lt.minute = uint16_t(t.tm_min);
    lt.second = uint16_t(t.tm_sec > 59 ? 59 : t.tm_sec);   // a leap second shows as 59
    lt.ms = uint16_t(now.tv_nsec / 1000000);
    return lt;
}

}  // namespace norvex
