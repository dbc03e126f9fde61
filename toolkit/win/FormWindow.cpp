#include "toolkit/win/FormWindow.h"

#include "toolkit/Elide.h"
#include "toolkit/win/Dpi.h"
#include "toolkit/win/Picture.h"
#include "toolkit/win/Win32Backend.h"

#include <commctrl.h>

#include <algorithm>
#include <stdexcept>

namespace tkwin {

namespace {

constexpr const char* formClass = "KpxForm";
constexpr const char* panelClass = "KpxPanel";
constexpr int firstControlId = 100;
constexpr UINT firstMenuId = 1000;

void registerClasses()
{
    static const bool registered = [] {
        const HINSTANCE instance = ::GetModuleHandleA(nullptr);
        WNDCLASSEXA form{};
        form.cbSize = sizeof form;
        form.lpfnWndProc = ::DefWindowProcA; // replaced per window once it knows its form
        form.hInstance = instance;
        // The program's own icon, by the resource number Explorer shows too.
        form.hIcon = ::LoadIconA(instance, MAKEINTRESOURCEA(1));
        if (!form.hIcon)
            form.hIcon = ::LoadIconA(nullptr, MAKEINTRESOURCEA(32512) /* IDI_APPLICATION */);
        form.hCursor = ::LoadCursorA(nullptr, MAKEINTRESOURCEA(32512) /* IDC_ARROW */);
        form.hbrBackground = ::GetSysColorBrush(COLOR_BTNFACE);
        form.lpszClassName = formClass;
        ::RegisterClassExA(&form);

        WNDCLASSEXA panel = form;
        panel.hIcon = nullptr;
        panel.lpszClassName = panelClass;
        ::RegisterClassExA(&panel);
        return true;
    }();
    (void)registered;
}

bool textDiffers(HWND window, const std::string& text)
{
    const int length = ::GetWindowTextLengthA(window);
    if (length != static_cast<int>(text.size()))
        return true;
    std::string current(static_cast<size_t>(length) + 1, '\0');
    ::GetWindowTextA(window, current.data(), length + 1);
    current.resize(static_cast<size_t>(length));
    return current != text;
}

// The edge a frame's description asks for.
UINT frameEdge(const tk::ControlDescription& frame)
{
    if (frame.property("frameShape", "QFrame::NoFrame") == "QFrame::NoFrame")
        return 0;
    // A raised inner and lowered outer bevel.
    return frame.property("frameShadow") == "QFrame::Raised" ? EDGE_BUMP : EDGE_ETCHED;
}

// Measures texts in a control's font.
class TextMeasure {
public:
    explicit TextMeasure(HWND control)
        : control_(control)
        , dc_(::GetDC(control))
        , previous_(::SelectObject(dc_, reinterpret_cast<HGDIOBJ>(::SendMessageA(control, WM_GETFONT, 0, 0))))
    {
    }
    ~TextMeasure()
    {
        ::SelectObject(dc_, previous_);
        ::ReleaseDC(control_, dc_);
    }
    TextMeasure(const TextMeasure&) = delete;
    TextMeasure& operator=(const TextMeasure&) = delete;

    int width(const std::string& text) const
    {
        SIZE extent{};
        ::GetTextExtentPoint32A(dc_, text.c_str(), static_cast<int>(text.size()), &extent);
        return extent.cx;
    }
    int height() const
    {
        TEXTMETRICA metrics{};
        ::GetTextMetricsA(dc_, &metrics);
        return metrics.tmHeight;
    }

private:
    HWND control_;
    HDC dc_;
    HGDIOBJ previous_;
};

// Where a control lies in its parent's client area, and its size.
RECT placeIn(HWND control)
{
    RECT place{};
    ::GetWindowRect(control, &place);
    ::MapWindowPoints(nullptr, ::GetParent(control), reinterpret_cast<POINT*>(&place), 2);
    return place;
}

bool isPushButton(HWND window)
{
    char windowClass[16] = {};
    ::GetClassNameA(window, windowClass, sizeof windowClass);
    const auto type = ::GetWindowLongPtrA(window, GWL_STYLE) & BS_TYPEMASK;
    return ::lstrcmpiA(windowClass, "Button") == 0 && (type == BS_PUSHBUTTON || type == BS_DEFPUSHBUTTON);
}

bool takesFocus(HWND control)
{
    return control && ::IsWindowEnabled(control) && ::IsWindowVisible(control) &&
           (::GetWindowLongPtrA(control, GWL_STYLE) & WS_TABSTOP);
}

LRESULT staticColours(WPARAM deviceContext)
{
    const HDC dc = reinterpret_cast<HDC>(deviceContext);
    ::SetBkColor(dc, ::GetSysColor(COLOR_BTNFACE));
    ::SetTextColor(dc, ::GetSysColor(COLOR_BTNTEXT));
    return reinterpret_cast<LRESULT>(::GetSysColorBrush(COLOR_BTNFACE));
}

} // namespace

// ------------------------------------------------------------------ bindings

class FormWindow::Binding : public tk::ControlObserver {
public:
    Binding(FormWindow& owner, tk::TControl& control, HWND native)
        : owner_(owner)
        , control_(&control)
        , native_(native)
    {
        control.setObserver(this);
    }
    ~Binding() override
    {
        if (control_)
            control_->setObserver(nullptr);
    }
    Binding(const Binding&) = delete;
    Binding& operator=(const Binding&) = delete;

