// A complete 128 KB update through the modelled FT232R adapter, on virtual
// time, through libftdi's calls (Linux) and through D2XX's (Windows).
// Reports what the link asks of the adapter, and what the update would take
// on a real one:
//   pin_bytes_per_spi_byte   pin states written per byte exchange (floor 16)
//   transfers_per_spi_byte   USB reads and writes per byte exchange
//   most_unread_states       samples taken and not yet read by the program
//                            at most (libftdi: the chip stalls past 384;
//                            D2XX: its driver reads 4096 ahead)
//   modelled_s               pin states / bit-bang rate + transfers x 1 ms
//                            + the waits the update makes
//   tty_on_adapter_h         the same update through the kernel's serial
//                            driver on such an adapter: 33 line calls of
//                            about 1 ms per byte exchange, plus the waits
#include "bench/UpdateBench.h"
#include "link/d2xx/D2xx.h"
#include "sim/D2xxModel.h"
#include "platform/VirtualClock.h"
#include "sim/Ft232rModel.h"

#include <benchmark/benchmark.h>

namespace {

constexpr double usbRoundTripSeconds = 0.001;
constexpr double lineCallsPerByte = 33;
constexpr int adapterItem = 4;

enum class Library { LibFtdi, D2xx };

void fullUpdateThroughFt232r(benchmark::State& state, Library library)
{
    const bench_support::FirmwareFolder folder;
    sim::Ft232rModel::Counters counters;
    double waitSeconds = 0;
    for (auto _ : state) {
        platform::VirtualClock clock(1'000'000, 1'000);
        const platform::ScopedClock scope(clock);
        sim::Atmega128 device;
        sim::Ft232rModel adapter("BENCH001", &device);
        adapter.clock = &clock;
        const sim::D2xxBus d2xx({&adapter});
        auto ports = sim::simulatedPortSet(device, library == Library::LibFtdi
                                                       ? sim::modelFactory({&adapter})
                                                       : d2xx::factory(sim::D2xxBus::api()));
        if (!bench_support::runUpdate(std::move(ports), adapterItem))
            state.SkipWithError("the update did not complete");
        counters = adapter.counters;
        waitSeconds = static_cast<double>(clock.totalSleptMs()) / 1000.0;
    }
    const double spiBytes = static_cast<double>(counters.clockPulses) / 8.0;
    const double pinStates = static_cast<double>(counters.pinStates);
    const double transfers = static_cast<double>(counters.transfers);
    state.counters["spi_bytes"] = spiBytes;
    state.counters["pin_bytes_per_spi_byte"] = pinStates / spiBytes;
    state.counters["transfers_per_spi_byte"] = transfers / spiBytes;
    state.counters["most_unread_states"] = static_cast<double>(counters.mostUnread);
    state.counters["waits_s"] = waitSeconds;
    state.counters["modelled_s"] =
        pinStates / usb::pinStatesPerSecond + transfers * usbRoundTripSeconds + waitSeconds;
    state.counters["tty_on_adapter_h"] =
        (spiBytes * lineCallsPerByte * usbRoundTripSeconds + waitSeconds) / 3600.0;
}
void BM_FullUpdateThroughFt232r(benchmark::State& state)
{
    fullUpdateThroughFt232r(state, Library::LibFtdi);
}
BENCHMARK(BM_FullUpdateThroughFt232r)->Unit(benchmark::kMillisecond)->Iterations(3);

void BM_FullUpdateThroughFt232rD2xx(benchmark::State& state)
{
    fullUpdateThroughFt232r(state, Library::D2xx);
}
BENCHMARK(BM_FullUpdateThroughFt232rD2xx)->Unit(benchmark::kMillisecond)->Iterations(3);

} // namespace
