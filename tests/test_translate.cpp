// The four translations over hand-made layouts, and the translation fault.
#include <gtest/gtest.h>

#include <sys/mman.h>

#include <vector>

#include "core/translate.h"
#include "host/console.h"
#include "monitor/fault_report.h"

namespace norvex {
namespace {

// A machine whose memory configuration the test sets by hand.
struct Layout {
    ScriptConsole console;
    Machine m;
    std::vector<uint8_t> prg, var;

    Layout(bool separate, bool harvard, uint32_t prg_off, uint32_t prg_size, uint32_t var_off,
           uint32_t var_size) {
        m.console = &console;
        MemConf& c = m.mem;
        var.assign(var_size + 16, 0);
        c.var = var.data();
        c.VAROFF = var_off;
        c.VARSIZE = var_size;
        c.VARPTR = m.space.add(c.var, var_size);
        if (separate) {
            prg.assign(prg_size + 16, 0);
            c.prg = prg.data();
            c.PRGOFF = prg_off;
            c.PRGSIZE = prg_size;
            c.PRGPTR = m.space.add(c.prg, prg_size);
            c.Flag |= F_PRGSEP;
        } else {
            c.prg = c.var;
            c.PRGOFF = var_off;
            c.PRGSIZE = var_size;
            c.PRGPTR = c.VARPTR;
        }
        if (harvard) c.Flag |= F_HARVARD;
    }

