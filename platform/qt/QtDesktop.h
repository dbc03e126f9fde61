// The desktop as Qt sees it, for the Qt front end: install one with a
// ScopedDesktop once the QApplication exists. Built as the separate library
// kpxqtdesktop so that the core stays free of Qt. Without a QGuiApplication
// it behaves like the system desktop.
#pragma once

#include "platform/Desktop.h"

namespace platform {

class QtDesktop final : public SystemDesktop {
public:
    POINT cursorPos() override;
    void setCursor(HCURSOR cursor) override;
    RECT workArea() override;
    void beep(uint32_t frequency, uint32_t durationMs) override;
    void messageBeep(uint32_t type) override;
};

} // namespace platform
