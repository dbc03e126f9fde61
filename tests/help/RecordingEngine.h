// The recording HTML Help engine: a real plugin, loaded through the binding
// like ours, that records each call and answers as the test says. Tests reach
// its state through the export recordingEngine (dlsym).
#pragma once

#include "help/HtmlHelpApi.h"
#include "help/EngineHost.h"

#include <optional>
#include <string>
#include <vector>

struct RecordedHelpCall {
    platform::HWND caller = 0;
    bool fileWasNull = false;
    std::string file;
    uint32_t command = 0;
    uintptr_t data = 0;
    // Copies of what the data word pointed to. text: the topic, index
    // keyword, popup text or search query.
    std::string text;
    std::string font;
    HH_POPUP popup{};
    HH_FTS_QUERY query{};
    bool queryWindowWasNull = false;
    HH_WINTYPE winType{};
};

struct RecordingEngine {
    std::vector<RecordedHelpCall> calls;
    platform::HWND answer = 0x5150; // of every command but HH_GET_WIN_TYPE
    std::optional<HH_WINTYPE> winType; // what HH_GET_WIN_TYPE hands out
    platform::HWND winTypeAnswer = -1;
    int attachCount = 0;
    const KpxHelpHost* host = nullptr;
};

extern "C" {
using RecordingEngineFn = RecordingEngine* (*)();
}
