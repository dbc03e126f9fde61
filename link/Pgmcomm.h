// The device link: the microcontroller's serial programming instructions,
// clocked bit by bit over the port's modem-control lines.
//
// On a port that batches its byte exchanges (serial::LineBatch) the same
// instructions go out in the same order, but queued: page loads wait in the
// queue for the page write, everything else is sent before its operation
// returns, and every wait is preceded by sending what is queued, so the
// device has the instruction before the wait starts. Flash reads there read
// ahead to the end of the page in one go; the next reads of that run are
// answered from it (reads change nothing in the device).
#pragma once

#include "link/ComPort.h"

#include <cstddef>
#include <cstdint>
#include <vector>

namespace serial {
class LineBatch;
}

class pgmComm {
public:
    // Stores the port and calibrates the microsecond delay; neither opens the
    // port nor changes a line.
    explicit pgmComm(serial::ComPort& port);

    static constexpr uint32_t enableWaitMs = 30;
    static constexpr uint32_t writeWaitMs = 43;
    static constexpr int enableAttempts = 32;

    // Fuse and lock values written by every update.
    static constexpr uint8_t fuseHighValue = 0x9F;
    static constexpr uint8_t fuseLowValue = 0xBF;
    static constexpr uint8_t fuseExtValue = 0xFF;
    static constexpr uint8_t lockValue = 0xFC;

    bool programEnable();
    void chipErase();
    uint8_t readFlashByte(uint32_t address);
    // On a batching port the instruction is only queued, and the result is
    // FF, the idle line's level: nobody has read it yet.
    uint8_t loadPageByte(uint32_t address, uint8_t value);
    void writePage(uint32_t address);
    void writeFuseHigh();
    void writeFuseLow();
    void writeFuseExt();
    void writeLockBits();
    uint8_t readSignature(uint8_t index);
    uint8_t probeFuseExt();
    uint8_t readFuseLow();
    uint8_t readFuseHigh();
    uint8_t readFuseExt();
    uint8_t readLockBits();

    uint8_t transferByte(uint8_t value);
    void microDelay();

    serial::ComPort& serialPort;
    bool perfCounterOk = false;
    int64_t perfFrequency = 0;
    int64_t delayTicks = 1;

private:
    // One four-byte instruction; returns the byte received during the fourth
    // transfer.
    uint8_t instruction(uint8_t b1, uint8_t b2, uint8_t b3, uint8_t b4);
    // A read that the device only answers reliably after its last write has
    // settled, and that must settle before the next instruction.
    uint8_t settledRead(uint8_t b1, uint8_t b2);

    // An instruction whose answer nobody needs: left queued on a batching
    // port, sent at once otherwise.
    void send(uint8_t b1, uint8_t b2, uint8_t b3, uint8_t b4);
    // The fixed waits; on a batching port, what is queued goes out first.
    void wait(uint32_t ms);
    // The port's batching while it offers one. Any instruction but a flash
    // read ends the current read-ahead.
    serial::LineBatch* batch();
    // Queues the four bytes; returns the index of the fourth's answer.
    static size_t queueInstruction(serial::LineBatch& lines, uint8_t b1, uint8_t b2, uint8_t b3, uint8_t b4);
    bool programEnableBatched(serial::LineBatch& lines);
    uint8_t readAhead(serial::LineBatch& lines, uint32_t address);

    // Flash bytes read ahead, from address readAheadFirst_ on, and the
    // batching they came through.
    std::vector<uint8_t> readAhead_;
    uint32_t readAheadFirst_ = 0;
    const serial::LineBatch* readAheadSource_ = nullptr;
};
