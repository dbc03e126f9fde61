// The program's one door to the HTML Help engine. The engine is not linked:
// it is loaded from its library on the first help request and released at
// program end. When it cannot be loaded, HtmlHelp beeps, offers the operator
// a page that explains how to get a help viewer, and answers -1, so nothing
// above this unit ever deals with a missing engine.
//
// On Linux the engine is our plugin libkpxhtmlhelp.so, looked up beside the
// executable and then in the install's library folder. On Windows it is the
// system's HHCtrl.ocx, loaded by name through the system's library search.
#pragma once

#include "help/HtmlHelpApi.h"
#include "platform/Library.h"
#include "platform/Win.h"

#include <cstdint>
#include <string>

namespace tk {
class TApplication;
}

// Unit state: one set per process.
extern platform::HMODULE HHCtrlHandle; // the loaded engine library; null until a load succeeds
extern THtmlHelp HtmlHelpProc;         // the engine's entry point; null until resolved
extern bool DownloadOffered;           // the operator has accepted the download offer once

// Calls the engine's entry point with the arguments unchanged (File as a
// zero-terminated string, never null) and returns its answer; -1 when the
// engine cannot be loaded. HH_CLOSE_ALL before the engine was ever loaded
// closes nothing and answers 0 without trying to load it.
platform::HWND HtmlHelp(platform::HWND caller, std::string File, uint32_t Command, intptr_t Data);

// The Windows engine's library.
constexpr const char* kHtmlHelpEngineLibrary = "HHCtrl.ocx";

// Where the operator is sent when the engine is missing.
extern const char* const HtmlHelpDownloadUrl;

// The application whose message box offers the download. The help socket
// sets it when it is created; without one the offer is not made.
void SetHtmlHelpApplication(tk::TApplication* application);
tk::TApplication* HtmlHelpApplication();

// Replaces the engine's library: a path, or empty for the usual places. Any
// library loaded so far is released and the next call loads anew (tests
// point this at a recording engine).
void SetHtmlHelpLibrary(const std::string& path);
