// Hundreds of updates against an instrument with random faults. Whatever
// happens, an update either ends in "Update Complete!" with the instrument
// holding exactly the image and the configuration, or it ends with a failure
// message, and then the instrument was locked (if at all) only after its
// flash and fuses had been verified.
#include "tests/app/UpdateRig.h"

#include <gtest/gtest.h>

#include <map>
#include <random>

namespace app_test {
namespace {

using sim::Scenario;

constexpr int campaignRuns = 240;
constexpr uint64_t campaignSeed = 0x4B5055;
// A small image: a fault in verification shows early, yet programming and
// verification still run over their full ranges.
constexpr uint32_t imageBytes = 0x2000;
// Instructions of a complete update of that image: identification 6, erase,
// lock read and enable 3, the page loads and writes, the whole flash read,
// 4 writes and 4 reads of the configuration.
constexpr uint64_t updateInstructions = 6 + 3 + imageBytes + imageBytes / 256 + flashSize + 8;

struct Fault {
    std::string name;
    Scenario scenario;
};

Fault randomFault(int run, std::mt19937_64& random)
{
    const auto pick = [&random](uint64_t below) { return random() % below; };
    Fault fault;
    switch (run % 8) {
    case 0:
        fault.name = "none";
        break;
    case 1:
    case 2: {
        static constexpr double rates[] = {1e-8, 1e-7, 1e-6, 1e-5, 1e-4, 1e-3};
        fault.scenario.kind = Scenario::Kind::NoisyCts;
        fault.scenario.bitErrorRate = rates[pick(std::size(rates))];
        fault.scenario.seed = random();
        fault.name = "noisy";
        break;
    }
    case 3:
    case 4: {
        fault.scenario.kind = Scenario::Kind::PowerLoss;
        // Identification and erase, programming, or anywhere.
        switch (pick(3)) {
        case 0:
            fault.scenario.powerLossAfter = 1 + pick(10);
            break;
        case 1:
            fault.scenario.powerLossAfter = 9 + pick(imageBytes + imageBytes / 256);
            break;
        default:
            fault.scenario.powerLossAfter = 1 + pick(updateInstructions + 2);
            break;
        }
        fault.name = "power-loss";
        break;
    }
    case 5:
        fault.scenario.kind = Scenario::Kind::StuckBit;
        fault.scenario.stuckAddress = static_cast<uint32_t>(pick(imageBytes + 0x100));
        fault.scenario.stuckMask = static_cast<uint8_t>(1u << pick(8));
        fault.name = "stuck-bit";
        break;
    case 6:
        fault.scenario.kind = pick(2) ? Scenario::Kind::NoDeviceCtsLow : Scenario::Kind::NoDeviceCtsHigh;
        fault.name = "silent";
        break;
    default: {
        static constexpr Scenario::Kind kinds[] = {Scenario::Kind::WrongModel, Scenario::Kind::OutOfSync,
                                                   Scenario::Kind::Locked, Scenario::Kind::UnknownSignature};
        fault.scenario.kind = kinds[pick(std::size(kinds))];
        fault.scenario.syncOffsetBits = static_cast<int>(1 + pick(7));
        fault.name = "other";
        break;
    }
    }
    return fault;
}

TEST(FaultCampaign, NeverReportsSuccessForAnUpdateThatDidNotVerify)
{
    Firmware firmware;
    firmware.fill(0, imageBytes, 99);
    std::map<std::string, std::pair<int, int>> tally; // fault: completed, failed

    for (int run = 0; run < campaignRuns; ++run) {
        std::mt19937_64 random(campaignSeed + static_cast<uint64_t>(run));
        const Fault fault = randomFault(run, random);
        SCOPED_TRACE("run " + std::to_string(run) + " (" + fault.name + ")");

        UpdateRig rig(fault.scenario);
        firmware.writeHexFile();
        // The instrument holds an older firmware, usually locked as a
        // finished update leaves it.
        std::mt19937 old(static_cast<uint32_t>(run));
        for (uint32_t address = 0; address < 0x3000; ++address)
            rig.device->flash()[address] = static_cast<uint8_t>(old());
        if (random() % 4 != 0 && fault.scenario.kind != Scenario::Kind::Locked)
            rig.device->lockBits = 0xFC;

        // The operator answers OK, and Retry twice at most, repowering the
        // instrument before a retry now and then.
        int retries = 0;
        rig.op.responder = [&](const testing_support::ShownMessage& message) {
            if (message.flags == tk::MB_RETRYCANCEL) {
                if (retries++ >= 2)
                    return tk::IDCANCEL;
                if (random() % 2)
                    rig.device->powerCycle();
                return tk::IDRETRY;
            }
            return tk::IDOK;
        };
        rig.selectPort();
        rig.clickUpdate();

        const auto& shown = rig.op.shown();
        ASSERT_FALSE(shown.empty());
        const bool complete = rig.form->lblProgress.GetText() == "Update Complete!";
        const bool verifiedContent = rig.flashMatches(firmware) && rig.configured();
        if (complete) {
            ++tally[fault.name].first;
            EXPECT_TRUE(rig.flashMatches(firmware));
            EXPECT_TRUE(rig.configured());
            EXPECT_EQ(rig.form->lblLock.GetText(), "FC");
            EXPECT_EQ(shown.back().text, completeText);
        } else {
            ++tally[fault.name].second;
            const std::string& last = shown.back().text;
            EXPECT_TRUE(last == identifyErrorText || last == verifyErrorText || last == hexErrorText ||
                        (last == noDeviceText && shown.back().answer == tk::IDCANCEL))
                << "last message: " << last;
            EXPECT_NE(last, completeText);
            EXPECT_TRUE(rig.device->lockWrites() == 0 || verifiedContent)
                << "locked after an unverified update";
        }
    }

    // The campaign must have seen both ends for the faults that allow both.
    int completed = 0;
    int failed = 0;
    for (const auto& [name, counts] : tally) {
        completed += counts.first;
        failed += counts.second;
        std::printf("%-11s completed %3d  failed %3d\n", name.c_str(), counts.first, counts.second);
    }
    EXPECT_GT(tally["none"].first, 0);
    EXPECT_GT(tally["noisy"].first, 0);
    EXPECT_GT(tally["noisy"].second, 0);
    EXPECT_GT(tally["power-loss"].first, 0);
    EXPECT_GT(tally["power-loss"].second, 0);
    EXPECT_GT(tally["stuck-bit"].second, 0);
    EXPECT_EQ(tally["silent"].first, 0);
    EXPECT_EQ(completed + failed, campaignRuns);
}

} // namespace
} // namespace app_test
