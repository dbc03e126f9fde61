// The Windows serial port through the real Win32 calls, under Wine, against
// devices of kpx_wine_serial_rig's (tests/win/host): the rig puts a
// pseudo-terminal behind each port, and its shim answers Wine's modem-line
// requests on them. Started by ctest through the rig with
//   COM1  the simulated instrument (it answers only if each line reaches it
//         with its level and in its order)
//   COM3  the simulated instrument, unplugged after a few hundred line calls
//   COM4  nothing: the prefix maps it to a path that does not exist
#include "link/Pgmcomm.h"
#include "link/win/WinComPort.h"
#include "platform/VirtualClock.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <array>
#include <cstdlib>

using serial::WinComPort;
using testing::HasSubstr;
using testing::ThrowsMessage;

namespace {

class ThroughWine : public testing::Test {
protected:
    void SetUp() override
    {
        if (!std::getenv("KPX_SIM_PORTS"))
            GTEST_SKIP() << "needs the devices of kpx_wine_serial_rig";
    }
    platform::VirtualClock clock{10'000'000, 100};
    platform::ScopedClock useClock{clock};
};

TEST_F(ThroughWine, TheInstrumentIsIdentifiedProgrammedAndReadBack)
{
    WinComPort port;
    port.SetComNumber(1);
    port.SetOpen(true);
    EXPECT_EQ(port.devicePath(), "\\\\.\\COM1");
    port.SetRTS(true);
    pgmComm link(port);
    ASSERT_TRUE(link.programEnable());
    EXPECT_EQ((std::array{link.readSignature(0), link.readSignature(1), link.readSignature(2)}),
              (std::array<uint8_t, 3>{0x1E, 0x97, 0x02}));

    link.chipErase();
    ASSERT_TRUE(link.programEnable());
    // One page at the top of the flash, where the check value lives.
    constexpr uint32_t page = 0x1FF00;
    for (uint32_t address = page; address < page + 256; ++address)
        link.loadPageByte(address, static_cast<uint8_t>(address * 7));
    link.writePage(page);
    for (uint32_t address = page; address < page + 256; address += 51)
        EXPECT_EQ(link.readFlashByte(address), static_cast<uint8_t>(address * 7)) << address;
    EXPECT_EQ(link.readFlashByte(0), 0xFF) << "erased";

    link.writeFuseHigh();
    link.writeFuseLow();
    link.writeFuseExt();
    link.writeLockBits();
    EXPECT_EQ(link.readLockBits() | 0xC0, 0xFC);
    EXPECT_EQ(link.readFuseLow(), 0xBF);
    EXPECT_EQ(link.readFuseExt() | 0xFC, 0xFF);
    EXPECT_EQ(link.readFuseHigh(), 0x9F);
}

TEST_F(ThroughWine, AnUnpluggedAdapterStopsTheWorkWithAClearMessageAndAMissingPortIsABadOne)
{
    WinComPort port;
    port.SetComNumber(3);
    port.SetOpen(true);
    pgmComm link(port);
    EXPECT_THAT(
        [&] {
            for (;;)
                link.readSignature(0);
        },
        ThrowsMessage<serial::ELineError>(HasSubstr("Check that the cable and the serial adapter are still connected")));
    port.SetOpen(false);
    EXPECT_FALSE(port.GetOpen());

    WinComPort missing;
    missing.SetComNumber(4);
    EXPECT_THROW(missing.SetOpen(true), serial::EBadId);
    EXPECT_FALSE(missing.GetOpen());
}

} // namespace
