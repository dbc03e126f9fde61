// The window around the update: aborting it by closing, the close box and
// Exit rules, port selection, failures that escape a handler, and the menu.
#include "tests/app/UpdateRig.h"

#include <gtest/gtest.h>

namespace app_test {
namespace {

using sim::Scenario;
using tk::TMsgDlgType;

constexpr tk::ScreenPoint warningCorner{200, 200};

void expectWarning(UpdateRig& rig, int answer)
{
    rig.op.expectDialog(closeWarningText, TMsgDlgType::mtWarning, tk::mbYes | tk::mbCancel, warningCorner,
                        answer);
}

void expectQuestion(UpdateRig& rig, int answer)
{
    rig.op.expectDialog(closeQuestionText, TMsgDlgType::mtConfirmation, tk::mbYes | tk::mbNo, std::nullopt,
                        answer);
}

// Acts at the message processing after `bytes` bytes of the given phase.
void afterBytes(UpdateRig& rig, const std::string& phase, uint32_t bytes, std::function<void()> action)
{
    auto calls = std::make_shared<uint32_t>(0);
    rig.op.when(
        [&rig, phase, bytes, calls] {
            // The phase's first processing comes before its first byte.
            return rig.form->lblProgress.GetText() == phase && (*calls)++ == bytes;
        },
        std::move(action));
}

Firmware smallFirmware()
{
    Firmware firmware;
    firmware.fill(0, 0x1000, 21);
    return firmware;
}

// A port that fails like an unplugged adapter once its budget of line
// operations is spent.
class UnpluggablePort final : public serial::ComPort {
public:
    explicit UnpluggablePort(sim::Atmega128& device)
        : inner_(device)
    {
    }
    void SetComNumber(uint16_t number) override { inner_.SetComNumber(number); }
    uint16_t GetComNumber() const override { return inner_.GetComNumber(); }
    void SetOpen(bool open) override { inner_.SetOpen(open); }
    bool GetOpen() const override { return inner_.GetOpen(); }
    void SetRTS(bool level) override
    {
        spend("RTS");
        inner_.SetRTS(level);
    }
    void SetDTR(bool level) override
    {
        spend("DTR");
        inner_.SetDTR(level);
    }
    bool GetCTS() override
    {
        spend("CTS");
        return inner_.GetCTS();
    }

