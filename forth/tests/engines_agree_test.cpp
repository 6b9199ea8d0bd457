// The Forth system's own image, running real Forth programs, ends the same
// way whichever engine runs it: one instruction a burst as in trace mode, the
// interpreter in free run, translated code. The same status, output and
// every byte of both memories. (The registers are not compared: BYE leaves
// them as they stood at the start of its burst, which the engines begin at
// different places.)
#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "core/engine.h"
#include "image/startup.h"
#include "host/console.h"
#include "testing/script_console.h"
#include "monitor/run_end.h"

namespace norvex::forth {
namespace {

enum class Engine { Traced, Interpreted, Translated };

struct Ending {
    int status = -1;
    std::string output;
    std::vector<uint8_t> var, prg;
};

std::vector<uint8_t> rom_image() {
    std::ifstream in(FORTH_IMAGE, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
}

// Runs the image with the argument text and keys until BYE or a report. In
// the traced run every burst is one instruction, as under the monitor's
// trace (the trace lines themselves are left out: they only show the state).
Ending run(Engine engine, const std::string& args, const std::string& keys) {
    static const std::vector<uint8_t> image = rom_image();
    ScriptConsole console(keys);
    Machine m;
    m.console = &console;
    m.native_enabled = engine == Engine::Translated;
    Ending e;
    try {
        STARTUP(m, args, image.data(), uint32_t(image.size()));
        for (;;) {
            if (engine == Engine::Traced) m.DBGMODE |= DM_TRACE;
            if (m.DBGMODE & DM_STOP) break;
            RUNBURST(m);
        }
        e.status = m.services.exit_status;
    } catch (const RunEnd& end) {
        e.status = end.status;
    }
    e.output = console.output();
    if (m.mem.var) e.var.assign(m.mem.var, m.mem.var + m.mem.VARSIZE);
    if (m.mem.prg && !m.mem.shared()) e.prg.assign(m.mem.prg, m.mem.prg + m.mem.PRGSIZE);
    SHUTDOWN(m);
    return e;
}

size_t first_difference(const std::vector<uint8_t>& a, const std::vector<uint8_t>& b) {
    size_t at = 0;
    while (at < a.size() && at < b.size() && a[at] == b[at]) ++at;
    return at;
}

// Runs the text under each engine; the traced run must print `expected` last.
void expect_same_ending(const std::string& args, const std::string& expected, const std::string& keys = {}) {
    ASSERT_FALSE(rom_image().empty()) << FORTH_IMAGE;
    const Ending traced = run(Engine::Traced, args, keys);
    EXPECT_EQ(traced.status, 0) << traced.output;
    EXPECT_TRUE(traced.output.ends_with(expected)) << traced.output;
    for (const Engine engine : {Engine::Interpreted, Engine::Translated}) {
        const Ending e = run(engine, args, keys);
        const char* name = engine == Engine::Interpreted ? "interpreter" : "translated code";
        EXPECT_EQ(e.status, traced.status) << name;
        EXPECT_EQ(e.output, traced.output) << name;
        EXPECT_TRUE(e.var == traced.var) << name << ": variable memory differs first at offset "
                                     << first_difference(e.var, traced.var);
        EXPECT_TRUE(e.prg == traced.prg) << name << ": program memory differs first at offset "
                                     << first_difference(e.prg, traced.prg);
    }
}

TEST(EnginesAgree, OnAProgramThatCompilesRunsAndFails) {
    // Words made and forgotten where earlier ones were, errors caught and
    // thrown through several levels, deep recursion through DEFER and
    // RECURSE, the heap, strings and double numbers.
    expect_same_ending(
        "variable total "
        ": round  s\" marker gone : w 0 50 0 do i + loop ; w total +! gone\" evaluate ; "
        ": rounds  0 do round loop ; 300 rounds total ? "
        ": fib  dup 2 < if exit then dup 1- recurse swap 2 - recurse + ; 20 fib . "
        "defer d : down  dup if 1- d 1+ then ; ' down is d 3000 d . "
        ": deep  dup if 1- recurse then ; 5000 deep . "
        ": bad  s\" 1 2 nosuchword\" evaluate ; ' bad catch . depth . "
        ": thrower  -7 throw ; : middle  thrower 1 ; ' middle catch . "
        "1 ' drop catch . depth . 1000 allocate throw dup 1000 $5a fill dup 999 + c@ . free throw "
        "create buf 100 allot s\" hello, world\" buf swap move buf 12 type "
        "s\" world\" buf 12 2swap search . . drop 1234567890123. 3 1 m*/ d. "
        ": sieve  here 1000 1 fill 0 1000 2 do here i + c@ if 1+ i dup + begin dup 1000 < while "
        "0 over here + c! i + repeat drop then loop ; sieve . "
        "bye",
        "367500 6765 3000 0 -13 0 -7 0 0 90 hello, world-1 5 3703703670369 168 ");
}

TEST(EnginesAgree, OnTheCoreTests) {
    const std::filesystem::path dir = FORTH2012_DIR;
    if (!std::filesystem::exists(dir / "core.fr")) GTEST_SKIP() << "no " << dir;
    expect_same_ending("include " + (dir / "tester.fr").string() + " include " + (dir / "core.fr").string() +
                           " #errors @ . bye",
                       "End of Core word set tests\n0 ", "This line is for the ACCEPT test\n");
}

}  // namespace
}  // namespace norvex::forth
