// Shared by the help tests: an operator who answers boxes from a script, the
// recording engine's log, a loader that counts, and a fixture that puts them
// together with a fake desktop.
#pragma once

#include "help/Kyhhint.h"
#include "platform/FakeDesktop.h"
#include "platform/Library.h"
#include "tests/help/RecordingEngine.h"
#include "toolkit/Application.h"

#include <gtest/gtest.h>

#include <deque>
#include <dlfcn.h>
#include <filesystem>
#include <fstream>
#include <map>
#include <string>
#include <unistd.h>
#include <vector>

namespace help_test {

class ScriptedBackend final : public tk::Backend {
public:
    struct Box {
        std::string text;
        std::string caption;
        int flags;
    };
    struct Dialog {
        std::string text;
        tk::TMsgDlgType kind;
        tk::TMsgDlgButtons buttons;
    };

    std::vector<Box> boxes;
    std::vector<Dialog> dialogs;
    std::deque<int> boxAnswers;   // then IDOK
    std::deque<int> dialogAnswers; // then the first button offered

    int MessageBox(const std::string& text, const std::string& caption, int flags) override
    {
        boxes.push_back({text, caption, flags});
        return next(boxAnswers, tk::IDOK);
    }
    int MessageDlg(const std::string& text, tk::TMsgDlgType kind, tk::TMsgDlgButtons buttons, int,
                   std::optional<tk::ScreenPoint>) override
    {
        dialogs.push_back({text, kind, buttons});
        return next(dialogAnswers, (buttons & tk::mbOK) ? tk::mrOk : tk::mrCancel);
    }
    void ProcessMessages() override {}
    void ShowException(const std::string&) override {}
    void Run(tk::TApplication&) override {}
    void FormShown(tk::TForm&) override {}
    void FormHidden(tk::TForm&) override {}

private:
    static int next(std::deque<int>& answers, int otherwise)
    {
        if (answers.empty())
            return otherwise;
        const int answer = answers.front();
        answers.pop_front();
        return answer;
    }
};

// The recording engine's log, reached through its own handle so that it stays
// loaded (and keeps its log) whatever the binding loads and releases.
class EngineLog {
public:
    EngineLog()
        : module_(dlopen(KPX_RECORDING_ENGINE, RTLD_NOW | RTLD_LOCAL))
    {
        if (!module_)
            throw std::runtime_error(std::string("cannot load the recording engine: ") + dlerror());
        count_ = fn<RecEngineCallCountFn>("recEngineCallCount");
        call_ = fn<RecEngineCallFn>("recEngineCall");
        clear_ = fn<RecEngineClearFn>("recEngineClear");
        setAnswer_ = fn<RecEngineSetAnswerFn>("recEngineSetAnswer");
        setWinType_ = fn<RecEngineSetWinTypeFn>("recEngineSetWinType");
        attachCount_ = fn<RecEngineAttachCountFn>("recEngineAttachCount");
        host_ = fn<RecEngineHostFn>("recEngineHost");
    }
    ~EngineLog() { dlclose(module_); }
    EngineLog(const EngineLog&) = delete;
    EngineLog& operator=(const EngineLog&) = delete;

    int count() const { return count_(); }
    const RecordedHelpCall& call(int index) const { return *call_(index); }
    const RecordedHelpCall& last() const { return *call_(count() - 1); }
    std::vector<uint32_t> commands() const
    {
        std::vector<uint32_t> result;
        for (int i = 0; i < count(); ++i)
            result.push_back(call(i).command);
        return result;
    }
    // The calls that show something: HH_GET_WIN_TYPE and HH_SET_WIN_TYPE left out.
    std::vector<const RecordedHelpCall*> shown() const
    {
        std::vector<const RecordedHelpCall*> result;
        for (int i = 0; i < count(); ++i)
            if (call(i).command != HH_GET_WIN_TYPE && call(i).command != HH_SET_WIN_TYPE)
                result.push_back(&call(i));
        return result;
    }
    void clear() const { clear_(); }
    void setAnswer(platform::HWND answer) const { setAnswer_(answer); }
    void setWinType(const HH_WINTYPE* record, platform::HWND answer) const { setWinType_(record, answer); }
    int attachCount() const { return attachCount_(); }
    const KpxHelpHost* host() const { return host_(); }

private:
    template <typename F>
    F fn(const char* name)
    {
        void* address = dlsym(module_, name);
        if (!address)
            throw std::runtime_error(std::string("recording engine lacks ") + name);
        return platform::procAs<F>(address);
    }

    void* module_;
    RecEngineCallCountFn count_;
    RecEngineCallFn call_;
    RecEngineClearFn clear_;
    RecEngineSetAnswerFn setAnswer_;
    RecEngineSetWinTypeFn setWinType_;
    RecEngineAttachCountFn attachCount_;
    RecEngineHostFn host_;
};

// Counts what the binding asks of the loader, then lets the system do it.
class CountingLoader final : public platform::Loader {
public:
    std::vector<std::string> loads;
    std::map<std::string, int> lookups;
    int frees = 0;

    platform::HMODULE load(const std::string& path) override
    {
        loads.push_back(path);
        return platform::systemLoader().load(path);
    }
    platform::FARPROC symbol(platform::HMODULE module, const std::string& name) override
    {
        ++lookups[name];
        return platform::systemLoader().symbol(module, name);
    }
    bool free(platform::HMODULE module) override
    {
        ++frees;
        return platform::systemLoader().free(module);
    }
};

inline EngineLog& engineLog()
{
    static EngineLog log;
    return log;
}

// A fresh application, operator and desktop, with the binding pointed at the
// recording engine and nothing loaded yet.
class HelpFixture : public ::testing::Test {
protected:
    HelpFixture()
        : app(backend)
        , useDesktop_(desktop)
    {
        SetHtmlHelpLibrary(KPX_RECORDING_ENGINE);
        DownloadOffered = false;
        engineLog().clear();
        folder = std::filesystem::temp_directory_path() /
                 ("kpx_help_" + std::to_string(getpid()) + "_" + std::to_string(++serial()));
        std::filesystem::create_directories(folder);
    }

    ~HelpFixture() override
    {
        SetHtmlHelpLibrary({});
        SetHtmlHelpApplication(nullptr);
        DownloadOffered = false;
        std::error_code ignored;
        std::filesystem::permissions(folder, std::filesystem::perms::owner_all, ignored);
        std::filesystem::remove_all(folder, ignored);
    }

    std::string writeFile(const std::string& name, const std::string& contents)
    {
        const std::filesystem::path path = folder / name;
        std::ofstream(path, std::ios::binary) << contents;
        return path.string();
    }

    platform::FakeDesktop desktop;
    ScriptedBackend backend;
    tk::TApplication app;
    std::filesystem::path folder;
    EngineLog& engine = engineLog();

private:
    static int& serial()
    {
        static int value = 0;
        return value;
    }
    platform::ScopedDesktop useDesktop_;
};

} // namespace help_test
