// The recording HTML Help engine: a real plugin, loaded through the binding
// like our engine, that records each call and answers as the test says. The
// test reaches its log through the extern "C" functions below (dlsym).
#pragma once

#include "help/HtmlHelpApi.h"
#include "help/engine/EngineHost.h"

#include <cstdint>
#include <string>

struct RecordedHelpCall {
    platform::HWND caller = 0;
    bool fileWasNull = false;
    std::string file;
    uint32_t command = 0;
    uintptr_t data = 0;

    // Copies of what the data word points to, by command.
    bool dataWasNull = false;
    std::string text; // HH_DISPLAY_TOPIC, HH_DISPLAY_INDEX, HH_SYNC
    bool hasPopup = false; // HH_DISPLAY_TEXT_POPUP
    HH_POPUP popup{};
    std::string popupText;
    std::string popupFont;
    bool hasQuery = false; // HH_DISPLAY_SEARCH
    HH_FTS_QUERY query{};
    std::string queryText;
    bool queryWindowWasNull = false;
    std::string queryWindow;
    bool hasWinType = false; // HH_SET_WIN_TYPE
    HH_WINTYPE winType{};
};

extern "C" {
using RecEngineCallCountFn = int (*)();
using RecEngineCallFn = const RecordedHelpCall* (*)(int index);
using RecEngineClearFn = void (*)();
// Answer of every call but HH_GET_WIN_TYPE.
using RecEngineSetAnswerFn = void (*)(platform::HWND answer);
// HH_GET_WIN_TYPE stores a pointer to a copy of record (null when record is
// null) and answers answer; the default is no record and -1.
using RecEngineSetWinTypeFn = void (*)(const HH_WINTYPE* record, platform::HWND answer);
using RecEngineAttachCountFn = int (*)();
using RecEngineHostFn = const KpxHelpHost* (*)();
}
