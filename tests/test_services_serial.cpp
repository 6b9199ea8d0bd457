// FPAR@ and FPAR! on a pseudo-terminal pair, and on a file.
#include <fcntl.h>
#include <pty.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include "service_rig.h"
#include "services/error_numbers.h"
#include "temp_dir.h"

namespace norvex::testing {
namespace {

constexpr uint32_t TOX = 0x0104, FOPEN = 0x0404, FREAD = 0x040A, FWRITE = 0x040B,
                   FPARFETCH = 0x0413, FPARSTORE = 0x0414;
constexpr uint32_t kName = kVar + 0x1000, kId = kVar + 0x1400, kBuf = kVar + 0x2000;

struct Pty {
    int master = -1, slave = -1;
    std::string path;
    Pty() {
        char name[256];
        if (::openpty(&master, &slave, name, nullptr, nullptr) == 0) path = name;
    }
    ~Pty() {
        ::close(master);
        ::close(slave);
    }
    struct termios modes() const {
        struct termios t{};
        tcgetattr(slave, &t);
        return t;
    }
};

void open_port(Assembler& a) {
    a.lit(kName); a.lit(0); a.lit(0xC0000000); a.syscall(FOPEN);
    a.ops("DROP");
    a.lit(kId); a.ops("!");
}
void set(Assembler& a, uint32_t flags, uint32_t baud) {
    a.lit(flags); a.lit(baud); a.lit(kId); a.ops("@"); a.syscall(FPARSTORE);
}
void get(Assembler& a) {
    a.lit(kId); a.ops("@"); a.syscall(FPARFETCH);
}

TEST(Serial, BinaryModeOnlyIsA9600BaudRawLineWithoutFlowControl) {
    Pty pty;
    ASSERT_FALSE(pty.path.empty());
    Rig r([](Assembler& a) {
        open_port(a);
        set(a, 0x0001, 9600);
        get(a);
    });
    r.put_name(kName, pty.path);
    EXPECT_EQ(r.results(), (Cells{0, 9600, 0x0001, 0}));
    const struct termios t = pty.modes();
    EXPECT_EQ(cfgetospeed(&t), speed_t(B9600));
    EXPECT_EQ(t.c_cflag & CSIZE, tcflag_t(CS8));
    EXPECT_FALSE(t.c_cflag & (PARENB | CSTOPB | CRTSCTS));
    EXPECT_FALSE(t.c_iflag & (IXON | IXOFF | ICRNL));
    EXPECT_FALSE(t.c_lflag & (ICANON | ECHO | ISIG));
    EXPECT_FALSE(t.c_oflag & OPOST);
    EXPECT_EQ(t.c_cc[VMIN], 0);
    EXPECT_EQ(t.c_cc[VTIME], 0);
}

TEST(Serial, FlowControlBitsReachTheLineAndReadBack) {
    Pty pty;
    ASSERT_FALSE(pty.path.empty());
    Rig r([](Assembler& a) {
        open_port(a);
        set(a, 0x0301, 115200);   // XON/XOFF both ways
        get(a);
        set(a, 0x0005, 57600);    // CTS flow
        get(a);
    });
    r.put_name(kName, pty.path);
    const Cells s = r.results();
    ASSERT_EQ(s.size(), 8u);
    EXPECT_EQ((Cells{s[7], s[6], s[5], s[4]}), (Cells{0, 0x0301, 115200, 0}));
    // A pseudo-terminal may not keep CRTSCTS; where it does, it reads back
    // as CTS flow with the RTS handshake.
    const struct termios t = pty.modes();
    EXPECT_FALSE(t.c_iflag & (IXON | IXOFF));
    EXPECT_EQ(s[1], 57600u);
    EXPECT_EQ(s[2], (t.c_cflag & CRTSCTS) ? 0x2005u : 0x0001u);
}

TEST(Serial, ReadsReturnAtOnceWithWhatHasArrived) {
    Pty pty;
    ASSERT_FALSE(pty.path.empty());
    {
        Rig r([](Assembler& a) {
            open_port(a);
            set(a, 0x0001, 9600);
            a.ops("DROP");
            auto fread = [&](uint32_t n) {
                a.lit(kBuf); a.syscall(TOX); a.ops("DROP"); a.lit(n); a.lit(kId); a.ops("@");
                a.syscall(FREAD);
            };
            fread(16);                 // nothing yet: 0 0
            a.lit(kBuf + 0x100); a.syscall(TOX); a.ops("DROP"); a.lit(3); a.lit(kId); a.ops("@");
            a.syscall(FWRITE);         // 0
        });
        r.put_name(kName, pty.path);
        r.put(kBuf + 0x100, "out");
        EXPECT_EQ(r.results(), (Cells{0, 0, 0}));
        char got[8] = {};
        EXPECT_EQ(::read(pty.master, got, sizeof got), 3);
        EXPECT_EQ(std::string(got, 3), "out");
    }   // closes the port

    Rig in([](Assembler& a) {
        open_port(a);
        set(a, 0x0001, 9600);
        a.ops("DROP");
        a.lit(kBuf); a.syscall(TOX); a.ops("DROP"); a.lit(16); a.lit(kId); a.ops("@");
        a.syscall(FREAD);
    });
    in.put_name(kName, pty.path);
    // The rig runs the image in one go, so the bytes are sent first and wait
    // in the line's input queue (a raw one, so that no line editing holds
    // them back).
    struct termios raw = pty.modes();
    cfmakeraw(&raw);
    tcsetattr(pty.slave, TCSANOW, &raw);
    ASSERT_EQ(::write(pty.master, "ping", 4), 4);
    for (int i = 0; i < 100; ++i) {   // until the line has them
        int queued = 0;
        if (::ioctl(pty.slave, FIONREAD, &queued) == 0 && queued == 4) break;
        ::usleep(1000);
    }
    const Cells s = in.results();
    ASSERT_EQ(s.size(), 2u);
    EXPECT_EQ(s[0], 0u);
    EXPECT_EQ(s[1], 4u);
    EXPECT_EQ(std::string(reinterpret_cast<char*>(in.var(kBuf, 4)), 4), "ping");
}

TEST(Serial, OnAFileNothingChangesAndTheRecordAnswers) {
    TempDir dir;
    spit(dir / "plain", "x");
    Rig r([](Assembler& a) {
        open_port(a);
        get(a);                    // 0 0 0: nothing read yet
        set(a, 0x0301, 4800);      // 0
        get(a);                    // 0x301 4800 0
        a.lit(1); a.syscall(FPARFETCH);   // not a file id the image got
        a.lit(7); a.lit(9600); a.lit(2); a.syscall(FPARSTORE);
    });
    r.put_name(kName, dir / "plain");
    EXPECT_EQ(r.results(), (Cells{ERR_INVALID_HANDLE, ERR_INVALID_HANDLE, 0, 4800, 0x0301, 0,
                                  0, 0, 0}));
    EXPECT_EQ(slurp(dir / "plain"), "x");
}

}  // namespace
}  // namespace norvex::testing
