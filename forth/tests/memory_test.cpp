// The Forth system's memory in the real norvex-rom: the stacks and their
// checks, the heap, interpreted strings, nested files, file names the host
// cannot take whole, and the words of LOCALS and STRING that had faults.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "forth/tests/rom_process.h"
#include "tests/pty_session.h"

namespace norvex::forth {
namespace {

const std::string kBanner = "Norvex Forth 1.0\n";   // lines end in LF into a pipe

// Runs the text as the argument string, then BYE; the output after the
// version line.
std::string forth(const std::string& text, const std::string& cwd = {}) {
    const ProcessResult r = run_process(NORVEX_ROM_BIN, {text + " bye"}, "", cwd);
    if (r.output.rfind(kBanner, 0) != 0) return "no version line: " + r.output;
    return r.output.substr(kBanner.size());
}

bool contains(const std::string& text, const std::string& part) {
    return text.find(part) != std::string::npos;
}

// --- The stacks ----------------------------------------------------------------

TEST(Stacks, RunawayRecursionAndRunawayStacksEndInStandardErrors) {
    // Interactive, so that each error is reported and the session goes on.
    testing::PtySession s(NORVEX_ROM_BIN, {});
    ASSERT_TRUE(s.wait_for("Norvex Forth 1.0\r\n")) << s.output();
    auto line = [&](const std::string& text, const std::string& answer) {
        s.send(text + "\r");
        EXPECT_TRUE(s.wait_for(answer)) << text << "\n" << s.output();
    };
    line("defer d : a d 1+ ; ' a is d 0 a", "a: return stack overflow\r\n");
    line("depth . 1 2 + .", "0 3  ok");
    line(": r 1+ recurse 1 ; 0 r", "r: return stack overflow\r\n");
    line(": f 1 2 3 4 5 6 7 8 recurse ; f", "f: stack overflow\r\n");
    line("variable v : e v @ execute 1 ; ' e v ! e", "e: return stack overflow\r\n");
    line(": fill-up 20000 0 do i loop ; fill-up", "fill-up: stack overflow\r\n");
    line(": u drop drop drop ; 1 u", "u: stack underflow\r\n");
    std::string rdrops;
    for (int i = 0; i < 40; ++i) rdrops += " rdrop";
    line(": w" + rdrops + " ; w", "w: return stack underflow\r\n");
    line("depth . 6 7 * .", "0 42  ok");
    s.send("\x04");
    EXPECT_EQ(s.wait_exit(), 0);
}

TEST(Stacks, ErrorsCanBeCaughtAndTheStacksComeBack) {
    EXPECT_EQ(forth("defer d : a d 1+ ; ' a is d  7 0 ' a catch . drop . depth . "
                    ": f 1 2 3 recurse ; ' f catch . depth ."),
              "-5 7 0 -3 0 ");
}

TEST(Stacks, DeepButFiniteRecursionGivesTheRightAnswer) {
    EXPECT_EQ(forth(": r dup 0= if exit then 1- recurse 1+ ; 10000 r . "
                    "defer e : b dup 0= if exit then 1- e 1+ ; ' b is e 5000 b . "
                    ": s dup 0= if exit then dup 1- recurse + ; 10000 s . "
                    ": n dup if dup 1- recurse then ; 10000 n depth ."),
              "10000 5000 50005000 10001 ");
    EXPECT_EQ(forth("s\" STACK-CELLS\" environment? . . s\" RETURN-STACK-CELLS\" environment? . ."),
              "-1 16384 -1 16128 ");
}

TEST(Stacks, ALargerVariableMemoryGivesLargerStacksHeapAndDictionary) {
    // 64 MiB of variable memory instead of the header's 1 MiB.
    const ProcessResult r = run_process(
        NORVEX_BIN,
        {"+V20000000.4000000", "\"" FORTH_IMAGE "\"",
         "unused 50000000 > . s\" STACK-CELLS\" environment? . . "
         ": r dup 0= if exit then 1- recurse 1+ ; 200000 r . "
         "40000000 allocate . free . 30000000 allot unused 10000000 > . bye"},
        "");
    EXPECT_EQ(r.output, kBanner + "-1 -1 1048576 200000 0 0 -1 ");
}

TEST(Stacks, AFullDictionaryOrHeapIsAnErrorAndTheSessionGoesOn) {
    EXPECT_EQ(forth("marker m : fill-dict begin 0 , again ; ' fill-dict catch . unused 4 < . "
                    "1 2 + . m : later 5 ; later ."),
              "-8 -1 3 5 ");
    EXPECT_EQ(forth("variable n : hog begin 1000 allocate nip 0= while 1 n +! repeat ; "
                    "unused hog n @ 500 > . unused 2000 < . 1000000 allocate nip . "
                    "0 n ! : later 6 ; later ."),
              "-1 -1 -59 6 ");
}

// --- The heap ---------------------------------------------------------------------

TEST(Heap, RandomSequencesAgreeWithAModelOfTheLiveBlocks) {
    const ProcessResult r = run_process(NORVEX_ROM_BIN, {"include " FORTH_SOURCE_DIR "/tests/heap_stress.fs bye"}, "");
    EXPECT_TRUE(contains(r.output, "heap stress: 20000 ops, 0 failures")) << r.output;
}

TEST(Heap, ManyBlocksComeAndGoInAnyOrder) {
    // 20000 blocks of 16 bytes, freed first to last, last to first and
    // scattered: all of the memory comes back each time.
    EXPECT_EQ(forth("create ptrs 20000 cells allot : p cells ptrs + ; "
                    ": fill-up 20000 0 do 16 allocate throw i p ! loop ; "
                    ": up 20000 0 do i p @ free throw loop ; "
                    ": down 0 19999 do i p @ free throw -1 +loop ; "
                    ": scattered 20000 0 do i 7919 * 20000 mod p @ free throw loop ; "
                    "unused fill-up up fill-up down fill-up scattered unused = ."),
              "-1 ");
}

// --- Interpreted strings --------------------------------------------------------

TEST(Strings, SeventeenInterpretedStringsStayValid) {
    std::string make, show;
    for (char c = 'a'; c <= 'q'; ++c) {
        make += (c % 2 ? "s\" " : "s\\\" ") + std::string(1, c) + "\" ";
        show += "type ";
    }
    EXPECT_EQ(forth(make + show), "qponmlkjihgfedcba");
    // Not limited to a buffer's length.
    EXPECT_EQ(forth("s\" " + std::string(3000, 'x') + "\" nip ."), "3000 ");
}

// --- Nested files --------------------------------------------------------------------

TEST(Nesting, IncludedFilesNestMoreThanSixtyFourDeep) {
    TempDir dir;
    for (int i = 0; i < 100; ++i)
        dir.write("n" + std::to_string(i) + ".fs",
                  "1 depth-reached +!\ninclude n" + std::to_string(i + 1) + ".fs\n");
    dir.write("n100.fs", ": deepest 100 ;\n");
    EXPECT_EQ(forth("variable depth-reached include n0.fs deepest . depth-reached @ .", dir.path),
              "100 100 ");
    // A file that includes itself ends in an error; the memory its slots
    // took comes back.
    dir.write("self.fs", "include self.fs\n");
    EXPECT_EQ(forth("variable u s\" self.fs\" 2dup ' included catch nip nip . unused u ! "
                    "' included catch nip nip . unused u @ = .",
                    dir.path),
              "-256 -256 -1 ");
}

// --- File names --------------------------------------------------------------------

TEST(FileNames, NamesUpToTheHostLimitWorkAndLongerOnesFail) {
    TempDir dir;
    // A 290-character name, and a decoy named by its first 255 characters.
    const std::string sub(200, 'd');
    std::filesystem::create_directory(dir.path + "/" + sub);
    const std::string name = sub + "/" + std::string(89, 'f');
    const std::string decoy = name.substr(0, 255);
    dir.write(decoy, "decoy");
    dir.write(name, "target");
    const std::string s = "s\" " + name + "\" ";
    EXPECT_EQ(forth(s + "r/o open-file . close-file . " + s + "file-status nip . " + s + "delete-file . " + s +
                        "file-status nip 0= . " + s + "w/o create-file . close-file .",
                    dir.path),
              "0 0 0 0 0 0 0 ");
    EXPECT_EQ(dir.read(decoy), "decoy");
    const std::string renamed = sub + "/" + std::string(80, 'r');
    EXPECT_EQ(forth(s + "s\" " + renamed + "\" rename-file .", dir.path), "0 ");
    EXPECT_TRUE(std::filesystem::exists(dir.path + "/" + renamed));
    dir.write(name, "77 constant from-a-long-name\n");
    EXPECT_EQ(forth("include " + name + " from-a-long-name .", dir.path), "77 ");

    // Longer than the host's limit on a path, or with a NUL inside: every
    // file word fails with an ior and no file is touched.
    const std::string too_long = "s\" " + std::string(4096, 'z') + "\" ";
    EXPECT_EQ(forth(too_long + "r/o open-file . drop " + too_long + "delete-file . " + too_long +
                        "file-status . drop " + too_long + "r/w create-file . drop " + too_long +
                        "s\" x\" rename-file . s\" decoy\" " + too_long + "rename-file .",
                    dir.path),
              "206 206 206 206 206 206 ");
    dir.write("decoy", "safe");
    EXPECT_EQ(forth("s\\\" decoy\\zmore\" 2dup delete-file . r/o open-file . drop", dir.path), "123 123 ");
    EXPECT_EQ(dir.read("decoy"), "safe");
    EXPECT_TRUE(contains(forth(too_long + "included", dir.path), "file name too long")) << "included";
}

// --- LOCALS and STRING ----------------------------------------------------------------

TEST(Locals, LocalTakesTheStackInTheOrderOfLocalsBar) {
    EXPECT_EQ(forth(": local bl word count (local) ; immediate "
                    ": end-locals 99 0 (local) ; immediate "
                    ": lt32 local a local b local c end-locals a b c ; 61 62 63 lt32 . . . "
                    ": lt33 local x end-locals x 1+ ; 5 lt33 . "
                    ": lt34 locals| a b c | a b c ; 1 2 3 lt34 . . . "
                    ": lt35 {: a b c :} a b c ; 1 2 3 lt35 . . ."),
              "61 62 63 6 1 2 3 3 2 1 ");
}

TEST(String, SubstituteWithOverlappingBuffers) {
    // The text at a buffer's start, the result three characters further, a
    // replacement longer than its name: the result is right.
    EXPECT_EQ(forth("create buf 64 allot s\" long text\" s\" n\" replaces "
                    "s\" a%n%b%n%c\" buf swap move  buf 9 buf 3 + 40 substitute . type "
                    "s\" %n%-%n%\" buf 3 + swap move  buf 3 + 7 buf 40 substitute . type"),
              "2 along textblong textc2 long text-long text");
}

}  // namespace
}  // namespace norvex::forth
