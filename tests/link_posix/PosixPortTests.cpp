// The Linux serial port, on pseudo-terminals reached through KPX_COM<n> (no
// real serial device is touched) and on a fake of its system calls.
#include "link/SystemPort.h"
#include "link/posix/PosixComPort.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <tuple>
#include <unistd.h>
#include <utility>
#include <vector>

using serial::PosixComPort;
using testing::AllOf;
using testing::HasSubstr;
using testing::ThrowsMessage;

namespace {

// A pseudo-terminal has no modem lines; these stand in for them, so that it
// opens as a port. Every other call is the kernel's.
class ModemLines final : public serial::SerialSys {
public:
    int ioctl(int fd, unsigned long request, int* arg) override
    {
        switch (request) {
        case TIOCMGET:
            *arg = bits_;
            return 0;
        case TIOCMBIS:
            bits_ |= *arg;
            return 0;
        case TIOCMBIC:
            bits_ &= ~*arg;
            return 0;
        default:
            return SerialSys::ioctl(fd, request, arg);
        }
    }

private:
    int bits_ = 0;
};

// COM7 is a fresh pseudo-terminal with modem lines.
class PtyPort : public testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(master >= 0 && grantpt(master) == 0 && unlockpt(master) == 0);
        slave = ptsname(master);
        setenv("KPX_COM7", slave.c_str(), 1);
        port.SetComNumber(7);
    }
    ~PtyPort() override { unsetenv("KPX_COM7"); ::close(master); }
    // Its settings, read through the master.
    termios settings() const
    {
        termios now{};
        EXPECT_EQ(tcgetattr(master, &now), 0);
        return now;
    }

    int master = posix_openpt(O_RDWR | O_NOCTTY);
    std::string slave;
    ModemLines lines;
    PosixComPort port{&lines};
};

TEST(PosixPortMapping, ComNumberNamesTtyS)
{
    unsetenv("KPX_COM1");
    EXPECT_EQ(PosixComPort::devicePathFor(1), "/dev/ttyS0");
    EXPECT_EQ(PosixComPort::devicePathFor(0), "");
    // Set but empty names no device: the operator is told the default holds.
    setenv("KPX_COM1", "", 1);
    EXPECT_EQ(PosixComPort::devicePathFor(1), "/dev/ttyS0");
    EXPECT_EQ(serial::systemPortDevice(1), "/dev/ttyS0 (KPX_COM1 is empty)");
    unsetenv("KPX_COM1");
    EXPECT_EQ(serial::systemPortDevice(1), "/dev/ttyS0");
}

TEST_F(PtyPort, HeldExclusivelyUntilClosed)
{
    port.SetOpen(true);
    EXPECT_EQ(port.devicePath(), slave);
    {
        PosixComPort second(&lines);
        second.SetComNumber(7);
        EXPECT_THROW(second.SetOpen(true), serial::EAlreadyOpen);
        port.SetOpen(false);
        second.SetOpen(true);
    }
    port.SetOpen(true); // the second let go when it was destroyed
    EXPECT_TRUE(port.GetOpen());
}

TEST_F(PtyPort, SettingsItFoundAreGivenBackWhenClosed)
{
    const termios found = settings();
    ASSERT_NE(found.c_lflag & ECHO, 0u);
    port.SetOpen(true);
    EXPECT_EQ(settings().c_lflag & (ECHO | ICANON), 0u) << "raw while open";
    port.SetOpen(false);
    const termios after = settings();
    EXPECT_EQ(std::tuple(after.c_iflag, after.c_oflag, after.c_cflag, after.c_lflag, cfgetospeed(&after)),
              std::tuple(found.c_iflag, found.c_oflag, found.c_cflag, found.c_lflag, cfgetospeed(&found)));
}

// Which devices fail to open, and why, the console's port tests show on
// real files and terminals; these are the port's own misuses.
TEST_F(PtyPort, LinesOfAClosedPortAndAnUnselectedPortFail)
{
    EXPECT_THAT([&] { port.SetRTS(true); }, ThrowsMessage<serial::ELineError>(HasSubstr("not open")));
    port.SetComNumber(0);
    EXPECT_THROW(port.SetOpen(true), serial::ENoPortSelected);
}

using Call = std::pair<unsigned long, int>; // ioctl request and its bits

// Counts every call; a call given an errno fails with it.
class FakeSys final : public serial::SerialSys {
public:
    int open(const char*, int flags) override { openFlags = flags; return result(openErrno, 42); }
    int close(int) override { ++closes; return result(0); }
    int ioctl(int, unsigned long request, int* arg) override
    {
        if (request == TIOCMGET)
            *arg = cts ? TIOCM_CTS : 0;
        if (request == TIOCGEXCL)
            *arg = claimedElsewhere ? 1 : 0;
        ioctls.push_back({request, arg ? *arg : 0});
        return result(request == failRequest ? EIO : 0);
    }
    int flock(int, int) override { return result(flockErrno); }
    // Hardware flow control left on by a previous user.
    int tcgetattr(int, termios* settings) override { *settings = {}; settings->c_cflag = CRTSCTS; return result(0); }
    int tcsetattr(int, int, const termios* settings) override { applied = *settings; return result(tcsetErrno); }

