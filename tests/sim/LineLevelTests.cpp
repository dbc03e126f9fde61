// The device at the level of the cable's lines: which edge samples, which
// edge shifts out, and what each byte of an instruction carries back.
#include "tests/sim/SimHarness.h"

#include <gtest/gtest.h>

using simtest::exchange;
using simtest::instruction;

namespace {

using Bytes = std::array<uint8_t, 4>;

TEST(SimLineLevel, ProgrammingEnableEchoes53DuringTheThirdByte)
{
    sim::Atmega128 device;
    // Nothing is driven before the device is enabled.
    EXPECT_EQ(instruction(device, {0xAC, 0x53, 0x00, 0x00}), (Bytes{0xFF, 0xFF, 0x53, 0x00}));
    EXPECT_TRUE(device.programmingEnabled());
}

TEST(SimLineLevel, EnableMatchesTheByteRunWhateverTheFraming)
{
    sim::Atmega128 device;
    EXPECT_EQ(exchange(device, 0x00), 0xFF);
    EXPECT_EQ(exchange(device, 0xAC), 0xFF);
    EXPECT_EQ(exchange(device, 0x53), 0xFF);
    EXPECT_EQ(exchange(device, 0x00), 0x53);
    EXPECT_TRUE(device.programmingEnabled());
}

TEST(SimLineLevel, ReadAnswerComesOutDuringTheFourthByte)
{
    sim::Atmega128 device;
    device.flash()[0x0100] = 0x3C;
    device.flash()[0x0101] = 0x96; // MSB and LSB differ: a wrong edge shows
    device.recordInstructions = true;
    instruction(device, {0xAC, 0x53, 0x00, 0x00});

    // Each earlier byte echoes the one before it.
    EXPECT_EQ(instruction(device, {0x28, 0x00, 0x80, 0x00}), (Bytes{0x00, 0x28, 0x00, 0x96}));
    EXPECT_EQ(instruction(device, {0x20, 0x00, 0x80, 0x00})[3], 0x3C);
    EXPECT_EQ(instruction(device, {0x30, 0x00, 0x01, 0x00})[3], 0x97);
    EXPECT_EQ(device.instructionsExecuted(), 4u);
    ASSERT_EQ(device.instructions().size(), 4u);
    EXPECT_EQ(device.instructions()[1], (Bytes{0x28, 0x00, 0x80, 0x00}));
}

TEST(SimLineLevel, NoDeviceHoldsCtsAtItsIdleLevel)
{
    sim::Atmega128 low(sim::Scenario::parse("no-device"));
    sim::Atmega128 high(sim::Scenario::parse("no-device-high"));
    EXPECT_EQ(instruction(low, {0xAC, 0x53, 0x00, 0x00}), (Bytes{0xFF, 0xFF, 0xFF, 0xFF}));
    EXPECT_EQ(instruction(high, {0xAC, 0x53, 0x00, 0x00}), (Bytes{0x00, 0x00, 0x00, 0x00}));
    EXPECT_FALSE(low.cts());
    EXPECT_TRUE(high.cts());
    EXPECT_FALSE(low.programmingEnabled());
    EXPECT_FALSE(high.programmingEnabled());
}

TEST(SimLineLevel, OutOfStepDeviceDoesNotEchoUntilAnExtraPulse)
{
    sim::Atmega128 device(sim::Scenario::parse("out-of-sync:7"));
    EXPECT_NE(instruction(device, {0xAC, 0x53, 0x00, 0x00})[2], 0x53);
    device.setRts(false);
    device.setRts(true);
    EXPECT_EQ(instruction(device, {0xAC, 0x53, 0x00, 0x00})[2], 0x53);

    device.powerCycle();
    EXPECT_FALSE(device.programmingEnabled());
    EXPECT_NE(instruction(device, {0xAC, 0x53, 0x00, 0x00})[2], 0x53);
}

} // namespace
