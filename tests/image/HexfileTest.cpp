#include "image/Hexfile.h"
#include "tests/support/TempFolder.h"

#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <thread>
#include <vector>
#ifndef _WIN32
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#endif

namespace {

constexpr uint32_t flash = 0x20000;

// One record with its checksum: type, 16-bit address and data bytes.
std::string rec(unsigned type, unsigned address, const std::vector<unsigned>& data)
{
    std::string text = ":";
    unsigned sum = 0;
    const auto put = [&](unsigned byte) {
        char digits[3];
        std::snprintf(digits, sizeof digits, "%02X", byte & 0xFF);
        text += digits;
        sum += byte;
    };
    put(static_cast<unsigned>(data.size()));
    put(address >> 8);
    put(address);
    put(type);
    for (const unsigned byte : data)
        put(byte);
    put(0x100 - (sum & 0xFF));
    return text;
}

// n data bytes of 11 at address 0.
std::string dataRecord(int n)
{
    return rec(0, 0, std::vector<unsigned>(static_cast<size_t>(n), 0x11));
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

    hex = read(":0401000001020304F1\r\n"                  // CR LF
               ":02FFFF00AABB9B\n"                        // runs on into 0x10000, no wrap
               ":020000021000EC\n" + rec(0, 0x2000, {0x55}) + "\n" // segment 0x1000
               + rec(0, 0x10, {0x33, 0x44}) + "\n\n"
               // A second file appended: read on past the end-of-file record,
               // and its bytes win over the first file's.
               ":00000001FF\n" + rec(2, 0, {0, 0}) + "\n" + rec(0, 0x102, {0xEE}) + "\n" +
               rec(0, 0x200, {0xCC}));  // no line end
    EXPECT_TRUE(ok) << hex->error;
    EXPECT_EQ(hex->error, "");
    EXPECT_EQ(hex->byteAt(0x00FF), 0xFF);
    EXPECT_EQ(hex->byteAt(0x0100), 0x01);
    EXPECT_EQ(hex->byteAt(0x0102), 0xEE);
    EXPECT_EQ(hex->byteAt(0x0103), 0x04);
    EXPECT_EQ(hex->byteAt(0x0104), 0xFF);
    EXPECT_EQ(hex->byteAt(0x0FFFF), 0xAA);
    EXPECT_EQ(hex->byteAt(0x10000), 0xBB);
    EXPECT_EQ(hex->byteAt(0x12000), 0x55);
    EXPECT_EQ(hex->byteAt(0x10010), 0x33);
    EXPECT_EQ(hex->byteAt(0x00200), 0xCC);
    EXPECT_EQ(hex->highAddress, 0x12001u);
    EXPECT_EQ(hex->byteAt(flash), 0xFF);
}

TEST_F(HexFileTest, EitherCaseAndWhiteSpaceAfterTheChecksumReadAlike)
{
    // The same bytes in lower case, and with the blanks, tabs and stray
    // carriage returns that a file converted twice between line-end
    // conventions carries; blank lines in between.
    for (const std::string& text : {std::string(":06000000abcdefABCDEF2c\n"), std::string(":06000000ABCDEFABCDEF2C\n"),
                                    std::string(":06000000ABCDEFABCDEF2C \t\r\r\n \r\n\t\n")}) {
        auto hex = read(text);
        EXPECT_TRUE(ok) << hex->error;
        EXPECT_EQ(std::vector(hex->image.get(), hex->image.get() + 6),
                  (std::vector<uint8_t>{0xAB, 0xCD, 0xEF, 0xAB, 0xCD, 0xEF}));
    }
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
        {dataRecord(35).substr(0, 79) + "\n", false, 0}, // all 35 data bytes, no checksum
    };
    for (const auto& c : cases) {
        auto hex = read(c.text);
        EXPECT_EQ(ok, c.accepted) << c.text;
        EXPECT_EQ(hex->highAddress, c.highAddress) << c.text;
    }
}