    void controlChanged(tk::TControl&) override { sync(); }
    virtual void sync() { showState(); }
    // A notification from the native control (a menu command has code 0).
    virtual void notify(int /*code*/) {}
    // A key the native control offers first (WM_VKEYTOITEM); true when taken.
    virtual bool key(int /*key*/) { return false; }

    void orphan() { control_ = nullptr; }
    HWND native() const { return native_; }

protected:
    void showState()
    {
        // Its own flag: a control of a hidden window counts as shown.
        const bool visible = (::GetWindowLongPtrA(native_, GWL_STYLE) & WS_VISIBLE) != 0;
        const bool enabled = ::IsWindowEnabled(native_) != FALSE;
        if (!control_->Visible() || !control_->Enabled())
            owner_.focusLeaves(native_);
        if (visible != control_->Visible())
            ::ShowWindow(native_, control_->Visible() ? SW_SHOWNA : SW_HIDE);
        if (enabled != control_->Enabled())
            ::EnableWindow(native_, control_->Enabled() ? TRUE : FALSE);
        if ((!visible || !enabled) && control_->Visible() && control_->Enabled())
            owner_.focusMayReturn(native_);
        owner_.setTip(native_, control_->GetHint());
    }

    // The operator's action on the control, run as an event handler.
    template <typename Control, typename Action>
    void act(Action action)
    {
        if (!control_)
            return;
        auto* control = static_cast<Control*>(control_);
        owner_.act([control, action] { action(*control); });
    }

    FormWindow& owner_;
    tk::TControl* control_;
    HWND native_;
};

namespace {

class LabelBinding final : public FormWindow::Binding {
public:
    LabelBinding(FormWindow& owner, tk::TControl& control, HWND native, bool oneLine)
        : Binding(owner, control, native)
        , oneLine_(oneLine)
    {
        LabelBinding::sync();
    }

    // A one-line label fits its text, and ends, at the latest, at the edge
    // of what holds it.
    void sync() override
    {
        if (!oneLine_) {
            if (textDiffers(native_, control_->GetText()))
                ::SetWindowTextA(native_, control_->GetText().c_str());
            showState();
            return;
        }
        RECT holder{};
        ::GetClientRect(::GetParent(native_), &holder);
        const RECT place = placeIn(native_);
        const TextMeasure measure(native_);
        const std::string shown =
            tk::ElideText(control_->GetText(), control_->GetHint(), holder.right - place.left,
                          [&measure](const std::string& text) { return measure.width(text); });
        if (textDiffers(native_, shown))
            ::SetWindowTextA(native_, shown.c_str());
        const int width = measure.width(shown);
        const int height = measure.height();
        if (place.right - place.left != width || place.bottom - place.top != height)
            ::SetWindowPos(native_, nullptr, 0, 0, width, height, SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
        showState();
    }

    void notify(int code) override
    {
        if (code == STN_CLICKED)
            act<tk::TLabel>([](tk::TLabel& label) { label.Click(); });
    }

private:
    bool oneLine_;
};

class ButtonBinding final : public FormWindow::Binding {
public:
    ButtonBinding(FormWindow& owner, tk::TControl& control, HWND native)
        : Binding(owner, control, native)
    {
        ButtonBinding::sync();
    }

