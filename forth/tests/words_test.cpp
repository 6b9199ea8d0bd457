// Words a programmer meets every day, run in the real norvex-rom: notes on
// redefinitions, division, the printing words, control structures checked
// while compiling, and SEE.
#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

#include "forth/tests/rom_process.h"
#include "forth/tests/rom_terminal.h"

namespace norvex::forth {
namespace {

const std::string kBanner = "Norvex Forth 1.0\n";

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
    EXPECT_EQ(forth("."), "\n.: stack underflow\n");
}

TEST(Printing, InterpretedDotQuoteAndDumpsLastLine) {
    EXPECT_EQ(forth(".\" hi\" 1 . : t .\" there\" ; t"), "hi1 there");
    const std::string d = forth("create b 65 c, b 1 dump .\" |\" b 0 dump .\" |\"");
    EXPECT_EQ(d.substr(0, 4), "\n200") << d;
    EXPECT_EQ(d.substr(9), "  41" + std::string(47, ' ') + "A\n|\n|") << d;
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
    EXPECT_EQ(forth(": x begin then ;"), "\nthen: control structure mismatch\n");
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
    // On the terminal, where an error does not end the session.
    RomTerminal t;
    ASSERT_TRUE(t.line("also internals variable u variable c variable l here u ! code-here c ! latest @ l !",
                       "l !  ok\r\n")) << t.s.output();
    for (const char* line : {": x 1 2 + s\" abc\" then ;", ": y [ 1 0 / ] ;", ":noname if ;",
                             ": z recurse 1 ?do loop again ;"})
        t.s.send(std::string(line) + "\r");
    EXPECT_TRUE(t.line("here u @ - . code-here c @ - . latest @ l @ - . [defined] x . [defined] z .",
                       "0 0 0 0 0  ok\r\n")) << t.s.output();
    EXPECT_EQ(t.leave(), 0);
}

// --- SEE --------------------------------------------------------------------------

// Every control structure and every kind of literal, one definition each.
const std::string kSeePrelude =
    "variable vv 5 value val defer dd create buf 10 allot fvariable fv 2.5e fconstant fk 1e fvalue fval ";
const std::vector<std::string> kSeeCorpus = {
    ": c-if dup 0< if negate then ;",
    ": c-else if 1 else 2 then ;",
    ": c-nest dup 0< if drop -1 else 0> if 1 else 0 then then ;",
    ": c-until begin 1- dup 0= until ;",
    ": c-again begin dup 10 > if exit then 1+ again ;",
    ": c-while begin dup while 1- repeat ;",
    ": c-while2 begin dup 2 > while dup 5 < while 1+ repeat 123 else 345 then ;",
    ": c-while3 begin 1 while 2 while 3 while 4 repeat 5 then 6 then ;",
    ": c-while-until begin dup while 1- dup 3 = until 100 then ;",
    ": c-if-while begin dup 0> while dup 2 mod if 1- else 2 - then repeat ;",
    ": c-ahead ahead 1 then 2 ;",
    ": c-do 10 0 do i . loop ;",
    ": c-do2 0 do i j + . loop ;",
    ": c-qdo 0 ?do i . 2 +loop ;",
    ": c-loops 3 0 do 4 1 do i j * . loop loop ;",
    ": c-step 0 10 do i . -3 +loop ;",
    ": c-anystep 100 0 do i . dup +loop drop ;",
    ": c-leave 10 0 do i 5 = if leave then i . loop ;",
    ": c-qleave 0 ?do i 4 = if leave then i . loop ;",
    ": c-unloop 10 0 do i 5 > if i unloop exit then loop 0 ;",
    ": c-case case 1 of 10 endof 2 of 20 endof 30 swap endcase ;",
    ": c-case2 case 1 of endof 2 of 5 endof endcase ;",
    ": c-exit dup if exit then drop ;",
    ": c-recurse dup 2 < if drop 1 else dup 1- recurse * then ;",
    ": c-tail 1- dup if recurse then ;",
    ": c-rec-loop 0 ?do i recurse loop ;",
    ": c-num 5 -7 123456789 -2147483648 0 $7fffffff ;",
    ": c-double 123. -5. [ 1 2 ] 2literal ;",
    ": c-char [char] a [char] \" [char] \\ ;",
    ": c-s s\" hello world\" type s\" \" ;",
    ": c-s\\ s\\\" tab\\there\\n\\\"q\\\" \\\\ \\x01\" type ;",
    ": c-c c\" counted\" count type ;",
    ": c-dot .\" printed text\" ;",
    ": c-abort dup abort\" failed here\" ;",
    ": c-long .\" a rather long string that should push the printing past the end of one line\" 1 2 ;",
    ": c-tick ['] dup execute ['] if drop ;",
    ": c-post postpone dup postpone if postpone ; ;  immediate",
    ": c-comp ['] + compile, ;",
    ": c-body vv @ buf 3 + val to val ['] dup is dd dd ;",
    ": c-mid 1 execute 2 ;",
    ": c-does create , does> @ 1+ ;",
    ": c-locals {: a b | c :} a b + to c c ;",
    ": q3 5 . ;",
    ": f-lit 1.5e 2e f+ f. -0.25e fdup f* 1e-300 3.14159e ;",
    ": f-words fv f@ fk f+ fval f* fv f! 5e to fval 3 0 do 0.5e f+ loop ;",
};

// Shows each word of the corpus (SEE, and its code in hex) after compiling
// the prelude and the definitions.
std::map<std::string, std::pair<std::string, std::string>> see_and_code(const std::vector<std::string>& defs) {
    std::vector<std::string> names;
    std::string text = kSeePrelude + ": .code ( a1 a2 -- ) base @ >r hex swap ?do i c@p . loop r> base ! ; ";
    for (const std::string& d : defs) {
        text += d + " ";
        names.push_back(d.substr(2, d.find(' ', 2) - 2));
    }
    text += ": end-of-corpus ; ";
    for (size_t k = 0; k < names.size(); ++k) {
        const std::string next = k + 1 < names.size() ? names[k + 1] : "end-of-corpus";
        text += ".\" <see>\" see " + names[k] + " .\" <code>\" ' " + names[k] + " ' " + next + " 4 - .code .\" </code>\" ";
    }
    const std::string out = forth(text);
    std::map<std::string, std::pair<std::string, std::string>> shown;
    size_t at = 0;
    for (const std::string& name : names) {
        const size_t see = out.find("<see>", at), code = out.find("<code>", see), end = out.find("</code>", code);
        if (end == std::string::npos) break;
        shown[name] = {out.substr(see + 5, code - see - 5), out.substr(code + 6, end - code - 6)};
        at = end;
    }
    return shown;
}

TEST(See, ItsTextCompiledAgainGivesTheSameCode) {
    const auto first = see_and_code(kSeeCorpus);
    ASSERT_EQ(first.size(), kSeeCorpus.size());
    std::vector<std::string> again;
    for (const std::string& def : kSeeCorpus) {
        std::string text = first.at(def.substr(2, def.find(' ', 2) - 2)).first;
        for (size_t k; (k = text.find("\n")) != std::string::npos;) text.replace(k, 1, " ");
        again.push_back(text.substr(text.find(':')));
    }
    const auto second = see_and_code(again);
    for (const auto& [name, shown] : first) {
        ASSERT_TRUE(second.count(name)) << name;
        EXPECT_FALSE(shown.second.empty()) << name;
        EXPECT_EQ(second.at(name).second, shown.second) << name << ":" << shown.first;
        EXPECT_EQ(second.at(name).first, shown.first) << name;
    }
}

TEST(See, LiteralsAndCallsAreShownAsWritten) {
    EXPECT_EQ(forth(": q3 5 . ; see q3"), "\n: q3 \n  5 . ; ");
    EXPECT_EQ(forth(": c c\" counted\" count type s\\\" a\\\"b\\x01\" type ; see c"),
              "\n: c \n  c\" counted\" count type s\\\" a\\\"b\\x01\" type ; ");
    EXPECT_EQ(forth(": p postpone then ['] + compile, ; see p"), "\n: p \n  postpone then postpone + ; ");
    EXPECT_EQ(forth(": w begin dup 2 > while dup 5 < while 1+ repeat 1 else 2 then ; see w"),
              "\n: w \n  begin \n    dup 2 > while \n      dup 5 < while \n      1+ \n"
              "    repeat \n    1 \n  else \n    2 \n  then ; ");
}

TEST(See, WordsAreShownByTheDefiningWordThatMadeThem) {
    EXPECT_EQ(forth("variable v 2variable v2 fvariable fv create c 3 constant k 4 value x 1 2 2value two "
                    "-12345678901. 2constant big 8 4 +field f defer d ' v is d : m create , does> @ ; 7 m mm "
                    "see v see v2 see fv see c see k see x see two see big see f see d see mm"),
              "\nvariable v \n2variable v2 \nfvariable fv \ncreate c \n3 constant k \n4 value x \n1 2 2value two "
              "\n-12345678901. 2constant big \n8 +field f \ndefer d ( is v ) "
              "\ncreate mm \ndoes> \n  @ ; ");
}

}  // namespace
}  // namespace norvex::forth
