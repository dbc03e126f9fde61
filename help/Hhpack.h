// The application help socket. TkyAppHelpSocket installs itself as the
// application's help handler, so every WinHelp-style request the toolkit
// makes (HelpCommand, HelpJump) reaches HelpHook first. For an HTML Help
// file it translates the request into an engine call through Kyhhint and
// keeps the toolkit from calling WinHelp; for any other file it hands the
// request on to WinHelp handling.
//
// Around that it settles which help file is meant, adjusts the engine's
// window type before a window is shown, hooks the caller window so the
// engine's notifications raise events, maps context ids to topic paths and
// popup texts (TkyHHTopics: entries kept with the component and side files
// beside the help file), and shows text popups.
//
// TkyFormHelpSocket routes one form's help requests through an application
// socket with that form's own help file.
#pragma once

#include "help/HtmlHelpApi.h"
#include "help/Kyhhint.h"
#include "platform/Win.h"
#include "toolkit/Application.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

enum TkyHelpEngine : uint8_t { heWinHelp, heHtmlHelp };
enum TkyHHPopupsSource : uint8_t { psHHPopupTopics, psResourceFile, psWinHelpFile, psHtmlHelpFile };

using TkyGetWinHelpFileEvent = std::function<void(std::string& WinHelpFile)>;
using TkyHHGetTextByIDEvent = std::function<void(int32_t HelpContext, std::string& Text)>;
using TkyHHNavCompleteEvent = std::function<void(const std::string& Url)>;
using TkyHHWindowCreateEvent = std::function<void(const std::string& WindowName)>;
using TkyHHTrackEvent = std::function<void(THHActTypes Action, const std::string& CurrentUrl)>;

using TStrings = std::vector<std::string>;

// A side-file or Strings line whose key is not an integer, met before the
// wanted key. It ends the lookup and the help request.
class EConvertError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// Colours as the toolkit stores them: 0x00BBGGRR, or a system colour with
// the top byte set, which the engine takes as "its default".
using TColor = int32_t;
constexpr TColor clWindowText = static_cast<TColor>(0xFF000008u);
constexpr uint8_t DEFAULT_CHARSET = 1;

enum TFontStyle : uint8_t { fsBold = 1, fsItalic = 2, fsUnderline = 4, fsStrikeOut = 8 };
using TFontStyles = uint8_t; // a set of TFontStyle bits

enum class TFontPitch : uint8_t { fpDefault, fpVariable, fpFixed };

// The popup font. Size (points) and Height (pixels, negative for the
// character height) are two views of one value at 96 pixels per inch. Pitch
// is read-only: the engine's font specification has no place for it.
class TkyHHFont {
public:
    static constexpr int32_t PixelsPerInch = 96;

    std::string Name = "MS Sans Serif";
    TColor Color = clWindowText;
    uint8_t Charset = DEFAULT_CHARSET;
    TFontStyles Style = 0;

    int32_t Size() const;
    void SetSize(int32_t points);
    int32_t Height() const { return height_; }
    void SetHeight(int32_t height) { height_ = height; }
    TFontPitch GetPitch() const { return pitch_; }
    TFontPitch Pitch() const { return GetPitch(); }

    bool operator==(const TkyHHFont&) const = default;

private:
    int32_t height_ = -11;
    TFontPitch pitch_ = TFontPitch::fpDefault;
};

// Space between a popup's edges and its text; -1 lets the engine choose.
class TkyRcMargins {
public:
    int32_t Bottom = -1;
    int32_t Left = -1;
    int32_t Right = -1;
    int32_t Top = -1;
};

class TkyHHPopupWindow {
public:
    TColor BackgroundColor = -1; // -1 lets the engine choose
    TkyHHFont Font;
    TkyRcMargins RcMargins;

    void SetFont(const TkyHHFont& Value) { Font = Value; }
};

class TkyAppHelpSocket;

// One table from context ids to texts: entries kept with the component
// (Strings) and, behind them, a text file read lazily.
class TkyHHTopics {
public:
    // Already looks for the default text file of the extension.
    TkyHHTopics(TkyAppHelpSocket& owner, std::string extension);
    TkyHHTopics(const TkyHHTopics&) = delete;
    TkyHHTopics& operator=(const TkyHHTopics&) = delete;

    TStrings Strings;
    void SetStrings(const TStrings& Value) { Strings = Value; }

