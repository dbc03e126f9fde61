// The engine binding: loading on first use, the call contract, the
// missing-engine path, and the window registry the engine reaches through it.
#include "help/Kyhhint.h"
#include "tests/help/HelpTestSupport.h"

#include <gtest/gtest.h>

#include <tuple>

namespace {

using BindingTest = help_test::HelpTest;

// Records what the binding asks of the loader, then lets the system do it.
class CountingLoader final : public platform::Loader {
public:
    std::vector<std::string> loads;
    int entryPointLookups = 0;

    platform::HMODULE load(const std::string& path) override
    {
        loads.push_back(path);
        return platform::systemLoader().load(path);
    }
    platform::FARPROC symbol(platform::HMODULE module, const std::string& name) override
    {
        if (name == kKpxHelpEntryPointName)
            ++entryPointLookups;
        return platform::systemLoader().symbol(module, name);
    }
    bool free(platform::HMODULE module) override { return platform::systemLoader().free(module); }
};

TEST_F(BindingTest, TheEngineIsLoadedOnFirstUseAndGetsEveryArgumentAsGiven)
{
    CountingLoader loader;
    platform::ScopedLoader use(loader);
    engine.answer = 0x4242;
    const std::string topic = "intro.htm";
    EXPECT_EQ(HtmlHelp(0x777, "a.chm>main", HH_DISPLAY_TOPIC, reinterpret_cast<intptr_t>(topic.c_str())), 0x4242);
    EXPECT_EQ(HtmlHelp(0x778, "", HH_HELP_CONTEXT, -5), 0x4242);

    EXPECT_EQ(loader.loads, std::vector<std::string>{KPX_RECORDING_ENGINE});
    EXPECT_EQ(loader.entryPointLookups, 1);
    EXPECT_EQ(engine.attachCount, 1);
    ASSERT_EQ(engine.calls.size(), 2u);
    const RecordedHelpCall &first = engine.calls[0], &second = engine.calls[1];
    EXPECT_EQ(std::tie(first.caller, first.file, first.text), std::tuple(0x777, "a.chm>main", "intro.htm"));
    EXPECT_FALSE(second.fileWasNull) << "an empty specification is an empty string, never null";
    EXPECT_EQ(std::tuple(second.caller, second.file, static_cast<intptr_t>(second.data)), std::tuple(0x778, "", -5));

    // The engine names its windows and notifies ours through the host table.
    const KpxHelpHost* host = engine.host;
    ASSERT_NE(host, nullptr);
    int widget = 0;
    const platform::HWND viewer = host->registerWindow(&widget, kKpxHelpViewerClass);
    EXPECT_EQ(platform::FindWindowA(kKpxHelpViewerClass, nullptr), viewer);
    EXPECT_EQ(host->widgetOf(viewer), &widget);
    host->unregisterWindow(viewer);
    EXPECT_EQ(host->isWindow(viewer), 0);
    const platform::HWND caller = window("TestCaller", [](platform::HWND, uint32_t msg, platform::WPARAM,
                                                          platform::LPARAM) { return platform::LRESULT{msg}; });
    EXPECT_EQ(host->sendMessage(caller, platform::WM_NOTIFY, 0, 0), platform::WM_NOTIFY);
}

// Our engine beside the program; Windows asks for its system's engine by
// name, which tests/win/HelpOnWindowsTests.cpp covers.
#ifndef _WIN32
TEST_F(BindingTest, AMissingEngineBeepsAndOffersTheDownloadUntilAcceptedAndIsFoundOnceInstalled)
{
    SetHtmlHelpLibrary({}); // the usual places: beside the program first
    tk::setProgramPath((folder / "kpx-updater").string());
    SetHtmlHelpApplication(&app);
    CountingLoader loader;
    platform::ScopedLoader use(loader);
    EXPECT_EQ(HtmlHelp(0, "", HH_CLOSE_ALL, 0), 0) << "nothing can be open";
    EXPECT_TRUE(loader.loads.empty());

    const std::string offer = "Unable to load \"HHCtrl.ocx\" library !!!\r\n"
                              "Press OK Button to download and install the latest version\r\n"
                              "of the HTML Help Workshop from the Microsoft Web Site.";
    op.expectBox(offer, "Error", tk::MB_OKCANCEL | tk::MB_ICONERROR, tk::IDCANCEL, 2)
        .expectBox(offer, "Error", tk::MB_OKCANCEL | tk::MB_ICONERROR, tk::IDOK);
    desktop.shellSucceeds = false; // not ours to judge: the offer counts as accepted
    const std::vector<int> boxesAfter = {1, 2, 3, 3, 3};
    for (size_t i = 0; i < boxesAfter.size(); ++i) {
        EXPECT_EQ(HtmlHelp(0, "a.chm", HH_DISPLAY_TOC, 0), -1);
        EXPECT_EQ(op.shown().size(), static_cast<size_t>(boxesAfter[i])) << i;
        EXPECT_EQ(desktop.beeps, std::vector<platform::FakeDesktop::BeepCall>(i + 1, {1000, 100}));
    }
    EXPECT_EQ(desktop.opened, std::vector<std::string>{HtmlHelpDownloadUrl});

    std::filesystem::copy_file(KPX_RECORDING_ENGINE, folder / kKpxHelpEngineFileName);
    EXPECT_EQ(HtmlHelp(0, "a.chm", HH_DISPLAY_TOC, 0), 0x5150);
    tk::setProgramPath({});
    EXPECT_EQ(loader.loads.back(), (folder / kKpxHelpEngineFileName).string());
}
#endif

TEST(WindowRegistry, WindowsAreFoundByClassOrNameAndGoneForGoodAndTheDesktopIsNeverSubclassed)
{
    using namespace platform;
    const HWND viewer = RegisterWindow("TestViewer", "Main", nullptr, nullptr);
    EXPECT_EQ(FindWindowA("TestViewer", nullptr), viewer);
    EXPECT_EQ(FindWindowA(nullptr, "Main"), viewer);
    UnregisterWindow(viewer);
    const HWND later = RegisterWindow("TestViewer", "Main", nullptr, nullptr);
    EXPECT_FALSE(IsWindow(viewer));
    EXPECT_NE(later, viewer) << "handles are never reused";
    UnregisterWindow(later);

    const WNDPROC proc = [](HWND, uint32_t, WPARAM, LPARAM) { return LRESULT{1}; };
    EXPECT_TRUE(IsWindow(GetDesktopWindow()));
    EXPECT_EQ(SetWindowLongA(GetDesktopWindow(), GWL_WNDPROC, procToLong(proc)), 0) << "never subclassed";
    EXPECT_EQ(SendMessageA(GetDesktopWindow(), 1, 0, 0), 0);
}

} // namespace
