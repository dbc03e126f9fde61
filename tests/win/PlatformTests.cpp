// The Windows implementations of the seams that the rest of the suites do
// not already run on Windows: where the program finds itself (and so its
// help file), where it looks for the firmware file, and the performance
// counter behind the link's delay.
#include "app/Firmware.h"
#include "app/console/ConsoleFrontEnd.h"
#include "link/Pgmcomm.h"
#include "platform/Process.h"
#include "platform/VirtualClock.h"
#include "platform/win/Win32.h"
#include "sim/Atmega128.h"
#include "sim/SimComPort.h"
#include "tests/support/TempFolder.h"
#include "toolkit/Application.h"

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

namespace {

TEST(WindowsPaths, TheProgramFindsItselfFromAnyFolderAndItsFolderEndsWithTheSeparator)
{
    struct Case {
        const char* path;
        const char* folder;
    };
    for (const Case& c : {Case{"C:\\Program Files\\KPX Updater\\kpx-updater.exe", "C:\\Program Files\\KPX Updater\\"},
                          Case{"\\\\server\\share\\kpx-updater.exe", "\\\\server\\share\\"},
                          Case{"C:kpx-updater.exe", "C:"}, Case{"Z:/work/bin/kpx-update.exe", "Z:/work/bin/"},
                          Case{"kpx-updater.exe", ""}})
        EXPECT_EQ(tk::ExtractFilePath(c.path), c.folder) << c.path;

    const std::filesystem::path before = std::filesystem::current_path();
    const std::filesystem::path elsewhere = testing_support::makeTempFolder("kpx-paths-");
    std::filesystem::current_path(elsewhere);
    const std::string program = tk::ParamStr(0);
    std::filesystem::current_path(before);
    std::filesystem::remove_all(elsewhere);

    char own[MAX_PATH * 4] = {};
    ASSERT_GT(::GetModuleFileNameA(nullptr, own, sizeof own), 0u);
    EXPECT_EQ(program, own);
    EXPECT_EQ(tk::ExtractFilePath(program) + "win_platform_tests.exe", program);
}

TEST(WindowsFirmwareFolders, TheFileIsLookedForInTheCurrentFolderThenBesideTheProgram)
{
    const std::filesystem::path before = std::filesystem::current_path();
    const std::filesystem::path here = testing_support::makeTempFolder("kpx-here-");
    const std::filesystem::path program = testing_support::makeTempFolder("kpx-program-");
    std::filesystem::current_path(here);
    tk::setProgramPath((program / "kpx-updater.exe").string());

    EXPECT_EQ(firmware::searchFolders(), (std::vector<std::string>{here.string(), program.string()}));
    const std::string name = "KPXUpdate517.hex";
    EXPECT_EQ(firmware::notice({}, name, 0x20000).text,
              "Firmware missing: " + name + " is not in " + here.string() + " or " + program.string());
    std::ofstream(program / name) << ":00000001FF\r\n";
    EXPECT_EQ(firmware::notice({}, name, 0x20000).text, "Firmware: " + (program / name).string());
    std::ofstream(here / name) << ":00000001FF\r\n";
    EXPECT_EQ(firmware::notice({}, name, 0x20000).text, "Firmware: " + (here / name).string()) << "the current first";

    // Started in its own folder (the Start menu's shortcut): one folder.
    std::filesystem::current_path(program);
    EXPECT_EQ(firmware::searchFolders(), std::vector<std::string>{program.string()});

    tk::setProgramPath({});
    std::filesystem::current_path(before);
    std::filesystem::remove_all(here);
    std::filesystem::remove_all(program);
}

// A microsecond of the counter, and a delay that spans it.
TEST(WindowsClock, TheLinksDelayIsCalibratedOnThePerformanceCounterAndSpansItsTicks)
{
    int64_t frequency = 0;
    ASSERT_TRUE(platform::QueryPerformanceFrequency(&frequency));
    sim::Atmega128 chip;
    sim::SimComPort port(chip);
    pgmComm link(port);
    EXPECT_TRUE(link.perfCounterOk);
    EXPECT_EQ(link.delayTicks, std::max<int64_t>(frequency / 1'000'000, 1));
    int64_t before = 0;
    int64_t after = 0;
    platform::QueryPerformanceCounter(&before);
    link.microDelay();
    platform::QueryPerformanceCounter(&after);
    EXPECT_GE(after - before, link.delayTicks);
}

// Ctrl+C reaches the console on a thread of the system's; the identification's
// wait under way still ends within a tenth of a second of it, on virtual
// time: it comes 1.2 s into the second wait.
TEST(WindowsStopRequests, CtrlCEndsTheDetectionWaitUnderWay)
{
    ::FreeConsole();
    ASSERT_TRUE(::AllocConsole());
    ::SetConsoleCtrlHandler(nullptr, FALSE);
    platform::VirtualClock clock{1'000'000, 1'000};
    platform::ScopedClock useClock(clock);
    bool sent = false;
    clock.onSleep = [&](uint32_t) {
        if (sent || clock.nowNs() < 4'200'000'000)
            return;
        sent = ::GenerateConsoleCtrlEvent(CTRL_C_EVENT, 0) != FALSE;
        // The request has come once the handler has run.
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
        while (!platform::StopRequests::requested() && std::chrono::steady_clock::now() < deadline)
            ::Sleep(1);
    };
    std::istringstream in("o\n");
    std::ostringstream out;
    const char* argv[] = {"kpx-update", "--simulate"};
    const int status = runConsole(2, const_cast<char**>(argv), in, out, out);
    ::FreeConsole();
    EXPECT_TRUE(sent);
    EXPECT_EQ(status, 130) << out.str();
    ASSERT_EQ(clock.sleeps().size(), 2u) << out.str();
    EXPECT_LE(clock.sleeps()[1], 1200u + 100u);
}

} // namespace
