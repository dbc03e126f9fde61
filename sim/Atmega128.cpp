#include "sim/Atmega128.h"

#include "platform/Clock.h"

#include <charconv>
#include <stdexcept>
#include <system_error>

namespace sim {

namespace {

constexpr std::array<uint8_t, 3> signature{0x1E, 0x97, 0x02};
constexpr uint8_t unknownSignatureByte2 = 0x03;
constexpr uint8_t wrongModelFuseExt = 0xFD; // M103C programmed
constexpr uint8_t lockedBits = 0xFC;        // LB1 and LB2 programmed
// Bits of the lock and extended fuse bytes that this chip does not have.
constexpr uint8_t unusedLockBits = 0xC0;
constexpr uint8_t unusedFuseExtBits = 0xFC;

[[noreturn]] void badParameter(const std::string& name, const std::string& value, const char* expected)
{
    throw std::invalid_argument("sim scenario \"" + name + "\": \"" + value + "\" is not " + expected);
}

// Decimal, or hexadecimal with a 0x prefix (addresses are usually given so).
uint64_t parseUnsigned(const std::string& name, const std::string& value)
{
    const char* first = value.data();
    const char* const last = first + value.size();
    int base = 10;
    if (value.size() > 2 && value[0] == '0' && (value[1] == 'x' || value[1] == 'X')) {
        base = 16;
        first += 2;
    }
    uint64_t result = 0;
    const auto [end, error] = std::from_chars(first, last, result, base);
    if (value.empty() || error != std::errc() || end != last)
        badParameter(name, value, "an unsigned number");
    return result;
}

double parseRate(const std::string& name, const std::string& value)
{
    double result = 0.0;
    const char* const last = value.data() + value.size();
    const auto [end, error] = std::from_chars(value.data(), last, result);
    // The negated test also rejects NaN.
    if (value.empty() || error != std::errc() || end != last || !(result >= 0.0 && result <= 1.0))
        badParameter(name, value, "a probability from 0 to 1");
    return result;
}

} // namespace

Scenario Scenario::parse(const std::string& text)
{
    const auto colon = text.find(':');
    const bool hasParameter = colon != std::string::npos;
    const std::string name = text.substr(0, colon);
    const std::string parameter = hasParameter ? text.substr(colon + 1) : std::string();

    Scenario scenario;
    const auto noParameter = [&] {
        if (hasParameter)
            throw std::invalid_argument("sim scenario \"" + name + "\" takes no parameter");
    };

    if (name == "normal") {
        noParameter();
    } else if (name == "no-device") {
        noParameter();
        scenario.kind = Kind::NoDeviceCtsLow;
    } else if (name == "no-device-high") {
        noParameter();
        scenario.kind = Kind::NoDeviceCtsHigh;
    } else if (name == "out-of-sync") {
        scenario.kind = Kind::OutOfSync;
        if (hasParameter) {
            const uint64_t bits = parseUnsigned(name, parameter);
            if (bits < 1 || bits > 7)
                badParameter(name, parameter, "a bit offset from 1 to 7");
            scenario.syncOffsetBits = static_cast<int>(bits);
        }
    } else if (name == "wrong-model") {
        noParameter();
        scenario.kind = Kind::WrongModel;
    } else if (name == "unknown-signature") {
        noParameter();
        scenario.kind = Kind::UnknownSignature;
    } else if (name == "locked") {
        noParameter();
        scenario.kind = Kind::Locked;
    } else if (name == "stuck-bit") {
        scenario.kind = Kind::StuckBit;
        if (hasParameter) {
            const uint64_t address = parseUnsigned(name, parameter);
            if (address >= Atmega128::flashSize)
                badParameter(name, parameter, "a flash address below 0x20000");
            scenario.stuckAddress = static_cast<uint32_t>(address);
        }
    } else if (name == "noisy") {
        scenario.kind = Kind::NoisyCts;
        if (hasParameter)
            scenario.bitErrorRate = parseRate(name, parameter);
    } else if (name == "power-loss") {
        scenario.kind = Kind::PowerLoss;
        if (hasParameter)
            scenario.powerLossAfter = parseUnsigned(name, parameter);
    } else if (name == "stuck-locked") {
        noParameter();
        scenario.kind = Kind::StuckLocked;
    } else if (name == "lock-misread") {
        noParameter();
        scenario.kind = Kind::LockMisread;
    } else if (name == "unplugged") {
        scenario.kind = Kind::Unplugged;
        if (hasParameter)
            scenario.unplugAfter = parseUnsigned(name, parameter);
    } else {
        throw std::invalid_argument("unknown sim scenario \"" + text + "\"; the scenarios are:\n" + names());
    }
    return scenario;
}

std::string Scenario::names()
{
    return "  normal                the right instrument, unlocked, answering at once\n"
           "  no-device             nothing connected, CTS stays false (reads FF)\n"
           "  no-device-high        nothing connected, CTS stays true (reads 00)\n"
           "  out-of-sync[:BITS]    powered up BITS (1-7, default 3) bits out of step\n"
           "  wrong-model           extended fuse reads FD\n"
           "  unknown-signature     signature reads 1E 97 03\n"
           "  locked                lock bits programmed, signature reads 00 01 02 until erased\n"
           "  stuck-bit[:ADDRESS]   bit 0 of the flash byte at ADDRESS (default 0x1234) stays 1\n"
           "  noisy[:RATE]          each CTS read is wrong with probability RATE (default 1e-4)\n"
           "  power-loss[:N]        the instrument goes dead after N instructions (default 1000)\n"
           "  stuck-locked          locked, and a chip erase does not unlock it\n"
           "  lock-misread          the lock byte reads back FF whatever was written\n"
           "  unplugged[:N]         the cable or adapter is pulled out after N instructions\n"
           "                        (default 20000, while programming)\n";
}

Atmega128::Atmega128(const Scenario& scenario)
    : scenario_(scenario)
    , rng_(scenario.seed)
    , noise_(scenario.kind == Scenario::Kind::NoisyCts ? scenario.bitErrorRate : 0.0)
{
    flash_.fill(0xFF);
    powerCycle();
    switch (scenario_.kind) {
    case Scenario::Kind::NoDeviceCtsLow:
    case Scenario::Kind::NoDeviceCtsHigh:
        live_ = false;
        silentCts_ = scenario_.kind == Scenario::Kind::NoDeviceCtsHigh;
        break;
    case Scenario::Kind::WrongModel:
        fuseExt = wrongModelFuseExt;
        break;
    case Scenario::Kind::Locked:
    case Scenario::Kind::StuckLocked:
        lockBits = lockedBits;
        break;
    case Scenario::Kind::NoisyCts:
        noisy_ = true;
        break;
    case Scenario::Kind::PowerLoss:
        powerLossPending_ = true;
        if (scenario_.powerLossAfter == 0)
            powerFail();
        break;
    default:
        break;
    }
}

void Atmega128::powerCycle()
{
    if (scenario_.kind == Scenario::Kind::NoDeviceCtsLow || scenario_.kind == Scenario::Kind::NoDeviceCtsHigh)
        return;
    powered_ = true;
    live_ = true;
    enabled_ = false;
    instrIndex_ = 0;
    bitCount_ = scenario_.kind == Scenario::Kind::OutOfSync ? scenario_.syncOffsetBits : 0;
    shiftIn_ = 0;
    shiftOut_ = 0;
    miso_ = true;
    previousByte_ = 0;
    timedOperation_ = false;
    busyUntilNs_ = 0;
    pageBuffer_.fill(0xFF);
}

void Atmega128::powerFail()
{
    powerLossPending_ = false;
    powered_ = false;
    live_ = false;
    enabled_ = false;
    silentCts_ = false;
}

void Atmega128::setRts(bool level)
{
    sckLine_ = !level;
    takeClock(sckLine_);
}

void Atmega128::setRts(bool level, int64_t atNs)
{
    const bool sck = !level;
    if (sck == sckLine_)
        return;
    const bool seen = !sckChangedNs_ || atNs - *sckChangedNs_ >= minClockPhaseNs;
    sckLine_ = sck;
    sckChangedNs_ = atNs;
    if (seen)
        takeClock(sck);
    else
        ++clockEdgesMissed_;
}

void Atmega128::takeClock(bool sck)
{
    if (sck == sck_)
        return;
    sck_ = sck;
    if (!live_)
        return;
    if (sck)
        clockRising();
    else
        clockFalling();
}

bool Atmega128::cts()
{
    if (!live_)
        return silentCts_;
    const bool level = !miso_;
    if (noisy_ && noise_(rng_))
        return !level;
    return level;
}

void Atmega128::clockRising()
{
    shiftIn_ = static_cast<uint8_t>((shiftIn_ << 1) | (mosi_ ? 1 : 0));
    if (++bitCount_ == 8) {
        bitCount_ = 0;
        byteReceived(shiftIn_);
    }
}

void Atmega128::clockFalling()
{
    // Until programming is enabled the output stays undriven and the cable
    // sees the idle level.
    if (enabled_)
        miso_ = ((shiftOut_ >> (7 - bitCount_)) & 1) != 0;
}

void Atmega128::byteReceived(uint8_t byte)
{
    if (!enabled_) {
        if (previousByte_ == 0xAC && byte == 0x53) {
            enabled_ = true;
            instr_[0] = 0xAC;
            instr_[1] = 0x53;
            instrIndex_ = 2;
            shiftOut_ = byte;
        }
        previousByte_ = byte;
        return;
    }

    instr_[static_cast<size_t>(instrIndex_)] = byte;
    shiftOut_ = byte;
    if (++instrIndex_ == 3) {
        uint8_t answer = 0;
        if (readAnswer(answer) && !busy())
            shiftOut_ = answer;
    } else if (instrIndex_ == 4) {
        instrIndex_ = 0;
        execute();
    }
}

bool Atmega128::readAnswer(uint8_t& answer) const
{
    const uint8_t op = instr_[0];
    const uint8_t b2 = instr_[1];
    const uint8_t b3 = instr_[2];
    switch (op) {
    case 0x20:
    case 0x28: {
        const uint32_t word = (static_cast<uint32_t>(b2) << 8) | b3;
        const uint32_t address = (word << 1) | (op == 0x28 ? 1u : 0u);
        answer = readingLocked() ? 0xFF : flash_[address];
        return true;
    }
    case 0x30: {
        const unsigned index = b3 & 0x03u;
        if (programmingLocked())
            answer = static_cast<uint8_t>(index);
        else if (index > 2)
            answer = 0xFF;
        else if (index == 2 && scenario_.kind == Scenario::Kind::UnknownSignature)
            answer = unknownSignatureByte2;
        else
            answer = signature[index];
        return true;
    }
    case 0x50:
        if (b2 == 0x00) {
            answer = fuseLow;
            return true;
        }
        if (b2 == 0x08) {
            answer = fuseExt;
            return true;
        }
        return false;
    case 0x58:
        if (b2 == 0x08) {
            answer = fuseHigh;
            return true;
        }
        if (b2 == 0x00) {
            answer = scenario_.kind == Scenario::Kind::LockMisread ? uint8_t{0xFF}
                                                                   : static_cast<uint8_t>(lockBits | unusedLockBits);
            return true;
        }
        return false;
    default:
        return false;
    }
}

bool Atmega128::busy()
{
    // The clock is only consulted while an operation may still be running,
    // so the programming loop's page loads stay cheap.
    if (!timedOperation_)
        return false;
    if (platform::currentClock().nowNs() < busyUntilNs_)
        return true;
    timedOperation_ = false;
    return false;
}

void Atmega128::startTimedOperation(int64_t durationNs)
{
    busyUntilNs_ = platform::currentClock().nowNs() + durationNs;
    timedOperation_ = true;
}

void Atmega128::execute()
{
    if (recordInstructions)
        log_.push_back(instr_);
    if (busy()) {
        ++lost_;
        return;
    }
    ++executed_;

    const uint8_t b2 = instr_[1];
    const uint8_t value = instr_[3];
    switch (instr_[0]) {
    case 0xAC:
        if ((b2 & 0xE0) == 0x80) {
            flash_.fill(0xFF);
            if (scenario_.kind != Scenario::Kind::StuckLocked)
                lockBits = 0xFF;
            ++chipErases_;
            startTimedOperation(chipEraseNs);
        } else if ((b2 & 0xE0) == 0xE0) {
            // Lock bits can only be programmed; erasing them takes a chip erase.
            lockBits = static_cast<uint8_t>(lockBits & (value | unusedLockBits));
            ++lockWrites_;
            startTimedOperation(fuseWriteNs);
        } else if (b2 == 0xA0 || b2 == 0xA8 || b2 == 0xA4) {
            if (!programmingLocked()) {
                if (b2 == 0xA0)
                    fuseLow = value;
                else if (b2 == 0xA8)
                    fuseHigh = value;
                else
                    fuseExt = static_cast<uint8_t>(value | unusedFuseExtBits);
                startTimedOperation(fuseWriteNs);
            }
        }
        // AC 53 (Programming Enable while enabled) and anything else: no effect.
        break;
    case 0x40:
    case 0x48: {
        const size_t index = (static_cast<size_t>(instr_[2] & 0x7Fu) << 1) | (instr_[0] == 0x48 ? 1u : 0u);
        pageBuffer_[index] = value;
        break;
    }
    case 0x4C:
        ++pageWrites_;
        if (!programmingLocked())
            writePage();
        break;
    case 0x30:
        ++signatureReads_;
        break;
    default:
        break;
    }

    if (powerLossPending_ && executed_ >= scenario_.powerLossAfter)
        powerFail();
}

void Atmega128::writePage()
{
    const uint32_t word = (static_cast<uint32_t>(instr_[1]) << 8) | instr_[2];
    const uint32_t start = (word >> 7) * pageSize;
    // Programming can only clear bits; a page that was not erased keeps its
    // zeros.
    for (uint32_t i = 0; i < pageSize; ++i)
        flash_[start + i] &= pageBuffer_[i];
    if (scenario_.kind == Scenario::Kind::StuckBit && scenario_.stuckAddress - start < pageSize)
        flash_[scenario_.stuckAddress] |= scenario_.stuckMask;
    pageBuffer_.fill(0xFF);
    startTimedOperation(flashWriteNs);
}

} // namespace sim
