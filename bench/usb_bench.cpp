// A complete 128 KB update through the modelled FT232R adapter, on virtual
// time. Reports what the link asks of the adapter, and what the update would
// take on a real one:
//   pin_bytes_per_spi_byte   pin states written per byte exchange (floor 16)
//   transfers_per_spi_byte   libftdi read and write calls per byte exchange
//   most_unread_states       samples the chip held for the host at most
//                            (it stalls past 384)
//   modelled_s               pin states / bit-bang rate + transfers x 1 ms
//                            + the waits the update makes
//   tty_on_adapter_h         the same update through the kernel's serial
//                            driver on such an adapter: 33 line calls of
//                            about 1 ms per byte exchange, plus the waits
#include "bench/UpdateBench.h"
#include "link/PortSet.h"
#include "platform/VirtualClock.h"
#include "sim/Ft232rModel.h"
#include "sim/SimComPort.h"

#include <benchmark/benchmark.h>

namespace {

constexpr double usbRoundTripSeconds = 0.001;
constexpr double lineCallsPerByte = 33;
constexpr int adapterItem = 4;

void BM_FullUpdateThroughFt232r(benchmark::State& state)
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
        auto ports = std::make_unique<serial::PortSet>(std::make_unique<sim::SimComPort>(device),
                                                       sim::modelFactory({&adapter}));
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
BENCHMARK(BM_FullUpdateThroughFt232r)->Unit(benchmark::kMillisecond)->Iterations(3);

} // namespace
