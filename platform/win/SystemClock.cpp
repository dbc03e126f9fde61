// The wall clock on Windows: the performance counter for the link's
// microsecond delay, Sleep for the waits.
#include "platform/Clock.h"

#include "platform/win/Win32.h"

namespace platform {

namespace {

class SystemClock final : public Clock {
public:
    // Sleep may end up to a timer tick early; a wait that keeps a page
    // write from being cut short must never be shorter than asked.
    void sleepMs(uint32_t ms) override
    {
        const int64_t end = nowNs() + static_cast<int64_t>(ms) * 1'000'000;
        ::Sleep(ms);
        for (int64_t now = nowNs(); now < end; now = nowNs())
            ::Sleep(static_cast<DWORD>((end - now + 999'999) / 1'000'000));
    }

    bool performanceFrequency(int64_t& ticksPerSecond) override
    {
        LARGE_INTEGER frequency{};
        if (!::QueryPerformanceFrequency(&frequency) || frequency.QuadPart <= 0) {
            ticksPerSecond = 0;
            return false;
        }
        ticksPerSecond = frequency.QuadPart;
        return true;
    }

    bool performanceCounter(int64_t& ticks) override
    {
        LARGE_INTEGER counter{};
        if (!::QueryPerformanceCounter(&counter)) {
            ticks = 0;
            return false;
        }
        ticks = counter.QuadPart;
        return true;
    }

    int64_t nowNs() override
    {
        int64_t frequency = 0;
        int64_t ticks = 0;
        if (!performanceFrequency(frequency) || !performanceCounter(ticks))
            return static_cast<int64_t>(::GetTickCount64()) * 1'000'000;
        // Split so the product cannot overflow after a long uptime.
        constexpr int64_t nsPerSecond = 1'000'000'000;
        return (ticks / frequency) * nsPerSecond + (ticks % frequency) * nsPerSecond / frequency;
    }
};

} // namespace

Clock& systemClock()
{
    static SystemClock clock;
    return clock;
}

} // namespace platform
