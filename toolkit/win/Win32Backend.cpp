#include "toolkit/win/Win32Backend.h"

#include "toolkit/win/Dpi.h"
#include "toolkit/win/FormWindow.h"

#include <commctrl.h>
#include <objbase.h>

#include <algorithm>
#include <vector>

namespace tkwin {

namespace {

// While a modal box is up, every other window of the program waits too, as
// the owner does: the box blocks the program, not one window.
class OtherWindowsDisabled {
public:
    explicit OtherWindowsDisabled(HWND owner)
        : owner_(owner)
    {
        ::EnumThreadWindows(
            ::GetCurrentThreadId(),
            [](HWND window, LPARAM self) -> BOOL {
                auto& disabled = reinterpret_cast<OtherWindowsDisabled*>(self)->disabled_;
                if (window != reinterpret_cast<OtherWindowsDisabled*>(self)->owner_ && ::IsWindowVisible(window) &&
                    ::IsWindowEnabled(window))
                    disabled.push_back(window);
                return TRUE;
            },
            reinterpret_cast<LPARAM>(this));
        for (HWND window : disabled_)
            ::EnableWindow(window, FALSE);
    }
    ~OtherWindowsDisabled()
    {
        for (HWND window : disabled_)
            if (::IsWindow(window))
                ::EnableWindow(window, TRUE);
    }
    OtherWindowsDisabled(const OtherWindowsDisabled&) = delete;
    OtherWindowsDisabled& operator=(const OtherWindowsDisabled&) = delete;

private:
    HWND owner_;
    std::vector<HWND> disabled_;
};

// ----------------------------------------------------- the toolkit's dialog

struct DialogButton {
    tk::TMsgDlgBtn flag;
    const char* text;
    int answer; // also the button's command id: mrYes is IDYES, and so on
};

constexpr DialogButton dialogButtons[] = {
    {tk::mbYes, "&Yes", tk::mrYes},
    {tk::mbNo, "&No", tk::mrNo},
    {tk::mbOK, "OK", tk::mrOk},
    {tk::mbCancel, "Cancel", tk::mrCancel},
};

struct DialogRequest {
    std::string text;
    std::string caption;
    const char* icon = nullptr;
    std::vector<DialogButton> buttons;
    std::optional<tk::ScreenPoint> position;
    int defaultAnswer = tk::mrOk;
    int escapeAnswer = tk::mrCancel;
    HFONT font = nullptr;
};

const char* iconOf(tk::TMsgDlgType kind)
{
    switch (kind) {
    case tk::TMsgDlgType::mtWarning:
        return IDI_WARNING;
    case tk::TMsgDlgType::mtError:
        return IDI_ERROR;
    case tk::TMsgDlgType::mtInformation:
        return IDI_INFORMATION;
    case tk::TMsgDlgType::mtConfirmation:
        return IDI_QUESTION;
    case tk::TMsgDlgType::mtCustom:
        break;
    }
    return nullptr;
}

// Lays the dialog out around its text: icon, text, then the buttons
// centred below; at the requested top-left corner or centred on the screen.
// Sizes and the corner are those of a 96 dpi screen, scaled to the dialog's.
void layOut(HWND dialog, const DialogRequest& request)
{
    const unsigned dpi = dpiOf(dialog);
    const int margin = scaledTo(12, dpi);
    const int iconSize = scaledTo(32, dpi);
    const int buttonWidth = scaledTo(75, dpi);
    const int buttonHeight = scaledTo(23, dpi);
    const int buttonGap = scaledTo(6, dpi);
    const int widestText = scaledTo(420, dpi);

    const HDC dc = ::GetDC(dialog);
    const HGDIOBJ previous = ::SelectObject(dc, request.font);
    RECT textArea{0, 0, widestText, 0};
    ::DrawTextA(dc, request.text.c_str(), static_cast<int>(request.text.size()), &textArea,
                DT_CALCRECT | DT_WORDBREAK | DT_NOPREFIX | DT_EXPANDTABS);
    ::SelectObject(dc, previous);
    ::ReleaseDC(dialog, dc);

    const int textLeft = margin + (request.icon ? iconSize + margin : 0);
    const int textHeight = textArea.bottom - textArea.top;
    const int top = margin + std::max(0, (request.icon ? iconSize : 0) - textHeight) / 2;
    const int count = static_cast<int>(request.buttons.size());
    const int rowWidth = count * buttonWidth + (count - 1) * buttonGap;
    const int textWidth = textArea.right - textArea.left;
    const int clientWidth = std::max(textLeft + textWidth + margin, rowWidth + 2 * margin);
    const int rowTop = std::max(top + textHeight, margin + (request.icon ? iconSize : 0)) + 2 * margin;
    const int clientHeight = rowTop + buttonHeight + margin;

    const HINSTANCE instance = ::GetModuleHandleA(nullptr);
    if (request.icon) {
        const HWND icon = ::CreateWindowExA(0, "STATIC", "", WS_CHILD | WS_VISIBLE | SS_ICON | SS_REALSIZECONTROL,
                                            margin, margin, iconSize, iconSize, dialog, nullptr, instance, nullptr);
        const auto image = ::LoadImageA(nullptr, request.icon, IMAGE_ICON, iconSize, iconSize, LR_SHARED);
        ::SendMessageA(icon, STM_SETICON, reinterpret_cast<WPARAM>(image), 0);
    }
    const HWND text = ::CreateWindowExA(0, "STATIC", request.text.c_str(), WS_CHILD | WS_VISIBLE | SS_LEFT | SS_NOPREFIX,
                                        textLeft, top, textArea.right - textArea.left, textHeight, dialog, nullptr,
                                        instance, nullptr);
    ::SendMessageA(text, WM_SETFONT, reinterpret_cast<WPARAM>(request.font), FALSE);
    int left = (clientWidth - rowWidth) / 2;
    HWND focus = nullptr;
    for (const DialogButton& button : request.buttons) {
        const bool isDefault = button.answer == request.defaultAnswer;
        const HWND native = ::CreateWindowExA(
            0, "BUTTON", button.text, WS_CHILD | WS_VISIBLE | WS_TABSTOP | (isDefault ? BS_DEFPUSHBUTTON : BS_PUSHBUTTON),
            left, rowTop, buttonWidth, buttonHeight, dialog, reinterpret_cast<HMENU>(static_cast<INT_PTR>(button.answer)),
            instance, nullptr);
        ::SendMessageA(native, WM_SETFONT, reinterpret_cast<WPARAM>(request.font), FALSE);
        if (isDefault)
            focus = native;
        left += buttonWidth + buttonGap;
    }
    ::SendMessageA(dialog, DM_SETDEFID, static_cast<WPARAM>(request.defaultAnswer), 0);

    const auto style = static_cast<DWORD>(::GetWindowLongPtrA(dialog, GWL_STYLE));
    const auto exStyle = static_cast<DWORD>(::GetWindowLongPtrA(dialog, GWL_EXSTYLE));
    RECT outer{0, 0, clientWidth, clientHeight};
    adjustWindowRect(outer, style, false, exStyle, dpi);
    const int width = outer.right - outer.left;
    const int height = outer.bottom - outer.top;
    int x = 0;
    int y = 0;
    if (request.position) {
        x = scaledTo(request.position->x, dpi);
        y = scaledTo(request.position->y, dpi);
    } else {
        x = (::GetSystemMetrics(SM_CXSCREEN) - width) / 2;
        y = (::GetSystemMetrics(SM_CYSCREEN) - height) / 2;
    }
    ::SetWindowPos(dialog, HWND_TOP, x, y, width, height, 0);
    ::SetWindowTextA(dialog, request.caption.c_str());
    if (focus)
        ::SetFocus(focus);
}

INT_PTR CALLBACK dialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case WM_INITDIALOG:
        ::SetWindowLongPtrA(dialog, DWLP_USER, lParam);
        layOut(dialog, *reinterpret_cast<const DialogRequest*>(lParam));
        return FALSE; // the focus is set
    case WM_COMMAND: {
        const auto* request = reinterpret_cast<const DialogRequest*>(::GetWindowLongPtrA(dialog, DWLP_USER));
        if (!request || HIWORD(wParam) != BN_CLICKED)
            return FALSE;
        const int id = LOWORD(wParam);
        for (const DialogButton& button : request->buttons)
            if (button.answer == id) {
                ::EndDialog(dialog, id);
                return TRUE;
            }
        // Escape and the close box.
        if (id == tk::IDCANCEL)
            ::EndDialog(dialog, request->escapeAnswer);
        return TRUE;
    }
    default:
        return FALSE;
    }
}

