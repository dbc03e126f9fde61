#include "image/Hexfile.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

namespace {

constexpr uint32_t flash = 0x20000;

// A well-formed record with its checksum.
std::string record(uint8_t type, uint16_t address, const std::vector<uint8_t>& data)
{
    std::vector<uint8_t> bytes = {static_cast<uint8_t>(data.size()), static_cast<uint8_t>(address >> 8),
                                  static_cast<uint8_t>(address & 0xFF), type};
    bytes.insert(bytes.end(), data.begin(), data.end());
    unsigned sum = 0;
    std::string text = ":";
    char hex[3];
    for (const uint8_t b : bytes) {
        std::snprintf(hex, sizeof hex, "%02X", b);
        text += hex;
        sum += b;
    }
    std::snprintf(hex, sizeof hex, "%02X", (0x100 - (sum & 0xFF)) & 0xFF);
    return text + hex;
}

std::vector<uint8_t> counting(size_t n)
{
    std::vector<uint8_t> data(n);
    for (size_t i = 0; i < n; ++i)
        data[i] = static_cast<uint8_t>(i + 1);
    return data;
}

class HexFileTest : public testing::Test {
protected:
    void SetUp() override
    {
        std::string pattern = testing::TempDir() + "hexfile-XXXXXX";
        ASSERT_NE(mkdtemp(pattern.data()), nullptr);
        dir = pattern;
        path = (dir / "KPXUpdate517.hex").string();
    }
    void TearDown() override { std::filesystem::remove_all(dir); }

    // Writes text as the file and reads it into a fresh image. Records after
    // the end-of-file record still count, so putting it first leaves the
    // rest of the text exactly as the case needs it.
    std::unique_ptr<HexFile> read(const std::string& text, uint32_t size = flash)
    {
        return readRaw(":00000001FF\n" + text, size);
    }

    std::unique_ptr<HexFile> readRaw(const std::string& text, uint32_t size = flash)
    {
        std::ofstream(path, std::ios::binary) << text;
        auto hex = std::make_unique<HexFile>(path, size);
        ok = hex->readHexFile();
        return hex;
    }

