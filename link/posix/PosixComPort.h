// The serial-port component on Linux: a tty device driven through termios and
// the modem-control ioctls. Only RTS, DTR and CTS are used; the UART is set
// to raw 9600 baud without flow control so that nothing but this object ever
// moves RTS or DTR.
#pragma once

#include "link/NumberedPort.h"

#include <cstdint>
#include <memory>
#include <string>

struct termios;

namespace serial {

// The system calls the port makes, so tests can count them and make them
// fail with a chosen errno. Each returns what the POSIX call returns and sets
// errno on failure.
struct SerialSys {
    virtual ~SerialSys() = default;
    virtual int open(const char* path, int flags);
    virtual int close(int fd);
    // For requests without an argument, arg is null.
    virtual int ioctl(int fd, unsigned long request, int* arg);
    virtual int flock(int fd, int operation);
    virtual int tcgetattr(int fd, termios* settings);
    virtual int tcsetattr(int fd, int when, const termios* settings);

    // The calls of the running system.
    static SerialSys& real();
};

class PosixComPort final : public NumberedPort {
public:
    // sys, when given, must outlive the port; null uses the real system.
    explicit PosixComPort(SerialSys* sys = nullptr);
    ~PosixComPort() override;
    PosixComPort(const PosixComPort&) = delete;
    PosixComPort& operator=(const PosixComPort&) = delete;

    // The device that port number n (1 = COM1) opens: $KPX_COM<n> when set
    // and not empty, else /dev/ttyS<n-1>. Empty for 0.
    static std::string devicePathFor(uint16_t number);

    bool GetOpen() const override { return fd_ >= 0; }

    // One ioctl each.
    void SetRTS(bool level) override;
    void SetDTR(bool level) override;
    bool GetCTS() override;

private:
    void open() override;
    void close() noexcept override;
    // Closes the half-opened device and reports why it cannot be used.
    [[noreturn]] void failOpen(int err, const char* step);
    void setLine(int bit, bool level, const char* line);
    [[noreturn]] void lineFailed(int err, const char* line) const;

    SerialSys* sys_;
    int fd_ = -1;
    // TIOCEXCL was set by us and must be cleared again on close.
    bool exclusive_ = false;
    // The device's settings before we made them raw, given back on close.
    std::unique_ptr<termios> found_;
};

} // namespace serial