// An empty dialog template: the controls are made when it opens.
struct alignas(4) EmptyDialog {
    DLGTEMPLATE dialog;
    WORD menu = 0;
    WORD windowClass = 0;
    WORD title = 0;
};

} // namespace

Win32Backend::Win32Backend()
    : loopEnd_([] { ::PostQuitMessage(0); })
{
    comInitialized_ = SUCCEEDED(::CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED));
    INITCOMMONCONTROLSEX controls{sizeof controls, ICC_STANDARD_CLASSES | ICC_PROGRESS_CLASS | ICC_TAB_CLASSES};
    ::InitCommonControlsEx(&controls);
}

Win32Backend::~Win32Backend()
{
    forms_.clear();
    if (comInitialized_)
        ::CoUninitialize();
}

FormWindow* Win32Backend::find(const tk::TForm& form) const
{
    const auto found = forms_.find(&form);
    return found == forms_.end() ? nullptr : found->second.get();
}

void Win32Backend::attach(tk::TForm& form)
{
    const bool isMain = form.Application().MainForm() == &form;
    forms_.erase(&form);
    auto window = std::make_unique<FormWindow>(*this, form, isMain ? nullptr : platform::nativeWindow(mainWindow_));
    if (isMain)
        mainWindow_ = platform::fromNative(window->handle());
    forms_[&form] = std::move(window);
    if (form.Visible())
        FormShown(form);
}