    // The report a failing translation prints, or "" when it succeeds.
    std::string fault_of(Translation t, uint32_t a, uint32_t width = 1) {
        console.clear_output();
        try {
            if (t == Translation::Prg) GETPRGPTR(m, a, width);
            else GETVARPTR(m, a, width);
        } catch (const Fault& f) {
            EXPECT_EQ(report_fault(m, f).status, kExitFault);
            return console.output();
        }
        return "";
    }
};

std::string eax(uint32_t v) {
    char text[16];
    std::snprintf(text, sizeof text, "EAX:%08X", v);
    return text;
}

TEST(Translate, HarvardKeepsTheSpacesApart) {
    Layout l(true, true, 0, 0x100, 0, 0x100);
    l.prg[5] = 0xAA;
    l.var[5] = 0xBB;
    EXPECT_EQ(*GETPRGPTR(l.m, 5), 0xAA);
    EXPECT_EQ(*GETVARPTR(l.m, 5), 0xBB);
    EXPECT_EQ(GETPRGPTR(l.m, 0xFF), &l.prg[0xFF]);
    const std::string report = l.fault_of(Translation::Prg, 0x100);
    EXPECT_EQ(report.rfind("\r\nGETPRGPTR - Error\r\n" + eax(0x100), 0), 0u) << report;
}

TEST(Translate, SplitLayoutReachesTheOtherRegion) {
    Layout l(true, false, 0x1000, 0x100, 0x2000, 0x100);
    EXPECT_EQ(GETPRGPTR(l.m, 0x2004), &l.var[4]);
    EXPECT_EQ(GETVARPTR(l.m, 0x1004), &l.prg[4]);
    // One past program memory is not variable memory here: the fault's
    // offset is measured from the last region searched.
    EXPECT_NE(l.fault_of(Translation::Prg, 0x1100).find(eax(0x1100 - 0x2000)), std::string::npos);
    EXPECT_NE(l.fault_of(Translation::Var, 0x3000).find(eax(0x3000 - 0x1000)), std::string::npos);
}

TEST(Translate, SplitLayoutWithAdjacentRegions) {
    Layout l(true, false, 0x1000, 0x100, 0x1100, 0x100);
    EXPECT_EQ(GETPRGPTR(l.m, 0x1100), &l.var[0]);
}

TEST(Translate, AddressBelowARegionIsOutside) {
    Layout l(true, true, 0x1000, 0x100, 0x2000, 0x100);
    EXPECT_NE(l.fault_of(Translation::Prg, 0x0FFF).find(eax(0xFFFFFFFF)), std::string::npos);
    EXPECT_NE(l.fault_of(Translation::Var, 0x1FFF).find("\r\nGETVARPTR - Error"), std::string::npos);
}

TEST(Translate, AccessRunningPastTheBlockFaultsAtTheFirstByteOutside) {
    Layout l(true, true, 0, 0x100, 0x2000, 0x100);
    EXPECT_EQ(GETVARPTR(l.m, 0x20FC, 4), &l.var[0xFC]);
    EXPECT_NE(l.fault_of(Translation::Var, 0x20FD, 4).find(eax(0x100)), std::string::npos);
    EXPECT_NE(l.fault_of(Translation::Prg, 0xFF, 2).find(eax(0x100)), std::string::npos);
}

TEST(Translate, SharedLayoutProgramAccessesReachTheGuard) {
    // Program memory is the variable block; start-up makes VARSIZE include
    // the 12 guard bytes while PRGSIZE stays the configured size.
    Layout l(false, false, 0, 0, 0x4000, 0x100);
    l.m.mem.VARSIZE += 12;
    l.var.resize(0x100 + 12 + 16);
    l.m.mem.var = l.m.mem.prg = l.var.data();
    EXPECT_EQ(GETPRGPTR(l.m, 0x4100), &l.var[0x100]);
    EXPECT_EQ(GETPRGPTR(l.m, 0x40FE, 4), &l.var[0xFE]);
    EXPECT_NE(l.fault_of(Translation::Prg, 0x410C).find("GETPRGPTR"), std::string::npos);
}

TEST(Translate, BackTranslationsOfBlockEnds) {
    Layout l(true, false, 0x1000, 0x100, 0x2000, 0x100);
    const MemConf& c = l.m.mem;
    EXPECT_EQ(GETPRGADR(c, c.prg + 0x100), 0x1100u);   // one past the end stays in its region
    EXPECT_EQ(GETPRGADR(c, c.var + 0x10), 0x2010u);
    EXPECT_EQ(GETVARADR(c, c.var + 0x100), 0x2100u);
    EXPECT_EQ(GETVARADR(c, c.prg + 8), 0x1008u);
}

// Blocks a multiple of 4 GiB apart (plus a little) in host memory: a
// location in one must never be taken for a location in the other, whose
// distance cut to 32 bits it shares.
TEST(Translate, BackTranslationsOfBlocksFourGibibytesApart) {
    constexpr size_t kApart = (size_t(1) << 32) + 0x40, kPage = 4096;
    void* reserved = mmap(nullptr, kApart + kPage, PROT_NONE,
                          MAP_PRIVATE | MAP_ANONYMOUS | MAP_NORESERVE, -1, 0);
    if (reserved == MAP_FAILED) GTEST_SKIP() << "no 4 GiB of address space to reserve";
    auto* low = static_cast<uint8_t*>(reserved);
    MemConf c;
    c.Flag = F_PRGSEP;
    c.VAROFF = 0x20;
    c.VARSIZE = 0xEC;
    c.PRGOFF = 0;
    c.PRGSIZE = 0x200;
    for (const bool var_below : {true, false}) {
        c.var = var_below ? low : low + kApart;
        c.prg = var_below ? low + kApart : low;
        EXPECT_EQ(GETVARADR(c, c.prg), 0x00u);
        EXPECT_EQ(GETVARADR(c, c.prg + 0x10), 0x10u);
        EXPECT_EQ(GETVARADR(c, c.var + 0x10), 0x30u);
        EXPECT_EQ(GETPRGADR(c, c.var), 0x20u);
        EXPECT_EQ(GETPRGADR(c, c.var + 0xEC), 0x10Cu);
        EXPECT_EQ(GETPRGADR(c, c.prg + 0x40), 0x40u);
    }
    munmap(reserved, kApart + kPage);
}

TEST(Translate, EmptyRegionAcceptsNoForwardTranslation) {
    Layout l(true, true, 0x500, 0, 0x2000, 0x100);
    EXPECT_NE(l.fault_of(Translation::Prg, 0x500), "");
    EXPECT_EQ(GETPRGADR(l.m.mem, l.m.mem.prg), 0x500u);
}

TEST(Translate, FaultReportShowsOffsetAndConfiguration) {
    Layout l(true, true, 0, 0x100, 0x2000, 0x100);
    const std::string report = l.fault_of(Translation::Var, 0x1234);
    const std::string expected = "\r\nGETVARPTR - Error\r\nEAX:" "FFFFF234" " EBX:00000000 ECX:00000000"
                                 " EDX:00000000 EDI:00000000 ESI:00000000\r\n\r\nFlag:0000000C\r\n PRGPTR:";
    EXPECT_EQ(report.substr(0, expected.size()), expected);
    EXPECT_NE(report.find(" PRGOFF:00000000 PRGSIZE:00000100\r\n VARPTR:"), std::string::npos);
    EXPECT_NE(report.find(" VAROFF:00002000 VARSIZE:00000100"), std::string::npos);
}

}  // namespace
}  // namespace norvex
