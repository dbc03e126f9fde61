// The real windows, built from their form descriptions, driven through their
// widgets against the simulated instrument on a virtual clock: port
// selection, the update as the operator sees it, the closing rules while an
// update runs, and the Help menu's dialogs.
#include "app/UI.h"
#include "app/gui/Windows.h"
#include "dialogs/about.h"
#include "dialogs/download.h"
#include "image/sample/SampleFirmware.h"
#include "platform/VirtualClock.h"
#include "sim/Atmega128.h"
#include "sim/SimComPort.h"
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

#include <climits>
#include <cstdlib>
#include <fstream>
#include <unistd.h>

namespace {

const char* const programModePrompt = "Turn On M740-RT While Holding Backlight Key If Battery Powered, Or Plug In AC "
                                      "Power While Holding Backlight Key If AC Powered";
const char* const completePrompt = "Disconnect RS232. If Battery Powered Turn M740-RT Off, For AC Power Disconnect "
                                   "AC Wait 30 Seconds. Turn M740-RT On To Verify Version And CRC";
const char* const closeWarning =
    "Closing the application during programming\r\nMay render the KPX unusable\r\nDo you want to abort download?";
const char* const closeQuestion = "Close application ?";

class UpdaterWindowTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        // The image is read from the current folder, as in the field.
        char pattern[] = "/tmp/kpx-gui-XXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        folder_ = pattern;
        char previous[PATH_MAX];
        ASSERT_NE(getcwd(previous, sizeof previous), nullptr);
        previousFolder_ = previous;
        image = sample_firmware::buildImage();
        std::ofstream(folder_ + "/KPXUpdate517.hex", std::ios::binary) << sample_firmware::toIntelHex(image);
        ASSERT_EQ(chdir(folder_.c_str()), 0);
    }

    void TearDown() override
    {
        statusWatch_.stop();
        app.reset();
        EXPECT_EQ(chdir(previousFolder_.c_str()), 0);
        std::remove((folder_ + "/KPXUpdate517.hex").c_str());
        rmdir(folder_.c_str());
    }

    void start(const sim::Scenario& scenario = {})
    {
        device = std::make_unique<sim::Atmega128>(scenario);
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

    void pickPort(int row)
    {
        auto& list = widget<QListWidget>("lboxComPort");
        QTest::mouseClick(list.viewport(), Qt::LeftButton, {}, list.visualItemRect(list.item(row)).center());
    }

    void clickUpdate() { QTest::mouseClick(&widget<QPushButton>("btnUpdate"), Qt::LeftButton); }

    // Runs action once, at the first processing of pending messages that
    // finds the status line showing text (after letting `skip` of them go
    // by): the moment an operator's click arriving then would be handled.
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

    std::string expectedCheckValue() const
    {
        char text[8];
        std::snprintf(text, sizeof text, "%02X%02X", image[0x1FFFF], image[0x1FFFE]);
        return text;
    }

    std::vector<uint8_t> image;
    platform::VirtualClock clock;
    platform::ScopedClock scopedClock{clock};
    std::unique_ptr<sim::Atmega128> device;
    tkqt::QtBackend backend;
    guitest::ModalScript script{backend};
    std::unique_ptr<tk::TApplication> app;
    TfrmUpdate* form = nullptr;
    sim::SimComPort* port = nullptr;

private:
    std::string folder_;
    std::string previousFolder_;
    QTimer statusWatch_;
};

TEST_F(UpdaterWindowTest, ChoosingAPortThatOpens)
{
    start();
    pickPort(2);
    EXPECT_EQ(form->comNumber, 3);
    EXPECT_EQ(port->GetComNumber(), 3);
    EXPECT_TRUE(port->GetOpen());
    EXPECT_TRUE(port->rts());
    EXPECT_TRUE(widget<QPushButton>("btnUpdate").isEnabled());
    EXPECT_FALSE(widget<QListWidget>("lboxComPort").isEnabled());
}

