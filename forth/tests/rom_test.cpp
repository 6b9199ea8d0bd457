// The real norvex-rom: start-up, the argument string, errors and recovery,
// source files, piped input, the code the compiler makes, saving, and the
// Forth-2012 test files.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>
#include <string>

#include "forth/tests/rom_process.h"
#include "forth/tests/rom_terminal.h"
#include "tests/pty_session.h"

namespace norvex::forth {
namespace {

// Into a pipe a line ends with LF; on a terminal with CR LF.
const std::string kBanner = "Norvex Forth 1.0\n";
const std::string kTermBanner = "Norvex Forth 1.0\r\n";

ProcessResult rom(const std::string& input, const std::vector<std::string>& args = {},
                  const std::string& cwd = {}) {
    return run_process(NORVEX_ROM_BIN, args, input, cwd);
}

bool contains(const std::string& text, const std::string& part) {
    return text.find(part) != std::string::npos;
}

size_t count(const std::string& text, const std::string& part) {
    size_t n = 0;
    for (size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) ++n;
    return n;
}

// --- Start-up ---------------------------------------------------------------

TEST(RomStart, VersionLineThenLeavesAtTheEndOfInput) {
    const ProcessResult r = rom("");
    EXPECT_EQ(r.output, kBanner);
    EXPECT_EQ(r.status, 0);
}

TEST(RomStart, ArgumentStringIsInterpretedBeforeTheTerminal) {
    // Without BYE the system goes on to the terminal; the piped line runs after.
    ProcessResult r = rom("4 .\n", {"2", "3", "+", "."});
    EXPECT_EQ(r.output, kBanner + "5  ok\n4 . 4  ok\n");
    r = rom("9 .\n", {": sq dup * ; 7 sq . bye"});
    EXPECT_EQ(r.output, kBanner + "49 ");
    EXPECT_EQ(r.status, 0);
}

TEST(RomStart, ArgumentStringLongerThanTheTextBuffer) {
    // Far past the 128-byte text buffer, with words straddling its end.
    std::string args = ": total 0";
    for (int k = 1; k <= 60; ++k) args.append(" ").append(std::to_string(k)).append(" +");
    args += " ; total . variable filler 123456789 filler ! filler @ . bye";
    ASSERT_GT(args.size(), 300u);
    const ProcessResult r = rom("", {args});
    EXPECT_EQ(r.output, kBanner + "1830 123456789 ");
    // An error in it is reported and ends the run: the piped line never runs.
    const ProcessResult e = rom("1 .\n", {std::string(200, ' ') + "nonsense"});
    EXPECT_EQ(e.output, kBanner + "\nnonsense: undefined word\n");
    EXPECT_EQ(e.status, 1);
}

// --- Errors -----------------------------------------------------------------

TEST(RomErrors, OnTheTerminalTheMessageNamesTheWordAndTheSessionGoesOn) {
    RomTerminal t;
    ASSERT_TRUE(t.line("1 2 frob 3", "1 2 frob 3 \r\nfrob: undefined word\r\n")) << t.s.output();
    ASSERT_TRUE(t.line("depth .", "depth . 0  ok\r\n")) << t.s.output();   // the stacks were reset
    // A definition that failed stays hidden.
    ASSERT_TRUE(t.line(": bad 1 nosuch 2 ;", "nosuch: undefined word\r\n")) << t.s.output();
    ASSERT_TRUE(t.line("bad", "bad \r\nbad: undefined word\r\n")) << t.s.output();
    ASSERT_TRUE(t.line(": fill 20000 0 do i loop ; fill", "fill: stack overflow\r\n")) << t.s.output();
    ASSERT_TRUE(t.line("depth 1 .", "depth 1 . 1  ok\r\n")) << t.s.output();
    EXPECT_EQ(t.leave(), 0);
}

TEST(RomErrors, AnErrorEndsAScriptWithStatus1) {
    // Piped keys: the message, then the process ends; the next line never runs.
    ProcessResult r = rom("1 2 frob 3\n4 .\n");
    EXPECT_EQ(r.output, kBanner + "1 2 frob 3 \nfrob: undefined word\n");
    EXPECT_EQ(r.status, 1);
    // The end of the input and BYE end it with 0; (BYE) with the status given.
    EXPECT_EQ(rom("1 .\n").status, 0);
    EXPECT_EQ(rom("", {"1 . bye 2 ."}).status, 0);
    r = rom("", {"1 . 300 (bye) 2 ."});
    EXPECT_EQ(r.output, kBanner + "1 ");
    EXPECT_EQ(r.status, 300 & 0xFF);
    // ABORT says nothing but still fails; an error CATCH takes is no error.
    r = rom("", {"abort"});
    EXPECT_EQ(r.output, kBanner);
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(rom("", {"' abort catch . bye"}).status, 0);
}

TEST(RomErrors, StandardConditionsHaveTheirTexts) {
    const struct {
        const char* line;
        const char* message;
    } errors[] = {
        {"1 0 /", "/: division by zero"},
        {"drop", "drop: stack underflow"},
        {": w 1 abort\" went wrong\" ; w", "w: went wrong"},
        {"42 throw", "throw: error 42"},
        {": t ['] 1+ 99 [ 7 ] ;", ";: control structure mismatch"},
        {"' nothing-such", "nothing-such: undefined word"},
        {"5 then", "then: interpreting a compile-only word"},
        {"1 >r", ">r: interpreting a compile-only word"},
    };
    for (const auto& e : errors) {
        const ProcessResult r = rom(std::string(e.line) + "\n");
        EXPECT_EQ(r.output, kBanner + e.line + " \n" + e.message + "\n");
        EXPECT_EQ(r.status, 1) << e.line;
    }
}

// --- Source files -----------------------------------------------------------

TEST(RomFiles, NestedIncludeReportsTheFileAndLine) {
    TempDir dir;
    dir.write("a.fs", ": from-a 1 ;\ninclude lib/b.fs\n: after-b 3 ;\n");
    dir.write("lib/b.fs", ": from-b 2 ;\n\\ a comment\n  from-a from-b frob\n: never 4 ;\n");
    const ProcessResult r = rom("include a.fs\nfrom-a from-b + .\nafter-b\n", {}, dir.path);
    EXPECT_EQ(r.output, kBanner + "include a.fs \nlib/b.fs:3: frob: undefined word\n");
    EXPECT_EQ(r.status, 1);
    // On the terminal the session goes on, with what was defined before the error.
    RomTerminal t;
    ASSERT_TRUE(t.line("s\" " + dir.path + "/a.fs\" included", "/lib/b.fs:3: frob: undefined word\r\n"))
        << t.s.output();
    ASSERT_TRUE(t.line("from-a from-b + .", " 3  ok\r\n")) << t.s.output();
    ASSERT_TRUE(t.line("after-b", "after-b: undefined word")) << t.s.output();
    EXPECT_EQ(t.leave(), 0);
}

TEST(RomFiles, MissingFilesAreNamed) {
    TempDir dir;
    dir.write("a.fs", "1 .\ninclude no/such/file.fs\n2 .\n");
    ProcessResult r = rom("include missing.fs\n", {}, dir.path);
    EXPECT_EQ(r.output, kBanner + "include missing.fs \nmissing.fs: file not found\n");
    r = rom("include a.fs\n", {}, dir.path);
    EXPECT_EQ(r.output, kBanner + "include a.fs 1 \na.fs:2: no/such/file.fs: path not found\n");
}

TEST(RomFiles, RequireReadsAFileOnce) {
    TempDir dir;
    dir.write("count.fs", "1 loads +!\n");
    const ProcessResult r = rom(
        "variable loads\nrequire count.fs require count.fs s\" count.fs\" required loads @ .\n"
        "include count.fs loads @ .\n", {}, dir.path);
    EXPECT_TRUE(contains(r.output, "loads @ . 1  ok")) << r.output;
    EXPECT_TRUE(contains(r.output, "include count.fs loads @ . 2  ok")) << r.output;
}

TEST(RomFiles, LinesSourceAndRefill) {
    TempDir dir;
    // CR LF line ends, a long line, a comment over two lines, SOURCE-ID, REFILL.
    std::string longline = ": long";
    while (longline.size() < 900) longline += " 1 drop";
    dir.write("f.fs", "1 .\r\n( two\r\nlines ) 2 .\r\n" + longline + " 3 ;\r\nlong .\r\n"
                      "source-id 0> .\r\n: r refill ; r 5 .\r\n6 . .");
    const ProcessResult r = rom("", {"include f.fs source-id . bye"}, dir.path);
    EXPECT_EQ(r.output, kBanner + "1 2 3 -1 6 -1 -1 ");
}

TEST(RomFiles, IncludeInsideADefinitionAndEvaluate) {
    TempDir dir;
    dir.write("n.fs", "5\n");
    const ProcessResult r =
        rom("", {": five s\" n.fs\" included ; five . s\" 6 7 +\" evaluate . bye"}, dir.path);
    EXPECT_EQ(r.output, kBanner + "5 13 ");
}

TEST(RomFiles, IncludedLooksBesideTheIncludingFileFirst) {
    TempDir dir;
    dir.write("lib/a.fs", "include b.fs\nrequire b.fs\n");
    dir.write("lib/b.fs", "1 loads +! .( beside )\n");
    dir.write("b.fs", ".( current )\n");
    dir.write("lib/c.fs", "include b.fs include lib/b.fs\n");
    ProcessResult r = rom("", {"variable loads include lib/a.fs require lib/b.fs loads @ . include b.fs bye"},
                          dir.path);
    EXPECT_EQ(r.output, kBanner + "beside 1 current ");
    // A name that is not beside the file is looked for in the current directory.
    std::filesystem::rename(dir.path + "/lib/b.fs", dir.path + "/lib/b2.fs");
    r = rom("", {"include lib/a.fs bye"}, dir.path);
    EXPECT_EQ(r.output, kBanner + "current ");
}

TEST(RomFiles, LinesUpTo64KiBAreReadWholeAndLongerOnesAreErrors) {
    TempDir dir;
    // A definition on one long line, a comment whose end would run as code
    // if the line were split, and an error after them on the right line.
    std::string definition = ": long";
    while (definition.size() < 65000) definition += " 1 drop";
    const std::string comment = "\\ " + std::string(65536 - 10, 'x') + " 9 . 9 .";
    ASSERT_EQ(comment.size(), 65536u);
    dir.write("f.fs", "1 .\n" + definition + " 2 ;\nlong .\r\n" + comment + "\n3 .\nfrob\n");
    ProcessResult r = rom("", {"include f.fs"}, dir.path);
    EXPECT_EQ(r.output, kBanner + "1 2 3 \nf.fs:6: frob: undefined word\n");
    // One character more is an error that names the file and the line.
    dir.write("g.fs", "1 .\n" + comment + "x\n2 .\n");
    r = rom("", {"include g.fs"}, dir.path);
    EXPECT_EQ(r.output, kBanner + "1 \ng.fs:2: line too long\n");
    EXPECT_EQ(r.status, 1);
    // Piped keys too.
    r = rom("1 .\n" + comment + "\n2 .\n" + comment + "x\n3 .\n");
    EXPECT_NE(r.output.find(" 9 . 9 .  ok\n"), std::string::npos);   // the echo, then nothing printed
    EXPECT_TRUE(r.output.ends_with(" 2  ok\n" + comment + "x \nline too long\n")) << r.output.substr(0, 100);
    EXPECT_EQ(r.status, 1);
}

TEST(RomFiles, ReadLineTakesALineThatFillsTheBufferWhole) {
    // Five characters and CR LF into a buffer of five: one line, then the next.
    TempDir dir;
    dir.write("r.txt", "abcde\r\nfg\r\n");
    const ProcessResult r = rom("", {"s\" r.txt\" r/o open-file throw value f create b 7 allot "
                                     ": rl b 5 f read-line throw . . ; rl rl rl bye"}, dir.path);
    EXPECT_EQ(r.output, kBanner + "-1 5 -1 2 0 0 ");
}

// --- Scripts ----------------------------------------------------------------------

TEST(RomScripts, AFileNamedFirstRunsWithTheRestAsItsArguments) {
    TempDir dir;
    const std::string script = dir.write("s.fs", "#!/usr/bin/env norvex-rom\n"
                                                 ".( args=) arguments type cr\n"
                                                 "next-arg type space next-arg type space next-arg nip . bye\n");
    ProcessResult r = rom("", {"s.fs", "a", "bc"}, dir.path);
    EXPECT_EQ(r.output, "args=a bc\na bc 0 ");   // no version line
    EXPECT_EQ(r.status, 0);
    // Run by the shell through its first line.
    std::filesystem::permissions(script, std::filesystem::perms::owner_exec, std::filesystem::perm_options::add);
    const std::string bin = std::filesystem::path(NORVEX_ROM_BIN).parent_path();
    r = run_process("/bin/sh", {"-c", "PATH=" + bin + ":$PATH ./s.fs x"}, "", dir.path);
    EXPECT_EQ(r.output, "args=x\nx  0 ");
    EXPECT_EQ(r.status, 0);
}

TEST(RomScripts, AWordComesBeforeAFileOfTheSameName) {
    TempDir dir;
    dir.write("cr", ".( file) bye\n");
    dir.write("lib/x.fs", "");
    EXPECT_EQ(rom("", {"cr .( word) bye"}, dir.path).output, kBanner + "\nword");
    // A directory is no file to run.
    const ProcessResult r = rom("", {"lib"}, dir.path);
    EXPECT_EQ(r.output, kBanner + "\nlib: undefined word\n");
    EXPECT_EQ(r.status, 1);
}

TEST(RomScripts, AnErrorInAScriptEndsItWhereItHappened) {
    TempDir dir;
    dir.write("e.fs", "1 .\n\\ a comment\n  2 frob 3 .\n4 .\n");
    const ProcessResult r = rom("5 .\n", {"e.fs"}, dir.path);
    EXPECT_EQ(r.output, "1 \ne.fs:3: frob: undefined word\n");
    EXPECT_EQ(r.status, 1);
    // Without BYE a script goes on to the keys, as the argument text does.
    dir.write("k.fs", ": sq dup * ;\n");
    EXPECT_EQ(rom("7 sq .\n", {"k.fs"}, dir.path).output, "7 sq . 49  ok\n");
}

// --- The terminal -------------------------------------------------------------

TEST(RomInput, BackspaceAndLineEnds) {
    // BS and DEL take back a key and echo as BS, blank, BS; CR LF is one line end.
    const ProcessResult r = rom("12\b3 .\r\n45\x7f" "6 .\r\n\n7 .\r");
    EXPECT_EQ(r.output, kBanner + "12\b \b3 . 13  ok\n45\b \b6 . 46  ok\n  ok\n7 . 7  ok\n");
}

TEST(RomInput, CtrlDOnAnEmptyLineLeaves) {
    ProcessResult r = rom("1 .\n\x04" "2 .\n");
    EXPECT_EQ(r.output, kBanner + "1 . 1  ok\n");
    EXPECT_EQ(r.status, 0);
    // Within a line it ends the line; the end of input then leaves.
    r = rom("3 .\x04");
    EXPECT_EQ(r.output, kBanner + "3 . 3  ok\n");
}

TEST(RomInput, TerminalEchoesAndEditsAndCtrlDLeaves) {
    testing::PtySession s(NORVEX_ROM_BIN, {});
    ASSERT_TRUE(s.wait_for(kTermBanner)) << s.output();
    s.send("6 7 x\x7f* .\r");   // typed keys, a rubout, Enter as CR
    ASSERT_TRUE(s.wait_for("6 7 x\b \b* . 42  ok\r\n")) << s.output();
    s.send("\x04");
    EXPECT_EQ(s.wait_exit(), 0);
    EXPECT_TRUE(testing::same_modes(s.modes(), s.initial_modes()));
}

TEST(RomInput, TheLineEditorMovesInsertsDeletesAndRecalls) {
    testing::PtySession s(NORVEX_ROM_BIN, {});
    ASSERT_TRUE(s.wait_for(kTermBanner)) << s.output();
    // Two left, insert, two right, go on typing.
    s.send("1 3 +\x1b[D\x1b[D2\x1b[C\x1b[C .\r");
    ASSERT_TRUE(s.wait_for(" 33  ok\r\n")) << s.output();
    // Up brings the line back; Home, Delete and End edit it.
    s.send("\x1b[A\x1b[H\x1b[3~7\x1b[F\r");
    ASSERT_TRUE(s.wait_for(" 39  ok\r\n")) << s.output();
    // Ctrl-U takes back everything before the cursor, Ctrl-K everything after it.
    s.send("junk\x15" "5 . junk\x02\x02\x02\x02\x0b\r");
    ASSERT_TRUE(s.wait_for(" 5  ok\r\n")) << s.output();
    // Down past the newest line gives back the line being typed.
    s.send("8 .\x1b[A\x1b[B\r");
    ASSERT_TRUE(s.wait_for(" 8  ok\r\n")) << s.output();
    s.send("\x04");
    EXPECT_EQ(s.wait_exit(), 0);
    EXPECT_EQ(s.output().find("[D"), std::string::npos) << s.output();
}

TEST(RomInput, TheTerminalTakesLinesLongerThanAKilobyte) {
    RomTerminal t;
    std::string line = "\\";
    while (line.size() < 1500) line += " x";
    for (size_t at = 0; at < line.size(); at += 500) t.s.send(line.substr(at, 500));
    ASSERT_TRUE(t.line(" 5 .", " x 5 .  ok\r\n")) << t.s.output().substr(t.s.output().size() - 50);   // a comment
    EXPECT_EQ(t.leave(), 0);
}

TEST(RomInput, PipedKeysStayPlainOnATerminalScreen) {
    // Standard input a file, standard output a terminal: ACCEPT does not edit,
    // so the escape sequence is part of the line.
    TempDir dir;
    const std::string keys = dir.write("keys.txt", "1 2\x1b[D+ .\n");
    testing::PtySession s(NORVEX_ROM_BIN, {}, keys);
    EXPECT_EQ(s.wait_exit(), 1);
    // The output is the terminal: its lines end with CR LF (to which the
    // terminal, not raw with keys from a file, adds a CR of its own).
    EXPECT_NE(s.output().find("undefined word\r\r\n"), std::string::npos) << s.output();
}

TEST(RomOutput, LinesIntoAPipeOrAFileEndWithLF) {
    ProcessResult r = rom("", {"1 . cr s\\\" a\\nb\\mc\" type bye"});
    EXPECT_EQ(r.output, kBanner + "1 \na\nb\r\nc");
    TempDir dir;
    r = run_process("/bin/sh", {"-c", std::string(NORVEX_ROM_BIN) + " '2 . cr bye' > out.txt"}, "", dir.path);
    EXPECT_EQ(dir.read("out.txt"), kBanner + "2 \n");
}

TEST(RomInput, AcceptReadsALine) {
    const ProcessResult r = rom(": get pad 20 accept pad swap type ; get\nhello\n");
    EXPECT_EQ(r.output, kBanner + ": get pad 20 accept pad swap type ; get hello hello ok\n");
}

// --- Code generation --------------------------------------------------------

// Compiles definitions and prints the bytes of each word's code.
std::string code_of(const std::string& definitions, const std::string& word, int n) {
    const ProcessResult r = rom("", {": bytes bounds do i c@p . loop ; " + definitions + " ' " + word +
                                     " " + std::to_string(n) + " hex bytes bye"});
    return r.output.substr(kBanner.size());
}

TEST(RomCode, PrimitivesInlineLiteralsFoldCallsInTailPositionBranch) {
    EXPECT_EQ(code_of(": sq dup * ;", "sq", 4), "A 1B 9 5 ");
    EXPECT_EQ(code_of(": k 3 cells 1 + ;", "k", 6), "4 D 0 0 0 5 ");
    EXPECT_EQ(code_of(": k 2 3 lshift invert ;", "k", 6), "4 EF FF FF FF 5 ");
    EXPECT_EQ(code_of(": a ; : b a ;", "b", 5), "1 F6 FF FF FF ");
    EXPECT_EQ(code_of(": a ; : b a 1 ;", "b", 11), "0 F6 FF FF FF 4 1 0 0 0 5 ");
    EXPECT_EQ(code_of("100 constant c : b c 1 + ;", "b", 6), "4 65 0 0 0 5 ");
    // EXECUTE checks the stacks first (26 bytes: each pointer against its
    // limit, read from program memory, each with a branch of its own), and
    // in tail position becomes >R EXIT.
    std::istringstream execute(code_of(": b execute ;", "b", 28));
    std::vector<std::string> ops(std::istream_iterator<std::string>{execute}, {});
    ASSERT_EQ(ops.size(), 28u);
    for (const auto& [at, op] : std::vector<std::pair<size_t, std::string>>{
             {0, "4"}, {5, "2A"}, {6, "7"}, {7, "1E"}, {8, "2"},
             {13, "4"}, {18, "2A"}, {19, "D"}, {20, "1E"}, {21, "2"}, {26, "F"}, {27, "5"}})
        EXPECT_EQ(ops[at], op) << "byte " << at;
    // A variable is its address as a literal.
    const ProcessResult r = rom("", {"variable v : b v @ ; ' b c@p . ' b 1+ @p ' v >body = . ' b 5 + c@p . bye"});
    EXPECT_EQ(r.output, kBanner + "4 -1 36 ");
}

TEST(RomCode, ControlFlowAndLoops) {
    EXPECT_EQ(code_of(": c if 1 else 2 then ;", "c", 21),
              "2 A 0 0 0 4 1 0 0 0 1 5 0 0 0 4 2 0 0 0 5 ");
    // begin dup while 1- repeat: DUP 0BRANCH 1 - BRANCH EXIT
    EXPECT_EQ(code_of(": w begin dup while 1- repeat ;", "w", 18),
              "A 2 B 0 0 0 4 1 0 0 0 17 1 EF FF FF FF 5 ");
    // do: SWAP LIT -1 + DUP >R SWAP - >R; i; NBRANCH back; RDROP
    EXPECT_EQ(code_of(": l 0 do i loop ;", "l", 30),
              "4 0 0 0 0 C 4 FF FF FF FF 16 A F C 17 F 10 11 B 17 C F 3 F5 FF FF FF 12 5 ");
    // With both bounds literal: LIT limit-1 >R LIT limit-1-start >R.
    EXPECT_EQ(code_of(": l 10 3 do loop ;", "l", 19), "4 9 0 0 0 F 4 6 0 0 0 F 3 FB FF FF FF 12 5 ");
}

TEST(RomCode, PlusLoopWithAKnownStep) {
    // R> LIT n - >R FW@ 0BRANCH back: the borrow of the count says when to leave.
    EXPECT_EQ(code_of(": l 10 0 do 4 +loop ;", "l", 28),
              "4 9 0 0 0 F 4 9 0 0 0 F 10 4 4 0 0 0 17 F 3A 2 F2 FF FF FF 12 12 ");
    // A negative step adds its size and leaves on the carry.
    EXPECT_EQ(code_of(": l 0 10 do -4 +loop ;", "l", 18), "4 FF FF FF FF F 4 F5 FF FF FF F 10 4 4 0 0 0 ");
    const ProcessResult r = rom("", {": a 10 0 do i . 3 +loop ; : b 0 10 do i . -3 +loop ; "
                                     ": c 2 -1 do i . 2 +loop ; : d 0 -1 0 do 1+ $1000000 +loop . ; "
                                     ": e 0 $7fffffff $80000000 do 1+ $40000000 +loop . ; "
                                     ": f 0 -5 5 do 1+ -1 +loop . ; a b c d e f bye"});
    EXPECT_EQ(r.output, kBanner + "0 3 6 9 10 7 4 1 -1 1 256 4 11 ");
}

TEST(RomCode, RecursionStopsBeforeTheReturnStackOverflows) {
    // The return stack has 128 cells; RECURSE checks that room is left and
    // throws -5 instead of running into the data stack.
    const std::string deep = "variable d 0 d ! 7 8 : deep 1 d +! recurse 1 ; ";
    ProcessResult r = rom("", {deep + "deep"});
    EXPECT_EQ(r.output, kBanner + "\ndeep: return stack overflow\n");
    r = rom("", {deep + "' deep catch . depth . d @ 50 > . bye"});
    EXPECT_EQ(r.output, kBanner + "-5 2 -1 ");
    const ProcessResult fib =
        rom("", {": fib dup 2 < if drop 1 else dup 1- recurse swap 2 - recurse + then ; 25 fib . bye"});
    EXPECT_EQ(fib.output, kBanner + "121393 ");
}

TEST(RomCode, LoopsWithLiteralBoundsRunAsBefore) {
    const ProcessResult r = rom("", {": a 0 5 0 do i + loop . ; : b 0 -2 3 do 1+ -1 +loop . ; "
                                     ": c 0 7 7 ?do 1+ loop . ; a b c bye"});
    EXPECT_EQ(r.output, kBanner + "10 6 0 ");
}

TEST(RomCode, DoesAndCreate) {
    // A CREATEd word is LIT addr EXIT; DOES> turns the EXIT into a branch.
    const ProcessResult r = rom("", {": k create , does> @ 1+ ; 41 k x  x .  ' x >body @ .  "
                                     "' x 5 + c@p .  create y  ' y 5 + c@p . bye"});
    EXPECT_EQ(r.output, kBanner + "42 41 1 5 ");
}

// --- Saving -------------------------------------------------------------------

TEST(RomSave, SavedSystemStartsWithItsWords) {
    TempDir dir;
    const ProcessResult s = rom("", {": saved-word 6 * ; variable keep 77 keep ! "
                                     "s\" saved.zvk\" save-system bye"}, dir.path);
    EXPECT_EQ(s.output, kBanner);
    ASSERT_TRUE(std::filesystem::exists(dir.path + "/saved.zvk"));
    const ProcessResult r = run_process(NORVEX_BIN, {"saved.zvk", "7 saved-word . keep @ . bye"}, "", dir.path);
    EXPECT_EQ(r.output, kBanner + "42 77 ");
}

TEST(RomSave, TheBuiltInImageIsTheSameEveryTime) {
    // The build compiles the system with the kernel and saves it; doing that
    // again gives the same bytes.
    TempDir dir;
    const std::string out = dir.path + "/again.zvk";
    const ProcessResult r = run_process(
        NORVEX_BIN, {"\"" FORTH_KERNEL_IMAGE "\"", "include " FORTH_OPCODES " include main.fs s\" " + out + "\" save-system bye"}, "",
        FORTH_SOURCE_DIR "/system");
    EXPECT_EQ(r.output, kBanner);
    std::ifstream a(FORTH_IMAGE, std::ios::binary), b(out, std::ios::binary);
    const std::string built{std::istreambuf_iterator<char>(a), {}}, again{std::istreambuf_iterator<char>(b), {}};
    EXPECT_GT(built.size(), 80u);
    EXPECT_TRUE(built == again);
}

TEST(RomSave, TurnkeyImageRunsItsWordWithTheArguments) {
    TempDir dir;
    const ProcessResult s = rom("", {": hello .\" args=\" arguments type cr ; "
                                     "' hello s\" hello.zvk\" turnkey "
                                     ": boom 1 0 / ; ' boom s\" boom.zvk\" turnkey  2 3 + . bye"},
                                dir.path);
    EXPECT_EQ(s.output, kBanner + "5 ");   // the system itself goes on
    ProcessResult r = run_process(NORVEX_BIN, {"hello.zvk", "a", "b  c"}, "", dir.path);
    EXPECT_EQ(r.output, "args=a b  c\n");
    EXPECT_EQ(r.status, 0);
    r = run_process(NORVEX_BIN, {"boom.zvk"}, "1 .\n", dir.path);
    EXPECT_EQ(r.output, "\ndivision by zero\n");
    EXPECT_EQ(r.status, 1);
}

TEST(RomSave, SavedSystemKeepsWordListsAndStartsWithAnEmptyHeap) {
    TempDir dir;
    const ProcessResult s = rom("", {"1000 allocate drop drop vocabulary extra also extra definitions "
                                     ": inside 11 ; previous definitions variable v 123 v ! "
                                     "s\" more.zvk\" save-system bye"}, dir.path);
    EXPECT_EQ(s.output, kBanner);
    const ProcessResult r = run_process(
        NORVEX_BIN, {"more.zvk", "also extra inside . v @ . unused 100000 allocate . free . unused = . bye"}, "",
        dir.path);
    EXPECT_EQ(r.output, kBanner + "11 123 0 0 -1 ");
}

// --- The monitor ------------------------------------------------------------------

TEST(RomMonitor, BreakStopsAtTheWordAndTheKeysStepIt) {
    // The keys after the line go to the monitor: a space runs one
    // instruction, u runs until the word returns, Enter runs on freely.
    const ProcessResult r = rom(": sq dup * ; : tw sq 1+ ; break sq 3 tw .\n u\r");
    EXPECT_NE(r.output.find("DUP"), std::string::npos) << r.output;
    EXPECT_NE(r.output.find("UM*"), std::string::npos) << r.output;   // the step
    EXPECT_NE(r.output.find("LIT"), std::string::npos) << r.output;   // back in tw
    EXPECT_TRUE(r.output.ends_with(" 10  ok\n")) << r.output;
    EXPECT_EQ(count(r.output, "PC="), 3u) << r.output;
}

TEST(RomMonitor, DebugRunsAWordFromItsFirstInstruction) {
    testing::PtySession s(NORVEX_ROM_BIN, {": sq dup * ; : tw sq 1+ ;"});
    ASSERT_TRUE(s.wait_for(" ok\r\n")) << s.output();
    s.send("4 debug tw .\r");
    ASSERT_TRUE(s.wait_for("CALL")) << s.output();   // tw's first instruction
    s.send("s");                                      // over the call of sq
    ASSERT_TRUE(s.wait_for("LIT")) << s.output();
    s.send("\r");
    ASSERT_TRUE(s.wait_for(" 17  ok\r\n")) << s.output();
    s.send("unbreak break dup\r");   // a primitive is compiled inline: no code of its own runs
    ASSERT_TRUE(s.wait_for("break: unsupported operation")) << s.output();
    s.send("\x04");
    EXPECT_EQ(s.wait_exit(), 0);
}

// --- The Forth-2012 test files --------------------------------------------------

std::string suite_dir() { return FORTH2012_DIR; }

ProcessResult suite(const std::string& files) {
    return rom("This line is for the ACCEPT test\n", {files + " #errors @ . bye"}, suite_dir());
}

TEST(Forth2012, Preliminary) {
    if (!std::filesystem::exists(suite_dir())) GTEST_SKIP() << "no " << suite_dir();
    const ProcessResult r = rom("", {"include prelimtest.fth bye"}, suite_dir());
    EXPECT_TRUE(contains(r.output, "0 tests failed out of 57 additional tests")) << r.output;
    EXPECT_FALSE(contains(r.output, "Error #")) << r.output;
    EXPECT_EQ(count(r.output, "Pass #"), 23u) << r.output;
}

TEST(Forth2012, Core) {
    if (!std::filesystem::exists(suite_dir())) GTEST_SKIP() << "no " << suite_dir();
    const ProcessResult r = suite("include tester.fr include core.fr");
    EXPECT_TRUE(contains(r.output, "End of Core word set tests")) << r.output;
    EXPECT_TRUE(contains(r.output, "RECEIVED: \"This line is for the ACCEPT test\"")) << r.output;
    EXPECT_FALSE(contains(r.output, "INCORRECT RESULT")) << r.output;
    EXPECT_FALSE(contains(r.output, "WRONG NUMBER")) << r.output;
    EXPECT_TRUE(r.output.ends_with("\n0 ")) << r.output;
}

TEST(Forth2012, CorePlus) {
    if (!std::filesystem::exists(suite_dir())) GTEST_SKIP() << "no " << suite_dir();
    const ProcessResult r = suite("include tester.fr include core.fr include coreplustest.fth");
    EXPECT_TRUE(contains(r.output, "End of additional Core tests")) << r.output;
    EXPECT_FALSE(contains(r.output, "INCORRECT RESULT")) << r.output;
    EXPECT_FALSE(contains(r.output, "WRONG NUMBER")) << r.output;
    EXPECT_TRUE(r.output.ends_with("\n0 ")) << r.output;
}

// The optional word-set files count their errors per word set; TOTAL-ERRORS
// holds the sum after each file.
ProcessResult suite_with_report(const std::string& file) {
    return suite("include tester.fr include core.fr include utilities.fth include errorreport.fth include " +
                 file + " total-errors @ . bye");
}

TEST(Forth2012, CoreExtension) {
    if (!std::filesystem::exists(suite_dir())) GTEST_SKIP() << "no " << suite_dir();
    const ProcessResult r = suite_with_report("coreexttest.fth");
    EXPECT_TRUE(contains(r.output, "End of Core Extension word tests")) << r.output;
    EXPECT_FALSE(contains(r.output, "INCORRECT RESULT")) << r.output;
    EXPECT_FALSE(contains(r.output, "WRONG NUMBER")) << r.output;
    EXPECT_TRUE(r.output.ends_with("\n0 ")) << r.output;
}

TEST(Forth2012, Exception) {
    if (!std::filesystem::exists(suite_dir())) GTEST_SKIP() << "no " << suite_dir();
    const ProcessResult r = suite_with_report("exceptiontest.fth");
    EXPECT_TRUE(contains(r.output, "End of Exception word tests")) << r.output;
    EXPECT_FALSE(contains(r.output, "INCORRECT RESULT")) << r.output;
    EXPECT_FALSE(contains(r.output, "WRONG NUMBER")) << r.output;
    EXPECT_TRUE(r.output.ends_with("\n0 ")) << r.output;
}

}  // namespace
}  // namespace norvex::forth
