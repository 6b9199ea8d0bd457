// Start-up display, trace line, fault reports and run control, byte for byte.
#include <gtest/gtest.h>

#include <cstdio>

#include "image/header.h"
#include "image/startup.h"
#include "monitor/startup_display.h"
#include "monitor/trace.h"
#include "tests/process_run.h"
#include "tests/rig.h"
#include "testing/script_console.h"

namespace norvex {
namespace {

using assembler::Assembler;
using testing::harvard_image;

struct Outcome {
    std::string output;
    int status;
};

// Runs `norvex <args>` in-process with the given keys; "%" in args stands
// for the image file's name, quoted (an absolute path begins with the slash
// of a trace prefix).
Outcome run_norvex(const std::vector<uint8_t>& image, std::string args, const std::string& keys = {}) {
    const testing::TempFile file(image);
    const size_t at = args.find('%');
    if (at != std::string::npos) args.replace(at, 1, '"' + file.path + '"');
    ScriptConsole console(keys);
    Machine m;
    m.console = &console;
    const int status = MAINLOOP(m, [&](Machine& mm) { STARTUP(mm, args, show_startup); });
    return {console.output(), status};
}

Outcome run_builtin(const std::vector<uint8_t>& image, const std::string& keys = {}) {
    testing::Rig r;
    r.console.add_keys(keys);
    const int status = r.run_as_process(image);
    return {r.output(), status};
}

// LIT 5, DUP, +, BYE.
std::vector<uint8_t> small_program() {
    Assembler a = harvard_image();
    a.lit(5);
    a.ops("DUP +");
    a.syscall(Service::BYE);
    return a.finish();
}

const char* const kFirstTraceLine =
    "\r\n\r\nS=20000F00:FFFFFFFF|FFFFFFFF|FFFFFFFF  R=20001000:00000000|00000000|00000000 "
    "\r\nIP=00000000 W=00000000 PC=00000050 04 00000005 LIT      ";

TEST(StartupDisplay, ShowsHeaderAndResolvedConfiguration) {
    const Outcome o = run_norvex(small_program(), "/%", "");
    const std::string expected =
        "\r\nNorvex by Tamrel"
        "\r\n============================"
        "\r\nHeader of zvk-File: "
        "\r\n00420000 4E 56 58 C0 00 00 00 00 00 00 00 00 50 00 00 00\r\n"
        "00420010 00 00 01 00 00 00 00 00 00 10 00 20 00 00 00 00\r\n"
        "00420020 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00\r\n"
        "00420030 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00\r\n"
        "00420040 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 20\r\n"
        "\r\nFlash   : $00000000 - $00010000"
        "\r\nRAM     : $20000000 - $00001000"
        "\r\nHarvard : 00000008"
        "\r\nAlign   : 00000000"
        "\r\nStart   : $00000050\r\n";
    EXPECT_EQ(o.output.substr(0, expected.size()), expected);
    EXPECT_EQ(o.output.substr(expected.size(), std::string(kFirstTraceLine).size()), kFirstTraceLine);
    EXPECT_EQ(o.status, kExitOk);
}

TEST(TraceLine, TraceModeShowsEveryInstructionAndTheByeAgain) {
    const Outcome o = run_norvex(small_program(), "/%");
    const std::string tail =
        "\r\n\r\nS=20000EF8:00000000|0000000A|FFFFFFFF  R=20001000:00000000|00000000|00000000 "
        "\r\nIP=00000000 W=00000000 PC=0000005C 3E          BYE      ";
    // LIT, DUP, +, LIT 0, SYSCALL: five lines before the instructions ran
    // and the last one repeated after BYE.
    size_t lines = 0;
    for (size_t at = o.output.find("\r\nIP="); at != std::string::npos; at = o.output.find("\r\nIP=", at + 1))
        ++lines;
    EXPECT_EQ(lines, 6u);
    ASSERT_GE(o.output.size(), tail.size());
    EXPECT_EQ(o.output.substr(o.output.size() - tail.size()), tail);
    EXPECT_EQ(o.status, kExitOk);
}

TEST(TraceLine, MnemonicColumn) {
    EXPECT_EQ(mnemonic_column(0x3E, 0x302), "EMIT    ");
    EXPECT_EQ(mnemonic_column(0x3E, 0x30C), "AT@     ");
    EXPECT_EQ(mnemonic_column(0x3E, 0x30E), "????????");
    EXPECT_EQ(mnemonic_column(0x3E, 0x500), "????????");
    EXPECT_EQ(mnemonic_column(0x3E, 0xFFFFFFFF), "????????");
    EXPECT_EQ(mnemonic_column(0x3E, 0x414), "FPAR!   ");
    EXPECT_EQ(mnemonic_column(0x1C, 0), "UM/MOD  ");
    EXPECT_EQ(mnemonic_column(0x40, 0), "????????");
}

TEST(SingleStep, KeysDriveTheMonitor) {
    // Backslash: trace and step from the first instruction. Any key steps,
    // CR runs free to the end.
    Outcome o = run_norvex(small_program(), "\\%", "xx\r");
    size_t lines = 0;
    for (size_t at = o.output.find("\r\nIP="); at != std::string::npos; at = o.output.find("\r\nIP=", at + 1))
        ++lines;
    EXPECT_EQ(lines, 3u);
    EXPECT_EQ(o.status, kExitOk);

    // ESC ends at once; so does the end of input.
    o = run_norvex(small_program(), "\\%", "\x1b");
    EXPECT_EQ(o.output.find("PC=00000055"), std::string::npos);
    o = run_norvex(small_program(), "\\%", "");
    EXPECT_EQ(o.status, kExitOk);
}

// BRANCH over a routine of three NOPs and EXIT (at 0x55), CALL it (at
// 0x59), then `after` at 0x5E, then BYE.
std::vector<uint8_t> call_program(Op after) {
    Assembler a = harvard_image();
    auto sub = a.label();
    auto go = a.label();
    a.branch(go);
    a.bind(sub);
    a.ops("NOP NOP NOP EXIT");
    a.bind(go);
    a.call(sub);
    a.op(after);
    a.syscall(Service::BYE);
    return a.finish();
}

TEST(SingleStep, StepOverACall) {
    // Keys: step the BRANCH, then 's' on the CALL: the next trace line is
    // the NOP after the call, with nothing shown for the routine.
    const Outcome o = run_norvex(call_program(Op::NOP), "\\%", "xs\x1b");
    const size_t call_line = o.output.find(" 00 FFFFFFF7 CALL     ");
    ASSERT_NE(call_line, std::string::npos) << o.output;
    const std::string after = o.output.substr(call_line);
    EXPECT_NE(after.find("PC=0000005E 3F          NOP      "), std::string::npos) << after;
    EXPECT_EQ(after.find("EXIT"), std::string::npos) << after;
}

TEST(SingleStep, RunUntilReturn) {
    // Step BRANCH, CALL, then 'u' inside the routine: next stop is the DUP.
    const Outcome o = run_norvex(call_program(Op::DUP), "\\%", "xxu\x1b");
    const size_t inside = o.output.find("PC=00000055 3F");
    ASSERT_NE(inside, std::string::npos) << o.output;
    const std::string after = o.output.substr(inside + 1);
    EXPECT_EQ(after.find("PC=00000056"), std::string::npos);
    EXPECT_NE(after.find("PC=0000005E 0A          DUP      "), std::string::npos) << after;
}

TEST(RunControl, DebugServiceSetsABreakOnPc) {
    Assembler a = harvard_image();
    auto target = a.label();
    a.lit(target);
    a.lit(DM_BRKPC);
    a.syscall(Service::DEBUG);
    a.ops("NOP NOP");
    a.bind(target);
    a.ops("NOP");
    a.syscall(Service::BYE);
    const Outcome o = run_builtin(a.finish(), "\r");
    // The break shows one trace line at the target, then CR runs free.
    EXPECT_EQ(o.output,
              "\r\n\r\nS=20000EFC:00000000|FFFFFFFF|FFFFFFFF  R=20001000:00000000|00000000|00000000 "
              "\r\nIP=00000000 W=00000000 PC=00000062 3F          NOP      ");
}

TEST(RunControl, PcBreakTakesPrecedenceOverIpBreak) {
    Assembler a = harvard_image();
    a.lit(0x1234);
    a.op(Op::FIPSTORE);
    a.lit(0x1234);
    a.lit(DM_BRKPC | DM_BRKIP);   // IP matches, PC never does
    a.syscall(Service::DEBUG);
    a.syscall(Service::BYE);
    EXPECT_EQ(run_builtin(a.finish()).output, "");
}

TEST(RunControl, HighModeBitsRunFree) {
    Assembler a = harvard_image();
    a.lit(0);
    a.lit(0xE0);   // bits 5 to 7 only
    a.syscall(Service::DEBUG);
    a.syscall(Service::BYE);
    const Outcome o = run_builtin(a.finish());
    EXPECT_EQ(o.output, "");
    EXPECT_EQ(o.status, kExitOk);
}

// LIT 0x12A, LIT 0x0100, DEBUG: the exit request, with BYE after it.
std::vector<uint8_t> exit_program(uint32_t mode) {
    Assembler a = harvard_image();
    a.lit(0x12A);
    a.lit(mode);
    a.syscall(Service::DEBUG);
    a.syscall(Service::BYE);
    return a.finish();
}

TEST(RunControl, ExitRequestEndsTheRunWithTheLowByteAsStatus) {
    const Outcome o = run_builtin(exit_program(0x0100));
    EXPECT_EQ(o.output, "");
    EXPECT_EQ(o.status, 0x2A);
    // Bit 8 with any others: still only the request; the run modes and the
    // break address stay as they were.
    testing::Rig run;
    run.load(exit_program(0x01FF));
    run.run();
    EXPECT_EQ(run.status, 0x2A);
    EXPECT_EQ(run.m.DBGMODE, DM_STOP);
    EXPECT_EQ(run.m.BREAKADR, 0u);
}

TEST(RunControl, ExitRequestInTraceModeShowsTheSyscallAgain) {
    const Outcome o = run_norvex(exit_program(0x0100), "/%");
    const std::string tail =
        "\r\n\r\nS=20000EF4:00000001|00000100|0000012A  R=20001000:00000000|00000000|00000000 "
        "\r\nIP=00000000 W=00000000 PC=0000005F 3E          DEBUG    ";
    ASSERT_GE(o.output.size(), tail.size());
    EXPECT_EQ(o.output.substr(o.output.size() - tail.size()), tail);
    EXPECT_EQ(o.status, 0x2A);
}

TEST(FaultReports, IllegalOpcode) {
    Assembler a = harvard_image();
    a.lit(7);
    a.byte(0x40);
    const Outcome o = run_builtin(a.finish(), "k");
    const std::string expected =
        "\r\n\r\n"
        "\r\nEAX:00000004 EBX:00440EFC ECX:00000000 EDX:00000000 EDI:00000000 ESI:00460055\r\n"
        "\r\nFlag:0000000F"
        "\r\n PRGPTR:00460000 PRGOFF:00000000 PRGSIZE:00010000"
        "\r\n VARPTR:00440000 VAROFF:20000000 VARSIZE:0000100C"
        "\r\n\r\nS=20000EFC:00000007|FFFFFFFF|FFFFFFFF  R=20001000:00000000|00000000|00000000 "
        "\r\nIP=00000000 W=00000000 PC=00000055 40          ???????? "
        "\r\n\r\nIllegal Opcode !!!\r\n";
    EXPECT_EQ(o.output, expected);
    EXPECT_EQ(o.status, kExitFault);
}

TEST(FaultReports, OpcodesWithoutOperationStopWithoutTouchingTheStacks) {
    for (Op op : {Op::CSTOREP, Op::WSTOREP, Op::STOREP, Op::CFETCHIO, Op::CSTOREIO, Op::WFETCHIO,
                  Op::WSTOREIO, Op::FETCHIO, Op::STOREIO, Op::TOCODE}) {
        Assembler a = harvard_image();
        a.lit(1);
        a.lit(2);
        a.op(op);
        const Outcome o = run_builtin(a.finish());
        const std::string name = kOpInfo[uint8_t(op)].mnemonic;
        EXPECT_NE(o.output.find("S=20000EF8:00000002|00000001|FFFFFFFF"), std::string::npos) << name;
        EXPECT_NE(o.output.find(" PC=0000005A "), std::string::npos) << name;
        EXPECT_NE(o.output.find((name + std::string(8 - name.size(), ' ') + " \r\n\r\nIllegal Opcode !!!\r\n")),
                  std::string::npos)
            << name;
    }
}

TEST(FaultReports, ServiceCodesWithoutAService) {
    struct Case {
        uint32_t code;
        const char* shown;
    } cases[] = {{0x0007, "????????"}, {0x0003, "IRQOFF  "}, {0x0500, "????????"},
                 {0x10000, "????????"}, {0xFFFFFFFF, "????????"}, {0x1107, "????????"},
                 {0x0102, "XRELOC  "}};
    for (const Case& c : cases) {
        Assembler a = harvard_image();
        a.syscall(c.code);
        const Outcome o = run_builtin(a.finish());
        char top[32];
        std::snprintf(top, sizeof top, "S=20000EFC:%08X", c.code);
        EXPECT_NE(o.output.find(top), std::string::npos) << c.code;
        EXPECT_NE(o.output.find(std::string("PC=00000055 3E          ") + c.shown + " \r\n\r\nIllegal Opcode !!!\r\n"),
                  std::string::npos)
            << o.output;
        EXPECT_EQ(o.status, kExitFault);
    }
}

TEST(FaultReports, MisalignedAccessRestoresBothCellsOfAnExtendedAddress) {
    Assembler a = harvard_image(0xD0);   // alignment checks on
    a.lit(0x11);
    a.lit(0x22);
    a.op(Op::FETCHX);
    const Outcome o = run_builtin(a.finish());
    EXPECT_NE(o.output.find("S=20000EF8:00000022|00000011|FFFFFFFF"), std::string::npos) << o.output;
    EXPECT_NE(o.output.find("PC=0000005A 36          @X       \r\n\r\nAddress not Aligned\r\n"), std::string::npos);
    EXPECT_NE(o.output.find("\r\nEAX:00000004 EBX:00440EF8"), std::string::npos);
}

TEST(FaultReports, AlignmentRules) {
    struct Case {
        Op op;
        uint32_t addr_low_bits;
        bool faults;
    } cases[] = {{Op::WFETCH, 2, false}, {Op::WFETCH, 1, true}, {Op::FETCH, 2, true},
                 {Op::FETCH, 0, false},  {Op::CFETCH, 3, false}, {Op::WSTORE, 2, false},
                 {Op::STORE, 1, true}};
    for (const Case& c : cases) {
        for (uint8_t flags : {uint8_t(0xC0), uint8_t(0xD0)}) {
            Assembler a = harvard_image(flags);
            a.lit(0);
            a.lit(testing::kVarBase + 0x100 + c.addr_low_bits);
            a.op(c.op);
            a.syscall(Service::BYE);
            const Outcome o = run_builtin(a.finish());
            const bool faulted = o.output.find("Address not Aligned") != std::string::npos;
            EXPECT_EQ(faulted, c.faults && flags == 0xD0) << kOpInfo[uint8_t(c.op)].mnemonic;
        }
    }
}

TEST(FaultReports, ExecuteOutsideMemoryIsATranslationFaultWithoutTraceLine) {
    Assembler a = harvard_image();
    a.lit(0);
    a.lit(DM_TRACE);
    a.syscall(Service::DEBUG);
    a.lit(0x30000000);
    a.op(Op::EXECUTE);
    const Outcome o = run_builtin(a.finish(), "k");
    const std::string tail =
        "EXECUTE  \r\nGETPRGPTR - Error"
        "\r\nEAX:30000000 EBX:00440EFC ECX:00000000 EDX:00000000 EDI:00000000 ESI:00460066\r\n"
        "\r\nFlag:0000000F"
        "\r\n PRGPTR:00460000 PRGOFF:00000000 PRGSIZE:00010000"
        "\r\n VARPTR:00440000 VAROFF:20000000 VARSIZE:0000100C";
    ASSERT_GE(o.output.size(), tail.size());
    EXPECT_EQ(o.output.substr(o.output.size() - tail.size()), tail);
    EXPECT_EQ(o.status, kExitFault);
}

// The trace line of a stop report can fault itself: here an image found by
// the image fuzzer (its stacks in program memory, then R at the end of
// variable memory) stops on an illegal opcode, and the trace line of that
// report reads R. The translation report follows and the run ends with the
// fault's status (the process once ended here with an uncaught exception).
TEST(FaultReports, AStopReportWhoseTraceLineFaultsEndsWithThatReport) {
    const std::vector<uint8_t> image = {
        0x4E, 0x56, 0x58, 0x80, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x50, 0x00, 0x00, 0x00,
        0x00, 0x00, 0x01, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x01, 0x20, 0x00, 0x00, 0x00, 0x00,
        0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00,
        0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00,
        0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x20,
        0x04, 0x06, 0x03, 0x00, 0x00, 0x3E, 0x04, 0x03, 0x00, 0x00, 0x00, 0x04, 0x04, 0x00, 0x00, 0x00,
        0x03, 0x00, 0x00, 0x00, 0x04, 0x09, 0x03, 0x00, 0x00, 0x3E, 0x04, 0x08, 0x03, 0x00, 0xFF, 0xFF,
        0x54, 0xE6, 0xE6, 0x82, 0x4A, 0x40, 0xFB, 0xE1, 0xFF, 0xFF, 0xFF, 0xF9, 0x0B, 0x03, 0x00, 0x00,
        0x3E, 0x04, 0x0A, 0x03, 0x00, 0x00, 0x3E, 0x04, 0x68, 0x00, 0x00, 0x00, 0x04, 0x02, 0x03, 0x00,
        0x00, 0x3E, 0x04, 0x69, 0x00, 0x00, 0x00, 0x04, 0x02, 0x03, 0x00, 0x00, 0x3E, 0x04, 0x04, 0x03,
        0x00, 0x00, 0x3E, 0x04, 0x03, 0x03, 0x00, 0x00, 0x3E, 0x04, 0x01, 0x03, 0x00, 0x00, 0x00, 0x00,
        0x04, 0x4A, 0x4A, 0x4A, 0x4A, 0x4A, 0x32, 0x4A, 0x4A, 0x4A, 0x4A, 0x4A, 0x4A, 0x4A, 0x4A, 0x4A,
        0x4A, 0x4A, 0x4A, 0x4A, 0x4A, 0x4A, 0x4A, 0x4A, 0x4A, 0x4A, 0x4A, 0x4A, 0x4A, 0x4A, 0x4A, 0x4A,
        0x4A, 0x4A, 0x4A, 0x4A, 0x4A, 0x4A, 0x4A, 0x4A, 0x4A, 0x4A, 0x4A, 0x4A, 0x4A, 0x4A, 0x4A, 0x4A,
        0x4A, 0x4A, 0x4A, 0x4A, 0x4A, 0x4A, 0x4A, 0x4A, 0x4A, 0x4A, 0x4A, 0x4A, 0x4A, 0x4A, 0x4A, 0x4A,
        0x01, 0x00, 0x00, 0x00, 0x3E};
    const Outcome o = run_norvex(image, "%", "ab");
    EXPECT_EQ(o.output.rfind("\r\n\r\n\r\nEAX:00000004 ", 0), 0u) << o.output;
    const std::string tail =
        "  R=2001000C:\r\nGETVARPTR - Error"
        "\r\nEAX:2001000C EBX:00000000 ECX:00000000 EDX:00000000 EDI:00000000 ESI:00000000\r\n"
        "\r\nFlag:00000007"
        "\r\n PRGPTR:00470000 PRGOFF:00000000 PRGSIZE:00010000"
        "\r\n VARPTR:00440000 VAROFF:20000000 VARSIZE:0001000C";
    ASSERT_GE(o.output.size(), tail.size()) << o.output;
    EXPECT_EQ(o.output.substr(o.output.size() - tail.size()), tail);
    EXPECT_EQ(o.status, kExitFault);
}

TEST(Bounds, RunningOffTheEndOfProgramMemory) {
    // A program of NOPs filling program memory up to its last byte.
    assembler::ImageHeader h;
    h.flags = 0xC0;
    h.px = 0x100;
    h.v0 = testing::kVarBase;
    h.vx = testing::kVarBase + testing::kVarSize;
    h.start = 80;
    Assembler a(0, h);
    while (a.here() < 0x100) a.op(Op::NOP);
    const Outcome o = run_builtin(a.finish());
    EXPECT_EQ(o.output.rfind("\r\nGETPRGPTR - Error\r\nEAX:00000100", 0), 0u) << o.output;
    EXPECT_EQ(o.status, kExitFault);
}

TEST(Bounds, BranchOutOfItsRegion) {
    Assembler a = harvard_image();
    a.op(Op::BRANCH);
    a.cell(0x20000);
    const Outcome o = run_builtin(a.finish());
    EXPECT_EQ(o.output.rfind("\r\nGETPRGPTR - Error\r\nEAX:00020055", 0), 0u) << o.output;
}

TEST(Bounds, StacksCannotLeaveTheirBlock) {
    // Popping past the guard: three cells of guard are readable, the fourth
    // is outside variable memory.
    Assembler pops = harvard_image();
    pops.lit(0x20001000);
    pops.op(Op::SPSTORE);
    pops.ops("DROP DROP DROP DROP");
    Outcome o = run_builtin(pops.finish());
    EXPECT_EQ(o.output.rfind("\r\nGETVARPTR - Error\r\nEAX:0000100C EBX:0044100C", 0), 0u) << o.output;

    // Pushing below the block.
    Assembler pushes = harvard_image();
    pushes.lit(0x20000004);
    pushes.op(Op::SPSTORE);
    pushes.ops("DUP DUP");
    o = run_builtin(pushes.finish());
    EXPECT_EQ(o.output.rfind("\r\nGETVARPTR - Error\r\nEAX:FFFFFFFC EBX:00440000", 0), 0u) << o.output;

    // An endless recursion ends in a report, not a host crash.
    Assembler deep = harvard_image();
    auto self = deep.label_here();
    deep.call(self);
    o = run_builtin(deep.finish());
    EXPECT_EQ(o.output.rfind("\r\nGETVARPTR - Error\r\nEAX:FFFFFFFC", 0), 0u) << o.output;
}

TEST(Bounds, BadExtendedAddress) {
    Assembler a = harvard_image();
    a.lit(0x12345678);
    a.lit(0);
    a.op(Op::CFETCHX);
    const Outcome o = run_builtin(a.finish());
    EXPECT_EQ(o.output.rfind("\r\nGETVARPTR - Error\r\nEAX:12345678", 0), 0u) << o.output;
}

TEST(Services, GetparHandsOutTheArgumentStringOnce) {
    Assembler a = harvard_image();
    a.syscall(Service::GETPAR);   // ( -- a 0 )
    a.op(Op::DROP);
    a.op(Op::DUP);
    a.lit(0);
    a.op(Op::CFETCHX);   // first character
    a.syscall(Service::GETPAR);
    testing::halt(a);
    testing::Rig run;
    run.load(a.finish(), "hello world");
    run.run();
    ASSERT_EQ(run.status, kExitOk) << run.output();
    EXPECT_EQ(run.ds(1), 0u);     // second GETPAR's ior
    EXPECT_EQ(run.ds(2), 0u);     // second GETPAR's address
    EXPECT_EQ(run.ds(3), uint32_t('h'));
    EXPECT_EQ(run.ds(4), 0x00400000u);
}

TEST(Services, DebugTakesTheLowByteAndAllOfTheAddress) {
    Assembler a = harvard_image();
    a.lit(0xDEADBEEF);
    a.lit(0x8000 | DM_STOP);   // a high bit that asks for nothing
    a.syscall(Service::DEBUG);
    testing::Rig run;
    run.load(a.finish());
    run.run();
    EXPECT_EQ(run.m.DBGMODE, DM_STOP);
    EXPECT_EQ(run.m.BREAKADR, 0xDEADBEEFu);
    EXPECT_EQ(run.ds(0), 0u);
}

TEST(Startup, MissingFileStop) {
    ScriptConsole console("k");
    Machine m;
    m.console = &console;
    const int status = MAINLOOP(m, [](Machine& mm) { STARTUP(mm, "+A /no/such/file"); });
    EXPECT_EQ(console.output(), "Missing zvK Image File Name\r\n");
    EXPECT_EQ(status, kExitStartup);
}

TEST(Startup, UnusableRangesAreReportedBeforeAnythingRuns) {
    for (const char* options : {"+V20000000.0 %", "+V0.FFFFFFFF %", "+P0.0 %"}) {
        const Outcome o = run_norvex(small_program(), options);
        EXPECT_EQ(o.output.rfind("Cannot allocate ", 0), 0u) << options << o.output;
        EXPECT_EQ(o.output.find("\r\n"), o.output.size() - 2) << "one line: " << o.output;
        EXPECT_EQ(o.status, kExitStartup);
    }
}

TEST(Startup, MemoryContentsAndRegisters) {
    // Shared layout (no PRGSEP, no HARVARD): the image lands at VAROFF.
    assembler::ImageHeader h;
    h.v0 = 0x1000;
    h.vx = 0x2000;
    h.start = 0x1000 + 80;
    Assembler a(0x1000, h);
    testing::halt(a);
    testing::Rig run;
    run.load(a.finish());
    const MemConf& c = run.m.mem;
    EXPECT_EQ(c.PRGPTR, c.VARPTR);
    EXPECT_EQ(c.PRGSIZE, 0x1000u);
    EXPECT_EQ(c.VARSIZE, 0x100Cu);
    EXPECT_EQ(run.m.cpu.R, 0x2000u);
    EXPECT_EQ(run.m.cpu.S, 0x1F00u);
    EXPECT_EQ(mem_load8(GETVARPTR(run.m, 0x1003)), 0x00);   // the header's flags byte
    EXPECT_EQ(mem_load8(GETVARPTR(run.m, 0x1FFF)), 0xFF);   // erased variable memory
    EXPECT_EQ(mem_load32(GETVARPTR(run.m, 0x2008, 4)), 0u);   // the guard
    run.run();
    EXPECT_EQ(run.status, kExitOk);
}

TEST(Startup, HarvardWithoutProgramMemoryFaultsOnTheFirstFetch) {
    assembler::ImageHeader h;
    h.flags = HF_HARVARD;
    h.v0 = 0x1000;
    h.vx = 0x2000;
    const Outcome o = run_builtin(Assembler(0, h).finish());
    EXPECT_EQ(o.output.rfind("\r\nGETPRGPTR - Error", 0), 0u) << o.output;
}

}  // namespace
}  // namespace norvex
