// Scenario texts as a command line gives them, and the simulated port's
// opening rules.
#include "tests/sim/SimHarness.h"

#include <gtest/gtest.h>

#include <stdexcept>

namespace {

using Kind = sim::Scenario::Kind;

TEST(SimScenarioParse, NamesAndParameters)
{
    EXPECT_EQ(sim::Scenario::parse("no-device").kind, Kind::NoDeviceCtsLow);
    EXPECT_EQ(sim::Scenario::parse("no-device-high").kind, Kind::NoDeviceCtsHigh);
    EXPECT_EQ(sim::Scenario::parse("out-of-sync").syncOffsetBits, 3);
    EXPECT_EQ(sim::Scenario::parse("out-of-sync:5").syncOffsetBits, 5);
    EXPECT_EQ(sim::Scenario::parse("stuck-bit:0x1FFFF").stuckAddress, 0x1FFFFu);
    EXPECT_EQ(sim::Scenario::parse("stuck-bit:4660").stuckAddress, 0x1234u);
    EXPECT_DOUBLE_EQ(sim::Scenario::parse("noisy:0.25").bitErrorRate, 0.25);
    EXPECT_EQ(sim::Scenario::parse("power-loss:12").powerLossAfter, 12u);
}

TEST(SimScenarioParse, MalformedTextIsRejected)
{
    for (const char* text : {"", "bogus", "Normal", "normal:1", "locked:", "out-of-sync:", "out-of-sync:0",
                             "out-of-sync:8", "out-of-sync:3x", "stuck-bit:0x20000", "stuck-bit:0x",
                             "stuck-bit:-1", "noisy:1.5", "noisy:nan", "noisy:abc", "power-loss:-3",
                             "power-loss:99999999999999999999"}) {
        SCOPED_TRACE(text);
        EXPECT_THROW(sim::Scenario::parse(text), std::invalid_argument);
    }
    try {
        sim::Scenario::parse("bogus");
    } catch (const std::invalid_argument& error) {
        // The message offers the valid names.
        EXPECT_NE(std::string(error.what()).find("power-loss[:N]"), std::string::npos);
    }
}

TEST(SimComPort, OpeningRules)
{
    sim::Atmega128 device;
    sim::SimComPort port(device);
    port.badPort = 2;
    port.busyPort = 3;
    EXPECT_THROW(port.SetOpen(true), serial::ENoPortSelected);
    port.SetComNumber(2);
    EXPECT_THROW(port.SetOpen(true), serial::EBadId);
    port.SetComNumber(3);
    EXPECT_THROW(port.SetOpen(true), serial::EAlreadyOpen);
    port.SetComNumber(5);
    EXPECT_THROW(port.SetOpen(true), serial::EBadId);
    EXPECT_FALSE(port.GetOpen());
    EXPECT_THROW(port.SetRTS(true), serial::ELineError);
    EXPECT_THROW(port.SetDTR(true), serial::ELineError);
    EXPECT_THROW(port.GetCTS(), serial::ELineError);

    port.SetComNumber(4);
    port.SetOpen(true);
    EXPECT_TRUE(port.GetOpen());
    // Renumbering an open port reopens it, failing like a fresh open.
    port.SetComNumber(1);
    EXPECT_TRUE(port.GetOpen());
    EXPECT_THROW(port.SetComNumber(3), serial::EAlreadyOpen);
    EXPECT_FALSE(port.GetOpen());
}

} // namespace
