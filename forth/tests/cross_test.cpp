// The cross-compiler: the code it generates, the headers it lays out, and
// the errors it reports.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "core/machine.h"
#include "forth/cross/cross.h"
#include "forth/cross/layout.h"
#include "image/header.h"

namespace norvex::forth {
namespace {

// A minimal source: a data space and a few primitives.
const char* kBase = R"(
$20000000 DATA-SPACE
PRIM: dup  ( x -- x x )  DUP ;
PRIM: *    ( n1 n2 -- n3 )  UM* DROP ;  FOLDABLE
PRIM: i    ( -- n )  R> R@ OVER - SWAP >R ;
PRIM: execute  ( xt -- )  EXECUTE ;
CREATE words-list  0 , 0 ,  64 CELLS ALLOT
)";
const char* kSeal = "words-list LINK-NAMES  ' dup START! ";

struct Built {
    CrossCompiler cross;
    std::vector<uint8_t> image;

    uint8_t at(uint32_t a) const { return image.at(a); }
    uint32_t cell(uint32_t a) const { return load32(&image.at(a)); }
    std::vector<uint8_t> code(std::string_view word, size_t n) const {
        const uint32_t xt = *cross.xt_of(word);
        return {image.begin() + xt, image.begin() + xt + long(n)};
    }
    // A byte of data space, read from the copy the image carries at #pv.
    uint32_t data_cell(uint32_t addr) const { return cell(pv() + 4 + (addr - 0x20000000)); }
    uint8_t data_byte(uint32_t addr) const { return at(pv() + 4 + (addr - 0x20000000)); }
    uint32_t pv() const { return cell(H_PV); }
};

Built build(const std::string& text) {
    Built b;
    b.cross.compile_text(std::string(kBase) + text + "\n" + kSeal, "test.fs");
    b.image = b.cross.image();
    return b;
}

// The error the base text and then this text give, or "no error".
std::string error_of(const std::string& text) {
    CrossCompiler cc;
    try {
        cc.compile_text(std::string(kBase) + text, "k.fs");
    } catch (const CrossError& e) {
        return std::string(e.what());
    }
    return std::string("no error");
}

// The same without "origin:line: ".
std::string message_of(const std::string& text) {
    const std::string e = error_of(text);
    const size_t colon = e.find(": ");
    return colon == std::string::npos ? e : e.substr(colon + 2);
}

std::vector<uint8_t> rel(uint8_t opcode, uint32_t from_after, uint32_t to) {
    const uint32_t off = to - from_after;
    return {opcode, uint8_t(off), uint8_t(off >> 8), uint8_t(off >> 16), uint8_t(off >> 24)};
}

std::vector<uint8_t> concat(std::initializer_list<std::vector<uint8_t>> parts) {
    std::vector<uint8_t> all;
    for (const auto& p : parts) all.insert(all.end(), p.begin(), p.end());
    return all;
}

TEST(CrossCodegen, PrimitivesInlineAndCallsInTailPositionBecomeBranches) {
    const Built b = build(": sq dup * ;  : tail sq ;  : notail sq 7 ;");
    EXPECT_EQ(b.code("sq", 4), (std::vector<uint8_t>{0x0A, 0x1B, 0x09, 0x05}));
    const uint32_t sq = *b.cross.xt_of("sq"), tail = *b.cross.xt_of("tail"),
                   notail = *b.cross.xt_of("notail");
    EXPECT_EQ(b.code("tail", 5), rel(0x01, tail + 5, sq));
    EXPECT_EQ(b.code("notail", 11),
              concat({rel(0x00, notail + 5, sq), {0x04, 7, 0, 0, 0, 0x05}}));
}

TEST(CrossCodegen, ExecuteInTailPositionJumps) {
    const Built b = build(": run execute ;  : keep execute 1 ;  : target if execute then ;");
    EXPECT_EQ(b.code("run", 2), (std::vector<uint8_t>{0x0F, 0x05}));
    EXPECT_EQ(b.code("keep", 7), (std::vector<uint8_t>{0x06, 0x04, 1, 0, 0, 0, 0x05}));
    EXPECT_EQ(b.code("target", 7), (std::vector<uint8_t>{0x02, 1, 0, 0, 0, 0x06, 0x05}));
}

TEST(CrossCodegen, ACallBeforeALabelKeepsItsReturn) {
    // THEN is a branch target right after the call: it must stay a CALL.
    const Built b = build(": f dup if dup then ;  : g if f then ;");
    const uint32_t f = *b.cross.xt_of("f"), g = *b.cross.xt_of("g");
    EXPECT_EQ(b.code("g", 11), concat({{0x02, 5, 0, 0, 0}, rel(0x00, g + 10, f), {0x05}}));
}

TEST(CrossCodegen, ControlStructures) {
    const Built b = build(": c if 1 else 2 then ;  : w begin dup while dup repeat ;");
    EXPECT_EQ(b.code("c", 21), (std::vector<uint8_t>{0x02, 10, 0, 0, 0, 0x04, 1, 0, 0, 0, 0x01, 5, 0,
                                                     0, 0, 0x04, 2, 0, 0, 0, 0x05}));
    // begin: DUP 0BRANCH(after) DUP BRANCH(begin) EXIT
    EXPECT_EQ(b.code("w", 13),
              (std::vector<uint8_t>{0x0A, 0x02, 6, 0, 0, 0, 0x0A, 0x01, 0xF4, 0xFF, 0xFF, 0xFF, 0x05}));
}

TEST(CrossCodegen, CountedLoops) {
    const Built b = build(": l 0 do i loop ;  : q ?do leave loop ;");
    // DO: SWAP LIT -1 + DUP >R SWAP - >R; body: I (inline); NBRANCH body; RDROP
    const std::vector<uint8_t> setup{0x0C, 0x04, 0xFF, 0xFF, 0xFF, 0xFF, 0x16, 0x0A, 0x0F, 0x0C, 0x17, 0x0F};
    const std::vector<uint8_t> i{0x10, 0x11, 0x0B, 0x17, 0x0C, 0x0F};
    const uint32_t l = *b.cross.xt_of("l");
    const uint32_t body = l + 5 + uint32_t(setup.size());
    EXPECT_EQ(b.code("l", 30), concat({{0x04, 0, 0, 0, 0}, setup, i, rel(0x03, body + 11, body), {0x12, 0x05}}));
    // ?DO: OVER OVER - 0BRANCH(skip), DO setup; LEAVE: RDROP RDROP BRANCH(exit);
    // LOOP: NBRANCH RDROP BRANCH(exit); skip: DROP DROP; exit: EXIT.
    const uint32_t q = *b.cross.xt_of("q");
    const uint32_t qbody = q + 8 + uint32_t(setup.size());
    const uint32_t qexit = qbody + 7 + 5 + 1 + 5 + 2;
    EXPECT_EQ(b.code("q", 41), concat({{0x0B, 0x0B, 0x17}, rel(0x02, q + 8, qexit - 2), setup,
                                       {0x12, 0x12}, rel(0x01, qbody + 7, qexit),
                                       rel(0x03, qbody + 12, qbody), {0x12},
                                       rel(0x01, qbody + 18, qexit), {0x09, 0x09, 0x05}}));
}

TEST(CrossCodegen, ValuesCompileAsLiterals) {
    const Built b = build("5 CONSTANT five  VARIABLE v  : u five v ;");
    const uint32_t vaddr = load32(&b.image.at(*b.cross.xt_of("v") + 1));
    EXPECT_EQ(b.code("u", 11), (std::vector<uint8_t>{0x04, 5, 0, 0, 0, 0x04, uint8_t(vaddr), uint8_t(vaddr >> 8),
                                                     uint8_t(vaddr >> 16), uint8_t(vaddr >> 24), 0x05}));
    // The value words themselves: LIT x EXIT and four NOPs for DOES>.
    EXPECT_EQ(b.code("five", 10), (std::vector<uint8_t>{0x04, 5, 0, 0, 0, 0x05, 0x3F, 0x3F, 0x3F, 0x3F}));
}
TEST(CrossCodegen, TopLevelWordsAndBracketsRunAtCrossCompileTime) {
    const Built b = build("DEFER d  ' dup IS d  : f [ 3 4 + ] literal d ;  CHAR A CONSTANT a\n"
                          ": g [char] B ;  : h c\" hi\" ;");
    // DEFER: LIT cell @ EXECUTE EXIT, the cell holding what IS stored.
    const uint32_t d = *b.cross.xt_of("d"), f = *b.cross.xt_of("f");
    const uint32_t cell = load32(&b.image.at(d + 1));
    EXPECT_EQ(b.code("d", 8), (std::vector<uint8_t>{0x04, uint8_t(cell), uint8_t(cell >> 8), uint8_t(cell >> 16),
                                                    uint8_t(cell >> 24), 0x24, 0x06, 0x05}));
    EXPECT_EQ(b.data_cell(cell), *b.cross.xt_of("dup"));
    EXPECT_EQ(b.code("f", 10), concat({{0x04, 7, 0, 0, 0}, rel(0x01, f + 10, d)}));
    EXPECT_EQ(b.code("a", 5), (std::vector<uint8_t>{0x04, 'A', 0, 0, 0}));
    EXPECT_EQ(b.code("g", 6), (std::vector<uint8_t>{0x04, 'B', 0, 0, 0, 0x05}));
    // C": a counted string in data space, its address a literal.
    const uint32_t s = load32(&b.image.at(*b.cross.xt_of("h") + 1));
    EXPECT_EQ(b.data_byte(s), 2);
    EXPECT_EQ(b.data_byte(s + 1), 'h');
    EXPECT_EQ(b.data_byte(s + 2), 'i');
}

TEST(CrossHeaders, EveryNameIsFoundThroughItsThread) {
    const Built b = build(": Alpha ;  : beta ; IMMEDIATE  : gamma-delta ;  : alpha2 alpha ;");
    const uint32_t wid = load32(&b.image.at(*b.cross.xt_of("words-list") + 1));
    for (const char* name : {"dup", "*", "i", "words-list", "Alpha", "beta", "gamma-delta", "alpha2"}) {
        SCOPED_TRACE(name);
        const std::string n = name;
        const uint32_t hash = name_hash(n);
        // The search the kernel makes: the thread, then count and tag, then letters.
        uint32_t nt = b.data_cell(wid + kWordlistThreads + 4 * hash_thread(hash));
        uint32_t found = 0;
        for (; nt && !found; nt = b.data_cell(nt + kLinkOffset)) {
            if (b.data_byte(nt + kCountOffset) != n.size() || b.data_byte(nt + kTagOffset) != hash_tag(hash))
                continue;
            bool same = true;
            for (size_t k = 0; k < n.size(); ++k)
                same = same && upper(b.data_byte(nt + kNameOffset + uint32_t(k))) == upper(uint8_t(n[k]));
            if (same) found = nt;
        }
        ASSERT_NE(found, 0u);
        // The header and the code lead to each other.
        const uint32_t xt = b.data_cell(found + kXtOffset);
        EXPECT_EQ(xt, *b.cross.xt_of(name));
        EXPECT_EQ(b.cell(xt - 4), found);
    }
}

TEST(CrossHeaders, FlagsSayHowToCompileTheWord) {
    const Built b = build(": beta ; IMMEDIATE  5 CONSTANT five");
    auto flags = [&](const char* name) {
        return b.data_byte(b.cell(*b.cross.xt_of(name) - 4) + kFlagsOffset);
    };
    auto inline_length = [&](const char* name) {
        return b.data_byte(b.cell(*b.cross.xt_of(name) - 4) + kInlineOffset);
    };
    EXPECT_EQ(flags("beta"), kImmediate);
    EXPECT_EQ(flags("*"), kInline | 2);   // folds two literals
    EXPECT_EQ(inline_length("*"), 2);
    EXPECT_EQ(flags("i"), kInline);
    EXPECT_EQ(inline_length("i"), 6);
    EXPECT_EQ(flags("five"), kInline);
    EXPECT_EQ(inline_length("five"), 5);
}

// OPCODE and the header fields: numbers the opcode table and the dictionary
// layout define, named in the source and never made words of the kernel.
TEST(CrossTables, OpcodeGivesTheTablesCodeInEitherState) {
    const Built b = build(
        "OPCODE call CONSTANT c-call  OPCODE 0branch CONSTANT c-0branch  OPCODE NOP CONSTANT c-nop\n"
        ": lit-dup  OPCODE dup ;  : lit-fw@  [ OPCODE FW@ ] LITERAL ;");
    auto lit = [](Op o) { return std::vector<uint8_t>{0x04, uint8_t(o), 0, 0, 0}; };
    EXPECT_EQ(b.code("c-call", 5), lit(Op::CALL));
    EXPECT_EQ(b.code("c-0branch", 5), lit(Op::ZBRANCH));
    EXPECT_EQ(b.code("c-nop", 5), lit(Op::NOP));
    EXPECT_EQ(b.code("lit-dup", 6), concat({lit(Op::DUP), {0x05}}));
    EXPECT_EQ(b.code("lit-fw@", 6), concat({lit(Op::FWFETCH), {0x05}}));
    EXPECT_FALSE(b.cross.xt_of("opcode"));
}

TEST(CrossTables, HeaderFieldsAddTheirOffsets) {
    const Built b = build("PRIM: @ ( a-addr -- x ) @ ;  : xt-of  >xt @ ;  : link-of  >link @ ;  : name-of  >name ;\n"
                          "100 >flags CONSTANT flags-at  100 >threads CONSTANT threads-at");
    // As cell+ @ and 12 + would compile; the link at +0 adds nothing.
    EXPECT_EQ(b.code("xt-of", 8), (std::vector<uint8_t>{0x04, kXtOffset, 0, 0, 0, 0x16, 0x24, 0x05}));
    EXPECT_EQ(b.code("link-of", 2), (std::vector<uint8_t>{0x24, 0x05}));
    EXPECT_EQ(b.code("name-of", 7), (std::vector<uint8_t>{0x04, kNameOffset, 0, 0, 0, 0x16, 0x05}));
    EXPECT_EQ(b.code("flags-at", 5), (std::vector<uint8_t>{0x04, 100 + kFlagsOffset, 0, 0, 0}));
    EXPECT_EQ(b.code("threads-at", 5), (std::vector<uint8_t>{0x04, 100 + kWordlistThreads, 0, 0, 0}));
    EXPECT_FALSE(b.cross.xt_of(">xt"));
}

TEST(CrossTables, UnknownMnemonicsAndTakenNamesAreErrors) {
    EXPECT_NE(error_of("OPCODE FROB CONSTANT x").find("OPCODE needs a mnemonic"), std::string::npos);
    EXPECT_NE(error_of(": f OPCODE ;").find("OPCODE needs a mnemonic"), std::string::npos);
    EXPECT_NE(error_of(": >Flags ;").find("table word"), std::string::npos);
    EXPECT_NE(error_of("1 CONSTANT opcode").find("table word"), std::string::npos);
}

TEST(CrossImage, HeaderPointsAtTheDataCopyAndTheStart) {
    const Built b = build("");
    EXPECT_EQ(b.cell(H_START), *b.cross.xt_of("dup"));
    EXPECT_EQ(b.pv() % 4, 0u);
    EXPECT_EQ(b.cell(b.pv()) + b.pv() + 4, b.image.size());
}

TEST(CrossErrors, NameTheSourceLine) {
    CrossCompiler c;
    try {
        c.compile_text(std::string(kBase) + ": f\n  dup frob ;", "k.fs");
        FAIL() << "no error";
    } catch (const CrossError& e) {
        // The second line after the base text.
        const auto line = 2 + std::count(kBase, kBase + std::strlen(kBase), '\n');
        EXPECT_EQ(std::string(e.what()), "k.fs:" + std::to_string(line) + ": undefined word frob");
    }
    EXPECT_NE(error_of(": f if ;").find("unbalanced"), std::string::npos);
    EXPECT_NE(error_of(": f then ;").find("unbalanced"), std::string::npos);
    EXPECT_NE(error_of("PRIM: f ( x -- x x ) DUP ; FOLDABLE").find("FOLDABLE"), std::string::npos);
    EXPECT_NE(error_of("PRIM: f CALL ;").find("operand"), std::string::npos);
    EXPECT_NE(error_of(": f").find("not ended"), std::string::npos);
}

TEST(CrossErrors, EachWordSaysWhatWentWrong) {
    const std::string long_string(256, 'x');
    EXPECT_EQ(message_of("' dup IS dup"), "dup is not a DEFER word");
    EXPECT_EQ(message_of("1 2 HEADER!"), "HEADER! offset 2 is not a header cell the source sets");
    EXPECT_EQ(message_of("0 DATA-SPACE"), "DATA-SPACE given twice");
    EXPECT_EQ(message_of("CHAR"), "CHAR needs a character");
    EXPECT_EQ(message_of(": f [CHAR]"), "[CHAR] needs a character");
    EXPECT_EQ(message_of(",\" " + long_string + "\""), "string too long");
    EXPECT_EQ(message_of(": f c\" " + long_string + "\" ;"), "string too long");
    EXPECT_EQ(message_of("i"), "i cannot run at cross-compile time");
    EXPECT_EQ(message_of(": g ; IMMEDIATE : f g ;"), "g is immediate and cannot run at cross-compile time");
    EXPECT_EQ(message_of(": f leave ;"), "LEAVE outside a loop");
    EXPECT_EQ(message_of(": f [ 1"), "missing ]");
    EXPECT_EQ(message_of("DROP"), "stack empty");
    EXPECT_EQ(message_of("PRIM: p FROB ;"), "not an opcode, number, service or constant: FROB");
}

TEST(CrossErrors, ImageNeedsEveryNameLinkedAndAStart) {
    CrossCompiler c;
    c.compile_text(std::string(kBase) + kSeal + ": late ;", "k.fs");
    EXPECT_THROW(c.image(), CrossError);
}

}  // namespace
}  // namespace norvex::forth
