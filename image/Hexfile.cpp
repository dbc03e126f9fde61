#include "image/Hexfile.h"

#include <cstdio>
#include <cstring>
#include <utility>

namespace {

// Lenient on purpose: a character that is not a hexadecimal digit reads as a
// 0 digit instead of failing the read.
uint8_t hexDigit(char c)
{
    if (c >= '1' && c <= '9')
        return static_cast<uint8_t>(c - '0');
    if (c >= 'A' && c <= 'F')
        return static_cast<uint8_t>(c - 'A' + 10);
    if (c >= 'a' && c <= 'f')
        return static_cast<uint8_t>(c - 'a' + 10);
    return 0;
}

// The caller has made sure both characters lie inside the line.
uint8_t hexByte(const char* line, size_t& pos)
{
    const auto value = static_cast<uint8_t>((hexDigit(line[pos]) << 4) | hexDigit(line[pos + 1]));
    pos += 2;
    return value;
}

constexpr uint8_t recordData = 0x00;
constexpr uint8_t recordEndOfFile = 0x01;
constexpr uint8_t recordSegment = 0x02;

// Start code, byte count, address and type.
constexpr size_t headerLength = 9;

struct FileCloser {
    void operator()(std::FILE* file) const { std::fclose(file); }
};

enum class LineResult { Line, EndOfFile, TooLong, ReadError };

// Reads at most maxLength characters of one line into buffer and consumes its
// LF or CR LF. A CR not followed by LF is an ordinary character.
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
    if (fileName.empty())
        return false;
    // Binary mode: line ends are handled here, the same on every platform.
    const std::unique_ptr<std::FILE, FileCloser> file(std::fopen(fileName.c_str(), "rb"));
    if (!file)
        return false;

    char line[maxLineLength];
    for (;;) {
        size_t length = 0;
        switch (readLine(file.get(), line, maxLineLength, length)) {
        case LineResult::Line:
            if (!parseRecord(line, length))
                return false;
            break;
        case LineResult::EndOfFile:
            return endOfFileSeen;
        case LineResult::TooLong:
        case LineResult::ReadError:
            return false;
        }
    }
}

bool HexFile::parseRecord(const char* line, size_t length)
{
    if (length == 0)
        return true;
    // A record cut short would otherwise decode whatever follows it in
    // memory; refuse it before it stores anything.
    if (length < headerLength)
        return false;

    size_t pos = 1; // the start code is never examined
    const uint8_t count = hexByte(line, pos);
    const uint8_t addressHigh = hexByte(line, pos);
    const uint32_t address = static_cast<uint32_t>(addressHigh) << 8 | hexByte(line, pos);
    const uint8_t type = hexByte(line, pos);
    if (length < headerLength + 2u * count)
        return false;

    switch (type) {
    case recordData: {
        const uint32_t start = segmentBase + address;
        // Programming writes every page below highAddress, so it must stay
        // inside the image even for an empty record.
        if (count == 0 && start > imageSize)
            return false;
        for (uint32_t i = 0; i < count; ++i) {
            const uint8_t value = hexByte(line, pos);
            if (start + i >= imageSize)
                return false;
            image[start + i] = value;
        }
        if (start + count > highAddress)
            highAddress = start + count;
        return true;
    }
    case recordEndOfFile:
        endOfFileSeen = true;
        return true;
    case recordSegment:
        if (address == 0 && count == 2) {
            const uint8_t segmentHigh = hexByte(line, pos);
            const uint32_t segment = static_cast<uint32_t>(segmentHigh) << 8 | hexByte(line, pos);
            segmentBase = segment * 16;
        }
        return true;
    default:
        return false;
    }
}