    const std::string& TextFile() const { return FTextFile; }
    // Empty: the default file beside the help file, if there is one. Reads
    // the file (again, also when the name is unchanged) unless at design
    // time; a file that cannot be read is reported and the program goes on.
    void SetTextFile(std::string Value);

    const std::string& Extension() const { return FExtension; }
    bool Loaded() const { return FLoaded; }
    const TStrings& FileLines() const { return FFileLines; }

    // Lines as the toolkit's string list reads a text file: CR LF, LF and
    // CR each end a line; a final line needs no line end.
    static TStrings SplitLines(std::string_view text);

private:
    friend class TkyAppHelpSocket;

    std::string FExtension;
    bool FLoaded = false;
    TStrings FFileLines;
    TkyAppHelpSocket& FOwner;
    std::string FTextFile;
};

// The WM_NOTIFY id of our tracking window types: notifications that carry
// it come from the engine and are ours.
constexpr int32_t kyHHNotifyId = 86022400;

class TkyAppHelpSocket {
public:
    // Installs itself as the application's help handler unless at design
    // time (where nothing is hooked, closed or read).
    explicit TkyAppHelpSocket(tk::TForm& owner, bool designTime = false);
    explicit TkyAppHelpSocket(tk::TApplication& owner, bool designTime = false);
    // Closes the help windows through the installed hook, then hands the
    // application's help handler back.
    ~TkyAppHelpSocket();
    TkyAppHelpSocket(const TkyAppHelpSocket&) = delete;
    TkyAppHelpSocket& operator=(const TkyAppHelpSocket&) = delete;

    tk::TApplication& Application() const { return FApplication; }
    // The form it belongs to; null when the application owns it.
    tk::TForm* OwnerForm() const { return FOwnerForm; }
    bool DesignTime() const { return FDesignTime; }

    // Published state.
    bool ShowWarning = true;
    const std::string& About() const { return FAbout; }
    void SetAbout(const std::string& Value);
    std::string HHDefaultIndexKeyword;
    std::string HHDefaultSearchQuery;
    std::string HHContextWindow;
    std::unique_ptr<TkyHHTopics> HHAliases;     // extension "ali"
    std::string HHDefaultTopic;
    TkyHHPopupsSource HHPopupsSource = psHHPopupTopics;
    std::unique_ptr<TkyHHTopics> HHPopupTopics; // extension "pup"
    std::unique_ptr<TkyHHPopupWindow> HHPopupWindow;
    bool HHWindowOnTop() const { return FHHWindowOnTop; }
    void SetHHWindowOnTop(bool Value) { FHHWindowOnTop = Value; }

    TkyGetWinHelpFileEvent OnGetWinHelpFile;
    TkyHHGetTextByIDEvent OnHHGetAlias;
    TkyHHGetTextByIDEvent OnHHGetPopupText;
    TkyHHNavCompleteEvent OnHHNavComplete;
    TkyHHTrackEvent OnHHTrack;
    TkyHHWindowCreateEvent OnHHWindowCreate;
    tk::THelpEvent OnHTMLHelp;
    tk::THelpEvent OnWinHelp;

    // The hook and the request path.
    void SetHelpHook();
    void DisableHelpHook();
    bool HelpHook(uint16_t Command, intptr_t Data, bool& CallHelp);
    bool CheckWinHelpHandlers(uint16_t Command, intptr_t Data, bool& CallHelp);
    void MapWinHelpCommand(uint16_t& Command, intptr_t& Data);
    uint16_t MapHelpContextCmd(intptr_t& Data);
    platform::HWND HTMLHelpCommand(uint16_t Command, intptr_t Data);
    platform::HWND DoHTMLHelp(platform::HWND Caller, const std::string& Spec, uint32_t Command, intptr_t Data);
    platform::HWND AdjustHHWinType(const std::string& Spec);

    // The help file: "file[>window]".
    std::string GetHelpFile() const;
    std::string GetFileName() const;
    std::string GetWindowName() const;
    std::string GetDefaultHelpFile(const std::string& Name) const;
    TkyHelpEngine GetHelpEngine() const;

    // The window the engine reports to.
    platform::HWND GetHHCaller();
    void SetHHCaller(platform::HWND Wnd);
    platform::LRESULT WMNotify(uint32_t Msg, platform::WPARAM WParam, platform::LPARAM LParam);

