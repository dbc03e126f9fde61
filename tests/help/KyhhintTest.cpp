// The engine binding: loading on first use, the call contract, and the
// missing-engine path with its beep and download offer.
#include "help/Kyhhint.h"
#include "platform/Window.h"
#include "tests/help/HelpTestSupport.h"

#include <gtest/gtest.h>

namespace {

using help_test::CountingLoader;
using help_test::HelpFixture;

const std::string kOfferText = "Unable to load \"HHCtrl.ocx\" library !!!\r\n"
                               "Press OK Button to download and install the latest version\r\n"
                               "of the HTML Help Workshop from the Microsoft Web Site.";

class KyhhintTest : public HelpFixture {
protected:
    void useMissingEngine() { SetHtmlHelpLibrary((folder / "libkpxhtmlhelp.so").string()); }
};

TEST_F(KyhhintTest, LoadsOnceOnFirstUseAndPassesEveryArgumentThrough)
{
    CountingLoader loader;
    platform::ScopedLoader use(loader);
    engine.setAnswer(0x4242);

    const std::string topic = "intro.htm";
    EXPECT_EQ(HtmlHelp(0x777, "a.chm>main", HH_DISPLAY_TOPIC, reinterpret_cast<intptr_t>(topic.c_str())), 0x4242);
    EXPECT_EQ(HtmlHelp(0x778, "", HH_HELP_CONTEXT, -5), 0x4242);

    EXPECT_EQ(loader.loads, std::vector<std::string>{KPX_RECORDING_ENGINE});
    EXPECT_EQ(loader.lookups["HtmlHelpA"], 1);
    EXPECT_EQ(engine.attachCount(), 1) << "attached once, before the first call";
    EXPECT_NE(HHCtrlHandle, nullptr);
    EXPECT_NE(HtmlHelpProc, nullptr);

    ASSERT_EQ(engine.count(), 2);
    EXPECT_EQ(engine.call(0).caller, 0x777);
    EXPECT_EQ(engine.call(0).file, "a.chm>main");
    EXPECT_EQ(engine.call(0).text, "intro.htm");
    EXPECT_FALSE(engine.call(1).fileWasNull) << "an empty specification is an empty string, never null";
    EXPECT_EQ(engine.call(1).file, "");
    EXPECT_EQ(static_cast<intptr_t>(engine.call(1).data), -5);
    EXPECT_TRUE(desktop.beeps.empty());
}

TEST_F(KyhhintTest, TheEngineReachesOurWindowsThroughTheHostTable)
{
    HtmlHelp(0, "x.chm", HH_DISPLAY_TOC, 0);
    const KpxHelpHost* host = engine.host();
    ASSERT_NE(host, nullptr);
    EXPECT_EQ(host->size, sizeof(KpxHelpHost));

    int widget = 0;
    const platform::HWND viewer = host->registerWindow(&widget, kKpxHelpViewerClass);
    EXPECT_EQ(platform::FindWindowA(kKpxHelpViewerClass, nullptr), viewer);
    EXPECT_EQ(host->isWindow(viewer), 1);
    EXPECT_EQ(host->widgetOf(viewer), &widget);
    host->unregisterWindow(viewer);
    EXPECT_EQ(host->isWindow(viewer), 0);

    const platform::HWND caller = platform::RegisterWindow("TestCaller", "", [](platform::HWND, uint32_t msg,
                                                                                 platform::WPARAM, platform::LPARAM) {
        return static_cast<platform::LRESULT>(msg);
    }, nullptr);
    EXPECT_EQ(host->sendMessage(caller, platform::WM_NOTIFY, 0, 0), platform::WM_NOTIFY);
    platform::UnregisterWindow(caller);
}

TEST_F(KyhhintTest, MissingEngineCancelledTwiceBeepsAndAsksTwice)
{
    useMissingEngine();
    SetHtmlHelpApplication(&app);
    backend.boxAnswers = {tk::IDCANCEL, tk::IDCANCEL};

    EXPECT_EQ(HtmlHelp(0, "a.chm", HH_DISPLAY_TOC, 0), -1);
    EXPECT_EQ(HtmlHelp(0, "a.chm", HH_DISPLAY_TOC, 0), -1);

    EXPECT_EQ(desktop.beeps, (std::vector<platform::FakeDesktop::BeepCall>{{1000, 100}, {1000, 100}}));
    ASSERT_EQ(backend.boxes.size(), 2u);
    EXPECT_EQ(backend.boxes[0].text, kOfferText);
    EXPECT_EQ(backend.boxes[0].flags, tk::MB_OKCANCEL | tk::MB_ICONERROR);
    EXPECT_FALSE(DownloadOffered);
    EXPECT_TRUE(desktop.opened.empty());
    EXPECT_EQ(HHCtrlHandle, nullptr);
}

TEST_F(KyhhintTest, MissingEngineAcceptedOpensThePageOnceThenOnlyBeeps)
{
    useMissingEngine();
    SetHtmlHelpApplication(&app);
    desktop.shellSucceeds = false; // a failed open changes nothing

    for (int i = 0; i < 3; ++i)
        EXPECT_EQ(HtmlHelp(0, "a.chm", HH_DISPLAY_TOC, 0), -1);

    EXPECT_EQ(backend.boxes.size(), 1u);
    EXPECT_EQ(desktop.opened, std::vector<std::string>{HtmlHelpDownloadUrl});
    EXPECT_EQ(desktop.beeps.size(), 3u);
    EXPECT_TRUE(DownloadOffered);
}

TEST_F(KyhhintTest, ClosingWithoutALoadedEngineIsQuiet)
{
    useMissingEngine();
    SetHtmlHelpApplication(&app);
    CountingLoader loader;
    platform::ScopedLoader use(loader);
    EXPECT_EQ(HtmlHelp(0, "", HH_CLOSE_ALL, 0), 0);
    EXPECT_TRUE(loader.loads.empty());
    EXPECT_TRUE(desktop.beeps.empty());
    EXPECT_TRUE(backend.boxes.empty());
}

TEST_F(KyhhintTest, AnEngineInstalledWhileRunningIsPickedUpByTheNextCall)
{
    useMissingEngine();
    EXPECT_EQ(HtmlHelp(0, "a.chm", HH_DISPLAY_TOC, 0), -1);
    EXPECT_TRUE(backend.boxes.empty()) << "no application, no offer";

    std::filesystem::copy_file(KPX_RECORDING_ENGINE, folder / "libkpxhtmlhelp.so");
    EXPECT_EQ(HtmlHelp(0, "a.chm", HH_DISPLAY_TOC, 0), 0x5150);
    EXPECT_EQ(desktop.beeps.size(), 1u);
}

TEST_F(KyhhintTest, TheEngineIsLookedUpBesideTheProgram)
{
    SetHtmlHelpLibrary({});
    std::filesystem::copy_file(KPX_RECORDING_ENGINE, folder / "libkpxhtmlhelp.so");
    tk::setProgramPath((folder / "kpx-updater").string());
    CountingLoader loader;
    platform::ScopedLoader use(loader);

    EXPECT_EQ(HtmlHelp(0, "a.chm", HH_DISPLAY_TOC, 0), 0x5150);
    tk::setProgramPath({});
    ASSERT_FALSE(loader.loads.empty());
    EXPECT_EQ(loader.loads.front(), (folder / "libkpxhtmlhelp.so").string());
}

TEST_F(KyhhintTest, ALibraryWithoutTheEntryPointIsReleasedBeforeTheNextAttempt)
{
    SetHtmlHelpLibrary("libm.so.6");
    CountingLoader loader;
    platform::ScopedLoader use(loader);

    EXPECT_EQ(HtmlHelp(0, "a.chm", HH_DISPLAY_TOC, 0), -1);
    EXPECT_NE(HHCtrlHandle, nullptr) << "the last load result is kept";
    EXPECT_EQ(HtmlHelp(0, "a.chm", HH_DISPLAY_TOC, 0), -1);
    EXPECT_EQ(loader.loads.size(), 2u) << "loaded again on the next call";
    EXPECT_EQ(loader.frees, 1);
    EXPECT_EQ(loader.lookups["kpxHelpEngineAttach"], 0);
}

} // namespace
