// The seam between the FT232R port and the library that reaches the chip:
// the few calls the port makes, so that libftdi (Linux, link/ftdi, the only
// code that links it), the vendor's D2XX library (Windows, link/d2xx) and a
// model of the adapter in tests differ only in how they make them.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace usb {

// FT232R adapters as they leave the factory.
constexpr int vendorId = 0x0403;
constexpr int productId = 0x6001;

// The chip's bit-bang pins and the cable's signals on them. The adapter's
// RS-232 transceiver and the cable's level shifter each invert, so the pins
// carry the programming interface's levels directly: RTS asserted is D2 low,
// the clock's idle level.
constexpr uint8_t pinSck = 0x04;  // D2, RTS#
constexpr uint8_t pinMiso = 0x08; // D3, CTS#
constexpr uint8_t pinMosi = 0x10; // D4, DTR#
// D0 TXD, D1 RXD, D5 DSR#, D6 DCD#, D7 RI# stay inputs.
constexpr uint8_t outputPins = pinSck | pinMosi;

// The chip's bit modes used here (the same values in libftdi and D2XX).
constexpr uint8_t bitmodeReset = 0x00;
constexpr uint8_t bitmodeSyncBitbang = 0x04;

// The bit-bang rate. Every pin state lasts one tick of the bit-bang clock,
// and each clock phase of the programming interface is at least one state.
// The ATmega128 needs each SCK phase to last more than two of its own clock
// cycles; a chip still on its 1 MHz factory RC oscillator, which may run up
// to about 10 % slow, needs 2 / 0.9 MHz = 2.2 µs. One state of 2.5 µs is a
// rate of 400,000 states per second.
constexpr int shortestPinStateNs = 2'200;
constexpr int pinStatesPerSecond = 400'000;
static_assert(1'000'000'000 / pinStatesPerSecond >= shortestPinStateNs);
// FTDI's bit-bang documentation: the bit-bang clock runs at 16 times the
// baud rate programmed into the chip, 25,000 baud here (3 MHz / 120, exact).
// D2XX programs the rate it is given; libftdi's ftdi_set_baudrate programs
// 4 times the rate it is given once bit-bang is on. Each seam passes its
// library the value that makes the chip run at the rate asked for.
constexpr int chipBaudRate(int statesPerSecond)
{
    return statesPerSecond / 16;
}
constexpr int d2xxBaudRate(int statesPerSecond)
{
    return chipBaudRate(statesPerSecond);
}
constexpr int libftdiBaudRate(int statesPerSecond)
{
    return chipBaudRate(statesPerSecond) / 4;
}
// The smallest latency timer: the chip sends a short answer after at most
// this long instead of the default 16 ms.
constexpr uint8_t latencyTimerMs = 1;

// Pin states the chip takes in that the host has not read back: 128 in its
// receive buffer, and 256 samples waiting in its transmit buffer. One more
// stalls the adapter unless a read is waiting for the samples.
constexpr size_t unreadStateLimit = 256 + 128;

struct AdapterInfo {
    // Empty when it could not be read.
    std::string serial;
    // Why the adapter cannot be used, for the operator; empty when it can.
    std::string problem;
    // The problem is that another program holds the adapter.
    bool inUse = false;
    // The COM port number the system's serial driver gave the same adapter;
    // 0 for none (or unknown).
    uint16_t comNumber = 0;
};

enum class OpenResult { Opened, NotFound, NoPermission, InUse, Failed };

// One connection to the chip through its library. Calls returning int
// return 0 or more for success, negative for failure, errorText() then
// telling why.
class FtdiContext {
public:
    virtual ~FtdiContext() = default;

    // The FT232R adapters (vendorId:productId) there are, each with its
    // serial number.
    virtual std::vector<AdapterInfo> findAll() = 0;
    // Opens the adapter with this serial number (on Linux the kernel's serial
    // driver detached meanwhile).
    virtual OpenResult open(const std::string& serial) = 0;
    virtual int setLatencyTimer(uint8_t ms) = 0;
    virtual int setBitmode(uint8_t outputMask, uint8_t mode) = 0;
    // Makes the bit-bang clock run at this many pin states per second.
    virtual int setPinRate(int statesPerSecond) = 0;
    // Empties the chip's and the driver's buffers.
    virtual int purge() = 0;
    // Writes size pin states, one per tick of the bit-bang clock, and reads
    // the size samples the chip takes of the pins, each just before it
    // applies a state. Returns once all are in, or fails.
    virtual int transfer(const uint8_t* states, uint8_t* samples, int size) = 0;
    // The most states one transfer may carry: the samples must all fit where
    // the library keeps what it has read from the chip for the program.
    virtual size_t largestTransfer() const = 0;
    virtual int close() = 0;
    virtual std::string errorText() = 0;
};

using FtdiFactory = std::function<std::unique_ptr<FtdiContext>()>;

} // namespace usb
