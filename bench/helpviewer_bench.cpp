// The help viewer on a large real help file that this project did not write:
// the Lazarus component library reference that Debian's lazarus-doc-2.2
// ships (16 MB, about 20,000 topics, 3,193 contents entries and 46,078 index
// entries). The plugin is loaded and driven through HtmlHelpA, as the help
// binding does.
//
// BM_HelpViewerOpenLargeFile: from the request to the first painted topic,
// contents and index ready; process CPU time, so work handed to other
// threads counts too. The file is released (HH_CLOSE_ALL) between
// iterations, so each one opens it anew. Its counters first_peak_rss_MB and
// peak_rss_MB are the process's peak resident memory after the first
// opening and after all; run the benchmark alone for figures of the
// viewer's own (--benchmark_filter=HelpViewerOpen).
//
// BM_HelpViewerFirstSearchLargeFile/<ms>: the first search of an open file,
// made <ms> after its window was painted, from the request until the results
// are listed (wall time; process CPU time beside it). At 0 the search opens
// the file's stored index itself; from half a second on the viewer has
// opened it meanwhile.
//
// Built only with the GUI (KPX_HELPVIEWER_BENCH, from bench/CMakeLists.txt).
#ifdef KPX_HELPVIEWER_BENCH

#include "help/EngineHost.h"
#include "help/HtmlHelpApi.h"

#include <QAbstractItemView>
#include <QApplication>
#include <QLineEdit>
#include <QPixmap>
#include <QTextBrowser>
#include <QTimer>

#include <benchmark/benchmark.h>

#include <dlfcn.h>
#include <sys/resource.h>

#include <filesystem>
#include <map>

namespace {

struct BenchHost {
    static inline std::map<platform::HWND, QWidget*> windows;
    static inline platform::HWND next = 100;
    static platform::LRESULT sendMessage(platform::HWND, uint32_t, platform::WPARAM, platform::LPARAM) { return 0; }
    static platform::HWND registerWindow(void* widget, const char*)
    {
        windows[++next] = static_cast<QWidget*>(widget);
        return next;
    }
    static void unregisterWindow(platform::HWND h) { windows.erase(h); }
    static int isWindow(platform::HWND h) { return windows.count(h) ? 1 : 0; }
    static void* widgetOf(platform::HWND h) { return windows.count(h) ? windows[h] : nullptr; }
    static constexpr KpxHelpHost record{sizeof(KpxHelpHost), sendMessage, registerWindow, unregisterWindow, isWindow,
                                        widgetOf};
};

THtmlHelp viewer()
{
    static THtmlHelp entry = [] {
        static int argc = 1;
        static char name[] = "helpviewer_bench";
        static char* argv[] = {name, nullptr};
        if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
            qputenv("QT_QPA_PLATFORM", "offscreen");
        if (!QApplication::instance())
            new QApplication(argc, argv);
        void* lib = dlopen(KPX_HELPVIEWER_PLUGIN, RTLD_NOW | RTLD_LOCAL);
        if (!lib)
            return THtmlHelp{};
        reinterpret_cast<KpxHelpEngineAttachFn>(dlsym(lib, kKpxHelpAttachName))(&BenchHost::record);
        return reinterpret_cast<THtmlHelp>(dlsym(lib, kKpxHelpEntryPointName));
    }();
    return entry;
}

bool haveLargeFile(benchmark::State& state)
{
    if (!std::filesystem::exists(KPX_HELP_BENCH_REAL_FILE)) {
        state.SkipWithError(KPX_HELP_BENCH_REAL_FILE " is not installed (scripts/setup installs lazarus-doc-2.2)");
        return false;
    }
    if (!viewer()) {
        state.SkipWithError("the viewer plugin cannot be loaded");
        return false;
    }
    return true;
}

template <class T>
T* part(platform::HWND window, const char* name)
{
    return BenchHost::windows.count(window) ? BenchHost::windows[window]->findChild<T*>(QLatin1String(name)) : nullptr;
}

void closeAll()
{
    viewer()(0, "", HH_CLOSE_ALL, 0);
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    QCoreApplication::processEvents();
}

double peakRssMegabytes()
{
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return static_cast<double>(usage.ru_maxrss) / 1024.0;
}

void BM_HelpViewerOpenLargeFile(benchmark::State& state)
{
    if (!haveLargeFile(state))
        return;
    for (auto _ : state) {
        const platform::HWND h = viewer()(0, KPX_HELP_BENCH_REAL_FILE, HH_DISPLAY_TOC, 0);
        auto* topic = part<QTextBrowser>(h, "topic");
        auto* contents = part<QAbstractItemView>(h, "contents");
        auto* index = part<QAbstractItemView>(h, "index");
        if (!topic || !contents || !index || !contents->model() || contents->model()->rowCount() == 0) {
            state.SkipWithError("the viewer showed no contents");
            break;
        }
        // What the reader sees first: the window painted, topic and contents.
        benchmark::DoNotOptimize(BenchHost::windows[h]->grab());
        state.PauseTiming();
        if (!state.counters.count("first_peak_rss_MB"))
            state.counters["first_peak_rss_MB"] = peakRssMegabytes();
        closeAll();
        state.ResumeTiming();
    }
    state.counters["peak_rss_MB"] = peakRssMegabytes();
}
BENCHMARK(BM_HelpViewerOpenLargeFile)->Unit(benchmark::kMillisecond)->MeasureProcessCPUTime()->Iterations(5);

void BM_HelpViewerFirstSearchLargeFile(benchmark::State& state)
{
    if (!haveLargeFile(state))
        return;
    for (auto _ : state) {
        state.PauseTiming();
        const platform::HWND h = viewer()(0, KPX_HELP_BENCH_REAL_FILE, HH_DISPLAY_TOC, 0);
        auto* results = part<QAbstractItemView>(h, "searchResults");
        // The window as the reader sees it before searching: painted, and
        // shown for as long as the argument says (the viewer prepares its
        // search meanwhile, from half a second on).
        if (BenchHost::windows.count(h))
            benchmark::DoNotOptimize(BenchHost::windows[h]->grab());
        QCoreApplication::processEvents();
        QTimer shown;
        shown.setSingleShot(true);
        shown.start(static_cast<int>(state.range(0)));
        while (shown.isActive())
            QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
        state.ResumeTiming();
        HH_FTS_QUERY query{static_cast<int32_t>(sizeof(HH_FTS_QUERY)), 0, "TBitmap", -1, 0, 0, 1, nullptr};
        viewer()(0, KPX_HELP_BENCH_REAL_FILE, HH_DISPLAY_SEARCH, reinterpret_cast<uintptr_t>(&query));
        // Waits for the worker's answer without spinning, which would count.
        QTimer limit;
        limit.setSingleShot(true);
        limit.start(30000);
        while (results && results->model()->rowCount() < 2 && limit.isActive())
            QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
        if (!results || results->model()->rowCount() < 2) {
            state.SkipWithError("the search listed nothing");
            break;
        }
        state.PauseTiming();
        closeAll();
        state.ResumeTiming();
    }
}
BENCHMARK(BM_HelpViewerFirstSearchLargeFile)
    ->Arg(0)
    ->Arg(1000)
    ->Unit(benchmark::kMillisecond)
    ->MeasureProcessCPUTime()
    ->UseRealTime()
    ->Iterations(5);

} // namespace

#endif // KPX_HELPVIEWER_BENCH
