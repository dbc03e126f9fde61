// The seam between the FT232R port and libftdi: the calls the port makes on
// one libftdi context, in libftdi's terms, so that a model of the adapter can
// stand in for the library and the USB device in tests. The real one is
// link/ftdi (its own target, the only code that links libftdi).
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

// libftdi's bit modes used here.
constexpr uint8_t bitmodeReset = 0x00;
constexpr uint8_t bitmodeSyncBitbang = 0x04;

// The bit-bang rate. Every pin state lasts one tick of the bit-bang clock,
// and each clock phase of the programming interface is at least one state.
// The ATmega128 needs each SCK phase to last more than two of its own clock
// cycles; a chip still on its 1 MHz factory RC oscillator, which may run up
// to about 10 % slow, needs 2 / 0.9 MHz = 2.2 µs. One state of 2.5 µs is a
// rate of 400,000 states per second.
// FTDI's bit-bang documentation: the bit-bang clock runs at 16 times the
// baud rate programmed into the chip. libftdi's ftdi_set_baudrate programs
// 4 times the rate it is given once bit-bang is on. So: 400,000 / 16 =
// 25,000 baud in the chip (3 MHz / 120, exact), passed to libftdi as 6,250.
constexpr int pinStatesPerSecond = 400'000;
constexpr int chipBaudRate = pinStatesPerSecond / 16;
constexpr int libftdiBaudRate = chipBaudRate / 4;
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
};

enum class OpenResult { Opened, NotFound, NoPermission, InUse, Failed };

// One libftdi context. Calls returning int return libftdi's codes: 0 or
// more for success, negative for failure, errorText() then telling why.
class FtdiContext {
public:
    virtual ~FtdiContext() = default;

    // ftdi_usb_find_all for vendorId:productId, with each serial number.
    virtual std::vector<AdapterInfo> findAll() = 0;
    // ftdi_usb_open_desc by serial number, the serial driver detached.
    virtual OpenResult open(const std::string& serial) = 0;
    virtual int setLatencyTimer(uint8_t ms) = 0;
    virtual int setBitmode(uint8_t outputMask, uint8_t mode) = 0;
    virtual int setBaudrate(int baudrate) = 0;
    // ftdi_tcioflush.
    virtual int purge() = 0;
    // ftdi_read_data_submit: size samples are to come into in. In
    // synchronous bit-bang mode the chip takes a sample of the pins just
    // before it applies each state written.
    virtual int readSubmit(uint8_t* in, int size) = 0;
    // ftdi_write_data_submit: pin states, one per tick of the bit-bang clock.
    virtual int writeSubmit(const uint8_t* out, int size) = 0;
    // ftdi_transfer_data_done on the write, then on the read: returns once
    // both are complete, or fails (and cancels what is left).
    virtual int transfersDone() = 0;
    // ftdi_usb_close.
    virtual int close() = 0;
    virtual std::string errorText() = 0;
};

using FtdiFactory = std::function<std::unique_ptr<FtdiContext>()>;

} // namespace usb
