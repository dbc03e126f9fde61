// The port's system calls, counted and made to fail through the seam.
#include "link/Pgmcomm.h"
#include "link/PosixComPort.h"
#include "platform/VirtualClock.h"
#include "tests/link_posix/ExpectThrow.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <vector>

using serial::PosixComPort;

namespace {

struct Call {
    unsigned long request;
    int bits;
    bool operator==(const Call&) const = default;
};

class FakeSys final : public serial::SerialSys {
public:
    static constexpr int fd = 42;

    int open(const char*, int flags) override
    {
        ++calls;
        openFlags = flags;
        return fail(openErrno) ? -1 : fd;
    }
    int close(int) override
    {
        ++calls;
        ++closes;
        return 0;
    }
    int ioctl(int, unsigned long request, int* arg) override
    {
        ++calls;
        if (request == TIOCMGET)
            *arg = cts ? TIOCM_CTS : 0;
        ioctls.push_back({request, arg ? *arg : 0});
        return fail(request == failRequest ? ioctlErrno : 0) ? -1 : 0;
    }
    int flock(int, int) override
    {
        ++calls;
        return fail(flockErrno) ? -1 : 0;
    }
    int tcgetattr(int, termios* settings) override
    {
        ++calls;
        // A port left in cooked mode with flow control by a previous user.
        *settings = {};
        settings->c_iflag = IXON | IXOFF | ICRNL;
        settings->c_lflag = ICANON | ECHO;
        settings->c_cflag = CRTSCTS | B115200;
        return 0;
    }
    int tcsetattr(int, int, const termios* settings) override
    {
        ++calls;
        applied = *settings;
        return fail(tcsetErrno) ? -1 : 0;
    }

    int openErrno = 0, flockErrno = 0, tcsetErrno = 0, ioctlErrno = 0;
    unsigned long failRequest = 0;
    bool cts = false;

    int calls = 0, closes = 0, openFlags = 0;
    std::vector<Call> ioctls;
    termios applied{};

private:
    static bool fail(int err)
    {
        errno = err;
        return err != 0;
    }
};

class SeamPort : public ::testing::Test {
protected:
    void SetUp() override { port.SetComNumber(3); }
    void open()
    {
        port.SetOpen(true);
        sys.calls = 0;
        sys.ioctls.clear();
    }
    FakeSys sys;
    PosixComPort port{&sys};
};

} // namespace

TEST_F(SeamPort, OpensRawAndExclusiveAndReleasesOnDestruction)
{
    {
        PosixComPort scoped{&sys};
        scoped.SetComNumber(3);
        scoped.SetOpen(true);
        EXPECT_EQ(sys.openFlags, O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
        EXPECT_EQ(sys.ioctls, (std::vector<Call>{{TIOCEXCL, 0}}));
        const termios& t = sys.applied;
        EXPECT_EQ(cfgetospeed(&t), B9600);
        EXPECT_EQ(cfgetispeed(&t), B9600);
        EXPECT_EQ(t.c_cflag & (CLOCAL | CREAD), tcflag_t{CLOCAL | CREAD});
        EXPECT_EQ(t.c_cflag & CRTSCTS, 0u);
        EXPECT_EQ(t.c_iflag & tcflag_t{IXON | IXOFF | ICRNL}, 0u);
        EXPECT_EQ(t.c_lflag & tcflag_t{ICANON | ECHO}, 0u);
    }
    EXPECT_EQ(sys.closes, 1);
    EXPECT_EQ(sys.ioctls.back(), (Call{TIOCNXCL, 0}));
}

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
    EXPECT_EQ(sys.ioctls, (std::vector<Call>{{TIOCMBIS, TIOCM_RTS},
                                             {TIOCMBIC, TIOCM_RTS},
                                             {TIOCMBIS, TIOCM_DTR},
                                             {TIOCMBIC, TIOCM_DTR},
                                             {TIOCMGET, TIOCM_CTS},
                                             {TIOCMGET, 0}}));
}

TEST_F(SeamPort, FailingLineCallRaisesWithReasonAndDevice)
{
    open();
    sys.failRequest = TIOCMBIC;
    sys.ioctlErrno = EIO;
    const auto text = thrownText<serial::ELineError>([&] { port.SetDTR(false); });
    EXPECT_NE(text.find(std::strerror(EIO)), std::string::npos) << text;
    EXPECT_NE(text.find("/dev/ttyS2"), std::string::npos) << text;
}

TEST_F(SeamPort, OpenFailuresMapToTheirKinds)
{
    sys.openErrno = EACCES;
    auto text = thrownText<serial::EBadId>([&] { port.SetOpen(true); });
    EXPECT_NE(text.find("sudo usermod -aG dialout $USER"), std::string::npos) << text;
    sys.openErrno = EBUSY;
    thrownText<serial::EAlreadyOpen>([&] { port.SetOpen(true); });
    sys.openErrno = EIO;
    text = thrownText<serial::EBadId>([&] { port.SetOpen(true); });
    EXPECT_NE(text.find(std::strerror(EIO)), std::string::npos) << text;
    EXPECT_EQ(sys.closes, 0);
    sys.openErrno = 0;

    // Failures after the device is open close it again; a lock held
    // elsewhere must not lose the holder's exclusive flag to our cleanup.
    sys.flockErrno = EWOULDBLOCK;
    thrownText<serial::EAlreadyOpen>([&] { port.SetOpen(true); });
    EXPECT_EQ(sys.closes, 1);
    EXPECT_TRUE(sys.ioctls.empty());
    sys.flockErrno = 0;

    sys.tcsetErrno = ENOTTY;
    text = thrownText<serial::EBadId>([&] { port.SetOpen(true); });
    EXPECT_NE(text.find("not a serial port"), std::string::npos) << text;
    EXPECT_EQ(sys.closes, 2);
    EXPECT_FALSE(port.GetOpen());
}

TEST_F(SeamPort, TransferByteCostsThirtyThreeCallsPerByte)
{
    platform::VirtualClock clock;
    platform::ScopedClock useClock(clock);
    open();
    pgmComm link(port);
    sys.cts = true; // inverted: every bit reads as 0
    EXPECT_EQ(link.transferByte(0xAC), 0x00);
    sys.cts = false;
    EXPECT_EQ(link.transferByte(0x53), 0xFF);
    EXPECT_EQ(sys.calls, 66);
    EXPECT_EQ(sys.ioctls.front(), (Call{TIOCMBIS, TIOCM_RTS}));
}
