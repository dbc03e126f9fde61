// Desktop seam: the mouse cursor, the work area, the speaker and the shell's
// "open". Every such call in the program goes through the current Desktop, so
// tests can place the cursor, shrink the work area and record beeps and
// opened addresses (FakeDesktop), and the Qt front end can install a desktop
// that asks Qt (QtDesktop) without the core depending on Qt.
#pragma once

#include "platform/Win.h"

#include <cstdint>
#include <string>

namespace platform {

using HCURSOR = intptr_t;
// The only cursor the program sets.
constexpr HCURSOR IDC_ARROW = 32512;

class Desktop {
public:
    virtual ~Desktop() = default;

    virtual POINT cursorPos() = 0;
    virtual void setCursor(HCURSOR cursor) = 0;
    // The primary screen without its panels and task bars.
    virtual RECT workArea() = 0;
    virtual void beep(uint32_t frequency, uint32_t durationMs) = 0;
    // The default sound of a message (MessageBeep).
    virtual void messageBeep(uint32_t type) = 0;
    // Hands a file or web address to the desktop's handler; true when the
    // handler was started.
    virtual bool shellOpen(const std::string& file) = 0;
};

// Linux without a display: the cursor at (0, 0), a 1024x768 work area,
// beeps as "\a" on a terminal, addresses opened with xdg-open. Windows: the
// system's cursor, work area, speaker and shell.
class SystemDesktop : public Desktop {
public:
    POINT cursorPos() override;
    void setCursor(HCURSOR cursor) override;
    RECT workArea() override;
    void beep(uint32_t frequency, uint32_t durationMs) override;
    void messageBeep(uint32_t type) override;
    bool shellOpen(const std::string& file) override;
};

Desktop& systemDesktop();
// The desktop in force; the system desktop unless a ScopedDesktop overrides it.
Desktop& currentDesktop();

// Installs a desktop for the lifetime of the object and restores the
// previous one afterwards. Not thread-safe: the program has one UI thread.
class ScopedDesktop {
public:
    explicit ScopedDesktop(Desktop& desktop);
    ~ScopedDesktop();
    ScopedDesktop(const ScopedDesktop&) = delete;
    ScopedDesktop& operator=(const ScopedDesktop&) = delete;

private:
    Desktop* previous_;
};

// Win32-shaped entry points used by the help layer.
bool GetCursorPos(POINT* point);
HCURSOR SetCursor(HCURSOR cursor); // returns the cursor set before, 0 at first
constexpr uint32_t SPI_GETWORKAREA = 0x0030;
// Only SPI_GETWORKAREA is supported; param points to a RECT.
bool SystemParametersInfoA(uint32_t action, uint32_t uiParam, void* param, uint32_t winIni);
bool Beep(uint32_t frequency, uint32_t durationMs);
bool MessageBeep(uint32_t type);

constexpr int SW_SHOWNORMAL = 1;
// Only the verbs "open" and null (the default verb) are supported, without
// parameters. Returns a value above 32 on success, as the Win32 call does;
// SE_ERR_NOASSOC (31) for an unsupported request or a missing handler.
intptr_t ShellExecuteA(HWND window, const char* operation, const char* file, const char* parameters,
                       const char* directory, int showCmd);

} // namespace platform
