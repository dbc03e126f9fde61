// The port on real kernel objects: pseudo-terminals stand in for serial
// devices, reached through KPX_COM<n>, so no real serial port is touched.
#include "link/PosixComPort.h"
#include "tests/link_posix/ExpectThrow.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <optional>
#include <sys/wait.h>
#include <unistd.h>

using serial::PosixComPort;

namespace {

class Pty {
public:
    Pty()
        : master_(posix_openpt(O_RDWR | O_NOCTTY))
    {
        if (master_ < 0 || grantpt(master_) != 0 || unlockpt(master_) != 0)
            throw std::runtime_error("no pseudo-terminal");
        slave = ptsname(master_);
    }
    ~Pty() { ::close(master_); }
    Pty(const Pty&) = delete;
    Pty& operator=(const Pty&) = delete;
    std::string slave;

private:
    int master_;
};

// Sets (or, with nullopt, removes) an environment variable for one test.
class EnvVar {
public:
    EnvVar(std::string name, std::optional<std::string> value)
        : name_(std::move(name))
    {
        if (const char* old = std::getenv(name_.c_str()))
            old_ = old;
        if (value)
            setenv(name_.c_str(), value->c_str(), 1);
        else
            unsetenv(name_.c_str());
    }
    ~EnvVar()
    {
        if (old_)
            setenv(name_.c_str(), old_->c_str(), 1);
        else
            unsetenv(name_.c_str());
    }

private:
    std::string name_;
    std::optional<std::string> old_;
};

} // namespace

TEST(PosixPortMapping, DefaultsToTtySAndHonoursOverride)
{
    EnvVar com1("KPX_COM1", std::nullopt);
    EnvVar com4("KPX_COM4", "");
    EXPECT_EQ(PosixComPort::devicePathFor(1), "/dev/ttyS0");
    EXPECT_EQ(PosixComPort::devicePathFor(4), "/dev/ttyS3");
    EXPECT_EQ(PosixComPort::devicePathFor(0), "");
    EnvVar com2("KPX_COM2", "/dev/ttyUSB0");
    EXPECT_EQ(PosixComPort::devicePathFor(2), "/dev/ttyUSB0");
}

TEST(PosixPortOpen, HoldsTheDeviceExclusivelyUntilClosed)
{
    Pty pty;
    EnvVar com7("KPX_COM7", pty.slave);
    PosixComPort first;
    PosixComPort second;
    first.SetComNumber(7);
    second.SetComNumber(7);

    first.SetOpen(true);
    EXPECT_TRUE(first.GetOpen());
    EXPECT_EQ(first.devicePath(), pty.slave);
    thrownText<serial::EAlreadyOpen>([&] { second.SetOpen(true); });
    EXPECT_FALSE(second.GetOpen());

    first.SetOpen(false);
    first.SetOpen(false);
    second.SetOpen(true);
    EXPECT_TRUE(second.GetOpen());
}

TEST(PosixPortOpen, DeviceHeldByAnotherProcessIsAlreadyOpen)
{
    Pty pty;
    EnvVar com7("KPX_COM7", pty.slave);
    int ready[2];
    int release[2];
    ASSERT_EQ(pipe(ready), 0);
    ASSERT_EQ(pipe(release), 0);
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        ::close(ready[0]);
        ::close(release[1]);
        int status = 1;
        try {
            PosixComPort held;
            held.SetComNumber(7);
            held.SetOpen(true);
            char c = 'h';
            if (write(ready[1], &c, 1) == 1 && read(release[0], &c, 1) >= 0)
                status = 0;
        } catch (...) {
        }
        _exit(status);
    }
    ::close(ready[1]);
    ::close(release[0]);
    char c = 0;
    ASSERT_EQ(read(ready[0], &c, 1), 1) << "child could not open the device";

    PosixComPort port;
    port.SetComNumber(7);
    const auto text = thrownText<serial::EAlreadyOpen>([&] { port.SetOpen(true); });
    EXPECT_NE(text.find("another program"), std::string::npos) << text;

    ::close(release[1]);
    int status = -1;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    EXPECT_EQ(status, 0);
    ::close(ready[0]);
    port.SetOpen(true);
    EXPECT_TRUE(port.GetOpen());
}

TEST(PosixPortOpen, UnusablePortsFailByKind)
{
    PosixComPort port;
    thrownText<serial::ENoPortSelected>([&] { port.SetOpen(true); });

    const std::string missing = "/nonexistent/kpx-port";
    EnvVar com7("KPX_COM7", missing);
    port.SetComNumber(7);
    auto text = thrownText<serial::EBadId>([&] { port.SetOpen(true); });
    EXPECT_NE(text.find(missing), std::string::npos) << text;
    EXPECT_NE(text.find("COM7"), std::string::npos) << text;

    char plainFile[] = "/tmp/kpx-not-a-tty-XXXXXX";
    const int fd = mkstemp(plainFile);
    ASSERT_GE(fd, 0);
    EnvVar com8("KPX_COM8", plainFile);
    port.SetComNumber(8);
    text = thrownText<serial::EBadId>([&] { port.SetOpen(true); });
    EXPECT_NE(text.find("not a serial port"), std::string::npos) << text;
    EXPECT_FALSE(port.GetOpen());
    ::close(fd);
    unlink(plainFile);
}

TEST(PosixPortOpen, NewNumberWhileOpenSwitchesDevice)
{
    Pty a;
    Pty b;
    EnvVar com7("KPX_COM7", a.slave);
    EnvVar com8("KPX_COM8", b.slave);
    PosixComPort port;
    port.SetComNumber(7);
    port.SetOpen(true);

    port.SetComNumber(8);
    EXPECT_TRUE(port.GetOpen());
    EXPECT_EQ(port.devicePath(), b.slave);
    PosixComPort other; // COM7 was let go
    other.SetComNumber(7);
    other.SetOpen(true);

    port.SetComNumber(0);
    EXPECT_FALSE(port.GetOpen());
}

TEST(PosixPortLines, FailuresCarryTheReason)
{
    PosixComPort port;
    auto text = thrownText<serial::ELineError>([&] { port.SetRTS(true); });
    EXPECT_NE(text.find("not open"), std::string::npos) << text;

    // A pseudo-terminal has no modem lines: the kernel refuses the call.
    Pty pty;
    EnvVar com7("KPX_COM7", pty.slave);
    port.SetComNumber(7);
    port.SetOpen(true);
    text = thrownText<serial::ELineError>([&] { port.GetCTS(); });
    EXPECT_NE(text.find(std::strerror(ENOTTY)), std::string::npos) << text;
    EXPECT_NE(text.find(pty.slave), std::string::npos) << text;
}
