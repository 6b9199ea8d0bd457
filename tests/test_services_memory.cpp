// Group 1: host memory blocks, extended addresses, flash.
#include <gtest/gtest.h>

#include "tests/process_run.h"
#include "tests/rig.h"

namespace norvex::testing {
namespace {

const std::string A = " 0x20000010 @ ";   // a cell holding a block's address

TEST(HostMemory, XallocGivesAZeroFilledBlockThatXfreeReleases) {
    // The high cell of the size is not read.
    Rig r("100 0xDEAD XALLOC DROP DROP 0x20000010 !" + A + "99 + 0 C@X 'z'" + A + "99 + 0 C!X" + A +
          "99 + 0 C@X" + A + "0 XFREE");
    EXPECT_EQ(r.results(), (Cells{0, 'z', 0}));
    EXPECT_TRUE(r.m.services.xblocks.empty());
    EXPECT_EQ(r.m.services.xalloc_bytes, 0u);

    Rig gone("16 0 XALLOC DROP DROP DUP 0 XFREE DROP 0 C@X");
    EXPECT_NE(gone.fault().find("GETVARPTR - Error"), std::string::npos);
}

TEST(HostMemory, XallocPastItsBoundsAnswers7F07InOneCell) {
    // 64 bytes and 3 blocks allowed: 40 bytes after 32 fail, so does a
    // fourth block; a freed block makes room again.
    Rig r("32 0 XALLOC DROP DROP 40 0 XALLOC 8 0 XALLOC DROP DROP 8 0 XALLOC DROP DROP 0 0 XALLOC");
    r.m.services.xalloc_max_bytes = 64;
    r.m.services.xalloc_max_blocks = 3;
    const Cells s = r.results();
    ASSERT_EQ(s.size(), 5u);
    EXPECT_EQ(s[0], 0x7F07u);
    EXPECT_EQ(s[3], 0x7F07u);
    EXPECT_EQ(r.m.services.xalloc_bytes, 48u);

    Rig again("64 0 XALLOC DROP DROP 0 XFREE 64 0 XALLOC");
    again.m.services.xalloc_max_bytes = 64;
    EXPECT_EQ(again.results().size(), 4u);
}

TEST(HostMemory, XfreeOfAnythingButALiveBlockFreesNothingAndAnswersZero) {
    Rig r("0x20000000 >X DROP XFREE 0x12345678 0 XFREE 8 0 XALLOC DROP OVER OVER XFREE DROP "
          "XFREE 0x20000000 C@");
    EXPECT_EQ(r.results(), (Cells{0xFF, 0, 0, 0}));
    EXPECT_NE(r.m.space.find(r.m.mem.VARPTR, 1), nullptr);
}

TEST(ExtendedAddresses, NameTheBytesOfTheirMemory) {
    Rig r("'A' 0x20000100 C! 0x20000100 >X DROP C@X 0x20000100 S>X DROP C@X "
          "0x20000100 R>X DROP C@X 1 P>X DROP C@X 0x20000008 >X");   // program byte 1 is 'V'
    EXPECT_EQ(r.results(), (Cells{0, 0, r.m.mem.VARPTR + 8, 'V', 'A', 'A', 'A'}));
    EXPECT_NE(Rig("0x90000000 >X").fault().find("GETVARPTR - Error"), std::string::npos);
    EXPECT_NE(Rig("0x90000000 P>X").fault().find("GETPRGPTR - Error"), std::string::npos);
}

TEST(Flash, SectorAndUnitWidening) {
    const struct {
        const char* call;
        Cells result;
    } cases[] = {
        {"0x1234 0x10 FLASH-SE", {0, 0x100, 0x1200}}, {"0x12FF 2 FLASH-SE", {0, 0x200, 0x1200}},
        {"0x1234 0 FLASH-SE", {0, 0x100, 0x1200}},    {"0x1200 0 FLASH-SE", {0, 0, 0x1200}},
        {"0x1007 0x10 FLASH-SW", {0, 0x20, 0x1000}},  {"0x1000 0x10 FLASH-SW", {0, 0x10, 0x1000}},
        {"0xFFFFFF80 0x100 FLASH-SE", {0, 0x200, 0xFFFFFF00}},   // modulo 2^32
    };
    for (const auto& c : cases) EXPECT_EQ(Rig(c.call).results(), c.result) << c.call;
}

TEST(Flash, EraseAndWriteChangeExactlyTheirRange) {
    Rig r("0x8000 0x20 FLASH-E 0x20000040 0x8004 5 FLASH-W 0x20000040 0x8006 2 FLASH-W "
          "0x90000000 0 FLASH-E 0x90000000 0x90000000 0 FLASH-W");   // no length: no translation
    r.put_prg(0x7FF8, std::string(0x30, '\x11'));
    r.put(0x20000040, "ABCDE");
    EXPECT_EQ(r.results(), (Cells{0, 0, 0, 0, 0}));
    EXPECT_EQ(r.prg_at(0x7FF8, 0x30),
              std::string(8, '\x11') + "\xFF\xFF\xFF\xFF" "ABABE" + std::string(23, '\xFF') +
                  std::string(8, '\x11'));

    // Shared layout: the copy runs upwards byte by byte, so a destination
    // one above its source repeats the first byte.
    Rig overlap("0x20000400 0x20000401 4 FLASH-W", "", true);
    overlap.put(0x20000400, "WXYZ!");
    EXPECT_EQ(overlap.results(), (Cells{0}));
    EXPECT_EQ(overlap.bytes_at(0x20000400, 5), "WWWWW");
}

TEST(Flash, RangesLeavingTheirMemoryFaultAtTheFirstAddressOutsideAndWriteNothing) {
    Rig e("0xFFF0 0x11 FLASH-E");
    e.put_prg(0xFFF0, std::string(1, '\0'));
    const std::string report = e.fault();
    EXPECT_NE(report.find("GETPRGPTR - Error"), std::string::npos);
    EXPECT_NE(report.find("EAX:00010000"), std::string::npos) << report;
    EXPECT_EQ(e.prg_at(0xFFF0, 1), std::string(1, '\0'));

    Rig w("0x2001000C 0x100 0x40 FLASH-W");   // the source runs past variable memory
    w.put_prg(0x100, std::string(1, '\0'));
    EXPECT_NE(w.fault().find("GETVARPTR - Error"), std::string::npos);
    EXPECT_EQ(w.prg_at(0x100, 1), std::string(1, '\0'));
    // Both bad: the destination is translated first.
    EXPECT_NE(Rig("0x90000000 0x90000000 1 FLASH-W").fault().find("GETPRGPTR"), std::string::npos);
}

TEST(Programs, HostMemoryAndFlashThroughNorvex) {
    // A block carries a byte; flash gets "OK", which C@P reads back. Each
    // ior prints as '0' + ior.
    TempDir dir;
    const ProgramRun run = run_norvex(dir,
        "64 0 XALLOC '0' + EMIT DROP DROP 0x20000010 ! 'X'" + A + "63 + 0 C!X" + A +
        "63 + 0 C@X EMIT DROP" + A + "0 XFREE '0' + EMIT DROP 'O' 0x20000000 C! 'K' 0x20000001 C! "
        "0x8000 0x100 FLASH-E DROP 0x20000000 0x8010 2 FLASH-W DROP "
        "0x8010 C@P EMIT DROP 0x8011 C@P EMIT DROP 0x8012 C@P EMIT DROP");
    EXPECT_EQ(run.output, "0X0OK\xFF");
    EXPECT_EQ(run.status, 0);
}

}  // namespace
}  // namespace norvex::testing
