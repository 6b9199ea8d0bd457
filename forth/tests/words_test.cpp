// Words a programmer meets every day, run in the real norvex-rom: notes on
// redefinitions, division, the printing words, control structures checked
// while compiling, and SEE.
#include <gtest/gtest.h>

#include <string>

#include "forth/tests/rom_process.h"

namespace norvex::forth {
namespace {

const std::string kBanner = "Norvex Forth 1.0\r\n";

// Runs the text as the argument string, then BYE; the output after the
// version line.
std::string forth(const std::string& text) {
    const ProcessResult r = run_process(NORVEX_ROM_BIN, {text + " bye"}, "");
    if (r.output.rfind(kBanner, 0) != 0) return "no version line: " + r.output;
    return r.output.substr(kBanner.size());
}

// TRY runs an xt and prints the THROW code it ended with (0 if none), then
// empties the stack.
const std::string kTry = ": try ( i*x xt -- ) catch . depth 0 ?do drop loop ; ";

// --- Redefinitions --------------------------------------------------------------

TEST(Redefinition, NotedInTheCompilationWordListUnlessWarningsAreOff) {
    EXPECT_EQ(forth(": dup 1 ; : Dup 2 ; create x : x ; 5 constant x variable y"),
              "redefined dup  redefined dup with Dup  redefined x  redefined x  ");
    // Another word list, a nameless definition, and WARNINGS OFF: no note.
    EXPECT_EQ(forth("wordlist set-current : dup ; forth-wordlist set-current :noname ; drop "
                    "warnings off : over ; warnings on : swap ; 1 ."),
              "redefined swap  1 ");
}

// --- Division -------------------------------------------------------------------

TEST(Division, ZeroDivisorIsMinus10AndQuotientOutOfRangeMinus11) {
    EXPECT_EQ(forth(kTry + "1 0 0 ' um/mod try 1 0 1 0 ' m*/ try 7 0 ' / try 7 0 ' mod try 7 0 ' /mod try "
                           "1 2 0 ' */ try 1 2 0 ' */mod try 1. 0 ' sm/rem try 1. 0 ' fm/mod try"),
              "-10 -10 -10 -10 -10 -10 -10 -10 -10 ");
    EXPECT_EQ(forth(kTry + "0 1 1 ' um/mod try -2147483648 -1 ' / try -2147483648 -1 ' mod try "
                           "$40000000 4 1 ' */ try $40000000 -4 -1 ' */mod try -1 -2 2 ' fm/mod try "
                           "0 1 -1 ' sm/rem try 0 $80000000 -1 1 ' m*/ try 0 1 1 0 ' m*/ try"),
              "-11 -11 -11 -11 -11 -11 -11 -11 -10 ");
}

TEST(Division, ResultsAtTheEdgesOfTheRange) {
    EXPECT_EQ(forth("-1 0 1 um/mod u. . -1 -2 -1 um/mod u. u. -2147483648 1 / . "
                    "-1 -2 2 sm/rem . . -7 2 / . -7 2 mod . 7 s>d -2 fm/mod . . -7 s>d 2 fm/mod . ."),
              "4294967295 0 4294967295 4294967294 -2147483648 -2147483648 -1 -3 -1 -4 -1 -4 1 ");
    EXPECT_EQ(forth("0 $80000000 1 1 m*/ d. -1 $7fffffff 1 1 m*/ d. 10. 3 -2 m*/ d. -10. -3 -2 m*/ d."),
              "-9223372036854775808 9223372036854775807 -15 -15 ");
}

// --- Printing -------------------------------------------------------------------

TEST(Printing, WordsThatPrintCheckTheStackFirst) {
    // Nothing is printed from below the stack before the error.
    EXPECT_EQ(forth(kTry + "' . try ' u. try ' emit try ' ? try ' spaces try 1 ' type try 1 ' .r try "
                           "1 ' u.r try 1 ' d. try 1 2 ' d.r try 1 ' dump try 1 ' at-xy try"),
              "-4 -4 -4 -4 -4 -4 -4 -4 -4 -4 -4 -4 ");
    EXPECT_EQ(forth("."), "\r\n.: stack underflow\r\n");
}

TEST(Printing, InterpretedDotQuoteAndDumpsLastLine) {
    EXPECT_EQ(forth(".\" hi\" 1 . : t .\" there\" ; t"), "hi1 there");
    const std::string d = forth("create b 65 c, b 1 dump .\" |\" b 0 dump .\" |\"");
    EXPECT_EQ(d.substr(0, 5), "\r\n200") << d;
    EXPECT_EQ(d.substr(10), "  41" + std::string(47, ' ') + "A\r\n|\r\n|") << d;
}

// --- Control structures -------------------------------------------------------

// COMPILES prints the THROW code of compiling a definition from a string.
const std::string kCompiles = ": compiles ( c-addr u -- ) ['] evaluate catch . postpone [ ; ";

TEST(ControlStructures, EveryMismatchIsMinus22WhileCompiling) {
    EXPECT_EQ(forth(kCompiles + R"(s" : x then ;" compiles s" : x else ;" compiles s" : x repeat ;" compiles )"
                                 R"(s" : x loop ;" compiles s" : x +loop ;" compiles s" : x endof ;" compiles )"
                                 R"(s" : x endcase ;" compiles s" : x until ;" compiles s" : x again ;" compiles )"
                                 R"(s" : x leave ;" compiles s" : x begin then ;" compiles s" : x begin loop ;" compiles )"
                                 R"(s" : x if until ;" compiles s" : x if repeat ;" compiles s" : x 1 0 do then ;" compiles )"
                                 R"(s" : x begin 1 0 do until ;" compiles s" : x if ;" compiles s" : x begin ;" compiles )"
                                 R"(s" : x 5 of ;" compiles s" : x case 1 of endcase ;" compiles )"
                                 R"(s" : x case 1 of endof then ;" compiles s" : x if does> ;" compiles )"
                                 R"(s" : x if [ 1 cs-roll ] ;" compiles s" : x 0 do [ 0 cs-pick ] loop ;" compiles)"),
              "-22 -22 -22 -22 -22 -22 -22 -22 -22 -22 -22 -22 -22 -22 -22 -22 -22 -22 -22 -22 -22 -22 -22 -22 ");
    // The message names the word that found the mismatch.
    EXPECT_EQ(forth(": x begin then ;"), "\r\nthen: control structure mismatch\r\n");
}

TEST(ControlStructures, TheStandardsMixesStayLegal) {
    EXPECT_EQ(forth(": w2 begin dup 2 > while dup 5 < while 1+ repeat 123 else 345 then ; 3 w2 . . 1 w2 . . "
                    ": m if 1 else 2 else 3 then ; -1 m . . "
                    ": c case 1 of 10 endof 2 of 0 3 0 do i + loop endof 99 swap endcase ; 1 c . 2 c . 7 c . "
                    ": nest 3 0 do 3 0 do i j = if leave then j 10 * i + . loop loop ; nest "
                    ": ifelse if 1 ahead [ 1 cs-roll ] then 2 then ; -1 ifelse . 0 ifelse . "
                    ": twice 0 begin [ 0 cs-pick ] 1+ dup 3 > until 10 + dup 30 > until ; twice ."),
              "123 5 345 1 3 1 10 3 99 10 20 21 1 2 36 ");
}

TEST(ControlStructures, AFailedDefinitionLeavesTheDictionaryAsBefore) {
    const ProcessResult r = run_process(
        NORVEX_ROM_BIN, {},
        "also internals variable u variable c variable l unused u ! code-here c ! latest @ l !\n"
        ": x 1 2 + s\" abc\" then ;\n"
        ": y [ 1 0 / ] ;\n"
        ":noname if ;\n"
        ": z recurse 1 ?do loop again ;\n"
        "unused u @ - . code-here c @ - . latest @ l @ - . [defined] x . [defined] z .\n");
    EXPECT_NE(r.output.find("0 0 0 0 0  ok"), std::string::npos) << r.output;
}

}  // namespace
}  // namespace norvex::forth
