// The window program as the technician runs it, with the real help engine
// and the real manual found beside the program: Help File, the socket's
// topic, search and popup calls, and the help window closing with the
// program.
#include "app/UI.h"
#include "app/gui/Updater.h"
#include "platform/qt/QtDesktop.h"
#include "tests/gui/ModalScript.h"
#include "toolkit/qt/QtBackend.h"

#include <QAction>
#include <QApplication>
#include <QLabel>
#include <QAbstractItemView>
#include <QElapsedTimer>
#include <QTabWidget>
#include <QTextBrowser>
#include <QTimer>

#include <gtest/gtest.h>

namespace {

QWidget* shown(const char* objectName)
{
    for (QWidget* window : QApplication::topLevelWidgets())
        if (window->isVisible() && window->objectName() == QLatin1String(objectName))
            return window;
    return nullptr;
}

TEST(HelpInTheWindow, ManualTopicsSearchPopupAndCloseWithTheProgram)
{
    tk::setProgramPath(KPX_TEST_PROGRAM);
    platform::QtDesktop desktop;
    platform::ScopedDesktop scopedDesktop(desktop);
    tkqt::QtBackend backend;
    guitest::ModalScript script(backend);
    script.expect("Close application ?", tk::mrYes);
    gui::UpdaterOptions options;
    options.window.simulate = true;

    QTimer::singleShot(0, [&] {
        TkyAppHelpSocket& socket = frmUpdate->kyAppHelpSocket1;
        backend.window(*frmUpdate)->findChild<QAction*>("HelpFile1")->trigger();
        QWidget* help = shown("kpxHelpWindow");
        ASSERT_NE(help, nullptr);
        EXPECT_EQ(help->findChild<QTabWidget*>("navigation")->currentWidget()->objectName(), "contents");
        // The manual beside the program, not any help file.
        const auto* contents = help->findChild<QAbstractItemView*>("contents")->model();
        EXPECT_EQ(contents->index(0, 0).data().toString(), "About the M740-RT Updater");

        const auto* topic = help->findChild<QTextBrowser*>("topic");
        EXPECT_TRUE(socket.ShowTopicByID(1005));
        EXPECT_TRUE(topic->source().path().endsWith("/checkvalue.htm")) << topic->source().toString().toStdString();
        EXPECT_EQ(topic->documentTitle(), "The check value");

        // "dialout" is only in the chapter on serial ports. The viewer
        // answers from a worker thread.
        EXPECT_NE(socket.HHShowSearchTab("dialout", "", false, false, true), 0);
        const auto* results = help->findChild<QAbstractItemView*>("searchResults")->model();
        QElapsedTimer waited;
        waited.start();
        while (results->index(0, 0).data().toString().endsWith("...") && waited.elapsed() < 5000)
            QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
        ASSERT_EQ(results->rowCount(), 1);
        EXPECT_EQ(results->index(0, 0).data().toString(), "Serial ports on Linux");

        EXPECT_NE(socket.PopupText({100, 100}, "Hold the backlight key"), 0);
        QWidget* popup = shown("kpxHelpPopup");
        ASSERT_NE(popup, nullptr);
        const auto* text = popup->findChild<QLabel*>("popupText");
        EXPECT_EQ(text->text(), "Hold the backlight key");
        EXPECT_EQ(text->font().families().value(0).toStdString(), socket.HHPopupWindow->Font.Name);
        EXPECT_EQ(text->font().pointSize(), socket.HHPopupWindow->Font.Size());
        popup->close();

        backend.window(*frmUpdate)->findChild<QAction*>("Exit1")->trigger();
    });
    QTimer watchdog;
    watchdog.setSingleShot(true);
    QObject::connect(&watchdog, &QTimer::timeout, [] {
        ADD_FAILURE() << "message loop did not end";
        QCoreApplication::exit(1);
    });
    watchdog.start(10000);

    EXPECT_EQ(gui::runUpdater(backend, options), 0);
    EXPECT_EQ(frmUpdate, nullptr);
    EXPECT_EQ(shown("kpxHelpWindow"), nullptr);
    tk::setProgramPath({});
}

} // namespace