    uint16_t ShowWarningMessage();

    // Requests through the application's dispatch.
    bool CloseAll();
    bool ShowTopicByID(int32_t ID);
    bool ShowTOCTab();
    bool ShowIndexTab();
    bool ShowSearchTab();
    // Direct engine requests.
    platform::HWND HHShowIndexTab(const std::string& Keyword);
    platform::HWND HHShowTopicByName(const std::string& TopicName, bool ShowTOC);
    platform::HWND HHShowSearchTab(const std::string& Query, const std::string& WindowName, bool StemmedSearch,
                                   bool TitleOnly, bool Execute);

    // Topics and popups.
    std::string GetDefaultTextFile(const std::string& Ext) const;
    static std::string ReplaceFirstChar(std::string S, char OldChar, char NewChar);
    static std::string FindStringByID(const TStrings& List, int32_t ID);
    std::string GetHTMLFileByID(int32_t ID);
    std::string GetPopupTextByID(int32_t ID);
    platform::HWND PopupTextByID(const platform::POINT& Point, int32_t ID);
    platform::HWND PopupText(const platform::POINT& Point, const std::string& Text);
    platform::POINT GetPopupWndPos() const;
    static std::string FontStyleToStr(TFontStyles Style);

    // State that the notifications and requests leave behind.
    const std::string& LastUrl() const { return FLastUrl; }
    const std::string& LastWindowName() const { return FLastWindowName; }
    platform::HWND HHCaller() const { return FHHCaller; }
    platform::HWND HookedWnd() const { return FHookedWnd; }
    platform::POINT PopupPos() const { return FPopupPos; }
    bool PopupAsWindow() const { return FPopupAsWindow; }
    const std::string& CurrentFile() const { return FCurrentFile; }

    struct HookLink;

private:
    friend class TkyFormHelpSocket;
    friend class TkyHHTopics;

    void construct();
    // The lines of a table's text file; false when the file cannot be read.
    bool loadTopics(TkyHHTopics& topics);
    std::string lookupTopics(TkyHHTopics* topics, int32_t ID);
    void errorBox(const std::string& text);

    tk::TApplication& FApplication;
    tk::TForm* FOwnerForm;
    bool FDesignTime;

    std::string FAbout;
    std::string FLastUrl;
    std::string FFormHelpFile;
    std::string FLastWindowName;
    bool FHHWindowOnTop = false;
    platform::HWND FHHCaller = 0;
    std::string FCurrentFile;
    bool FPopupAsWindow = false;
    platform::POINT FPopupPos{-1, -1};
    std::string FMappedTopic;
    platform::HWND FHookedWnd = 0;
    tk::THelpEvent FOldAppHelp;
    // Shared with the handler installed in the application, so a handler
    // copy that outlives this socket passes requests on instead of calling
    // into a destroyed object.
    std::shared_ptr<HookLink> FHookLink;
};

// Routes one form's help requests through an application socket, with the
// form's own help file.
class TkyFormHelpSocket {
public:
    explicit TkyFormHelpSocket(tk::TForm& owner, bool designTime = false);
    ~TkyFormHelpSocket();
    TkyFormHelpSocket(const TkyFormHelpSocket&) = delete;
    TkyFormHelpSocket& operator=(const TkyFormHelpSocket&) = delete;

    // Not owned; cleared when that socket is destroyed.
    TkyAppHelpSocket* AppHelpSocket = nullptr;

    void SetHelpHook();
    void DisableHelpHook();
    bool HelpHook(uint16_t Command, intptr_t Data, bool& CallHelp);

private:
    tk::TForm& FOwner;
    bool FDesignTime;
    tk::THelpEvent FOldHelp;
};

// Unit state, process-wide.
extern TkyAppHelpSocket* ActiveAppHelpSocket; // the newest socket; routes the caller window's notifications
extern platform::WNDPROC OldWndProc;          // what HHCallerWndProc replaced on the hooked window
extern HH_FTS_QUERY FtsQuery;                 // the search record handed to the engine
constexpr platform::POINT NoPopupPos{-1, -1};

// The caller window's replacement procedure: notifications for
// ActiveAppHelpSocket are consumed, everything else goes on to OldWndProc.
platform::LRESULT HHCallerWndProc(platform::HWND Wnd, uint32_t Msg, platform::WPARAM WParam,
                                  platform::LPARAM LParam);