    std::filesystem::path dir;
    std::string path;
    bool ok = false;
};

TEST_F(HexFileTest, EndOfFileRecordAloneGivesErasedImage)
{
    auto hex = readRaw(":00000001FF\n");
    EXPECT_TRUE(ok);
    EXPECT_EQ(hex->highAddress, 0u);
    for (uint32_t a = 0; a < flash; ++a)
        ASSERT_EQ(hex->image[a], 0xFF) << a;
    EXPECT_EQ(hex->byteAt(flash), 0xFF);
    EXPECT_EQ(hex->byteAt(0xFFFFFFFF), 0xFF);
}

TEST_F(HexFileTest, DataRecordStoresBytesWithoutCheckingStartCodeOrChecksum)
{
    for (const char* line : {":0401000001020304F1", ":040100000102030400", "x0401000001020304", "\r0401000001020304F1"}) {
        SCOPED_TRACE(line);
        auto hex = read(std::string(line) + "\r\n:00000001FF\r\n");
        EXPECT_TRUE(ok);
        EXPECT_EQ(hex->byteAt(0x00FF), 0xFF);
        EXPECT_EQ(hex->byteAt(0x0100), 0x01);
        EXPECT_EQ(hex->byteAt(0x0103), 0x04);
        EXPECT_EQ(hex->byteAt(0x0104), 0xFF);
        EXPECT_EQ(hex->highAddress, 0x0104u);
    }
}

TEST_F(HexFileTest, SegmentRecordsAndRunOnPast64K)
{
    auto hex = read(":02FFFF00AABB00\n"                      // runs on into 0x10000, no wrap
                    ":020000021000EC\n:0200080011222A\n"    // segment 0x1000
                    ":020010022000DC\n:0300000220000000\n" // not address 0000 / not count 2: ignored
                    ":0200100033440000\n"
                    ":00000001FF\n:01200000559A\n");       // still applied after end of file
    EXPECT_TRUE(ok);
    EXPECT_EQ(hex->byteAt(0x0FFFF), 0xAA);
    EXPECT_EQ(hex->byteAt(0x10000), 0xBB);
    EXPECT_EQ(hex->byteAt(0x10008), 0x11);
    EXPECT_EQ(hex->byteAt(0x10010), 0x33);
    EXPECT_EQ(hex->byteAt(0x12000), 0x55);
    EXPECT_EQ(hex->segmentBase, 0x10000u);
    EXPECT_EQ(hex->highAddress, 0x12001u);
}

TEST_F(HexFileTest, CaseAndStrayCharactersDecodeLeniently)
{
    auto upper = read(":10000000ABCDEF0123456789ABCDEFabcdef0000\n");
    auto lower = read(":10000000abcdef0123456789abcdefABCDEF0000\n");
    EXPECT_TRUE(ok);
    EXPECT_EQ(std::vector(upper->image.get(), upper->image.get() + 32),
              std::vector(lower->image.get(), lower->image.get() + 32));
    EXPECT_EQ(lower->byteAt(0), 0xAB);

    auto stray = read(":02000000G1z0\n");
    EXPECT_TRUE(ok);
    EXPECT_EQ(stray->byteAt(0), 0x01);
    EXPECT_EQ(stray->byteAt(1), 0x00);
}

TEST_F(HexFileTest, EmptyLinesAndMissingFinalLineEnd)
{
    auto hex = read("\n\r\n:0100000042BD\n\n:01000100AA54");
    EXPECT_TRUE(ok);
    EXPECT_EQ(hex->byteAt(0), 0x42);
    EXPECT_EQ(hex->byteAt(1), 0xAA);
    EXPECT_EQ(hex->highAddress, 2u);
}

TEST_F(HexFileTest, LineLengthLimitIs79Characters)
{
    const std::string r32 = record(0, 0, counting(32));
    const std::string r34 = record(0, 0, counting(34));
    const std::string r35 = record(0, 0, counting(35));
    ASSERT_EQ(r32.size(), 75u);
    ASSERT_EQ(r34.size(), 79u);
    ASSERT_EQ(r35.size(), 81u);

    auto hex = read(r32 + "\n");
    EXPECT_TRUE(ok);
    EXPECT_EQ(hex->highAddress, 32u);
    hex = read(r34 + "\r\n");
    EXPECT_TRUE(ok);
    EXPECT_EQ(hex->byteAt(33), 34);
    read(r34); // at the end of the file without a line end
    EXPECT_TRUE(ok);

    read(r34 + " \n");
    EXPECT_FALSE(ok);
    read(r35 + "\n");
    EXPECT_FALSE(ok);
    read(r35.substr(0, 79) + "\n"); // all 35 data bytes, no checksum
    EXPECT_TRUE(ok);
}

TEST_F(HexFileTest, FailuresKeepWhatWasStoredBefore)
{
    const std::string first = ":0100000042BD\n";
    const std::vector<std::string> bad = {
        ":020000040001F9", ":0400000300003800C1", ":04000005000000CD2A", // unknown types
        std::string(80, '0'),                                         // too long
        ":0401000001020", ":040100",                                  // truncated
    };
    for (const std::string& line : bad) {
        SCOPED_TRACE(line);
        auto hex = read(first + line + "\n:01000200AA53\n");
        EXPECT_FALSE(ok);
        EXPECT_EQ(hex->byteAt(0), 0x42);
        EXPECT_EQ(hex->byteAt(0x100), 0xFF); // a truncated record stores nothing
        EXPECT_EQ(hex->byteAt(2), 0xFF);     // nothing after the failure is read
    }
}

TEST_F(HexFileTest, DataBeyondTheImageFailsAfterStoringWhatFits)
{
    auto hex = read(":020000021000EC\n:10FFF800" + std::string(32, '7') + "00\n");
    EXPECT_FALSE(ok);
    for (uint32_t a = 0x1FFF8; a < flash; ++a)
        EXPECT_EQ(hex->image[a], 0x77) << a;
    EXPECT_EQ(hex->highAddress, 0u);

    hex = read(":0400FE00AABBCCDD00\n", 0x100);
    EXPECT_FALSE(ok);
    EXPECT_EQ(hex->byteAt(0xFE), 0xAA);
    EXPECT_EQ(hex->byteAt(0xFF), 0xBB);
}

TEST_F(HexFileTest, EmptyDataRecordNeverRaisesHighAddressPastTheImage)
{
    auto hex = read(":00008000\n", 0x100);
    EXPECT_TRUE(ok);
    EXPECT_EQ(hex->highAddress, 0x80u);
    hex = read(":00010000\n", 0x100);
    EXPECT_TRUE(ok);
    EXPECT_EQ(hex->highAddress, 0x100u);
    hex = read(":00010100\n", 0x100);
    EXPECT_FALSE(ok);
    EXPECT_EQ(hex->highAddress, 0u);
}

TEST_F(HexFileTest, UnopenableFilesFail)
{
    EXPECT_FALSE(HexFile("", flash).readHexFile());
    EXPECT_FALSE(HexFile(path, flash).readHexFile()); // not written
    EXPECT_FALSE(HexFile(dir.string(), flash).readHexFile());
}

TEST_F(HexFileTest, FileCutShortBeforeItsEndRecordIsRefused)
{
    // An empty file or an interrupted copy would otherwise program a blank
    // or partial firmware and verify it as complete.
    readRaw("");
    EXPECT_FALSE(ok);
    auto hex = readRaw(":0100000042BD\n:01000100AA54\n");
    EXPECT_FALSE(ok);
    EXPECT_EQ(hex->byteAt(1), 0xAA) << "what was read stays in the image";

    readRaw(":0100000042BD\n:00000001FF\n:01000100AA54\n");
    EXPECT_TRUE(ok);
}

} // namespace