// Every way a file can be damaged or foreign, with what the operator is
// told. The record at address 0 comes first, so a refusal after it also
// shows that nothing later was applied.
TEST_F(HexFileTest, DamagedRecordsAreRefusedWithTheirLineAndReason)
{
    const std::string first = ":0100000042BD\n";
    const struct {
        std::string text;
        const char* error;
    } cases[] = {
        {first + ":0401000001020305F1\n", "line 3: checksum F1, expected F0"}, // one data digit changed
        {first + ":0401000001020304F0\n", "line 3: checksum F0, expected F1"},
        {first + "0401000001020304F1\n", "line 3: starts with '0' instead of ':'"},
        {first + " :0401000001020304F1\n", "line 3: starts with a space instead of ':'"},
        {first + ":04010000010G0304F1\n", "line 3: 'G' in column 13 is not a hexadecimal digit"},
        {first + ":0401000001020304F1x\n", "line 3: unexpected 'x' after the checksum"},
        {first + ":0401000001020304F1 ;\n", "line 3: unexpected ';' after the checksum"},
        {first + ":04010000010203\n", "line 3: the record is cut short (15 characters, its byte count needs 19)"},
        {first + ":0401\n", "line 3: the record is cut short (5 characters, its byte count needs 19)"},
        {first + ":\n", "line 3: the record is cut short (1 characters, its byte count needs 11)"},
        // A segment record that cannot be applied would move every later
        // byte to the wrong address.
        {first + rec(2, 0x10, {0x20, 0}) + "\n",
         "line 3: segment address record with address field 0010 (must be 0000)"},
        {first + rec(2, 0, {0x20, 0, 0}) + "\n", "line 3: segment address record with byte count 03 (must be 02)"},
        {first + rec(2, 0, {0x20}) + "\n", "line 3: segment address record with byte count 01 (must be 02)"},
        {first + ":020000040001F9\n", "line 3: record type 04 is not supported"},
        {first + ":0400000300003800C1\n", "line 3: record type 03 is not supported"},
        {first + std::string(80, '0') + "\n", "line 3: longer than 79 characters"},
    };
    for (const auto& c : cases) {
        auto hex = read(c.text + rec(0, 2, {0xAA}) + "\n");
        EXPECT_FALSE(ok) << c.text;
        EXPECT_EQ(hex->error, c.error);
        EXPECT_EQ(hex->byteAt(0), 0x42) << c.text;
        EXPECT_EQ(hex->byteAt(0x100), 0xFF) << c.text; // a refused record stores nothing
        EXPECT_EQ(hex->byteAt(2), 0xFF) << c.text;     // nothing after the failure is read
    }

    // Saved by an editor in another form: named as such, not as a long line.
    const std::string ascii = ":0100000042BD\r\n:00000001FF\r\n";
    std::string utf16le = "\xFF\xFE";
    std::string utf16be;
    for (const char c : ascii) {
        utf16le += {c, '\0'};
        utf16be += {'\0', c};
    }
    const struct {
        std::string text;
        const char* error;
    } whole[] = {
        // The reset vector would hide behind it.
        {"\xEF\xBB\xBF" + ascii, "line 1: starts with a byte-order mark (EF BB BF) instead of ':'"},
        {utf16le, "line 1: UTF-16 text; save it as plain ASCII"},
        {utf16le.substr(2), "line 1: UTF-16 text; save it as plain ASCII"},
        {"\xFE\xFF" + utf16be, "line 1: UTF-16 text; save it as plain ASCII"},
        {":0100000042BD\r:00000001FF\r", "line 1: lines end in CR only; save it with CR LF or LF line ends"},
        {ascii + ":0100010043BB\r:00000001FF\r", "line 3: lines end in CR only; save it with CR LF or LF line ends"},
    };
    for (const auto& c : whole) {
        auto hex = readRaw(c.text);
        EXPECT_FALSE(ok);
        EXPECT_EQ(hex->error, c.error);
    }
}

