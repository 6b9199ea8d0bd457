// BLOCK and BLOCK EXT in the real norvex-rom: how blocks lie in the block
// file, the buffers and their replacement, interpreting blocks, and errors.
#include <gtest/gtest.h>

#include <string>

#include "forth/tests/rom_process.h"

namespace norvex::forth {
namespace {

const std::string kBanner = "Norvex Forth 1.0\n";   // lines end in LF into a pipe

std::string forth(const std::string& text, const std::string& cwd) {
    const ProcessResult r = run_process(NORVEX_ROM_BIN, {text + " bye"}, "", cwd);
    if (r.output.rfind(kBanner, 0) != 0) return "no version line: " + r.output;
    return r.output.substr(kBanner.size());
}

std::string spaces(size_t n) { return std::string(n, ' '); }

// A block file's text: the given lines, each padded to 64 characters.
std::string block_text(std::initializer_list<std::string> lines) {
    std::string text;
    for (const std::string& l : lines) text += l + spaces(64 - l.size());
    return text + spaces(1024 - text.size());
}

TEST(Blocks, BlockUIsAtPositionUTimes1024OfBlocksFb) {
    TempDir dir;
    EXPECT_EQ(forth("s\" hello\" 1 block swap move update  s\" three\" 3 buffer swap move update flush "
                    "1 block 5 type",
                    dir.path),
              "hello");
    // Blocks 0 and 2 were never written: spaces.
    EXPECT_EQ(dir.read("blocks.fb"), spaces(1024) + "hello" + spaces(1019) + spaces(1024) + "three" +
                                         spaces(1019));
    // Another process reads what was written; a block past the end is spaces.
    EXPECT_EQ(forth("3 block 5 type 9 block 1024 -trailing nip .", dir.path), "three0 ");
}

TEST(Blocks, AnotherFileAndUnwrittenChanges) {
    TempDir dir;
    dir.write("mine.fb", block_text({"first"}) + block_text({"second"}));
    // UPDATE marks the block BLOCK gave last; EMPTY-BUFFERS forgets changes.
    EXPECT_EQ(forth("s\" mine.fb\" open-blocks 1 block 6 type space "
                    "s\" CHANGED\" 1 block swap move empty-buffers 1 block 6 type space "
                    "s\" kept\" 0 block swap move 1 block drop update save-buffers "
                    "use blocks.fb 0 block 5 type",
                    dir.path),
              "second second      ");
    EXPECT_EQ(dir.read("mine.fb"), block_text({"first"}) + block_text({"second"}));
}

TEST(Blocks, EightBuffersLeastRecentlyUsedGoesFirst) {
    TempDir dir;
    // Blocks 1 to 8 changed; block 1 used again; block 9 takes the buffer
    // of block 2, which is written then. The others are not written.
    const std::string out = forth(
        ": mark ( u -- ) dup block swap [char] 0 + swap c! update ; "
        ": mark-all 9 1 do i mark loop ; mark-all  1 block drop  9 block drop "
        "empty-buffers : first-char ( u -- ) block c@ emit ; 1 first-char 2 first-char 3 first-char",
        dir.path);
    // Emptied: only block 2 comes back from the file.
    EXPECT_EQ(out, " 2 ");
    EXPECT_EQ(dir.read("blocks.fb").size(), 3072u);
}

TEST(Blocks, LoadThruBlkRefillAndComments) {
    TempDir dir;
    dir.write("blocks.fb", block_text({"\\ first block"}) +
                               block_text({"1 blk @ 2 load  \\ 99", "3"}) +
                               block_text({"4 blk @ s\" blk @\" evaluate"}) +
                               block_text({"refill 5 refill"}) + block_text({"6 blk @ 7"}) +
                               block_text({": from-block 42 ;"}));
    // LOAD nests; EVALUATE reads from a string with BLK 0; \ ends a line
    // of 64 characters; REFILL goes on to the next block.
    EXPECT_EQ(forth("1 load .s  blk @ .", dir.path), "<6> 1 1 4 2 0 3 0 ");
    EXPECT_EQ(forth("3 load .s", dir.path), "<4> -1 6 4 7 ");
    EXPECT_EQ(forth("5 5 thru from-block . scr @ . 5 list", dir.path),
              "42 0 \nScreen 5 \n 0 : from-block 42 ;" + spaces(47) + "\n 1 " + spaces(64) +
                  [] {
                      std::string rest;
                      for (int i = 2; i < 16; ++i) rest += "\n" + std::string(i < 10 ? " " : "") +
                                                           std::to_string(i) + " " + spaces(64);
                      return rest;
                  }() + "\n");
}

TEST(Blocks, SaveAndRestoreInputInABlock) {
    TempDir dir;
    dir.write("blocks.fb", spaces(1024) +
                               block_text({"variable n 0 n ! save-input 1 n +! n @ 1 = [if]",
                                           "restore-input [then] n @"}));
    // Back once to the place on the first line: N is counted up twice, and
    // the flag of RESTORE-INPUT stays below.
    EXPECT_EQ(forth("1 load . . depth .", dir.path), "2 0 0 ");
}

TEST(Blocks, StandardErrors) {
    TempDir dir;
    EXPECT_EQ(forth("0 ' load catch . drop -1 ' block catch . drop -1 ' buffer catch . drop "
                    "0 1 ' thru catch . 2drop  s\" BLOCK\" environment? . . s\" BLOCK-EXT\" environment? . .",
                    dir.path),
              "-35 -35 -35 -35 -1 -1 -1 -1 ");
}

TEST(Blocks, AFailedWriteReportsItsIorAndLosesNoOtherBuffer) {
    TempDir dir;
    // Writes to /dev/full fail. Blocks 1 to 8 fill the buffers; block 9
    // needs one of them written first: that fails, and every buffer keeps
    // its block.
    const std::string out = forth(
        "s\" /dev/full\" open-blocks "
        ": mark ( u -- ) dup buffer swap [char] 0 + swap c! update ; : mark-all 9 1 do i mark loop ; "
        "mark-all "
        "9 ' block catch . drop  ' flush catch . "
        ": check ( -- ) 9 1 do i block c@ emit loop ; check space "
        "empty-buffers 9 block c@ . 9 block drop",
        dir.path);
    EXPECT_EQ(out, "112 112 12345678 0 ");
}

}  // namespace
}  // namespace norvex::forth
