// Full-text search of a 3000-topic help file (compiled with chmcmd at build
// time): the first search a reader makes, which opens the file's stored
// index, must answer at once; our own index, built on a worker thread only
// when the stored one cannot answer, is measured for comparison.
#include "helpviewer/chm/ChmFile.h"
#include "helpviewer/chm/Search.h"

#include <benchmark/benchmark.h>

#include <cstdlib>
#include <memory>

namespace {

std::unique_ptr<chm::ChmFile> openLarge()
{
    std::string error;
    auto file = chm::ChmFile::open(KPX_HELP_BENCH_FILE, error);
    if (!file)
        std::abort();
    return file;
}

// Opening the file, reading its stored index, and the search itself.
void BM_HelpFirstSearchLargeFile(benchmark::State& state)
{
    for (auto _ : state) {
        const auto file = openLarge();
        const auto index = chm::StoredIndex::open(*file);
        if (!index)
            std::abort();
        auto result = chm::search(*index, "\"serial port\" alpha12*", file->folding(), false);
        benchmark::DoNotOptimize(result);
    }
}
BENCHMARK(BM_HelpFirstSearchLargeFile)->Unit(benchmark::kMillisecond);

// Later searches on the open index, a common word: 3000 topics to rank.
void BM_HelpSearchLargeFileCommonWord(benchmark::State& state)
{
    const auto file = openLarge();
    const auto index = chm::StoredIndex::open(*file);
    for (auto _ : state) {
        auto result = chm::search(*index, "serial OR cable", file->folding(), false);
        benchmark::DoNotOptimize(result);
    }
}
BENCHMARK(BM_HelpSearchLargeFileCommonWord)->Unit(benchmark::kMillisecond);

// Our own index of all 3000 topics: what the worker thread spends.
void BM_HelpOwnIndexLargeFile(benchmark::State& state)
{
    const auto file = openLarge();
    for (auto _ : state) {
        auto index = chm::OwnIndex::build(*file);
        benchmark::DoNotOptimize(index);
    }
}
BENCHMARK(BM_HelpOwnIndexLargeFile)->Unit(benchmark::kMillisecond);

} // namespace
