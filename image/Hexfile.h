// The firmware image: an Intel HEX file read into a byte array as large as
// the device's flash, every byte the file does not fill left at FF (erased).
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

class HexFile {
public:
    // Allocates the image and fills it with FF; reads nothing.
    HexFile(std::string fileName, uint32_t size);

    HexFile(const HexFile&) = delete;
    HexFile& operator=(const HexFile&) = delete;

    // Reads the whole file into the image; true on success. On failure,
    // error says why, for the operator.
    bool readHexFile();

    // Decodes one line (without its line end) and applies it to the image.
    // On failure, error says why (without the line number).
    bool parseRecord(const char* line, size_t length);

    // The image byte at address, FF at or beyond imageSize: the one rule by
    // which every user reads the image.
    uint8_t byteAt(uint32_t address) const
    {
        return address < imageSize ? image[address] : uint8_t{0xFF};
    }

    uint32_t segmentBase = 0;
    // One past the highest address a data record covered; never above imageSize.
    uint32_t highAddress = 0;
    std::unique_ptr<uint8_t[]> image;
    uint32_t imageSize = 0;
    std::string fileName;
    // An end-of-file record has been read. A file without one was cut short
    // (an interrupted copy or download) and is refused as a whole.
    bool endOfFileSeen = false;
    // Why the read failed, naming the line where there is one:
    // "line 2: checksum 3F, expected 40". Empty while nothing failed.
    std::string error;

    // Longest line accepted, without its line end.
    static constexpr size_t maxLineLength = 79;
};
