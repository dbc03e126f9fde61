// Time seam: every wait and every reading of the high-resolution counter in
// the program goes through the current Clock, so tests and benchmarks can run
// the 3 s and 43 ms waits on a virtual clock instead of the wall clock.
#pragma once

#include <cstdint>
#include <functional>

namespace platform {

class Clock {
public:
    virtual ~Clock() = default;

    // Blocks the calling thread for whole milliseconds.
    virtual void sleepMs(uint32_t ms) = 0;

    // A wait that an operator's stop may cut short: stopRequested is asked
    // before it and then at least every wakeIntervalMs, and the wait ends as
    // soon as it answers true (the result is then false). A wait nobody stops
    // lasts at least ms, as sleepMs does.
    virtual bool sleepMsUnless(uint32_t ms, const std::function<bool()>& stopRequested);
    static constexpr uint32_t wakeIntervalMs = 50;

    // Ticks per second of the high-resolution counter; false when the
    // platform has none (callers then fall back to sleepMs).
    virtual bool performanceFrequency(int64_t& ticksPerSecond) = 0;
    virtual bool performanceCounter(int64_t& ticks) = 0;

    // Monotonic time in nanoseconds. The simulated instrument keeps its
    // programming times on it.
    virtual int64_t nowNs() = 0;
};

// The wall clock: CLOCK_MONOTONIC and nanosleep on Linux, the performance
// counter and Sleep on Windows.
Clock& systemClock();

// The clock in force; the system clock unless a ScopedClock overrides it.
Clock& currentClock();

// Installs a clock for the lifetime of the object and restores the previous
// one afterwards. Not thread-safe: the program has one thread.
class ScopedClock {
public:
    explicit ScopedClock(Clock& clock);
    ~ScopedClock();
    ScopedClock(const ScopedClock&) = delete;
    ScopedClock& operator=(const ScopedClock&) = delete;

private:
    Clock* previous_;
};

// Win32-shaped entry points used by the device link and the update procedure.
void Sleep(uint32_t ms);
// Sleep that ends early once stopRequested answers true; false then.
bool SleepUnlessStopped(uint32_t ms, const std::function<bool()>& stopRequested);
bool QueryPerformanceFrequency(int64_t* ticksPerSecond);
bool QueryPerformanceCounter(int64_t* ticks);

} // namespace platform
