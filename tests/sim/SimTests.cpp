// The simulated instrument driven through the device link, as an update
// drives it, on a virtual clock.
#include "link/Pgmcomm.h"
#include "platform/VirtualClock.h"
#include "sim/Atmega128.h"
#include "sim/SimComPort.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <optional>
#include <random>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

namespace {

using Bytes = std::array<uint8_t, 4>;
constexpr uint32_t flashSize = sim::Atmega128::flashSize;

// Counts clock pulses and CTS reads (eight per byte) on their way to the
// simulated port.
class CountingPort final : public serial::ComPort {
public:
    explicit CountingPort(sim::SimComPort& port) : port_(port) {}
    void SetComNumber(uint16_t number) override { port_.SetComNumber(number); }
    uint16_t GetComNumber() const override { return port_.GetComNumber(); }
    void SetOpen(bool open) override { port_.SetOpen(open); }
    bool GetOpen() const override { return port_.GetOpen(); }
    void SetRTS(bool level) override { pulses += level ? 0 : 1; port_.SetRTS(level); }
    void SetDTR(bool level) override { port_.SetDTR(level); }
    bool GetCTS() override { ++ctsReads; return port_.GetCTS(); }
    int pulses = 0;
    int ctsReads = 0;

private:
    sim::SimComPort& port_;
};

// The instrument on an open COM1 with RTS at its idle level, and the link.
struct Bench {
    explicit Bench(const sim::Scenario& scenario = {}) : device(scenario)
    {
        port.SetComNumber(1);
        port.SetOpen(true);
        port.SetRTS(true);
    }
    Bytes send(Bytes bytes)
    {
        for (auto& byte : bytes)
            byte = link.transferByte(byte);
        return bytes;
    }
    // Page loads per byte, the page write on each page's last byte.
    void program(const std::vector<uint8_t>& image, uint32_t first, uint32_t end)
    {
        for (uint32_t address = first; address < end; ++address) {
            link.loadPageByte(address, image[address]);
            if ((address & 0xFFu) == 0xFFu)
                link.writePage(address);
        }
    }
    std::vector<uint8_t> read(uint32_t first, uint32_t end)
    {
        std::vector<uint8_t> bytes;
        for (uint32_t address = first; address < end; ++address)
            bytes.push_back(link.readFlashByte(address));
        return bytes;
    }
    std::array<uint8_t, 3> signature()
    {
        return {link.readSignature(0), link.readSignature(1), link.readSignature(2)};
    }

