// Group 4: host files, on real files in a temporary directory.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include "service_rig.h"
#include "services/error_numbers.h"
#include "services/service_state.h"
#include "temp_dir.h"

namespace norvex::testing {
namespace {

constexpr uint32_t TOX = 0x0104, FINIT = 0x0400, FCREATE = 0x0401, FDELETE = 0x0403,
                   FOPEN = 0x0404, FCLOSE = 0x0405, FSIZE = 0x0406, FPOSFETCH = 0x0408,
                   FPOSSTORE = 0x0409, FREAD = 0x040A, FWRITE = 0x040B, FCOPY = 0x0415;
constexpr uint32_t kRW = 0xC0000000, kRead = 0x80000000, kWrite = 0x40000000;

// Variable memory the images use: two names, a cell for a file id, a buffer.
constexpr uint32_t kName1 = kVar + 0x1000, kName2 = kVar + 0x1200, kId = kVar + 0x1400,
                   kBuf = kVar + 0x2000;

void create(Assembler& a, uint32_t name = kName1) {
    a.lit(name);
    a.lit(0);
    a.syscall(FCREATE);
}
void fopen(Assembler& a, uint32_t fam, uint32_t name = kName1) {
    a.lit(name);
    a.lit(0);
    a.lit(fam);
    a.syscall(FOPEN);
}
// ( fileid 0 -- ): the id into kId.
void keep(Assembler& a) {
    a.ops("DROP");
    a.lit(kId);
    a.ops("!");
}
void id(Assembler& a) {
    a.lit(kId);
    a.ops("@");
}
// Pushes the extended address of a variable address.
void xaddr(Assembler& a, uint32_t addr) {
    a.lit(addr);
    a.syscall(TOX);
    a.ops("DROP");
}
void transfer(Assembler& a, uint32_t code, uint32_t addr, uint32_t count) {
    xaddr(a, addr);
    a.lit(count);
    id(a);
    a.syscall(code);
}
void seek(Assembler& a, uint32_t lo, uint32_t hi, uint32_t method) {
    a.lit(lo);
    a.lit(hi);
    a.lit(method);
    id(a);
    a.syscall(FPOSSTORE);
}
void by_id(Assembler& a, uint32_t code) {
    id(a);
    a.syscall(code);
}

std::string buffer(Rig& r, uint32_t n) { return std::string(reinterpret_cast<char*>(r.var(kBuf, n)), n); }

TEST(Files, CreateWriteSizePositionReadClose) {
    TempDir dir;
    const std::string text = "forty bytes of text, give or take a few.";
    ASSERT_EQ(text.size(), 40u);
    Rig r([](Assembler& a) {
        create(a);
        keep(a);
        transfer(a, FWRITE, kBuf, 40);   // 0
        by_id(a, FSIZE);                 // 40 0 0
        by_id(a, FPOSFETCH);             // 40 0 0
        seek(a, 0, 0, 0);                // 0
        transfer(a, FREAD, kBuf + 0x100, 100);   // 40 0
        transfer(a, FREAD, kBuf + 0x100, 100);   // 0 0
        by_id(a, FCLOSE);                // 0
    });
    r.put_name(kName1, dir / "data.txt");
    r.put(kBuf, text);
    EXPECT_EQ(r.results(), (Cells{0, 0, 0, 0, 40, 0, 0, 0, 40, 0, 0, 40, 0}));
    EXPECT_EQ(slurp(dir / "data.txt"), text);
    EXPECT_EQ(std::string(reinterpret_cast<char*>(r.var(kBuf + 0x100, 40)), 40), text);
    EXPECT_TRUE(r.m.services.files.by_id.empty());
}

TEST(Files, CreateEmptiesAnExistingFileInPlace) {
    TempDir dir;
    spit(dir / "old", "old contents");
    struct stat before;
    ASSERT_EQ(::stat((dir / "old").c_str(), &before), 0);
    Rig r([](Assembler& a) {
        create(a);
        keep(a);
        by_id(a, FSIZE);
    });
    r.put_name(kName1, dir / "old");
    EXPECT_EQ(r.results(), (Cells{0, 0, 0}));
    struct stat after;
    ASSERT_EQ(::stat((dir / "old").c_str(), &after), 0);
    EXPECT_EQ(after.st_ino, before.st_ino);
    EXPECT_EQ(after.st_size, 0);
}

TEST(Files, OpenFailuresLeaveOneCell) {
    TempDir dir;
    ::mkdir((dir / "sub").c_str(), 0700);
    Rig r([](Assembler& a) {
        fopen(a, kRead);                  // no such file
        fopen(a, kRead, kName2);          // no such directory
        fopen(a, kRead, kName2 + 0x100);  // a directory
        a.lit(77);
        a.syscall(FINIT);
    });
    r.put_name(kName1, dir / "missing");
    r.put_name(kName2, dir / "nodir/file");
    r.put_name(kName2 + 0x100, dir / "sub");
    EXPECT_EQ(r.results(), (Cells{0, ERR_ACCESS_DENIED, ERR_PATH_NOT_FOUND, ERR_FILE_NOT_FOUND}));
}

TEST(Files, OpenIgnoresTheLengthAndKeepsToItsAccess) {
    TempDir dir;
    spit(dir / "abc", "xyz");
    Rig r([](Assembler& a) {
        a.lit(kName1); a.lit(1); a.lit(0); a.syscall(FOPEN);   // read-only, length 1
        keep(a);
        transfer(a, FWRITE, kBuf, 3);           // refused
        transfer(a, FREAD, kBuf, 3);            // 3 0
        by_id(a, FCLOSE);
        fopen(a, kWrite);
        keep(a);
        transfer(a, FREAD, kBuf + 8, 3);        // refused
        transfer(a, FWRITE, kBuf + 4, 2);       // 0
    });
    r.put_name(kName1, dir / "abc");
    r.put(kBuf + 4, "AB");
    EXPECT_EQ(r.results(), (Cells{0, ERR_ACCESS_DENIED, 0, 0, 3, ERR_ACCESS_DENIED}));
    EXPECT_EQ(buffer(r, 3), "xyz");
    EXPECT_EQ(slurp(dir / "abc"), "ABz");
}

TEST(Files, IdsNotHandedOutAreRefusedWithInvalidHandle) {
    // 0, 1 and 2, a made-up number and a closed id, for every service that
    // takes an id; each leaves one cell.
    TempDir dir;
    const uint32_t ids[] = {0, 1, 2, kFirstFileId + 50, 0xFFFFFFFF};
    for (uint32_t bad : ids) {
        Rig r([&](Assembler& a) {
            a.lit(bad); a.lit(kId); a.ops("!");
            by_id(a, FCLOSE);
            by_id(a, FSIZE);
            by_id(a, FPOSFETCH);
            seek(a, 0, 0, 0);
            transfer(a, FREAD, kBuf, 4);
            transfer(a, FWRITE, kBuf, 4);
        });
        EXPECT_EQ(r.results(), Cells(6, ERR_INVALID_HANDLE)) << bad;
    }
    Rig closed([](Assembler& a) {
        create(a);
        keep(a);
        by_id(a, FCLOSE);
        by_id(a, FCLOSE);
        transfer(a, FWRITE, kBuf, 4);
    });
    closed.put_name(kName1, dir / "f");
    EXPECT_EQ(closed.results(), (Cells{ERR_INVALID_HANDLE, ERR_INVALID_HANDLE, 0}));
    EXPECT_EQ(slurp(dir / "f"), "");
}

TEST(Files, SharingRules) {
    TempDir dir;
    spit(dir / "s", "shared");
    {
        Rig r([](Assembler& a) {
            create(a);
            keep(a);
            fopen(a, kRead);                  // created: not shared
            a.lit(kName1); a.lit(0); a.syscall(FDELETE);   // nor deleted
            by_id(a, FCLOSE);                 // 0
            fopen(a, kRead, kName2);          // id 0
            fopen(a, kRead, kName2);          // id 0: readers share
            fopen(a, kRW, kName2);            // a writer does not join them
        });
        r.put_name(kName1, dir / "c");
        r.put_name(kName2, dir / "s");
        const Cells s = r.results();
        ASSERT_EQ(s.size(), 8u);
        EXPECT_EQ(s[0], ERR_SHARING_VIOLATION);
        EXPECT_EQ(s[1], 0u);
        EXPECT_EQ(s[3], 0u);
        EXPECT_NE(s[2], s[4]);
        EXPECT_EQ((Cells{s[5], s[6], s[7]}), (Cells{0, ERR_SHARING_VIOLATION, ERR_SHARING_VIOLATION}));
        EXPECT_EQ(::access((dir / "c").c_str(), F_OK), 0);
    }   // its readers close

    Rig w([](Assembler& a) {
        fopen(a, kWrite);
        keep(a);
        fopen(a, kRead);                  // a writer excludes readers
    });
    w.put_name(kName1, dir / "s");
    EXPECT_EQ(w.results(), (Cells{ERR_SHARING_VIOLATION}));
}

TEST(Files, TransfersOutsideTheirBlockMoveNothing) {
    TempDir dir;
    spit(dir / "t", "0123456789");
    Rig r([](Assembler& a) {
        fopen(a, kRW);
        keep(a);
        transfer(a, FREAD, kVarEnd + 12 - 4, 5);    // one byte past the memory
        transfer(a, FWRITE, kVarEnd + 12 - 4, 5);
        xaddr(a, kBuf); a.ops("SWAP"); a.lit(0x12345); a.ops("+ SWAP");   // in no block
        a.lit(4); id(a); a.syscall(FREAD);
        a.lit(0x00400000 - 4); a.lit(0); a.lit(4); id(a); a.syscall(FWRITE);   // no block
        by_id(a, FPOSFETCH);
        transfer(a, FREAD, kVarEnd + 12 - 5, 5);    // the last 5 bytes: fine
    });
    r.put_name(kName1, dir / "t");
    EXPECT_EQ(r.results(), (Cells{0, 5, 0, 0, 0, ERR_NOACCESS, ERR_NOACCESS, ERR_NOACCESS,
                                  ERR_NOACCESS}));
    EXPECT_EQ(slurp(dir / "t"), "0123456789");
    EXPECT_EQ(std::string(reinterpret_cast<char*>(r.var(kVarEnd + 12 - 5, 5)), 5), "01234");
}

TEST(Files, PositionMoves) {
    TempDir dir;
    spit(dir / "p", std::string(100, 'p'));
    Rig r([](Assembler& a) {
        fopen(a, kRead);
        keep(a);
        seek(a, 0, 0, 2);                 // to the end
        by_id(a, FPOSFETCH);              // 100 0 0
        seek(a, 10, 7, 0);                // high cell not read
        by_id(a, FPOSFETCH);              // 10 0 0
        seek(a, uint32_t(-4), 0, 1);      // back 4
        by_id(a, FPOSFETCH);              // 6 0 0
        seek(a, uint32_t(-7), 0, 1);      // before the start
        seek(a, 0, 0, 3);                 // no such method
        by_id(a, FPOSFETCH);              // 6 0 0
    });
    r.put_name(kName1, dir / "p");
    EXPECT_EQ(r.results(), (Cells{0, 0, 6, ERR_INVALID_PARAMETER, ERR_NEGATIVE_SEEK, 0, 0, 6, 0,
                                  0, 0, 10, 0, 0, 0, 100, 0}));
}

TEST(Files, SizeAndPositionPast4GiBFillTheHighCell) {
    TempDir dir;
    const uint64_t size = 0x140000123ull;
    {
        const int fd = ::open((dir / "big").c_str(), O_CREAT | O_WRONLY, 0600);
        ASSERT_GE(fd, 0);
        if (::ftruncate(fd, off_t(size)) != 0) GTEST_SKIP() << "no sparse 5 GiB file here";
        ::close(fd);
    }
    Rig r([](Assembler& a) {
        fopen(a, kRead);
        keep(a);
        by_id(a, FSIZE);
        seek(a, 0, 0, 2);
        by_id(a, FPOSFETCH);
    });
    r.put_name(kName1, dir / "big");
    EXPECT_EQ(r.results(), (Cells{0, 1, 0x40000123, 0, 0, 1, 0x40000123}));
}

TEST(Files, DeleteAndItsFailures) {
    TempDir dir;
    spit(dir / "gone", "x");
    ::mkdir((dir / "d").c_str(), 0700);
    Rig r([](Assembler& a) {
        a.lit(kName1); a.lit(0); a.syscall(FDELETE);
        a.lit(kName1); a.lit(0); a.syscall(FDELETE);
        a.lit(kName2); a.lit(0); a.syscall(FDELETE);
    });
    r.put_name(kName1, dir / "gone");
    r.put_name(kName2, dir / "d");
    EXPECT_EQ(r.results(), (Cells{ERR_ACCESS_DENIED, ERR_FILE_NOT_FOUND, 0}));
    EXPECT_NE(::access((dir / "gone").c_str(), F_OK), 0);
}

TEST(Files, CopyOverwritesOrRefuses) {
    TempDir dir;
    spit(dir / "from", "new contents");
    spit(dir / "to", "old");
    auto copy = [](uint32_t flag) {
        return [flag](Assembler& a) {
            a.lit(kName1); a.lit(kName2); a.lit(flag); a.syscall(FCOPY);
        };
    };
    Rig refuse(copy(0xFFFFFFFF));
    refuse.put_name(kName1, dir / "from");
    refuse.put_name(kName2, dir / "to");
    EXPECT_EQ(refuse.results(), (Cells{ERR_FILE_EXISTS}));
    EXPECT_EQ(slurp(dir / "to"), "old");

    Rig overwrite(copy(0));
    overwrite.put_name(kName1, dir / "from");
    overwrite.put_name(kName2, dir / "to");
    EXPECT_EQ(overwrite.results(), (Cells{0}));
    EXPECT_EQ(slurp(dir / "to"), "new contents");

    Rig fresh(copy(1));
    fresh.put_name(kName1, dir / "from");
    fresh.put_name(kName2, dir / "fresh");
    EXPECT_EQ(fresh.results(), (Cells{0}));
    EXPECT_EQ(slurp(dir / "fresh"), "new contents");

    Rig itself(copy(0));
    itself.put_name(kName1, dir / "from");
    itself.put_name(kName2, dir / "from");
    EXPECT_EQ(itself.results(), (Cells{ERR_SHARING_VIOLATION}));
    EXPECT_EQ(slurp(dir / "from"), "new contents");

    Rig missing(copy(1));
    missing.put_name(kName1, dir / "none");
    missing.put_name(kName2, dir / "none2");
    EXPECT_EQ(missing.results(), (Cells{ERR_FILE_NOT_FOUND}));
    EXPECT_NE(::access((dir / "none2").c_str(), F_OK), 0);
}

TEST(Files, CopyOfALargeFileIsComplete) {
    TempDir dir;
    std::string data(300000, '\0');
    for (size_t i = 0; i < data.size(); ++i) data[i] = char(i * 7 + i / 251);
    spit(dir / "from", data);
    Rig r([](Assembler& a) { a.lit(kName1); a.lit(kName2); a.lit(0); a.syscall(FCOPY); });
    r.put_name(kName1, dir / "from");
    r.put_name(kName2, dir / "to");
    EXPECT_EQ(r.results(), (Cells{0}));
    EXPECT_EQ(slurp(dir / "to"), data);
}

TEST(Files, OpenFilesAreBounded) {
    TempDir dir;
    spit(dir / "f", "");
    Rig r([](Assembler& a) {
        fopen(a, kRead);
        fopen(a, kRead);
        fopen(a, kRead);
    });
    r.m.services.files.max_open = 2;
    r.put_name(kName1, dir / "f");
    const Cells s = r.results();
    ASSERT_EQ(s.size(), 5u);
    EXPECT_EQ(s[0], ERR_TOO_MANY_OPEN_FILES);
}

TEST(Files, NamesMustEndInsideTheirMemory) {
    Rig r([](Assembler& a) {
        a.lit(kVarEnd + 12 - 3); a.lit(0); a.syscall(FCREATE);
    });
    r.put(kVarEnd + 12 - 3, "abc");   // no NUL before the end
    EXPECT_EQ(r.results(), (Cells{ERR_NOACCESS}));
}

TEST(Files, NamesInNoMemoryAreTranslationFaultsInTheirOrder) {
    Rig r([](Assembler& a) {
        a.lit(kOutside + 0x100); a.lit(kOutside); a.lit(0); a.syscall(FCOPY);
    });
    const std::string report = r.fault();
    EXPECT_NE(report.find("GETVARPTR - Error"), std::string::npos) << report;
    EXPECT_NE(report.find("EAX:90000000"), std::string::npos) << report;   // name2 first
    Rig o([](Assembler& a) { a.lit(kOutside); a.lit(0); a.lit(0); a.syscall(FOPEN); });
    EXPECT_NE(o.fault().find("GETVARPTR - Error"), std::string::npos);
}

TEST(ErrorNumbers, EveryErrnoHasOneNumberAndTheRestAreMarked) {
    for (unsigned i = 0; i < kErrnoTableSize; ++i)
        for (unsigned j = i + 1; j < kErrnoTableSize; ++j)
            EXPECT_NE(kErrnoTable[i].err, kErrnoTable[j].err) << i << " " << j;
    EXPECT_EQ(ior_of_errno(ENOENT), 2u);
    EXPECT_EQ(ior_of_errno(EXDEV), kUnmappedErrno + EXDEV);
}

}  // namespace
}  // namespace norvex::testing
