// The wall clock's waits, measured against the standard library's steady
// clock: they keep a page write from being cut short on a real instrument,
// so they must never be shorter than asked.
#include "platform/Clock.h"

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

} // namespace
