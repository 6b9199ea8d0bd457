// The POSIX terminal layer: the console on standard input and output, and
// the line settings of serial ports. The only file that speaks termios.
#include "host/posix_console.h"
#include "host/kept_output.h"
#include "host/serial_line.h"

#include <poll.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstring>
#include <ctime>

#include "host/interrupt.h"

namespace norvex {

namespace {

// The terminal's modes and the signals. Plain globals: the signal handlers
// read them.
//
// While the simulator runs, standard input is in raw mode. With user
// interrupts caught (an image with an interrupt handler), Ctrl-C raises
// SIGINT while the image runs, and is key 3 again while the image or the
// monitor waits for a key: the run modes then switch ISIG on, with Ctrl-C as
// the only signal character (Ctrl-\ and Ctrl-Z stay key codes).
//
// Every signal that ends the process restores the modes found at start
// first; SIGTSTP restores them, stops, and SIGCONT enters the run modes
// again (when the process is in the foreground; a later fg continues it
// again).
struct termios g_saved_modes;     // found at start, restored on every way out
struct termios g_raw_modes;       // while the simulator runs
struct termios g_raw_isig_modes;  // the same, Ctrl-C raising SIGINT
volatile sig_atomic_t g_modes_saved = 0;
volatile sig_atomic_t g_isig = 0;       // the run modes in force raise SIGINT on Ctrl-C
volatile sig_atomic_t g_catching = 0;   // SIGINT raises a user interrupt
// Set by SIGWINCH: the window changed size.
volatile sig_atomic_t g_resized = 0;

// How long a terminal may take to report the cursor position.
constexpr int kCursorReportMs = 300;

// The signals whose default action ends the process (SIGINT too, unless
// interrupts are caught), and the actions found before ours.
constexpr int kFatalSignals[] = {SIGHUP,  SIGINT,  SIGQUIT, SIGILL,  SIGTRAP,   SIGABRT, SIGBUS,
                                 SIGFPE,  SIGUSR1, SIGSEGV, SIGUSR2, SIGALRM,   SIGTERM, SIGSTKFLT,
                                 SIGXCPU, SIGVTALRM, SIGPROF, SIGPOLL, SIGPWR, SIGSYS};
struct sigaction g_previous[NSIG];

void restore_terminal() {
    if (g_modes_saved) tcsetattr(STDIN_FILENO, TCSANOW, &g_saved_modes);
}

void enter_run_modes() {
    if (g_modes_saved) tcsetattr(STDIN_FILENO, TCSANOW, g_isig ? &g_raw_isig_modes : &g_raw_modes);
}

bool in_foreground() { return tcgetpgrp(STDIN_FILENO) == getpgrp(); }

// Restore the terminal, write out the output kept so far, then die of the
// same signal with the action found before ours (the default, or a
// sanitizer's report), so the parent sees why. A fault of the program itself
// writes nothing more and happens again on return; a signal sent from
// outside is sent again. A flush under way finishes first and ends the
// process itself; a second signal meanwhile ends it at once.
void on_fatal_signal(int sig, siginfo_t* info, void*) {
    if (sig == SIGINT && g_catching) {
        raise_interrupt();
        return;
    }
    restore_terminal();
    const bool fault = (sig == SIGSEGV || sig == SIGBUS || sig == SIGFPE || sig == SIGILL ||
                        sig == SIGTRAP || sig == SIGSYS) && info->si_code > 0;
    const bool written = fault || kept_output::write_out_from_signal(sig);
    sigaction(sig, &g_previous[sig], nullptr);
    if (written && !fault) raise(sig);
}

void on_stop(int) {
    const int saved_errno = errno;
    restore_terminal();
    struct sigaction ours, stop{};
    stop.sa_handler = SIG_DFL;
    sigaction(SIGTSTP, &stop, &ours);
    raise(SIGTSTP);
    sigset_t tstp, before;
    sigemptyset(&tstp);
    sigaddset(&tstp, SIGTSTP);
    sigprocmask(SIG_UNBLOCK, &tstp, &before);   // stops here until SIGCONT
    sigprocmask(SIG_SETMASK, &before, nullptr);
    sigaction(SIGTSTP, &ours, nullptr);
    errno = saved_errno;
}

void on_continue(int) {
    const int saved_errno = errno;
    if (in_foreground()) enter_run_modes();
    errno = saved_errno;
}

void on_resize(int) { g_resized = 1; }

void handle(int sig, void (*handler)(int), int flags = SA_RESTART) {
    struct sigaction act{};
    act.sa_handler = handler;
    act.sa_flags = flags;
    sigfillset(&act.sa_mask);
    sigaction(sig, &act, nullptr);
}

// The terminal's handlers (SIGTSTP, SIGCONT) only where input is a terminal.
void handle_fatal_signals(bool terminal) {
    // A crash from a stack overflow still finds a stack to restore on.
    static uint8_t alternate[64 * 1024];
    stack_t ss{};
    ss.ss_sp = alternate;
    ss.ss_size = sizeof alternate;
    sigaltstack(&ss, nullptr);
    for (int sig : kFatalSignals) {
        struct sigaction act{};
        act.sa_sigaction = on_fatal_signal;
        act.sa_flags = SA_SIGINFO | SA_ONSTACK | SA_RESTART;
        sigfillset(&act.sa_mask);
        sigaction(sig, &act, &g_previous[sig]);
    }
    if (!terminal) return;
    handle(SIGTSTP, on_stop);
    handle(SIGCONT, on_continue);
}

void enter_raw_mode() {
    if (tcgetattr(STDIN_FILENO, &g_saved_modes) != 0) return;
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
    g_raw_modes = raw;
    // Ctrl-C alone raises a signal; keys typed ahead are discarded with it.
    raw.c_lflag |= ISIG;
    raw.c_cc[VINTR] = 0x03;
    raw.c_cc[VQUIT] = _POSIX_VDISABLE;
    raw.c_cc[VSUSP] = _POSIX_VDISABLE;
    g_raw_isig_modes = raw;
    g_modes_saved = 1;
    enter_run_modes();
}

// Ctrl-C raises SIGINT (on) or is a key (off), while interrupts are caught.
void signal_on_ctrl_c(bool on) {
    if (!g_catching || !g_modes_saved || g_isig == sig_atomic_t(on)) return;
    g_isig = on;
    enter_run_modes();
}

bool same_device(int a, int b) {
    struct stat sa, sb;
    return fstat(a, &sa) == 0 && fstat(b, &sb) == 0 && sa.st_rdev == sb.st_rdev &&
           sa.st_ino == sb.st_ino;
}

// One byte of standard input: 1, 0 at its end, -1 on an error.
int read_byte(uint8_t& byte) {
    for (;;) {
        const ssize_t got = ::read(STDIN_FILENO, &byte, 1);
        if (got >= 0) return int(got);
        if (errno != EINTR) return -1;
    }
}

// A cursor position report, ESC [ row ; col R, at the end of text.
bool ends_with_report(const std::string& text, size_t& start, int& row, int& col) {
    const size_t esc = text.rfind('\x1b');
    if (esc == std::string::npos || text.size() - esc < 6 || text[esc + 1] != '[') return false;
    int values[2] = {0, 0};
    int which = 0;
    size_t i = esc + 2;
    for (; i < text.size() - 1; ++i) {
        const char ch = text[i];
        if (ch >= '0' && ch <= '9') values[which] = values[which] * 10 + (ch - '0');
        else if (ch == ';' && which == 0) which = 1;
        else return false;
        if (values[which] > 0xFFFF) return false;
    }
    if (which != 1 || text.back() != 'R') return false;
    start = esc;
    row = values[0];
    col = values[1];
    return true;
}

}  // namespace

PosixConsole::PosixConsole() {
    std::signal(SIGPIPE, SIG_IGN);   // a closed output makes writes fail silently
    std::signal(SIGXFSZ, SIG_IGN);   // a file past the host's size limit is EFBIG, not a kill
    input_is_terminal_ = isatty(STDIN_FILENO);
    output_is_terminal_ = isatty(STDOUT_FILENO);
    handle_fatal_signals(input_is_terminal_);
    if (input_is_terminal_) enter_raw_mode();
    if (output_is_terminal_) {
        struct sigaction act{};
        act.sa_handler = on_resize;
        act.sa_flags = SA_RESTART;
        sigaction(SIGWINCH, &act, nullptr);
        g_resized = 1;
        follow_resize();
        struct termios modes;
        if (tcgetattr(STDOUT_FILENO, &modes) == 0)
            vt_.set_lf_returns((modes.c_oflag & OPOST) && (modes.c_oflag & ONLCR));
        can_ask_cursor_ = input_is_terminal_ && same_device(STDIN_FILENO, STDOUT_FILENO);
    }
}

PosixConsole::~PosixConsole() {
    catch_interrupts(false);
    kept_output::flush();
    restore_terminal();
    g_modes_saved = 0;
    if (output_is_terminal_) std::signal(SIGWINCH, SIG_DFL);
}

// Output to a terminal goes out at once (a batch in one write at its end);
// output to a file or pipe is kept and written in large blocks.
void PosixConsole::write(const uint8_t* data, size_t n) {
    if (!output_is_terminal_) {
        kept_output::append(data, n);
        return;
    }
    size_t done = n;
    if (batch_depth_)
        kept_output::append(data, n);
    else
        done = kept_output::write_through(data, n);
    follow_resize();
    vt_.track(data, done);
}

void PosixConsole::flush() { kept_output::flush(); }

void PosixConsole::begin_batch() { ++batch_depth_; }

void PosixConsole::end_batch() {
    if (--batch_depth_ == 0 && output_is_terminal_) kept_output::flush();
}

void PosixConsole::send(const std::string& s) {
    if (output_is_terminal_) write(reinterpret_cast<const uint8_t*>(s.data()), s.size());
}

int PosixConsole::read_key() {
    kept_output::flush();
    if (!ahead_.empty()) {
        const uint8_t key = uint8_t(ahead_.front());
        ahead_.erase(0, 1);
        return key;
    }
    if (input_ended_) return kEndOfInput;
    uint8_t byte;
    signal_on_ctrl_c(false);   // while a key is awaited, Ctrl-C is key 3
    const int got = read_byte(byte);
    signal_on_ctrl_c(true);
    if (got == 1) return byte;
    input_ended_ = true;
    return kEndOfInput;
}

bool PosixConsole::key_waiting() {
    kept_output::flush();
    if (!ahead_.empty() || input_ended_) return true;
    struct pollfd p{STDIN_FILENO, POLLIN, 0};
    if (::poll(&p, 1, 0) <= 0) return false;
    uint8_t byte;
    if (read_byte(byte) == 1)
        ahead_.push_back(char(byte));
    else
        input_ended_ = true;
    return true;
}

void PosixConsole::flush_input() {
    kept_output::flush();
    if (!input_is_terminal_) return;
    ahead_.clear();
    tcflush(STDIN_FILENO, TCIFLUSH);
}

// Waits with SIGINT let through only inside ppoll, so an interrupt that
// arrives just before the wait still ends it.
void PosixConsole::sleep_ms(uint32_t ms) {
    kept_output::flush();
    sigset_t intr, before;
    sigemptyset(&intr);
    sigaddset(&intr, SIGINT);
    sigprocmask(SIG_BLOCK, &intr, &before);
    struct timespec end;
    clock_gettime(CLOCK_MONOTONIC, &end);
    end.tv_sec += time_t(ms / 1000);
    end.tv_nsec += long(ms % 1000) * 1000000L;
    if (end.tv_nsec >= 1000000000L) {
        ++end.tv_sec;
        end.tv_nsec -= 1000000000L;
    }
    while (!interrupt_pending()) {
        struct timespec now;
        clock_gettime(CLOCK_MONOTONIC, &now);
        struct timespec left{end.tv_sec - now.tv_sec, end.tv_nsec - now.tv_nsec};
        if (left.tv_nsec < 0) {
            --left.tv_sec;
            left.tv_nsec += 1000000000L;
        }
        if (left.tv_sec < 0) break;
        ppoll(nullptr, 0, &left, &before);
    }
    sigprocmask(SIG_SETMASK, &before, nullptr);
}

// SIGINT raises a user interrupt from now on (it ends the process again
// once interrupts are no longer caught); on a terminal, Ctrl-C then raises
// SIGINT while the image runs.
void PosixConsole::catch_interrupts(bool on) {
    if (!on) signal_on_ctrl_c(false);
    g_catching = on;
    if (on) signal_on_ctrl_c(true);
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

// After a change of the window size the terminal may have moved the text
// (and the cursor) about: the next question about the cursor asks it.
void PosixConsole::follow_resize() {
    if (!g_resized) return;
    g_resized = 0;
    struct winsize ws{};
    if (ioctl(STDOUT_FILENO, TIOCGWINSZ, &ws) == 0 && ws.ws_col > 0 && ws.ws_row > 0)
        vt_.resize(ws.ws_col, ws.ws_row);
    cursor_known_ = false;
}

// Asks the terminal where the cursor is (device status report) and takes
// its answer as the start of tracking. Keys that arrive meanwhile are kept
// for read_key. A terminal that does not answer in time leaves the tracked
// position as it is.
void PosixConsole::ask_cursor() {
    cursor_known_ = true;
    if (!can_ask_cursor_) return;
    static const uint8_t query[] = {0x1b, '[', '6', 'n'};
    if (kept_output::write_through(query, sizeof query) != sizeof query) return;
    std::string got;
    struct timespec start;
    clock_gettime(CLOCK_MONOTONIC, &start);
    for (;;) {
        struct timespec now;
        clock_gettime(CLOCK_MONOTONIC, &now);
        const long spent =
            long(now.tv_sec - start.tv_sec) * 1000 + (now.tv_nsec - start.tv_nsec) / 1000000;
        struct pollfd p{STDIN_FILENO, POLLIN, 0};
        if (spent >= kCursorReportMs || ::poll(&p, 1, int(kCursorReportMs - spent)) <= 0) break;
        uint8_t byte;
        if (read_byte(byte) != 1) {
            input_ended_ = true;
            break;
        }
        got.push_back(char(byte));
        size_t at;
        int row, col;
        if (byte == 'R' && ends_with_report(got, at, row, col)) {
            got.erase(at);
            vt_.place(uint16_t(col > 0 ? col - 1 : 0), uint16_t(row > 0 ? row - 1 : 0));
            break;
        }
    }
    ahead_ += got;
}

bool PosixConsole::screen(ScreenInfo& info) {
    if (!output_is_terminal_) return false;
    follow_resize();
    if (!cursor_known_) ask_cursor();
    info = vt_.info();
    return true;
}

void PosixConsole::page() {
    send(VtScreen::page_sequence());
    cursor_known_ = true;
}

void PosixConsole::move_cursor(uint16_t col, uint16_t row) {
    send(VtScreen::move_sequence(col, row));
    cursor_known_ = true;
}

void PosixConsole::set_attribute(uint16_t attr) {
    if (!output_is_terminal_) return;
    vt_.set_attribute(attr);
    send(VtScreen::attribute_sequence(attr));
}

// Serial lines.

namespace {

struct Rate {
    uint32_t baud;
    speed_t speed;
};

const Rate kRates[] = {
    {50, B50},           {75, B75},           {110, B110},         {134, B134},
    {150, B150},         {200, B200},         {300, B300},         {600, B600},
    {1200, B1200},       {1800, B1800},       {2400, B2400},       {4800, B4800},
    {9600, B9600},       {19200, B19200},     {38400, B38400},     {57600, B57600},
    {115200, B115200},   {230400, B230400},   {460800, B460800},   {500000, B500000},
    {576000, B576000},   {921600, B921600},   {1000000, B1000000}, {1152000, B1152000},
    {1500000, B1500000}, {2000000, B2000000}, {2500000, B2500000}, {3000000, B3000000},
    {3500000, B3500000}, {4000000, B4000000},
};

void set_modem_line(int fd, int bit, Line level) {
    if (level == Line::Unknown) return;
    int bits = bit;
    ioctl(fd, level == Line::High ? TIOCMBIS : TIOCMBIC, &bits);   // not every device has them
}

}  // namespace

bool read_line_settings(int fd, LineSettings& s) {
    struct termios t;
    if (tcgetattr(fd, &t) != 0) return false;
    s = LineSettings{};
    const speed_t speed = cfgetospeed(&t);
    for (const Rate& r : kRates)
        if (r.speed == speed) s.baud = r.baud;
    s.rts_cts = t.c_cflag & CRTSCTS;
    s.xon_xoff_output = t.c_iflag & IXON;
    s.xon_xoff_input = t.c_iflag & IXOFF;
    int bits;
    if (ioctl(fd, TIOCMGET, &bits) == 0) {
        s.dtr = bits & TIOCM_DTR ? Line::High : Line::Low;
        s.rts = bits & TIOCM_RTS ? Line::High : Line::Low;
    }
    return true;
}

bool write_line_settings(int fd, const LineSettings& s) {
    struct termios t;
    if (tcgetattr(fd, &t) != 0) return false;
    t.c_iflag &= ~tcflag_t(IGNBRK | BRKINT | PARMRK | ISTRIP | INLCR | IGNCR | ICRNL | INPCK |
                           IXON | IXOFF | IXANY);
    if (s.xon_xoff_output) t.c_iflag |= IXON;
    if (s.xon_xoff_input) t.c_iflag |= IXOFF;
    t.c_oflag &= ~tcflag_t(OPOST);
    t.c_lflag &= ~tcflag_t(ECHO | ECHONL | ICANON | ISIG | IEXTEN);
    t.c_cflag &= ~tcflag_t(CSIZE | PARENB | CSTOPB | CRTSCTS);
    t.c_cflag |= CS8 | CREAD | CLOCAL;
    if (s.rts_cts) t.c_cflag |= CRTSCTS;
    t.c_cc[VMIN] = 0;
    t.c_cc[VTIME] = 0;
    t.c_cc[VSTART] = 0x11;
    t.c_cc[VSTOP] = 0x13;
    for (const Rate& r : kRates)
        if (r.baud == s.baud) {
            cfsetispeed(&t, r.speed);
            cfsetospeed(&t, r.speed);
        }
    if (tcsetattr(fd, TCSANOW, &t) != 0) return false;
    set_modem_line(fd, TIOCM_DTR, s.dtr);
    if (!s.rts_cts) set_modem_line(fd, TIOCM_RTS, s.rts);
    return true;
}

}  // namespace norvex
