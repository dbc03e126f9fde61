#include "help/Hhpack.h"

#include "platform/Desktop.h"
#include "platform/WinHelp.h"
#include "platform/Window.h"

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <system_error>


TkyAppHelpSocket* ActiveAppHelpSocket = nullptr;
platform::WNDPROC OldWndProc = nullptr;
HH_FTS_QUERY FtsQuery{};

struct TkyAppHelpSocket::HookLink {
    TkyAppHelpSocket* socket;
    // Where requests go once the socket is gone.
    tk::THelpEvent fallback;
};

namespace {

const char* const kAboutBanner = "TkyAppHelpSocket 1.0: HTML Help for WinHelp-style help requests";

// The handler the socket installs in the application. Its type identifies
// it, so the socket can tell whether the application still holds its hook.
class AppHelpThunk {
public:
    explicit AppHelpThunk(std::shared_ptr<TkyAppHelpSocket::HookLink> link)
        : link_(std::move(link))
    {
    }

    bool operator()(uint16_t command, intptr_t data, bool& callHelp) const
    {
        if (link_->socket)
            return link_->socket->HelpHook(command, data, callHelp);
        if (link_->fallback)
            return link_->fallback(command, data, callHelp);
        return true;
    }

    const TkyAppHelpSocket::HookLink* link() const { return link_.get(); }

private:
    std::shared_ptr<TkyAppHelpSocket::HookLink> link_;
};

std::vector<TkyAppHelpSocket*>& liveAppSockets()
{
    static std::vector<TkyAppHelpSocket*> sockets;
    return sockets;
}

std::vector<TkyFormHelpSocket*>& liveFormSockets()
{
    static std::vector<TkyFormHelpSocket*> sockets;
    return sockets;
}

bool isBlankOrControl(char c)
{
    return static_cast<unsigned char>(c) <= 32;
}

std::string trim(std::string_view s)
{
    size_t first = 0;
    size_t last = s.size();
    while (first < last && isBlankOrControl(s[first]))
        ++first;
    while (last > first && isBlankOrControl(s[last - 1]))
        --last;
    return std::string(s.substr(first, last - first));
}

std::string lowerCase(std::string s)
{
    for (char& c : s)
        if (c >= 'A' && c <= 'Z')
            c = static_cast<char>(c - 'A' + 'a');
    return s;
}

// Decimal with an optional sign, within 32 bits.
bool tryStrToInt(std::string_view s, int32_t& value)
{
    size_t i = 0;
    bool negative = false;
    if (i < s.size() && (s[i] == '+' || s[i] == '-')) {
        negative = s[i] == '-';
        ++i;
    }
    if (i == s.size())
        return false;
    int64_t magnitude = 0;
    for (; i < s.size(); ++i) {
        if (s[i] < '0' || s[i] > '9')
            return false;
        magnitude = magnitude * 10 + (s[i] - '0');
        if (magnitude > int64_t{1} << 31)
            return false;
    }
    const int64_t result = negative ? -magnitude : magnitude;
    if (result > INT32_MAX)
        return false;
    value = static_cast<int32_t>(result);
    return true;
}

bool fileExists(const std::string& name)
{
    std::error_code error;
    return std::filesystem::exists(name, error) && !std::filesystem::is_directory(name, error);
}

// Only a regular file: a FIFO or device beside the help file would block the
// thread the update runs on. Binary, so that CR LF stays as written.
bool readWholeFile(const std::string& name, std::string& contents)
{
    std::error_code error;
    if (!std::filesystem::is_regular_file(name, error))
        return false;
    std::ifstream in(name, std::ios::binary);
    if (!in)
        return false;
    std::ostringstream data;
    data << in.rdbuf();
    if (in.bad())
        return false;
    contents = std::move(data).str();
    return true;
}

platform::POINT unpackPoint(intptr_t data)
{
    const auto bits = static_cast<uintptr_t>(data);
    return {static_cast<int16_t>(static_cast<uint16_t>(bits & 0xFFFFu)),
            static_cast<int16_t>(static_cast<uint16_t>((bits >> 16) & 0xFFFFu))};
}

uintptr_t packPoint(const platform::POINT& point)
{
    return static_cast<uintptr_t>(static_cast<uint16_t>(point.x)) |
           (static_cast<uintptr_t>(static_cast<uint16_t>(point.y)) << 16);
}

bool isPopupPosSet(const platform::POINT& point)
{
    return point.x != -1 && point.y != -1;
}

template <typename T>
intptr_t addressOf(T* pointer)
{
    return reinterpret_cast<intptr_t>(pointer);
}

intptr_t addressOf(const std::string& text)
{
    return reinterpret_cast<intptr_t>(text.c_str());
}

// Restores a value when the scope ends, also on an exception.
template <typename T>
class Restore {
public:
    Restore(T& target, T value)
        : target_(target)
        , value_(std::move(value))
    {
    }
    ~Restore() { target_ = std::move(value_); }
    Restore(const Restore&) = delete;
    Restore& operator=(const Restore&) = delete;

private:
    T& target_;
    T value_;
};

} // namespace

