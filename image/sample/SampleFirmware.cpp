#include "image/sample/SampleFirmware.h"

#include <algorithm>
#include <cstring>

namespace sample_firmware {

namespace {

// The regions the file fills. Everything else stays erased, so the check
// value also covers bytes that no record sets.
constexpr uint32_t vectorCount = 35; // ATmega128 interrupt vectors, two words each
constexpr uint32_t vectorTableEnd = vectorCount * 4;
constexpr uint32_t stringTable = 0x00C0;
constexpr uint32_t codeEnd = 0x12C00; // past 64 KB on purpose
constexpr uint32_t lookupTable = 0x18000;
constexpr uint32_t bootSection = 0x1F000;
constexpr uint32_t bootSectionEnd = 0x1F200;

void putWord(std::vector<uint8_t>& image, uint32_t address, uint16_t word)
{
    image[address] = static_cast<uint8_t>(word & 0xFFu);
    image[address + 1] = static_cast<uint8_t>(word >> 8);
}

// JMP k: 1001 010k kkkk 110k, then the low 16 bits of the word address.
void putJump(std::vector<uint8_t>& image, uint32_t address, uint32_t targetByteAddress)
{
    const uint32_t target = targetByteAddress / 2;
    putWord(image, address, static_cast<uint16_t>(0x940C | ((target >> 16) & 1u) | ((target >> 17) << 4)));
    putWord(image, address + 2, static_cast<uint16_t>(target & 0xFFFFu));
}

// Fixed-seed generator so the file is the same on every machine.
class Xorshift {
public:
    uint32_t next()
    {
        state ^= state << 13;
        state ^= state >> 17;
        state ^= state << 5;
        return state;
    }

private:
    uint32_t state = 0x4B505835;
};

// Instruction words that look like compiled AVR code: the opcode patterns
// a compiler emits most, with random register and constant fields.
uint16_t codeWord(Xorshift& random)
{
    static constexpr uint16_t opcodes[] = {
        0x2C00, // mov
        0x0C00, // add
        0x1C00, // adc
        0x1800, // sub
        0x2000, // and
        0x2400, // eor
        0x8000, // ld/st Z+q
        0x9000, // lds/lpm/pop family
        0xE000, // ldi
        0x3000, // cpi
        0xC000, // rjmp
        0xD000, // rcall
        0xF000, // brbs/brbc
        0x9508, // ret
    };
    const uint32_t r = random.next();
    const uint16_t opcode = opcodes[r % std::size(opcodes)];
    if (opcode == 0x9508)
        return opcode;
    const auto operand = static_cast<uint16_t>((r >> 8) & (opcode >= 0xC000 ? 0x0FFFu : 0x03FFu));
    return static_cast<uint16_t>(opcode | operand);
}

} // namespace

uint16_t crc16Ccitt(const uint8_t* data, size_t length)
{
    uint32_t crc = 0xFFFF;
    for (size_t i = 0; i < length; ++i) {
        crc ^= static_cast<uint32_t>(data[i]) << 8;
        for (int bit = 0; bit < 8; ++bit)
            crc = (crc & 0x8000u) != 0 ? ((crc << 1) ^ 0x1021u) & 0xFFFFu : (crc << 1) & 0xFFFFu;
    }
    return static_cast<uint16_t>(crc);
}

std::vector<uint8_t> buildImage()
{
    std::vector<uint8_t> image(flashSize, 0xFF);
    Xorshift random;

    // Reset jumps past the strings to the start-up code, every other vector to
    // a handler that restarts the program.
    constexpr uint32_t startup = 0x0100;
    constexpr uint32_t badInterrupt = 0x0120;
    putJump(image, 0, startup);
    for (uint32_t vector = 1; vector < vectorCount; ++vector)
        putJump(image, vector * 4, badInterrupt);
    for (uint32_t address = vectorTableEnd; address < stringTable; address += 2)
        putWord(image, address, 0x0000); // nop padding

    static constexpr char strings[] = "M740-RT\0Firmware Version 5.17\0";
    std::memcpy(&image[stringTable], strings, sizeof strings);

    // Start-up: clear r1 and SREG, stack pointer to the top of internal RAM,
    // then into the program.
    static constexpr uint16_t startupCode[] = {
        0x2411, // eor r1, r1
        0xBE1F, // out SREG, r1
        0xEFCF, // ldi r28, 0xFF
        0xE1D0, // ldi r29, 0x10
        0xBFDE, // out SPH, r29
        0xBFCD, // out SPL, r28
    };
    uint32_t address = startup;
    for (const uint16_t word : startupCode) {
        putWord(image, address, word);
        address += 2;
    }
    putJump(image, address, 0x0200);
    putJump(image, badInterrupt, 0);

    for (address = 0x0200; address < codeEnd; address += 2)
        putWord(image, address, codeWord(random));

    // Constant tables read with LPM: a CRC-8 table (polynomial 0x31) for the
    // instrument's serial protocol and a squares table for its display
    // scaling. Integer arithmetic only, so no math library can change them.
    for (uint32_t i = 0; i < 256; ++i) {
        uint32_t crc = i;
        for (int bit = 0; bit < 8; ++bit)
            crc = (crc & 0x80u) != 0 ? (crc << 1) ^ 0x31u : crc << 1;
        image[lookupTable + i] = static_cast<uint8_t>(crc & 0xFFu);
        image[lookupTable + 256 + i] = static_cast<uint8_t>((i * i) >> 8);
    }

    for (address = bootSection; address < bootSectionEnd; address += 2)
        putWord(image, address, codeWord(random));

    const uint16_t check = crc16Ccitt(image.data(), checkValueAddress);
    putWord(image, checkValueAddress, check);
    return image;
}

namespace {

void appendRecord(std::string& text, uint8_t type, uint16_t offset, const uint8_t* data, uint8_t count)
{
    static constexpr char digits[] = "0123456789ABCDEF";
    auto appendByte = [&](uint8_t value) {
        text += digits[value >> 4];
        text += digits[value & 0x0F];
    };
    const auto offsetHigh = static_cast<uint8_t>(offset >> 8);
    const auto offsetLow = static_cast<uint8_t>(offset & 0xFFu);
    unsigned sum = 0u + count + offsetHigh + offsetLow + type;
    text += ':';
    appendByte(count);
    appendByte(offsetHigh);
    appendByte(offsetLow);
    appendByte(type);
    for (uint8_t i = 0; i < count; ++i) {
        appendByte(data[i]);
        sum += data[i];
    }
    appendByte(static_cast<uint8_t>((0x100u - (sum & 0xFFu)) & 0xFFu));
    text += "\r\n";
}

} // namespace

std::string toIntelHex(const std::vector<uint8_t>& image)
{
    constexpr uint32_t recordLength = 16;
    std::string text;
    uint32_t segment = 0;
    for (uint32_t address = 0; address < image.size(); address += recordLength) {
        const uint32_t length = std::min<uint32_t>(recordLength, static_cast<uint32_t>(image.size()) - address);
        const uint8_t* block = &image[address];
        if (std::all_of(block, block + length, [](uint8_t b) { return b == 0xFF; }))
            continue;
        const uint32_t blockSegment = (address >> 16) << 12;
        if (blockSegment != segment) {
            segment = blockSegment;
            const uint8_t value[2] = {static_cast<uint8_t>(segment >> 8), static_cast<uint8_t>(segment & 0xFFu)};
            appendRecord(text, 0x02, 0x0000, value, 2);
        }
        appendRecord(text, 0x00, static_cast<uint16_t>(address & 0xFFFFu), block, static_cast<uint8_t>(length));
    }
    appendRecord(text, 0x01, 0x0000, nullptr, 0);
    return text;
}

} // namespace sample_firmware
