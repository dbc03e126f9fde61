// The real windows, built from their form descriptions and driven through
// their widgets against the simulated instrument on a virtual clock: what
// only the Qt layer can get wrong (bindings, focus, modal boxes and where
// they go, the loop ending); the update's own rules are checked headless.
#include "app/UI.h"
#include "app/gui/Windows.h"
#include "dialogs/about.h"
#include "dialogs/download.h"
#include "image/sample/SampleFirmware.h"
#include "platform/VirtualClock.h"
#include "sim/Atmega128.h"
#include "sim/SimComPort.h"
#include "tests/app/UpdateRig.h"
#include "tests/gui/ModalScript.h"
#include "toolkit/qt/QtBackend.h"

#include <QAction>
#include <QApplication>
#include <QLabel>
#include <QListWidget>
#include <QProgressBar>
#include <QPushButton>
#include <QTest>
#include <QTimer>

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

namespace {

class UpdaterWindowTest : public ::testing::Test {
protected:
    // The image is read from the current folder, as in the field.
    void SetUp() override { std::ofstream("KPXUpdate517.hex", std::ios::binary) << sample_firmware::toIntelHex(image); }
    void TearDown() override
    {
        statusWatch_.stop();
        app.reset();
    }

    // A fresh application with its three windows, the main one active.
    void start()
    {
        app.reset();
        device = std::make_unique<sim::Atmega128>();
        auto simPort = std::make_unique<sim::SimComPort>(*device);
        port = simPort.get();
        app = std::make_unique<tk::TApplication>(backend);
        form = &app->CreateForm<TfrmUpdate>(std::move(simPort));
        gui::attach(backend, *form);
        gui::attach(backend, app->CreateForm<TAboutBox>());
        gui::attach(backend, app->CreateForm<TPagesDlg>());
        form->Show();
        ASSERT_TRUE(QTest::qWaitForWindowActive(mainWindow()));
    }

    QWidget* mainWindow() const { return backend.window(*form); }
    template <typename Widget>
    Widget& widget(const char* name) const
    {
        auto* found = mainWindow()->findChild<Widget*>(name);
        EXPECT_NE(found, nullptr) << name;
        return *found;
    }
    QAction& action(const char* name) const { return *mainWindow()->findChild<QAction*>(name); }
    QString status() const { return widget<QLabel>("lblProgress").text(); }
    void clickUpdate() { QTest::mouseClick(&widget<QPushButton>("btnUpdate"), Qt::LeftButton); }
    void pickPort(int row)
    {
        auto& list = widget<QListWidget>("lboxComPort");
        QTest::mouseClick(list.viewport(), Qt::LeftButton, {}, list.visualItemRect(list.item(row)).center());
    }

    // Runs action at the first processing of pending messages that finds
    // the status line showing text, after letting `skip` of them go by: when
    // an operator's click arriving then would be handled.
    void atStatus(const QString& text, std::function<void()> action, int skip = 0)
    {
        statusWatch_.disconnect();
        statusWatch_.setInterval(0);
        QObject::connect(&statusWatch_, &QTimer::timeout, [this, text, action, skip]() mutable {
            if (status() != text || skip-- > 0)
                return;
            statusWatch_.stop();
            action();
        });
        statusWatch_.start();
    }