// ---------------------------------------------------------------- TkyHHFont

int32_t TkyHHFont::Size() const
{
    // -height * 72 / 96, rounded half away from zero.
    const int64_t scaled = -static_cast<int64_t>(height_) * 72;
    const int64_t rounded = scaled >= 0 ? (scaled + PixelsPerInch / 2) / PixelsPerInch
                                        : -((-scaled + PixelsPerInch / 2) / PixelsPerInch);
    return static_cast<int32_t>(rounded);
}

void TkyHHFont::SetSize(int32_t points)
{
    const int64_t scaled = static_cast<int64_t>(points) * PixelsPerInch;
    const int64_t rounded = scaled >= 0 ? (scaled + 36) / 72 : -((-scaled + 36) / 72);
    height_ = static_cast<int32_t>(-rounded);
}

// -------------------------------------------------------------- TkyHHTopics

TkyHHTopics::TkyHHTopics(TkyAppHelpSocket& owner, std::string extension)
    : FExtension(std::move(extension))
    , FOwner(owner)
{
    SetTextFile({});
}

void TkyHHTopics::SetTextFile(std::string Value)
{
    if (Value.empty())
        Value = FOwner.GetDefaultTextFile(FExtension);
    if (Value != FTextFile)
        FFileLines.clear();
    FTextFile = Value;
    if (FOwner.DesignTime() || FTextFile.empty())
        return;
    if (!FOwner.loadTopics(*this))
        FOwner.errorBox("Unable to open " + FTextFile + " file.");
}

TStrings TkyHHTopics::SplitLines(std::string_view text)
{
    TStrings lines;
    size_t start = 0;
    size_t i = 0;
    while (i < text.size()) {
        const char c = text[i];
        if (c == '\r' || c == '\n') {
            lines.emplace_back(text.substr(start, i - start));
            i += (c == '\r' && i + 1 < text.size() && text[i + 1] == '\n') ? 2u : 1u;
            start = i;
        } else {
            ++i;
        }
    }
    if (start < text.size())
        lines.emplace_back(text.substr(start));
    return lines;
}

// ---------------------------------------------------------- TkyAppHelpSocket

TkyAppHelpSocket::TkyAppHelpSocket(tk::TForm& owner, bool designTime)
    : FApplication(owner.Application())
    , FOwnerForm(&owner)
    , FDesignTime(designTime)
{
    construct();
}

TkyAppHelpSocket::TkyAppHelpSocket(tk::TApplication& owner, bool designTime)
    : FApplication(owner)
    , FOwnerForm(nullptr)
    , FDesignTime(designTime)
{
    construct();
}

void TkyAppHelpSocket::construct()
{
    ShowWarning = true;
    ActiveAppHelpSocket = this;
    liveAppSockets().push_back(this);
    if (!FDesignTime) {
        SetHelpHook();
        // The engine binding offers its download through our application.
        SetHtmlHelpApplication(&FApplication);
    }
    HHPopupTopics = std::make_unique<TkyHHTopics>(*this, "pup");
    HHAliases = std::make_unique<TkyHHTopics>(*this, "ali");
    HHPopupWindow = std::make_unique<TkyHHPopupWindow>();
    HHPopupsSource = psHHPopupTopics;
    FPopupPos = NoPopupPos;
    FAbout = kAboutBanner;
}

