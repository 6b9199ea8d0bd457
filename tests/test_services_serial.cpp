// FPAR@ and FPAR! on a pseudo-terminal pair, and on a file.
#include <fcntl.h>
#include <pty.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include "tests/process_run.h"
#include "tests/rig.h"

namespace norvex::testing {
namespace {

const std::string OPEN = " 0x20001000 0 0xC0000000 FOPEN DROP 0x20001400 ! ", ID = " 0x20001400 @ ";

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

TEST(Serial, FlagWordAndRateReachTheLineAndReadBack) {
    // Binary mode alone: 9600 baud, 8N1, raw, no flow control, reads that
    // return at once. Then XON/XOFF both ways, then CTS flow.
    Pty pty;
    ASSERT_FALSE(pty.path.empty());
    struct termios t;
    {
        Rig r(OPEN + "1 9600" + ID + "FPAR!" + ID + "FPAR@");
        r.put_name(0x20001000, pty.path);
        EXPECT_EQ(r.results(), (Cells{0, 9600, 1, 0}));
        t = pty.modes();
    }
    EXPECT_EQ(cfgetospeed(&t), speed_t(B9600));
    EXPECT_EQ(t.c_cflag & (CSIZE | PARENB | CSTOPB | CRTSCTS), tcflag_t(CS8));
    EXPECT_FALSE(t.c_iflag & (IXON | IXOFF | ICRNL));
    EXPECT_FALSE(t.c_lflag & (ICANON | ECHO | ISIG));
    EXPECT_FALSE(t.c_oflag & OPOST);
    EXPECT_EQ(t.c_cc[VMIN] + t.c_cc[VTIME], 0);

    Rig r(OPEN + "0x301 115200" + ID + "FPAR!" + ID + "FPAR@ 5 57600" + ID + "FPAR!" + ID +
          "FPAR@");
    r.put_name(0x20001000, pty.path);
    const Cells s = r.results();
    ASSERT_EQ(s.size(), 8u);
    EXPECT_EQ((Cells{s[6], s[5], s[4]}), (Cells{0x0301, 115200, 0}));
    // A pseudo-terminal need not keep CRTSCTS; where it does, CTS flow reads
    // back as CTS flow with the RTS handshake.
    t = pty.modes();
    EXPECT_EQ(s[2], (t.c_cflag & CRTSCTS) ? 0x2005u : 0x0001u);
    EXPECT_EQ(s[1], 57600u);

    // On a plain file nothing changes; FPAR@ answers what was last set.
    TempDir dir;
    spit(dir / "plain", "x");
    Rig f(OPEN + "0x301 4800" + ID + "FPAR!" + ID + "FPAR@");
    f.put_name(0x20001000, dir / "plain");
    EXPECT_EQ(f.results(), (Cells{0, 4800, 0x0301, 0}));
    EXPECT_EQ(slurp(dir / "plain"), "x");
}

TEST(Serial, ReadsReturnAtOnceWithWhatHasArrived) {
    Pty pty;
    ASSERT_FALSE(pty.path.empty());
    struct termios raw = pty.modes();   // so that no line editing holds input back
    cfmakeraw(&raw);
    tcsetattr(pty.slave, TCSANOW, &raw);
    const std::string read16 = " 0x20002000 >X DROP 16" + ID + "FREAD";
    {
        Rig r(OPEN + "1 9600" + ID + "FPAR! DROP" + read16 + " 0x20002100 >X DROP 3" + ID +
              "FWRITE");
        r.put_name(0x20001000, pty.path);
        r.put(0x20002100, "out");
        EXPECT_EQ(r.results(), (Cells{0, 0, 0}));   // nothing had arrived
        char got[8] = {};
        EXPECT_EQ(::read(pty.master, got, sizeof got), 3);
        EXPECT_EQ(std::string(got, 3), "out");
    }
    ASSERT_EQ(::write(pty.master, "ping", 4), 4);
    for (int i = 0, queued = 0; i < 1000 && queued < 4; ++i)   // until the line has them
        if (::ioctl(pty.slave, FIONREAD, &queued) != 0 || queued < 4) ::usleep(1000);
    Rig in(OPEN + "1 9600" + ID + "FPAR! DROP" + read16);
    in.put_name(0x20001000, pty.path);
    EXPECT_EQ(in.results(), (Cells{0, 4}));
    EXPECT_EQ(in.bytes_at(0x20002000, 4), "ping");
}

}  // namespace
}  // namespace norvex::testing
