// Qt's view of the desktop, with and without a QApplication.
#include "platform/QtDesktop.h"

#include <QApplication>
#include <QCursor>

#include <gtest/gtest.h>

namespace {

TEST(QtDesktop, FallsBackWithoutAnApplicationAndAsksQtWithOne)
{
    platform::QtDesktop desktop;
    const platform::RECT fallback = desktop.workArea();
    EXPECT_EQ(fallback.right, 1024);
    EXPECT_EQ(fallback.bottom, 768);

    int argc = 1;
    char name[] = "help_qt_desktop_tests";
    char* argv[] = {name, nullptr};
    QApplication application(argc, argv);
    const platform::RECT area = desktop.workArea();
    EXPECT_GT(area.right - area.left, 0);
    EXPECT_GT(area.bottom - area.top, 0);

    QCursor::setPos(40, 30);
    const platform::POINT cursor = desktop.cursorPos();
    const QPoint expected = QCursor::pos();
    EXPECT_EQ(cursor.x, expected.x());
    EXPECT_EQ(cursor.y, expected.y());

    QGuiApplication::setOverrideCursor(QCursor(Qt::WaitCursor));
    desktop.setCursor(platform::IDC_ARROW);
    ASSERT_NE(QGuiApplication::overrideCursor(), nullptr);
    EXPECT_EQ(QGuiApplication::overrideCursor()->shape(), Qt::ArrowCursor);
    QGuiApplication::restoreOverrideCursor();
    desktop.beep(1000, 100);
}

} // namespace
