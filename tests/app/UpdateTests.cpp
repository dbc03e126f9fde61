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
                    {holding(identifyError, nothingWritten)}});
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
                      {holding(identifyError, nothingWritten)}});
    EXPECT_TRUE(wrong.form->abortFlag && wrong.op.terminateRequested());
    EXPECT_EQ(wrong.device->signatureReads(), 1u);
    EXPECT_EQ(wrong.op.shown().size(), 3u); // the shutdown's own close asked nobody

    UpdateRig unknown(Scenario::parse("unknown-signature"));
    unknown.update({}, {{{"Device not recognized!\nPlease contact Talsen Ziroreruri Corp. for assistance",
                          "Unknown Device Error"}},
                        {holding(identifyError, nothingWritten)}});
    EXPECT_EQ(unknown.labels(), "1E 97 03 00");
    for (const UpdateRig* rig : {&wrong, &unknown})
        EXPECT_EQ(rig->outcome(), "Getting Device Infomation, button on, erases 0, pages 0, locks 0, waits 8");
}

// What was in the instrument before the update.
const Firmware olderFirmware = Firmware().fill(0, 0x800, 3);

TEST(UpdateFailure, MissingOrDamagedHexFileIsRefusedWithItsReasonAndTheChipUnerased)
{
    // Every reason a file is refused for is the file reader's own case.
    const struct {
        std::string content; // empty: no file at all
        std::string reason;  // after the file's full path
    } cases[] = {
        {"", ""},
        {":0100000042BD\r\n:0100010043BD\r\n:00000001FF\r\n", ": line 2: checksum BD, expected BB"},
    };
    for (const auto& c : cases) {
        UpdateRig rig;
        std::copy(olderFirmware.image.begin(), olderFirmware.image.end(), rig.device->flash().begin());
        rig.start();
        std::filesystem::remove(TfrmUpdate::hexFileName);
        const std::string path = (std::filesystem::current_path() / TfrmUpdate::hexFileName).string();
        std::string reason = path + c.reason;
        if (c.content.empty())
            reason = std::string(TfrmUpdate::hexFileName) + " is not in " +
                     std::filesystem::current_path().string() + " ";
        else
            std::ofstream(TfrmUpdate::hexFileName, std::ios::binary) << c.content;
        rig.op.responder = [](const testing_support::ShownMessage&) { return tk::IDOK; };
        rig.clickUpdate();

        ASSERT_EQ(rig.op.shown().size(), 2u);
        EXPECT_EQ(rig.op.shown().back().caption, hexError.caption);
        const std::string& shown = rig.op.shown().back().text;
        EXPECT_TRUE(shown.starts_with(hexError.text + "\n\n" + reason)) << shown;
        EXPECT_TRUE(shown.ends_with("\n\n" + nothingWritten)) << shown;
        EXPECT_EQ(rig.outcome(), "Reading Flash .HEX file, button on, erases 0, pages 0, locks 0, waits 8");
        EXPECT_TRUE(rig.flashHolds(olderFirmware));
        EXPECT_TRUE(rig.form->IsProgramming()); // a failed step still counts as busy
    }
}

// Before the identification's 24 s the operator learns which file will be
// programmed, or why none can be: where it was looked for, or what is wrong.
// Linux's folders; tests/win checks Windows' own.
#ifndef _WIN32
TEST(FirmwareFile, NamedOrFoundInTheCurrentThenTheDataFolderAndAnnouncedBeforeAnyWait)
{
    const Firmware named = Firmware().fill(0, 0x300, 4);
    const Firmware installed = Firmware().fill(0, 0x200, 5);
    const Firmware current = Firmware().fill(0, 0x100, 6);
    struct Case {
        bool inCurrent, inData, damagedInCurrent, byName;
        std::string notice; // {C} the current folder's file, {D} the data folder's, {N} the named one
        const Firmware* programmed;
    };
    for (const Case& c :
         {Case{true, true, false, false, "Firmware: {C}", &current},
          Case{false, true, false, false, "Firmware: {D}", &installed},
          Case{true, true, false, true, "Firmware: {N}", &named},
          Case{true, true, true, false, "Firmware refused: line 1: checksum BC, expected BD ({C})", nullptr},
          Case{false, false, false, false,
               "Firmware missing: KPXUpdate517.hex is not in {here}, {data} or " KPX_CONFIGURED_DATA_DIR, nullptr}}) {
        SCOPED_TRACE(c.notice);
        UpdateRig rig;
        // An installation: the program in PREFIX/bin, its data in PREFIX/share/kpx-updater.
        const std::filesystem::path prefix = std::filesystem::current_path() / "prefix";
        const std::filesystem::path data = prefix / "share" / "kpx-updater";
        std::filesystem::create_directories(data);
        std::filesystem::create_directories("other");
        tk::setProgramPath((prefix / "bin" / "kpx-updater").string());
        if (c.inData) {
            installed.write();
            std::filesystem::rename(TfrmUpdate::hexFileName, data / TfrmUpdate::hexFileName);
        }
        named.write();
        std::filesystem::rename(TfrmUpdate::hexFileName, "other/mine.hex");
        if (c.inCurrent)
            current.write();
        if (c.damagedInCurrent)
            std::ofstream(TfrmUpdate::hexFileName, std::ios::binary) << ":0100000042BC\n:00000001FF\n";
        if (c.byName)
            rig.form->firmwareFile = "other/mine.hex";

        const std::string shown = rig.form->ShowFirmwareNotice();
        EXPECT_EQ(rig.status(), shown);
        EXPECT_FALSE(rig.form->IsProgramming());
        const std::string here = std::filesystem::current_path().string();
        std::string notice = c.notice;
        for (const auto& [name, path] : {std::pair{"{C}", here + "/" + TfrmUpdate::hexFileName},
                                         std::pair{"{D}", (data / TfrmUpdate::hexFileName).string()},
                                         std::pair{"{N}", here + "/other/mine.hex"}, std::pair{"{here}", here},
                                         std::pair{"{data}", data.string()}})
            if (const size_t at = notice.find(name); at != std::string::npos)
                notice.replace(at, std::string(name).size(), path);
        EXPECT_EQ(shown, notice);
        EXPECT_TRUE(rig.clock.sleeps().empty());

        if (c.programmed) {
            rig.form->lboxComPort.Select(0);
            rig.expect({programMode, tk::MB_OKCANCEL});
            rig.expect({complete});
            rig.clickUpdate();
            EXPECT_TRUE(rig.holds(*c.programmed));
        }
        tk::setProgramPath({});
    }
}
#endif

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
    cancelled.update(firmware, {{noDevice, tk::MB_RETRYCANCEL, tk::IDCANCEL}, {stopBox(erasedMemory)}});
    EXPECT_EQ(cancelled.outcome(), "Chip Erase, button on, erases 1, pages 0, locks 0, waits 8");
    EXPECT_TRUE(cancelled.form->IsProgramming());
}