    platform::VirtualClock clock;
    platform::ScopedClock installed{clock};
    sim::Atmega128 device;
    sim::SimComPort simPort{device};
    CountingPort port{simPort};
    pgmComm link{port};
};

std::vector<uint8_t> randomImage(uint64_t seed)
{
    std::mt19937_64 random(seed);
    std::vector<uint8_t> image(flashSize);
    for (auto& byte : image)
        byte = static_cast<uint8_t>(random());
    return image;
}

TEST(SimLines, EnableEchoes53AndReadsAnswerDuringTheFourthByte)
{
    Bench bench;
    // Nothing is driven before the device is enabled.
    EXPECT_EQ(bench.send({0xAC, 0x53, 0x00, 0x00}), (Bytes{0xFF, 0xFF, 0x53, 0x00}));
    bench.device.flash()[0x0100] = 0x3C;
    bench.device.flash()[0x0101] = 0x96; // MSB and LSB differ: a wrong edge shows
    // Each earlier byte echoes the one before it.
    EXPECT_EQ(bench.send({0x28, 0x00, 0x80, 0x00}), (Bytes{0x00, 0x28, 0x00, 0x96}));
    EXPECT_EQ(bench.send({0x20, 0x00, 0x80, 0x00})[3], 0x3C);
    EXPECT_EQ(bench.send({0x30, 0x00, 0x01, 0x00})[3], 0x97);
}

// Programming Enable clocked in with every clock level lasting phaseNs on
// the line's own time, as the modelled adapter's pin states do: a chip on
// its factory oscillator needs 2.2 µs, and misses shorter levels.
TEST(SimLines, ClockLevelsShorterThanTheChipCanSeeAreMissed)
{
    struct Case {
        std::optional<int64_t> minimumNs; // none: as the chip comes
        int64_t phaseNs;
        bool enabled;
    };
    for (const Case& c : {Case{{}, 2'500, true}, Case{{}, 2'200, true}, Case{{}, 2'199, false},
                          Case{1'000, 1'250, true}, Case{3'000, 2'500, false}}) {
        SCOPED_TRACE(c.phaseNs);
        sim::Atmega128 device;
        if (c.minimumNs)
            device.minClockPhaseNs = *c.minimumNs;
        int64_t now = 0;
        for (const unsigned byte : {0xACu, 0x53u, 0x00u, 0x00u}) {
            for (int bit = 7; bit >= 0; --bit) {
                device.setDtr(((byte >> bit) & 1u) == 0);
                device.setRts(false, now += c.phaseNs);
                device.setRts(true, now += c.phaseNs);
            }
        }
        EXPECT_EQ(device.programmingEnabled(), c.enabled);
        EXPECT_EQ(device.clockEdgesMissed() == 0, c.enabled);
    }
}

TEST(SimLink, ProgrammingEnableAttemptsAndExtraPulses)
{
    // Scenario and attempts taken; a silent device uses up all 32.
    std::vector<std::pair<std::string, int>> cases{{"normal", 1}, {"no-device", 32}, {"no-device-high", 32}};
    // Each failed attempt is 33 pulses, moving the framing by one bit.
    for (int offset = 1; offset <= 7; ++offset)
        cases.emplace_back("out-of-sync:" + std::to_string(offset), 9 - offset);
    for (const auto& [scenario, attempts] : cases) {
        SCOPED_TRACE(scenario);
        Bench bench(sim::Scenario::parse(scenario));
        const bool answers = !scenario.starts_with("no-device");
        EXPECT_EQ(bench.link.programEnable(), answers);
        EXPECT_EQ(bench.device.programmingEnabled(), answers);
        EXPECT_EQ(bench.port.ctsReads, 32 * attempts);
        EXPECT_EQ(bench.port.pulses - bench.port.ctsReads, answers ? attempts - 1 : 32);
        EXPECT_EQ(bench.clock.sleeps(), std::vector<uint32_t>{30});
    }
}

TEST(SimProgramming, WholeImageComesBackOnlyWithTheWaits)
{
    const auto image = randomImage(17);
    for (const bool waits : {true, false}) {
        SCOPED_TRACE(waits);
        Bench bench;
        ASSERT_TRUE(bench.link.programEnable());
        bench.link.chipErase();
        bench.link.programEnable();
        if (!waits) // from here on, sleeps return before the time has passed
            bench.clock.onSleep = [&](uint32_t ms) { bench.clock.advanceNs(-int64_t{ms} * 1'000'000); };
        bench.program(image, 0, flashSize);
        EXPECT_EQ(bench.read(0, flashSize) == image, waits);
        EXPECT_EQ(std::equal(image.begin(), image.end(), bench.device.flash().begin()), waits);
        EXPECT_EQ(bench.device.instructionsLost() == 0, waits);
    }
}

TEST(SimProgramming, WritesOnlyClearBitsAndEachPageStartsBlank)
{
    Bench bench;
    ASSERT_TRUE(bench.link.programEnable());
    bench.program(std::vector<uint8_t>(0x100, 0xF0), 0, 0x100);
    bench.program(std::vector<uint8_t>(0x100, 0x0F), 0, 0x100);
    EXPECT_EQ(bench.read(0, 0x100), std::vector<uint8_t>(0x100, 0x00));
    bench.link.loadPageByte(0x100, 0x5A);
    bench.link.writePage(0x1FF);
    EXPECT_EQ(bench.read(0x100, 0x102), (std::vector<uint8_t>{0x5A, 0xFF}));
}

TEST(SimProgramming, LockBitsHoldUntilChipErase)
{
    Bench bench;
    ASSERT_TRUE(bench.link.programEnable());
    bench.device.flash()[0] = 0x12;
    const std::vector<uint8_t> zeros(0x200, 0x00);

    // LB1 alone refuses writes but leaves the flash readable for verifying.
    bench.device.lockBits = 0xFE;
    bench.program(zeros, 0x100, 0x200);
    EXPECT_EQ(bench.link.readFlashByte(0x100), 0xFF);
    EXPECT_EQ(bench.link.readFlashByte(0), 0x12);

    bench.link.writeLockBits();
    EXPECT_EQ(bench.link.readLockBits(), 0xFC);
    EXPECT_EQ(bench.signature(), (std::array<uint8_t, 3>{0x00, 0x01, 0x02}));
    EXPECT_EQ(bench.link.readFlashByte(0), 0xFF);
    bench.link.writeFuseHigh();
    EXPECT_EQ(bench.link.readFuseHigh(), 0x99);
    bench.send({0xAC, 0xE0, 0x00, 0xFF}); // lock bits cannot be taken back
    bench.clock.advanceNs(sim::Atmega128::fuseWriteNs);
    EXPECT_EQ(bench.device.lockBits, 0xFC);

    bench.link.chipErase();
    ASSERT_TRUE(bench.link.programEnable());
    EXPECT_EQ(bench.signature(), (std::array<uint8_t, 3>{0x1E, 0x97, 0x02}));
    EXPECT_EQ(bench.link.readLockBits(), 0xFF);
    bench.program(zeros, 0x100, 0x200);
    EXPECT_EQ(bench.link.readFlashByte(0x100), 0x00);
}

TEST(SimScenarios, PowerLossLeavesPartlyProgrammedFlash)
{
    // Enable, two full pages (257 instructions each), then part of a third.
    Bench bench(sim::Scenario::parse("power-loss:615"));
    const auto image = randomImage(5);
    ASSERT_TRUE(bench.link.programEnable());
    bench.program(image, 0, 0x400);

    EXPECT_FALSE(bench.device.powered());
    const auto& flash = bench.device.flash();
    EXPECT_TRUE(std::equal(image.begin(), image.begin() + 0x200, flash.begin()));
    EXPECT_TRUE(std::all_of(flash.begin() + 0x200, flash.end(), [](uint8_t b) { return b == 0xFF; }));
    EXPECT_FALSE(bench.link.programEnable());

    bench.device.powerCycle();
    ASSERT_TRUE(bench.link.programEnable());
    EXPECT_EQ(bench.link.readFlashByte(0x1FF), image[0x1FF]);
}

// Each name's behaviour is what the update and console tests run against;
// here, the parameters and what is refused.
TEST(SimScenarios, ParseEveryParameter)
{
    EXPECT_EQ(sim::Scenario::parse("out-of-sync:5").syncOffsetBits, 5);
    EXPECT_EQ(sim::Scenario::parse("stuck-bit:0x1FFFF").stuckAddress, 0x1FFFFu);
    EXPECT_EQ(sim::Scenario::parse("stuck-bit:4660").stuckAddress, 0x1234u);
    EXPECT_DOUBLE_EQ(sim::Scenario::parse("noisy:0.25").bitErrorRate, 0.25);
    EXPECT_EQ(sim::Scenario::parse("power-loss:12").powerLossAfter, 12u);
    EXPECT_EQ(sim::Scenario::parse("unplugged:40").unplugAfter, 40u);

    for (const char* text : {"", "Normal", "normal:1", "out-of-sync:0", "out-of-sync:8", "out-of-sync:3x",
                             "stuck-bit:0x20000", "stuck-bit:-1", "noisy:1.5", "noisy:nan", "stuck-locked:1",
                             "power-loss:99999999999999999999", "unplugged:x"})
        EXPECT_THROW(sim::Scenario::parse(text), std::invalid_argument) << text;
    // The message offers the valid names.
    EXPECT_THAT([] { sim::Scenario::parse("bogus"); },
                testing::ThrowsMessage<std::invalid_argument>(testing::HasSubstr("power-loss[:N]")));
}

// The bad and busy ports are the window's port-selection cases.
TEST(SimComPort, OpeningRules)
{
    sim::Atmega128 device;
    sim::SimComPort port(device);
    port.busyPort = 3;
    EXPECT_THROW(port.SetOpen(true), serial::ENoPortSelected);
    port.SetComNumber(5);
    EXPECT_THROW(port.SetOpen(true), serial::EBadId);
    EXPECT_THROW(port.SetRTS(true), serial::ELineError);

    port.SetComNumber(4);
    port.SetOpen(true);
    // Renumbering an open port reopens it, failing like a fresh open.
    port.SetComNumber(1);
    EXPECT_TRUE(port.GetOpen());
    EXPECT_THROW(port.SetComNumber(3), serial::EAlreadyOpen);
    EXPECT_FALSE(port.GetOpen());
}

} // namespace
