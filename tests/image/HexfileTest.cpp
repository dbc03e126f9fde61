#include "image/Hexfile.h"
#include "tests/support/TempFolder.h"

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

// n data bytes of 11 at address 0, with a checksum that is never checked.
std::string dataRecord(int n)
{
    char head[10];
    std::snprintf(head, sizeof head, ":%02X000000", n);
    return head + std::string(2 * static_cast<size_t>(n), '1') + "00";
}

class HexFileTest : public testing::Test {
protected:
    void SetUp() override
    {
        dir = testing_support::makeTempFolder("hexfile-");
        path = (dir / "KPXUpdate517.hex").string();
    }
    void TearDown() override { std::filesystem::remove_all(dir); }

    // Records after the end-of-file record still count, so putting it first
    // leaves the rest of the text exactly as the case needs it.
    std::unique_ptr<HexFile> read(const std::string& text) { return readRaw(":00000001FF\n" + text); }

    std::unique_ptr<HexFile> readRaw(const std::string& text)
    {
        std::ofstream(path, std::ios::binary) << text;
        auto hex = std::make_unique<HexFile>(path, flash);
        ok = hex->readHexFile();
        return hex;
    }

    std::filesystem::path dir;
    std::string path;
    bool ok = false;
};

TEST_F(HexFileTest, RecordTypesAndSegmentAddressing)
{
    auto hex = readRaw(":00000001FF\n");
    EXPECT_TRUE(ok);
    EXPECT_EQ(hex->highAddress, 0u);

    hex = read("x0401000001020304\r\n"                 // neither start code nor checksum is examined
               ":02FFFF00AABB00\n"                     // runs on into 0x10000, no wrap
               ":020000021000EC\n:01200000559A\n"     // segment 0x1000
               ":020010022000DC\n:0300000220000000\n" // not address 0000 / not count 2: ignored
               ":0200100033440000\n\n"
               ":00000001FF\n:01020000CC00");          // after the end-of-file record, no line end
    EXPECT_TRUE(ok);
    EXPECT_EQ(hex->byteAt(0x00FF), 0xFF);
    EXPECT_EQ(hex->byteAt(0x0100), 0x01);
    EXPECT_EQ(hex->byteAt(0x0103), 0x04);
    EXPECT_EQ(hex->byteAt(0x0104), 0xFF);
    EXPECT_EQ(hex->byteAt(0x0FFFF), 0xAA);
    EXPECT_EQ(hex->byteAt(0x10000), 0xBB);
    EXPECT_EQ(hex->byteAt(0x12000), 0x55);
    EXPECT_EQ(hex->byteAt(0x10010), 0x33);
    EXPECT_EQ(hex->byteAt(0x10200), 0xCC);
    EXPECT_EQ(hex->highAddress, 0x12001u);
    EXPECT_EQ(hex->byteAt(flash), 0xFF);
}

TEST_F(HexFileTest, DigitsDecodeInEitherCaseAndStrayCharactersAsZero)
{
    auto hex = read(":06000000abcdefABCDEF00\n:02001000G1z0\n");
    EXPECT_TRUE(ok);
    EXPECT_EQ(std::vector(hex->image.get(), hex->image.get() + 6),
              (std::vector<uint8_t>{0xAB, 0xCD, 0xEF, 0xAB, 0xCD, 0xEF}));
    EXPECT_EQ(hex->byteAt(0x10), 0x01);
    EXPECT_EQ(hex->byteAt(0x11), 0x00);
}

TEST_F(HexFileTest, LinesUpTo79CharactersAreRead)
{
    ASSERT_EQ(dataRecord(34).size(), 79u);
    const struct {
        std::string text;
        bool accepted;
        uint32_t highAddress;
    } cases[] = {
        {dataRecord(32) + "\n", true, 32},
        {dataRecord(34) + "\r\n", true, 34},
        {dataRecord(34), true, 34},
        {dataRecord(34) + " \n", false, 0},
        {dataRecord(35) + "\n", false, 0},
        {dataRecord(35).substr(0, 79) + "\n", true, 35}, // all 35 data bytes, no checksum
    };
    for (const auto& c : cases) {
        auto hex = read(c.text);
        EXPECT_EQ(ok, c.accepted) << c.text;
        EXPECT_EQ(hex->highAddress, c.highAddress) << c.text;
    }
}

TEST_F(HexFileTest, FailuresKeepWhatWasStoredBefore)
{
    const std::vector<std::string> lines = {":020000040001F9", ":0400000300003800C1", ":04000005000000CD2A",
                                            std::string(80, '0'), ":0401000001020", ":040100"};
    for (const std::string& line : lines) {
        auto hex = read(":0100000042BD\n" + line + "\n:01000200AA53\n");
        EXPECT_FALSE(ok) << line;
        EXPECT_EQ(hex->byteAt(0), 0x42) << line;
        EXPECT_EQ(hex->byteAt(0x100), 0xFF) << line; // a truncated record stores nothing
        EXPECT_EQ(hex->byteAt(2), 0xFF) << line;     // nothing after the failure is read
    }
}

TEST_F(HexFileTest, DataBeyondTheImageFailsAfterStoringWhatFits)
{
    auto hex = read(":020000021000EC\n:10FFF800" + std::string(32, '7') + "00\n");
    EXPECT_FALSE(ok);
    for (uint32_t a = 0x1FFF8; a < flash; ++a)
        EXPECT_EQ(hex->image[a], 0x77) << a;
    EXPECT_EQ(hex->highAddress, 0u);

    // An empty record may end the data at the image's end, never beyond it.
    hex = read(":020000022000DC\n:00000000\n");
    EXPECT_TRUE(ok);
    EXPECT_EQ(hex->highAddress, flash);
    hex = read(":020000022000DC\n:00000100\n");
    EXPECT_FALSE(ok);
    EXPECT_EQ(hex->highAddress, 0u);
}

TEST_F(HexFileTest, MissingOrCutShortFilesAreRefused)
{
    EXPECT_FALSE(HexFile("", flash).readHexFile());
    EXPECT_FALSE(HexFile(path, flash).readHexFile()); // not written
    EXPECT_FALSE(HexFile(dir.string(), flash).readHexFile());

    // An empty file or an interrupted copy would otherwise program a blank
    // or partial firmware and verify it as complete.
    readRaw("");
    EXPECT_FALSE(ok);
    auto hex = readRaw(":0100000042BD\n:01000100AA54\n");
    EXPECT_FALSE(ok);
    EXPECT_EQ(hex->byteAt(1), 0xAA) << "what was read stays in the image";
}

} // namespace
