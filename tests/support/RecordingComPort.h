// A port that records every line call and answers CTS from a script, for
// checking the device link at the level of the individual line operations.
#pragma once

#include "link/ComPort.h"

#include <algorithm>
#include <cstddef>
#include <functional>
#include <vector>

namespace testing_support {

struct LineCall {
    enum class Kind { Rts, Dtr, Cts };
    Kind kind;
    bool level;
    bool operator==(const LineCall&) const = default;
};

class RecordingComPort final : public serial::ComPort {
public:
    void SetComNumber(uint16_t number) override { number_ = number; }
    uint16_t GetComNumber() const override { return number_; }
    void SetOpen(bool open) override { open_ = open; }
    bool GetOpen() const override { return open_; }
    void SetRTS(bool level) override { calls.push_back({LineCall::Kind::Rts, level}); }
    void SetDTR(bool level) override { calls.push_back({LineCall::Kind::Dtr, level}); }
    bool GetCTS() override
    {
        calls.push_back({LineCall::Kind::Cts, cts && cts()});
        return calls.back().level;
    }

    // Answers each CTS read; by default the line stays false.
    std::function<bool()> cts;

    std::vector<LineCall> calls;
    std::ptrdiff_t rtsFallingEdges() const
    {
        return std::count(calls.begin(), calls.end(), LineCall{LineCall::Kind::Rts, false});
    }
    void clear() { calls.clear(); }

private:
    uint16_t number_ = 0;
    bool open_ = true;
};

} // namespace testing_support
