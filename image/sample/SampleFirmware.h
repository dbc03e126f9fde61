// A stand-in firmware for the M740-RT, so that a fresh checkout has a
// "KPXUpdate517.hex" to program into the simulated instrument. Deterministic:
// every build produces the same file.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace sample_firmware {

inline constexpr uint32_t flashSize = 0x20000;
// Little-endian check value in the last two bytes of flash.
inline constexpr uint32_t checkValueAddress = flashSize - 2;

// CRC-16, polynomial 0x1021, initial value 0xFFFF, no reflection, no final XOR.
uint16_t crc16Ccitt(const uint8_t* data, size_t length);

// The whole flash as the instrument holds it after the update: FF wherever
// the file has no data, and the check value over everything before it.
std::vector<uint8_t> buildImage();

// Intel HEX text of an image: a 16-byte data record for every 16-byte block
// that is not entirely FF, extended segment address records where the data
// crosses a 64 KB boundary, CR LF line ends, the end-of-file record last.
std::string toIntelHex(const std::vector<uint8_t>& image);

} // namespace sample_firmware