TEST_F(UpdaterWindowTest, RejectedAndBusyPortsLeaveNoSelectionAndAnotherCanBeChosen)
{
    start();
    port->badPort = 2;
    port->busyPort = 4;
    script.expect("Error setting COM Port!  Please select a different port.", tk::IDOK)
        .expect("Selected COM port is already in use by another application.  Please close the other application "
                "and try again.",
                tk::IDOK);
    auto& list = widget<QListWidget>("lboxComPort");

    for (int row : {1, 3}) {
        pickPort(row);
        EXPECT_TRUE(list.selectedItems().isEmpty()) << row;
        EXPECT_EQ(form->comNumber, 0) << row;
        EXPECT_FALSE(port->GetOpen()) << row;
        EXPECT_FALSE(widget<QPushButton>("btnUpdate").isEnabled()) << row;
        EXPECT_TRUE(list.isEnabled()) << row;
    }
    ASSERT_EQ(script.shown.size(), 2u);
    EXPECT_EQ(script.shown[0].caption, "Error");
    EXPECT_EQ(script.shown[1].caption, "Port in Use");
    EXPECT_EQ(script.shown[1].flags, tk::MB_OK);

    pickPort(0);
    EXPECT_EQ(form->comNumber, 1);
    EXPECT_TRUE(port->GetOpen());
}

TEST_F(UpdaterWindowTest, PortListHasTheFocusAndTheFirstArrowKeyOpensAPort)
{
    start();
    port->badPort = 1;
    auto& list = widget<QListWidget>("lboxComPort");
    EXPECT_EQ(QApplication::focusWidget(), &list);

    // One change of selection, one attempt: exactly one message.
    script.expect("Error setting COM Port!  Please select a different port.", tk::IDOK);
    QTest::keyClick(&list, Qt::Key_Down);
    EXPECT_EQ(script.shown.size(), 1u);
    EXPECT_EQ(form->comNumber, 0);

    port->badPort = 0;
    QTest::keyClick(&list, Qt::Key_Down);
    EXPECT_EQ(form->comNumber, 1);
    EXPECT_TRUE(port->GetOpen());
}

TEST_F(UpdaterWindowTest, CloseBoxWhenIdleAsksOnlyWhetherToClose)
{
    start();
    script.expect(closeQuestion, tk::mrNo).expect(closeQuestion, tk::mrYes);
    mainWindow()->close();
    EXPECT_FALSE(app->Terminated());
    EXPECT_TRUE(mainWindow()->isVisible());

    mainWindow()->close();
    EXPECT_TRUE(app->Terminated());
    EXPECT_TRUE(backend.quitReached());
    for (const guitest::ShownBox& box : script.shown) {
        EXPECT_EQ(box.dialogType, tk::TMsgDlgType::mtConfirmation);
        EXPECT_EQ(box.buttons, tk::mbYes | tk::mbNo);
        EXPECT_FALSE(box.position.has_value());
    }
}

TEST_F(UpdaterWindowTest, ClickOnCrcShowsTheByteLabels)
{
    start();
    const char* const names[] = {"lblLock", "lblFuseLow", "lblFuseHigh", "lblExtFuse"};
    for (const char* name : names)
        EXPECT_FALSE(widget<QLabel>(name).isVisible()) << name;
    for (int click = 0; click < 2; ++click) {
        QTest::mouseClick(&widget<QLabel>("lblText"), Qt::LeftButton);
        for (const char* name : names) {
            EXPECT_TRUE(widget<QLabel>(name).isVisible()) << name;
            EXPECT_EQ(widget<QLabel>(name).text(), "00") << name;
        }
    }
}

