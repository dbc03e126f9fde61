// The wall clock on Linux: the monotonic clock for the link's microsecond
// delay and the waits.
#include "platform/Clock.h"

#include <cerrno>
#include <ctime>

namespace platform {

namespace {

class SystemClock final : public Clock {
public:
    void sleepMs(uint32_t ms) override
    {
        timespec req{static_cast<time_t>(ms / 1000), static_cast<long>(ms % 1000) * 1'000'000L};
        timespec rem{};
        while (nanosleep(&req, &rem) != 0 && errno == EINTR)
            req = rem;
    }

    bool performanceFrequency(int64_t& ticksPerSecond) override
    {
        ticksPerSecond = 1'000'000'000;
        return true;
    }

    bool performanceCounter(int64_t& ticks) override
    {
        ticks = nowNs();
        return true;
    }

    int64_t nowNs() override
    {
        timespec ts{};
        clock_gettime(CLOCK_MONOTONIC, &ts);
        return static_cast<int64_t>(ts.tv_sec) * 1'000'000'000 + ts.tv_nsec;
    }
};

} // namespace

Clock& systemClock()
{
    static SystemClock clock;
    return clock;
}

} // namespace platform