TkyAppHelpSocket::~TkyAppHelpSocket()
{
    ActiveAppHelpSocket = nullptr;
    HHPopupWindow.reset();
    HHPopupTopics.reset();
    HHAliases.reset();
    if (!FDesignTime) {
        try {
            CloseAll();
        } catch (...) {
            // An OnHTMLHelp handler that throws must not end the program here.
        }
    }
    DisableHelpHook();

    if (FHookLink) {
        FHookLink->socket = nullptr;
        FHookLink->fallback = FOldAppHelp;
    }
    for (TkyFormHelpSocket* formSocket : liveFormSockets())
        if (formSocket->AppHelpSocket == this)
            formSocket->AppHelpSocket = nullptr;
    auto& sockets = liveAppSockets();
    sockets.erase(std::remove(sockets.begin(), sockets.end(), this), sockets.end());
    if (HtmlHelpApplication() == &FApplication) {
        tk::TApplication* next = nullptr;
        for (TkyAppHelpSocket* other : sockets)
            if (!other->FDesignTime)
                next = &other->FApplication;
        SetHtmlHelpApplication(next);
    }
}

void TkyAppHelpSocket::SetAbout(const std::string&)
{
    // The banner is fixed; the assignment exists only for streaming.
}

void TkyAppHelpSocket::SetHelpHook()
{
    FOldAppHelp = FApplication.OnHelp;
    FHookLink = std::make_shared<HookLink>(HookLink{this, {}});
    FApplication.OnHelp = AppHelpThunk(FHookLink);
}

void TkyAppHelpSocket::DisableHelpHook()
{
    if (FHookedWnd && OldWndProc) {
        platform::SetWindowLongA(FHookedWnd, platform::GWL_WNDPROC, platform::procToLong(OldWndProc));
        OldWndProc = nullptr;
    }
    FHookedWnd = 0;
    // Hand the handler back only while it is still ours: a handler installed
    // on top of ours keeps working, and reaches ours, through the link.
    if (FHookLink) {
        const auto* installed = FApplication.OnHelp.target<AppHelpThunk>();
        if (installed && installed->link() == FHookLink.get())
            FApplication.OnHelp = FOldAppHelp;
    }
}

bool TkyAppHelpSocket::HelpHook(uint16_t Command, intptr_t Data, bool& CallHelp)
{
    // A negative context id asks for the other presentation.
    if (Data < 0 && (Command == tk::HELP_CONTEXTPOPUP || Command == tk::HELP_CONTEXT)) {
        CallHelp = false;
        const auto magnitude = static_cast<intptr_t>(0u - static_cast<uintptr_t>(Data));
        // The most negative value has no positive counterpart; re-issuing it
        // would bounce between the two presentations for ever.
        if (magnitude < 0)
            return false;
        const uint16_t other = Command == tk::HELP_CONTEXTPOPUP ? tk::HELP_CONTEXT : tk::HELP_CONTEXTPOPUP;
        FApplication.HelpCommand(other, magnitude);
        return true;
    }

    if (Command == tk::HELP_SETPOPUP_POS) {
        FPopupPos = unpackPoint(Data);
        CallHelp = false;
        return true;
    }

    if (GetHelpEngine() == heWinHelp) {
        if (Command == tk::HELP_CONTEXTPOPUP && isPopupPosSet(FPopupPos)) {
            platform::WinHelpA(GetHHCaller(), GetFileName().c_str(), tk::HELP_SETPOPUP_POS, packPoint(FPopupPos));
            FPopupPos = NoPopupPos;
        }
        return CheckWinHelpHandlers(Command, Data, CallHelp);
    }

    bool result = true;
    if (Command == tk::HELP_CONTEXTPOPUP && HHPopupsSource == psWinHelpFile) {
        result = CheckWinHelpHandlers(Command, Data, CallHelp);
        if (CallHelp) {
            std::string winHelpFile = GetHelpFile();
            const size_t chm = lowerCase(winHelpFile).find(".chm");
            if (chm != std::string::npos)
                winHelpFile.erase(chm);
            const platform::HWND caller = GetHHCaller();
            if (isPopupPosSet(FPopupPos)) {
                platform::WinHelpA(caller, winHelpFile.c_str(), tk::HELP_SETPOPUP_POS, packPoint(FPopupPos));
                FPopupPos = NoPopupPos;
            }
            if (OnGetWinHelpFile)
                OnGetWinHelpFile(winHelpFile);
            result = platform::WinHelpA(caller, winHelpFile.c_str(), Command, static_cast<uintptr_t>(Data));
        }
    } else {
        MapWinHelpCommand(Command, Data);
        if (Command != 0xFFFF)
            result = HTMLHelpCommand(Command, Data) != 0;
    }
    // An HTML Help file never goes to WinHelp.
    CallHelp = false;
    return result;
}

