#include "platform/Clock.h"
#include "platform/VirtualClock.h"

#include <algorithm>

namespace platform {

namespace {

Clock* current = nullptr;

} // namespace

bool Clock::sleepMsUnless(uint32_t ms, const std::function<bool()>& stopRequested)
{
    // Slices of the wait, measured against the clock rather than added up:
    // asking for the stop may itself take time (the window runs its
    // messages), and a platform's sleep may end a little late or early.
    const int64_t end = nowNs() + static_cast<int64_t>(ms) * 1'000'000;
    for (;;) {
        if (stopRequested())
            return false;
        const int64_t left = end - nowNs();
        if (left <= 0)
            return true;
        sleepMs(static_cast<uint32_t>(std::min<int64_t>(wakeIntervalMs, (left + 999'999) / 1'000'000)));
    }
}

Clock& currentClock()
{
    return current ? *current : systemClock();
}

ScopedClock::ScopedClock(Clock& clock)
    : previous_(current)
{
    current = &clock;
}

ScopedClock::~ScopedClock()
{
    current = previous_;
}

void Sleep(uint32_t ms)
{
    currentClock().sleepMs(ms);
}

bool SleepUnlessStopped(uint32_t ms, const std::function<bool()>& stopRequested)
{
    return currentClock().sleepMsUnless(ms, stopRequested);
}

bool QueryPerformanceFrequency(int64_t* ticksPerSecond)
{
    return currentClock().performanceFrequency(*ticksPerSecond);
}

bool QueryPerformanceCounter(int64_t* ticks)
{
    return currentClock().performanceCounter(*ticks);
}

VirtualClock::VirtualClock(int64_t frequency, int64_t counterReadCostNs)
    : frequency_(frequency)
    , counterReadCostNs_(counterReadCostNs)
{
}

void VirtualClock::sleepMs(uint32_t ms)
{
    nowNs_ += static_cast<int64_t>(ms) * 1'000'000;
    if (!inStoppableWait_) {
        sleeps_.push_back(ms);
        totalSleptMs_ += ms;
    }
    if (onSleep)
        onSleep(ms);
}

bool VirtualClock::sleepMsUnless(uint32_t ms, const std::function<bool()>& stopRequested)
{
    // Logged as one wait of the time it lasted, not slice by slice.
    struct Log {
        VirtualClock& clock;
        const int64_t start;
        ~Log()
        {
            clock.inStoppableWait_ = false;
            const auto lasted = static_cast<uint32_t>((clock.nowNs_ - start) / 1'000'000);
            clock.sleeps_.push_back(lasted);
            clock.totalSleptMs_ += lasted;
        }
    } log{*this, nowNs_};
    inStoppableWait_ = true;
    return Clock::sleepMsUnless(ms, stopRequested);
}

bool VirtualClock::performanceFrequency(int64_t& ticksPerSecond)
{
    ticksPerSecond = frequency_;
    return frequency_ > 0;
}

bool VirtualClock::performanceCounter(int64_t& ticks)
{
    if (frequency_ <= 0) {
        ticks = 0;
        return false;
    }
    ++counterReads_;
    nowNs_ += counterReadCostNs_;
    // Whole ticks elapsed, split so the product cannot overflow for
    // frequencies up to several GHz.
    constexpr int64_t nsPerSecond = 1'000'000'000;
    ticks = (nowNs_ / nsPerSecond) * frequency_ + (nowNs_ % nsPerSecond) * frequency_ / nsPerSecond;
    return true;
}

} // namespace platform
