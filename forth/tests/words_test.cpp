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
    EXPECT_EQ(d.substr(0, 6), "\r\n2000") << d;
    EXPECT_EQ(d.substr(10), "  41" + std::string(47, ' ') + "A\r\n|\r\n|") << d;
}

}  // namespace
}  // namespace norvex::forth