// One whole update started by a click, watched the way the operator sees it,
// with both dialogs opened while it programs; then the close box, which no
// longer warns.
TEST_F(UpdaterWindowTest, FullUpdateInTheWindow)
{
    start();
    pickPort(0);

    int programmingMax = 0;
    int verifyingMax = 0;
    atStatus("Programming Flash", [&] {
        action("Download1").trigger();
        action("About1").trigger();
        programmingMax = widget<QProgressBar>("ProgressBar").maximum();
        atStatus("Verifying Flash", [&] { verifyingMax = widget<QProgressBar>("ProgressBar").maximum(); });
    });
    script.expect(programModePrompt, tk::IDOK).expect(completePrompt, tk::IDOK, [&] {
        EXPECT_EQ(status(), "Update Complete!");
        EXPECT_EQ(widget<QProgressBar>("ProgressBar").value(), 0);
        EXPECT_EQ(widget<QLabel>("lblCRC").text().toStdString(), expectedCheckValue());
    });
    clickUpdate();

    EXPECT_TRUE(script.done());
    EXPECT_EQ(programmingMax, 128);
    EXPECT_EQ(verifyingMax, 128);
    EXPECT_TRUE(std::equal(image.begin(), image.end(), device->flash().begin()));
    EXPECT_FALSE(widget<QPushButton>("btnUpdate").isEnabled());
    EXPECT_EQ(widget<QProgressBar>("ProgressBar").maximum(), 100);
    EXPECT_EQ(widget<QLabel>("lblLock").text(), "FC");
    EXPECT_EQ(widget<QLabel>("lblFuseHigh").text(), "9F");
    EXPECT_TRUE(backend.window(*AboutBox)->isVisible());
    EXPECT_TRUE(backend.window(*PagesDlg)->isVisible());

    script.expect(closeQuestion, tk::mrYes);
    mainWindow()->close();
    EXPECT_TRUE(app->Terminated());
}

TEST_F(UpdaterWindowTest, CloseBoxWhileProgrammingCancelledChangesNothing)
{
    start();
    pickPort(0);
    atStatus("Programming Flash", [&] { mainWindow()->close(); });
    script.expect(programModePrompt, tk::IDOK).expect(closeWarning, tk::mrCancel).expect(completePrompt, tk::IDOK);
    clickUpdate();

    ASSERT_EQ(script.shown.size(), 3u);
    const guitest::ShownBox& warning = script.shown[1];
    EXPECT_EQ(warning.dialogType, tk::TMsgDlgType::mtWarning);
    EXPECT_EQ(warning.buttons, tk::mbYes | tk::mbCancel);
    ASSERT_TRUE(warning.position.has_value());
    EXPECT_EQ(warning.placedAt, QPoint(200, 200));
    EXPECT_FALSE(form->abortFlag);
    EXPECT_EQ(status(), "Update Complete!");
}

TEST_F(UpdaterWindowTest, CloseBoxWhileProgrammingYesThenNoStopsTheUpdateAndKeepsTheWindow)
{
    start();
    pickPort(0);
    // Well into the page loads, where the flag is tested after every byte.
    atStatus("Programming Flash", [&] { mainWindow()->close(); }, 1000);
    uint64_t instructionsAtAnswer = 0;
    script.expect(programModePrompt, tk::IDOK)
        .expect(closeWarning, tk::mrYes)
        .expect(closeQuestion, tk::mrNo, [&] { instructionsAtAnswer = device->instructionsExecuted(); });
    clickUpdate();

    EXPECT_TRUE(form->abortFlag);
    EXPECT_EQ(device->instructionsExecuted(), instructionsAtAnswer);
    EXPECT_FALSE(app->Terminated());
    EXPECT_TRUE(mainWindow()->isVisible());
    EXPECT_EQ(status(), "Programming Flash");
    EXPECT_TRUE(widget<QPushButton>("btnUpdate").isEnabled());

    // Every later update ends right after the program-mode prompt.
    script.expect(programModePrompt, tk::IDOK).expect("Error getting M740-RT information", tk::IDOK);
    clickUpdate();
    EXPECT_EQ(device->instructionsExecuted(), instructionsAtAnswer);
}

