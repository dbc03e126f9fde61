// The wall clock's waits, measured against the standard library's steady
// clock: they keep a page write from being cut short on a real instrument,
// so they must never be shorter than asked.
#include "platform/Clock.h"
#include "platform/VirtualClock.h"

#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#ifndef _WIN32
#include <sys/time.h>
#endif

namespace {

using std::chrono::steady_clock;

double elapsedMs(steady_clock::time_point since)
{
    return std::chrono::duration<double, std::milli>(steady_clock::now() - since).count();
}

#ifndef _WIN32
extern "C" void ignoreAlarm(int) {}
#endif

TEST(SystemClock, SleepsAtLeastAsLongAsAskedEvenWhenASignalArrives)
{
    platform::Clock& clock = platform::systemClock();
    for (const uint32_t ms : {2u, 25u}) {
        const auto start = steady_clock::now();
        clock.sleepMs(ms);
        EXPECT_GE(elapsedMs(start), ms) << ms;
    }

#ifndef _WIN32
    // The console stops on signals without restarting system calls; a
    // signal must not cut a wait short.
    struct sigaction action {};
    struct sigaction previous {};
    action.sa_handler = ignoreAlarm;
    sigemptyset(&action.sa_mask);
    ASSERT_EQ(sigaction(SIGALRM, &action, &previous), 0);
    itimerval timer{};
    timer.it_value.tv_usec = 5'000;
    ASSERT_EQ(setitimer(ITIMER_REAL, &timer, nullptr), 0);
    const auto start = steady_clock::now();
    clock.sleepMs(30);
    EXPECT_GE(elapsedMs(start), 30.0);
    sigaction(SIGALRM, &previous, nullptr);
#endif
}

// The identification's waits as the operator stops them: on virtual time,
// with the slices of a platform's sleep that may come back early (Windows).
TEST(StoppableWait, EndsWithinATenthOfASecondOfAStopAndNeverEarlierUnstopped)
{
    constexpr int64_t ms = 1'000'000;
    for (const bool sleepEndsEarly : {false, true}) {
        SCOPED_TRACE(sleepEndsEarly ? "sleep ends early" : "sleep exact");
        platform::VirtualClock clock;
        if (sleepEndsEarly)
            clock.onSleep = [&clock](uint32_t slept) { clock.advanceNs(-static_cast<int64_t>(slept) * ms / 3); };
        const auto waited = [&clock](uint32_t length, int64_t stopAtMs) {
            const int64_t start = clock.nowNs();
            const bool whole = clock.sleepMsUnless(
                length, [&] { return stopAtMs >= 0 && clock.nowNs() - start >= stopAtMs * ms; });
            return std::pair{whole, (clock.nowNs() - start) / ms};
        };
        for (const uint32_t length : {0u, 1u, 43u, 50u, 51u, 3000u})
            EXPECT_EQ(waited(length, -1), std::pair(true, int64_t{length})) << length;
        for (const int64_t stopAt : {0, 1, 1234, 2999}) {
            const auto [whole, lasted] = waited(3000, stopAt);
            EXPECT_FALSE(whole) << stopAt;
            EXPECT_GE(lasted, stopAt);
            EXPECT_LE(lasted, stopAt + 100);
        }
        // Logged as the waits they were, not as their slices.
        EXPECT_EQ(clock.sleeps().size(), 10u);
    }
}

} // namespace
