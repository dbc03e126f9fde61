// Hundreds of updates against an instrument with random faults. Whatever
// happens, an update either ends in "Update Complete!" with the instrument
// holding exactly the image and the configuration, or it ends with a failure
// message that says truthfully what the instrument now holds, and then the
// instrument was locked (if at all) only after its flash and fuses had been
// verified.
#include "tests/app/UpdateRig.h"

#include <cmath>
#include <map>

namespace app_test {
namespace {

using Kind = sim::Scenario::Kind;

constexpr int campaignRuns = 240;
constexpr const char* familyNames[] = {"none",       "noisy",     "noisy", "power-loss",
                                       "power-loss", "stuck-bit", "other", "other"};
// A small image: a fault in verification shows early, yet programming and
// verification still run over their full ranges.
constexpr uint32_t imageBytes = 0x2000;
// Instructions of a complete update of that image: identification 6, erase,
// lock read and enable 3, the page loads and writes, the whole flash read,
// 4 writes and 4 reads of the configuration.
constexpr uint64_t updateInstructions = 6 + 3 + imageBytes + imageBytes / 256 + flashSize + 8;

// A fault of the family that run % 8 picks.
sim::Scenario randomFault(int run, std::mt19937_64& random)
{
    static constexpr Kind families[] = {Kind::Normal,    Kind::NoisyCts, Kind::NoisyCts, Kind::PowerLoss,
                                        Kind::PowerLoss, Kind::StuckBit};
    static constexpr Kind others[] = {Kind::NoDeviceCtsLow, Kind::NoDeviceCtsHigh, Kind::WrongModel,
                                      Kind::OutOfSync,      Kind::Locked,          Kind::UnknownSignature};
    // Power lost during identification and erase, during programming, or anywhere.
    static constexpr uint64_t powerLossSpans[][2] = {
        {1, 10}, {9, imageBytes + imageBytes / 256}, {1, updateInstructions + 2}};
    const auto pick = [&random](uint64_t below) { return random() % below; };
    sim::Scenario scenario;
    scenario.kind = run % 8 < 6 ? families[run % 8] : others[pick(std::size(others))];
    scenario.bitErrorRate = std::pow(10.0, static_cast<double>(pick(6)) - 8);
    scenario.seed = random();
    const uint64_t* span = powerLossSpans[pick(3)];
    scenario.powerLossAfter = span[0] + pick(span[1]);
    scenario.stuckAddress = static_cast<uint32_t>(pick(imageBytes + 0x100));
    scenario.stuckMask = static_cast<uint8_t>(1u << pick(8));
    scenario.syncOffsetBits = static_cast<int>(1 + pick(7));
    return scenario;
}

TEST(FaultCampaign, NeverReportsSuccessForAnUpdateThatDidNotVerify)
{
    const Firmware firmware = Firmware().fill(0, imageBytes, 99);
    const Firmware older = Firmware().fill(0, imageBytes / 2, 98);
    std::map<std::string, std::array<int, 2>> tally; // family: completed, failed

    for (int run = 0; run < campaignRuns; ++run) {
        std::mt19937_64 random(0x4B5055 + static_cast<uint64_t>(run));
        const sim::Scenario scenario = randomFault(run, random);
        const std::string family = familyNames[run % 8];
        SCOPED_TRACE("run " + std::to_string(run) + " (" + family + ")");

        UpdateRig rig(scenario);
        std::copy(older.image.begin(), older.image.end(), rig.device->flash().begin());
        // Usually locked, as a finished update leaves it.
        if (random() % 4 != 0 && scenario.kind != Kind::Locked)
            rig.device->lockBits = 0xFC;

        // The operator answers OK, and Retry twice at most, repowering the
        // instrument before a retry now and then.
        int retries = 0;
        rig.op.responder = [&](const testing_support::ShownMessage& message) {
            if (message.flags != tk::MB_RETRYCANCEL)
                return tk::IDOK;
            if (retries++ >= 2)
                return tk::IDCANCEL;
            if (random() % 2)
                rig.device->powerCycle();
            return tk::IDRETRY;
        };
        firmware.write();
        rig.form->lboxComPort.Select(0);
        rig.clickUpdate();

        ASSERT_FALSE(rig.op.shown().empty());
        const testing_support::ShownMessage& last = rig.op.shown().back();
        const bool verified = rig.holds(firmware);
        if (rig.status() == "Update Complete!") {
            ++tally[family][0];
            EXPECT_TRUE(verified);
            EXPECT_EQ(rig.form->lblLock.GetText(), "FC");
            EXPECT_EQ(last.text, complete.text);
        } else {
            ++tally[family][1];
            const std::string& text = last.text;
            EXPECT_TRUE(text.starts_with(identifyError.text) || text.starts_with(verifyError.text) ||
                        text.starts_with("Configuration Verify Error: ") || last.caption == "Update Stopped")
                << "last message: " << text;
            EXPECT_TRUE(rig.device->lockWrites() == 0 || verified) << "locked after an unverified update";
            // The stop never says the instrument is better off than it is
            // (an erase that a dead instrument missed may still be told).
            if (text.ends_with(nothingWritten))
                EXPECT_TRUE(rig.device->chipErases() == 0 && rig.flashHolds(older)) << text;
            else if (text.ends_with(configurationUnconfirmed))
                EXPECT_TRUE(rig.flashHolds(firmware)) << text;
            else
                EXPECT_TRUE(text.ends_with(erasedMemory) || text.ends_with(partlyWritten) ||
                            text.ends_with(writtenWrong))
                    << text;
        }
    }

    // Both ends were reached for the faults that allow both.
    EXPECT_GT(tally["none"][0], 0);
    EXPECT_GT(tally["noisy"][0] * tally["noisy"][1], 0);
    EXPECT_GT(tally["power-loss"][0] * tally["power-loss"][1], 0);
    EXPECT_GT(tally["stuck-bit"][1], 0);
}

} // namespace
} // namespace app_test