platform::HWND Win32Backend::window(const tk::TForm& form) const
{
    const FormWindow* window = find(form);
    return window ? platform::fromNative(window->handle()) : 0;
}

platform::HWND Win32Backend::control(const tk::TForm& form, const std::string& name) const
{
    const FormWindow* window = find(form);
    return window ? platform::fromNative(window->control(name)) : 0;
}

void Win32Backend::dispatch(tk::TApplication& application, const std::function<void()>& action)
{
    loopEnd_.dispatch(application, action);
}

platform::HWND Win32Backend::boxOwner() const
{
    const HWND active = ::GetActiveWindow();
    for (const auto& entry : forms_)
        if (entry.second->handle() == active)
            return platform::fromNative(active);
    return mainWindow_;
}

int Win32Backend::MessageBox(const std::string& text, const std::string& caption, int flags)
{
    const HWND owner = platform::nativeWindow(boxOwner());
    const OtherWindowsDisabled waiting(owner);
    // The toolkit's flags and answers are the system's own.
    return ::MessageBoxA(owner, text.c_str(), caption.c_str(), static_cast<UINT>(flags));
}

int Win32Backend::MessageDlg(const std::string& text, tk::TMsgDlgType kind, tk::TMsgDlgButtons buttons,
                             int /*helpContext*/, std::optional<tk::ScreenPoint> position)
{
    DialogRequest request;
    request.text = text;
    const char* caption = tk::dialogCaption(kind);
    request.caption = *caption ? caption : title_;
    request.icon = iconOf(kind);
    request.position = position;
    for (const DialogButton& button : dialogButtons)
        if (buttons & button.flag)
            request.buttons.push_back(button);
    if (request.buttons.empty())
        request.buttons.push_back(dialogButtons[2]);
    const auto offers = [&](int answer) {
        return std::any_of(request.buttons.begin(), request.buttons.end(),
                           [answer](const DialogButton& button) { return button.answer == answer; });
    };
    request.defaultAnswer = offers(tk::mrOk) ? tk::mrOk : offers(tk::mrYes) ? tk::mrYes : request.buttons.front().answer;
    request.escapeAnswer = offers(tk::mrCancel) ? tk::mrCancel : offers(tk::mrNo) ? tk::mrNo : tk::mrOk;

    // The system's message font is that of its own resolution; the dialog
    // opens at its owner's.
    const HWND owner = platform::nativeWindow(boxOwner());
    NONCLIENTMETRICSA metrics{};
    metrics.cbSize = sizeof metrics;
    ::SystemParametersInfoA(SPI_GETNONCLIENTMETRICS, sizeof metrics, &metrics, 0);
    metrics.lfMessageFont.lfHeight =
        ::MulDiv(metrics.lfMessageFont.lfHeight, static_cast<int>(dpiOf(owner)), static_cast<int>(dpiOf(nullptr)));
    request.font = ::CreateFontIndirectA(&metrics.lfMessageFont);

    EmptyDialog empty{};
    empty.dialog.style = DS_MODALFRAME | WS_POPUP | WS_CAPTION | WS_SYSMENU;
    INT_PTR answer = tk::mrCancel;
    {
        const OtherWindowsDisabled waiting(owner);
        answer = ::DialogBoxIndirectParamA(::GetModuleHandleA(nullptr), &empty.dialog, owner, &dialogProc,
                                           reinterpret_cast<LPARAM>(&request));
    }
    ::DeleteObject(request.font);
    // A dialog that could not be shown, or one cut short by the end of the
    // program, answers Cancel.
    return answer > 0 ? static_cast<int>(answer) : tk::mrCancel;
}

