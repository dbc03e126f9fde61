#include "link/posix/PosixComPort.h"
#include "link/SystemPort.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <memory>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

namespace serial {

int SerialSys::open(const char* path, int flags)
{
    return ::open(path, flags);
}

int SerialSys::close(int fd)
{
    return ::close(fd);
}

int SerialSys::ioctl(int fd, unsigned long request, int* arg)
{
    return arg ? ::ioctl(fd, request, arg) : ::ioctl(fd, request);
}

int SerialSys::flock(int fd, int operation)
{
    return ::flock(fd, operation);
}

int SerialSys::tcgetattr(int fd, termios* settings)
{
    return ::tcgetattr(fd, settings);
}

int SerialSys::tcsetattr(int fd, int when, const termios* settings)
{
    return ::tcsetattr(fd, when, settings);
}

SerialSys& SerialSys::real()
{
    static SerialSys sys;
    return sys;
}

namespace {

constexpr unsigned long setBits = TIOCMBIS;
constexpr unsigned long clearBits = TIOCMBIC;
constexpr unsigned long getBits = TIOCMGET;

std::string reason(int err)
{
    return std::strerror(err);
}

bool isMissingDevice(int err)
{
    switch (err) {
    case ENOENT:
    case ENXIO:
    case ENODEV:
    case ENOTDIR:
    case ENAMETOOLONG:
    case ELOOP:
        return true;
    default:
        return false;
    }
}

} // namespace

PosixComPort::PosixComPort(SerialSys* sys)
    : sys_(sys ? sys : &SerialSys::real())
{
}

PosixComPort::~PosixComPort()
{
    close();
}

std::string PosixComPort::devicePathFor(uint16_t number)
{
    if (number == 0)
        return {};
    const std::string variable = "KPX_COM" + std::to_string(number);
    const char* override = std::getenv(variable.c_str());
    if (override && *override)
        return override;
    return "/dev/ttyS" + std::to_string(number - 1);
}

void PosixComPort::open()
{
    if (fd_ >= 0)
        return;
    if (number_ == 0)
        throw ENoPortSelected("No COM port selected");

    const std::string port = name();
    std::string path = devicePathFor(number_);
    int fd = -1;
    do {
        fd = sys_->open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    } while (fd < 0 && errno == EINTR);
    if (fd < 0) {
        const int err = errno;
        if (isMissingDevice(err))
            throw EBadId(port + ": there is no serial port at " + path + " (" + reason(err)
                         + "). To use another device, set KPX_COM" + std::to_string(number_)
                         + " to its path, e.g. KPX_COM" + std::to_string(number_)
                         + "=/dev/ttyUSB0.");
        if (err == EACCES || err == EPERM)
            throw EBadId(port + ": no permission to open " + path + " (" + reason(err)
                         + "). Add your user to the dialout group with"
                           " \"sudo usermod -aG dialout $USER\", then log in again.");
        if (err == EBUSY)
            throw EAlreadyOpen(port + ": " + path + " is in use by another program ("
                               + reason(err) + ").");
        throw EBadId(port + ": cannot open " + path + ": " + reason(err));
    }
    fd_ = fd;
    path_ = std::move(path);

    // The kernel lets a second opener (and root always) in; the advisory
    // lock is what keeps two programs, or two port objects, from clocking
    // the same lines at once.
    if (sys_->flock(fd_, LOCK_EX | LOCK_NB) != 0)
        failOpen(errno, "locking");
    // Another program's exclusive claim keeps others out, but not root: a
    // root opener would take the port over and clear that program's claim
    // on close. A device that cannot tell is tried as before.
#ifdef TIOCGEXCL
    int claimed = 0;
    if (sys_->ioctl(fd_, TIOCGEXCL, &claimed) == 0 && claimed != 0)
        failOpen(EBUSY, "claiming");
#endif
    // A terminal opens like a serial port but has no modem lines: refused
    // now, before its settings are touched, not at the first line call.
    int lines = 0;
    if (sys_->ioctl(fd_, getBits, &lines) != 0)
        failOpen(errno, "reading the modem lines of");
    if (sys_->ioctl(fd_, TIOCEXCL, nullptr) != 0)
        failOpen(errno, "claiming");
    exclusive_ = true;

    // No character ever goes out; what matters is that no flow control
    // touches RTS or DTR behind our back, and that a missing carrier does
    // not hang the device up.
    termios settings{};
    if (sys_->tcgetattr(fd_, &settings) != 0)
        failOpen(errno, "reading the settings of");
    found_ = std::make_unique<termios>(settings);
    ::cfmakeraw(&settings);
    ::cfsetispeed(&settings, B9600);
    ::cfsetospeed(&settings, B9600);
    settings.c_cflag |= CLOCAL | CREAD;
    settings.c_cflag &= ~static_cast<tcflag_t>(CRTSCTS);
    settings.c_iflag &= ~static_cast<tcflag_t>(IXON | IXOFF | IXANY);
    if (sys_->tcsetattr(fd_, TCSANOW, &settings) != 0)
        failOpen(errno, "setting up");
}

void PosixComPort::failOpen(int err, const char* step)
{
    const std::string port = name();
    const std::string path = path_;
    close();
    if (err == EWOULDBLOCK)
        throw EAlreadyOpen(port + ": another program holds " + path + ".");
    if (err == EBUSY)
        throw EAlreadyOpen(port + ": " + path + " is in use by another program (" + reason(err)
                           + ").");
    if (err == ENOTTY || err == EINVAL)
        throw EBadId(port + ": " + path + " is not a serial port (" + reason(err) + ").");
    throw EBadId(port + ": " + step + " " + path + " failed: " + reason(err));
}

void PosixComPort::close() noexcept
{
    if (fd_ < 0)
        return;
    // A pseudo-terminal keeps its flags while its other side is open; leave
    // the device as we found it for the next opener.
    if (found_)
        sys_->tcsetattr(fd_, TCSANOW, found_.get());
    if (exclusive_)
        sys_->ioctl(fd_, TIOCNXCL, nullptr);
    // Closing the descriptor also drops the lock.
    sys_->close(fd_);
    fd_ = -1;
    exclusive_ = false;
    found_.reset();
    path_.clear();
}

void PosixComPort::SetRTS(bool level)
{
    setLine(TIOCM_RTS, level, "RTS");
}

void PosixComPort::SetDTR(bool level)
{
    setLine(TIOCM_DTR, level, "DTR");
}

void PosixComPort::setLine(int bit, bool level, const char* line)
{
    if (fd_ < 0)
        notOpen(line);
    int bits = bit;
    if (sys_->ioctl(fd_, level ? setBits : clearBits, &bits) != 0)
        lineFailed(errno, line);
}

bool PosixComPort::GetCTS()
{
    if (fd_ < 0)
        notOpen("CTS");
    int bits = 0;
    if (sys_->ioctl(fd_, getBits, &bits) != 0)
        lineFailed(errno, "CTS");
    return (bits & TIOCM_CTS) != 0;
}

void PosixComPort::lineFailed(int err, const char* line) const
{
    throw ELineError(name() + " (" + path_ + "): the " + line
                     + " line call failed: " + reason(err));
}

} // namespace serial

namespace serial {

std::unique_ptr<ComPort> makeSystemPort()
{
    return std::make_unique<PosixComPort>();
}

std::string systemPortDevice(uint16_t number)
{
    // An empty variable is no choice of device: say that the default holds.
    const std::string variable = "KPX_COM" + std::to_string(number);
    const char* value = std::getenv(variable.c_str());
    return PosixComPort::devicePathFor(number) + (value && !*value ? " (" + variable + " is empty)" : "");
}

} // namespace serial
