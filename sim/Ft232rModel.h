// A model of an FT232R USB adapter at the libftdi seam, its bit-bang pins
// wired through the cable to the simulated instrument: pin states in,
// samples out, the chip's buffer limit, the bit-bang clock on virtual time,
// and the faults of the field (no permission, held by another program,
// unplugged after so many calls).
#pragma once

#include "link/PortSet.h"
#include "link/UsbBitbang.h"
#include "platform/VirtualClock.h"
#include "sim/Atmega128.h"

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace sim {

class Ft232rModel {
public:
    // device null: nothing on the cable; the input pins float high.
    explicit Ft232rModel(std::string serial, Atmega128* device = nullptr);

    // When set, each pin state moves this clock on by one tick of the
    // bit-bang clock, so the instrument's programming times pass as they do
    // behind a real adapter.
    platform::VirtualClock* clock = nullptr;

    // Faults.
    bool noPermission = false;
    bool heldElsewhere = false;
    // Every call from this one on (counted from 1, over the model's life)
    // fails as on an unplugged device.
    std::optional<uint64_t> unplugAtCall;

    // What the port did.
    struct Counters {
        uint64_t calls = 0;
        // libftdi read and write calls (submits).
        uint64_t transfers = 0;
        uint64_t pinStates = 0;
        // Rising clock edges: eight per byte exchange, one per extra pulse.
        uint64_t clockPulses = 0;
        // Most samples taken and not yet read by the host at any time.
        size_t mostUnread = 0;
        // States that moved the clock up and the data line at once: which
        // the device sees first is left to chance on real wires.
        uint64_t races = 0;
        // Writes that stalled on the full buffer.
        uint64_t stalls = 0;
        uint64_t opens = 0;
    };
    Counters counters;

    const std::string& serial() const { return serial_; }
    bool opened() const { return open_; }
    uint8_t bitmode() const { return bitmode_; }
    uint8_t outputMask() const { return outputMask_; }
    // Pin states per second as the chip runs with the baud rate set: the
    // bit-bang clock at 16 times the chip's baud rate, which libftdi sets to
    // 4 times the rate given once bit-bang is on. 0 before a rate is set.
    int64_t pinRate() const { return chipBaud_ * 16; }
    uint8_t pins() const { return pins_; }

private:
    friend class Ft232rModelContext;

    bool call();
    uint8_t sample() const;
    void apply(uint8_t state);

    std::string serial_;
    Atmega128* device_;
    bool open_ = false;
    uint8_t bitmode_ = 0;
    uint8_t outputMask_ = 0;
    int64_t chipBaud_ = 0;
    // When the next pin state starts: the states' own time, with no gaps
    // between transfers.
    int64_t pinTimeNs_ = 0;
    uint8_t pins_ = 0xFF;
    // Samples taken that no read has collected yet.
    std::vector<uint8_t> unread_;
    // The read waiting for samples.
    uint8_t* readInto_ = nullptr;
    size_t readWanted_ = 0;
    size_t readGot_ = 0;
    bool writeFailed_ = false;
};

// The libftdi context over a set of modelled adapters.
class Ft232rModelContext final : public usb::FtdiContext {
public:
    explicit Ft232rModelContext(std::vector<Ft232rModel*> adapters);
    ~Ft232rModelContext() override;

    std::vector<usb::AdapterInfo> findAll() override;
    usb::OpenResult open(const std::string& serial) override;
    int setLatencyTimer(uint8_t ms) override;
    int setBitmode(uint8_t outputMask, uint8_t mode) override;
    int setBaudrate(int baudrate) override;
    int purge() override;
    int readSubmit(uint8_t* in, int size) override;
    int writeSubmit(const uint8_t* out, int size) override;
    int transfersDone() override;
    int close() override;
    std::string errorText() override { return error_; }

private:
    int fail(const std::string& text);
    bool ready();

    std::vector<Ft232rModel*> adapters_;
    Ft232rModel* open_ = nullptr;
    std::string error_;
};

usb::FtdiFactory modelFactory(std::vector<Ft232rModel*> adapters);

// The simulated instrument's ports: COM1 to COM4 wired to it, and, with
// withAdapter (where the platform has adapter ports), one modelled FT232R
// adapter, serial number "SIM00001", wired to it as well.
struct SimulatedPorts {
    SimulatedPorts(Atmega128& device, platform::VirtualClock* clock, bool withAdapter);
    std::unique_ptr<Ft232rModel> adapter;
    std::unique_ptr<serial::PortSet> ports;
};

} // namespace sim