// A flash bit that will not program, in the first byte of the first page or
// in the last byte of the last page: verification stops at that byte, after
// reading every byte before it, and the configuration is never written.
TEST(UpdateFailure, VerifyErrorStopsAtTheFirstWrongByteAndLeavesTheInstrumentUnlocked)
{
    for (const uint32_t address : {0x0000u, 0x1FFFFu}) {
        SCOPED_TRACE(address);
        UpdateRig stuck(Scenario::parse("stuck-bit:" + std::to_string(address)));
        stuck.device->recordInstructions = true;
        stuck.update(fullFirmware().set(address, 0x00), {{holding(verifyError, writtenWrong)}});
        EXPECT_EQ(stuck.outcome(), "Verifying Flash, button on, erases 1, pages 512, locks 0, waits 8");
        EXPECT_EQ(stuck.device->fuseHigh, 0x99);
        const auto& sent = stuck.device->instructions();
        const auto firstRead = std::find_if(sent.begin(), sent.end(), [](const auto& i) { return i[0] == 0x20; });
        ASSERT_EQ(sent.end() - firstRead, static_cast<std::ptrdiff_t>(address) + 1);
        const std::array<uint8_t, 4> last{static_cast<uint8_t>(address & 1 ? 0x28 : 0x20),
                                          static_cast<uint8_t>(address >> 9), static_cast<uint8_t>(address >> 1), 0x00};
        EXPECT_EQ(sent.back(), last);
    }
}

// Configuration bytes that read back otherwise than written are reported as
// such, not as a flash verify error, and the flash is known to be good.
TEST(UpdateFailure, ConfigurationReadBackThatDiffersIsReportedByteForByte)
{
    const Firmware firmware = Firmware().fill(0, 0x400, 5);
    struct Case {
        std::string scenario;
        const char* differences;
        const char* labels; // fuse high, low, extended, lock
    };
    // Power fails after the extended fuse write: the lock write and the
    // read-backs reach nobody.
    for (const Case& c : {Case{"lock-misread", "lock FC expected, FF read", "9F BF FF FF"},
                          Case{"power-loss:" + std::to_string(6 + 3 + 0x400 + 4 + flashSize + 3),
                               "lock FC expected, FF read; low fuse BF expected, FF read; high fuse 9F expected, FF "
                               "read",
                               "FF FF FF FF"}}) {
        SCOPED_TRACE(c.scenario);
        UpdateRig rig(Scenario::parse(c.scenario));
        rig.update(firmware, {{holding({std::string("Configuration Verify Error: ") + c.differences, "Verify Error"},
                                       configurationUnconfirmed)}});
        EXPECT_EQ(rig.outcome(), "Writing Configuration, button on, erases 1, pages 4, locks " +
                                     std::to_string(c.scenario == "lock-misread" ? 1 : 0) + ", waits 8");
        EXPECT_TRUE(rig.flashHolds(firmware));
        EXPECT_EQ(rig.labels(), c.labels);
        EXPECT_TRUE(rig.form->IsProgramming()); // unconfirmed: closing still warns
    }
}

// A chip whose erase never unlocks it is erased and detected again without
// end while an operator watches; unattended, three rounds end it.
TEST(UpdateFailure, ChipThatStaysLockedIsGivenUpAfterTheUnattendedLimit)
{
    UpdateRig rig(Scenario::parse("stuck-locked"));
    rig.form->lockedEraseLimit = 3;
    rig.update({}, {{{"The device still reads signature 00 01 02 (locked) after 3 chip erases.", "Device Locked"}},
                    {holding(identifyError, erasedMemory)}});
    EXPECT_EQ(rig.outcome(), "Getting Device Infomation, button on, erases 3, pages 0, locks 0, waits 32");

    UpdateRig watched(Scenario::parse("stuck-locked"));
    watched.op.when([&watched] { return watched.device->chipErases() == 5; },
                    [&watched] { watched.form->abortFlag = true; });
    watched.update({}, {{holding(identifyError, erasedMemory)}});
    EXPECT_EQ(watched.device->chipErases(), 5u);
}

} // namespace
} // namespace app_test
