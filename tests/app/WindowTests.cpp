// The window around the update: aborting it by closing, the close box and
// Exit rules, and port selection.
#include "tests/app/UpdateRig.h"

namespace app_test {
namespace {

void expectWarning(UpdateRig& rig, int answer)
{
    rig.op.expectDialog("Closing the application during programming\r\nMay render the KPX unusable\r\nDo you want to "
                        "abort download?",
                        tk::TMsgDlgType::mtWarning, tk::mbYes | tk::mbCancel, tk::ScreenPoint{200, 200}, answer);
}

void expectQuestion(UpdateRig& rig, int answer)
{
    rig.op.expectDialog("Close application ?", tk::TMsgDlgType::mtConfirmation, tk::mbYes | tk::mbNo, std::nullopt,
                        answer);
}

const Firmware smallFirmware = Firmware().fill(0, 0x1000, 21);

TEST(Abort, ConfirmedCloseStopsAtTheNextTestSaysWhatItLeftAndANewUpdateStartsAfresh)
{
    struct Case {
        const char* phase;
        uint32_t after; // identification: milliseconds into its waits
        const char* outcome;
        int barPosition;
        const std::string& holds;
    };
    // A stop confirmed once the image is read still comes before the erase,
    // so the old firmware stays. Programming stops with the pages that end at
    // bytes 255, 511 and 767 written, or with every page written after the
    // last byte.
    const Firmware older = Firmware().fill(0, 0x800, 9);
    for (const Case& abort :
         {Case{TfrmUpdate::statusIdentify, 10'500, "erases 0, pages 0, locks 0, waits 3", 3, nothingWritten},
          Case{TfrmUpdate::statusReadImage, 0, "erases 0, pages 0, locks 0, waits 8", 100, nothingWritten},
          Case{TfrmUpdate::statusProgram, 1000, "erases 1, pages 3, locks 0, waits 8", 0, partlyWritten},
          Case{TfrmUpdate::statusProgram, 0x1000, "erases 1, pages 16, locks 0, waits 8", 0, writtenUnverified},
          Case{TfrmUpdate::statusVerify, 5000, "erases 1, pages 16, locks 0, waits 8", 0, writtenUnverified}}) {
        SCOPED_TRACE(abort.phase + std::string(" ") + std::to_string(abort.after));
        const bool identifying = abort.phase == std::string(TfrmUpdate::statusIdentify);
        UpdateRig rig;
        std::copy(older.image.begin(), older.image.end(), rig.device->flash().begin());
        rig.start(smallFirmware);
        if (identifying)
            rig.op.when([&rig, abort] { return rig.clock.nowNs() >= int64_t{abort.after} * 1'000'000; },
                        [&rig] { rig.form->Close(); });
        else
            rig.at(abort.phase, abort.after, [&rig] { rig.form->Close(); });
        expectWarning(rig, tk::mrYes);
        expectQuestion(rig, tk::mrNo);
        // A failed identification has its message; the operator's stop
        // elsewhere says only what the instrument holds.
        if (identifying)
            rig.expect({holding(identifyError, abort.holds)});
        else
            rig.expect({stopBox(abort.holds)});
        rig.clickUpdate();
        EXPECT_EQ(rig.outcome(), abort.phase + std::string(", button on, ") + abort.outcome);
        EXPECT_EQ(rig.form->ProgressBar.Position(), abort.barPosition);
        EXPECT_TRUE(rig.form->abortFlag);
        EXPECT_FALSE(rig.app.Terminated());
        EXPECT_EQ(rig.flashHolds(older), &abort.holds == &nothingWritten);
        // The wait under way ends, not the one after it.
        if (identifying) {
            EXPECT_LE(rig.clock.totalSleptMs(), abort.after + 100u);
        }

        // The operator runs the update again, as told.
        rig.update(smallFirmware, {{complete}});
        EXPECT_TRUE(rig.holds(smallFirmware));
        EXPECT_FALSE(rig.form->abortFlag);
    }
}

TEST(CloseRules, BusyWindowNeedsBothYesToAbortAndEnd)
{
    struct Case {
        bool viaExit;
        int warning;
        int question; // 0: not asked
    };
    for (const Case& close : {Case{false, tk::mrYes, tk::mrYes}, Case{false, tk::mrCancel, 0},
                              Case{true, tk::mrYes, tk::mrYes}, Case{true, tk::mrYes, tk::mrNo},
                              Case{true, tk::mrCancel, 0}}) {
        SCOPED_TRACE(std::to_string(close.viaExit) + std::to_string(close.warning) + std::to_string(close.question));
        const bool aborts = close.question == tk::mrYes;
        UpdateRig rig;
        rig.start(smallFirmware);
        rig.at(TfrmUpdate::statusVerify, 10,
               [&rig, close] { close.viaExit ? rig.form->Exit1.Click() : rig.form->Close(); });
        expectWarning(rig, close.warning);
        if (close.question)
            expectQuestion(rig, close.question);
        if (!aborts)
            rig.expect({complete});
        rig.clickUpdate();
        EXPECT_EQ(rig.form->abortFlag, aborts);
        EXPECT_EQ(rig.app.Terminated(), aborts);
        EXPECT_EQ(rig.device->lockWrites(), aborts ? 0u : 1u);
        if (aborts) {
            // Once terminated the toolkit's dialogs end with Cancel by
            // themselves: the busy window stays, and Exit does nothing.
            rig.form->Close();
            rig.form->Exit1.Click();
            EXPECT_EQ(rig.op.shown().size(), 3u);
        }
    }
}

TEST(CloseRules, IdleWindowOnlyAsksWhetherToCloseAndQuitsOnlyItsOwnHelp)
{
    for (const bool viaExit : {false, true}) {
        std::vector<uint16_t> helpCommands;
        UpdateRig rig;
        rig.app.OnHelp = [&helpCommands](uint16_t command, intptr_t, bool& callHelp) {
            helpCommands.push_back(command);
            callHelp = false;
            return true;
        };
        EXPECT_EQ(rig.app.HelpFile, tk::ExtractFilePath(tk::ParamStr(0)) + "KPX Updater.chm");
        if (viaExit)
            rig.app.HelpFile = "elsewhere.chm";
        else
            rig.form->HelpFile1.Click();
        for (const int answer : {tk::mrNo, tk::mrYes}) {
            expectQuestion(rig, answer);
            viaExit ? rig.form->Exit1.Click() : rig.form->Close();
            EXPECT_EQ(rig.app.Terminated(), answer == tk::mrYes);
        }
        EXPECT_FALSE(rig.form->abortFlag);
        const std::vector<uint16_t> ownHelp{tk::HELP_CONTENTS, tk::HELP_COMMAND, tk::HELP_QUIT};
        EXPECT_EQ(helpCommands, viaExit ? std::vector<uint16_t>{} : ownHelp);
        EXPECT_EQ(rig.op.shown().size(), 2u); // the shutdown's own close asked nobody
    }
}

TEST(PortSelection, OpensThePortOrResetsByFailureKind)
{
    UpdateRig rig;
    rig.port->badPort = 2;
    rig.port->busyPort = 4;
    rig.op.expectBox("Error setting COM Port!  Please select a different port.\n\nCOM2: no such port", "Error",
                     tk::MB_OK, tk::IDOK);
    rig.form->lboxComPort.Select(1);
    rig.op.expectBox("Selected COM port is already in use by another application.  Please close the other "
                     "application and try again.\n\nCOM4 is in use by another program",
                     "Port in Use", tk::MB_OK, tk::IDOK);
    rig.form->lboxComPort.Select(3);
    EXPECT_EQ(rig.form->comNumber, 0);
    EXPECT_EQ(rig.form->lboxComPort.GetItemIndex(), -1);
    EXPECT_FALSE(rig.port->GetOpen());
    EXPECT_EQ(rig.port->GetComNumber(), 0);
    EXPECT_FALSE(rig.form->btnUpdate.Enabled());

    rig.form->lboxComPort.Select(2);
    EXPECT_EQ(rig.form->comNumber, 3);
    EXPECT_TRUE(rig.port->GetOpen() && rig.port->rts());
    EXPECT_TRUE(rig.form->btnUpdate.Enabled());
    EXPECT_FALSE(rig.form->lboxComPort.Enabled());
}

// A port that opens but whose lines fail, as an unplugged adapter's do.
struct UnpluggedPort final : serial::ComPort {
    void SetComNumber(uint16_t value) override { number = value; }
    uint16_t GetComNumber() const override { return number; }
    void SetOpen(bool) override {}
    bool GetOpen() const override { return true; }
    void SetRTS(bool) override { throw serial::ELineError("RTS: the device has been removed"); }
    void SetDTR(bool) override {}
    bool GetCTS() override { return false; }
    uint16_t number = 0;
};

TEST(PortSelection, AnotherPortFailureIsShownAndLeavesTheChoiceOpen)
{
    UpdateRig rig({}, std::make_unique<UnpluggedPort>());
    rig.op.expectException("RTS: the device has been removed");
    rig.form->lboxComPort.Select(0);
    EXPECT_TRUE(rig.form->lboxComPort.Enabled());
    EXPECT_FALSE(rig.form->btnUpdate.Enabled());
}

} // namespace
} // namespace app_test
