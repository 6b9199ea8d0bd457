// Group 1: host memory blocks, extended addresses, flash.
#include <gtest/gtest.h>

#include "service_rig.h"
#include "services/service_state.h"

namespace norvex::testing {
namespace {

constexpr uint32_t XALLOC = 0x0101, XFREE = 0x0103, TOX = 0x0104, PTOX = 0x0105,
                   STOX = 0x0106, RTOX = 0x0107, FLASH_SE = 0x0108, FLASH_SW = 0x0109,
                   FLASH_E = 0x010A, FLASH_W = 0x010B;

TEST(HostMemory, XallocGivesAZeroFilledBlockThatXfreeReleases) {
    // Allocate 100 bytes (high cell of the size not read), check the last
    // byte is 0, store and fetch through the block, free it.
    Rig r([](Assembler& a) {
        a.lit(100);
        a.lit(0xDEAD);
        a.syscall(XALLOC);          // addr 0 0
        a.ops("DROP DROP");         // addr
        a.ops("DUP");  a.lit(99); a.ops("+");  a.lit(0); a.ops("C@X");   // addr b99
        a.ops("OVER"); a.lit(0x7A); a.ops("SWAP"); a.lit(0); a.ops("C!X");
        a.ops("OVER"); a.lit(0); a.ops("C@X");                           // addr b99 b0
    });
    const Cells s = r.results();
    ASSERT_EQ(s.size(), 3u);
    EXPECT_EQ(s[0], 0x7Au);
    EXPECT_EQ(s[1], 0u);
    ASSERT_EQ(r.m.services.xblocks.size(), 1u);
    EXPECT_EQ(r.m.services.xalloc_bytes, 100u);
    const HostBlock* b = r.m.space.find(s[2], 100);
    ASSERT_NE(b, nullptr);
    EXPECT_EQ(b->size, 100u);
    EXPECT_TRUE(b->xalloc);

    Rig f([](Assembler& a) {
        a.lit(16);
        a.lit(0);
        a.syscall(XALLOC);
        a.ops("DROP DROP DUP");
        a.lit(0);
        a.syscall(XFREE);           // addr 0
        a.ops("DROP");
        a.lit(0);
        a.ops("C@X");               // the freed block is gone
    });
    EXPECT_NE(f.fault().find("GETVARPTR - Error"), std::string::npos);
    EXPECT_TRUE(f.m.services.xblocks.empty());
    EXPECT_EQ(f.m.services.xalloc_bytes, 0u);
}

TEST(HostMemory, XallocPastItsBoundsAnswers7F07InOneCell) {
    // Three blocks allowed, 64 bytes in all: the 40-byte request after 32
    // bytes and the fourth block fail; a free makes room again.
    Rig r([](Assembler& a) {
        a.lit(32); a.lit(0); a.syscall(XALLOC);   // a1 0 0
        a.ops("DROP DROP");
        a.lit(40); a.lit(0); a.syscall(XALLOC);   // a1 7F07
        a.lit(8);  a.lit(0); a.syscall(XALLOC);   // a1 7F07 a2 0 0
        a.ops("DROP DROP");
        a.lit(8);  a.lit(0); a.syscall(XALLOC);   // ... a3 0 0
        a.ops("DROP DROP");
        a.lit(0);  a.lit(0); a.syscall(XALLOC);   // ... 7F07 (fourth block)
    });
    r.m.services.xalloc_max_bytes = 64;
    r.m.services.xalloc_max_blocks = 3;
    const Cells s = r.results();
    ASSERT_EQ(s.size(), 5u);
    EXPECT_EQ(s[0], 0x7F07u);
    EXPECT_EQ(s[3], 0x7F07u);
    EXPECT_EQ(r.m.services.xblocks.size(), 3u);
    EXPECT_EQ(r.m.services.xalloc_bytes, 48u);

    Rig again([](Assembler& a) {
        a.lit(64); a.lit(0); a.syscall(XALLOC);
        a.ops("DROP DROP");
        a.lit(0); a.syscall(XFREE);
        a.lit(64); a.lit(0); a.syscall(XALLOC);
    });
    again.m.services.xalloc_max_bytes = 64;
    const Cells t = again.results();
    ASSERT_EQ(t.size(), 4u);
    EXPECT_EQ(t[0], 0u);
    EXPECT_EQ(t[3], 0u);   // XFREE's answer
}

TEST(HostMemory, XfreeOfAnythingButALiveBlockFreesNothingAndAnswersZero) {
    Rig r([](Assembler& a) {
        a.lit(kVar); a.syscall(TOX);       // variable memory
        a.ops("DROP"); a.syscall(XFREE);
        a.lit(0x12345678); a.lit(0); a.syscall(XFREE);
        a.lit(8); a.lit(0); a.syscall(XALLOC);
        a.ops("DROP OVER OVER"); a.syscall(XFREE);
        a.ops("DROP"); a.syscall(XFREE);   // the same block again
        a.lit(kVar); a.ops("C@");          // variable memory still there
    });
    EXPECT_EQ(r.results(), (Cells{0xFF, 0, 0, 0}));
    EXPECT_TRUE(r.m.services.xblocks.empty());
    EXPECT_NE(r.m.space.find(r.m.mem.VARPTR, 1), nullptr);
}

TEST(ExtendedAddresses, NameTheSameBytesAsTheirMemory) {
    Rig r([](Assembler& a) {
        a.lit(0x41); a.lit(kVar + 0x100); a.ops("C!");
        a.lit(0x42); a.lit(kVar + 0x101); a.ops("C!");
        a.lit(0x43); a.lit(kVar + 0x102); a.ops("C!");
        a.lit(kVar + 0x100); a.syscall(TOX);  a.ops("DROP C@X");
        a.lit(kVar + 0x101); a.syscall(STOX); a.ops("DROP C@X");
        a.lit(kVar + 0x102); a.syscall(RTOX); a.ops("DROP C@X");
        a.lit(1); a.syscall(PTOX); a.ops("DROP C@X");   // program byte 1: 'V'
    });
    EXPECT_EQ(r.results(), (Cells{'V', 0x43, 0x42, 0x41}));

    Rig three([](Assembler& a) {
        a.lit(kVar + 8); a.syscall(TOX);
    });
    const Cells s = three.results();
    ASSERT_EQ(s.size(), 3u);
    EXPECT_EQ(s[0], 0u);
    EXPECT_EQ(s[1], 0u);
    EXPECT_EQ(s[2], three.m.mem.VARPTR + 8);
}

TEST(ExtendedAddresses, AnAddressInNoMemoryIsATranslationFault) {
    Rig v([](Assembler& a) { a.lit(kOutside); a.syscall(TOX); });
    EXPECT_NE(v.fault().find("GETVARPTR - Error"), std::string::npos);
    Rig p([](Assembler& a) { a.lit(kOutside); a.syscall(PTOX); });
    EXPECT_NE(p.fault().find("GETPRGPTR - Error"), std::string::npos);
}

struct Widen {
    uint32_t code, paddr, u, first, length;
};

TEST(Flash, SectorAndUnitWidening) {
    const Widen cases[] = {
        {FLASH_SE, 0x1234, 0x10, 0x1200, 0x100}, {FLASH_SE, 0x12FF, 2, 0x1200, 0x200},
        {FLASH_SE, 0x1234, 0, 0x1200, 0x100},    {FLASH_SE, 0x1200, 0, 0x1200, 0},
        {FLASH_SW, 0x1007, 0x10, 0x1000, 0x20},  {FLASH_SW, 0x1000, 0x10, 0x1000, 0x10},
        {FLASH_SE, 0xFFFFFF80, 0x100, 0xFFFFFF00, 0x200},   // modulo 2^32
    };
    for (const Widen& w : cases) {
        Rig r([&](Assembler& a) {
            a.lit(w.paddr);
            a.lit(w.u);
            a.syscall(w.code);
        });
        EXPECT_EQ(r.results(), (Cells{0, w.length, w.first}))
            << std::hex << w.code << " " << w.paddr << " " << w.u;
    }
}

TEST(Flash, EraseAndWriteChangeExactlyTheirRange) {
    Rig r([](Assembler& a) {
        a.lit(0x8000); a.lit(0x20); a.syscall(FLASH_E);   // 0
        a.lit(kVar + 0x40); a.lit(0x8004); a.lit(5); a.syscall(FLASH_W);   // 0
        a.lit(kVar + 0x40); a.lit(0x8006); a.lit(2); a.syscall(FLASH_W);   // over written bytes
    });
    for (uint32_t i = 0; i < 0x30; ++i) r.poke_prg(0x7FF8 + i, 0x11);
    r.put(kVar + 0x40, "ABCDE");
    EXPECT_EQ(r.results(), (Cells{0, 0, 0}));
    EXPECT_EQ(r.read_prg(0x7FF8, 0x30),
              std::string(8, '\x11') + "\xFF\xFF\xFF\xFF" "ABABE" + std::string(0x20 - 9, '\xFF') +
                  std::string(8, '\x11'));
}

TEST(Flash, ZeroLengthTranslatesNothing) {
    Rig r([](Assembler& a) {
        a.lit(kOutside); a.lit(0); a.syscall(FLASH_E);
        a.lit(kOutside); a.lit(kOutside); a.lit(0); a.syscall(FLASH_W);
    });
    EXPECT_EQ(r.results(), (Cells{0, 0}));
}

TEST(Flash, ARangePastItsMemoryStopsAtTheFirstAddressOutsideAndWritesNothing) {
    Rig e([](Assembler& a) { a.lit(kPrgEnd - 0x10); a.lit(0x11); a.syscall(FLASH_E); });
    e.poke_prg(kPrgEnd - 0x10, 0x00);
    const std::string report = e.fault();
    EXPECT_NE(report.find("GETPRGPTR - Error"), std::string::npos);
    EXPECT_NE(report.find("EAX:00010000"), std::string::npos) << report;
    EXPECT_EQ(e.read_prg(kPrgEnd - 0x10, 1), std::string(1, '\0'));   // untouched

    Rig w([](Assembler& a) { a.lit(kVarEnd - 4); a.lit(0x100); a.lit(0x40); a.syscall(FLASH_W); });
    w.poke_prg(0x100, 0x00);
    const std::string wr = w.fault();
    EXPECT_NE(wr.find("GETVARPTR - Error"), std::string::npos) << wr;
    EXPECT_EQ(w.read_prg(0x100, 1), std::string(1, '\0'));
}

TEST(Flash, WriteTranslatesTheDestinationFirst) {
    Rig w([](Assembler& a) { a.lit(kOutside); a.lit(kOutside); a.lit(1); a.syscall(FLASH_W); });
    EXPECT_NE(w.fault().find("GETPRGPTR - Error"), std::string::npos);
}

TEST(Flash, OverlappingWriteCopiesUpwardsByteByByte) {
    // Shared layout: source and destination may overlap; the copy runs from
    // the lowest address, so a destination one above the source repeats
    // the first byte.
    Rig r([](Assembler& a) {
        a.lit(kVar + 0x400); a.lit(kVar + 0x401); a.lit(4); a.syscall(FLASH_W);
    }, shared_header());
    r.put(kVar + 0x400, "WXYZ!");
    EXPECT_EQ(r.results(), (Cells{0}));
    EXPECT_EQ(r.read_var(kVar + 0x400, 5), "WWWWW");
}

}  // namespace
}  // namespace norvex::testing
