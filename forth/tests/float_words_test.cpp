// The floating-point words as a program uses them in the real norvex-rom:
// literals, the stack and its errors, definitions, printing, text input,
// the special values of the functions, SEE and ENVIRONMENT?.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "forth/tests/rom_process.h"

namespace norvex::forth {
namespace {

const std::string kBanner = "Norvex Forth 1.0\n";

// The output after the version line; an error ends the run with status 1.
std::string run_text(const std::string& text, int status) {
    const ProcessResult r = run_process(NORVEX_ROM_BIN, {text + " bye"}, "");
    EXPECT_EQ(r.status, status) << r.output;
    if (r.output.rfind(kBanner, 0) != 0) return "no version line: " + r.output;
    return r.output.substr(kBanner.size());
}
std::string forth(const std::string& text) { return run_text(text, 0); }
std::string failing(const std::string& text) { return run_text(text, 1); }

TEST(FloatWords, LiteralsNeedAnExponentAndDecimalBase) {
    EXPECT_EQ(forth("1e f. 1.5e0 f. -3.25E-3 f. +1e+10 f. 1.e f. 2E f."),
              "1. 1.5 -0.00325 10000000000. 1. 2. ");
    // A number with a point and no exponent is a double; in hex E is a digit.
    EXPECT_EQ(forth("15. d. fdepth . hex 1e . decimal fdepth ."), "15 0 1E 0 ");
    EXPECT_EQ(failing("1.5"), "\n1.5: undefined word\n");
    EXPECT_EQ(failing("1d"), "\n1d: undefined word\n");
    EXPECT_EQ(forth(": t 2.5e0 f* ; 4e t f. : u [ 3e ] fliteral ; u f."), "10. 3. ");
}

TEST(FloatWords, StackWordsAndTheirErrors) {
    EXPECT_EQ(forth("1e 2e 3e frot f. f. f. 1e 2e fswap f. f. 1e 2e fover f. f. f. fdepth ."),
              "1. 3. 2. 1. 2. 1. 2. 1. 0 ");
    EXPECT_EQ(failing("fdrop"), "\nfdrop: floating-point stack underflow\n");
    EXPECT_EQ(failing("1e f+"), "\nf+: floating-point stack underflow\n");
    EXPECT_EQ(failing(": many 300 0 do 1e loop ; many"), "\nmany: floating-point stack overflow\n");
    // The stack words are compiled inline; their copies branch to the words
    // that throw, and a copy's branches inside its own code stay inside.
    EXPECT_EQ(forth(": t1 fdup ; : t2 fover ; : t3 fswap ; : t4 frot ; : t5 0 fpick ; : t6 fnegate ; "
                    "' t1 catch . ' t2 catch . ' t3 catch . ' t4 catch . ' t5 catch . ' t6 catch . "
                    ": full 256 0 do 1e loop ; full ' t1 catch . ' t2 catch . ' t5 catch . fdepth ."),
              "-45 -45 -45 -45 -45 -45 -44 -44 -44 256 ");
    EXPECT_EQ(forth("also internals : f1 if 1 else 2 then ; inline-latest : g 0 f1 -1 f1 ; g . ."), "1 2 ");
    // CATCH gives back the depth the float stack had.
    EXPECT_EQ(forth("1e 2e fdepth . : t 3e 4e -1 throw ; ' t catch . fdepth . f.s"),
              "2 -1 2 <2> 1.00000000000000E0 2.00000000000000E0 ");
}

TEST(FloatWords, MemoryAndDefinitions) {
    EXPECT_EQ(forth("fvariable v 2.5e v f! v f@ f. 1.5e fconstant c c c f+ f. "
                    "7e fvalue fv fv f. 8e to fv fv f. : set 9e to fv ; set fv f. "
                    "1 floats . 3 sfloats . 0 float+ . 5 faligned . 5 sfaligned . 9 dfaligned ."),
              "2.5 3. 7. 8. 9. 8 12 8 8 8 16 ");
    EXPECT_EQ(forth("0 ffield: a sffield: b dffield: c constant size size . 0 a . 0 b . 0 c ."),
              "24 0 8 16 ");
    // binary64 in memory, little-endian; binary32 for SF! and SF@.
    EXPECT_EQ(forth("create m 8 allot 1e m f! m @ hex u. m cell+ @ u. decimal -2e m sf! m @ hex u."),
              "0 3FF00000 C0000000 ");
}

TEST(FloatWords, PrintingFollowsPrecision) {
    EXPECT_EQ(forth("precision . 1e 3e f/ f. 2e3 f. 0.000125e f. -0e f. 1e30 fs. 12345e fe."),
              "15 0.333333333333333 2000. 0.000125 -0. 1.00000000000000E30 12.3450000000000E3 ");
    EXPECT_EQ(forth("5 set-precision 2e 3e f/ f. 2e 3e f/ fs. 2e 3e f/ fe. 1e400 f. -1e400 fs. 0e 0e f/ f."),
              "0.66667 6.6667E-1 666.67E-3 inf -inf -nan ");
    EXPECT_EQ(forth("create b 10 allot 125e b 3 represent . . . b 3 type  0.5e b 1 represent . . . b 1 type"),
              "-1 0 3 125-1 0 0 5");
}

TEST(FloatWords, ToFloatSyntax) {
    EXPECT_EQ(forth("s\" 1.5\" >float . f. s\" 1d2\" >float . f. s\" 1.5-1\" >float . f. s\" .5\" >float . f."),
              "-1 1.5 -1 100. -1 0.15 -1 0.5 ");
    EXPECT_EQ(forth("s\" \" >float . f. s\"    \" >float . f. s\" 1e\" >float . f."), "-1 0. -1 0. -1 1. ");
    EXPECT_EQ(forth("s\" 1.5e\" 2 - >float . s\" e5\" >float . s\" 1e5x\" >float . s\" --1\" >float . "
                    "s\" 1 e\" >float . s\" .\" >float . fdepth ."),
              "-1 0 0 0 0 0 1 ");
}

TEST(FloatWords, ComparisonsAndApproximateEquality) {
    EXPECT_EQ(forth("-0e 0e f< . 0e -0e f= . 0e 0e f/ fdup f= . 1e 2e f< . 2e 1e f> . -1e f0< . 0e f0= ."),
              "0 -1 0 -1 -1 -1 -1 ");
    EXPECT_EQ(forth("1e 1.1e 0.2e f~ . 1e 1.1e 0.05e f~ . 0e -0e 0e f~ . 100e 101e -0.01e f~ . "
                    "100e 102e -0.001e f~ ."),
              "-1 0 0 -1 0 ");
}

TEST(FloatWords, SpecialValuesOfTheFunctions) {
    // C99 and IEEE 754: poles, domain errors, signed zeros, infinities. An
    // invalid operation gives the NaN the host's processor gives, negative.
    EXPECT_EQ(forth("0e fln f. -1e fln f. 0e flog f. -1e flnp1 f. -2e fsqrt f. -0e fsqrt f. 2e fasin f."),
              "-inf -nan -inf -inf -nan -0. -nan ");
    EXPECT_EQ(forth("0e -0e fatan2 f. -0e -1e fatan2 fs. 1e 1e0 0e f/ fatan2 f. -1e400 fexp f. 1e400 fatanh f."),
              "3.14159265358979 -3.14159265358979E0 0. 0. -nan ");
    EXPECT_EQ(forth("0e -1e f** f. -0e -3e f** f. -8e 3e f** f. -8e 0.5e f** f. 0e 0e f/ 0e f** f. "
                    "1e 0e 0e f/ f** f. -1e 1e400 f** f. 0.5e -1e400 f** f."),
              "inf -inf -512. -nan 1. 1. 1. inf ");
    EXPECT_EQ(forth("1e400 fsin f. -0e fsin f. -0e ftan f. 1e400 ftanh f. -1e400 fasinh f. 1e fatanh f."),
              "-nan -0. -0. 1. -inf inf ");
}

TEST(FloatWords, SeeShowsFloatLiterals) {
    EXPECT_EQ(forth(": t 1.5e0 0.1e f+ -2e300 ; see t"), "\n: t \n  1.5E0 1E-1 f+ -2E300 ; ");
    // Stack words are compiled inline, with branches of their own: SEE reads each as one word.
    EXPECT_EQ(forth(": s fdup fover fswap 2 fpick frot fdrop fnegate fabs 1e f> if 2e then ; see s"),
              "\n: s \n  fdup fover fswap 2 fpick frot fdrop fnegate fabs 1E0 f> if \n    2E0 \n  then ; ");
    EXPECT_EQ(forth("2.5e fconstant c see c 3e fvalue v 4e to v see v fvariable w see w"),
              "\n2.5E0 fconstant c \n4E0 fvalue v \nfvariable w ");
}

TEST(FloatWords, EnvironmentAnswers) {
    EXPECT_EQ(forth("s\" FLOATING\" environment? . . s\" FLOATING-EXT\" environment? . . "
                    "s\" FLOATING-STACK\" environment? . . s\" MAX-FLOAT\" environment? . fs."),
              "-1 -1 -1 -1 -1 256 -1 1.79769313486232E308 ");
}

// The floating-point test files of the Forth-2012 suite, under their tester.
TEST(FloatWords, SharedTestFilesPass) {
    const std::string dir = FORTH2012_DIR "/fp";
    if (!std::filesystem::exists(dir)) GTEST_SKIP() << "no " << dir;
    const ProcessResult r =
        run_process(NORVEX_ROM_BIN, {"include ttester.fs include ak-fp-test.fth include fpzero-test.4th bye"}, "", dir);
    EXPECT_NE(r.output.find("End of ak-fp-test.fth"), std::string::npos) << r.output;
    EXPECT_NE(r.output.find("System supports fp signed zero."), std::string::npos) << r.output;
    EXPECT_NE(r.output.find("#ERRORS: 0"), std::string::npos) << r.output;
    EXPECT_EQ(r.output.find("INCORRECT RESULT"), std::string::npos) << r.output;
    EXPECT_EQ(r.output.find("WRONG NUMBER"), std::string::npos) << r.output;
    EXPECT_EQ(r.output.find("undefined word"), std::string::npos) << r.output;
}

}  // namespace
}  // namespace norvex::forth
