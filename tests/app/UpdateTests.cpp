// The "Update!" procedure end to end against the simulated instrument: the
// complete update, and every way it can stop.
#include "tests/app/UpdateRig.h"

#include <gtest/gtest.h>

#include <fstream>
#include <numeric>

namespace app_test {
namespace {

using sim::Scenario;

Firmware fullFirmware()
{
    Firmware firmware;
    firmware.fill(0, flashSize - 2, 7);
    firmware.set(0x1FFFE, 0x34);
    firmware.set(0x1FFFF, 0x12);
    return firmware;
}

std::vector<int> upTo(int from, int last)
{
    std::vector<int> values(static_cast<size_t>(last - from + 1));
    std::iota(values.begin(), values.end(), from);
    return values;
}

std::vector<int> concat(std::initializer_list<std::vector<int>> parts)
{
    std::vector<int> all;
    for (const auto& part : parts)
        all.insert(all.end(), part.begin(), part.end());
    return all;
}

TEST(CompleteUpdate, ProgramsVerifiesConfiguresAndReportsEveryStep)
{
    UpdateRig rig;
    const Firmware firmware = fullFirmware();
    firmware.writeHexFile();
    rig.selectPort(1);
    rig.expectStart();
    rig.expectComplete();

    rig.clickUpdate();

    EXPECT_TRUE(rig.op.scriptDone());
    EXPECT_TRUE(rig.flashMatches(firmware));
    EXPECT_EQ(rig.device->fuseHigh, 0x9F);
    EXPECT_EQ(rig.device->fuseLow, 0xBF);
    EXPECT_EQ(rig.device->fuseExt, 0xFF);
    EXPECT_EQ(rig.device->lockBits & 0x3F, 0x3C);
    EXPECT_EQ(rig.device->pageWrites(), 512u);

    TfrmUpdate& form = *rig.form;
    EXPECT_EQ(form.lblCRC.GetText(), "1234");
    EXPECT_EQ(form.lblLock.GetText(), "FC");
    EXPECT_EQ(form.lblFuseLow.GetText(), "BF");
    EXPECT_EQ(form.lblExtFuse.GetText(), "FF");
    EXPECT_EQ(form.lblFuseHigh.GetText(), "9F");
    EXPECT_FALSE(form.lblLock.Visible());
    EXPECT_EQ(form.fuseText[1], "252");
    EXPECT_EQ(form.fuseValue[4], 0x9F);
    EXPECT_EQ(form.fuseText[0], "255"); // lock byte right after the erase
    EXPECT_EQ(form.sigText[0], "30");
    EXPECT_EQ(form.sigValue[1], 0x97);
    EXPECT_EQ(form.flashSize, flashSize);
    EXPECT_EQ(form.deviceType, 2);
    EXPECT_EQ(form.lblProgress.GetText(), "Update Complete!");
    EXPECT_FALSE(form.btnUpdate.Enabled());
    EXPECT_FALSE(form.IsProgramming());

    // Identification by 1/15/25 steps, the image read, the erase, then one
    // step per kilobyte of programming and of verification.
    const std::vector<int> expected = concat({upTo(0, 8), {23, 48, 73, 98, 100}, {0, 100}, {0, 100},
                                              upTo(0, 128), upTo(0, 128), {100, 0}});
    EXPECT_EQ(rig.op.positions(), expected);
    const auto bar = rig.op.history("ProgressBar");
    // Both phases run 0..128 with step 1; the last step-1 state is the
    // restore of the starting range.
    std::vector<int> stepOneMaxima;
    for (const auto& snapshot : bar)
        if (snapshot.step == 1 && (stepOneMaxima.empty() || stepOneMaxima.back() != snapshot.max))
            stepOneMaxima.push_back(snapshot.max);
    EXPECT_EQ(stepOneMaxima, (std::vector<int>{128, 100}));
    EXPECT_EQ(bar.back().max, 100);
    EXPECT_EQ(bar.back().step, 10);

    // The waits: 8 x 3 s, the enable waits, the erase, 512 page writes, the
    // fuse writes and the settled reads.
    EXPECT_EQ(rig.detectionWaits(), 8u);
    EXPECT_EQ(rig.clock.totalSleptMs(), 8u * 3000 + 2 * 30 + 2 * 43 + 2 * 43 + 512 * 43 + 3 * 43 + 4 * 2 * 43);
}

TEST(CompleteUpdate, CheckValueIsFFFFWhenTheImageLeavesTheLastBytesUnfilled)
{
    UpdateRig rig;
    Firmware firmware;
    firmware.fill(0, 0x400, 3);
    firmware.writeHexFile();
    rig.selectPort(2);
    rig.form->lblCRC.SetText("0000");
    rig.expectStart();
    rig.expectComplete();
    rig.clickUpdate();
    EXPECT_EQ(rig.form->lblCRC.GetText(), "FFFF");
    EXPECT_TRUE(rig.flashMatches(firmware));
}

TEST(CompleteUpdate, LockedDeviceIsErasedAndDetectedAgainWithTheFullWait)
{
    UpdateRig rig(Scenario::parse("locked"));
    const Firmware firmware = fullFirmware();
    firmware.writeHexFile();
    rig.selectPort();
    rig.expectStart();
    rig.expectComplete();
    rig.clickUpdate();
    EXPECT_EQ(rig.device->chipErases(), 2u);
    EXPECT_EQ(rig.detectionWaits(), 16u);
    EXPECT_TRUE(rig.flashMatches(firmware));
    EXPECT_TRUE(rig.configured());
}

// Programming covers the image's extent rounded up to whole pages;
// verification always covers the whole flash.
struct ProgrammingEnd {
    uint32_t highAddress;
    uint64_t pageWrites;
    int barMax;
};

class ProgrammingEndTest : public testing::TestWithParam<ProgrammingEnd> {};

TEST_P(ProgrammingEndTest, WritesWholePagesUpToTheEndAndVerifiesEverything)
{
    const ProgrammingEnd end = GetParam();
    UpdateRig rig;
    Firmware firmware;
    if (end.highAddress > 0) {
        firmware.fill(0, 0x100, 11);
        firmware.set(end.highAddress - 1, 0x5A);
    }
    firmware.writeHexFile();
    rig.selectPort();
    rig.expectStart();
    rig.expectComplete();
    rig.clickUpdate();

    EXPECT_EQ(rig.device->pageWrites(), end.pageWrites);
    EXPECT_TRUE(rig.flashMatches(firmware));
    // Programming's range is the first one with step 1.
    int programmingMax = -1;
    for (const auto& snapshot : rig.op.history("ProgressBar"))
        if (snapshot.step == 1) {
            programmingMax = snapshot.max;
            break;
        }
    EXPECT_EQ(programmingMax, end.barMax);
    EXPECT_EQ(rig.form->lblProgress.GetText(), "Update Complete!");
}

INSTANTIATE_TEST_SUITE_P(Extents, ProgrammingEndTest,
                         testing::Values(ProgrammingEnd{0x1F001, 497, 124}, ProgrammingEnd{0x100, 1, 0},
                                         ProgrammingEnd{0, 0, 0}),
                         [](const testing::TestParamInfo<ProgrammingEnd>& param) {
                             return "HighAddress" + std::to_string(param.param.highAddress);
                         });

TEST(UpdateFailure, WithoutAPortOnlyAsksForOne)
{
    UpdateRig rig;
    rig.op.expectBox("Please select a COM Port!", updateErrorCaption, tk::MB_OK, tk::IDOK);
    rig.form->btnUpdateClick(); // the button itself is disabled without a port
    EXPECT_FALSE(rig.form->btnUpdate.Enabled());
    rig.form->btnUpdate.SetEnabled(true);
    rig.op.expectBox("Please select a COM Port!", updateErrorCaption, tk::MB_OK, tk::IDOK);
    rig.form->btnUpdateClick();
    EXPECT_TRUE(rig.form->btnUpdate.Enabled());
    EXPECT_EQ(rig.form->lblProgress.GetText(), "");
}

TEST(UpdateFailure, CancelAtTheProgramModePromptSendsNothing)
{
    UpdateRig rig;
    rig.selectPort();
    rig.device->recordInstructions = true;
    rig.op.expectBox(programModeText, programModeCaption, tk::MB_OKCANCEL, tk::IDCANCEL);
    rig.clickUpdate();
    EXPECT_TRUE(rig.form->btnUpdate.Enabled());
    EXPECT_FALSE(rig.device->programmingEnabled());
    EXPECT_TRUE(rig.device->instructions().empty());
    EXPECT_TRUE(rig.clock.sleeps().empty());
    EXPECT_EQ(rig.form->lblProgress.GetText(), "");
}

TEST(UpdateFailure, SilentDeviceIsPromptedAfterEveryFullWait)
{
    UpdateRig rig(Scenario::parse("no-device"));
    rig.selectPort();
    rig.expectStart();
    rig.op.expectBox(noDeviceText, noDeviceCaption, tk::MB_RETRYCANCEL, tk::IDRETRY, 2)
        .expectBox(noDeviceText, noDeviceCaption, tk::MB_RETRYCANCEL, tk::IDCANCEL)
        .expectBox(identifyErrorText, identifyErrorCaption, tk::MB_OK, tk::IDOK);
    rig.clickUpdate();

    std::vector<uint32_t> oneRound(8, 3000);
    oneRound.push_back(30); // the enable wait
    std::vector<uint32_t> expected;
    for (int round = 0; round < 3; ++round)
        expected.insert(expected.end(), oneRound.begin(), oneRound.end());
    EXPECT_EQ(rig.clock.sleeps(), expected);
    EXPECT_EQ(rig.op.positions(), concat({upTo(0, 8), upTo(0, 8), upTo(0, 8), {0}}));
    EXPECT_TRUE(rig.form->btnUpdate.Enabled());
    EXPECT_EQ(rig.form->lblProgress.GetText(), "Getting Device Infomation");
    EXPECT_TRUE(rig.form->IsProgramming());
}

TEST(UpdateFailure, WrongModelStopsTheProgram)
{
    UpdateRig rig(Scenario::parse("wrong-model"));
    rig.selectPort();
    rig.expectStart();
    rig.op.expectBox(wrongModelText, wrongModelCaption, tk::MB_OK, tk::IDOK)
        .expectBox(identifyErrorText, identifyErrorCaption, tk::MB_OK, tk::IDOK);
    rig.clickUpdate();

    EXPECT_TRUE(rig.form->abortFlag);
    EXPECT_TRUE(rig.app.Terminated());
    EXPECT_TRUE(rig.op.terminateRequested());
    EXPECT_EQ(rig.device->signatureReads(), 1u);
    EXPECT_EQ(rig.device->chipErases(), 0u);
    EXPECT_EQ(rig.form->deviceType, 0);
    // The shutdown's own close found the window busy; its dialog ended at
    // once without reaching the operator.
    EXPECT_EQ(rig.op.shown().size(), 3u);
}

TEST(UpdateFailure, UnknownSignatureIsReportedAndShown)
{
    UpdateRig rig(Scenario::parse("unknown-signature"));
    rig.selectPort();
    rig.expectStart();
    rig.op.expectBox(unknownDeviceText, unknownDeviceCaption, tk::MB_OK, tk::IDOK)
        .expectBox(identifyErrorText, identifyErrorCaption, tk::MB_OK, tk::IDOK);
    rig.clickUpdate();
    EXPECT_EQ(rig.form->deviceType, 0);
    EXPECT_EQ(rig.form->lblFuseHigh.GetText(), "1E");
    EXPECT_EQ(rig.form->lblFuseLow.GetText(), "97");
    EXPECT_EQ(rig.form->lblExtFuse.GetText(), "03");
    EXPECT_EQ(rig.form->lblLock.GetText(), "00");
    EXPECT_EQ(rig.form->ProgressBar.Position(), 0);
    EXPECT_EQ(rig.device->chipErases(), 0u);
}

TEST(UpdateFailure, MissingOrUnreadableHexFileLeavesTheChipUnerased)
{
    for (const char* content : {static_cast<const char*>(nullptr), ":0400000FDEADBEEF00\r\n"}) {
        UpdateRig rig;
        if (content)
            std::ofstream("KPXUpdate517.hex") << content;
        rig.selectPort();
        rig.expectStart();
        rig.op.expectBox(hexErrorText, updateErrorCaption, tk::MB_OK, tk::IDOK);
        rig.clickUpdate();
        EXPECT_EQ(rig.device->chipErases(), 0u);
        EXPECT_EQ(rig.form->lblProgress.GetText(), "Reading Flash .HEX file");
        EXPECT_TRUE(rig.form->btnUpdate.Enabled());
        EXPECT_EQ(rig.form->lblCRC.GetText(), "FFFF");
    }
}

TEST(UpdateFailure, DeviceSilentAfterEraseIsAskedForUntilItAnswers)
{
    // Power fails right after the chip erase, the seventh instruction.
    Scenario scenario = Scenario::parse("power-loss:7");
    {
        UpdateRig rig(scenario);
        const Firmware firmware = fullFirmware();
        firmware.writeHexFile();
        rig.selectPort();
        rig.expectStart();
        rig.op.expectBox(noDeviceText, noDeviceCaption, tk::MB_RETRYCANCEL, tk::IDRETRY)
            .expectBox(noDeviceText, noDeviceCaption, tk::MB_RETRYCANCEL, tk::IDRETRY, 1,
                       [&rig] { rig.device->powerCycle(); });
        rig.expectComplete();
        rig.clickUpdate();
        EXPECT_EQ(rig.detectionWaits(), 8u); // a retry here does not wait
        EXPECT_TRUE(rig.flashMatches(firmware));
        EXPECT_TRUE(rig.configured());
    }
    {
        UpdateRig rig(scenario);
        fullFirmware().writeHexFile();
        rig.selectPort();
        rig.expectStart();
        rig.op.expectBox(noDeviceText, noDeviceCaption, tk::MB_RETRYCANCEL, tk::IDCANCEL);
        rig.clickUpdate();
        EXPECT_TRUE(rig.form->btnUpdate.Enabled());
        EXPECT_EQ(rig.form->lblProgress.GetText(), "Chip Erase");
        EXPECT_EQ(rig.device->pageWrites(), 0u);
    }
}

TEST(UpdateFailure, StuckFlashBitFailsVerificationAndLeavesTheConfigurationAlone)
{
    Scenario scenario = Scenario::parse("stuck-bit:0x1234");
    UpdateRig rig(scenario);
    Firmware firmware = fullFirmware();
    firmware.set(0x1234, 0x00);
    firmware.writeHexFile();
    rig.selectPort();
    rig.expectStart();
    rig.op.expectBox(verifyErrorText, verifyErrorText, tk::MB_OK, tk::IDOK);
    rig.clickUpdate();

    EXPECT_EQ(rig.device->lockWrites(), 0u);
    EXPECT_EQ(rig.device->fuseHigh, 0x99);
    EXPECT_EQ(rig.device->fuseLow, 0xE1);
    EXPECT_EQ(rig.form->lblProgress.GetText(), "Verifying Flash");
    EXPECT_TRUE(rig.form->btnUpdate.Enabled());
    EXPECT_EQ(rig.form->ProgressBar.Max(), 100);
    EXPECT_EQ(rig.form->ProgressBar.Step(), 10);
    // The position stays where the mismatch left it: 4 KB read.
    EXPECT_EQ(rig.form->ProgressBar.Position(), 4);
}

TEST(UpdateFailure, ConfigurationThatDoesNotReadBackIsNotReportedAsComplete)
{
    // Power fails after the extended fuse write: the lock write and the
    // read-backs reach nobody, though the flash verified.
    Firmware firmware;
    firmware.fill(0, 0x400, 5);
    const uint64_t instructions = 6 + 1 + 1 + 1 + 0x400 + 4 + flashSize + 3;
    UpdateRig rig(Scenario::parse("power-loss:" + std::to_string(instructions)));
    firmware.writeHexFile();
    rig.selectPort();
    rig.expectStart();
    rig.op.expectBox(verifyErrorText, verifyErrorText, tk::MB_OK, tk::IDOK);
    rig.clickUpdate();
    EXPECT_TRUE(rig.flashMatches(firmware));
    EXPECT_EQ(rig.device->lockWrites(), 0u);
    EXPECT_NE(rig.form->lblProgress.GetText(), "Update Complete!");
    EXPECT_EQ(rig.form->lblLock.GetText(), "FF");
    EXPECT_TRUE(rig.form->btnUpdate.Enabled());
}

} // namespace
} // namespace app_test