bool TkyAppHelpSocket::CheckWinHelpHandlers(uint16_t Command, intptr_t Data, bool& CallHelp)
{
    if (OnWinHelp)
        return OnWinHelp(Command, Data, CallHelp);
    if (FOldAppHelp)
        return FOldAppHelp(Command, Data, CallHelp);
    return true;
}

void TkyAppHelpSocket::MapWinHelpCommand(uint16_t& Command, intptr_t& Data)
{
    FPopupAsWindow = false;
    switch (Command) {
    case tk::HELP_CONTEXT:
        Command = MapHelpContextCmd(Data);
        break;
    case tk::HELP_QUIT:
        Command = HH_CLOSE_ALL;
        break;
    case tk::HELP_CONTENTS:
    case tk::HELP_FINDER:
        Command = HH_DISPLAY_TOC;
        Data = 0;
        break;
    case tk::HELP_CONTEXTPOPUP:
        if (HHPopupsSource == psHtmlHelpFile) {
            Command = MapHelpContextCmd(Data);
            FPopupAsWindow = true;
        } else {
            Command = HH_DISPLAY_TEXT_POPUP;
        }
        break;
    case tk::HELP_TAB:
        Command = Data == -1 ? HH_DISPLAY_SEARCH : Data == -2 ? HH_DISPLAY_INDEX : HH_DISPLAY_TOC;
        Data = 0;
        break;
    case tk::HELP_KEY:
    case tk::HELP_PARTIALKEY:
        Command = HH_DISPLAY_INDEX;
        break;
    default:
        Command = 0xFFFF;
        break;
    }
}

uint16_t TkyAppHelpSocket::MapHelpContextCmd(intptr_t& Data)
{
    FMappedTopic = GetHTMLFileByID(static_cast<int32_t>(Data));
    if (FMappedTopic.empty())
        return HH_HELP_CONTEXT;
    Data = addressOf(FMappedTopic);
    return HH_DISPLAY_TOPIC;
}

platform::HWND TkyAppHelpSocket::HTMLHelpCommand(uint16_t Command, intptr_t Data)
{
    if (ShowWarningMessage() == tk::mrCancel)
        return 0;

    platform::HWND result = 0;
    switch (Command) {
    case HH_DISPLAY_TOPIC:
    case HH_HELP_CONTEXT: {
        std::string spec = GetHelpFile();
        if (FPopupAsWindow && !HHContextWindow.empty())
            spec = GetFileName() + ">" + HHContextWindow;
        AdjustHHWinType(spec);
        result = DoHTMLHelp(GetHHCaller(), spec, Command, Data);
        break;
    }
    case HH_DISPLAY_TOC:
    case HH_DISPLAY_INDEX:
    case HH_DISPLAY_SEARCH:
    case HH_SYNC:
    case HH_ALINK_LOOKUP:
        AdjustHHWinType(GetHelpFile());
        if (Command == HH_DISPLAY_SEARCH && Data == 0) {
            FtsQuery = HH_FTS_QUERY{};
            FtsQuery.cbStruct = static_cast<int32_t>(sizeof(HH_FTS_QUERY));
            FtsQuery.fUniCodeStrings = 0;
            FtsQuery.pszSearchQuery = HHDefaultSearchQuery.c_str();
            FtsQuery.iProximity = -1;
            FtsQuery.fStemmedSearch = 0;
            FtsQuery.fTitleOnly = 0;
            FtsQuery.fExecute = 0;
            FtsQuery.pszWindow = nullptr;
            Data = addressOf(&FtsQuery);
        }
        if (Command == HH_DISPLAY_INDEX && Data == 0)
            Data = addressOf(HHDefaultIndexKeyword);
        result = DoHTMLHelp(GetHHCaller(), GetDefaultHelpFile(GetFileName()), Command, Data);
        break;
    case HH_DISPLAY_TEXT_POPUP:
        result = PopupTextByID(NoPopupPos, static_cast<int32_t>(Data));
        break;
    case HH_CLOSE_ALL:
        result = DoHTMLHelp(0, std::string(), HH_CLOSE_ALL, 0);
        FLastUrl.clear();
        FLastWindowName.clear();
        break;
    default:
        result = DoHTMLHelp(GetHHCaller(), GetHelpFile(), Command, Data);
        break;
    }
    FPopupAsWindow = false;
    return result;
}