    void sync() override
    {
        if (textDiffers(native_, control_->GetText()))
            ::SetWindowTextA(native_, control_->GetText().c_str());
        showState();
    }

    void notify(int code) override
    {
        if (code == BN_CLICKED)
            act<tk::TButton>([](tk::TButton& button) { button.Click(); });
    }
};

class ListBinding final : public FormWindow::Binding {
public:
    ListBinding(FormWindow& owner, tk::TControl& control, HWND native)
        : Binding(owner, control, native)
    {
        ListBinding::sync();
    }

    void sync() override
    {
        const auto& list = static_cast<const tk::TListBox&>(*control_);
        if (!sameItems(list)) {
            ::SendMessageA(native_, LB_RESETCONTENT, 0, 0);
            for (const std::string& item : list.Items)
                ::SendMessageA(native_, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(item.c_str()));
        }
        const int index = list.GetItemIndex();
        if (static_cast<int>(::SendMessageA(native_, LB_GETCURSEL, 0, 0)) != index)
            ::SendMessageA(native_, LB_SETCURSEL, static_cast<WPARAM>(index), 0);
        showState();
    }

    void notify(int code) override
    {
        if (code != LBN_SELCHANGE || !control_)
            return;
        const int row = static_cast<int>(::SendMessageA(native_, LB_GETCURSEL, 0, 0));
        if (row >= 0 && row != static_cast<const tk::TListBox&>(*control_).GetItemIndex()) {
            picked_ = true;
            act<tk::TListBox>([row](tk::TListBox& list) { list.Select(row); });
        }
        // The handler may have changed the selection again (a port that
        // would not open clears it): show where it ended.
        if (control_)
            sync();
    }

    // With nothing selected, the navigation keys pick as TListBox::KeyPicks
    // says, rather than as the native list would.
    bool key(int key) override
    {
        using Key = tk::TListBox::Key;
        static const std::map<int, Key> keys = {{VK_UP, Key::Up},     {VK_DOWN, Key::Down}, {VK_PRIOR, Key::PageUp},
                                                {VK_NEXT, Key::PageDown}, {VK_HOME, Key::Home}, {VK_END, Key::End}};
        const auto found = keys.find(key);
        const int count = static_cast<int>(::SendMessageA(native_, LB_GETCOUNT, 0, 0));
        if (found == keys.end() || count <= 0 || ::SendMessageA(native_, LB_GETCURSEL, 0, 0) != LB_ERR)
            return false;
        const int caret = static_cast<int>(::SendMessageA(native_, LB_GETCARETINDEX, 0, 0));
        const int row = tk::TListBox::KeyPicks(found->second, caret, count, picked_);
        if (row >= 0) {
            ::SendMessageA(native_, LB_SETCURSEL, static_cast<WPARAM>(row), 0);
            notify(LBN_SELCHANGE);
        }
        return true;
    }

private:
    bool sameItems(const tk::TListBox& list) const
    {
        if (static_cast<size_t>(::SendMessageA(native_, LB_GETCOUNT, 0, 0)) != list.Items.size())
            return false;
        for (size_t row = 0; row < list.Items.size(); ++row) {
            const auto length = ::SendMessageA(native_, LB_GETTEXTLEN, row, 0);
            std::string item(static_cast<size_t>(length > 0 ? length : 0) + 1, '\0');
            ::SendMessageA(native_, LB_GETTEXT, row, reinterpret_cast<LPARAM>(item.data()));
            item.resize(static_cast<size_t>(length > 0 ? length : 0));
            if (item != list.Items[row])
                return false;
        }
        return true;
    }

    // The operator has picked an item since the list was bound.
    bool picked_ = false;
};

class ProgressBinding final : public FormWindow::Binding {
public:
    ProgressBinding(FormWindow& owner, tk::TControl& control, HWND native)
        : Binding(owner, control, native)
    {
        ProgressBinding::sync();
    }

