// A complete update (identification, erase, programming and verification of
// the whole 128 KB flash, configuration) of the simulated instrument.
//
// BM_FullUpdateVirtualClock: on virtual time, so the figure is the CPU cost
// of the procedure, the link's line operations and the simulated device.
// BM_FullUpdateRealClock (only with KPX_BENCH_REAL_CLOCK=1, about a minute):
// on the wall clock, reporting the wall time against the sum of the waits
// the procedure has to make.
#include "bench/UpdateBench.h"
#include "platform/Clock.h"
#include "platform/VirtualClock.h"
#include "sim/Atmega128.h"
#include "sim/SimComPort.h"

#include <benchmark/benchmark.h>

#include <cstdlib>
#include <cstring>
#include <memory>

namespace {

using bench_support::FirmwareFolder;
using bench_support::flashBytes;

// One complete update over the modem lines.
bool runUpdate()
{
    sim::Atmega128 device;
    return bench_support::runUpdate(std::make_unique<sim::SimComPort>(device), 0);
}

void BM_FullUpdateVirtualClock(benchmark::State& state)
{
    const FirmwareFolder folder;
    platform::VirtualClock clock(1'000'000, 1'000);
    const platform::ScopedClock scope(clock);
    for (auto _ : state) {
        if (!runUpdate())
            state.SkipWithError("the update did not complete");
    }
    state.counters["bytes"] = benchmark::Counter(2.0 * flashBytes, benchmark::Counter::kIsIterationInvariantRate);
}
BENCHMARK(BM_FullUpdateVirtualClock)->Unit(benchmark::kMillisecond);

// The wall clock, with the sleeps added up.
class CountingClock final : public platform::Clock {
public:
    void sleepMs(uint32_t ms) override
    {
        sleptMs += ms;
        platform::systemClock().sleepMs(ms);
    }
    bool performanceFrequency(int64_t& ticksPerSecond) override
    {
        return platform::systemClock().performanceFrequency(ticksPerSecond);
    }
    bool performanceCounter(int64_t& ticks) override { return platform::systemClock().performanceCounter(ticks); }
    int64_t nowNs() override { return platform::systemClock().nowNs(); }

    uint64_t sleptMs = 0;
};

void BM_FullUpdateRealClock(benchmark::State& state)
{
    const FirmwareFolder folder;
    CountingClock clock;
    const platform::ScopedClock scope(clock);
    double wallSeconds = 0;
    for (auto _ : state) {
        const int64_t start = clock.nowNs();
        if (!runUpdate())
            state.SkipWithError("the update did not complete");
        wallSeconds += static_cast<double>(clock.nowNs() - start) / 1e9;
    }
    const double iterations = static_cast<double>(state.iterations());
    const double waitSeconds = static_cast<double>(clock.sleptMs) / 1000.0 / iterations;
    state.counters["wall_s"] = wallSeconds / iterations;
    state.counters["waits_s"] = waitSeconds;
    state.counters["wall_per_wait"] = wallSeconds / iterations / waitSeconds;
}

const bool realClockRegistered = [] {
    const char* enabled = std::getenv("KPX_BENCH_REAL_CLOCK");
    if (enabled && std::strcmp(enabled, "1") == 0)
        benchmark::RegisterBenchmark("BM_FullUpdateRealClock", BM_FullUpdateRealClock)
            ->Iterations(1)
            ->UseRealTime()
            ->Unit(benchmark::kSecond);
    return true;
}();

} // namespace
