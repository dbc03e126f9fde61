// The contract between our HTML Help engine plugin (libkpxhtmlhelp.so) and the
// program that loads it. The engine draws its windows with the host's Qt, in
// the host's QApplication and thread; the host owns window handles and
// message delivery, so the engine asks it to name its windows and to deliver
// notifications to the caller's window procedure.
#pragma once

#include "help/HtmlHelpApi.h"
#include "platform/Win.h"

#include <cstdint>

extern "C" {

struct KpxHelpHost {
    uint32_t size; // sizeof(KpxHelpHost)
    // delivers a message to one of the host's windows through its current window procedure
    platform::LRESULT (*sendMessage)(platform::HWND, uint32_t msg, platform::WPARAM, platform::LPARAM);
    // makes one of the engine's top-level windows known to the host (IsWindow, FindWindowA); returns its handle
    platform::HWND (*registerWindow)(void* qwidget, const char* className);
    void (*unregisterWindow)(platform::HWND);
    int (*isWindow)(platform::HWND);
    void* (*widgetOf)(platform::HWND); // the QWidget behind a host window, or null (e.g. the desktop)
};

// Exported by the plugin. kpxHelpEngineAttach is called once after loading and
// before the first HtmlHelpA; the host record is copied. Without a host (never
// attached, or attached with null) the engine sends no notifications and
// hands out small positive window handles of its own.
using KpxHelpEngineAttachFn = void (*)(const KpxHelpHost* host);

} // extern "C"

// Names the plugin is looked up by, beside the executable and then in the
// install's library folder, and the names of its two exports.
constexpr const char* kKpxHelpEngineFileName = "libkpxhtmlhelp.so";
constexpr const char* kKpxHelpEntryPointName = "HtmlHelpA";
constexpr const char* kKpxHelpAttachName = "kpxHelpEngineAttach";

// Window class names the engine registers its top-level windows under.
constexpr const char* kKpxHelpViewerClass = "KpxHelpViewer";
constexpr const char* kKpxHelpPopupClass = "KpxHelpPopup";
