// norvex-rom on a terminal: Ctrl-C interrupts a running word, and every
// signal that ends or stops the process leaves the terminal as it found it.
#include <gtest/gtest.h>

#include <sys/resource.h>

#include <chrono>
#include <csignal>
#include <string>

#include "tests/pty_session.h"

namespace norvex::forth {
namespace {

using testing::PtySession;

const std::string kBanner = "Norvex Forth 1.0\r\n";

bool raw(const PtySession& s) { return !(s.modes().c_lflag & (ECHO | ICANON)); }

// Collects output until text appears at or after `from` (true), or the time
// runs out.
bool wait_for_after(PtySession& s, const std::string& text, size_t from, int timeout_ms = 5000) {
    for (int waited = 0; s.output().find(text, from) == std::string::npos; waited += 20) {
        if (waited >= timeout_ms) return false;
        s.wait_for("\x01never\x01", 20);
    }
    return true;
}

// Polls until want() holds (or a few seconds pass).
template <typename Want>
bool modes_become(Want want) {
    for (int i = 0; i < 200; ++i) {
        if (want()) return true;
        usleep(20 * 1000);
    }
    return false;
}

// Starts norvex-rom at its prompt, in raw mode.
void start(PtySession& s) {
    ASSERT_TRUE(s.wait_for(kBanner)) << s.output();
    ASSERT_TRUE(modes_become([&] { return raw(s); }));
}

// Types a line and waits until the system has read it (its echo is back)
// and runs it.
void type_line(PtySession& s, const std::string& line) {
    const size_t before = s.output().size();
    s.send(line + "\r");
    wait_for_after(s, line, before);
    usleep(300 * 1000);
}

// Sends Ctrl-C to a running word: the standard message for THROW -28 comes
// back at once, and the session goes on with empty stacks and the words
// defined before.
void interrupt_and_go_on(PtySession& s, const std::string& word) {
    s.wait_for("\x01never\x01", 100);   // what the running word wrote so far
    const size_t before = s.output().size();
    s.send("\x03");
    const auto sent = std::chrono::steady_clock::now();
    ASSERT_TRUE(wait_for_after(s, word + ": user interrupt\r\n", before)) << s.output();
    const auto took = std::chrono::steady_clock::now() - sent;
    // The interrupt itself takes well under 0.1 s; the bound leaves room for
    // a loaded machine.
    EXPECT_LT(took, std::chrono::seconds(2));
    const size_t after = s.output().size();
    s.send("depth . 3 4 + .\r");
    EXPECT_TRUE(wait_for_after(s, "depth . 3 4 + . 0 7  ok\r\n", after)) << s.output();
}

// A word that runs until it is interrupted: the line that defines and
// starts it, the line that starts it again, and the word the message names.
struct Running {
    const char* name;
    const char* first;
    const char* again;
    const char* word;
};

class RomInterrupt : public ::testing::TestWithParam<Running> {};

TEST_P(RomInterrupt, CtrlCStopsTheWordAndTheSessionGoesOn) {
    const Running& r = GetParam();
    PtySession s(NORVEX_ROM_BIN, {});
    start(s);
    for (const char* line : {r.first, r.again}) {   // twice: the word and the handler still work
        type_line(s, std::string("1 2 3 ") + line);
        interrupt_and_go_on(s, r.word);
    }
    s.send("bye\r");
    EXPECT_EQ(s.wait_exit(), 0);
}

INSTANTIATE_TEST_SUITE_P(
    Words, RomInterrupt,
    ::testing::Values(Running{"EndlessLoop", ": spin begin again ; spin", "spin", "spin"},
                      Running{"TailRecursiveWord", ": down ( n -- ) 1- recurse ; 5 down", "5 down", "down"},
                      Running{"Wait", "10000 ms", "10000 ms", "ms"}),
    [](const ::testing::TestParamInfo<Running>& p) { return std::string(p.param.name); });

TEST(RomInterrupt, SigintFromOutsideInterruptsToo) {
    PtySession s(NORVEX_ROM_BIN, {});
    start(s);
    type_line(s, ": spin begin again ; spin");
    s.signal(SIGINT);
    EXPECT_TRUE(s.wait_for("spin: user interrupt\r\n")) << s.output();
    s.send("bye\r");
    EXPECT_EQ(s.wait_exit(), 0);
}

TEST(RomInterrupt, KeyStillReadsCtrlCAsThree) {
    PtySession s(NORVEX_ROM_BIN, {});
    start(s);
    type_line(s, "key .");
    s.send("\x03");
    EXPECT_TRUE(s.wait_for("key . 3  ok\r\n")) << s.output();
    s.send("bye\r");
    EXPECT_EQ(s.wait_exit(), 0);
    EXPECT_TRUE(testing::same_modes(s.modes(), s.initial_modes()));
}

// AddressSanitizer reports the faults it handles itself and exits with 1.
bool reported_by_sanitizer(int sig) {
#ifdef __SANITIZE_ADDRESS__
    return sig == SIGSEGV || sig == SIGBUS;
#else
    (void)sig;
    return false;
#endif
}

// Each signal that ends the process: the terminal is back in the modes it
// had, and the process died of that signal.
class RomSignal : public ::testing::TestWithParam<int> {};

TEST_P(RomSignal, RestoresTheTerminal) {
    const struct rlimit no_core{0, 0};
    setrlimit(RLIMIT_CORE, &no_core);
    PtySession s(NORVEX_ROM_BIN, {});
    start(s);
    s.signal(GetParam());
    const int status = s.wait_exit();
    if (!reported_by_sanitizer(GetParam())) {
        EXPECT_EQ(status, 128 + GetParam()) << s.output();
    }
    EXPECT_TRUE(testing::same_modes(s.modes(), s.initial_modes()));
}

INSTANTIATE_TEST_SUITE_P(EveryEnd, RomSignal,
                         ::testing::Values(SIGQUIT, SIGABRT, SIGSEGV, SIGBUS, SIGUSR1, SIGUSR2, SIGALRM,
                                           SIGTERM, SIGHUP),
                         [](const ::testing::TestParamInfo<int>& p) { return std::string(sigabbrev_np(p.param)); });

TEST(RomSignal, StopAndContinueUnderAJobControlShell) {
    // bash runs norvex-rom as a job; SIGTSTP stops it in the shell's modes,
    // `fg` continues it, and it is in raw mode again: a line echoes once.
    PtySession s("/bin/bash", {"-c", std::string("set -m; ") + NORVEX_ROM_BIN + "; read line; fg"});
    start(s);
    kill(-s.foreground_group(), SIGTSTP);
    ASSERT_TRUE(s.wait_for("Stopped")) << s.output();
    EXPECT_TRUE(testing::same_modes(s.modes(), s.initial_modes()));
    s.send("\n");
    ASSERT_TRUE(modes_become([&] { return raw(s); })) << s.output();
    const size_t before = s.output().size();
    s.send("1 2 + .\r");
    ASSERT_TRUE(s.wait_for("3  ok\r\n")) << s.output();
    EXPECT_EQ(s.output().substr(s.output().find("1 2 + .", before)), "1 2 + . 3  ok\r\n");
    s.send("bye\r");
    EXPECT_EQ(s.wait_exit(), 0) << s.output();
    EXPECT_TRUE(testing::same_modes(s.modes(), s.initial_modes()));
}

}  // namespace
}  // namespace norvex::forth
