// A clock for tests and benchmarks: sleeping advances time at once, and every
// reading of the performance counter moves time on by a small step so that a
// busy-wait on the counter always ends.
#pragma once

#include "platform/Clock.h"

#include <functional>
#include <vector>

namespace platform {

class VirtualClock final : public Clock {
public:
    // frequency 0 models a platform without a performance counter.
    explicit VirtualClock(int64_t frequency = 10'000'000, int64_t counterReadCostNs = 100);

    void sleepMs(uint32_t ms) override;
    bool sleepMsUnless(uint32_t ms, const std::function<bool()>& stopRequested) override;
    bool performanceFrequency(int64_t& ticksPerSecond) override;
    bool performanceCounter(int64_t& ticks) override;
    int64_t nowNs() override { return nowNs_; }

    void advanceNs(int64_t ns) { nowNs_ += ns; }

    // Every sleep in call order, for checking the waits a procedure makes; a
    // wait that could be stopped is one entry, of the time it lasted.
    const std::vector<uint32_t>& sleeps() const { return sleeps_; }
    uint64_t totalSleptMs() const { return totalSleptMs_; }
    uint64_t counterReads() const { return counterReads_; }
    void clearLog() { sleeps_.clear(); totalSleptMs_ = 0; counterReads_ = 0; }

    // Called after each sleep, and each slice of a wait that could be
    // stopped, has advanced the time (a test can act "during" a wait, as a
    // user would while the program sleeps).
    std::function<void(uint32_t ms)> onSleep;

private:
    int64_t frequency_;
    int64_t counterReadCostNs_;
    int64_t nowNs_ = 0;
    std::vector<uint32_t> sleeps_;
    uint64_t totalSleptMs_ = 0;
    uint64_t counterReads_ = 0;
    bool inStoppableWait_ = false;
};

} // namespace platform
