// The word sets of the Forth system beyond CORE, run in the real norvex-rom:
// what each word leaves or prints, and what it does with wrong arguments.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "forth/tests/rom_process.h"

namespace norvex::forth {
namespace {

const std::string kBanner = "Norvex Forth 1.0\n";

// Runs the text as the argument string, then BYE; the output after the
// version line. An error ends the run before BYE, with status 1.
std::string run_text(const std::string& text, const std::string& cwd, int status) {
    const ProcessResult r = run_process(NORVEX_ROM_BIN, {text + " bye"}, "", cwd);
    EXPECT_EQ(r.status, status) << r.output;
    if (r.output.rfind(kBanner, 0) != 0) return "no version line: " + r.output;
    return r.output.substr(kBanner.size());
}
std::string forth(const std::string& text, const std::string& cwd = {}) { return run_text(text, cwd, 0); }
std::string failing(const std::string& text, const std::string& cwd = {}) { return run_text(text, cwd, 1); }

// --- DOUBLE-NUMBER ------------------------------------------------------------

TEST(DoubleNumber, ComparisonsAreSignedOrUnsignedOverBothCells) {
    EXPECT_EQ(forth("1. 2. d< . 2. 1. d< . -1. 1. d< . 1 0 0 1 d< . 0 1 1 0 d< . "
                    "-1. 1. du< . 1. -1. du< . 5. 5. d= . 5 0 5 1 d= ."),
              "-1 0 -1 -1 0 0 -1 -1 0 ");
    EXPECT_EQ(forth("1. 2. dmax d. -3. 2. dmin d. -1. d0< . 0. d0= . 0 1 d0= . 7. d>s ."),
              "2 -3 -1 -1 0 7 ");
}

TEST(DoubleNumber, ShiftsAndScaling) {
    EXPECT_EQ(forth("-5. d2/ d. 1 1 d2/ swap u. . $80000000 0 d2* . . "
                    "100000. 3 7 m*/ d. -100000. 3 7 m*/ d. 1000000000. 1000 999 m*/ d."),
              "-3 2147483648 0 1 0 42857 -42857 1001001001 ");
    EXPECT_EQ(forth("1. -1 m+ d. 5. 7. d- d. -12. 6 d.r 3 2 1 0 9 8 2rot . . . . . ."),
              "0 -2    -122 3 8 9 0 1 ");
}

TEST(DoubleNumber, ConstantsVariablesAndValues) {
    EXPECT_EQ(forth("12345678901. 2constant big big d. 2variable v 3. v 2! v 2@ d. "
                    "1 2 2value pair pair . . 7 8 to pair pair . . "
                    ": set 9 10 to pair ; set pair . . : lit [ 4. ] 2literal ; lit d."),
              "12345678901 3 2 1 8 7 10 9 4 ");
    // TO refuses a word that is not a value.
    EXPECT_EQ(failing("variable x 5 to x"), "\nto: invalid name argument\n");
}

// --- STRING -----------------------------------------------------------------------

TEST(String, CompareAndSearch) {
    EXPECT_EQ(forth(R"(s" abc" s" abc" compare . s" abc" s" abd" compare . s" abd" s" abc" compare . )"
                    R"(s" ab" s" abc" compare . s" abc" s" ab" compare . s" " s" " compare .)"),
              "0 -1 1 -1 1 0 ");
    EXPECT_EQ(forth(R"(s" hello world" s" wor" search . type space )"
                    R"(s" hello" s" xyz" search . type space s" hello" s" " search . type)"),
              "-1 world 0 hello -1 hello");
    EXPECT_EQ(forth(R"(s" trail   " -trailing 1 . type 2 . s"    " -trailing . drop )"
                    R"(create b 4 allot b 4 blank b 4 s"     " compare .)"),
              "1 trail2 0 0 ");
}

TEST(String, SubstituteReplacesDefinedNamesOnly) {
    EXPECT_EQ(forth(R"(s" tea" s" drink" replaces s" COFFEE" s" Drink" replaces )"
                    R"(create out 60 allot s" a %drink% b %% c %none% d %DRINK" out 60 substitute . type)"),
              "1 a COFFEE b % c %none% d %DRINK");
    // Too long for the buffer: a negative ior; UNESCAPE makes text come back.
    EXPECT_EQ(forth(R"(s" 0123456789" s" x" replaces create out 60 allot )"
                    R"(s" %x%%x%" out 15 substitute . 2drop )"
                    R"(s" 50%" out unescape 2dup type space pad 20 substitute . type)"),
              "-78 50%% 0 50%");
}

// --- MEMORY-ALLOCATION ---------------------------------------------------------------

TEST(Heap, AllocateResizeFreeKeepContents) {
    EXPECT_EQ(forth("100 allocate . constant a  s\" keep me\" a swap move "
                    "a 5000 resize . constant b  b 7 type  b 3 resize . 3 type "
                    "b 3 resize drop free ."),
              "0 0 keep me0 kee0 ");
}

TEST(Heap, StrayAndFreedAddressesGetAnIorAndTheHeapGoesOn) {
    EXPECT_EQ(forth("40 allocate drop constant a  a free .  a free .  a 10 resize . a = . "
                    "40 allocate drop constant b  b 4 + free .  here free .  0 free .  b cell - free . "
                    "-1 allocate . .  b 1 resize nip .  b free ."),
              "0 -60 -61 -1 -60 -60 -60 -60 -59 0 0 0 ");
    // Freed blocks join up again and go back to data space: after freeing
    // a run of blocks in a scattered order UNUSED is what it was.
    EXPECT_EQ(forth("variable before  create ptrs 20 cells allot "
                    ": fill-up 20 0 do 1000 allocate throw ptrs i cells + ! loop ; "
                    ": empty 20 0 do ptrs i 7 * 20 mod cells + @ free throw loop ; "
                    "unused before ! fill-up unused before @ < . empty unused before @ = . "
                    "fill-up empty 20000 allocate . free . unused before @ = ."),
              "-1 -1 0 0 -1 ");
}

// --- FILE-ACCESS ----------------------------------------------------------------------------

TEST(Files, WriteReadAndPosition) {
    TempDir dir;
    EXPECT_EQ(forth("variable f s\" t.txt\" w/o create-file throw f ! "
                    "s\" first\" f @ write-line throw s\" second line\" f @ write-line throw "
                    "f @ file-size throw d. f @ file-position throw d. f @ close-file . "
                    "s\" t.txt\" r/o bin open-file throw f ! create buf 80 allot "
                    "buf 80 f @ read-line throw . buf swap type space "
                    "buf 3 f @ read-line throw . buf swap type space "
                    "buf 80 f @ read-line throw . buf swap type space "
                    "buf 80 f @ read-line throw . . "
                    "6 0 f @ reposition-file . buf 6 f @ read-file . buf swap type f @ close-file .",
                    dir.path),
              "18 18 0 -1 first -1 sec -1 ond line 0 0 0 0 second0 ");
    EXPECT_EQ(dir.read("t.txt"), "first\nsecond line\n");
}

TEST(Files, ResizeGrowsAndShrinksUnderTheSameFileid) {
    TempDir dir;
    dir.write("r.txt", "0123456789abcdef");
    EXPECT_EQ(forth("variable f s\" r.txt\" r/w open-file throw f ! 12 0 f @ reposition-file drop "
                    "5 0 f @ resize-file . f @ file-size throw d. f @ file-position throw d. "
                    "s\" XY\" f @ write-file . 9 0 f @ resize-file . f @ file-size throw d. "
                    "f @ close-file .  s\" r.txt\" r/o open-file throw f ! 1 0 f @ resize-file . f @ close-file .",
                    dir.path),
              "0 5 5 0 0 9 0 5 0 ");
    EXPECT_EQ(dir.read("r.txt"), std::string("01234XY\0\0", 9));
    EXPECT_FALSE(std::filesystem::exists(dir.path + "/r.txt.resizing"));
}

TEST(Files, RenameDeleteAndStatus) {
    TempDir dir;
    dir.write("a.txt", "A");
    dir.write("b.txt", "B");
    EXPECT_EQ(forth("s\" a.txt\" file-status . drop s\" a.txt\" s\" b.txt\" rename-file . "
                    "s\" a.txt\" s\" c.txt\" rename-file . s\" a.txt\" file-status . drop "
                    "s\" c.txt\" delete-file . s\" c.txt\" delete-file .",
                    dir.path),
              "0 80 0 2 0 2 ");
    EXPECT_EQ(dir.read("b.txt"), "B");
}

TEST(Files, IorsAreNamedWhenThrown) {
    TempDir dir;
    // A failed open leaves 0 and the host's error number; THROW names the file.
    EXPECT_EQ(failing("s\" nosuch\" r/o open-file . . s\" nosuch\" r/o open-file throw", dir.path),
              "2 0 \nnosuch: file not found\n");
    // A fileid that is not open is refused (6) by every word, twice closed included.
    EXPECT_EQ(forth("variable f s\" x\" r/w create-file throw f ! f @ close-file . f @ close-file . "
                    "pad 1 f @ read-file . . pad 1 f @ write-file . f @ file-size . . . "
                    "1234 flush-file . 0 0 5 resize-file .",
                    dir.path),
              "0 6 6 0 6 6 0 0 6 6 ");
    dir.write("inc.fs", "source-id 0> . 1 2 +\n");
    EXPECT_EQ(forth("s\" inc.fs\" r/o open-file throw dup include-file swap close-file . .", dir.path),
              "-1 0 3 ");
}

// --- SEARCH-ORDER ---------------------------------------------------------------------

TEST(SearchOrder, WordListsAndTheOrder) {
    EXPECT_EQ(forth("wordlist constant w  w set-current : hidden 42 ; forth-wordlist set-current "
                    "s\" hidden\" w search-wordlist . execute . s\" hidden\" forth-wordlist search-wordlist . "
                    "get-order . forth-wordlist = . w forth-wordlist 2 set-order hidden . only forth get-order . drop "
                    "also also get-order . 2drop drop previous previous get-order ."),
              "-1 42 0 1 -1 42 1 3 1 ");
    EXPECT_EQ(failing(": many 16 0 do also loop ; many"), "\nmany: search-order overflow\n");
    EXPECT_EQ(forth("vocabulary tools-v also tools-v definitions : inner 7 ; previous definitions "
                    "also tools-v inner . order"),
              "7 \nSearch: tools-v forth \nDefinitions: forth ");
}

TEST(SearchOrder, MarkerAndForgetRestoreTheDictionary) {
    EXPECT_EQ(forth(": keep 1 ; unused marker m wordlist constant w w set-current : gone 2 ; "
                    "get-order w swap 1+ set-order definitions m keep . [defined] gone . get-order . drop "
                    "get-current forth-wordlist = . unused - ."),
              "1 0 1 -1 0 ");
    EXPECT_EQ(failing(": a1 1 ; : a2 2 ; : a3 3 ; forget a2 a1 . [defined] a3 . : a2 22 ; a2 . forget dup"),
              "1 0 22 \nforget: invalid FORGET\n");
}

// --- LOCALS -------------------------------------------------------------------------------------

TEST(Locals, InitialisedUninitialisedAndTo) {
    EXPECT_EQ(failing(": t {: a b | c -- d :} a b - to c c c * ; 7 3 t . "
                    ": l {: n :} 0 n 0 do i n * + loop ; 4 l . "
                    ": r {: n :} n 0> if n 1- recurse n + else 0 then ; 10 r . "
                    ": y {: z :} z ; 5 y . "
                    ": old locals| a b | a b - ; 3 10 old . z"),
              "16 24 55 5 7 \nz: undefined word\n");
}

TEST(Locals, FrameIsGivenBackOnExitAndThrow) {
    // Deep recursion with locals would run out of locals stack if frames
    // leaked through EXIT or THROW.
    EXPECT_EQ(forth(": e {: a :} a 0= if 0 exit then a ; : many 1000 0 do i e drop loop ; many "
                    ": th {: a :} a throw ; : c 1000 0 do i 1+ ['] th catch 2drop loop ; c "
                    ": lo [ s\" u\" (local) s\" v\" (local) 0 0 (local) ] v u - ; 3 10 lo ."),
              "-7 ");   // (LOCAL) as LOCALS|: the first name takes the top
    EXPECT_EQ(failing(": deep {: n :} n if n 1- recurse then ; 10 deep 1 . "
                    ": seventeen {: a b c d e f g h i j k l m n o p q :} ;"),
              "1 \n{:: too many locals\n");
}

// --- FACILITY -----------------------------------------------------------------------------------

std::string keys_through(const std::string& keys, const std::string& text) {
    const ProcessResult r = run_process(NORVEX_ROM_BIN, {text}, keys);
    return r.output.substr(kBanner.size());
}

TEST(Facility, EkeyDecodesTheTerminalsKeySequences) {
    const std::string show = ": k ekey ekey>fkey if $ff and . else . then ; k k k k k k k k bye";
    EXPECT_EQ(keys_through("a\x1b[A\x1b[1;5C\x1b[15~\x1bOP\x1b[3~\x1bx\x1b[Z", show), "97 3 2 15 11 10 27 120 ");
    EXPECT_EQ(keys_through("\x1b[1;5C", "ekey k-right k-ctrl-mask or = . bye"), "-1 ");
    EXPECT_EQ(keys_through("z", "ekey ekey>char . . ekey? . bye"), "-1 122 -1 ");
}

TEST(Facility, StructuresAndTime) {
    EXPECT_EQ(forth("begin-structure point field: p.x field: p.y cfield: p.tag end-structure "
                    "point . 100 p.y . 100 p.tag . 5 3 +field three drop 10 three ."),
              "9 104 108 15 ");
    EXPECT_EQ(forth("time&date 2000 3000 within . 1 13 within . 1 32 within . 24 u< . 60 u< . 60 u< . "
                    "0 ms page 3 4 at-xy"),
              "-1 -1 -1 -1 -1 -1 ");
}

// --- PROGRAMMING-TOOLS --------------------------------------------------------------------------

TEST(Tools, StackMemoryAndConditionals) {
    EXPECT_EQ(forth("1 -2 3 .s drop drop drop .s variable v 5 v ! v ?"), "<3> 1 -2 3 <0> 5 ");
    // The address, the bytes in hex, the bytes as characters.
    const std::string d = forth("create b 65 c, 66 c, 0 c, 200 c, b 4 dump");
    EXPECT_EQ(d.substr(0, 4), "\n200") << d;
    EXPECT_EQ(d.substr(9), "  41 42 00 C8" + std::string(38, ' ') + "AB..\n") << d;
    EXPECT_EQ(forth("0 [if] 1 . [if] 2 . [else] 3 . [then] 4 . [else] 5 . [then] "
                    "1 [if] 6 . [else] 7 . [then] [defined] dup . [undefined] dup . [defined] nothing ."),
              "5 6 -1 0 0 ");
    EXPECT_EQ(failing("-5 1 dump"), "\ndump: invalid memory address\n");
}

TEST(Tools, ConditionalsOverLinesAndInputGoingBackInAFile) {
    TempDir dir;
    dir.write("c.fs",
              "variable pass 0 pass !\n"
              "save-input\n"
              "1 pass +! pass @ .\n"
              "pass @ 1 = [if] restore-input .( not shown) [then]\n"
              "0 [if]\n  skipped [if] nested [else] also skipped [then]\n[else]\n  .( else)\n[then]\n"
              "1 [if] .( yes) [else]\n .( no)\n[then] depth . .\n");
    // RESTORE-INPUT goes back to the line after SAVE-INPUT, leaving its flag.
    EXPECT_EQ(forth("include c.fs", dir.path), "1 2 elseyes1 0 ");
}

TEST(Tools, NamesAndTheControlFlowStack) {
    EXPECT_EQ(forth("synonym plus + synonym when if : t 1 when 2 3 plus then ; t . "
                    "s\" dup\" find-name name>interpret ' dup = . s\" if\" find-name name>interpret . "
                    ": c [ s\" dup\" find-name name>compile execute ] ; 4 c . ."),
              "5 -1 0 4 4 ");
    // A WHILE of one's own: IF, then the orig under the dest.
    EXPECT_EQ(forth(": n 1 2 3 3 n>r 4 nr> ; n . . . . . "
                    ": ah ahead 1 then 2 ; ah . "
                    ": my-while postpone if 1 cs-roll ; immediate "
                    ": wh begin dup my-while 1- repeat ; 3 wh . "
                    ": p 0 begin [ 0 cs-pick ] 1+ dup 3 > until 10 + dup 30 > until ; p ."),
              "3 3 2 1 4 2 0 36 ");
    EXPECT_EQ(forth("variable n : cnt ( nt -- flag ) drop 1 n +! true ; "
                    "' cnt forth-wordlist traverse-wordlist n @ 300 > . 0 n ! "
                    "' cnt wordlist traverse-wordlist n @ . "
                    ": first ( nt -- flag ) name>string type false ; ' first forth-wordlist traverse-wordlist"),
              "-1 0 first");
}

TEST(Tools, SeeShowsWhatMadeAWord) {
    EXPECT_EQ(forth(": fib dup 2 < if drop 1 else dup 1- recurse swap 2 - recurse + then ; see fib"),
              "\n: fib \n  dup 2 < if \n    drop 1 \n  else \n"
              "    dup 1- recurse swap 2 - recurse + \n  then ; ");
    EXPECT_EQ(forth(": l 10 0 do i . loop ; see l : q 0 ?do i 3 = if leave then 2 +loop ; see q"),
              "\n: l \n  10 0 do \n    i . \n  loop ; "
              "\n: q \n  0 ?do \n    i 3 = if \n      leave \n    then \n    2 \n  +loop ; ");
    EXPECT_EQ(forth(": w begin dup while 1- repeat ; see w : s .\" hi\" abort\" no\" ; see s"),
              "\n: w \n  begin \n    dup while \n    1- \n  repeat ; "
              "\n: s \n  .\" hi\" abort\" no\" ; ");
    EXPECT_EQ(forth("variable v 3 constant k 4 value x defer d ' v is d : m create , does> @ ; "
                    "see v see k see x see d see m"),
              "\nvariable v \n3 constant k \n4 value x \ndefer d ( is v ) "
              "\n: m \n  create , \ndoes> \n  @ ; ");
    EXPECT_EQ(forth(": lo {: a b :} a b + to a ; see lo see 2dup synonym twice 2* see twice"),
              "\n: lo \n  {: l0 l1 :} l0 l1 + to l0 ; \n: 2dup ( inline: OVER OVER ) ; "
              "\nsynonym twice 2* ");
}

// SEE's shapes of code name opcodes by the mnemonics of the opcode table:
// the first and last, names that end an earlier one (R@ C@ W@ before @).
TEST(Tools, SeeNamesOpcodesByTheirMnemonics) {
    EXPECT_EQ(forth("also internals s\" CALL\" opcode-named .  s\" NOP\" opcode-named .  "
                    "s\" @\" opcode-named .  s\" 0BRANCH\" opcode-named .  s\" SP@\" opcode-named ."),
              "0 63 36 2 7 ");
    const std::string unknown = failing("also internals s\" CALLS\" opcode-named");
    EXPECT_NE(unknown.find("undefined word"), std::string::npos) << unknown;
}

TEST(Tools, CodeDefinitions) {
    EXPECT_EQ(forth("code 3* dup dup + + end-code 5 3* . see 3* "
                    "code up10 begin 1 lit + dup 10 lit - 0< while repeat end-code 0 up10 . "
                    ": dbl create , ;code @ 2 lit um* drop end-code 21 dbl x x ."),
              "15 \n: 3* ( inline: DUP DUP + + ) ; 10 42 ");
}

// --- ENVIRONMENT? -------------------------------------------------------------------------------

TEST(Environment, QueriesAnswerTruthfully) {
    EXPECT_EQ(forth("s\" MAX-N\" environment? . . s\" max-ud\" environment? . d. s\" #locals\" environment? . . "
                    "s\" STACK-CELLS\" environment? . . s\" FLOORED\" environment? . . "
                    "s\" TOOLS-EXT\" environment? . . s\" no-such-query\" environment? ."),
              "-1 2147483647 -1 -1 -1 16 -1 16384 -1 0 -1 -1 0 ");
}

}  // namespace
}  // namespace norvex::forth
