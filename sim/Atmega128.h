// The simulated M740-RT: the instrument's ATmega128 as its serial
// programming interface sees the world, attached at the level of the three
// modem-control lines of the cable (with the cable's inverting level
// shifter: RTS true is clock low, DTR and CTS carry inverted data).
//
// Behaviour worth knowing when writing tests against it:
// - Until programming is enabled the device drives nothing on its data
//   output (the PC reads FF) and only watches the received bytes for the
//   pair AC 53; the pair may straddle its own four-byte framing.
// - Once enabled, every byte received is echoed during the next byte; a
//   read loads its answer when its third byte arrives, so the answer comes
//   out during the fourth.
// - Page writes, fuse and lock writes and chip erase keep the device busy
//   for their data-sheet times, measured on platform::currentClock(); an
//   instruction that completes while busy is lost and counted as such.
// - Lock bits: with LB1 or LB2 programmed ((lockBits & 3) != 3, lock modes
//   2 and 3) page writes and fuse writes have no effect, and the signature
//   reads 00 01 02. In lock mode 3 (both programmed) flash reads return FF.
//   Fuses and the lock byte stay readable, further lock bits can still be
//   programmed, and only a chip erase unlocks the device.
// - A power-loss device that has gone dead comes back on powerCycle(); the
//   loss happens only once per object.
// - Clock levels given with their time (the modelled adapter's pin states)
//   must last minClockPhaseNs: the chip samples the clock line with its own
//   clock, and an edge sooner than that after the line's previous change
//   goes unseen. Untimed line calls (the modem lines) always last long
//   enough.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <random>
#include <string>
#include <vector>

namespace sim {

struct Scenario {
    enum class Kind {
        Normal,           // the right instrument, unlocked, answering at once
        NoDeviceCtsLow,   // nothing connected, CTS stays false (reads FF)
        NoDeviceCtsHigh,  // nothing connected, CTS stays true (reads 00)
        OutOfSync,        // powered up some bits out of step with the host
        WrongModel,       // extended fuse reads 0xFD
        UnknownSignature, // signature 1E 97 03
        Locked,           // lock bits programmed: signature reads 00 01 02 until erased
        StuckBit,         // one flash bit will not program
        NoisyCts,         // bit errors on the CTS line
        PowerLoss,        // the instrument goes dead after N instructions
        StuckLocked,      // locked, and a chip erase does not clear the lock bits
        LockMisread,      // the lock byte always reads back FF, whatever was written
        Unplugged,        // the cable or the USB adapter is pulled out after N instructions
    };

    Kind kind = Kind::Normal;
    int syncOffsetBits = 3;               // OutOfSync: 1..7
    uint32_t stuckAddress = 0x1234;       // StuckBit
    uint8_t stuckMask = 0x01;             // StuckBit: bits of that byte stuck at 1
    double bitErrorRate = 1e-4;           // NoisyCts
    uint64_t seed = 1;                    // NoisyCts
    uint64_t powerLossAfter = 1000;       // PowerLoss: instructions before the power fails
    uint64_t unplugAfter = 20000;         // Unplugged: instructions before the port is gone

    // "normal", "no-device", "no-device-high", "out-of-sync[:BITS]",
    // "wrong-model", "unknown-signature", "locked", "stuck-bit[:ADDRESS]",
    // "noisy[:RATE]", "power-loss[:N]", "stuck-locked", "lock-misread",
    // "unplugged[:N]".
    // Throws std::invalid_argument.
    static Scenario parse(const std::string& text);
    // One line per scenario, for --help texts.
    static std::string names();
};

class Atmega128 {
public:
    static constexpr uint32_t flashSize = 0x20000;
    static constexpr uint32_t pageSize = 256;
    // Data-sheet maxima of the self-timed operations.
    static constexpr int64_t flashWriteNs = 4'500'000;
    static constexpr int64_t fuseWriteNs = 4'500'000;
    static constexpr int64_t chipEraseNs = 9'000'000;

    // The chip needs each clock level to last more than two of its own
    // cycles; on its 1 MHz factory oscillator, which may run 10 % slow, that
    // is 2.2 µs.
    static constexpr int64_t factoryClockPhaseNs = 2'200;

    explicit Atmega128(const Scenario& scenario = {});

