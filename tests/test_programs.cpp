// The real norvex binary on a pseudo-terminal: exact bytes, keys, exit
// status, and the terminal's modes after every way out.
#include <gtest/gtest.h>

#include <unistd.h>

#include <csignal>
#include <cstdio>

#include "asm/assembler.h"
#include "tests/process_run.h"
#include "tests/pty_session.h"

namespace norvex {
namespace {

using assembler::Assembler;
using testing::adder;
using testing::harvard_image;
using testing::name_arg;
using testing::pop_past_memory;
using testing::PtySession;
using TempImage = testing::TempFile;

// DEBUG's exit request with x = 0x12A: the process exits with 0x2A.
std::vector<uint8_t> exit_request() {
    Assembler a = harvard_image();
    a.lit(0x12A);
    a.lit(0x0100);
    a.syscall(Service::DEBUG);
    return a.finish();
}

std::vector<uint8_t> illegal() {
    Assembler a = harvard_image();
    a.byte(0x40);
    return a.finish();
}

// One image per fault report: PC branched out of program memory, a misaligned
// fetch (with alignment checks on); pop_past_memory pops past variable memory.
std::vector<uint8_t> branch_out() {
    Assembler a = harvard_image();
    a.op(Op::BRANCH);
    a.cell(0x20000);
    return a.finish();
}

std::vector<uint8_t> misaligned_fetch() {
    Assembler a = harvard_image();
    a.lit(0x20000001);
    a.op(Op::FETCH);
    return a.finish();
}

// EMITs "r", then runs without end: in a loop, or waiting in KEY.
std::vector<uint8_t> running(bool in_key) {
    Assembler a = harvard_image();
    a.lit('r');
    a.syscall(Service::EMIT);
    auto loop = a.label_here();
    if (in_key) a.syscall(Service::KEY);
    a.branch(loop);
    return a.finish();
}

// Prints its argument string (GETPAR, then C@X and EMIT up to the NUL)
// between brackets and stops.
std::vector<uint8_t> echo_arguments() {
    Assembler a = harvard_image();
    auto loop = a.label();
    auto done = a.label();
    a.lit('[');
    a.syscall(Service::EMIT);
    a.op(Op::DROP);
    a.syscall(Service::GETPAR);   // ( -- a 0 )
    a.op(Op::DROP);
    a.bind(loop);        // ( a )
    a.op(Op::DUP);
    a.lit(0);
    a.op(Op::CFETCHX);
    a.op(Op::DUP);
    a.zbranch(done);
    a.syscall(Service::EMIT);
    a.op(Op::DROP);
    a.lit(1);
    a.op(Op::PLUS);
    a.branch(loop);
    a.bind(done);
    a.lit(']');
    a.syscall(Service::EMIT);
    a.syscall(Service::BYE);
    return a.finish();
}

TEST(Norvex, ArgumentStringIsTheRestOfTheLine) {
    TempImage img(echo_arguments());
    PtySession quoted(NORVEX_BINARY, {"+A", "\"" + img.path + "\"", "a  b", "c"});
    EXPECT_EQ(quoted.wait_exit(), 0);
    EXPECT_EQ(quoted.output(), "[ a  b c]");
    // Unquoted: the blank that ends the name is not passed; options after
    // the name are the image's text.
    TempImage here(echo_arguments(), true);
    PtySession plain(NORVEX_BINARY, {"-H", here.path, "+A"});
    EXPECT_EQ(plain.wait_exit(), 0);
    EXPECT_EQ(plain.output(), "[+A]");
}

TEST(Norvex, MissingImageWaitsForAKeyAndFails) {
    PtySession s(NORVEX_BINARY, {"+A", "-H"});
    ASSERT_TRUE(s.wait_for("Missing zvK Image File Name\r\n"));
    EXPECT_EQ(s.wait_exit(300), -1) << "ends only after a key";
    s.send("k");
    EXPECT_EQ(s.wait_exit(), 2);
    EXPECT_EQ(s.output(), "Missing zvK Image File Name\r\n");
    EXPECT_TRUE(testing::same_modes(s.modes(), s.initial_modes()));
}

TEST(Norvex, SingleStepsWithKeysInRawMode) {
    TempImage img(adder());
    PtySession s(NORVEX_BINARY, {"\\" + img.path});
    const std::string line1 =
        "\r\n\r\nS=20000F00:FFFFFFFF|FFFFFFFF|FFFFFFFF  R=20001000:00000000|00000000|00000000 "
        "\r\nIP=00000000 W=00000000 PC=00000050 04 00000005 LIT      ";
    const std::string line2 =
        "\r\n\r\nS=20000EFC:00000005|FFFFFFFF|FFFFFFFF  R=20001000:00000000|00000000|00000000 "
        "\r\nIP=00000000 W=00000000 PC=00000055 0A          DUP      ";
    const std::string line3 =
        "\r\n\r\nS=20000EF8:00000005|00000005|FFFFFFFF  R=20001000:00000000|00000000|00000000 "
        "\r\nIP=00000000 W=00000000 PC=00000056 16          +        ";
    ASSERT_TRUE(s.wait_for(line1)) << s.output();
    const std::string display = s.output().substr(0, s.output().size() - line1.size());
    EXPECT_EQ(display.rfind("\r\nNorvex by Tamrel\r\n============================\r\nHeader of zvk-File: \r\n00420000 4E 56 58 C0", 0), 0u);
    EXPECT_NE(display.find("\r\nStart   : $00000050\r\n"), std::string::npos);
    s.send("x");
    ASSERT_TRUE(s.wait_for(line1 + line2));
    s.send("\x03");   // Ctrl-C is a key like any other here
    ASSERT_TRUE(s.wait_for(line1 + line2 + line3));
    s.send("\x1b");
    EXPECT_EQ(s.wait_exit(), 0);
    EXPECT_EQ(s.output(), display + line1 + line2 + line3);
    EXPECT_TRUE(testing::same_modes(s.modes(), s.initial_modes()));
}

TEST(Norvex, EnterRunsFreeToTheEnd) {
    TempImage img(adder());
    PtySession s(NORVEX_BINARY, {"\\" + img.path});
    ASSERT_TRUE(s.wait_for("LIT      "));
    s.send("\r");
    EXPECT_EQ(s.wait_exit(), 0);
    EXPECT_EQ(s.output().find("DUP"), std::string::npos);
}

TEST(Norvex, FaultReportWaitsForAKeyThenFails) {
    TempImage img(illegal());
    PtySession s(NORVEX_BINARY, {"\"" + img.path + "\""});
    ASSERT_TRUE(s.wait_for("\r\n\r\nIllegal Opcode !!!\r\n"));
    EXPECT_EQ(s.wait_exit(300), -1);
    s.send(" ");
    EXPECT_EQ(s.wait_exit(), 1);
    EXPECT_TRUE(testing::same_modes(s.modes(), s.initial_modes()));
}

TEST(Norvex, ClosedInputNeverHangs) {
    TempImage img(adder());
    PtySession step(NORVEX_BINARY, {"\\" + img.path}, "/dev/null");
    EXPECT_EQ(step.wait_exit(), 0);   // the monitor's key read at end of input acts as ESC
    EXPECT_EQ(step.output().find("DUP"), std::string::npos);

    TempImage bad(illegal());
    PtySession fault(NORVEX_BINARY, {"\"" + bad.path + "\""}, "/dev/null");
    EXPECT_EQ(fault.wait_exit(), 1);
    EXPECT_NE(fault.output().find("Illegal Opcode !!!"), std::string::npos);
}

TEST(Norvex, SignalsFromOutsideRestoreTheTerminal) {
    // Waiting for a monitor key, running translated code, waiting in KEY.
    TempImage step(adder()), loop(running(false)), key(running(true));
    const struct {
        std::string arg, shown;
    } states[] = {{"\\" + step.path, "LIT      "}, {name_arg(loop.path), "r"}, {name_arg(key.path), "r"}};
    for (const auto& state : states) {
        for (int sig : {SIGTERM, SIGHUP, SIGINT}) {
            PtySession s(NORVEX_BINARY, {state.arg});
            ASSERT_TRUE(s.wait_for(state.shown)) << state.arg;
            EXPECT_FALSE(testing::same_modes(s.modes(), s.initial_modes())) << "raw while running";
            s.signal(sig);
            EXPECT_EQ(s.wait_exit(), 128 + sig) << state.arg << " " << sig;
            EXPECT_TRUE(testing::same_modes(s.modes(), s.initial_modes())) << state.arg << " " << sig;
        }
    }
}

TEST(Norvex, EveryOtherWayOutRestoresTheTerminal) {
    TempImage bye(adder()), exit_status(exit_request()), illegal_op(illegal()), prg(branch_out()),
        var(pop_past_memory()), align(misaligned_fetch());
    const struct {
        const char* what;
        std::vector<std::string> args;
        std::string shown;   // waited for before the key
        std::string key;     // "" for none
        int status;
    } ways[] = {
        {"BYE", {name_arg(bye.path)}, "", "", 0},
        {"ESC", {"\\" + bye.path}, "LIT      ", "\x1b", 0},
        {"exit request", {name_arg(exit_status.path)}, "", "", 0x2A},
        {"illegal opcode", {name_arg(illegal_op.path)}, "Illegal Opcode !!!\r\n", " ", 1},
        {"PC outside", {name_arg(prg.path)}, "GETPRGPTR - Error", " ", 1},
        {"pop outside", {name_arg(var.path)}, "GETVARPTR - Error", " ", 1},
        {"misaligned", {"+A", name_arg(align.path)}, "Address not Aligned\r\n", " ", 1},
        {"missing file", {"-A"}, "Missing zvK Image File Name\r\n", "k", 2},
        {"unreadable file", {name_arg("/tmp")}, "", "", 2},
        {"unusable range", {"+V20000000.0", name_arg(bye.path)}, "", "", 2},
    };
    for (const auto& way : ways) {
        PtySession s(NORVEX_BINARY, way.args);
        if (!way.shown.empty()) {
            ASSERT_TRUE(s.wait_for(way.shown)) << way.what << ": " << s.output();
            EXPECT_FALSE(testing::same_modes(s.modes(), s.initial_modes())) << way.what;
        }
        if (!way.key.empty()) s.send(way.key);
        EXPECT_EQ(s.wait_exit(), way.status) << way.what << ": " << s.output();
        EXPECT_TRUE(testing::same_modes(s.modes(), s.initial_modes())) << way.what;
    }
}

TEST(Norvex, UnreadableImageIsOneLineAndNonZero) {
    PtySession dir(NORVEX_BINARY, {"\"/tmp\""});
    EXPECT_EQ(dir.wait_exit(), 2);
    EXPECT_EQ(dir.output().rfind("Cannot read zvK Image File /tmp: ", 0), 0u) << dir.output();
}

}  // namespace
}  // namespace norvex
