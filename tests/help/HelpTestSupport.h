// Shared by the help tests: the recording engine's state, and a fixture with
// an application, a scripted operator and a fake desktop, with the binding
// pointed at the recording engine.
#pragma once

#include "help/Hhpack.h"
#include "platform/FakeDesktop.h"
#include "platform/Library.h"
#include "platform/Window.h"
#include "tests/help/RecordingEngine.h"
#include "tests/support/ScriptedOperator.h"
#include "tests/support/TempFolder.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

namespace help_test {

// Reached through a handle of our own, so the engine and its record stay
// loaded whatever the binding loads and releases.
inline RecordingEngine& recording()
{
    static RecordingEngine* const engine = [] {
        platform::Loader& loader = platform::systemLoader();
        const platform::HMODULE module = loader.load(KPX_RECORDING_ENGINE);
        const platform::FARPROC entry = module ? loader.symbol(module, "recordingEngine") : nullptr;
        if (!entry)
            throw std::runtime_error("no recording engine in " KPX_RECORDING_ENGINE);
        return platform::procAs<RecordingEngineFn>(entry)();
    }();
    return *engine;
}

class HelpTest : public ::testing::Test {
protected:
    HelpTest()
    {
        SetHtmlHelpLibrary(KPX_RECORDING_ENGINE);
        DownloadOffered = false;
        engine = RecordingEngine{};
        app.HelpFile = "x.chm";
    }
    ~HelpTest() override
    {
        socket.reset();
        for (const platform::HWND window : windows)
            platform::UnregisterWindow(window);
        SetHtmlHelpLibrary({});
        SetHtmlHelpApplication(nullptr);
        std::filesystem::remove_all(folder);
    }

    // With the engine loaded, as after the first help window, so that
    // closing reaches it.
    void makeSocket()
    {
        socket = std::make_unique<TkyAppHelpSocket>(form);
        HtmlHelp(0, "", HH_DISPLAY_TOC, 0);
        engine.calls.clear();
    }
    bool help(uint16_t command, intptr_t data)
    {
        bool callHelp = true;
        return socket->HelpHook(command, data, callHelp);
    }
    platform::HWND window(const char* className, platform::WNDPROC proc = nullptr)
    {
        return windows.emplace_back(platform::RegisterWindow(className, "", proc, nullptr));
    }
    std::vector<uint32_t> commands() const
    {
        std::vector<uint32_t> result;
        for (const RecordedHelpCall& call : engine.calls)
            result.push_back(call.command);
        return result;
    }
    // The calls that show something: the window-type calls left out.
    std::vector<RecordedHelpCall> shown() const
    {
        std::vector<RecordedHelpCall> result;
        for (const RecordedHelpCall& call : engine.calls)
            if (call.command != HH_GET_WIN_TYPE && call.command != HH_SET_WIN_TYPE)
                result.push_back(call);
        return result;
    }

    RecordingEngine& engine = recording();
    testing_support::ScriptedOperator op;
    tk::TApplication app{op};
    // A bare main form: the socket needs only a window to live on.
    tk::FormDescription description{"frmMain", "QMainWindow", "", 0, 0, 0, 0, "single", {}, "", {}, "", {}, {}};
    tk::TForm& form = app.CreateForm<tk::TForm>(description);
    platform::FakeDesktop desktop;
    platform::ScopedDesktop useDesktop{desktop};
    std::filesystem::path folder = testing_support::makeTempFolder("kpx_help_");
    std::vector<platform::HWND> windows;
    std::unique_ptr<TkyAppHelpSocket> socket;
};

} // namespace help_test
