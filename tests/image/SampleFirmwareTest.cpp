#include "image/Hexfile.h"
#include "image/sample/SampleFirmware.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <fstream>
#include <sstream>
#include <string>

namespace {

using namespace sample_firmware;

TEST(SampleFirmware, CheckValueIsCrc16Ccitt)
{
    const char* check = "123456789";
    EXPECT_EQ(crc16Ccitt(reinterpret_cast<const uint8_t*>(check), std::strlen(check)), 0x29B1);
}

// The file the build puts beside the program, read the way an update reads it.
TEST(SampleFirmware, BuiltFileReadsAsTheGeneratedImage)
{
    HexFile hex(KPX_SAMPLE_FIRMWARE_PATH, flashSize);
    ASSERT_TRUE(hex.readHexFile());
    const std::vector<uint8_t> expected = buildImage();
    ASSERT_TRUE(std::equal(expected.begin(), expected.end(), hex.image.get()));

    const uint16_t check = static_cast<uint16_t>(hex.byteAt(flashSize - 1) << 8 | hex.byteAt(flashSize - 2));
    EXPECT_EQ(check, crc16Ccitt(hex.image.get(), checkValueAddress));
    EXPECT_EQ(hex.highAddress, flashSize);

    // Data beyond 64 KB other than the check value, and erased gaps in between.
    EXPECT_TRUE(std::any_of(&hex.image[0x10000], &hex.image[checkValueAddress], [](uint8_t b) { return b != 0xFF; }));
    EXPECT_TRUE(std::any_of(&hex.image[0x10000], &hex.image[checkValueAddress], [](uint8_t b) { return b == 0xFF; }));
    const std::string version = "5.17";
    EXPECT_NE(std::search(hex.image.get(), hex.image.get() + flashSize, version.begin(), version.end()),
              hex.image.get() + flashSize);
}

TEST(SampleFirmware, FileUsesSegmentRecordsAndEndsWithEndOfFile)
{
    std::ifstream in(KPX_SAMPLE_FIRMWARE_PATH, std::ios::binary);
    std::ostringstream contents;
    contents << in.rdbuf();
    const std::string text = contents.str();
    EXPECT_NE(text.find("\n:020000021000EC\r\n"), std::string::npos);
    EXPECT_TRUE(text.ends_with("\n:00000001FF\r\n"));
    EXPECT_EQ(text.rfind(":10"), text.rfind("\n:10FFF000") + 1); // the last record holds the check value
}

} // namespace