platform::HWND TkyAppHelpSocket::DoHTMLHelp(platform::HWND Caller, const std::string& Spec, uint32_t Command,
                                            intptr_t Data)
{
    FCurrentFile = Spec;
    // FCurrentFile is non-empty only while the call is under way.
    Restore<std::string> clearCurrentFile(FCurrentFile, std::string());
    bool callHelp = true;
    if (OnHTMLHelp)
        OnHTMLHelp(static_cast<uint16_t>(Command), Data, callHelp);
    if (!callHelp)
        return 0;
    // Popups belong to no window of ours.
    const platform::HWND caller = Command == HH_DISPLAY_TEXT_POPUP ? platform::GetDesktopWindow() : Caller;
    return HtmlHelp(caller, Spec, Command, Data);
}

platform::HWND TkyAppHelpSocket::AdjustHHWinType(const std::string& Spec)
{
    const platform::HWND caller = GetHHCaller();
    const HH_WINTYPE* engineRecord = nullptr;
    if (HtmlHelp(caller, Spec, HH_GET_WIN_TYPE, addressOf(&engineRecord)) == -1)
        return 0;
    // An answer without a complete record is taken as no window type.
    if (!engineRecord || engineRecord->cbStruct < static_cast<int32_t>(sizeof(HH_WINTYPE)))
        return 0;

    // The engine's record is its own; we change a copy and hand that back.
    HH_WINTYPE winType = *engineRecord;
    winType.fsValidMembers |= HHWIN_PARAM_PROPERTIES | HHWIN_PARAM_RECT;
    winType.fsWinProperties |= HHWIN_PROP_TRACKING;
    if (FHHWindowOnTop)
        winType.fsWinProperties |= HHWIN_PROP_ONTOP;
    else
        winType.fsWinProperties &= ~HHWIN_PROP_ONTOP;
    winType.idNotify = kyHHNotifyId;
    winType.hwndCaller = caller;

    if (FPopupAsWindow) {
        const platform::POINT at = GetPopupWndPos();
        platform::RECT& rect = winType.rcWindowPos;
        const int64_t width = int64_t{rect.right} - rect.left;
        const int64_t height = int64_t{rect.bottom} - rect.top;
        int64_t left = at.x - width / 2;
        int64_t top = at.y;
        platform::RECT workArea{0, 0, 0, 0};
        platform::SystemParametersInfoA(platform::SPI_GETWORKAREA, 0, &workArea, 0);
        // Below the work area it would be hidden: show it above the point.
        if (top + height > workArea.bottom)
            top -= height + 30;
        rect.left = static_cast<int32_t>(left);
        rect.right = static_cast<int32_t>(left + width);
        rect.top = static_cast<int32_t>(top);
        rect.bottom = static_cast<int32_t>(top + height);
        FPopupPos = NoPopupPos;
    }

    return HtmlHelp(caller, Spec, HH_SET_WIN_TYPE, addressOf(&winType));
}

std::string TkyAppHelpSocket::GetHelpFile() const
{
    if (!FCurrentFile.empty())
        return FCurrentFile;
    if (!FFormHelpFile.empty())
        return FFormHelpFile;
    if (const tk::TForm* form = FApplication.ActiveForm(); form && !form->HelpFile.empty())
        return form->HelpFile;
    return FApplication.HelpFile;
}

std::string TkyAppHelpSocket::GetFileName() const
{
    const std::string spec = GetHelpFile();
    return spec.substr(0, spec.find('>'));
}

std::string TkyAppHelpSocket::GetWindowName() const
{
    const std::string spec = GetHelpFile();
    const size_t mark = spec.find('>');
    return mark == std::string::npos ? std::string() : spec.substr(mark + 1);
}

std::string TkyAppHelpSocket::GetDefaultHelpFile(const std::string& Name) const
{
    if (HHDefaultTopic.empty() || Name.empty())
        return Name;
    std::string result = Name + "::/" + HHDefaultTopic;
    const std::string window = GetWindowName();
    if (!window.empty())
        result += ">" + window;
    return result;
}

TkyHelpEngine TkyAppHelpSocket::GetHelpEngine() const
{
    return lowerCase(GetHelpFile()).find("chm") != std::string::npos ? heHtmlHelp : heWinHelp;
}

