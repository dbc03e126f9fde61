// One form's window: built from the form's description, its controls bound
// to the form's by name. Used by Win32Backend only.
#pragma once

#include "platform/win/Win32.h"
#include "toolkit/Application.h"
#include "toolkit/Controls.h"
#include "toolkit/FormDescription.h"
#include "toolkit/win/Dpi.h"

#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

namespace tkwin {

class Win32Backend;

class FormWindow {
public:
    // owner: the window that owns this one, or null for the main window.
    FormWindow(Win32Backend& backend, tk::TForm& form, HWND owner);
    ~FormWindow();
    FormWindow(const FormWindow&) = delete;
    FormWindow& operator=(const FormWindow&) = delete;

    HWND handle() const { return window_; }
    // The native control of that name; null if none.
    HWND control(const std::string& name) const;

    // Shows the window and brings it to the front with the focus where it
    // was, or on the form's first control.
    void show();
    void hide();

    // The keyboard focus follows the controls: a control that can no longer
    // take it (disabled or hidden) while it has it hands it on to the next
    // control of the tab order that can (the window keeps it when none
    // can), and one that can take it again takes it while the window holds
    // it itself, so the keyboard always reaches a control when there is one.
    void focusLeaves(HWND control);
    void focusMayReturn(HWND control);
    // The control's tool tip; none for an empty text.
    void setTip(HWND control, const std::string& text);

    // The form is being destroyed: nothing may touch it or its controls.
    void orphan();

    // Control state to native control, one binding per bound control.
    class Binding;

private:
    static LRESULT CALLBACK formProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
    static LRESULT CALLBACK panelProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
    LRESULT handle(UINT message, WPARAM wParam, LPARAM lParam);

    void build();
    void buildMenu();
    HWND buildControl(const tk::ControlDescription& control, int id);
    HFONT fontFor(const tk::FontDescription& font);
    void bind();
    // Places and sizes the window and its controls, with their fonts and
    // pictures, from the description's 96 dpi pixels at the window's
    // resolution; the window's outer corner goes to topLeft.
    void layOut(POINT topLeft);
    int scale(int value) const;
    // The focus back where it was, or on the first control that takes it.
    void restoreFocus();
    // Runs an operator action on the form through the backend.
    void act(const std::function<void()>& action);
    void command(int id, int code);
    Binding* bindingOf(HWND control) const;

    Win32Backend& backend_;
    tk::TForm* form_;
    const tk::FormDescription& description_;
    HWND owner_;
    HWND window_ = nullptr;
    HMENU menu_ = nullptr;
    std::map<std::string, HWND> controls_;
    unsigned dpi_ = designDpi;
    // By family, size and weight, at dpi_.
    std::map<std::string, HFONT> fonts_;
    // By control name.
    std::map<std::string, HBITMAP> pictures_;
    HWND tips_ = nullptr;
    std::map<HWND, std::string> tipTexts_;
    // Menu commands by item name: their menu and command id; submenus by the
    // menu that holds them and their position there.
    struct MenuEntry {
        HMENU menu = nullptr;
        UINT id = 0;
        int position = -1;
    };
    std::map<std::string, MenuEntry> menuEntries_;
    std::vector<std::unique_ptr<Binding>> bindings_;
    std::map<int, Binding*> bindingsById_;
    int defaultButton_ = 0;
    HWND focus_ = nullptr;
};

} // namespace tkwin