    void sync() override
    {
        const auto& bar = static_cast<const tk::TProgressBar&>(*control_);
        // An empty range is an empty bar.
        const int max = bar.Max() > bar.Min() ? bar.Max() : bar.Min() + 1;
        PBRANGE range{};
        ::SendMessageA(native_, PBM_GETRANGE, FALSE, reinterpret_cast<LPARAM>(&range));
        if (range.iLow != bar.Min() || range.iHigh != max)
            ::SendMessageA(native_, PBM_SETRANGE32, static_cast<WPARAM>(bar.Min()), max);
        if (static_cast<int>(::SendMessageA(native_, PBM_GETPOS, 0, 0)) != bar.Position())
            ::SendMessageA(native_, PBM_SETPOS, static_cast<WPARAM>(bar.Position()), 0);
        showState();
    }
};

class MenuBinding final : public FormWindow::Binding {
public:
    MenuBinding(FormWindow& owner, tk::TControl& control, HWND window, HMENU menu, UINT id, int position)
        : Binding(owner, control, window)
        , menu_(menu)
        , id_(id)
        , position_(position)
    {
        MenuBinding::sync();
    }

    void sync() override
    {
        // A caption of "-" is a separator line; items stay where the
        // description put them, so only the enabling follows the control.
        const UINT by = position_ >= 0 ? MF_BYPOSITION : MF_BYCOMMAND;
        const UINT item = position_ >= 0 ? static_cast<UINT>(position_) : id_;
        ::EnableMenuItem(menu_, item, by | (control_->Enabled() ? MF_ENABLED : MF_GRAYED));
        ::DrawMenuBar(native_);
    }

