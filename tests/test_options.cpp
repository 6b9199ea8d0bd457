// The option reader, PARSEHEX and the resolution of the memory configuration.
#include <gtest/gtest.h>

#include "asm/assembler.h"
#include "image/header.h"
#include "image/options.h"

namespace norvex {
namespace {

TEST(Parsehex, DigitsCaseAndWidth) {
    size_t pos = 0;
    EXPECT_EQ(PARSEHEX("abC9x", pos), 0xABC9u);
    EXPECT_EQ(pos, 4u);
    pos = 0;
    EXPECT_EQ(PARSEHEX("123456789", pos), 0x23456789u);   // the last eight digits count
    pos = 0;
    EXPECT_EQ(PARSEHEX("g", pos), 0u);
    EXPECT_EQ(pos, 0u);
}

TEST(CommandLine, AllFiveSettings) {
    const CommandLine cl = read_command_line("+A+H +P0.10000 +V20000000.100000 +S100 img");
    ASSERT_TRUE(cl.ok);
    EXPECT_EQ(cl.flags, uint32_t(F_ALIGN | F_ALIGNSET | F_HARVARD | F_HARVSET | F_PRGSEP | F_PRGSET |
                                 F_VARSET | F_STARTSET));
    EXPECT_EQ(cl.prg_off, 0u);
    EXPECT_EQ(cl.prg_size, 0x10000u);
    EXPECT_EQ(cl.var_off, 0x20000000u);
    EXPECT_EQ(cl.var_size, 0x100000u);
    EXPECT_EQ(cl.start, 0x100u);
    EXPECT_EQ(cl.name, "img");
}

TEST(CommandLine, StartAddressForms) {
    EXPECT_EQ(read_command_line("+s5320 i").start, 0x5320u);
    EXPECT_EQ(read_command_line("+Sabc i").start, 0xABCu);
    EXPECT_EQ(read_command_line("+S i").start, 0u);
    EXPECT_TRUE(read_command_line("+S i").flags & F_STARTSET);
}

TEST(CommandLine, RangesNeedTheDot) {
    EXPECT_FALSE(read_command_line("+P100 img").ok);
    EXPECT_FALSE(read_command_line("+V100").ok);
    const CommandLine cl = read_command_line("+P.400 img");
    ASSERT_TRUE(cl.ok);
    EXPECT_EQ(cl.prg_off, 0u);
    EXPECT_EQ(cl.prg_size, 0x400u);
}

TEST(CommandLine, MinusForms) {
    const CommandLine cl = read_command_line("+P10.20 +A -P -a img");
    EXPECT_EQ(cl.flags & (F_PRGSEP | F_ALIGN), 0u);
    EXPECT_EQ(cl.flags & (F_PRGSET | F_ALIGNSET), uint32_t(F_PRGSET | F_ALIGNSET));
    EXPECT_EQ(cl.prg_size, 0x20u);   // kept, but not separate
}

TEST(CommandLine, UnknownLettersEndTheOptions) {
    EXPECT_EQ(read_command_line("-X img").name, "img");   // dropped after "-"
    EXPECT_EQ(read_command_line("+Ximg").name, "Ximg");   // kept after "+"
    const std::string line = "-V20000000.100 img";
    const CommandLine cl = read_command_line(line);
    EXPECT_EQ(cl.name, "20000000.100");
    EXPECT_EQ(line.substr(cl.rest), "img");
}

TEST(CommandLine, MissingName) {
    for (const char* line : {"", "   ", "+A", "+", "-", "+A -", "-X", "-X   ", "\\ img", "/ img", "\"\""})
        EXPECT_FALSE(read_command_line(line).ok) << '[' << line << ']';
}

TEST(CommandLine, TracePrefixes) {
    CommandLine cl = read_command_line("\\img");
    EXPECT_EQ(cl.dbgmode, DM_TRACE | DM_STEP);
    EXPECT_EQ(cl.name, "img");
    cl = read_command_line("+A /img x");
    EXPECT_EQ(cl.dbgmode, DM_TRACE);
    EXPECT_EQ(cl.name, "img");
    cl = read_command_line("\"\\img\"");   // inside quotes it is part of the name
    EXPECT_EQ(cl.dbgmode, 0);
    EXPECT_EQ(cl.name, "\\img");
    cl = read_command_line("\\\"my img\" a");
    EXPECT_EQ(cl.dbgmode, DM_TRACE | DM_STEP);
    EXPECT_EQ(cl.name, "my img");
}

TEST(CommandLine, RestOfTheLine) {
    struct Case {
        std::string line, name, rest;
    } cases[] = {
        {"img a  b", "img", "a  b"},
        {"img  a", "img", " a"},
        {"img", "img", ""},
        {"\"my image.zvk\" rest", "my image.zvk", " rest"},
        {"\"open quote", "open quote", ""},
        {"img +A", "img", "+A"},
    };
    for (const Case& c : cases) {
        const CommandLine cl = read_command_line(c.line);
        ASSERT_TRUE(cl.ok) << c.line;
        EXPECT_EQ(cl.name, c.name) << c.line;
        EXPECT_EQ(c.line.substr(cl.rest), c.rest) << c.line;
    }
}

// The resolution steps, given header bytes and what the command line set.
struct Resolved {
    MemConf c;
    uint32_t pc = 0;
};

Resolved resolve(const assembler::ImageHeader& h, const CommandLine& cl = {}) {
    const std::vector<uint8_t> bytes = h.bytes();
    Resolved r;
    r.c.Flag = cl.flags;
    r.c.PRGOFF = cl.prg_off;
    r.c.PRGSIZE = cl.prg_size;
    r.c.VAROFF = cl.var_off;
    r.c.VARSIZE = cl.var_size;
    r.pc = cl.start;
    int steps = 0;
    resolve_config(bytes.data(), r.c, r.pc, [&](int step) { EXPECT_EQ(step, ++steps); });
    EXPECT_EQ(steps, 5);
    return r;
}

assembler::ImageHeader builtin_header() {
    assembler::ImageHeader h;
    h.flags = 0xC4;
    h.start = 0x5320;
    h.px = 0x200000;
    h.p0 = 0;
    h.vx = 0x20100000;
    h.v0 = 0x20000000;
    return h;
}

TEST(Resolve, BuiltInHeader) {
    const Resolved r = resolve(builtin_header());
    EXPECT_EQ(r.c.PRGOFF, 0u);
    EXPECT_EQ(r.c.PRGSIZE, 0x200000u);
    EXPECT_EQ(r.c.VAROFF, 0x20000000u);
    EXPECT_EQ(r.c.VARSIZE, 0x100000u);
    EXPECT_EQ(r.c.Flag, uint32_t(F_PRGSEP | F_HARVARD));
    EXPECT_EQ(r.pc, 0x5320u);
}

TEST(Resolve, CommandLineOverridesTheHeaderBothWays) {
    assembler::ImageHeader h = builtin_header();
    h.flags |= HF_ALIGN;
    const Resolved r = resolve(h, read_command_line("-A -H -P +S10 img"));
    EXPECT_EQ(r.c.Flag & (F_ALIGN | F_HARVARD | F_PRGSEP), 0u);
    EXPECT_EQ(r.pc, 0x10u);
    const Resolved on = resolve(assembler::ImageHeader{}, read_command_line("+A +H img"));
    EXPECT_EQ(on.c.Flag & (F_ALIGN | F_HARVARD), uint32_t(F_ALIGN | F_HARVARD));
}

TEST(Resolve, OtherFlagBitsChangeNothing) {
    assembler::ImageHeader h = builtin_header();
    h.flags = 0x2F;   // every bit but PRGSEP, HARVARD and ALIGN
    const Resolved r = resolve(h);
    EXPECT_EQ(r.c.Flag, 0u);
    EXPECT_EQ(r.c.VARSIZE, 0x100000u);   // the variable range always comes from the header
}

TEST(Resolve, RangeBelowItsStartWrapsAround) {
    assembler::ImageHeader h;
    h.v0 = 0x1000;
    h.vx = 0x0800;
    EXPECT_EQ(resolve(h).c.VARSIZE, 0xFFFFF800u);
}

}  // namespace
}  // namespace norvex
