#include "link/Pgmcomm.h"

#include "link/LineBatch.h"
#include "platform/Clock.h"

namespace {

constexpr uint8_t lowByte(uint32_t value)
{
    return static_cast<uint8_t>(value & 0xFFu);
}

constexpr uint32_t flashPageBytes = 256;

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

serial::LineBatch* pgmComm::batch()
{
    serial::LineBatch* lines = serialPort.GetLineBatch();
    readAhead_.clear();
    return lines;
}

void pgmComm::wait(uint32_t ms)
{
    if (serial::LineBatch* lines = serialPort.GetLineBatch())
        lines->flush();
    platform::Sleep(ms);
}

uint8_t pgmComm::transferByte(uint8_t value)
{
    if (serial::LineBatch* lines = batch()) {
        const size_t answer = lines->queueByte(value);
        return lines->flush()[answer];
    }
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

size_t pgmComm::queueInstruction(serial::LineBatch& lines, uint8_t b1, uint8_t b2, uint8_t b3, uint8_t b4)
{
    lines.queueByte(b1);
    lines.queueByte(b2);
    lines.queueByte(b3);
    return lines.queueByte(b4);
}

uint8_t pgmComm::instruction(uint8_t b1, uint8_t b2, uint8_t b3, uint8_t b4)
{
    if (serial::LineBatch* lines = batch()) {
        const size_t answer = queueInstruction(*lines, b1, b2, b3, b4);
        return lines->flush()[answer];
    }
    transferByte(b1);
    transferByte(b2);
    transferByte(b3);
    return transferByte(b4);
}

void pgmComm::send(uint8_t b1, uint8_t b2, uint8_t b3, uint8_t b4)
{
    if (serial::LineBatch* lines = batch()) {
        queueInstruction(*lines, b1, b2, b3, b4);
        return;
    }
    instruction(b1, b2, b3, b4);
}

uint8_t pgmComm::settledRead(uint8_t b1, uint8_t b2)
{
    wait(writeWaitMs);
    const uint8_t result = instruction(b1, b2, 0x00, 0x00);
    wait(writeWaitMs);
    return result;
}

bool pgmComm::programEnable()
{
    wait(enableWaitMs);
    if (serial::LineBatch* lines = batch())
        return programEnableBatched(*lines);
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

bool pgmComm::programEnableBatched(serial::LineBatch& lines)
{
    // The same attempts, each sent as one batch: whether to add the extra
    // pulse depends on the answer.
    for (int attempt = 0; attempt < enableAttempts; ++attempt) {
        // The echo comes with the third byte.
        const size_t echo = queueInstruction(lines, 0xAC, 0x53, 0x00, 0x00) - 1;
        if (lines.flush()[echo] == 0x53)
            return true;
        // Goes out ahead of the next attempt; the microsecond delays are
        // shorter than one pin state of the batch, so they need no states.
        lines.queuePulse();
    }
    lines.flush();
    return false;
}

void pgmComm::chipErase()
{
    send(0xAC, 0x80, 0x00, 0x00);
    wait(writeWaitMs);
    wait(writeWaitMs);
}

uint8_t pgmComm::readFlashByte(uint32_t address)
{
    if (serial::LineBatch* lines = serialPort.GetLineBatch())
        return readAhead(*lines, address);
    const uint8_t opcode = (address & 1u) ? 0x28 : 0x20;
    return instruction(opcode, lowByte(address >> 9), lowByte(address >> 1), 0x00);
}

uint8_t pgmComm::readAhead(serial::LineBatch& lines, uint32_t address)
{
    if (readAheadSource_ == &lines && address - readAheadFirst_ < readAhead_.size())
        return readAhead_[address - readAheadFirst_];

    // One USB round trip per byte would cost more than the rest of the
    // update together; the rest of the page is read in one.
    const uint32_t count = flashPageBytes - (address & (flashPageBytes - 1));
    std::vector<size_t> answers;
    answers.reserve(count);
    readAhead_.clear();
    for (uint32_t i = 0; i < count; ++i) {
        const uint32_t at = address + i;
        answers.push_back(queueInstruction(lines, (at & 1u) ? 0x28 : 0x20, lowByte(at >> 9), lowByte(at >> 1), 0x00));
    }
    const std::vector<uint8_t>& received = lines.flush();
    for (const size_t answer : answers)
        readAhead_.push_back(received[answer]);
    readAheadFirst_ = address;
    readAheadSource_ = &lines;
    return readAhead_.front();
}

uint8_t pgmComm::loadPageByte(uint32_t address, uint8_t value)
{
    const uint8_t opcode = (address & 1u) ? 0x48 : 0x40;
    if (batch()) {
        send(opcode, 0x00, lowByte((address >> 1) & 0x7Fu), value);
        return 0xFF;
    }
    return instruction(opcode, 0x00, lowByte((address >> 1) & 0x7Fu), value);
}

void pgmComm::writePage(uint32_t address)
{
    send(0x4C, lowByte(address >> 9), lowByte((address >> 1) & 0x80u), 0x00);
    wait(writeWaitMs);
}

void pgmComm::writeFuseHigh()
{
    send(0xAC, 0xA8, 0x00, fuseHighValue);
    wait(writeWaitMs);
}

void pgmComm::writeFuseLow()
{
    send(0xAC, 0xA0, 0x00, fuseLowValue);
    wait(writeWaitMs);
}

void pgmComm::writeFuseExt()
{
    send(0xAC, 0xA4, 0x00, fuseExtValue);
    wait(writeWaitMs);
}

void pgmComm::writeLockBits()
{
    // No wait follows: the lock write must not sit in a queue while the
    // caller goes on.
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
