// What an image cannot get past: the run budget of tests and fuzzers, its
// stacks' blocks, the bounds on host memory and open files, and a full disk.
#include <gtest/gtest.h>

#include <functional>

#include <sys/resource.h>

#include "core/native/native.h"
#include "services/control_memory.h"
#include "services/error_numbers.h"
#include "tests/process_run.h"
#include "tests/rig.h"

namespace norvex::testing {
namespace {

using assembler::Assembler;

// LIT 0  begin  LIT 1 + BRANCH begin: counts its iterations on the stack.
std::vector<uint8_t> counting_loop() {
    Assembler a = harvard_image();
    a.lit(0);
    auto loop = a.label_here();
    a.lit(1);
    a.op(Op::PLUS);
    a.branch(loop);
    return a.finish();
}

// The rounds the loop has counted, wherever in the loop it stopped: right
// after LIT 1 (PC 90) the count is the second cell.
uint32_t rounds(Rig& r) { return r.m.cpu.PC == 90 ? r.ds(1) : r.ds(0); }

TEST(Budget, StopsAnEndlessLoopInEitherEngine) {
    // The interpreter spends one unit per instruction: LIT 0 and then 333
    // rounds of three instructions are exactly 1000.
    Rig interpreted;
    interpreted.m.native_enabled = false;
    interpreted.load(counting_loop());
    interpreted.m.budget = 1000;
    interpreted.run();
    EXPECT_EQ(interpreted.status, kExitOk);
    EXPECT_EQ(interpreted.m.budget, 0u);
    EXPECT_EQ(interpreted.m.cpu.PC, 85u);   // back at the loop's LIT
    EXPECT_EQ(rounds(interpreted), 333u);

    // Translated code spends one unit per block entered: at least one round
    // per unit, and never more instructions than three per unit.
    Rig native;
    native.load(counting_loop());
    native.m.budget = 1000;
    native.run();
    if (!native_available(native.m)) GTEST_SKIP() << "translated code runs on x86-64 only";
    EXPECT_EQ(native.status, kExitOk);
    EXPECT_EQ(native.m.budget, 0u);
    EXPECT_GT(rounds(native), 333u);
    EXPECT_LE(rounds(native), 1000u);
}

TEST(Budget, EndsTheMainLoopAsAStopDoesAndNeverChangesARunThatEndsByItself) {
    Rig whole;
    whole.m.budget = 5000;
    EXPECT_EQ(whole.run_as_process(counting_loop()), kExitOk);
    EXPECT_EQ(whole.m.budget, 0u);
    EXPECT_EQ(whole.console.output(), "");

    // A program that ends by itself ends the same way with a budget as
    // without one, and leaves the rest of its budget.
    for (uint32_t budget : {0u, 100000u}) {
        Rig r;
        r.load(text_image("5 DUP + 0 1 DEBUG"));
        r.m.budget = budget;
        r.run();
        EXPECT_EQ(r.status, kExitOk);
        EXPECT_EQ(r.ds(1), 10u);
        if (budget) {
            EXPECT_GT(r.m.budget, 0u);
        }
    }
}

TEST(Budget, HoldsWhenTheImageEndsItsDebugMode) {
    // Started in a debug mode, the image ends it with DEBUG and loops for
    // ever; the rest of that burst is free run, which must still count.
    Assembler a = harvard_image();
    a.lit(0);
    a.lit(0);
    a.syscall(Service::DEBUG);
    a.op(Op::DROP);
    auto loop = a.label_here();
    a.branch(loop);
    const std::vector<uint8_t> program = a.finish();
    for (const bool native : {false, true}) {
        Rig r;
        r.m.native_enabled = native;
        r.load(program);
        r.m.DBGMODE = DM_BRKPC;
        r.m.BREAKADR = 0xFFFF;
        r.m.budget = 1000;
        r.run(2000);
        EXPECT_EQ(r.status, kExitOk) << "native " << native;
        EXPECT_EQ(r.m.budget, 0u) << "native " << native;
    }
}

// Programs that grow or shrink a stack without end, in both engines: each
// ends in the translation-fault report of the first address outside the
// stack's block, never in a host crash.
TEST(Limits, EndlessStackGrowthEndsInAReportInEitherEngine) {
    struct Case {
        const char* what;
        std::function<void(Assembler&)> body;   // the loop's body
        const char* eax;
    };
    const Case cases[] = {
        {"CALL itself", [](Assembler& a) { a.call(a.label_here()); }, "FFFFFFFC"},
        {"EXECUTE itself",
         [](Assembler& a) {
             const uint32_t self = a.here();
             a.lit(self);
             a.op(Op::EXECUTE);
         },
         "FFFFFFFC"},
        {"LIT", [](Assembler& a) { a.lit(7); }, "FFFFFFFC"},
        {">R", [](Assembler& a) { a.ops("DUP >R"); }, "FFFFFFFC"},
        {"DROP", [](Assembler& a) { a.op(Op::DROP); }, "0000100C"},
        {"R>", [](Assembler& a) { a.ops("R> DROP"); }, "0000100C"},
    };
    for (const Case& c : cases) {
        for (bool native : {false, true}) {
            Assembler a = harvard_image();
            a.lit(1);
            auto loop = a.label_here();
            c.body(a);
            a.branch(loop);
            Rig r;
            r.m.native_enabled = native;
            r.load(a.finish());
            r.run();
            EXPECT_EQ(r.status, kExitFault) << c.what << " native " << native;
            EXPECT_EQ(r.output().rfind(std::string("\r\nGETVARPTR - Error\r\nEAX:") + c.eax, 0), 0u)
                << c.what << " native " << native << "\n" << r.output();
        }
    }
}

TEST(Limits, XallocAnswers7F07PastOneGibibyteOr4096Blocks) {
    // More than 1 GiB at once is refused before the host is asked.
    EXPECT_EQ(Rig("0x40000001 0 XALLOC").results(), (Cells{kNoHostMemory}));

    // 4096 small blocks, the 4097th refused; a freed one makes room for one.
    Assembler a = harvard_image();
    a.lit(4095);
    a.op(Op::TOR);
    auto loop = a.label_here();
    a.lit(16);
    a.lit(0);
    a.syscall(Service::XALLOC);   // ( ud -- xaddr 0 )
    a.ops("DROP DROP");
    a.lit(kVarBase);
    a.op(Op::STORE);   // the last block's address
    a.nbranch(loop);
    a.lit(16);
    a.lit(0);
    a.syscall(Service::XALLOC);   // refused: one cell
    a.lit(kVarBase);
    a.op(Op::FETCH);
    a.lit(0);
    a.syscall(Service::XFREE);
    a.lit(16);
    a.lit(0);
    a.syscall(Service::XALLOC);
    halt(a);
    Rig r;
    r.load(a.finish());
    r.run();
    ASSERT_EQ(r.status, kExitOk) << r.output();
    // Top first: DEBUG's 0, XALLOC's 0 0 xaddr, XFREE's 0, 0x7F07.
    EXPECT_EQ(r.ds(1), 0u);
    EXPECT_EQ(r.ds(2), 0u);
    EXPECT_EQ(r.ds(4), 0u);
    EXPECT_EQ(r.ds(5), kNoHostMemory);
    EXPECT_EQ(r.m.services.xblocks.size(), 4096u);
}

TEST(Limits, SixtyFourFilesOpenAtOnceThenIor4) {
    // /dev/null opened 65 times: the 65th answers 4 in one cell; closing one
    // lets the next open succeed.
    std::string program;
    for (int i = 0; i < 64; ++i) program += "0x20001000 0 0 FOPEN DROP 0x20001400 ! ";
    program += "0x20001000 0 0 FOPEN 0x20001400 @ FCLOSE 0x20001000 0 0 FOPEN SWAP DROP";
    Rig r(program);
    r.put_name(0x20001000, "/dev/null");
    EXPECT_EQ(r.results(), (Cells{0, 0, ERR_TOO_MANY_OPEN_FILES}));
    EXPECT_EQ(r.m.services.files.by_id.size(), 64u);
}

// The text that stores a NUL-terminated name at addr.
std::string store_name(uint32_t addr, const std::string& name) {
    std::string text;
    for (size_t i = 0; i <= name.size(); ++i)
        text += std::to_string(i < name.size() ? uint8_t(name[i]) : 0) + " " +
                std::to_string(addr + i) + " C! ";
    return text;
}

TEST(Limits, AFullDiskIsAnIorAndWhatTheImageWroteIsOnDisk) {
    // The norvex program writes all 64 KiB of its program memory to
    // /dev/full (ior 112, shown as EMIT 'p'), then to two files in halves,
    // closing one and leaving the other open, and ends with BYE.
    TempDir dir;
    const std::string ID = " 0x20001400 @ ", KEEP = " DROP 0x20001400 ! ";
    const std::string half1 = " 0 P>X DROP 0x8000", half2 = " 0x8000 P>X DROP 0x8000";
    const std::string program =
        store_name(0x20001000, "/dev/full") + store_name(0x20001100, "closed.bin") +
        store_name(0x20001200, "open.bin") +
        "0x20001000 0 0x40000000 FOPEN" + KEEP + "0 P>X DROP 0x10000" + ID + "FWRITE EMIT" + ID +
        "FCLOSE '0' + EMIT" +
        " 0x20001100 0 FCREATE" + KEEP + half1 + ID + "FWRITE" + half2 + ID + "FWRITE + '0' + EMIT" +
        ID + "FCLOSE '0' + EMIT" +
        " 0x20001200 0 FCREATE" + KEEP + half1 + ID + "FWRITE" + half2 + ID + "FWRITE + '0' + EMIT";
    const ProgramRun run = run_norvex(dir, program);
    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(run.output, "p0000");
    // Program memory as the image saw it: the image, then erased bytes.
    std::string expected(0x10000, '\xFF');
    const std::vector<uint8_t> bytes = text_image(program + " BYE");
    expected.replace(0, bytes.size(), reinterpret_cast<const char*>(bytes.data()), bytes.size());
    for (const char* name : {"closed.bin", "open.bin"}) {
        const std::string written = slurp(dir / name);
        EXPECT_EQ(written.size(), expected.size()) << name;
        EXPECT_TRUE(written == expected) << name;
    }
}

TEST(Limits, AFileSizeLimitIsAnIorNotTheEndOfTheProgram) {
    // Under a host limit of 16 KiB per file, writing 64 KiB answers 223 (shown
    // as the byte EMIT sends), the image goes on to BYE, and the file holds
    // what fitted.
    TempDir dir;
    const std::string program = store_name(0x20001000, "big.bin") +
                                "0x20001000 0 FCREATE DROP 0x20001400 !"
                                " 0 P>X DROP 0x10000 0x20001400 @ FWRITE EMIT";
    struct rlimit saved;
    ASSERT_EQ(::getrlimit(RLIMIT_FSIZE, &saved), 0);
    struct rlimit small = saved;
    small.rlim_cur = 16384;
    ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &small), 0);
    const ProgramRun run = run_norvex(dir, program);
    ::setrlimit(RLIMIT_FSIZE, &saved);
    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(run.output, std::string(1, char(ERR_FILE_TOO_LARGE)));
    EXPECT_EQ(slurp(dir / "big.bin").size(), 16384u);
}

}  // namespace
}  // namespace norvex::testing