platform::HWND TkyAppHelpSocket::GetHHCaller()
{
    const platform::HWND caller = FHHCaller ? FHHCaller : platform::GetDesktopWindow();
    if (caller != FHookedWnd) {
        if (FHookedWnd && OldWndProc)
            platform::SetWindowLongA(FHookedWnd, platform::GWL_WNDPROC, platform::procToLong(OldWndProc));
        if (caller) {
            const platform::WNDPROC replaced = platform::longToProc(
                platform::SetWindowLongA(caller, platform::GWL_WNDPROC, platform::procToLong(&HHCallerWndProc)));
            // A window already hooked by a socket keeps the procedure it
            // had before; taking ours as "the old one" would loop for ever.
            if (replaced != &HHCallerWndProc)
                OldWndProc = replaced;
        }
        FHookedWnd = caller;
    }
    return caller;
}

void TkyAppHelpSocket::SetHHCaller(platform::HWND Wnd)
{
    if (Wnd != 0 && !platform::IsWindow(Wnd))
        return;
    if (Wnd == FHHCaller)
        return;
    if (GetHelpEngine() == heHtmlHelp)
        CloseAll();
    FHHCaller = Wnd;
}

platform::LRESULT TkyAppHelpSocket::WMNotify(uint32_t Msg, platform::WPARAM WParam, platform::LPARAM LParam)
{
    if (Msg != platform::WM_NOTIFY || WParam != static_cast<platform::WPARAM>(kyHHNotifyId))
        return 1;
    const auto* header = reinterpret_cast<const platform::NMHDR*>(LParam);
    if (!header)
        return 0;
    switch (header->code) {
    case HHN_NAVCOMPLETE: {
        const auto* notify = reinterpret_cast<const HHN_NOTIFY*>(LParam);
        FLastUrl = notify->pszUrl ? notify->pszUrl : "";
        if (OnHHNavComplete)
            OnHHNavComplete(FLastUrl);
        break;
    }
    case HHN_WINDOW_CREATE: {
        const auto* notify = reinterpret_cast<const HHN_NOTIFY*>(LParam);
        FLastWindowName = notify->pszUrl ? notify->pszUrl : "";
        if (OnHHWindowCreate)
            OnHHWindowCreate(FLastWindowName);
        break;
    }
    case HHN_TRACK:
        if (OnHHTrack) {
            const auto* track = reinterpret_cast<const HHNTRACK*>(LParam);
            const auto action = static_cast<THHActTypes>(track->idAction & 0xFF);
            OnHHTrack(action, track->pszCurUrl ? track->pszCurUrl : "");
        }
        break;
    default:
        break;
    }
    return 0;
}

uint16_t TkyAppHelpSocket::ShowWarningMessage()
{
    uint16_t result = tk::mrOk;
    if (platform::FindWindowA("TAppBuilder", nullptr) && ShowWarning) {
        const std::string text =
            "To avoid a possible FATAL ERROR don't display HTML Help windows when an application started in the "
            "Debug Mode. Make sure that the Debug Mode is disabled before running an application.This problem "
            "seems just like incompatibility of the HTML Help engine and IDE Debug Mode.\r\n"
            "To CANCEL an operation choose Cancel button.\r\n"
            "To DISABLE this message assign value false to the ShowWarning property of the TkyAppHelpSocket.";
        ShowWarning = false;
        result = static_cast<uint16_t>(
            tk::MessageDlg(FApplication, text, tk::TMsgDlgType::mtWarning, tk::mbOK | tk::mbCancel, 0));
    }
    return result;
}

bool TkyAppHelpSocket::CloseAll()
{
    return FApplication.HelpCommand(tk::HELP_QUIT, 0);
}

bool TkyAppHelpSocket::ShowTopicByID(int32_t ID)
{
    return FApplication.HelpCommand(tk::HELP_CONTEXT, ID);
}

bool TkyAppHelpSocket::ShowTOCTab()
{
    return FApplication.HelpCommand(tk::HELP_TAB, -3);
}

bool TkyAppHelpSocket::ShowIndexTab()
{
    return FApplication.HelpCommand(tk::HELP_TAB, -2);
}

bool TkyAppHelpSocket::ShowSearchTab()
{
    return FApplication.HelpCommand(tk::HELP_TAB, -1);
}

platform::HWND TkyAppHelpSocket::HHShowIndexTab(const std::string& Keyword)
{
    return HTMLHelpCommand(HH_DISPLAY_INDEX, addressOf(Keyword.empty() ? HHDefaultIndexKeyword : Keyword));
}

