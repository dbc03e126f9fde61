#include "image/Hexfile.h"
#include "image/sample/SampleFirmware.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <vector>

using namespace sample_firmware;

// The file the build puts beside the program, read the way an update reads it.
TEST(SampleFirmware, BuiltFileReadsBackWithItsCheckValue)
{
    const uint8_t standard[] = {'1', '2', '3', '4', '5', '6', '7', '8', '9'};
    EXPECT_EQ(crc16Ccitt(standard, sizeof standard), 0x29B1);

    HexFile hex(KPX_SAMPLE_FIRMWARE_PATH, flashSize);
    ASSERT_TRUE(hex.readHexFile());
    const std::vector<uint8_t> expected = buildImage();
    EXPECT_TRUE(std::equal(expected.begin(), expected.end(), hex.image.get()));
    const auto check = static_cast<uint16_t>(hex.byteAt(flashSize - 1) << 8 | hex.byteAt(flashSize - 2));
    EXPECT_EQ(check, crc16Ccitt(hex.image.get(), checkValueAddress));
    EXPECT_EQ(hex.highAddress, flashSize);
    // Data beyond 64 KB other than the check value.
    EXPECT_TRUE(std::any_of(&hex.image[0x10000], &hex.image[checkValueAddress], [](uint8_t b) { return b != 0xFF; }));
}
