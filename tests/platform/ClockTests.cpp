// The wall clock, measured against the standard library's steady clock: its
// waits are what keep a page write from being cut short on a real
// instrument, so they must never be shorter than asked, in any unit.
#include "platform/Clock.h"

#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <sys/time.h>
#include <thread>

namespace {

using std::chrono::steady_clock;

double elapsedMs(steady_clock::time_point since)
{
    return std::chrono::duration<double, std::milli>(steady_clock::now() - since).count();
}

extern "C" void ignoreAlarm(int) {}

TEST(SystemClock, SleepsAtLeastAsLongAsAskedEvenWhenASignalArrives)
{
    platform::Clock& clock = platform::systemClock();
    for (const uint32_t ms : {2u, 25u}) {
        const auto start = steady_clock::now();
        clock.sleepMs(ms);
        EXPECT_GE(elapsedMs(start), ms) << ms;
    }

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
}

TEST(SystemClock, CounterAndTimeRunAtTheStatedRate)
{
    platform::Clock& clock = platform::systemClock();
    int64_t frequency = 0;
    int64_t before = 0;
    int64_t after = 0;
    ASSERT_TRUE(clock.performanceFrequency(frequency));
    ASSERT_GT(frequency, 0);
    const int64_t nowBefore = clock.nowNs();
    ASSERT_TRUE(clock.performanceCounter(before));
    const auto start = steady_clock::now();
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    ASSERT_TRUE(clock.performanceCounter(after));
    const double realMs = elapsedMs(start);
    const double nowMs = static_cast<double>(clock.nowNs() - nowBefore) / 1e6;
    const double counterMs = static_cast<double>(after - before) * 1e3 / static_cast<double>(frequency);
    // A unit slip is a factor of a thousand; the bounds only catch that.
    for (const double measured : {counterMs, nowMs}) {
        EXPECT_GE(measured, 20.0 * 0.9);
        EXPECT_LE(measured, realMs * 10 + 10);
    }
}

} // namespace