platform::HWND TkyAppHelpSocket::HHShowTopicByName(const std::string& TopicName, bool ShowTOC)
{
    if (ShowTOC && !ShowTOCTab())
        return 0;
    FMappedTopic = TopicName.empty() ? HHDefaultTopic : TopicName;
    if (FMappedTopic.empty())
        return 0;
    return HTMLHelpCommand(HH_DISPLAY_TOPIC, addressOf(FMappedTopic));
}

platform::HWND TkyAppHelpSocket::HHShowSearchTab(const std::string& Query, const std::string& WindowName,
                                                 bool StemmedSearch, bool TitleOnly, bool Execute)
{
    FtsQuery = HH_FTS_QUERY{};
    FtsQuery.cbStruct = static_cast<int32_t>(sizeof(HH_FTS_QUERY));
    FtsQuery.fUniCodeStrings = 0;
    FtsQuery.pszSearchQuery = Query.empty() ? HHDefaultSearchQuery.c_str() : Query.c_str();
    FtsQuery.iProximity = -1;
    FtsQuery.fStemmedSearch = StemmedSearch ? -1 : 0;
    FtsQuery.fTitleOnly = TitleOnly ? -1 : 0;
    FtsQuery.fExecute = Execute ? -1 : 0;
    FtsQuery.pszWindow = WindowName.c_str();
    return HTMLHelpCommand(HH_DISPLAY_SEARCH, addressOf(&FtsQuery));
}

// ------------------------------------------------------ topics and popups

std::string TkyAppHelpSocket::GetDefaultTextFile(const std::string& Ext) const
{
    std::string name = GetFileName();
    const size_t chm = name.find(".chm");
    if (name.empty() || chm == std::string::npos)
        return {};
    name.erase(chm);
    name += "." + Ext;
    return fileExists(name) ? name : std::string();
}

std::string TkyAppHelpSocket::ReplaceFirstChar(std::string S, char OldChar, char NewChar)
{
    const size_t at = S.find(OldChar);
    if (at != std::string::npos)
        S[at] = NewChar;
    return S;
}

std::string TkyAppHelpSocket::FindStringByID(const TStrings& List, int32_t ID)
{
    for (const std::string& line : List) {
        const std::string entry = ReplaceFirstChar(trim(line), '=', ' ');
        const size_t blank = entry.find(' ');
        if (blank == std::string::npos)
            continue;
        const std::string key = entry.substr(0, blank);
        int32_t value = 0;
        if (!tryStrToInt(key, value))
            throw EConvertError("'" + key + "' is not a valid integer key in the help topic line '" + line + "'");
        if (value == ID)
            return trim(std::string_view(entry).substr(blank + 1));
    }
    return {};
}

bool TkyAppHelpSocket::loadTopics(TkyHHTopics& topics)
{
    std::string contents;
    if (!readWholeFile(topics.FTextFile, contents))
        return false;
    topics.FFileLines = TkyHHTopics::SplitLines(contents);
    return true;
}

void TkyAppHelpSocket::errorBox(const std::string& text)
{
    tk::MessageDlg(FApplication, text, tk::TMsgDlgType::mtError, tk::mbCancel, 0);
}

std::string TkyAppHelpSocket::lookupTopics(TkyHHTopics* topics, int32_t ID)
{
    if (!topics)
        return {};
    std::string found = FindStringByID(topics->Strings, ID);
    if (!found.empty())
        return found;
    if (!topics->FLoaded) {
        // The application's help file may be known by now.
        topics->SetTextFile(topics->FTextFile);
        if (GetHelpEngine() == heHtmlHelp)
            topics->FLoaded = true;
    }
    return FindStringByID(topics->FFileLines, ID);
}

std::string TkyAppHelpSocket::GetHTMLFileByID(int32_t ID)
{
    if (OnHHGetAlias) {
        std::string text;
        OnHHGetAlias(ID, text);
        if (!text.empty())
            return text;
    }
    return lookupTopics(HHAliases.get(), ID);
}

std::string TkyAppHelpSocket::GetPopupTextByID(int32_t ID)
{
    if (OnHHGetPopupText) {
        std::string text;
        OnHHGetPopupText(ID, text);
        if (!text.empty())
            return text;
    }
    switch (HHPopupsSource) {
    case psHHPopupTopics:
        return lookupTopics(HHPopupTopics.get(), ID);
    case psResourceFile:
        // The program carries no string resources on this platform.
    case psWinHelpFile:
    case psHtmlHelpFile:
        break;
    }
    return {};
}

