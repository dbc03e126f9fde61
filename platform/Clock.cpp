#include "platform/Clock.h"
#include "platform/VirtualClock.h"

namespace platform {

namespace {


Clock* current = nullptr;

} // namespace

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
    sleeps_.push_back(ms);
    totalSleptMs_ += ms;
    if (onSleep)
        onSleep(ms);
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
