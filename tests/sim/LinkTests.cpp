// The device link against the simulated instrument: enabling programming in
// and out of step, identification bytes, fuse and lock writes read back.
#include "tests/sim/SimHarness.h"

#include "platform/VirtualClock.h"

#include <gtest/gtest.h>

namespace {

struct EnableResult {
    bool enabled;
    int attempts;    // four byte exchanges each
    int extraPulses; // beyond the eight per byte
    std::vector<uint32_t> sleeps;
};

EnableResult enableOn(const sim::Scenario& scenario)
{
    platform::VirtualClock clock;
    platform::ScopedClock installed(clock);
    sim::Atmega128 device(scenario);
    sim::SimComPort simPort(device);
    simtest::CountingPort port(simPort);
    port.SetComNumber(1);
    port.SetOpen(true);
    port.SetRTS(true);
    pgmComm link(port);
    const bool enabled = link.programEnable();
    EXPECT_EQ(enabled, device.programmingEnabled());
    EXPECT_EQ(port.ctsReads % 32, 0);
    return {enabled, port.ctsReads / 32, port.pulses - port.ctsReads, clock.sleeps()};
}

TEST(SimLink, AnsweringDeviceIsEnabledAtTheFirstAttempt)
{
    const EnableResult result = enableOn({});
    EXPECT_TRUE(result.enabled);
    EXPECT_EQ(result.attempts, 1);
    EXPECT_EQ(result.extraPulses, 0);
    EXPECT_EQ(result.sleeps, std::vector<uint32_t>{30});
}

TEST(SimLink, OutOfStepDeviceIsCaughtByTheExtraPulses)
{
    for (int offset = 1; offset <= 7; ++offset) {
        SCOPED_TRACE(offset);
        const EnableResult result = enableOn(sim::Scenario::parse("out-of-sync:" + std::to_string(offset)));
        EXPECT_TRUE(result.enabled);
        // Each failed attempt is 33 pulses, moving the framing by one bit.
        EXPECT_EQ(result.attempts, 9 - offset);
        EXPECT_EQ(result.extraPulses, result.attempts - 1);
        EXPECT_EQ(result.sleeps, std::vector<uint32_t>{30});
    }
}

TEST(SimLink, SilentDeviceExhaustsTheAttemptsAfterOneWait)
{
    for (const char* name : {"no-device", "no-device-high"}) {
        SCOPED_TRACE(name);
        const EnableResult result = enableOn(sim::Scenario::parse(name));
        EXPECT_FALSE(result.enabled);
        EXPECT_EQ(result.attempts, 32);
        EXPECT_EQ(result.extraPulses, 32);
        EXPECT_EQ(result.sleeps, std::vector<uint32_t>{30});
    }
}

class SimLinkOnEnabledDevice : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(bench.link.programEnable()); }
    std::array<uint8_t, 3> signature()
    {
        return {bench.link.readSignature(0), bench.link.readSignature(1), bench.link.readSignature(2)};
    }
    platform::VirtualClock clock;
    platform::ScopedClock installed{clock};
    simtest::Bench bench;
};

using Signature = std::array<uint8_t, 3>;

TEST_F(SimLinkOnEnabledDevice, IdentifiesAsTheRightModel)
{
    EXPECT_EQ(signature(), (Signature{0x1E, 0x97, 0x02}));
    EXPECT_EQ(bench.link.probeFuseExt(), 0xFF);
    EXPECT_EQ(bench.device.signatureReads(), 3u);
}

TEST_F(SimLinkOnEnabledDevice, FuseWritesReadBack)
{
    EXPECT_EQ(bench.link.readFuseLow(), 0xE1);
    EXPECT_EQ(bench.link.readFuseHigh(), 0x99);
    bench.link.writeFuseHigh();
    bench.link.writeFuseLow();
    bench.link.writeFuseExt();
    EXPECT_EQ(bench.link.readFuseHigh(), 0x9F);
    EXPECT_EQ(bench.link.readFuseLow(), 0xBF);
    EXPECT_EQ(bench.link.readFuseExt(), 0xFF);
    EXPECT_EQ(bench.device.instructionsLost(), 0u);
}

TEST_F(SimLinkOnEnabledDevice, LockedSignatureLastsUntilChipErase)
{
    bench.link.writeLockBits();
    EXPECT_EQ(bench.link.readLockBits(), 0xFC);
    EXPECT_EQ(signature(), (Signature{0x00, 0x01, 0x02}));
    // The lock also holds the fuses.
    bench.link.writeFuseHigh();
    EXPECT_EQ(bench.link.readFuseHigh(), 0x99);

    bench.link.chipErase();
    ASSERT_TRUE(bench.link.programEnable());
    EXPECT_EQ(signature(), (Signature{0x1E, 0x97, 0x02}));
    EXPECT_EQ(bench.link.readLockBits(), 0xFF);
}

} // namespace
