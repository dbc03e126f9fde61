#include "tests/support/RecordingComPort.h"

namespace testing_support {

void RecordingComPort::SetRTS(bool level)
{
    calls.push_back({LineCall::Kind::Rts, level});
    if (onRts)
        onRts(level);
}

void RecordingComPort::SetDTR(bool level)
{
    calls.push_back({LineCall::Kind::Dtr, level});
}

bool RecordingComPort::GetCTS()
{
    const bool level = cts ? cts() : false;
    calls.push_back({LineCall::Kind::Cts, level});
    return level;
}

int RecordingComPort::rtsFallingEdges() const
{
    int edges = 0;
    for (const auto& call : calls)
        if (call.kind == LineCall::Kind::Rts && !call.level)
            ++edges;
    return edges;
}

std::vector<bool> RecordingComPort::dtrLevels() const
{
    std::vector<bool> levels;
    for (const auto& call : calls)
        if (call.kind == LineCall::Kind::Dtr)
            levels.push_back(call.level);
    return levels;
}

} // namespace testing_support