    // Line inputs, as the PC sets them.
    void setRts(bool level);
    // The same at atNs on the line's own time scale.
    void setRts(bool level, int64_t atNs);
    void setDtr(bool level) { mosi_ = !level; }
    // Line output, as the PC reads it.
    bool cts();

    // Inspection and set-up for tests.
    std::array<uint8_t, flashSize>& flash() { return flash_; }
    const std::array<uint8_t, flashSize>& flash() const { return flash_; }
    uint8_t fuseLow = 0xE1;
    uint8_t fuseHigh = 0x99;
    uint8_t fuseExt = 0xFF;
    uint8_t lockBits = 0xFF;
    // The shortest clock level the chip sees on timed line calls.
    int64_t minClockPhaseNs = factoryClockPhaseNs;

    const Scenario& scenario() const { return scenario_; }
    // Whether the port the instrument hangs on has been pulled out; its
    // ports then fail every call, as a vanished device does.
    bool unplugged() const
    {
        return scenario_.kind == Scenario::Kind::Unplugged && executed_ >= scenario_.unplugAfter;
    }
    bool programmingEnabled() const { return enabled_; }
    bool powered() const { return powered_; }
    // Instructions accepted, and instructions that arrived while busy.
    uint64_t instructionsExecuted() const { return executed_; }
    uint64_t instructionsLost() const { return lost_; }
    // Accepted instructions of each kind (a page write refused by the lock
    // bits still counts: it was accepted).
    uint64_t pageWrites() const { return pageWrites_; }
    uint64_t chipErases() const { return chipErases_; }
    uint64_t lockWrites() const { return lockWrites_; }
    uint64_t signatureReads() const { return signatureReads_; }
    // Clock edges that came too soon after the one before to be seen.
    uint64_t clockEdgesMissed() const { return clockEdgesMissed_; }
    // Every instruction completed while programming was enabled, in order,
    // lost ones included; only collected while recordInstructions is set.
    bool recordInstructions = false;
    const std::vector<std::array<uint8_t, 4>>& instructions() const { return log_; }

    // Power cycle in program mode: programming disabled, framing reset (and
    // put out of step again in the out-of-sync scenario), page buffer
    // cleared, any self-timed operation cut short.
    void powerCycle();

private:
    // The clock as the chip's logic sees it.
    void takeClock(bool sck);
    void clockRising();
    void clockFalling();
    void byteReceived(uint8_t byte);
    // The answer a read instruction loads after its third byte; false for
    // instructions that only echo.
    bool readAnswer(uint8_t& answer) const;
    void execute();
    void writePage();
    bool busy();
    void startTimedOperation(int64_t durationNs);
    void powerFail();
    bool programmingLocked() const { return (lockBits & 0x03) != 0x03; }
    bool readingLocked() const { return (lockBits & 0x03) == 0x00; }

    Scenario scenario_;
    std::array<uint8_t, flashSize> flash_{};
    std::array<uint8_t, pageSize> pageBuffer_{};
    std::array<uint8_t, 4> instr_{};
    std::vector<std::array<uint8_t, 4>> log_;
    int instrIndex_ = 0;
    int bitCount_ = 0;
    uint8_t shiftIn_ = 0;
    uint8_t shiftOut_ = 0;
    bool miso_ = true;
    bool sck_ = false;
    // The clock line's level and when it last changed, on timed calls.
    bool sckLine_ = false;
    std::optional<int64_t> sckChangedNs_;
    bool mosi_ = false;
    bool enabled_ = false;
    bool powered_ = true;
    // Whether clock edges reach the device's logic at all (a device is
    // attached and powered); checked first on every edge.
    bool live_ = true;
    // The CTS level while nothing drives the line.
    bool silentCts_ = false;
    bool noisy_ = false;
    bool powerLossPending_ = false;
    uint8_t previousByte_ = 0;
    bool timedOperation_ = false;
    int64_t busyUntilNs_ = 0;
    uint64_t executed_ = 0;
    uint64_t lost_ = 0;
    uint64_t pageWrites_ = 0;
    uint64_t chipErases_ = 0;
    uint64_t lockWrites_ = 0;
    uint64_t signatureReads_ = 0;
    uint64_t clockEdgesMissed_ = 0;
    std::mt19937_64 rng_;
    std::bernoulli_distribution noise_;
};

} // namespace sim
