// Helpers shared by the simulator's tests: a bare line-level byte exchange,
// a port that counts line calls, a clock whose sleeps do not pass, and
// whole-page programming through the device link.
#pragma once

#include "link/Pgmcomm.h"
#include "platform/Clock.h"
#include "sim/Atmega128.h"
#include "sim/SimComPort.h"

#include <array>
#include <cstdint>
#include <random>
#include <vector>

namespace simtest {

// Clocks one byte straight into the device, reading before each pulse, as
// the cable's host side does; independent of the device link on purpose.
inline uint8_t exchange(sim::Atmega128& device, uint8_t value)
{
    device.setRts(true);
    unsigned received = 0;
    for (int bit = 7; bit >= 0; --bit) {
        received = (received << 1) | (device.cts() ? 0u : 1u);
        device.setDtr(((value >> bit) & 1) == 0);
        device.setRts(false);
        device.setRts(true);
    }
    return static_cast<uint8_t>(received);
}

inline std::array<uint8_t, 4> instruction(sim::Atmega128& device, std::array<uint8_t, 4> bytes)
{
    std::array<uint8_t, 4> received{};
    for (size_t i = 0; i < bytes.size(); ++i)
        received[i] = exchange(device, bytes[i]);
    return received;
}

// Forwards to the simulated port and counts clock pulses and CTS reads
// (eight per byte exchanged).
class CountingPort final : public serial::ComPort {
public:
    explicit CountingPort(sim::SimComPort& port) : port_(port) {}
    void SetComNumber(uint16_t number) override { port_.SetComNumber(number); }
    uint16_t GetComNumber() const override { return port_.GetComNumber(); }
    void SetOpen(bool open) override { port_.SetOpen(open); }
    bool GetOpen() const override { return port_.GetOpen(); }
    void SetRTS(bool level) override
    {
        if (!level)
            ++pulses;
        port_.SetRTS(level);
    }
    void SetDTR(bool level) override { port_.SetDTR(level); }
    bool GetCTS() override
    {
        ++ctsReads;
        return port_.GetCTS();
    }

    int pulses = 0;
    int ctsReads = 0;

private:
    sim::SimComPort& port_;
};

// Sleeps return at once without time passing: a host that skips the
// programming waits. The counter still moves so microDelay ends.
class NoWaitClock final : public platform::Clock {
public:
    void sleepMs(uint32_t) override {}
    bool performanceFrequency(int64_t& ticksPerSecond) override
    {
        ticksPerSecond = 10'000'000;
        return true;
    }
    bool performanceCounter(int64_t& ticks) override
    {
        nowNs_ += 100;
        ticks = nowNs_ / 100;
        return true;
    }
    int64_t nowNs() override { return nowNs_; }

private:
    int64_t nowNs_ = 0;
};

// An instrument on an open COM1 with RTS at its idle level, and the link.
struct Bench {
    explicit Bench(const sim::Scenario& scenario = {})
        : device(scenario), port(device), link(port)
    {
        port.SetComNumber(1);
        port.SetOpen(true);
        port.SetRTS(true);
    }
    sim::Atmega128 device;
    sim::SimComPort port;
    pgmComm link;
};

inline std::vector<uint8_t> randomImage(uint64_t seed)
{
    std::mt19937_64 rng(seed);
    std::vector<uint8_t> image(sim::Atmega128::flashSize);
    for (auto& byte : image)
        byte = static_cast<uint8_t>(rng());
    return image;
}

// Page loads per byte, the page write on each page's last byte.
inline void programPages(pgmComm& link, const std::vector<uint8_t>& image, uint32_t first, uint32_t end)
{
    for (uint32_t address = first; address < end; ++address) {
        link.loadPageByte(address, image[address]);
        if ((address & 0xFFu) == 0xFFu)
            link.writePage(address);
    }
}

inline std::vector<uint8_t> readFlash(pgmComm& link, uint32_t first, uint32_t end)
{
    std::vector<uint8_t> bytes;
    bytes.reserve(end - first);
    for (uint32_t address = first; address < end; ++address)
        bytes.push_back(link.readFlashByte(address));
    return bytes;
}

} // namespace simtest
