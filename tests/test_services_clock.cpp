// Group 2: tick counter, time, date, waiting.
#include <sys/time.h>

#include <chrono>
#include <csignal>

#include <gtest/gtest.h>

#include "host/posix_console.h"
#include "tests/process_run.h"
#include "tests/rig.h"

namespace norvex::testing {
namespace {

TEST(Clock, CellsOfTickTimeDateAndWait) {
    // The scripted clock moves only while the image waits.
    Rig r("SYSTICK TIME@ DATE@ 5 CINIT 250 WAITMS 0xFFFFFFFF WAITMS SYSTICK");
    r.console.ticks = 0xFFFFFFF0;
    r.console.time = LocalTime{2024, 2, 29, 23, 58, 7, 123};
    EXPECT_EQ(r.results(), (Cells{0, 1000, 0xFFFFFFF0u + 250u + 0xFFFFFFFFu, 0, 0, 0, 0, 2024, 2,
                                  29, 0, 23, 58, 7, 123, 0, 1000, 0xFFFFFFF0}));
    EXPECT_EQ(r.console.slept_ms, 250ull + 0xFFFFFFFFull);
}

void on_alarm(int) {}

TEST(Clock, HostSleepLastsTheFullTimeThroughSignalsAndTimeIsLocal) {
    struct sigaction act{}, old{};
    act.sa_handler = on_alarm;
    sigaction(SIGALRM, &act, &old);
    struct itimerval every5ms{{0, 5000}, {0, 5000}}, off{};
    setitimer(ITIMER_REAL, &every5ms, nullptr);
    PosixConsole console;
    const uint32_t t0 = console.tick_ms();
    const auto start = std::chrono::steady_clock::now();
    console.sleep_ms(60);
    const auto elapsed = std::chrono::steady_clock::now() - start;
    setitimer(ITIMER_REAL, &off, nullptr);
    sigaction(SIGALRM, &old, nullptr);
    EXPECT_GE(elapsed, std::chrono::milliseconds(60));
    EXPECT_GE(console.tick_ms() - t0, 60u);

    const time_t now = time(nullptr);
    struct tm t;
    localtime_r(&now, &t);
    const LocalTime lt = console.local_time();
    EXPECT_EQ(lt.year, t.tm_year + 1900);
    EXPECT_EQ(lt.month, t.tm_mon + 1);
    EXPECT_LE(lt.ms, 999);
}

TEST(Programs, WaitmsThroughNorvex) {
    // Prints '0' when SYSTICK moved at least 80 ms across WAITMS 80.
    TempDir dir;
    const auto start = std::chrono::steady_clock::now();
    const ProgramRun run = run_norvex(
        dir, "SYSTICK DROP DROP 80 WAITMS DROP SYSTICK DROP DROP SWAP - 80 U< '0' + EMIT");
    EXPECT_GE(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(80));
    EXPECT_EQ(run.output, "0");
}

}  // namespace
}  // namespace norvex::testing
