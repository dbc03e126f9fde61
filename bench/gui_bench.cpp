// What the window costs the update and what the update costs the window.
//
// The update lets pending window messages run after every byte it programs
// or verifies. BM_ProcessMessages_IdleWindow is that cost with nothing
// pending, to set beside BM_LinkByte_Simulated, one byte clocked over the
// modem lines to the simulated instrument (virtual clock: CPU cost only), and
// BM_ProgramByte_WithMessages, one page-load instruction plus the message
// run, the programming loop's step.
//
// BM_AnswerTime measures, during a simulated update in the window, how long
// an operator's click on a label (posted mouse press and release) or a
// repaint request waits until the window handles it, in the programming and
// in the verification phase. Each iteration is one measured answer (manual
// time).
//
// Built only with the GUI: the bench target gets Qt and the forms from
// app/gui/CMakeLists.txt, which also defines KPX_GUI_BENCH.
#ifdef KPX_GUI_BENCH

#include "app/UI.h"
#include "app/gui/Windows.h"
#include "dialogs/about.h"
#include "dialogs/download.h"
#include "image/sample/SampleFirmware.h"
#include "link/Pgmcomm.h"
#include "platform/VirtualClock.h"
#include "sim/Atmega128.h"
#include "sim/SimComPort.h"
#include "toolkit/qt/QtBackend.h"

#include <QApplication>
#include <QLabel>
#include <QMouseEvent>
#include <QProgressBar>
#include <QPushButton>
#include <QTimer>

#include <benchmark/benchmark.h>

#include <chrono>
#include <climits>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <unistd.h>

namespace {

using Clock = std::chrono::steady_clock;

void ensureApplication()
{
    static int argc = 1;
    static char name[] = "gui_bench";
    static char* argv[] = {name, nullptr};
    static QApplication* application = [] {
        if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
            qputenv("QT_QPA_PLATFORM", "offscreen");
        return new QApplication(argc, argv);
    }();
    (void)application;
}

// The tool as it runs: the three windows bound to their forms, the port
// wired to the simulated instrument, every wait on a virtual clock, and the
// sample firmware in the current folder.
class Tool {
public:
    Tool()
    {
        ensureApplication();
        std::string pattern = (std::filesystem::temp_directory_path() / "gui-bench-XXXXXX").string();
        if (mkdtemp(pattern.data()) == nullptr)
            std::abort();
        folder_ = pattern;
        char previous[PATH_MAX];
        if (getcwd(previous, sizeof previous) == nullptr)
            std::abort();
        previous_ = previous;
        std::ofstream(folder_ / "KPXUpdate517.hex", std::ios::binary)
            << sample_firmware::toIntelHex(sample_firmware::buildImage());
        if (chdir(folder_.c_str()) != 0)
            std::abort();

        auto simPort = std::make_unique<sim::SimComPort>(device);
        port = simPort.get();
        form = &application.CreateForm<TfrmUpdate>(std::move(simPort));
        gui::attach(backend, *form);
        gui::attach(backend, application.CreateForm<TAboutBox>());
        gui::attach(backend, application.CreateForm<TPagesDlg>());
        form->Show();
        QCoreApplication::processEvents();
        // Every box is answered "go on" at once.
        backend.setModalHook([](const tkqt::ModalRequest& request) -> std::optional<int> {
            return request.kind == tkqt::ModalRequest::Kind::MessageDlg ? tk::mrCancel : tk::IDOK;
        });
        form->lboxComPort.Select(0);
    }

    ~Tool()
    {
        application.DestroyForms();
        if (chdir(previous_.c_str()) != 0)
            std::abort();
        std::filesystem::remove_all(folder_);
    }

    Tool(const Tool&) = delete;
    Tool& operator=(const Tool&) = delete;

    template <typename Widget>
    Widget& widget(const char* name) const
    {
        return *backend.window(*form)->findChild<Widget*>(name);
    }

