// A complete update (identification, erase, programming and verification of
// the whole 128 KB flash, configuration) of the simulated instrument.
//
// BM_FullUpdateVirtualClock: on virtual time, so the figure is the CPU cost
// of the procedure, the link's line operations and the simulated device.
// BM_FullUpdateRealClock (only with KPX_BENCH_REAL_CLOCK=1, about a minute):
// on the wall clock, reporting the wall time against the sum of the waits
// the procedure has to make.
#include "app/UI.h"
#include "platform/Clock.h"
#include "platform/VirtualClock.h"
#include "sim/Atmega128.h"
#include "sim/SimComPort.h"
#include "toolkit/Application.h"

#include <benchmark/benchmark.h>

#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <memory>
#include <random>
#include <stdexcept>
#include <string>
#include <unistd.h>

namespace {

constexpr uint32_t flashBytes = 0x20000;

// Says OK and Yes to everything.
class AgreeingOperator final : public tk::Backend {
public:
    int MessageBox(const std::string&, const std::string&, int) override { return tk::IDOK; }
    int MessageDlg(const std::string&, tk::TMsgDlgType, tk::TMsgDlgButtons, int,
                   std::optional<tk::ScreenPoint>) override
    {
        return tk::mrYes;
    }
    void ProcessMessages() override {}
    void ShowException(const std::string& message) override { throw std::runtime_error(message); }
    void Run(tk::TApplication&) override {}
    void FormShown(tk::TForm&) override {}
    void FormHidden(tk::TForm&) override {}
};

std::string hexRecord(unsigned type, unsigned address, const uint8_t* bytes, unsigned count)
{
    char field[3];
    unsigned sum = 0;
    std::string line = ":";
    const auto put = [&](unsigned value) {
        std::snprintf(field, sizeof field, "%02X", value & 0xFFu);
        line += field;
        sum += value & 0xFFu;
    };
    put(count);
    put(address >> 8);
    put(address);
    put(type);
    for (unsigned i = 0; i < count; ++i)
        put(bytes[i]);
    put(0x100u - (sum & 0xFFu));
    return line + "\r\n";
}

// A folder holding a firmware file that fills the whole flash, made current
// for the benchmark's life.
class FirmwareFolder {
public:
    FirmwareFolder()
    {
        char cwd[PATH_MAX];
        if (!getcwd(cwd, sizeof cwd))
            throw std::runtime_error("getcwd");
        previous_ = cwd;
        std::string pattern = (std::filesystem::temp_directory_path() / "kpx-bench-XXXXXX").string();
        if (!mkdtemp(pattern.data()) || chdir(pattern.c_str()) != 0)
            throw std::runtime_error("temporary folder");
        path_ = pattern;

        std::mt19937 random(517);
        std::vector<uint8_t> image(flashBytes);
        for (uint8_t& byte : image)
            byte = static_cast<uint8_t>(random());
        std::ofstream out("KPXUpdate517.hex", std::ios::binary);
        for (uint32_t address = 0; address < flashBytes; address += 16) {
            if (address % 0x10000 == 0) {
                const uint8_t segment[2] = {static_cast<uint8_t>(address >> 12), 0};
                out << hexRecord(2, 0, segment, 2);
            }
            out << hexRecord(0, address & 0xFFFFu, &image[address], 16);
        }
        out << hexRecord(1, 0, nullptr, 0);
    }
    ~FirmwareFolder()
    {
        if (chdir(previous_.c_str()) != 0)
            std::perror("chdir");
        std::error_code ignored;
        std::filesystem::remove_all(path_, ignored);
    }
    FirmwareFolder(const FirmwareFolder&) = delete;
    FirmwareFolder& operator=(const FirmwareFolder&) = delete;

private:
    std::string previous_;
    std::string path_;
};

// One complete update; false unless it reached "Update Complete!".
bool runUpdate()
{
    AgreeingOperator backend;
    tk::TApplication application(backend);
    auto device = std::make_unique<sim::Atmega128>();
    TfrmUpdate& form = application.CreateForm<TfrmUpdate>(std::make_unique<sim::SimComPort>(*device));
    form.lboxComPort.Select(0);
    form.btnUpdate.Click();
    return form.lblProgress.GetText() == TfrmUpdate::statusComplete;
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
