#include "image/Hexfile.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <system_error>
#include <utility>

namespace {

bool isHexDigit(char c)
{
    return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'F') || (c >= 'a' && c <= 'f');
}

// The caller has checked that c is a hexadecimal digit.
uint8_t hexDigit(char c)
{
    if (c >= 'A' && c <= 'F')
        return static_cast<uint8_t>(c - 'A' + 10);
    if (c >= 'a' && c <= 'f')
        return static_cast<uint8_t>(c - 'a' + 10);
    return static_cast<uint8_t>(c - '0');
}

// The caller has made sure both characters lie inside the line.
uint8_t hexByte(const char* line, size_t& pos)
{
    const auto value = static_cast<uint8_t>((hexDigit(line[pos]) << 4) | hexDigit(line[pos + 1]));
    pos += 2;
    return value;
}

// Files converted twice between line-end conventions carry stray carriage
// returns, and editors leave blanks: harmless after the checksum.
bool isBlank(char c)
{
    return c == ' ' || c == '\t' || c == '\r';
}

// A character as the operator can find it in an editor.
std::string describe(char c)
{
    switch (c) {
    case ' ':
        return "a space";
    case '\t':
        return "a tab";
    case '\r':
        return "a carriage return";
    default:
        break;
    }
    const auto byte = static_cast<unsigned char>(c);
    char text[16];
    if (byte > 0x20 && byte < 0x7F)
        std::snprintf(text, sizeof text, "'%c'", c);
    else
        std::snprintf(text, sizeof text, "byte %02X", byte);
    return text;
}

std::string hex2(unsigned value)
{
    char text[8];
    std::snprintf(text, sizeof text, "%02X", value & 0xFFu);
    return text;
}

std::string hexAddress(uint32_t value)
{
    char text[16];
    std::snprintf(text, sizeof text, "%X", static_cast<unsigned>(value));
    return text;
}

constexpr uint8_t recordData = 0x00;
constexpr uint8_t recordEndOfFile = 0x01;
constexpr uint8_t recordSegment = 0x02;

// Start code, byte count, address and type.
constexpr size_t headerLength = 9;
// A record without data: the header and the checksum.
constexpr size_t shortestRecord = headerLength + 2;

struct FileCloser {
    void operator()(std::FILE* file) const { std::fclose(file); }
};

enum class LineResult { Line, EndOfFile, TooLong, ReadError, CrOnly };

// Reads at most maxLength characters of one line into buffer and consumes its
// LF or CR LF. A CR not followed by LF is an ordinary character, unless a
// record starts right after it: then the file's lines end in CR alone.
LineResult readLine(std::FILE* file, char* buffer, size_t maxLength, size_t& length)
{
    length = 0;
    for (;;) {
        const int c = std::getc(file);
        if (c == EOF) {
            if (std::ferror(file))
                return LineResult::ReadError;
            // A last line without a line end still counts.
            return length > 0 ? LineResult::Line : LineResult::EndOfFile;
        }
        if (c == '\n')
            break;
        if (c == '\r') {
            const int next = std::getc(file);
            if (next == '\n')
                break;
            if (next == ':')
                return LineResult::CrOnly;
            if (next != EOF)
                std::ungetc(next, file);
            else if (std::ferror(file))
                return LineResult::ReadError;
        }
        if (length == maxLength)
            return LineResult::TooLong;
        buffer[length++] = static_cast<char>(c);
    }
    return LineResult::Line;
}

// An editor's "Unicode" text puts a zero byte beside every character, after
// a byte-order mark FF FE or FE FF or without one; a HEX file has no zero
// byte.
bool startsAsUtf16(std::FILE* file)
{
    unsigned char start[2] = {};
    const size_t got = std::fread(start, 1, sizeof start, file);
    std::rewind(file);
    if (got < sizeof start)
        return false;
    return (start[0] == 0xFF && start[1] == 0xFE) || (start[0] == 0xFE && start[1] == 0xFF) || start[0] == 0 ||
           start[1] == 0;
}

// Opening a FIFO or a device for reading can block for ever, and a folder
// reads as nothing: only a regular file is opened at all.
std::string notRegular(const std::filesystem::file_status& status)
{
    switch (status.type()) {
    case std::filesystem::file_type::regular:
        return {};
    case std::filesystem::file_type::directory:
        return "not a regular file (a folder)";
    case std::filesystem::file_type::fifo:
        return "not a regular file (a FIFO)";
    case std::filesystem::file_type::character:
    case std::filesystem::file_type::block:
        return "not a regular file (a device)";
    case std::filesystem::file_type::socket:
        return "not a regular file (a socket)";
    default:
        return "not a regular file";
    }
}

} // namespace

HexFile::HexFile(std::string name, uint32_t size)
    : image(std::make_unique_for_overwrite<uint8_t[]>(size))
    , imageSize(size)
    , fileName(std::move(name))
{
    std::memset(image.get(), 0xFF, size);
}