    platform::VirtualClock clock;
    platform::ScopedClock scoped{clock};
    sim::Atmega128 device;
    tkqt::QtBackend backend;
    tk::TApplication application{backend};
    TfrmUpdate* form = nullptr;
    sim::SimComPort* port = nullptr;

private:
    std::filesystem::path folder_;
    std::filesystem::path previous_;
};

void BM_ProcessMessages_IdleWindow(benchmark::State& state)
{
    Tool tool;
    for (auto _ : state)
        tool.application.ProcessMessages();
}
BENCHMARK(BM_ProcessMessages_IdleWindow);

void BM_LinkByte_Simulated(benchmark::State& state)
{
    Tool tool;
    pgmComm& link = *tool.form->pgm;
    uint8_t value = 0;
    for (auto _ : state)
        benchmark::DoNotOptimize(link.transferByte(value++));
}
BENCHMARK(BM_LinkByte_Simulated);

void BM_ProgramByte_WithMessages(benchmark::State& state)
{
    Tool tool;
    pgmComm& link = *tool.form->pgm;
    link.programEnable();
    uint32_t address = 0;
    for (auto _ : state) {
        link.loadPageByte(address & 0xFF, static_cast<uint8_t>(address));
        tool.application.ProcessMessages();
        ++address;
    }
}
BENCHMARK(BM_ProgramByte_WithMessages);

// Receives the probe and notes when it was handled.
class ProbeWatch : public QObject {
public:
    ProbeWatch(QWidget& target, QEvent::Type handled)
        : target_(target)
        , handled_(handled)
    {
        target_.installEventFilter(this);
    }
    ~ProbeWatch() override { target_.removeEventFilter(this); }
    ProbeWatch(const ProbeWatch&) = delete;
    ProbeWatch& operator=(const ProbeWatch&) = delete;

    bool waiting = false;
    Clock::time_point posted;
    std::vector<double> answers; // seconds

protected:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (watched == &target_ && waiting && event->type() == handled_) {
            answers.push_back(std::chrono::duration<double>(Clock::now() - posted).count());
            waiting = false;
        }
        return false;
    }

private:
    QWidget& target_;
    QEvent::Type handled_;
};

enum class Probe { Click, Repaint };

// Runs an update in the window and, while the status line shows phase,
// sends one probe at a time, the next once the last was answered, until
// `wanted` answers are in; then stops the update.
std::vector<double> answerTimes(const char* phase, Probe probe, size_t wanted)
{
    Tool tool;
    QWidget& target = probe == Probe::Click ? static_cast<QWidget&>(tool.widget<QLabel>("lblText"))
                                            : static_cast<QWidget&>(tool.widget<QProgressBar>("ProgressBar"));
    ProbeWatch watch(target, probe == Probe::Click ? QEvent::MouseButtonRelease : QEvent::Paint);
    QTimer sender;
    sender.setInterval(0);
    QObject::connect(&sender, &QTimer::timeout, [&] {
        if (tool.widget<QLabel>("lblProgress").text() != QLatin1String(phase) || watch.waiting)
            return;
        if (watch.answers.size() >= wanted) {
            // The update stops at its next byte.
            tool.form->abortFlag = true;
            sender.stop();
            return;
        }
        watch.waiting = true;
        watch.posted = Clock::now();
        if (probe == Probe::Click) {
            const QPointF at(2, 2);
            QCoreApplication::postEvent(&target, new QMouseEvent(QEvent::MouseButtonPress, at, target.mapToGlobal(at),
                                                                  Qt::LeftButton, Qt::LeftButton, Qt::NoModifier));
            QCoreApplication::postEvent(&target, new QMouseEvent(QEvent::MouseButtonRelease, at,
                                                                  target.mapToGlobal(at), Qt::LeftButton,
                                                                  Qt::NoButton, Qt::NoModifier));
        } else {
            target.update();
        }
    });
    sender.start();
    tool.widget<QPushButton>("btnUpdate").click();
    return watch.answers;
}

void BM_AnswerTime(benchmark::State& state, const char* phase, Probe probe)
{
    const size_t wanted = static_cast<size_t>(state.max_iterations);
    const std::vector<double> answers = answerTimes(phase, probe, wanted);
    if (answers.empty()) {
        state.SkipWithError("no answer measured");
        return;
    }
    double longest = 0;
    size_t next = 0;
    for (auto _ : state) {
        const double answer = answers[next++ % answers.size()];
        longest = std::max(longest, answer);
        state.SetIterationTime(answer);
    }
    state.counters["longest_us"] = longest * 1e6;
}
BENCHMARK_CAPTURE(BM_AnswerTime, click_programming, "Programming Flash", Probe::Click)
    ->UseManualTime()
    ->Iterations(2000)
    ->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(BM_AnswerTime, repaint_programming, "Programming Flash", Probe::Repaint)
    ->UseManualTime()
    ->Iterations(2000)
    ->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(BM_AnswerTime, click_verifying, "Verifying Flash", Probe::Click)
    ->UseManualTime()
    ->Iterations(2000)
    ->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(BM_AnswerTime, repaint_verifying, "Verifying Flash", Probe::Repaint)
    ->UseManualTime()
    ->Iterations(2000)
    ->Unit(benchmark::kMicrosecond);

} // namespace

#endif // KPX_GUI_BENCH
