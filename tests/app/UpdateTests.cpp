// The "Update!" procedure end to end against the simulated instrument: the
// complete update, and every way it can stop.
#include "tests/app/UpdateRig.h"

namespace app_test {
namespace {

using sim::Scenario;

Firmware fullFirmware()
{
    return Firmware().fill(0, flashSize - 2, 7).set(0x1FFFE, 0x34).set(0x1FFFF, 0x12);
}

void countTo(std::vector<int>& values, int last)
{
    for (int value = 0; value <= last; ++value)
        values.push_back(value);
}

// Runs a completing update and returns the bar's range as programming and
// as verification start.
std::vector<std::string> completeUpdate(UpdateRig& rig, const Firmware& firmware)
{
    auto ranges = std::make_shared<std::vector<std::string>>();
    for (const char* phase : {TfrmUpdate::statusProgram, TfrmUpdate::statusVerify})
        rig.op.when([&rig, phase] { return rig.status() == phase; },
                    [&rig, ranges] { ranges->push_back(rig.range()); });
    rig.update(firmware, {{complete}});
    return *ranges;
}

TEST(CompleteUpdate, ProgramsVerifiesConfiguresAndReportsEveryStep)
{
    UpdateRig rig;
    const Firmware firmware = fullFirmware();
    EXPECT_EQ(completeUpdate(rig, firmware), (std::vector<std::string>{"128/1", "128/1"}));
    EXPECT_EQ(rig.outcome(), "Update Complete!, button off, erases 1, pages 512, locks 1, waits 8");
    EXPECT_TRUE(rig.holds(firmware));
    EXPECT_EQ(rig.labels(), "9F BF FF FC");
    EXPECT_EQ(rig.form->lblCRC.GetText(), "1234");
    EXPECT_EQ(rig.form->fuseText, (std::array<std::string, 5>{"255", "252", "191", "255", "159"}));
    EXPECT_FALSE(rig.form->IsProgramming() || rig.form->lblLock.Visible());
    rig.form->lblText.Click();
    EXPECT_TRUE(rig.form->lblLock.Visible() && rig.form->lblFuseHigh.Visible());

    // Identification by 1/15/25, the image read, the erase, one step per
    // kilobyte programmed and verified, then back to the idle range.
    std::vector<int> bar;
    countTo(bar, 8);
    bar.insert(bar.end(), {23, 48, 73, 98, 100, 0, 100, 0, 100});
    countTo(bar, 128);
    countTo(bar, 128);
    bar.insert(bar.end(), {100, 0});
    EXPECT_EQ(rig.op.positions(), bar);
    EXPECT_EQ(rig.range(), "100/10");
}

TEST(CompleteUpdate, ProgrammingStopsAtTheLastPageOfTheImageAndALockedDeviceIsErasedFirst)
{
    struct Case {
        const char* scenario;
        uint32_t highAddress;
        const char* programRange;
        const char* outcome;
    };
    for (const Case& end : {Case{"normal", 0x1F001, "124/1", "erases 1, pages 497, locks 1, waits 8"},
                            Case{"normal", 0x100, "0/1", "erases 1, pages 1, locks 1, waits 8"},
                            Case{"normal", 0, "0/1", "erases 1, pages 0, locks 1, waits 8"},
                            // Detected again, with the full wait, after the erase.
                            Case{"locked", 0x400, "1/1", "erases 2, pages 4, locks 1, waits 16"}}) {
        SCOPED_TRACE(end.highAddress);
        UpdateRig rig(Scenario::parse(end.scenario));
        Firmware firmware;
        if (end.highAddress > 0)
            firmware.fill(0, 0x100, 11).set(end.highAddress - 1, 0x5A);
        rig.form->lblCRC.SetText("0000");
        EXPECT_EQ(completeUpdate(rig, firmware), (std::vector<std::string>{end.programRange, "128/1"}));
        EXPECT_EQ(rig.outcome(), std::string("Update Complete!, button off, ") + end.outcome);
        EXPECT_TRUE(rig.holds(firmware));
        EXPECT_EQ(rig.form->lblCRC.GetText(), "FFFF");
    }
}

TEST(UpdateFailure, WithoutAPortOrAfterCancelAtThePromptNothingIsSent)
{
    UpdateRig rig;
    rig.device->recordInstructions = true;
    rig.form->btnUpdate.SetEnabled(true);
    rig.op.expectBox("Please select a COM Port!", "Update Error", tk::MB_OK, tk::IDOK);
    rig.clickUpdate();
    EXPECT_TRUE(rig.form->btnUpdate.Enabled());
    rig.form->lboxComPort.Select(0);
    rig.expect({programMode, tk::MB_OKCANCEL, tk::IDCANCEL});
    rig.clickUpdate();
    EXPECT_EQ(rig.outcome(), ", button on, erases 0, pages 0, locks 0, waits 0");
    EXPECT_TRUE(rig.device->instructions().empty() && rig.clock.sleeps().empty());
}

TEST(UpdateFailure, SilentDeviceIsPromptedAfterEveryFullWait)
{
    UpdateRig rig(Scenario::parse("no-device"));
    rig.update({}, {{noDevice, tk::MB_RETRYCANCEL, tk::IDRETRY, 2},
                    {noDevice, tk::MB_RETRYCANCEL, tk::IDCANCEL},
                    {identifyError}});
    std::vector<uint32_t> sleeps;
    std::vector<int> bar;
    for (int round = 0; round < 3; ++round) {
        sleeps.insert(sleeps.end(), 8, 3000);
        sleeps.push_back(30); // the programming-enable wait
        countTo(bar, 8);
    }
    bar.push_back(0);
    EXPECT_EQ(rig.clock.sleeps(), sleeps);
    EXPECT_EQ(rig.op.positions(), bar);
    EXPECT_EQ(rig.outcome(), "Getting Device Infomation, button on, erases 0, pages 0, locks 0, waits 24");
}

TEST(UpdateFailure, WrongModelStopsTheProgramAndUnknownSignatureIsShown)
{
    UpdateRig wrong(Scenario::parse("wrong-model"));
    wrong.update({}, {{{"This Update Is For The Model M740-RT, Please Be Sure Target Is A M740-RT",
                        "Please Contact Talsen For Assistance"}},
                      {identifyError}});
    EXPECT_TRUE(wrong.form->abortFlag && wrong.op.terminateRequested());
    EXPECT_EQ(wrong.device->signatureReads(), 1u);
    EXPECT_EQ(wrong.op.shown().size(), 3u); // the shutdown's own close asked nobody

    UpdateRig unknown(Scenario::parse("unknown-signature"));
    unknown.update({}, {{{"Device not recognized!\nPlease contact Talsen Ziroreruri Corp. for assistance",
                          "Unknown Device Error"}},
                        {identifyError}});
    EXPECT_EQ(unknown.labels(), "1E 97 03 00");
    for (const UpdateRig* rig : {&wrong, &unknown})
        EXPECT_EQ(rig->outcome(), "Getting Device Infomation, button on, erases 0, pages 0, locks 0, waits 8");
}

TEST(UpdateFailure, MissingOrUnreadableHexFileLeavesTheChipUnerased)
{
    for (const char* content : {"", ":0400000FDEADBEEF00\r\n"}) {
        UpdateRig rig;
        rig.start();
        std::filesystem::remove(TfrmUpdate::hexFileName);
        if (*content)
            std::ofstream(TfrmUpdate::hexFileName) << content;
        rig.expect({hexError});
        rig.clickUpdate();
        EXPECT_EQ(rig.outcome(), "Reading Flash .HEX file, button on, erases 0, pages 0, locks 0, waits 8");
        EXPECT_TRUE(rig.form->IsProgramming()); // a failed step still counts as busy
    }
}

TEST(UpdateFailure, DeviceSilentAfterEraseIsAskedForUntilItAnswers)
{
    // Power fails right after the chip erase, the seventh instruction; a
    // retry here does not wait.
    UpdateRig repowered(Scenario::parse("power-loss:7"));
    const Firmware firmware = fullFirmware();
    repowered.update(firmware, {{noDevice, tk::MB_RETRYCANCEL, tk::IDRETRY},
                                {noDevice, tk::MB_RETRYCANCEL, tk::IDRETRY, 1,
                                 [&repowered] { repowered.device->powerCycle(); }},
                                {complete}});
    EXPECT_EQ(repowered.outcome(), "Update Complete!, button off, erases 1, pages 512, locks 1, waits 8");
    EXPECT_TRUE(repowered.holds(firmware));

    UpdateRig cancelled(Scenario::parse("power-loss:7"));
    cancelled.update(firmware, {{noDevice, tk::MB_RETRYCANCEL, tk::IDCANCEL}});
    EXPECT_EQ(cancelled.outcome(), "Chip Erase, button on, erases 1, pages 0, locks 0, waits 8");
    EXPECT_TRUE(cancelled.form->IsProgramming());
}

TEST(UpdateFailure, VerifyErrorLeavesTheInstrumentUnlocked)
{
    // A flash bit that will not program: the configuration is never written.
    UpdateRig stuck(Scenario::parse("stuck-bit:0x1234"));
    stuck.update(fullFirmware().set(0x1234, 0x00), {{verifyError}});
    EXPECT_EQ(stuck.outcome(), "Verifying Flash, button on, erases 1, pages 512, locks 0, waits 8");
    EXPECT_EQ(stuck.device->fuseHigh, 0x99);

    // Power fails after the extended fuse write: the lock write and the
    // read-backs reach nobody, though the flash verified.
    UpdateRig silent(Scenario::parse("power-loss:" + std::to_string(6 + 3 + 0x400 + 4 + flashSize + 3)));
    const Firmware firmware = Firmware().fill(0, 0x400, 5);
    silent.update(firmware, {{verifyError}});
    EXPECT_EQ(silent.outcome(), "Verifying Flash, button on, erases 1, pages 4, locks 0, waits 8");
    EXPECT_TRUE(std::equal(firmware.image.begin(), firmware.image.end(), silent.device->flash().begin()));
    EXPECT_EQ(silent.form->lblLock.GetText(), "FF");
}

} // namespace
} // namespace app_test
