// One form's window: built from the form's description, its controls bound
// to the form's by name. Used by Win32Backend only.
#pragma once

#include "platform/win/Win32.h"
#include "toolkit/Application.h"
#include "toolkit/Controls.h"
#include "toolkit/FormDescription.h"

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
    // Runs an operator action on the form through the backend.
    void act(const std::function<void()>& action);
    void command(int id, int code);
    // The first navigation key in a list without a selection selects the
    // item at the caret, as a click on it would. True when taken.
    bool listKey(HWND list, int key);

    Win32Backend& backend_;
    tk::TForm* form_;
    const tk::FormDescription& description_;
    HWND owner_;
    HWND window_ = nullptr;
    HMENU menu_ = nullptr;
    std::map<std::string, HWND> controls_;
    std::map<std::string, HFONT> fonts_;
    std::vector<HBITMAP> pictures_;
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