bool Win32Backend::routeToForm(void* message)
{
    auto* msg = static_cast<MSG*>(message);
    if (!msg->hwnd)
        return false;
    const HWND root = ::GetAncestor(msg->hwnd, GA_ROOT);
    for (const auto& entry : forms_) {
        if (entry.second->handle() != root)
            continue;
        // F1 asks the form for help, wherever the focus is on it.
        if (msg->message == WM_KEYDOWN && msg->wParam == VK_F1) {
            ::SendMessageA(root, WM_HELP, 0, 0);
            return true;
        }
        return ::IsDialogMessageA(root, msg) != FALSE;
    }
    return false;
}

void Win32Backend::ProcessMessages()
{
    MSG msg;
    while (::PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
        if (msg.message == WM_QUIT) {
            // For the loop that waits for it.
            ::PostQuitMessage(static_cast<int>(msg.wParam));
            return;
        }
        if (!routeToForm(&msg)) {
            ::TranslateMessage(&msg);
            ::DispatchMessageA(&msg);
        }
    }
}

void Win32Backend::ShowException(const std::string& message)
{
    const HWND owner = platform::nativeWindow(boxOwner());
    const OtherWindowsDisabled waiting(owner);
    ::MessageBoxA(owner, message.c_str(), title_.c_str(), tk::MB_OK | tk::MB_ICONERROR);
}

void Win32Backend::Run(tk::TApplication& application)
{
    tk::TForm* main = application.MainForm();
    if (!main || !find(*main))
        return;
    main->Show();
    loopEnd_.run([this] {
        MSG msg;
        while (::GetMessageA(&msg, nullptr, 0, 0) > 0) {
            if (!routeToForm(&msg)) {
                ::TranslateMessage(&msg);
                ::DispatchMessageA(&msg);
            }
        }
    });
}

void Win32Backend::FormShown(tk::TForm& form)
{
    if (FormWindow* window = find(form))
        window->show();
}

void Win32Backend::FormHidden(tk::TForm& form)
{
    if (FormWindow* window = find(form))
        window->hide();
}

void Win32Backend::TerminateRequested()
{
    loopEnd_.request();
    // Outside any handler (a start-up step) the loop may not have control
    // yet; Run sees the request when it starts.
    loopEnd_.quitIfIdle();
}

void Win32Backend::FormDestroyed(tk::TForm& form)
{
    const auto found = forms_.find(&form);
    if (found == forms_.end())
        return;
    found->second->orphan();
    if (platform::fromNative(found->second->handle()) == mainWindow_)
        mainWindow_ = 0;
    forms_.erase(found);
}

} // namespace tkwin
