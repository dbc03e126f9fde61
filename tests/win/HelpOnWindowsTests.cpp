// Help on Windows: the binding asks the system for its engine by name, and
// the system's engine (Wine's hhctrl.ocx here) shows and closes the manual.
#include "help/Kyhhint.h"
#include "platform/win/Win32.h"
#include "tests/help/HelpTestSupport.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

namespace {

using BindingOnWindows = help_test::HelpTest;

// The system's loader, except that the engine is missing until installed,
// and then is the recording engine.
class EngineInstaller final : public platform::Loader {
public:
    std::vector<std::string> loads;
    std::vector<std::string> lookups;
    bool installed = false;

    platform::HMODULE load(const std::string& path) override
    {
        loads.push_back(path);
        return installed ? platform::systemLoader().load(KPX_RECORDING_ENGINE) : nullptr;
    }
    platform::FARPROC symbol(platform::HMODULE module, const std::string& name) override
    {
        lookups.push_back(name);
        return platform::systemLoader().symbol(module, name);
    }
    bool free(platform::HMODULE module) override { return platform::systemLoader().free(module); }
};

// The offer while the engine is missing is the binding's own, tested with
// the binding; here, what Windows adds: the system's engine by name alone,
// never from a folder, and its ANSI entry point.
TEST_F(BindingOnWindows, TheEngineIsTheSystemsAskedForByNameAndFoundOnceInstalled)
{
    SetHtmlHelpLibrary({});
    SetHtmlHelpApplication(&app);
    EngineInstaller loader;
    platform::ScopedLoader use(loader);
    op.expectBox("Unable to load \"HHCtrl.ocx\" library !!!\r\nPress OK Button to download and install the latest "
                 "version\r\nof the HTML Help Workshop from the Microsoft Web Site.",
                 "Error", tk::MB_OKCANCEL | tk::MB_ICONERROR, tk::IDCANCEL);
    EXPECT_EQ(HtmlHelp(0, "a.chm", HH_DISPLAY_TOC, 0), -1);
    loader.installed = true;
    EXPECT_EQ(HtmlHelp(0, "a.chm", HH_DISPLAY_TOC, 0), 0x5150) << "found by the next request";
    EXPECT_EQ(loader.loads, std::vector<std::string>(2, "HHCtrl.ocx")) << "by name alone, no folder";
    EXPECT_EQ(loader.lookups.front(), "HtmlHelpA");
}

// The top-level windows of this process that are shown, by caption, once
// the engine's windows have done their work for a while.
std::vector<std::string> shownWindows()
{
    for (int round = 0; round < 20; ++round) {
        MSG message;
        while (::PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) {
            ::TranslateMessage(&message);
            ::DispatchMessageA(&message);
        }
        ::Sleep(10);
    }
    std::vector<std::string> captions;
    ::EnumWindows(
        [](::HWND window, LPARAM found) -> BOOL {
            DWORD owner = 0;
            ::GetWindowThreadProcessId(window, &owner);
            char caption[256] = {};
            if (owner == ::GetCurrentProcessId() && ::IsWindowVisible(window) &&
                ::GetWindowTextA(window, caption, sizeof caption) > 0)
                reinterpret_cast<std::vector<std::string>*>(found)->push_back(caption);
            return TRUE;
        },
        reinterpret_cast<LPARAM>(&captions));
    return captions;
}

TEST(SystemHelpEngine, HelpFileOpensTheManualInTheSystemsViewerAndQuittingHelpClosesIt)
{
    SetHtmlHelpLibrary({});
    testing_support::ScriptedOperator op;
    tk::TApplication app(op);
    const tk::FormDescription description{"frmUpdate", "QMainWindow", "", 0, 0, 0, 0, "single", {}, "", {}, "", {}, {}};
    tk::TForm& form = app.CreateForm<tk::TForm>(description);
    auto socket = std::make_unique<TkyAppHelpSocket>(form);
    app.HelpFile = std::filesystem::absolute(KPX_TEST_CHM).string();
    ASSERT_TRUE(std::filesystem::exists(app.HelpFile));

    // As the Help File command asks for it.
    EXPECT_TRUE(app.HelpJump("TApplication_HelpJump"));
    const std::vector<std::string> open = shownWindows();
    EXPECT_NE(std::find(open.begin(), open.end(), "M740-RT Updater Help"), open.end())
        << "shown: " << testing::PrintToString(open);

    // As the program's end asks for it.
    app.HelpCommand(tk::HELP_QUIT, 0);
    const std::vector<std::string> left = shownWindows();
    EXPECT_TRUE(left.empty()) << testing::PrintToString(left);
    socket.reset();
    SetHtmlHelpApplication(nullptr);
}

} // namespace