    // Negative: unlimited.
    int64_t lineOperationsLeft = -1;

private:
    void spend(const char* line)
    {
        if (lineOperationsLeft == 0)
            throw serial::ELineError(std::string(line) + ": the device has been removed");
        if (lineOperationsLeft > 0)
            --lineOperationsLeft;
    }
    sim::SimComPort inner_;
};

TEST(Abort, ConfirmedDuringTheWaitsStopsAfterTheNextWait)
{
    UpdateRig rig;
    smallFirmware().writeHexFile();
    rig.selectPort();
    rig.expectStart();
    rig.op.when([&rig] { return rig.form->ProgressBar.Position() == 3; }, [&rig] { rig.form->Close(); });
    expectWarning(rig, tk::mrYes);
    expectQuestion(rig, tk::mrNo);
    rig.op.expectBox(identifyErrorText, identifyErrorCaption, tk::MB_OK, tk::IDOK);
    rig.clickUpdate();

    EXPECT_EQ(rig.clock.sleeps(), std::vector<uint32_t>(4, 3000));
    EXPECT_FALSE(rig.device->programmingEnabled());
    EXPECT_FALSE(rig.app.Terminated());
    EXPECT_TRUE(rig.form->abortFlag);
    EXPECT_EQ(rig.form->ProgressBar.Position(), 3);
}

TEST(Abort, ConfirmedDuringProgrammingStopsAfterTheByteAndEveryLaterUpdateAtOnce)
{
    UpdateRig rig;
    smallFirmware().writeHexFile();
    rig.selectPort();
    rig.expectStart();
    afterBytes(rig, "Programming Flash", 1000, [&rig] { rig.form->Close(); });
    expectWarning(rig, tk::mrYes);
    expectQuestion(rig, tk::mrNo);
    rig.clickUpdate();

    EXPECT_EQ(rig.device->pageWrites(), 3u); // pages ending at bytes 255, 511 and 767
    EXPECT_EQ(rig.form->lblProgress.GetText(), "Programming Flash");
    EXPECT_EQ(rig.form->ProgressBar.Position(), 0);
    EXPECT_EQ(rig.form->ProgressBar.Max(), 4);
    EXPECT_TRUE(rig.form->btnUpdate.Enabled());
    EXPECT_EQ(rig.device->lockWrites(), 0u);
    EXPECT_TRUE(rig.op.scriptDone());

    // The flag is never cleared: the next update stops at its first test.
    const size_t sleeps = rig.clock.sleeps().size();
    rig.expectStart();
    rig.op.expectBox(identifyErrorText, identifyErrorCaption, tk::MB_OK, tk::IDOK);
    rig.clickUpdate();
    EXPECT_EQ(rig.clock.sleeps().size(), sleeps);
}

TEST(Abort, ConfirmedDuringVerificationStopsWithoutAMessageOrConfiguration)
{
    UpdateRig rig;
    smallFirmware().writeHexFile();
    rig.selectPort();
    rig.expectStart();
    afterBytes(rig, "Verifying Flash", 5000, [&rig] { rig.form->Close(); });
    expectWarning(rig, tk::mrYes);
    expectQuestion(rig, tk::mrNo);
    rig.clickUpdate();

    EXPECT_EQ(rig.form->lblProgress.GetText(), "Verifying Flash");
    EXPECT_EQ(rig.form->ProgressBar.Position(), 0);
    EXPECT_EQ(rig.form->ProgressBar.Max(), 128);
    EXPECT_EQ(rig.device->lockWrites(), 0u);
    EXPECT_EQ(rig.device->fuseHigh, 0x99);
    EXPECT_TRUE(rig.op.scriptDone());
}

TEST(CloseRules, IdleWindowAsksOnlyWhetherToClose)
{
    UpdateRig rig;
    std::vector<uint16_t> helpCommands;
    rig.app.OnHelp = [&](uint16_t command, intptr_t, bool& callHelp) {
        helpCommands.push_back(command);
        callHelp = false;
        return true;
    };
    expectQuestion(rig, tk::mrNo);
    rig.form->Close();
    EXPECT_FALSE(rig.app.Terminated());

    expectQuestion(rig, tk::mrYes);
    rig.form->Close();
    EXPECT_TRUE(rig.app.Terminated());
    EXPECT_EQ(helpCommands, std::vector<uint16_t>{tk::HELP_QUIT});
    EXPECT_FALSE(rig.form->abortFlag);
    // The shutdown's nested close asked nobody.
    EXPECT_EQ(rig.op.shown().size(), 2u);
    rig.app.OnHelp = nullptr; // its captures end here; the window's help socket closes through it later
}

TEST(CloseRules, BusyWindowCloseBoxYesYesEndsTheProgramAndTheUpdate)
{
    UpdateRig rig;
    smallFirmware().writeHexFile();
    rig.selectPort();
    rig.expectStart();
    afterBytes(rig, "Programming Flash", 10, [&rig] { rig.form->Close(); });
    expectWarning(rig, tk::mrYes);
    expectQuestion(rig, tk::mrYes);
    rig.clickUpdate();
    EXPECT_TRUE(rig.app.Terminated());
    EXPECT_TRUE(rig.form->abortFlag);
    EXPECT_EQ(rig.device->pageWrites(), 0u);

    // From now on the toolkit's dialogs end with Cancel by themselves: the
    // busy window refuses to close, and Exit does nothing.
    rig.form->Close();
    rig.form->Exit1.Click();
    EXPECT_EQ(rig.op.shown().size(), 3u);
}

TEST(CloseRules, BusyWindowCloseBoxCancelLetsTheUpdateFinish)
{
    UpdateRig rig;
    const Firmware firmware = smallFirmware();
    firmware.writeHexFile();
    rig.selectPort();
    rig.expectStart();
    afterBytes(rig, "Programming Flash", 10, [&rig] { rig.form->Close(); });
    expectWarning(rig, tk::mrCancel);
    rig.expectComplete();
    rig.clickUpdate();
    EXPECT_FALSE(rig.form->abortFlag);
    EXPECT_TRUE(rig.flashMatches(firmware));
}

TEST(CloseRules, ExitWhileBusyNeedsBothYesToAbort)
{
    {
        UpdateRig rig;
        const Firmware firmware = smallFirmware();
        firmware.writeHexFile();
        rig.selectPort();
        rig.expectStart();
        afterBytes(rig, "Verifying Flash", 10, [&rig] { rig.form->Exit1.Click(); });
        expectWarning(rig, tk::mrYes);
        expectQuestion(rig, tk::mrNo);
        rig.expectComplete();
        rig.clickUpdate();
        EXPECT_FALSE(rig.form->abortFlag);
        EXPECT_FALSE(rig.app.Terminated());
        EXPECT_TRUE(rig.configured());
    }
    {
        UpdateRig rig;
        smallFirmware().writeHexFile();
        rig.selectPort();
        rig.expectStart();
        afterBytes(rig, "Verifying Flash", 10, [&rig] { rig.form->Exit1.Click(); });
        expectWarning(rig, tk::mrYes);
        expectQuestion(rig, tk::mrYes);
        rig.clickUpdate();
        EXPECT_TRUE(rig.form->abortFlag);
        EXPECT_TRUE(rig.app.Terminated());
        EXPECT_EQ(rig.device->lockWrites(), 0u);
    }
}

TEST(CloseRules, ExitWhenIdleLeavesTheFlagAndSkipsHelpQuitForAnotherHelpFile)
{
    UpdateRig rig;
    bool helpCalled = false;
    rig.app.OnHelp = [&](uint16_t, intptr_t, bool& callHelp) {
        helpCalled = true;
        callHelp = false;
        return true;
    };
    EXPECT_EQ(rig.app.HelpFile, tk::ExtractFilePath(tk::ParamStr(0)) + "KPX Updater.chm");
    rig.app.HelpFile = "elsewhere.chm";
    expectQuestion(rig, tk::mrYes);
    rig.form->Exit1.Click();
    EXPECT_TRUE(rig.app.Terminated());
    EXPECT_FALSE(rig.form->abortFlag);
    EXPECT_FALSE(helpCalled);
    rig.app.OnHelp = nullptr; // its captures end here; the window's help socket closes through it later
}

TEST(CloseRules, AFailedStepStillCountsAsBusy)
{
    UpdateRig rig;
    for (const char* busy :
         {"Getting Device Infomation", "Reading Flash .HEX file", "Chip Erase", "Programming Flash", "Verifying Flash"}) {
        rig.form->lblProgress.SetText(busy);
        EXPECT_TRUE(rig.form->IsProgramming()) << busy;
    }
    for (const char* idle : {"", "Update Complete!", "verifying flash"}) {
        rig.form->lblProgress.SetText(idle);
        EXPECT_FALSE(rig.form->IsProgramming()) << idle;
    }
    rig.form->lblProgress.SetText("Verifying Flash");
    expectWarning(rig, tk::mrCancel);
    rig.form->Close();
    EXPECT_FALSE(rig.app.Terminated());
}

TEST(PortSelection, OpensThePortOrResetsByFailureKind)
{
    UpdateRig rig;
    rig.port->badPort = 2;
    rig.port->busyPort = 4;
    EXPECT_FALSE(rig.form->btnUpdate.Enabled());

    rig.op.expectBox("Error setting COM Port!  Please select a different port.", "Error", tk::MB_OK, tk::IDOK);
    rig.form->lboxComPort.Select(1);
    rig.op.expectBox("Selected COM port is already in use by another application.  Please close the other "
                     "application and try again.",
                     "Port in Use", tk::MB_OK, tk::IDOK);
    rig.form->lboxComPort.Select(3);
    EXPECT_EQ(rig.form->comNumber, 0);
    EXPECT_EQ(rig.form->lboxComPort.GetItemIndex(), -1);
    EXPECT_TRUE(rig.form->lboxComPort.Enabled());
    EXPECT_FALSE(rig.form->btnUpdate.Enabled());
    EXPECT_FALSE(rig.port->GetOpen());
    EXPECT_EQ(rig.port->GetComNumber(), 0);

    rig.form->lboxComPort.Select(2);
    EXPECT_EQ(rig.form->comNumber, 3);
    EXPECT_TRUE(rig.port->GetOpen());
    EXPECT_TRUE(rig.port->rts());
    EXPECT_TRUE(rig.form->btnUpdate.Enabled());
    EXPECT_FALSE(rig.form->lboxComPort.Enabled());
    EXPECT_TRUE(rig.op.scriptDone());
}

TEST(EscapingFailures, AnotherPortFailureIsShownAndLeavesTheChoice)
{
    UnpluggablePort* failing = nullptr;
    UpdateRig rig({}, [&failing](sim::Atmega128& device) {
        auto port = std::make_unique<UnpluggablePort>(device);
        port->lineOperationsLeft = 0;
        failing = port.get();
        return port;
    });
    rig.op.expectException("RTS: the device has been removed");
    rig.form->lboxComPort.Select(0);
    EXPECT_EQ(rig.form->comNumber, 1);
    EXPECT_TRUE(rig.form->lboxComPort.Enabled());
    EXPECT_FALSE(rig.form->btnUpdate.Enabled());
}

TEST(EscapingFailures, AdapterUnpluggedDuringProgrammingIsShownAndTheWindowGoesOn)
{
    UnpluggablePort* adapter = nullptr;
    UpdateRig rig({}, [&adapter](sim::Atmega128& device) {
        auto port = std::make_unique<UnpluggablePort>(device);
        adapter = port.get();
        return port;
    });
    smallFirmware().writeHexFile();
    rig.selectPort();
    rig.expectStart();
    afterBytes(rig, "Programming Flash", 100, [&adapter] { adapter->lineOperationsLeft = 500; });
    rig.op.expectException("the device has been removed");
    rig.clickUpdate();

    // Nothing after the failure ran; the window still counts as busy.
    EXPECT_FALSE(rig.form->btnUpdate.Enabled());
    EXPECT_EQ(rig.form->lblProgress.GetText(), "Programming Flash");
    expectWarning(rig, tk::mrCancel);
    rig.form->Close();
    EXPECT_TRUE(rig.op.scriptDone());
}

TEST(Menu, DialogsShowHideAndKeepTheirTexts)
{
    UpdateRig rig;
    rig.form->Download1.Click();
    rig.form->Download1.Click();
    ASSERT_NE(PagesDlg, nullptr);
    EXPECT_TRUE(PagesDlg->Visible());
    EXPECT_EQ(rig.op.formsShown, (std::vector<std::string>{"PagesDlg", "PagesDlg"}));
    EXPECT_EQ(PagesDlg->Caption, "Download processes.");
    EXPECT_EQ(PagesDlg->StaticText3.GetText(), "3. Click on the Update! button ");
    EXPECT_EQ(PagesDlg->StaticText4.GetText(),
              "4. Turn ON the M740-RT, when prompted, while holding down the \"Backlight\" key.");
    PagesDlg->OKBtn.Click();
    EXPECT_FALSE(PagesDlg->Visible());

    rig.form->About1.Click();
    ASSERT_NE(AboutBox, nullptr);
    EXPECT_TRUE(AboutBox->Visible());
    EXPECT_EQ(AboutBox->Caption, "About M740-RT Updater");
    AboutBox->OKButton.Click();
    EXPECT_FALSE(AboutBox->Visible());
    EXPECT_FALSE(rig.app.Terminated());

    std::vector<uint16_t> helpCommands;
    rig.app.OnHelp = [&](uint16_t command, intptr_t, bool& callHelp) {
        helpCommands.push_back(command);
        callHelp = false;
        return true;
    };
    rig.form->HelpFile1.Click();
    EXPECT_EQ(helpCommands, (std::vector<uint16_t>{tk::HELP_CONTENTS, tk::HELP_COMMAND}));
    rig.app.OnHelp = nullptr; // its captures end here; the window's help socket closes through it later
}

TEST(Menu, ByteLabelsShowOnTheCrcCaptionAndDialogsDoNotDisturbAnUpdate)
{
    UpdateRig rig;
    const Firmware firmware = smallFirmware();
    firmware.writeHexFile();
    rig.form->lblText.Click();
    for (tk::TLabel* label : {&rig.form->lblLock, &rig.form->lblFuseLow, &rig.form->lblFuseHigh, &rig.form->lblExtFuse}) {
        EXPECT_TRUE(label->Visible());
        EXPECT_EQ(label->GetText(), "00");
    }
    rig.selectPort();
    rig.expectStart();
    rig.expectComplete();
    afterBytes(rig, "Programming Flash", 300, [&rig] {
        rig.form->About1.Click();
        rig.form->Download1.Click();
    });
    rig.clickUpdate();
    EXPECT_TRUE(rig.flashMatches(firmware));
    EXPECT_TRUE(AboutBox->Visible());
    EXPECT_EQ(rig.form->lblLock.GetText(), "FC");
}

} // namespace
} // namespace app_test