TEST_F(UpdaterWindowTest, CloseBoxWhileProgrammingYesThenYesEndsTheProgram)
{
    start();
    pickPort(0);
    bool quitBeforeTheUpdateEnded = true;
    atStatus("Programming Flash", [&] {
        mainWindow()->close();
        quitBeforeTheUpdateEnded = backend.quitReached();
    });
    script.expect(programModePrompt, tk::IDOK).expect(closeWarning, tk::mrYes).expect(closeQuestion, tk::mrYes);
    clickUpdate();

    // The shutdown's own close found its dialogs answered Cancel at once.
    EXPECT_EQ(script.shown.size(), 3u);
    EXPECT_TRUE(form->abortFlag);
    EXPECT_TRUE(app->Terminated());
    EXPECT_FALSE(quitBeforeTheUpdateEnded);
    EXPECT_TRUE(backend.quitReached());
}

TEST_F(UpdaterWindowTest, ExitWhileBusyAnsweredYesThenNoLeavesTheUpdateRunning)
{
    start();
    pickPort(0);
    atStatus("Programming Flash", [&] { action("Exit1").trigger(); });
    script.expect(programModePrompt, tk::IDOK)
        .expect(closeWarning, tk::mrYes)
        .expect(closeQuestion, tk::mrNo)
        .expect(completePrompt, tk::IDOK);
    clickUpdate();
    EXPECT_FALSE(form->abortFlag);
    EXPECT_FALSE(app->Terminated());
    EXPECT_EQ(script.shown[1].placedAt, QPoint(200, 200));
}

TEST_F(UpdaterWindowTest, AfterAFailedVerificationClosingStillWarns)
{
    sim::Scenario stuck;
    stuck.kind = sim::Scenario::Kind::StuckBit;
    stuck.stuckAddress = 0x100;
    stuck.stuckMask = 0x80;
    start(stuck);
    pickPort(0);
    // The stuck bit must meet a 0 in the image to show.
    ASSERT_EQ(image[0x100] & 0x80, 0);
    script.expect(programModePrompt, tk::IDOK).expect("Verify Error", tk::IDOK);
    clickUpdate();
    EXPECT_EQ(status(), "Verifying Flash");

    script.expect(closeWarning, tk::mrCancel);
    mainWindow()->close();
    EXPECT_TRUE(mainWindow()->isVisible());
    EXPECT_FALSE(form->abortFlag);
}

TEST_F(UpdaterWindowTest, HelpMenuDialogsAreShownAndOnlyHidden)
{
    start();
    QWidget* pages = backend.window(*PagesDlg);
    QWidget* about = backend.window(*AboutBox);
    const auto shownWithTitle = [](const QString& title) {
        int count = 0;
        for (const QWidget* window : QApplication::topLevelWidgets())
            count += window->isVisible() && window->windowTitle() == title;
        return count;
    };
    const auto pageLines = [&] {
        QStringList lines;
        for (int line = 1; line <= 7; ++line)
            lines << pages->findChild<QLabel*>(QStringLiteral("StaticText%1").arg(line))->text();
        return lines;
    };

    action("Download1").trigger();
    action("Download1").trigger();
    EXPECT_EQ(shownWithTitle("Download processes."), 1);
    ASSERT_TRUE(QTest::qWaitForWindowActive(pages));
    const QStringList before = pageLines();
    EXPECT_EQ(before.front().toStdString(), PagesDlg->StaticText1.GetText());
    QTest::mouseClick(pages->findChild<QPushButton*>("OKBtn"), Qt::LeftButton);
    EXPECT_FALSE(pages->isVisible());
    EXPECT_FALSE(PagesDlg->Visible());
    action("Download1").trigger();
    EXPECT_TRUE(pages->isVisible());
    EXPECT_EQ(pageLines(), before);

    action("About1").trigger();
    action("About1").trigger();
    EXPECT_EQ(shownWithTitle("About M740-RT Updater"), 1);
    about->close();
    EXPECT_FALSE(about->isVisible());
    action("About1").trigger();
    EXPECT_TRUE(about->isVisible());
    QTest::mouseClick(about->findChild<QPushButton*>("OKButton"), Qt::LeftButton);
    EXPECT_FALSE(AboutBox->Visible());
    EXPECT_FALSE(app->Terminated());
}

} // namespace