TEST_F(HexFileTest, DataBeyondTheImageFailsAfterStoringWhatFits)
{
    auto hex = read(":020000021000EC\n" + rec(0, 0xFFF8, std::vector<unsigned>(16, 0x77)) + "\n");
    EXPECT_FALSE(ok);
    EXPECT_EQ(hex->error, "line 3: address 20000 lies beyond the end of the flash (1FFFF)");
    for (uint32_t a = 0x1FFF8; a < flash; ++a)
        EXPECT_EQ(hex->image[a], 0x77) << a;
    EXPECT_EQ(hex->highAddress, 0u);

    // An empty record may end the data at the image's end, never beyond it.
    hex = read(":020000022000DC\n:0000000000\n");
    EXPECT_TRUE(ok) << hex->error;
    EXPECT_EQ(hex->highAddress, flash);
    hex = read(":020000022000DC\n:00000100FF\n");
    EXPECT_FALSE(ok);
    EXPECT_EQ(hex->highAddress, 0u);
}

#ifdef _WIN32
// Windows has no FIFO to block a read: read in place.
std::string errorWithinSeconds(const std::string& path, int)
{
    HexFile hex(path, flash);
    return hex.readHexFile() ? "read" : hex.error;
}
#else
// Runs the read in a child process, so that a read that blocks fails the
// test after a few seconds instead of hanging it.
std::string errorWithinSeconds(const std::string& path, int seconds)
{
    int pipeFds[2];
    if (pipe(pipeFds) != 0)
        return "pipe failed";
    const pid_t child = fork();
    if (child == 0) {
        HexFile hex(path, flash);
        const std::string error = hex.readHexFile() ? "read" : hex.error;
        const ssize_t written = write(pipeFds[1], error.data(), error.size());
        _exit(written == static_cast<ssize_t>(error.size()) ? 0 : 1);
    }
    close(pipeFds[1]);
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(seconds);
    while (waitpid(child, nullptr, WNOHANG) == 0) {
        if (std::chrono::steady_clock::now() > deadline) {
            kill(child, SIGKILL);
            waitpid(child, nullptr, 0);
            close(pipeFds[0]);
            return "still reading after " + std::to_string(seconds) + " s";
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    std::string error(256, '\0');
    const ssize_t got = ::read(pipeFds[0], error.data(), error.size());
    close(pipeFds[0]);
    error.resize(got > 0 ? static_cast<size_t>(got) : 0);
    return error;
}
#endif

TEST_F(HexFileTest, MissingCutShortOrNotRegularFilesAreRefusedAtOnce)
{
    HexFile unnamed("", flash);
    EXPECT_FALSE(unnamed.readHexFile());
    EXPECT_EQ(unnamed.error, "no file name given");

    struct Case {
        std::string path;
        const char* error;
    };
    std::vector<Case> cases = {
        {path, "cannot open it: No such file or directory"}, // not written
        {dir.string(), "not a regular file (a folder)"},
    };
#ifndef _WIN32
    const std::string fifo = (dir / "fifo.hex").string();
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    cases.push_back({fifo, "not a regular file (a FIFO)"});
    cases.push_back({"/dev/null", "not a regular file (a device)"});
#endif
    for (const auto& c : cases)
        EXPECT_EQ(errorWithinSeconds(c.path, 10), c.error);

    // An empty file or an interrupted copy would otherwise program a blank
    // or partial firmware and verify it as complete.
    auto hex = readRaw("");
    EXPECT_FALSE(ok);
    EXPECT_EQ(hex->error, "no end-of-file record: the file is cut short");
    hex = readRaw(":0100000042BD\n:01000100AA54\n");
    EXPECT_FALSE(ok);
    EXPECT_EQ(hex->byteAt(1), 0xAA) << "what was read stays in the image";
}

} // namespace
