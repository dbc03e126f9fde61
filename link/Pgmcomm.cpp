#include "link/Pgmcomm.h"

#include "platform/Clock.h"

namespace {

constexpr uint8_t lowByte(uint32_t value)
{
    return static_cast<uint8_t>(value & 0xFFu);
}

// Fuse and lock values written by every update.
constexpr uint8_t fuseHighValue = 0x9F;
constexpr uint8_t fuseLowValue = 0xBF;
constexpr uint8_t fuseExtValue = 0xFF;
constexpr uint8_t lockValue = 0xFC;

} // namespace

pgmComm::pgmComm(serial::ComPort& port)
    : serialPort(port)
{
    int64_t frequency = 0;
    if (!platform::QueryPerformanceFrequency(&frequency) || frequency <= 0)
        return;
    perfCounterOk = true;
    perfFrequency = frequency;
    delayTicks = frequency > 1'000'000 ? frequency / 1'000'000 : 1;
}

void pgmComm::microDelay()
{
    if (!perfCounterOk) {
        platform::Sleep(1);
        return;
    }
    int64_t now = 0;
    platform::QueryPerformanceCounter(&now);
    const int64_t target = now + delayTicks;
    do {
        platform::QueryPerformanceCounter(&now);
    } while (now < target);
}

uint8_t pgmComm::transferByte(uint8_t value)
{
    serialPort.SetRTS(true);
    microDelay();
    unsigned received = 0;
    for (int bit = 7; bit >= 0; --bit) {
        // Fixed order: sample what the device presents, then set our data
        // bit, then pulse the clock. Both data lines are inverted by the
        // cable's level shifter.
        received = (received << 1) | (serialPort.GetCTS() ? 0u : 1u);
        const bool one = ((static_cast<unsigned>(value) >> bit) & 1u) != 0;
        serialPort.SetDTR(!one);
        serialPort.SetRTS(false);
        serialPort.SetRTS(true);
    }
    return static_cast<uint8_t>(received);
}

uint8_t pgmComm::instruction(uint8_t b1, uint8_t b2, uint8_t b3, uint8_t b4)
{
    transferByte(b1);
    transferByte(b2);
    transferByte(b3);
    return transferByte(b4);
}

uint8_t pgmComm::settledRead(uint8_t b1, uint8_t b2)
{
    platform::Sleep(writeWaitMs);
    const uint8_t result = instruction(b1, b2, 0x00, 0x00);
    platform::Sleep(writeWaitMs);
    return result;
}

bool pgmComm::programEnable()
{
    platform::Sleep(enableWaitMs);
    for (int attempt = 0; attempt < enableAttempts; ++attempt) {
        transferByte(0xAC);
        transferByte(0x53);
        // A device in step echoes the 0x53 while the third byte goes out.
        const bool inSync = transferByte(0x00) == 0x53;
        transferByte(0x00);
        if (!inSync) {
            // One extra clock pulse shifts our framing by a bit against the
            // device's, until the two agree.
            serialPort.SetRTS(false);
            microDelay();
            serialPort.SetRTS(true);
            microDelay();
        }
        microDelay();
        if (inSync)
            return true;
    }
    return false;
}

void pgmComm::chipErase()
{
    instruction(0xAC, 0x80, 0x00, 0x00);
    platform::Sleep(writeWaitMs);
    platform::Sleep(writeWaitMs);
}

uint8_t pgmComm::readFlashByte(uint32_t address)
{
    const uint8_t opcode = (address & 1u) ? 0x28 : 0x20;
    return instruction(opcode, lowByte(address >> 9), lowByte(address >> 1), 0x00);
}

uint8_t pgmComm::loadPageByte(uint32_t address, uint8_t value)
{
    const uint8_t opcode = (address & 1u) ? 0x48 : 0x40;
    return instruction(opcode, 0x00, lowByte((address >> 1) & 0x7Fu), value);
}

void pgmComm::writePage(uint32_t address)
{
    instruction(0x4C, lowByte(address >> 9), lowByte((address >> 1) & 0x80u), 0x00);
    platform::Sleep(writeWaitMs);
}

void pgmComm::writeFuseHigh()
{
    instruction(0xAC, 0xA8, 0x00, fuseHighValue);
    platform::Sleep(writeWaitMs);
}

void pgmComm::writeFuseLow()
{
    instruction(0xAC, 0xA0, 0x00, fuseLowValue);
    platform::Sleep(writeWaitMs);
}

void pgmComm::writeFuseExt()
{
    instruction(0xAC, 0xA4, 0x00, fuseExtValue);
    platform::Sleep(writeWaitMs);
}

void pgmComm::writeLockBits()
{
    instruction(0xAC, 0xE0, 0x00, lockValue);
}

uint8_t pgmComm::readSignature(uint8_t index)
{
    return instruction(0x30, 0x00, static_cast<uint8_t>(index & 0x03u), 0x00);
}

uint8_t pgmComm::probeFuseExt()
{
    return instruction(0x50, 0x08, 0x00, 0x00);
}

uint8_t pgmComm::readFuseLow()
{
    return settledRead(0x50, 0x00);
}

uint8_t pgmComm::readFuseHigh()
{
    return settledRead(0x58, 0x08);
}

uint8_t pgmComm::readFuseExt()
{
    return settledRead(0x50, 0x08);
}

uint8_t pgmComm::readLockBits()
{
    return settledRead(0x58, 0x00);
}
