// Group 4: host files, on real files in a temporary directory.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include "services/error_numbers.h"
#include "tests/process_run.h"
#include "tests/rig.h"

namespace norvex::testing {
namespace {

// Two names, a cell for a file id, a buffer at 0x20002000.
const std::string N1 = " 0x20001000 ", N2 = " 0x20001200 ", ID = " 0x20001400 @ ",
                  KEEP = " DROP 0x20001400 ! ", BUF = " 0x20002000 >X DROP ";
constexpr uint32_t kName1 = 0x20001000, kName2 = 0x20001200, kBuf = 0x20002000;
constexpr uint32_t kSharing = ERR_SHARING_VIOLATION, kBadId = ERR_INVALID_HANDLE;

std::string fopen(const std::string& name, const char* fam) {
    return name + "0 " + fam + " FOPEN ";
}
// ( -- xaddr ) for an address in no block of the host space.
const std::string NOWHERE = " 0x003FFFFC 0 ";

TEST(Files, CreateWriteSizePositionReadClose) {
    // FCREATE empties an existing file in place; FREAD of 100 gives the 40
    // bytes there are, then 0; FWRITE answers one 0.
    TempDir dir;
    const std::string text = "forty bytes of text, give or take a few.";
    spit(dir / "data", "old contents, longer than the new ones are going to be");
    struct stat before, after;
    ASSERT_EQ(::stat((dir / "data").c_str(), &before), 0);
    Rig r(N1 + "0 FCREATE" + KEEP + ID + "FSIZE@" + BUF + "40" + ID + "FWRITE" + ID + "FSIZE@" +
          ID + "FPOS@ 0 0 0" + ID + "FPOS! 0x20002100 >X DROP 100" + ID + "FREAD" + BUF + "100" +
          ID + "FREAD" + ID + "FCLOSE");
    r.put_name(kName1, dir / "data");
    r.put(kBuf, text);
    EXPECT_EQ(r.results(), (Cells{0, 0, 0, 0, 40, 0, 0, 0, 40, 0, 0, 40, 0, 0, 0, 0}));
    EXPECT_EQ(slurp(dir / "data"), text);
    EXPECT_EQ(r.bytes_at(kBuf + 0x100, 40), text);
    ASSERT_EQ(::stat((dir / "data").c_str(), &after), 0);
    EXPECT_EQ(after.st_ino, before.st_ino);
    EXPECT_TRUE(r.m.services.files.by_id.empty());
}

TEST(Files, OpenFailuresLeaveOneCellAndAccessIsKept) {
    TempDir dir;
    ::mkdir((dir / "sub").c_str(), 0700);
    spit(dir / "abc", "xyz");
    // Missing file, missing directory, a directory; then "abc" read-only
    // with a length of 1 (not used), and write-only.
    Rig r(fopen(N1, "0") + fopen(N2, "0") + fopen(" 0x20001300 ", "0") + " 0x20001100 1 0 FOPEN" +
          KEEP + BUF + "3" + ID + "FWRITE" + BUF + "3" + ID + "FREAD" + ID + "FCLOSE" +
          fopen(" 0x20001100 ", "0x40000000") + KEEP + BUF + "3" + ID + "FREAD" +
          " 0x20002004 >X DROP 2" + ID + "FWRITE 5 FINIT");
    r.put_name(kName1, dir / "missing");
    r.put_name(kName2, dir / "nodir/file");
    r.put_name(0x20001300, dir / "sub");
    r.put_name(0x20001100, dir / "abc");
    r.put(kBuf + 4, "AB");
    EXPECT_EQ(r.results(), (Cells{0, 0, ERR_ACCESS_DENIED, 0, 0, 3, ERR_ACCESS_DENIED,
                                  ERR_ACCESS_DENIED, ERR_PATH_NOT_FOUND, ERR_FILE_NOT_FOUND}));
    EXPECT_EQ(r.bytes_at(kBuf, 3), "xyz");
    EXPECT_EQ(slurp(dir / "abc"), "ABz");
}

TEST(Files, IdsNotHandedOutAreRefusedWithInvalidHandle) {
    // 0, 1, 2, made-up numbers and a closed id, for every service taking one.
    const std::string calls = ID + "FCLOSE" + ID + "FSIZE@" + ID + "FPOS@ 0 0 0" + ID + "FPOS!" +
                              BUF + "4" + ID + "FREAD" + BUF + "4" + ID + "FWRITE" + ID + "FPAR@" +
                              " 1 9600" + ID + "FPAR!";
    for (const char* bad : {"0", "1", "2", "0x132", "-1"}) {
        Rig r(std::string(bad) + " 0x20001400 !" + calls);
        EXPECT_EQ(r.results(), Cells(8, kBadId)) << bad;
    }
    TempDir dir;
    Rig closed(N1 + "0 FCREATE" + KEEP + ID + "FCLOSE" + calls);
    closed.put_name(kName1, dir / "f");
    EXPECT_EQ(closed.results().size(), 9u);
    EXPECT_EQ(slurp(dir / "f"), "");
}

TEST(Files, SharingRules) {
    TempDir dir;
    spit(dir / "s", "shared");
    {
        // Created: neither opened nor deleted by others. Readers share;
        // a writer does not join them.
        Rig r(N1 + "0 FCREATE" + KEEP + fopen(N1, "0") + N1 + "0 FDELETE" + ID + "FCLOSE" +
              fopen(N2, "0") + fopen(N2, "0x80000000") + fopen(N2, "0xC0000000") + N2 +
              "0 FDELETE");
        r.put_name(kName1, dir / "c");
        r.put_name(kName2, dir / "s");
        const Cells s = r.results();
        ASSERT_EQ(s.size(), 9u);
        EXPECT_EQ((Cells{s[8], s[7], s[6], s[4], s[2], s[1], s[0]}),
                  (Cells{kSharing, kSharing, 0, 0, 0, kSharing, kSharing}));
        EXPECT_NE(s[3], s[5]);
        EXPECT_EQ(::access((dir / "c").c_str(), F_OK), 0);
    }
    Rig w(fopen(N1, "0x40000000") + KEEP + fopen(N1, "0"));   // a writer excludes readers
    w.put_name(kName1, dir / "s");
    EXPECT_EQ(w.results(), (Cells{kSharing}));
}

TEST(Files, TransfersOutsideTheirBlockMoveNothing) {
    TempDir dir;
    spit(dir / "t", "0123456789");
    // One byte past variable memory, and an address in no block; then the
    // last five bytes of variable memory, which is fine, and an XALLOC
    // block, whose bytes are plain: the next byte read is '5'.
    const std::string end = " 0x20010008 >X DROP ";
    Rig r(fopen(N1, "0xC0000000") + KEEP + end + "5" + ID + "FREAD" + end + "5" + ID + "FWRITE" +
          NOWHERE + "4" + ID + "FREAD" + NOWHERE + "4" + ID + "FWRITE" + ID + "FPOS@ 0x20010007 >X "
          "DROP 5" + ID + "FREAD 8 0 XALLOC DROP DROP DUP 0 1" + ID + "FREAD DROP DROP 0 C@X");
    r.put_name(kName1, dir / "t");
    EXPECT_EQ(r.results(), (Cells{'5', 0, 5, 0, 0, 0, 998, 998, 998, 998}));
    EXPECT_EQ(slurp(dir / "t"), "0123456789");
    EXPECT_EQ(r.bytes_at(0x20010007, 5), "01234");
}

TEST(Files, PositionMoves) {
    TempDir dir;
    spit(dir / "p", std::string(100, 'p'));
    // To the end; to 10 (the high cell 7 not read); back 4; before the
    // start; an unknown method.
    Rig r(fopen(N1, "0") + KEEP + "0 0 2" + ID + "FPOS!" + ID + "FPOS@ 10 7 0" + ID + "FPOS!" + ID +
          "FPOS@ -4 0 1" + ID + "FPOS!" + ID + "FPOS@ -7 0 1" + ID + "FPOS! 0 0 3" + ID + "FPOS!" +
          ID + "FPOS@");
    r.put_name(kName1, dir / "p");
    EXPECT_EQ(r.results(), (Cells{0, 0, 6, ERR_INVALID_PARAMETER, ERR_NEGATIVE_SEEK, 0, 0, 6, 0,
                                  0, 0, 10, 0, 0, 0, 100, 0}));
}

TEST(Files, SizeAndPositionPast4GiBFillTheHighCell) {
    TempDir dir;
    const int fd = ::open((dir / "big").c_str(), O_CREAT | O_WRONLY, 0600);
    const bool sparse = fd >= 0 && ::ftruncate(fd, off_t(0x140000123ull)) == 0;
    ::close(fd);
    if (!sparse) GTEST_SKIP() << "no sparse 5 GiB file here";
    Rig r(fopen(N1, "0") + KEEP + ID + "FSIZE@ 0 0 2" + ID + "FPOS!" + ID + "FPOS@");
    r.put_name(kName1, dir / "big");
    EXPECT_EQ(r.results(), (Cells{0, 1, 0x40000123, 0, 0, 1, 0x40000123}));
}

TEST(Files, CopyOverwritesOrRefuses) {
    TempDir dir;
    std::string data(300000, '\0');   // more than one buffer of the copy
    for (size_t i = 0; i < data.size(); ++i) data[i] = char(i * 7 + i / 251);
    spit(dir / "from", data);
    spit(dir / "to", "old");
    const auto copy = [&](const std::string& from, const std::string& to, const char* flag) {
        Rig r(N1 + N2 + flag + " FCOPY");
        r.put_name(kName1, dir / from);
        r.put_name(kName2, dir / to);
        return r.results();
    };
    EXPECT_EQ(copy("from", "to", "-1"), (Cells{ERR_FILE_EXISTS}));
    EXPECT_EQ(slurp(dir / "to"), "old");
    EXPECT_EQ(copy("from", "to", "0"), (Cells{0}));
    EXPECT_EQ(slurp(dir / "to"), data);
    EXPECT_EQ(copy("from", "new", "1"), (Cells{0}));
    EXPECT_EQ(slurp(dir / "new"), data);
    EXPECT_EQ(copy("from", "from", "0"), (Cells{kSharing}));   // refused before truncating
    EXPECT_EQ(slurp(dir / "from"), data);
    EXPECT_EQ(copy("none", "none2", "1"), (Cells{ERR_FILE_NOT_FOUND}));
    EXPECT_NE(::access((dir / "none2").c_str(), F_OK), 0);
    // A source without end (or one that never answers) is no file to copy.
    for (const char* device : {"/dev/zero", "/dev/null"}) {
        Rig r(N1 + N2 + "0 FCOPY");
        r.put_name(kName1, device);
        r.put_name(kName2, dir / "endless");
        EXPECT_EQ(r.results(), (Cells{ERR_ACCESS_DENIED})) << device;
        EXPECT_NE(::access((dir / "endless").c_str(), F_OK), 0) << device;
    }
}

TEST(Files, DeleteAndLimits) {
    // Delete a file, then again, then a directory; more opens than allowed;
    // a name without a NUL before the end of variable memory.
    TempDir dir;
    spit(dir / "gone", "x");
    const std::string f = " 0x20001300 ";
    Rig r(N1 + "0 FDELETE" + N1 + "0 FDELETE" + N2 + "0 FDELETE" + fopen(f, "0") + fopen(f, "0") +
          fopen(f, "0") + " 0x20010009 0 FCREATE");
    r.m.services.files.max_open = 2;
    r.put_name(kName1, dir / "gone");
    r.put_name(kName2, dir.path);
    r.put_name(0x20001300, dir / "gone2");
    spit(dir / "gone2", "");
    r.put(0x20010009, "abc");
    const Cells s = r.results();
    ASSERT_EQ(s.size(), 9u);
    EXPECT_EQ((Cells{s[8], s[7], s[6], s[1], s[0]}),
              (Cells{0, ERR_FILE_NOT_FOUND, ERR_ACCESS_DENIED, ERR_TOO_MANY_OPEN_FILES,
                     ERR_NOACCESS}));
    EXPECT_NE(::access((dir / "gone").c_str(), F_OK), 0);
    // Names in no memory are translation faults; FCOPY translates name2 first.
    const std::string report = Rig("0x90000100 0x90000000 0 FCOPY").fault();
    EXPECT_NE(report.find("GETVARPTR - Error"), std::string::npos);
    EXPECT_NE(report.find("EAX:90000000"), std::string::npos) << report;
}

TEST(Files, NamesEndWithinTheirMemoryAndTheHostsLimit) {
    // Program memory (erased, no NUL in it) holds the names at 0x1000, with
    // more than 4096 bytes after it, and at 0xFF00, 256 bytes from its end;
    // variable memory one of 5000 letters and its NUL.
    Rig r(" 0x1000 0 FDELETE 0xFF00 0 FDELETE" + N1 + "0 FDELETE");
    r.put_name(kName1, std::string(5000, 'n'));
    EXPECT_EQ(r.results(), (Cells{ERR_FILENAME_TOO_LONG, ERR_NOACCESS, ERR_FILENAME_TOO_LONG}));
}

TEST(Programs, FilesThroughNorvex) {
    // Creates out.txt in the working directory, writes "hello", reads it back.
    TempDir dir;
    std::string program;
    const std::string name = "out.txt";
    for (size_t i = 0; i <= name.size(); ++i)
        program += std::to_string(i < name.size() ? int(name[i]) : 0) + " " +
                   std::to_string(kName1 + i) + " C! ";
    const std::string hello = "'h' 0x20002000 C! 'e' 0x20002001 C! 'l' 0x20002002 C! "
                              "'l' 0x20002003 C! 'o' 0x20002004 C! ";
    program += hello + N1 + "0 FCREATE '0' + EMIT DROP 0x20001400 !" + BUF + "5" + ID +
               "FWRITE '0' + EMIT DROP" + ID + "FCLOSE DROP" + fopen(N1, "0") +
               "DROP 0x20001400 ! 0x20002010 >X DROP 16" + ID + "FREAD DROP '0' + EMIT DROP";
    const ProgramRun run = run_norvex(dir, program);
    EXPECT_EQ(run.output, "005");
    EXPECT_EQ(slurp(dir / "out.txt"), "hello");
}

}  // namespace
}  // namespace norvex::testing
