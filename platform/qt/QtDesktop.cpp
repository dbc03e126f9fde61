#include "platform/qt/QtDesktop.h"

#include <QApplication>
#include <QCursor>
#include <QGuiApplication>
#include <QScreen>

namespace platform {

namespace {

bool haveGuiApplication()
{
    return qobject_cast<QGuiApplication*>(QCoreApplication::instance()) != nullptr;
}

} // namespace

POINT QtDesktop::cursorPos()
{
    if (!haveGuiApplication())
        return SystemDesktop::cursorPos();
    const QPoint pos = QCursor::pos();
    return {pos.x(), pos.y()};
}

void QtDesktop::setCursor(HCURSOR cursor)
{
    // Widgets choose their own cursor shapes; all the program ever asks for
    // is the arrow, which matters only while a busy cursor overrides them.
    if (!haveGuiApplication() || cursor != IDC_ARROW)
        return;
    if (QGuiApplication::overrideCursor())
        QGuiApplication::changeOverrideCursor(QCursor(Qt::ArrowCursor));
}

RECT QtDesktop::workArea()
{
    if (!haveGuiApplication())
        return SystemDesktop::workArea();
    const QScreen* screen = QGuiApplication::primaryScreen();
    if (!screen)
        return SystemDesktop::workArea();
    const QRect area = screen->availableGeometry();
    return {area.left(), area.top(), area.left() + area.width(), area.top() + area.height()};
}

void QtDesktop::beep(uint32_t frequency, uint32_t durationMs)
{
    if (qobject_cast<QApplication*>(QCoreApplication::instance()))
        QApplication::beep();
    else
        SystemDesktop::beep(frequency, durationMs);
}

void QtDesktop::messageBeep(uint32_t)
{
    beep(0, 0);
}

} // namespace platform