bool HexFile::readHexFile()
{
    error.clear();
    const auto fail = [this](std::string why) {
        error = std::move(why);
        return false;
    };
    if (fileName.empty())
        return fail("no file name given");
    std::error_code statusError;
    const std::filesystem::file_status status = std::filesystem::status(fileName, statusError);
    if (statusError)
        return fail("cannot open it: " + statusError.message());
    if (std::string problem = notRegular(status); !problem.empty())
        return fail(std::move(problem));
    // Binary mode: line ends are handled here, the same on every platform.
    const std::unique_ptr<std::FILE, FileCloser> file(std::fopen(fileName.c_str(), "rb"));
    if (!file)
        return fail(std::string("cannot open it: ") + std::strerror(errno));
    if (startsAsUtf16(file.get()))
        return fail("line 1: UTF-16 text; save it as plain ASCII");

    char line[maxLineLength];
    for (unsigned lineNumber = 1;; ++lineNumber) {
        const auto where = [lineNumber] { return "line " + std::to_string(lineNumber) + ": "; };
        size_t length = 0;
        switch (readLine(file.get(), line, maxLineLength, length)) {
        case LineResult::Line:
            if (!parseRecord(line, length))
                return fail(where() + error);
            break;
        case LineResult::EndOfFile:
            if (!endOfFileSeen)
                return fail("no end-of-file record: the file is cut short");
            return true;
        case LineResult::TooLong:
            return fail(where() + "longer than " + std::to_string(maxLineLength) + " characters");
        case LineResult::ReadError:
            return fail(where() + "cannot read it: " + std::strerror(errno));
        case LineResult::CrOnly:
            return fail(where() + "lines end in CR only; save it with CR LF or LF line ends");
        }
    }
}

bool HexFile::parseRecord(const char* line, size_t length)
{
    const auto fail = [this](std::string why) {
        error = std::move(why);
        return false;
    };
    size_t end = length;
    while (end > 0 && isBlank(line[end - 1]))
        --end;
    if (end == 0)
        return true;
    if (line[0] != ':') {
        // A text editor's UTF-8 signature hides the first record, and with
        // it the reset vector.
        if (end >= 3 && std::memcmp(line, "\xEF\xBB\xBF", 3) == 0)
            return fail("starts with a byte-order mark (EF BB BF) instead of ':'");
        return fail("starts with " + describe(line[0]) + " instead of ':'");
    }

    // The byte count says where the record ends; every character up to
    // there must be a digit.
    size_t recordLength = shortestRecord;
    if (end >= 3 && isHexDigit(line[1]) && isHexDigit(line[2])) {
        size_t pos = 1;
        recordLength = shortestRecord + 2u * hexByte(line, pos);
    }
    for (size_t i = 1; i < std::min(end, recordLength); ++i)
        if (!isHexDigit(line[i]))
            return fail(describe(line[i]) + " in column " + std::to_string(i + 1) +
                        " is not a hexadecimal digit");
    if (end < recordLength)
        return fail("the record is cut short (" + std::to_string(end) + " characters, its byte count needs " +
                    std::to_string(recordLength) + ")");
    if (end > recordLength) {
        size_t extra = recordLength;
        while (isBlank(line[extra]))
            ++extra;
        return fail("unexpected " + describe(line[extra]) + " after the checksum");
    }

    unsigned sum = 0;
    for (size_t pos = 1; pos < recordLength - 2;)
        sum += hexByte(line, pos);
    size_t checksumPos = recordLength - 2;
    const uint8_t checksum = hexByte(line, checksumPos);
    const auto expected = static_cast<uint8_t>(0x100u - (sum & 0xFFu));
    if (checksum != expected)
        return fail("checksum " + hex2(checksum) + ", expected " + hex2(expected));

    size_t pos = 1;
    const uint8_t count = hexByte(line, pos);
    const uint8_t addressHigh = hexByte(line, pos);
    const uint32_t address = static_cast<uint32_t>(addressHigh) << 8 | hexByte(line, pos);
    const uint8_t type = hexByte(line, pos);

    switch (type) {
    case recordData: {
        const uint32_t start = segmentBase + address;
        // Programming writes every page below highAddress, so it must stay
        // inside the image even for an empty record.
        if (count == 0 && start > imageSize)
            return fail("address " + hexAddress(start) + " lies beyond the end of the flash (" +
                        hexAddress(imageSize - 1) + ")");
        for (uint32_t i = 0; i < count; ++i) {
            const uint8_t value = hexByte(line, pos);
            if (start + i >= imageSize)
                return fail("address " + hexAddress(start + i) + " lies beyond the end of the flash (" +
                            hexAddress(imageSize - 1) + ")");
            image[start + i] = value;
        }
        if (start + count > highAddress)
            highAddress = start + count;
        return true;
    }
    case recordEndOfFile:
        endOfFileSeen = true;
        return true;
    case recordSegment: {
        // Skipping a malformed one would move every later byte to the
        // wrong address, and the update would verify it there.
        if (count != 2)
            return fail("segment address record with byte count " + hex2(count) + " (must be 02)");
        if (address != 0)
            return fail("segment address record with address field " + hex2(address >> 8) + hex2(address) +
                        " (must be 0000)");
        const uint8_t segmentHigh = hexByte(line, pos);
        const uint32_t segment = static_cast<uint32_t>(segmentHigh) << 8 | hexByte(line, pos);
        segmentBase = segment * 16;
        return true;
    }
    default:
        return fail("record type " + hex2(type) + " is not supported");
    }
}
