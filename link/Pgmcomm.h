// The device link: the microcontroller's serial programming instructions,
// clocked bit by bit over the port's modem-control lines.
#pragma once

#include "link/ComPort.h"

#include <cstdint>

class pgmComm {
public:
    // Stores the port and calibrates the microsecond delay; neither opens the
    // port nor changes a line.
    explicit pgmComm(serial::ComPort& port);

    static constexpr uint32_t enableWaitMs = 30;
    static constexpr uint32_t writeWaitMs = 43;
    static constexpr int enableAttempts = 32;

    bool programEnable();
    void chipErase();
    uint8_t readFlashByte(uint32_t address);
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
};
