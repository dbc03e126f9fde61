// Drives real windows as an operator would, from inside their message
// loops: a thread timer takes the script's steps in order, whichever loop
// is running (the program's, a message box's, the update's own message
// processing), so a test can answer the modal boxes of a handler that is
// still running.
#pragma once

#include "platform/win/Win32.h"

#include <functional>
#include <string>
#include <vector>

namespace win_test {

class WindowDriver {
public:
    WindowDriver();
    // Stops the timer; the steps not taken are reported by pending().
    ~WindowDriver();
    WindowDriver(const WindowDriver&) = delete;
    WindowDriver& operator=(const WindowDriver&) = delete;

    // Adds a step: once ready() holds, act() runs, then the next step waits.
    WindowDriver& then(std::string what, std::function<bool()> ready, std::function<void()> act);
    // The usual step: a shown window of this program with that caption, and
    // a press on its button of that text.
    WindowDriver& press(const std::string& caption, const std::string& button);

    bool done() const { return next_ >= steps_.size(); }
    // What the first step not yet taken waits for.
    std::string pending() const;

    // A shown top-level window of this thread with that caption; null if none.
    static HWND shown(const std::string& caption);
    // The texts of a window's buttons, access-key ampersands removed.
    static std::vector<std::string> buttons(HWND window);
    static HWND button(HWND window, const std::string& text);
    static std::string text(HWND window);
    // Clicks, as the button's own click would, once the loop gets to it.
    static void click(HWND button);
    // The menu command of the window's menu at that path of positions.
    static void menu(HWND window, std::vector<int> path);
    // A key pressed and released on the keyboard, with Alt held when asked:
    // it goes where the system sends the keyboard, to the focused window.
    static void key(WORD virtualKey, bool alt = false);

private:
    struct Step {
        std::string what;
        std::function<bool()> ready;
        std::function<void()> act;
    };
    static void CALLBACK tick(HWND, UINT, UINT_PTR, DWORD);

    std::vector<Step> steps_;
    size_t next_ = 0;
    UINT_PTR timer_ = 0;
    ULONGLONG lastProgress_ = 0;
};

// Saves the screen's pixels inside the rectangle as a PNG file; false when
// it cannot.
bool saveScreenshot(const RECT& area, const std::string& path);

} // namespace win_test