    void notify(int) override
    {
        act<tk::TMenuItem>([](tk::TMenuItem& item) { item.Click(); });
    }

private:
    HMENU menu_;
    UINT id_;
    int position_;
};

// Shows visibility and enabling only, for a control whose native control is
// of another kind than the control expects.
class StateBinding final : public FormWindow::Binding {
public:
    StateBinding(FormWindow& owner, tk::TControl& control, HWND native)
        : Binding(owner, control, native)
    {
        StateBinding::sync();
    }
};

} // namespace

// --------------------------------------------------------------- the window

FormWindow::FormWindow(Win32Backend& backend, tk::TForm& form, HWND owner)
    : backend_(backend)
    , form_(&form)
    , description_(form.Description())
    , owner_(owner)
{
    registerClasses();
    build();
    bind();
    dpi_ = dpiOf(window_);
    layOut({scale(description_.designLeft), scale(description_.designTop)});
}

FormWindow::~FormWindow()
{
    orphan();
    bindings_.clear();
    if (window_) {
        ::SetWindowLongPtrA(window_, GWLP_USERDATA, 0);
        ::DestroyWindow(window_);
    }
    for (auto& entry : pictures_)
        ::DeleteObject(entry.second);
    for (auto& entry : fonts_)
        ::DeleteObject(entry.second);
}

void FormWindow::orphan()
{
    form_ = nullptr;
    for (auto& binding : bindings_)
        binding->orphan();
}

HWND FormWindow::control(const std::string& name) const
{
    const auto found = controls_.find(name);
    return found == controls_.end() ? nullptr : found->second;
}

HFONT FormWindow::fontFor(const tk::FontDescription& font)
{
    const std::string family = font.family.empty() ? description_.font.family : font.family;
    const int points = font.pointSize > 0 ? font.pointSize : (description_.font.pointSize > 0 ? description_.font.pointSize : 8);
    const bool bold = font.bold || description_.font.bold;
    const std::string key = family + "/" + std::to_string(points) + (bold ? "b" : "");
    const auto found = fonts_.find(key);
    if (found != fonts_.end())
        return found->second;
    // The pixel height the size had on the 96 dpi screen the forms were
    // drawn on, scaled, so that the layout holds wherever the program runs.
    const int height = -scale(::MulDiv(points, designDpi, 72));
    const HFONT created = ::CreateFontA(height, 0, 0, 0, bold ? FW_BOLD : FW_NORMAL, FALSE, FALSE, FALSE, ANSI_CHARSET,
                                        OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY, DEFAULT_PITCH | FF_SWISS,
                                        family.empty() ? nullptr : family.c_str());
    fonts_[key] = created;
    return created;
}

void FormWindow::buildMenu()
{
    if (description_.menu.empty())
        return;
    menu_ = ::CreateMenu();
    UINT nextId = firstMenuId;
    // Items as the description orders them; an ampersand marks the access key.
    const std::function<void(HMENU, const std::vector<tk::MenuItemDescription>&)> fill =
        [&](HMENU menu, const std::vector<tk::MenuItemDescription>& items) {
            int position = 0;
            for (const tk::MenuItemDescription& item : items) {
                if (!item.items.empty()) {
                    const HMENU submenu = ::CreatePopupMenu();
                    fill(submenu, item.items);
                    ::AppendMenuA(menu, MF_POPUP | MF_STRING, reinterpret_cast<UINT_PTR>(submenu), item.text.c_str());
                    menuEntries_[item.name] = MenuEntry{menu, 0, position};
                } else if (item.text == "-") {
                    ::AppendMenuA(menu, MF_SEPARATOR, 0, nullptr);
                    menuEntries_[item.name] = MenuEntry{menu, 0, position};
                } else {
                    const UINT id = nextId++;
                    ::AppendMenuA(menu, MF_STRING, id, item.text.c_str());
                    menuEntries_[item.name] = MenuEntry{menu, id, -1};
                }
                ++position;
            }
        };
    fill(menu_, description_.menu);
}

void FormWindow::build()
{
    const bool dialog = description_.borderStyle == "dialog" || description_.kind == "QDialog";
    // Fixed single border: title bar, system menu, close box, and on the
    // main window a minimize button; nothing resizes or maximizes.
    const DWORD style = dialog ? (WS_POPUP | WS_CAPTION | WS_SYSMENU) : (WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX);
    const DWORD exStyle = WS_EX_CONTROLPARENT | (dialog ? WS_EX_DLGMODALFRAME : WS_EX_APPWINDOW);
    buildMenu();

    // Placed and sized once the resolution of its place is known.
    window_ = ::CreateWindowExA(exStyle, formClass, form_->Caption.c_str(), style, description_.designLeft,
                                description_.designTop, description_.clientWidth, description_.clientHeight, owner_,
                                menu_, ::GetModuleHandleA(nullptr), nullptr);
    if (!window_)
        throw std::runtime_error("cannot create the window of " + form_->Name() + ": " +
                                 platform::systemErrorText(::GetLastError()));
    ::SetWindowLongPtrA(window_, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
    ::SetWindowLongPtrA(window_, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&formProc));

    std::vector<HWND> panels;
    int id = firstControlId;
    for (const tk::ControlDescription& control : description_.controls) {
        // The main window's central widget is its client area.
        if (control.kind == "QWidget" && control.parent.empty()) {
            controls_[control.name] = window_;
            continue;
        }
        const HWND native = buildControl(control, id++);
        controls_[control.name] = native;
        if (control.kind == "QFrame" || control.kind == "QWidget")
            panels.push_back(native);
    }
    // Frames are drawn below what overlaps them (the About box's button
    // lies over its panel), and the tab order is the description's.
    for (const HWND panel : panels)
        ::SetWindowPos(panel, HWND_BOTTOM, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
    for (auto name = description_.tabOrder.rbegin(); name != description_.tabOrder.rend(); ++name)
        if (const HWND native = control(*name))
            ::SetWindowPos(native, HWND_TOP, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
}

HWND FormWindow::buildControl(const tk::ControlDescription& control, int id)
{
    HWND parent = window_;
    if (!control.parent.empty())
        if (const HWND holder = this->control(control.parent))
            parent = holder;

    DWORD style = WS_CHILD | WS_CLIPSIBLINGS | (control.visible ? WS_VISIBLE : 0) | (control.enabled ? 0 : WS_DISABLED);
    DWORD exStyle = 0;
    const char* windowClass = panelClass;
    const std::string pixmap = control.property("pixmap");
    if (control.kind == "QLabel" && !pixmap.empty()) {
        windowClass = "STATIC";
        style |= SS_BITMAP;
    } else if (control.kind == "QLabel") {
        windowClass = "STATIC";
        // Clickable, and an ampersand is text, not an access key. A label
        // that fits its text keeps it on one line; the others wrap.
        const bool oneLine = control.property("autoSize") == "true";
        style |= (oneLine ? SS_LEFTNOWORDWRAP : SS_LEFT) | SS_NOPREFIX | SS_NOTIFY;
    } else if (control.kind == "QPushButton") {
        windowClass = "BUTTON";
        const bool isDefault = control.property("default") == "true";
        style |= WS_TABSTOP | (isDefault ? BS_DEFPUSHBUTTON : BS_PUSHBUTTON);
        if (isDefault)
            defaultButton_ = id;
    } else if (control.kind == "QListWidget") {
        windowClass = "LISTBOX";
        style |= WS_TABSTOP | WS_VSCROLL | LBS_NOTIFY | LBS_NOINTEGRALHEIGHT | LBS_WANTKEYBOARDINPUT;
        exStyle |= WS_EX_CLIENTEDGE;
    } else if (control.kind == "QProgressBar") {
        windowClass = PROGRESS_CLASSA;
    } else {
        // Frames and containers hold controls of their own.
        exStyle |= WS_EX_CONTROLPARENT;
    }

    // Placed, sized and given its font by layOut.
    const HWND native = ::CreateWindowExA(exStyle, windowClass, "", style, control.left, control.top, control.width,
                                          control.height, parent, reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)),
                                          ::GetModuleHandleA(nullptr), nullptr);
    if (!native)
        throw std::runtime_error("cannot create " + control.name + ": " + platform::systemErrorText(::GetLastError()));

    if (windowClass == panelClass) {
        ::SetWindowLongPtrA(native, GWLP_USERDATA, static_cast<LONG_PTR>(frameEdge(control)));
        ::SetWindowLongPtrA(native, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&panelProc));
    }
    if (!control.text.empty())
        ::SetWindowTextA(native, control.text.c_str());
    return native;
}

void FormWindow::bind()
{
    for (tk::TControl* control : form_->Controls()) {
        std::unique_ptr<Binding> binding;
        if (const auto entry = menuEntries_.find(control->Name()); entry != menuEntries_.end()) {
            const MenuEntry& item = entry->second;
            binding = std::make_unique<MenuBinding>(*this, *control, window_, item.menu, item.id, item.position);
            if (item.id != 0)
                bindingsById_[static_cast<int>(item.id)] = binding.get();
        } else {
            const HWND native = this->control(control->Name());
            if (!native)
                throw std::logic_error(form_->Name() + " has no native control for " + control->Name());
            const tk::ControlDescription* described = description_.control(control->Name());
            const std::string kind = described ? described->kind : "";
            if (dynamic_cast<tk::TListBox*>(control) && kind == "QListWidget")
                binding = std::make_unique<ListBinding>(*this, *control, native);
            else if (dynamic_cast<tk::TProgressBar*>(control) && kind == "QProgressBar")
                binding = std::make_unique<ProgressBinding>(*this, *control, native);
            else if (dynamic_cast<tk::TButton*>(control) && kind == "QPushButton")
                binding = std::make_unique<ButtonBinding>(*this, *control, native);
            else if (dynamic_cast<tk::TLabel*>(control) && kind == "QLabel")
                binding = std::make_unique<LabelBinding>(*this, *control, native,
                                                         described->property("autoSize") == "true");
            else
                binding = std::make_unique<StateBinding>(*this, *control, native);
            bindingsById_[::GetDlgCtrlID(native)] = binding.get();
        }
        bindings_.push_back(std::move(binding));
    }
}

void FormWindow::show()
{
    if (::IsIconic(window_))
        ::ShowWindow(window_, SW_RESTORE);
    ::ShowWindow(window_, SW_SHOW);
    ::SetForegroundWindow(window_);
    ::BringWindowToTop(window_);
    if (!focus_ || !::IsWindow(focus_))
        focus_ = control(description_.activeControl);
    restoreFocus();
}

void FormWindow::restoreFocus()
{
    if (takesFocus(focus_)) {
        ::SetFocus(focus_);
        return;
    }
    const HWND first = ::GetNextDlgTabItem(window_, nullptr, FALSE);
    if (takesFocus(first))
        ::SetFocus(first);
}

void FormWindow::focusLeaves(HWND control)
{
    const HWND focused = ::GetFocus();
    if (!focused || (focused != control && !::IsChild(control, focused)))
        return;
    const HWND next = ::GetNextDlgTabItem(window_, control, FALSE);
    ::SetFocus(next && next != control && takesFocus(next) ? next : window_);
}

void FormWindow::focusMayReturn(HWND control)
{
    if (::GetFocus() == window_ && takesFocus(control))
        ::SetFocus(control);
}

void FormWindow::setTip(HWND control, const std::string& text)
{
    std::string& shown = tipTexts_[control];
    if (shown == text)
        return;
    if (!tips_) {
        tips_ = ::CreateWindowExA(WS_EX_TOPMOST, TOOLTIPS_CLASSA, nullptr, WS_POPUP | TTS_ALWAYSTIP | TTS_NOPREFIX,
                                  CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, window_, nullptr,
                                  ::GetModuleHandleA(nullptr), nullptr);
        if (!tips_)
            return;
    }
    TOOLINFOA tool{};
    tool.cbSize = sizeof tool;
    tool.uFlags = TTF_IDISHWND | TTF_SUBCLASS;
    tool.hwnd = ::GetParent(control);
    tool.uId = reinterpret_cast<UINT_PTR>(control);
    tool.lpszText = const_cast<char*>(text.c_str());
    const UINT request = shown.empty() ? TTM_ADDTOOLA : text.empty() ? TTM_DELTOOLA : TTM_UPDATETIPTEXTA;
    ::SendMessageA(tips_, request, 0, reinterpret_cast<LPARAM>(&tool));
    shown = text;
}

int FormWindow::scale(int value) const
{
    return scaledTo(value, dpi_);
}

void FormWindow::layOut(POINT topLeft)
{
    std::map<std::string, HFONT> previousFonts;
    previousFonts.swap(fonts_);
    ::SendMessageA(window_, WM_SETFONT, reinterpret_cast<WPARAM>(fontFor(description_.font)), FALSE);

    int clientWidth = scale(description_.clientWidth);
    const int clientHeight = scale(description_.clientHeight);
    for (const tk::ControlDescription& described : description_.controls) {
        const HWND native = control(described.name);
        if (!native || native == window_)
            continue;
        ::SetWindowPos(native, nullptr, scale(described.left), scale(described.top), scale(described.width),
                       scale(described.height), SWP_NOZORDER | SWP_NOACTIVATE);
        ::SendMessageA(native, WM_SETFONT, reinterpret_cast<WPARAM>(fontFor(described.font)), TRUE);
        if (described.kind == "QListWidget") {
            const int itemHeight = std::stoi(described.property("itemHeight", "0"));
            if (itemHeight > 0)
                ::SendMessageA(native, LB_SETITEMHEIGHT, 0, scale(itemHeight));
        }
        if (const std::string pixmap = described.property("pixmap"); !pixmap.empty()) {
            const HBITMAP picture = loadPicture(pixmap, scale(described.width), scale(described.height),
                                                ::GetSysColor(COLOR_BTNFACE));
            ::SendMessageA(native, STM_SETIMAGE, IMAGE_BITMAP, reinterpret_cast<LPARAM>(picture));
            HBITMAP& kept = pictures_[described.name];
            if (kept)
                ::DeleteObject(kept);
            kept = picture;
        }
        // A one-line label on the form itself gets the room its designed
        // text needs: where the form is too narrow for it in this font, the
        // form grows.
        const bool onForm = described.parent.empty() || control(described.parent) == window_;
        if (onForm && described.property("autoSize") == "true")
            clientWidth = std::max(clientWidth, scale(described.left) + TextMeasure(native).width(described.text));
    }

    const auto style = static_cast<DWORD>(::GetWindowLongPtrA(window_, GWL_STYLE));
    const auto exStyle = static_cast<DWORD>(::GetWindowLongPtrA(window_, GWL_EXSTYLE));
    RECT outer{0, 0, clientWidth, clientHeight};
    adjustWindowRect(outer, style, menu_ != nullptr, exStyle, dpi_);
    ::SetWindowPos(window_, nullptr, topLeft.x, topLeft.y, outer.right - outer.left, outer.bottom - outer.top,
                   SWP_NOZORDER | SWP_NOACTIVATE);
    // A menu bar that takes another height than the system assumed (a
    // wrapped one, say) must not take it from the client area.
    RECT client{};
    ::GetClientRect(window_, &client);
    const int missingWidth = clientWidth - (client.right - client.left);
    const int missingHeight = clientHeight - (client.bottom - client.top);
    if (missingWidth != 0 || missingHeight != 0)
        ::SetWindowPos(window_, nullptr, 0, 0, outer.right - outer.left + missingWidth,
                       outer.bottom - outer.top + missingHeight, SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);

    // Labels fit their texts in the new fonts, and within the new room.
    if (form_)
        for (auto& binding : bindings_)
            binding->sync();
    for (auto& entry : previousFonts)
        ::DeleteObject(entry.second);
    ::InvalidateRect(window_, nullptr, TRUE);
}

void FormWindow::hide()
{
    ::ShowWindow(window_, SW_HIDE);
}

void FormWindow::act(const std::function<void()>& action)
{
    if (form_)
        backend_.dispatch(form_->Application(), action);
}

void FormWindow::command(int id, int code)
{
    if (!form_)
        return;
    const auto found = bindingsById_.find(id);
    if (found != bindingsById_.end()) {
        found->second->notify(code);
        return;
    }
    // Escape and the close command of a dialog close it; Enter goes to the
    // default button (DM_GETDEFID). The main window has neither.
    if (id == tk::IDCANCEL && owner_) {
        tk::TForm* form = form_;
        act([form] { form->Close(); });
    }
}

FormWindow::Binding* FormWindow::bindingOf(HWND control) const
{
    const auto found = bindingsById_.find(::GetDlgCtrlID(control));
    return found == bindingsById_.end() ? nullptr : found->second;
}

LRESULT FormWindow::handle(UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case WM_COMMAND:
        command(LOWORD(wParam), HIWORD(wParam));
        return 0;
    case WM_VKEYTOITEM: {
        Binding* list = form_ ? bindingOf(reinterpret_cast<HWND>(lParam)) : nullptr;
        return list && list->key(LOWORD(wParam)) ? -2 : -1;
    }
    case DM_GETDEFID: {
        // Enter presses the focused push button, in a main window too, and
        // otherwise the form's default button.
        const HWND focused = ::GetFocus();
        if (focused && ::IsChild(window_, focused) && isPushButton(focused))
            return MAKELRESULT(::GetDlgCtrlID(focused), DC_HASDEFID);
        return defaultButton_ ? MAKELRESULT(defaultButton_, DC_HASDEFID) : 0;
    }
    case WM_DPICHANGED: {
        // Moved to a monitor of another resolution: the system suggests
        // where the window goes; its size is the form's at the new one.
        dpi_ = LOWORD(wParam);
        const auto* suggested = reinterpret_cast<const RECT*>(lParam);
        layOut({suggested->left, suggested->top});
        return 0;
    }
    case WM_CLOSE: {
        // The form decides: its close query and close handler run, and the
        // window is hidden or the application ends through the form.
        tk::TForm* form = form_;
        if (form)
            act([form] { form->Close(); });
        return 0;
    }
    case WM_ACTIVATE:
        // The focus leaves with the window and comes back where it was.
        if (LOWORD(wParam) == WA_INACTIVE) {
            const HWND focused = ::GetFocus();
            if (focused && ::IsChild(window_, focused))
                focus_ = focused;
            return ::DefWindowProcA(window_, message, wParam, lParam);
        }
        ::DefWindowProcA(window_, message, wParam, lParam);
        if (form_)
            form_->Application().setActiveForm(form_);
        restoreFocus();
        return 0;
    case WM_HELP:
        // F1: the application's help, through its help handler.
        if (form_) {
            tk::TApplication* application = &form_->Application();
            act([application] { application->HelpCommand(tk::HELP_CONTENTS, 0); });
        }
        return TRUE;
    case WM_CTLCOLORSTATIC:
        return staticColours(wParam);
    default:
        return ::DefWindowProcA(window_, message, wParam, lParam);
    }
}

LRESULT CALLBACK FormWindow::formProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    auto* self = reinterpret_cast<FormWindow*>(::GetWindowLongPtrA(window, GWLP_USERDATA));
    if (!self)
        return ::DefWindowProcA(window, message, wParam, lParam);
    return self->handle(message, wParam, lParam);
}

LRESULT CALLBACK FormWindow::panelProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case WM_PAINT: {
        PAINTSTRUCT paint{};
        const HDC dc = ::BeginPaint(window, &paint);
        const auto edge = static_cast<UINT>(::GetWindowLongPtrA(window, GWLP_USERDATA));
        if (edge) {
            RECT area{};
            ::GetClientRect(window, &area);
            ::DrawEdge(dc, &area, edge, BF_RECT);
        }
        ::EndPaint(window, &paint);
        return 0;
    }
    // What its controls tell, it passes on to the form.
    case WM_COMMAND:
    case platform::WM_NOTIFY:
    case WM_VKEYTOITEM:
    case DM_GETDEFID:
        return ::SendMessageA(::GetParent(window), message, wParam, lParam);
    case WM_CTLCOLORSTATIC:
        return staticColours(wParam);
    default:
        return ::DefWindowProcA(window, message, wParam, lParam);
    }
}

} // namespace tkwin
