// A model of an FT232R USB adapter, its bit-bang pins wired through the
// cable to the simulated instrument: pin states in, samples out, the chip's
// buffer limit, the bit-bang clock on virtual time, and the faults of the
// field (no permission, held by another program, unplugged after so many
// calls). Reached through the libftdi seam here, and through the D2XX
// functions in sim/D2xxModel.h.
#pragma once

#include "link/PortSet.h"
#include "link/UsbBitbang.h"
#include "platform/VirtualClock.h"
#include "sim/Atmega128.h"

#include <cstdint>
#include <deque>
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
    // The COM number the system's serial driver gave the adapter (D2XX
    // reports it); 0 for none.
    uint16_t comNumber = 0;

    // What the port did.
    struct Counters {
        uint64_t calls = 0;
        // USB transfers the host asked for: libftdi's read and write
        // submits, D2XX's reads and writes.
        uint64_t transfers = 0;
        uint64_t pinStates = 0;
        // Rising clock edges: eight per byte exchange, one per extra pulse.
        uint64_t clockPulses = 0;
        // Most samples taken and not yet read by the program at any time (in
        // the chip, and in the driver's buffer that D2XX reads into).
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
    // bit-bang clock at 16 times the chip's baud rate. 0 before a rate is set.
    int64_t pinRate() const { return chipBaud_ * 16; }
    uint8_t pins() const { return pins_; }

    // The chip as either library's driver reaches it.
    // Counts a call; false once the adapter is unplugged.
    bool call();
    // Claims the adapter; false while another program or context holds it.
    bool claim();
    void release();
    void setBitmode(uint8_t outputMask, uint8_t mode);
    void setChipBaud(int64_t baud);
    void purge();
    // A read waiting for size samples: those waiting go first, the states
    // clocked out next fill the rest.
    void awaitSamples(uint8_t* into, size_t size);
    // Whether the waiting read has all it asked for; ends the wait.
    bool samplesComplete();
    // Clocks states out. A sample goes to the waiting read, else waits
    // unread: in the driver's buffer (hostBuffer samples, which D2XX reads
    // ahead of the program), then in the chip's 384; the write stalls
    // (false) when both are full.
    bool clockOut(const uint8_t* states, size_t size);
    // Takes up to size unread samples; returns how many.
    size_t takeUnread(uint8_t* into, size_t size);
    size_t hostBuffer = 0;

private:
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
    std::deque<uint8_t> unread_;
    // The read waiting for samples.
    uint8_t* readInto_ = nullptr;
    size_t readWanted_ = 0;
    size_t readGot_ = 0;
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
    int setPinRate(int statesPerSecond) override;
    int purge() override;
    int transfer(const uint8_t* states, uint8_t* samples, int size) override;
    size_t largestTransfer() const override { return SIZE_MAX; }
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

// The simulated instrument's ports: COM1 to COM4 wired to it, and one
// modelled FT232R adapter, serial number "SIM00001", wired to it as well.
struct SimulatedPorts {
    SimulatedPorts(Atmega128& device, platform::VirtualClock* clock);
    std::unique_ptr<Ft232rModel> adapter;
    std::unique_ptr<serial::PortSet> ports;
};

// COM1 to COM4 wired to device, then the adapters the factory finds.
std::unique_ptr<serial::PortSet> simulatedPortSet(Atmega128& device, usb::FtdiFactory adapters);

} // namespace sim