    app_test::TempFolder folder_;
    std::vector<uint8_t> image = sample_firmware::buildImage();
    platform::VirtualClock clock;
    platform::ScopedClock scopedClock{clock};
    std::unique_ptr<sim::Atmega128> device;
    tkqt::QtBackend backend;
    guitest::ModalScript script{backend};
    std::unique_ptr<tk::TApplication> app;
    TfrmUpdate* form = nullptr;
    sim::SimComPort* port = nullptr;

private:
    QTimer statusWatch_;
};

const char* const closeWarning =
    "Closing the application during programming\r\nMay render the KPX unusable\r\nDo you want to abort download?";
const char* const closeQuestion = "Close application ?";
const char* const badPortText = "Error setting COM Port!  Please select a different port.";
const char* const inUseText =
    "Selected COM port is already in use by another application.  Please close the other application and try again.";

// The list has the focus. A port that would not open is told in its own box
// and leaves the choice open; the arrow keys then go on from it to its
// neighbours instead of opening it again. Tab and Enter press "Update!".
TEST_F(UpdaterWindowTest, ThePortListFromTheKeyboard)
{
    start();
    port->badPort = 1;
    port->busyPort = 2;
    auto& list = widget<QListWidget>("lboxComPort");
    auto& update = widget<QPushButton>("btnUpdate");
    EXPECT_EQ(QApplication::focusWidget(), &list);
    const std::string bad = badPortText + std::string("\n\nCOM1: no such port");
    const std::string busy = inUseText + std::string("\n\nCOM2 is in use by another program");
    script.expect(bad, tk::IDOK).expect(busy, tk::IDOK).expect(bad, tk::IDOK).expect(busy, tk::IDOK);
    QTest::keyClick(&list, Qt::Key_Down); // the first key opens the port at the caret, COM1
    EXPECT_TRUE(list.selectedItems().isEmpty());
    EXPECT_EQ(form->comNumber, 0);
    EXPECT_FALSE(update.isEnabled());
    EXPECT_TRUE(list.isEnabled());
    // Down COM2, Up COM1 again, Up stays, Down COM2, Down COM3.
    for (const Qt::Key key : {Qt::Key_Down, Qt::Key_Up, Qt::Key_Up, Qt::Key_Down, Qt::Key_Down})
        QTest::keyClick(&list, key);
    EXPECT_TRUE(script.done());
    ASSERT_EQ(script.shown.size(), 4u);
    EXPECT_EQ(script.shown[0].caption, "Error");
    EXPECT_EQ(script.shown[1].caption, "Port in Use");
    EXPECT_EQ(form->comNumber, 3);
    EXPECT_TRUE(port->GetOpen());
    EXPECT_TRUE(port->rts());
    EXPECT_TRUE(update.isEnabled());
    EXPECT_FALSE(list.isEnabled());

    QTest::keyClick(&list, Qt::Key_Tab);
    ASSERT_EQ(QApplication::focusWidget(), &update);
    script.expect(app_test::programMode.text, tk::IDCANCEL);
    QTest::keyClick(&update, Qt::Key_Return);
    EXPECT_TRUE(script.done());
}

// Asked to close while "Programming Flash" shows, well into the page loads.
TEST_F(UpdaterWindowTest, ClosingWhileProgramming)
{
    struct Case {
        const char* name;
        bool viaExit;
        int warning;
        int question; // 0: not asked
        bool aborts, ends;
    };
    const Case cases[] = {
        {"close box, Cancel", false, tk::mrCancel, 0, false, false},
        {"close box, Yes, No", false, tk::mrYes, tk::mrNo, true, false},
        {"Exit, Yes, No", true, tk::mrYes, tk::mrNo, false, false},
        // Last: the backend stays quit once the loop has been told to end.
        {"close box, Yes, Yes", false, tk::mrYes, tk::mrYes, true, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        start();
        pickPort(0);
        bool quitDuringUpdate = true;
        atStatus("Programming Flash", [&] {
            if (c.viaExit)
                action("Exit1").trigger();
            else
                mainWindow()->close();
            quitDuringUpdate = backend.quitReached();
        }, 1000);
        uint64_t instructionsAtAnswer = 0;
        script.expect(app_test::programMode.text, tk::IDOK).expect(closeWarning, c.warning, [&] {
            instructionsAtAnswer = device->instructionsExecuted();
        });
        if (c.question)
            script.expect(closeQuestion, c.question,
                          [&] { instructionsAtAnswer = device->instructionsExecuted(); });
        const bool completes = !c.aborts;
        if (completes)
            script.expect(app_test::complete.text, tk::IDOK);
        // Stopped in a window that stays open: what the instrument holds.
        if (c.aborts && !c.ends)
            script.expect(app_test::partlyWritten, tk::IDOK);
        clickUpdate();

        ASSERT_TRUE(script.done());
        EXPECT_EQ(script.shown[1].dialogType, tk::TMsgDlgType::mtWarning);
        EXPECT_EQ(script.shown[1].buttons, tk::mbYes | tk::mbCancel);
        EXPECT_EQ(script.shown[1].placedAt, QPoint(200, 200));
        EXPECT_EQ(form->abortFlag, c.aborts);
        EXPECT_EQ(app->Terminated(), c.ends);
        EXPECT_EQ(backend.quitReached(), c.ends);
        EXPECT_FALSE(quitDuringUpdate);
        EXPECT_EQ(status(), completes ? "Update Complete!" : "Programming Flash");
        // An abort stops the update at its next byte after the answer.
        EXPECT_EQ(device->instructionsExecuted() == instructionsAtAnswer, c.aborts);
        EXPECT_EQ(mainWindow()->isVisible(), true);
        script.shown.clear();
    }
}

// One whole update started by a click, watched the way the operator sees it,
// with both dialogs opened while it programs.
TEST_F(UpdaterWindowTest, FullUpdateInTheWindow)
{
    start();
    pickPort(0);
    auto& bar = widget<QProgressBar>("ProgressBar");
    int programmingMax = 0;
    int verifyingMax = 0;
    atStatus("Programming Flash", [&] {
        action("Download1").trigger();
        action("About1").trigger();
        programmingMax = bar.maximum();
        atStatus("Verifying Flash", [&] { verifyingMax = bar.maximum(); });
    });
    script.expect(app_test::programMode.text, tk::IDOK).expect(app_test::complete.text, tk::IDOK, [&] {
        EXPECT_EQ(status(), "Update Complete!");
        EXPECT_EQ(bar.value(), 0);
        EXPECT_EQ(widget<QLabel>("lblCRC").text(), QString::asprintf("%02X%02X", image[0x1FFFF], image[0x1FFFE]));
    });
    clickUpdate();

    EXPECT_TRUE(script.done());
    EXPECT_EQ(programmingMax, 128);
    EXPECT_EQ(verifyingMax, 128);
    EXPECT_TRUE(std::equal(image.begin(), image.end(), device->flash().begin()));
    EXPECT_FALSE(widget<QPushButton>("btnUpdate").isEnabled());
    EXPECT_EQ(widget<QLabel>("lblLock").text(), "FC");
    EXPECT_EQ(widget<QLabel>("lblFuseHigh").text(), "9F");
    EXPECT_TRUE(backend.window(*AboutBox)->isVisible());
    EXPECT_TRUE(backend.window(*PagesDlg)->isVisible());

    // An image under 1 KiB gives the bar an empty range: an empty bar, not
    // Qt's busy indicator, while the control keeps what it was given.
    form->ProgressBar.SetMax(0);
    EXPECT_GT(bar.maximum(), bar.minimum());
    EXPECT_EQ(bar.value(), bar.minimum());
    EXPECT_EQ(form->ProgressBar.Max(), 0);
}

TEST_F(UpdaterWindowTest, ClickOnCrcBeforeAnyUpdateShowsTheByteLabels)
{
    start();
    const char* const names[] = {"lblLock", "lblFuseLow", "lblFuseHigh", "lblExtFuse"};
    QTest::mouseClick(&widget<QLabel>("lblText"), Qt::LeftButton);
    for (const char* name : names) {
        EXPECT_TRUE(widget<QLabel>(name).isVisible()) << name;
        EXPECT_EQ(widget<QLabel>(name).text(), "00") << name;
    }
}

// A firmware path too long for the status line gives way in its middle:
// the file's name stays in view, and the whole path is the tool tip.
TEST_F(UpdaterWindowTest, ALongFirmwarePathKeepsTheFileNameInViewAndShowsWholeAsToolTip)
{
    start();
    const std::filesystem::path deep = std::filesystem::current_path() / "firmware releases of the instrument" /
                                       "M740-RT field service" / "version 5.17 as sent by the maker";
    std::filesystem::create_directories(deep);
    std::filesystem::copy_file("KPXUpdate517.hex", deep / "KPXUpdate517.hex");
    form->firmwareFile = (deep / "KPXUpdate517.hex").string();
    const std::string notice = form->ShowFirmwareNotice();

    const auto& label = widget<QLabel>("lblProgress");
    const QString shown = label.text();
    EXPECT_TRUE(shown.startsWith("Firmware: ")) << shown.toStdString();
    EXPECT_TRUE(shown.endsWith("/KPXUpdate517.hex")) << shown.toStdString();
    EXPECT_TRUE(shown.contains("...")) << shown.toStdString();
    EXPECT_LE(label.x() + label.width(), label.parentWidget()->width()) << shown.toStdString();
    EXPECT_EQ(label.toolTip().toStdString(), form->firmwareFile);
    EXPECT_EQ(form->lblProgress.GetText(), notice) << "the form keeps the whole text";

    form->SetStatus("Programming Flash");
    EXPECT_EQ(status(), "Programming Flash");
}

TEST_F(UpdaterWindowTest, HelpMenuDialogsAreShownOnceAndOnlyHidden)
{
    start();
    QWidget* pages = backend.window(*PagesDlg);
    // Every line whole inside its dialog, the longest (line 6) too.
    for (const QLabel* line : pages->findChildren<QLabel*>())
        EXPECT_LE(line->geometry().right(), pages->width()) << line->text().toStdString();
    for (auto [item, window, ok] : {std::tuple{"Download1", pages, "OKBtn"},
                                    std::tuple{"About1", backend.window(*AboutBox), "OKButton"}}) {
        SCOPED_TRACE(item);
        action(item).trigger();
        action(item).trigger();
        int shown = 0;
        for (const QWidget* top : QApplication::topLevelWidgets())
            shown += top->isVisible() && top->windowTitle() == window->windowTitle();
        EXPECT_EQ(shown, 1);
        QTest::mouseClick(window->findChild<QPushButton*>(ok), Qt::LeftButton);
        EXPECT_FALSE(window->isVisible());
        action(item).trigger();
        EXPECT_TRUE(window->isVisible());
    }
    EXPECT_FALSE(app->Terminated());
}

} // namespace
