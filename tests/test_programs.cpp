// One image per service group, run through the norvex program.
#include <gtest/gtest.h>

#include "run_program.h"
#include "service_rig.h"
#include "temp_dir.h"

namespace norvex::testing {
namespace {

constexpr uint32_t BYE = 0x0000, XALLOC = 0x0101, XFREE = 0x0103, TOX = 0x0104,
                   FLASH_E = 0x010A, FLASH_W = 0x010B, KEY = 0x0301, EMIT = 0x0302,
                   FCREATE = 0x0401, FOPEN = 0x0404, FCLOSE = 0x0405, FREAD = 0x040A,
                   FWRITE = 0x040B;

// Writes the image, runs it, returns what it printed.
ProgramRun run_image(TempDir& dir, Assembler& a, const std::string& input = {}) {
    a.syscall(BYE);
    assembler::write_file(dir / "test.zvk", a.finish());
    // Relative: a leading '/' on the command line is the trace prefix.
    return run_norvex("test.zvk", input, dir.path);
}

// ( ior -- ): prints '.' for 0, else '!'.
void show_ior(Assembler& a) {
    const auto ok = a.label();
    const auto done = a.label();
    a.zbranch(ok);
    a.lit('!');
    a.branch(done);
    a.bind(ok);
    a.lit('.');
    a.bind(done);
    a.syscall(EMIT);
    a.ops("DROP");
}

TEST(Programs, HostMemoryAndFlash) {
    // A block from XALLOC carries a byte; FLASH-E and FLASH-W put "OK" into
    // program memory, which C@P reads back.
    TempDir dir;
    Assembler a(0, split_header());
    const uint32_t cell = kVar + 0x10;
    a.lit(64); a.lit(0); a.syscall(XALLOC); show_ior(a);     // addr 0
    a.ops("DROP"); a.lit(cell); a.ops("!");
    a.lit('X'); a.lit(cell); a.ops("@"); a.lit(63); a.ops("+"); a.lit(0); a.ops("C!X");
    a.lit(cell); a.ops("@"); a.lit(63); a.ops("+"); a.lit(0); a.ops("C@X");
    a.syscall(EMIT); show_ior(a);
    a.lit(cell); a.ops("@"); a.lit(0); a.syscall(XFREE); show_ior(a);
    a.lit('O'); a.lit(kVar); a.ops("C!");
    a.lit('K'); a.lit(kVar + 1); a.ops("C!");
    a.lit(0x8000); a.lit(0x100); a.syscall(FLASH_E); show_ior(a);
    a.lit(kVar); a.lit(0x8010); a.lit(2); a.syscall(FLASH_W); show_ior(a);
    a.lit(0x8010); a.ops("C@P"); a.syscall(EMIT); show_ior(a);
    a.lit(0x8011); a.ops("C@P"); a.syscall(EMIT); show_ior(a);
    a.lit(0x8012); a.ops("C@P"); a.lit(0xFF); a.ops("XOR"); show_ior(a);   // erased
    const ProgramRun run = run_image(dir, a);
    EXPECT_EQ(run.output, ".X.." "..O.K..");
    EXPECT_EQ(run.status, 0);
}

TEST(Programs, KeysToCharacters) {
    // Echoes every key plus one until the end of input answers 0x04.
    TempDir dir;
    Assembler a(0, split_header());
    const auto loop = a.label_here();
    const auto done = a.label();
    a.syscall(KEY); a.ops("DROP DUP"); a.lit(4); a.ops("XOR");
    a.zbranch(done);
    a.lit(1); a.ops("+"); a.syscall(EMIT); a.ops("DROP");
    a.branch(loop);
    a.bind(done);
    const ProgramRun run = run_image(dir, a, "HAL\x01");
    EXPECT_EQ(run.output, "IBM\x02");
    EXPECT_EQ(run.status, 0);
}

TEST(Programs, FilesRoundTrip) {
    // Creates out.txt in the working directory, writes five bytes, reads
    // them back and prints them.
    TempDir dir;
    Assembler a(0, split_header());
    const uint32_t name = kVar + 0x100, text = kVar + 0x200, back = kVar + 0x300, id = kVar;
    auto put = [&](uint32_t addr, const std::string& s) {
        for (size_t i = 0; i <= s.size(); ++i) {
            a.lit(i < s.size() ? uint8_t(s[i]) : 0);
            a.lit(addr + uint32_t(i));
            a.ops("C!");
        }
    };
    put(name, "out.txt");
    put(text, "hello");
    a.lit(name); a.lit(0); a.syscall(FCREATE); show_ior(a);
    a.lit(id); a.ops("!");
    a.lit(text); a.syscall(TOX); a.ops("DROP"); a.lit(5); a.lit(id); a.ops("@");
    a.syscall(FWRITE); show_ior(a);
    a.lit(id); a.ops("@"); a.syscall(FCLOSE); show_ior(a);
    a.lit(name); a.lit(0); a.lit(0x80000000); a.syscall(FOPEN); show_ior(a);
    a.lit(id); a.ops("!");
    a.lit(back); a.syscall(TOX); a.ops("DROP"); a.lit(16); a.lit(id); a.ops("@");
    a.syscall(FREAD); show_ior(a);   // count
    a.ops("DROP");
    for (uint32_t i = 0; i < 5; ++i) {
        a.lit(back + i); a.ops("C@"); a.syscall(EMIT); a.ops("DROP");
    }
    const ProgramRun run = run_image(dir, a);
    EXPECT_EQ(run.output, ".....hello");
    EXPECT_EQ(slurp(dir / "out.txt"), "hello");
}

}  // namespace
}  // namespace norvex::testing
