// Cost of the link's byte exchange against the simulated instrument, and of
// a full-flash verification pass, both on a virtual clock so microDelay's
// spin does not run in real time.
#include "link/Pgmcomm.h"
#include "platform/VirtualClock.h"
#include "sim/Atmega128.h"
#include "sim/SimComPort.h"

#include <benchmark/benchmark.h>

namespace {

// An answering instrument in programming mode, on a virtual clock installed
// before the link calibrates its delay.
struct Instrument {
    Instrument()
        : port(device), link(port)
    {
        port.SetComNumber(1);
        port.SetOpen(true);
        port.SetRTS(true);
        enabled = link.programEnable();
    }
    platform::VirtualClock clock;
    platform::ScopedClock installed{clock};
    sim::Atmega128 device;
    sim::SimComPort port;
    pgmComm link;
    bool enabled = false;
};

void BM_SimTransferByte(benchmark::State& state)
{
    Instrument instrument;
    if (!instrument.enabled) {
        state.SkipWithError("programming enable failed");
        return;
    }
    uint8_t value = 0;
    for (auto _ : state) {
        benchmark::DoNotOptimize(instrument.link.transferByte(value));
        ++value;
    }
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_SimTransferByte);

void BM_SimReadWholeFlash(benchmark::State& state)
{
    Instrument instrument;
    if (!instrument.enabled) {
        state.SkipWithError("programming enable failed");
        return;
    }
    for (auto _ : state) {
        unsigned sum = 0;
        for (uint32_t address = 0; address < sim::Atmega128::flashSize; ++address)
            sum += instrument.link.readFlashByte(address);
        benchmark::DoNotOptimize(sum);
    }
    state.SetItemsProcessed(state.iterations() * sim::Atmega128::flashSize);
    state.SetBytesProcessed(state.iterations() * sim::Atmega128::flashSize);
}
BENCHMARK(BM_SimReadWholeFlash)->Unit(benchmark::kMillisecond);

} // namespace
