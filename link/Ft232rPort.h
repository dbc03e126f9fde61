// An FT232R USB adapter in synchronous bit-bang mode, in the place of a
// serial port: the programming interface's clock, data out and data in on
// the pins behind RTS, DTR and CTS. Single line calls work (each is a USB
// round trip); the device link uses the batching instead, which sends whole
// byte exchanges as buffers of pin states and decodes the answers from the
// samples the chip returns.
#pragma once

#include "link/ComPort.h"
#include "link/LineBatch.h"
#include "link/UsbBitbang.h"

#include <memory>
#include <string>
#include <vector>

namespace usb {

class Ft232rPort final : public serial::ComPort, public serial::LineBatch {
public:
    // name is what the operator sees ("USB FT232R A12345"); the port opens
    // the adapter with this serial number through ftdi.
    Ft232rPort(std::unique_ptr<FtdiContext> ftdi, std::string serial, std::string name);
    // Closes the adapter: what is queued goes out, bit-bang is switched off.
    ~Ft232rPort() override;
    Ft232rPort(const Ft232rPort&) = delete;
    Ft232rPort& operator=(const Ft232rPort&) = delete;

    // The number is the caller's; it selects nothing here.
    void SetComNumber(uint16_t number) override { number_ = number; }
    uint16_t GetComNumber() const override { return number_; }
    // Opening fails with EAlreadyOpen while another program holds the
    // adapter, EBadId with the reason otherwise.
    void SetOpen(bool open) override;
    bool GetOpen() const override { return open_; }

    // Each sends what is queued and then the one change, or takes one sample.
    void SetRTS(bool level) override;
    void SetDTR(bool level) override;
    bool GetCTS() override;

    serial::LineBatch* GetLineBatch() override { return open_ ? this : nullptr; }

    size_t queueByte(uint8_t value) override;
    void queuePulse() override;
    const std::vector<uint8_t>& flush() override;
    size_t queuedBytes() const override { return answerAt_.size(); }

    const std::string& name() const { return name_; }

private:
    void open();
    void close() noexcept;
    void queueState(uint8_t pins);
    // Sends the queue; sample k is the pins as they were before state k.
    void exchange();
    // Switches bit-bang off and closes, as far as the adapter still answers.
    void release() noexcept;
    [[noreturn]] void failOpen(const std::string& step);
    [[noreturn]] void failLines(const std::string& step);
    void requireOpen(const char* line) const;

    std::unique_ptr<FtdiContext> ftdi_;
    std::string serial_;
    std::string name_;
    uint16_t number_ = 0;
    bool open_ = false;
    // The output pins' levels after the last state queued.
    uint8_t pins_ = 0;
    // The clock was left active by the last byte queued: the flush ends the
    // batch with the idle level.
    bool clockActive_ = false;
    std::vector<uint8_t> states_;
    std::vector<uint8_t> samples_;
    // Per queued byte, the index of its first sample: the level before its
    // first clock pulse.
    std::vector<size_t> answerAt_;
    std::vector<uint8_t> answers_;
};

} // namespace usb
