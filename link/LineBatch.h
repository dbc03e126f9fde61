// Byte exchanges clocked from a buffer. On a port where every line call is
// a USB round trip, the device link queues the line sequence of whole byte
// exchanges and sends them at once, when it needs an answer or must wait.
// The lines see the same sequence as through single line calls: per byte
// the clock idle, then per bit, most significant first, the data line set
// and one clock pulse, the bit read from the device being the level it
// presents before that pulse.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace serial {

class LineBatch {
public:
    virtual ~LineBatch() = default;

    // Queues one byte exchange. Returns the index of its answer in what the
    // next flush returns.
    virtual size_t queueByte(uint8_t value) = 0;
    // Queues one extra clock pulse (clock active, then idle) with the data
    // line unchanged.
    virtual void queuePulse() = 0;
    // Sends everything queued and returns once the lines have taken the last
    // state: the answers of the bytes queued since the previous flush, in
    // order. Throws ELineError when the port fails.
    virtual const std::vector<uint8_t>& flush() = 0;
    // Byte exchanges queued and not yet sent.
    virtual size_t queuedBytes() const = 0;
};

} // namespace serial
