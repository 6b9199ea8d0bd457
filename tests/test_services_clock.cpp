// Group 2: tick counter, time, date, waiting.
#include <sys/time.h>

#include <chrono>
#include <csignal>

#include <gtest/gtest.h>

#include "monitor/posix_console.h"
#include "run_program.h"
#include "service_rig.h"
#include "temp_dir.h"

namespace norvex::testing {
namespace {

constexpr uint32_t CINIT = 0x0200, SYSTICK = 0x0201, TIMEFETCH = 0x0202, DATEFETCH = 0x0204,
                   WAITMS = 0x0206;

TEST(Clock, TickTimeAndDateCells) {
    Rig r([](Assembler& a) {
        a.syscall(SYSTICK);
        a.syscall(TIMEFETCH);
        a.syscall(DATEFETCH);
        a.lit(5); a.syscall(CINIT);
    });
    r.console.ticks = 0xFFFFFFF0;
    r.console.time = LocalTime{2024, 2, 29, 23, 58, 7, 123};
    EXPECT_EQ(r.results(),
              (Cells{0, 0, 2024, 2, 29, 0, 23, 58, 7, 123, 0, 1000, 0xFFFFFFF0}));
}

TEST(Clock, WaitmsWaitsTheUnsignedCountAndTheTickMoves) {
    Rig r([](Assembler& a) {
        a.lit(250); a.syscall(WAITMS);
        a.lit(0xFFFFFFFF); a.syscall(WAITMS);
        a.syscall(SYSTICK);
    });
    const Cells s = r.results();
    EXPECT_EQ(r.console.slept_ms, 250ull + 0xFFFFFFFFull);
    EXPECT_EQ(s, (Cells{0, 1000, uint32_t(250u + 0xFFFFFFFFu), 0, 0}));
}

void on_alarm(int) {}

TEST(Clock, HostSleepLastsTheFullTimeThroughSignals) {
    // A timer interrupts the sleep every 5 ms; it still lasts 60 ms.
    struct sigaction act{}, old{};
    act.sa_handler = on_alarm;
    sigaction(SIGALRM, &act, &old);
    struct itimerval every5{{0, 5000}, {0, 5000}}, off{};
    setitimer(ITIMER_REAL, &every5, nullptr);
    PosixConsole console;
    const uint32_t t0 = console.tick_ms();
    const auto start = std::chrono::steady_clock::now();
    console.sleep_ms(60);
    const auto elapsed = std::chrono::steady_clock::now() - start;
    setitimer(ITIMER_REAL, &off, nullptr);
    sigaction(SIGALRM, &old, nullptr);
    EXPECT_GE(elapsed, std::chrono::milliseconds(60));
    EXPECT_GE(console.tick_ms() - t0, 60u);
}

TEST(Clock, HostTimeIsLocalTime) {
    PosixConsole console;
    const time_t now = time(nullptr);
    struct tm t;
    localtime_r(&now, &t);
    const LocalTime lt = console.local_time();
    EXPECT_EQ(lt.year, t.tm_year + 1900);
    EXPECT_EQ(lt.month, t.tm_mon + 1);
    EXPECT_GE(lt.day, 1);
    EXPECT_LE(lt.day, 31);
    EXPECT_LE(lt.hour, 23);
    EXPECT_LE(lt.minute, 59);
    EXPECT_LE(lt.second, 59);
    EXPECT_LE(lt.ms, 999);
}

TEST(Programs, WaitmsThroughNorvex) {
    // SYSTICK before and after WAITMS 80: the image prints '.' when at
    // least 80 ticks passed; the process takes at least as long.
    TempDir dir;
    Assembler a(0, split_header());
    a.syscall(SYSTICK); a.ops("DROP DROP");
    a.lit(80); a.syscall(WAITMS); a.ops("DROP");
    a.syscall(SYSTICK); a.ops("DROP DROP SWAP -");
    a.lit(80); a.ops("U<");   // elapsed < 80 ?
    const auto early = a.label();
    const auto done = a.label();
    a.zbranch(early);
    a.lit('!');
    a.branch(done);
    a.bind(early);
    a.lit('.');
    a.bind(done);
    a.syscall(0x0302);   // EMIT
    a.syscall(0x0000);
    assembler::write_file(dir / "w.zvk", a.finish());
    const auto start = std::chrono::steady_clock::now();
    const ProgramRun run = run_norvex("w.zvk", "", dir.path);
    EXPECT_GE(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(80));
    EXPECT_EQ(run.output, ".");
}

}  // namespace
}  // namespace norvex::testing
