// Qt's view of the desktop, with and without a QApplication.
#include "platform/qt/QtDesktop.h"

#include <QApplication>
#include <QCursor>

#include <gtest/gtest.h>

namespace {

TEST(QtDesktop, FallsBackWithoutAnApplicationAndAsksQtWithOne)
{
    platform::QtDesktop desktop;
    EXPECT_EQ(desktop.workArea().right, 1024);
    EXPECT_EQ(desktop.workArea().bottom, 768);

    int argc = 1;
    char name[] = "help_qt_desktop_tests";
    char* argv[] = {name, nullptr};
    QApplication application(argc, argv);
    QCursor::setPos(40, 30);
    EXPECT_EQ(desktop.cursorPos().x, QCursor::pos().x());
    EXPECT_EQ(desktop.cursorPos().y, QCursor::pos().y());

    // The arrow replaces a busy cursor.
    QGuiApplication::setOverrideCursor(QCursor(Qt::WaitCursor));
    desktop.setCursor(platform::IDC_ARROW);
    ASSERT_NE(QGuiApplication::overrideCursor(), nullptr);
    EXPECT_EQ(QGuiApplication::overrideCursor()->shape(), Qt::ArrowCursor);
    QGuiApplication::restoreOverrideCursor();
}

} // namespace