platform::HWND TkyAppHelpSocket::PopupTextByID(const platform::POINT& Point, int32_t ID)
{
    return PopupText(Point, GetPopupTextByID(ID));
}

platform::HWND TkyAppHelpSocket::PopupText(const platform::POINT& Point, const std::string& Text)
{
    const TkyHHPopupWindow defaults;
    const TkyHHPopupWindow& window = HHPopupWindow ? *HHPopupWindow : defaults;
    const std::string font = window.Font.Name + ", " + std::to_string(window.Font.Size()) + ", " + "1" +
                             FontStyleToStr(window.Font.Style);

    HH_POPUP popup{};
    popup.cbStruct = static_cast<int32_t>(sizeof(HH_POPUP));
    popup.hinst = 0;
    popup.idString = 0;
    popup.pszText = Text.c_str();
    popup.pt = (Point.x == -1 || Point.y == -1) ? GetPopupWndPos() : Point;
    popup.clrForeground = static_cast<COLORREF>(window.Font.Color);
    popup.clrBackground = static_cast<COLORREF>(window.BackgroundColor);
    popup.rcMargins = {window.RcMargins.Left, window.RcMargins.Top, window.RcMargins.Right, window.RcMargins.Bottom};
    popup.pszFont = font.c_str();

    const platform::HWND result = DoHTMLHelp(GetHHCaller(), std::string(), HH_DISPLAY_TEXT_POPUP, addressOf(&popup));
    FPopupPos = NoPopupPos;
    platform::SetCursor(platform::IDC_ARROW);
    return result;
}

platform::POINT TkyAppHelpSocket::GetPopupWndPos() const
{
    platform::POINT at = FPopupPos;
    if (!isPopupPosSet(at))
        platform::GetCursorPos(&at);
    at.y += 15;
    return at;
}

std::string TkyAppHelpSocket::FontStyleToStr(TFontStyles Style)
{
    std::string words;
    const auto add = [&](TFontStyle style, const char* word) {
        if (!(Style & style))
            return;
        if (!words.empty())
            words += ' ';
        words += word;
    };
    add(fsBold, "bold");
    add(fsItalic, "italic");
    add(fsUnderline, "underline");
    add(fsStrikeOut, "srikeout");
    return words.empty() ? std::string() : ", " + words;
}

// ------------------------------------------------ caller window procedure

platform::LRESULT HHCallerWndProc(platform::HWND Wnd, uint32_t Msg, platform::WPARAM WParam, platform::LPARAM LParam)
{
    const platform::LRESULT handled = ActiveAppHelpSocket ? ActiveAppHelpSocket->WMNotify(Msg, WParam, LParam) : -1;
    if (handled == 0)
        return 0;
    if (!OldWndProc || OldWndProc == &HHCallerWndProc)
        return 0;
    return platform::CallWindowProcA(OldWndProc, Wnd, Msg, WParam, LParam);
}

// --------------------------------------------------------- TkyFormHelpSocket

TkyFormHelpSocket::TkyFormHelpSocket(tk::TForm& owner, bool designTime)
    : FOwner(owner)
    , FDesignTime(designTime)
{
    liveFormSockets().push_back(this);
    if (!FDesignTime)
        SetHelpHook();
}

TkyFormHelpSocket::~TkyFormHelpSocket()
{
    DisableHelpHook();
    auto& sockets = liveFormSockets();
    sockets.erase(std::remove(sockets.begin(), sockets.end(), this), sockets.end());
}

void TkyFormHelpSocket::SetHelpHook()
{
    FOldHelp = FOwner.Application().OnHelp;
    FOwner.OnHelp = [this](uint16_t command, intptr_t data, bool& callHelp) {
        return HelpHook(command, data, callHelp);
    };
}

void TkyFormHelpSocket::DisableHelpHook()
{
    if (!FDesignTime)
        FOwner.OnHelp = FOldHelp;
}

bool TkyFormHelpSocket::HelpHook(uint16_t Command, intptr_t Data, bool& CallHelp)
{
    if (!AppHelpSocket) {
        platform::MessageBeep(0);
        return false;
    }
    TkyAppHelpSocket& socket = *AppHelpSocket;
    socket.FFormHelpFile = FOwner.HelpFile;
    Restore<std::string> clearFormHelpFile(socket.FFormHelpFile, std::string());
    return socket.HelpHook(Command, Data, CallHelp);
}