    int openErrno = 0, flockErrno = 0, tcsetErrno = 0, calls = 0, closes = 0, openFlags = 0;
    unsigned long failRequest = 0;
    bool cts = false;
    bool claimedElsewhere = false;
    std::vector<Call> ioctls;
    termios applied{};

private:
    int result(int err, int success = 0) { ++calls; errno = err; return err ? -1 : success; }
};

class SeamPort : public ::testing::Test {
protected:
    // The seam answers every call, so no device is opened; the name only
    // has to show up in the messages.
    void SetUp() override
    {
        setenv("KPX_COM3", "/dev/kpx-fake-com3", 1);
        port.SetComNumber(3);
    }
    void TearDown() override { unsetenv("KPX_COM3"); }
    void open() { port.SetOpen(true); sys.calls = 0; sys.ioctls.clear(); }
    FakeSys sys;
    PosixComPort port{&sys};
};

TEST_F(SeamPort, EachLineCallIsOneIoctl)
{
    open();
    port.SetRTS(true);
    port.SetRTS(false);
    port.SetDTR(true);
    port.SetDTR(false);
    sys.cts = true;
    EXPECT_TRUE(port.GetCTS());
    sys.cts = false;
    EXPECT_FALSE(port.GetCTS());
    EXPECT_EQ(sys.calls, 6);
    // With the link's 33 line calls per byte, 33 system calls per byte.
    EXPECT_EQ(sys.ioctls, (std::vector<Call>{{TIOCMBIS, TIOCM_RTS}, {TIOCMBIC, TIOCM_RTS}, {TIOCMBIS, TIOCM_DTR},
                                             {TIOCMBIC, TIOCM_DTR}, {TIOCMGET, TIOCM_CTS}, {TIOCMGET, 0}}));

    sys.failRequest = TIOCMBIC;
    EXPECT_THAT([&] { port.SetDTR(false); },
                ThrowsMessage<serial::ELineError>(AllOf(HasSubstr(std::strerror(EIO)), HasSubstr("/dev/kpx-fake-com3"))));
}

TEST_F(SeamPort, OpenFailuresMapToTheirKindsThenOpensRaw)
{
    sys.openErrno = EACCES;
    EXPECT_THAT([&] { port.SetOpen(true); },
                ThrowsMessage<serial::EBadId>(HasSubstr("sudo usermod -aG dialout $USER")));
    sys.openErrno = EBUSY;
    EXPECT_THROW(port.SetOpen(true), serial::EAlreadyOpen);
    sys.openErrno = 0;

    // Failures after the device is open close it again; a lock held
    // elsewhere must not lose the holder's exclusive flag to our cleanup.
    sys.flockErrno = EWOULDBLOCK;
    EXPECT_THROW(port.SetOpen(true), serial::EAlreadyOpen);
    EXPECT_EQ(sys.closes, 1);
    EXPECT_TRUE(sys.ioctls.empty());
    sys.flockErrno = 0;

    // Root gets past another program's exclusive claim: the claim is
    // checked, and left alone.
    sys.claimedElsewhere = true;
    EXPECT_THAT([&] { port.SetOpen(true); },
                ThrowsMessage<serial::EAlreadyOpen>(HasSubstr("in use by another program")));
    EXPECT_EQ(sys.closes, 2);
    EXPECT_EQ(sys.ioctls, (std::vector<Call>{{TIOCGEXCL, 1}}));
    sys.claimedElsewhere = false;
    sys.ioctls.clear();

    sys.tcsetErrno = ENOTTY;
    EXPECT_THAT([&] { port.SetOpen(true); }, ThrowsMessage<serial::EBadId>(HasSubstr("not a serial port")));
    EXPECT_EQ(sys.closes, 3);
    sys.tcsetErrno = 0;

    // Raw, without flow control: nothing but this object may move RTS or DTR.
    port.SetOpen(true);
    EXPECT_EQ(sys.openFlags, O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    EXPECT_EQ(sys.applied.c_cflag & tcflag_t{CLOCAL | CREAD | CRTSCTS}, tcflag_t{CLOCAL | CREAD});
    EXPECT_EQ(sys.ioctls, (std::vector<Call>{{TIOCGEXCL, 0}, {TIOCMGET, 0}, {TIOCEXCL, 0}, {TIOCNXCL, 0},
                                             {TIOCGEXCL, 0}, {TIOCMGET, 0}, {TIOCEXCL, 0}}));
}

} // namespace
