// Whole programming runs through the device link: the image must come back
// exactly when the waits are kept, and the device must punish skipping them.
#include "tests/sim/SimHarness.h"

#include "platform/VirtualClock.h"

#include <gtest/gtest.h>

#include <algorithm>

namespace {

constexpr uint32_t flashSize = sim::Atmega128::flashSize;

// Erase, enable again, program every page, read the whole flash back.
std::vector<uint8_t> programAndReadBack(simtest::Bench& bench, const std::vector<uint8_t>& image)
{
    EXPECT_TRUE(bench.link.programEnable());
    bench.link.chipErase();
    bench.link.programEnable();
    simtest::programPages(bench.link, image, 0, flashSize);
    return simtest::readFlash(bench.link, 0, flashSize);
}

TEST(SimProgramming, WholeImageComesBackWithTheWaits)
{
    platform::VirtualClock clock;
    platform::ScopedClock installed(clock);
    simtest::Bench bench;
    const auto image = simtest::randomImage(17);

    const auto readBack = programAndReadBack(bench, image);
    EXPECT_TRUE(readBack == image);
    EXPECT_TRUE(std::equal(image.begin(), image.end(), bench.device.flash().begin()));
    EXPECT_EQ(bench.device.pageWrites(), flashSize / sim::Atmega128::pageSize);
    EXPECT_EQ(bench.device.instructionsLost(), 0u);
}

TEST(SimProgramming, SkippingTheWaitsLosesPages)
{
    simtest::NoWaitClock clock;
    platform::ScopedClock installed(clock);
    simtest::Bench bench;
    const auto image = simtest::randomImage(17);

    const auto readBack = programAndReadBack(bench, image);
    EXPECT_FALSE(readBack == image);
    EXPECT_GT(bench.device.instructionsLost(), 0u);
    EXPECT_LT(bench.device.pageWrites(), flashSize / sim::Atmega128::pageSize);
}

TEST(SimProgramming, ProgrammingOnlyClearsBits)
{
    platform::VirtualClock clock;
    platform::ScopedClock installed(clock);
    simtest::Bench bench;
    ASSERT_TRUE(bench.link.programEnable());
    std::vector<uint8_t> image(flashSize, 0xF0);
    simtest::programPages(bench.link, image, 0, 256);
    std::fill(image.begin(), image.begin() + 256, 0x0F);
    simtest::programPages(bench.link, image, 0, 256);
    EXPECT_EQ(simtest::readFlash(bench.link, 0, 256), std::vector<uint8_t>(256, 0x00));
}

TEST(SimProgramming, PageBufferIsBlankAgainAfterAWrite)
{
    platform::VirtualClock clock;
    platform::ScopedClock installed(clock);
    simtest::Bench bench;
    ASSERT_TRUE(bench.link.programEnable());
    simtest::programPages(bench.link, std::vector<uint8_t>(flashSize, 0x00), 0, 256);
    // Only one byte of the next page is loaded: the rest must stay erased.
    bench.link.loadPageByte(0x100, 0x5A);
    bench.link.writePage(0x1FF);
    auto expected = std::vector<uint8_t>(256, 0xFF);
    expected[0] = 0x5A;
    EXPECT_EQ(simtest::readFlash(bench.link, 0x100, 0x200), expected);
}

TEST(SimProgrammingScenarios, StuckBitShowsAtItsAddressOnly)
{
    platform::VirtualClock clock;
    platform::ScopedClock installed(clock);
    simtest::Bench bench(sim::Scenario::parse("stuck-bit:0x1FF42"));
    ASSERT_TRUE(bench.link.programEnable());
    std::vector<uint8_t> image(flashSize, 0x00);
    simtest::programPages(bench.link, image, 0x1FE00, flashSize);
    auto expected = std::vector<uint8_t>(0x200, 0x00);
    expected[0x142] = 0x01;
    EXPECT_EQ(simtest::readFlash(bench.link, 0x1FE00, flashSize), expected);
}

TEST(SimProgrammingScenarios, PowerLossLeavesPartlyProgrammedFlash)
{
    platform::VirtualClock clock;
    platform::ScopedClock installed(clock);
    // Enable, two full pages (257 instructions each), then part of a third.
    simtest::Bench bench(sim::Scenario::parse("power-loss:615"));
    const auto image = simtest::randomImage(5);
    ASSERT_TRUE(bench.link.programEnable());
    simtest::programPages(bench.link, image, 0, 0x400);

    EXPECT_FALSE(bench.device.powered());
    const auto& flash = bench.device.flash();
    EXPECT_TRUE(std::equal(image.begin(), image.begin() + 0x200, flash.begin()));
    EXPECT_TRUE(std::all_of(flash.begin() + 0x200, flash.end(), [](uint8_t b) { return b == 0xFF; }));
    EXPECT_EQ(simtest::readFlash(bench.link, 0, 0x100), std::vector<uint8_t>(0x100, 0xFF));
    EXPECT_FALSE(bench.link.programEnable());

    // Repowered, it still holds what was written before the loss.
    bench.device.powerCycle();
    ASSERT_TRUE(bench.link.programEnable());
    EXPECT_EQ(bench.link.readFlashByte(0x1FF), image[0x1FF]);
}

std::vector<uint8_t> noisyRead(uint64_t seed)
{
    platform::VirtualClock clock;
    platform::ScopedClock installed(clock);
    auto scenario = sim::Scenario::parse("noisy:0.01");
    scenario.seed = seed;
    simtest::Bench bench(scenario);
    // Enabling may itself be hit by noise; repower and retry as an operator
    // would, a few times.
    for (int tries = 0; tries < 5 && !bench.link.programEnable(); ++tries)
        bench.device.powerCycle();
    EXPECT_TRUE(bench.device.programmingEnabled());
    return simtest::readFlash(bench.link, 0, 0x400);
}

TEST(SimProgrammingScenarios, NoisyLineIsDeterministicPerSeed)
{
    const auto first = noisyRead(3);
    EXPECT_EQ(first, noisyRead(3));
    EXPECT_NE(first, noisyRead(4));
    EXPECT_NE(first, std::vector<uint8_t>(0x400, 0xFF));
}

TEST(SimProgrammingScenarios, LockModesRefuseWritesAndHideTheFlash)
{
    platform::VirtualClock clock;
    platform::ScopedClock installed(clock);
    simtest::Bench bench;
    ASSERT_TRUE(bench.link.programEnable());
    bench.device.flash()[0] = 0x12;
    std::vector<uint8_t> image(flashSize, 0x00);

    // Mode 2 (LB1 only): programming refused, verification still possible.
    bench.device.lockBits = 0xFE;
    simtest::programPages(bench.link, image, 0x100, 0x200);
    EXPECT_EQ(bench.link.readFlashByte(0), 0x12);
    EXPECT_EQ(bench.link.readFlashByte(0x100), 0xFF);

    // Mode 3: the flash reads FF as well.
    bench.device.lockBits = 0xFC;
    EXPECT_EQ(bench.link.readFlashByte(0), 0xFF);
    // A lock write cannot take programmed lock bits back.
    simtest::instruction(bench.device, {0xAC, 0xE0, 0x00, 0xFF});
    clock.advanceNs(sim::Atmega128::fuseWriteNs);
    EXPECT_EQ(bench.device.lockBits, 0xFC);

    bench.link.chipErase();
    ASSERT_TRUE(bench.link.programEnable());
    simtest::programPages(bench.link, image, 0x100, 0x200);
    EXPECT_EQ(bench.link.readFlashByte(0x100), 0x00);
}

} // namespace
