// Whole updates through the modelled FT232R adapter against the same updates
// through the modem lines: the instrument must see the same instructions in
// the same order, the operator the same messages, waits and progress.
#include "tests/usb/UsbRig.h"

namespace usb_test {
namespace {

using app_test::Firmware;
using app_test::flashSize;
using Instruction = std::array<uint8_t, 4>;

// What one update did, as far as the operator and the instrument can tell.
struct Outcome {
    std::string outcome;
    std::vector<std::string> messages;
    std::vector<uint32_t> sleeps;
    std::vector<int> positions;
    std::vector<Instruction> instructions;
    bool holds = false;
    sim::Ft232rModel::Counters adapter;
};

// The operator answers OK, and Retry twice before Cancel. `during` may act
// on the rig (closing the window, unplugging) at message processing.
Outcome update(int item, const std::string& scenario, const Firmware& firmware,
               const std::function<void(UsbRig&)>& during = {}, Library library = Library::LibFtdi)
{
    UsbRig usb(sim::Scenario::parse(scenario), library);
    app_test::UpdateRig& rig = usb.rig;
    int retries = 0;
    rig.op.responder = [&retries](const testing_support::ShownMessage& message) {
        if (message.kind == testing_support::ShownMessage::Kind::Dialog)
            return message.buttons & tk::mbNo ? tk::mrNo : tk::mrYes; // abort, and stay
        if (message.flags != tk::MB_RETRYCANCEL)
            return tk::IDOK;
        return retries++ < 2 ? tk::IDRETRY : tk::IDCANCEL;
    };
    rig.device->recordInstructions = true;
    firmware.write();
    rig.form->lboxComPort.Select(item);
    if (during)
        during(usb);
    rig.clickUpdate();
    Outcome run;
    run.outcome = rig.outcome();
    for (const testing_support::ShownMessage& message : rig.op.shown())
        run.messages.push_back(message.text);
    run.sleeps = rig.clock.sleeps();
    run.positions = rig.op.positions();
    run.holds = rig.holds(firmware);
    // Closing the port delivers what is still queued.
    rig.form->comPort->SetOpen(false);
    run.instructions = rig.device->instructions();
    run.adapter = usb.adapter.counters;
    return run;
}

// The adapter path sent the modem-line path's instructions, and after them
// at most the rest of the page of flash reads it had read ahead.
void expectSameInstructions(const Outcome& lines, const Outcome& adapter)
{
    ASSERT_GE(adapter.instructions.size(), lines.instructions.size());
    EXPECT_TRUE(std::equal(lines.instructions.begin(), lines.instructions.end(), adapter.instructions.begin()));
    const auto extra = adapter.instructions.begin() + static_cast<long>(lines.instructions.size());
    EXPECT_LT(adapter.instructions.end() - extra, 256);
    for (auto at = extra; at != adapter.instructions.end(); ++at)
        EXPECT_TRUE((*at)[0] == 0x20 || (*at)[0] == 0x28) << "only reads are read ahead";
}

// Samples the library may hold unread: libftdi's read waits before the
// states go out; D2XX's driver reads ahead into a buffer of its own.
size_t unreadLimit(Library library)
{
    return library == Library::LibFtdi ? 0 : d2xx::inTransferSize;
}

void expectSameUpdate(const Outcome& lines, const Outcome& adapter, Library library = Library::LibFtdi)
{
    EXPECT_EQ(adapter.outcome, lines.outcome);
    EXPECT_EQ(adapter.messages, lines.messages);
    EXPECT_EQ(adapter.sleeps, lines.sleeps);
    EXPECT_EQ(adapter.positions, lines.positions);
    EXPECT_EQ(adapter.holds, lines.holds);
    expectSameInstructions(lines, adapter);
    EXPECT_EQ(adapter.adapter.races + adapter.adapter.stalls, 0u);
    EXPECT_LE(adapter.adapter.mostUnread, unreadLimit(library));
}

const Firmware smallFirmware = Firmware().fill(0, 0x1000, 21);

TEST(UsbUpdate, AFullUpdateThroughTheAdapterIsTheUpdateThroughTheModemLines)
{
    const Firmware firmware = Firmware().fill(0, flashSize - 2, 7).set(0x1FFFE, 0x34).set(0x1FFFF, 0x12);
    const Outcome lines = update(comItem, "normal", firmware);
    // Per page of programming or verification one read and one write for
    // each piece the library can hold the samples of (a page is 16,449
    // states), and a few dozen for the rest of the update.
    for (const auto& [library, piecesPerPage] : {std::pair{Library::LibFtdi, 1u}, std::pair{Library::D2xx, 5u}}) {
        SCOPED_TRACE(nameOf(library));
        const Outcome adapter = update(adapterItem, "normal", firmware, {}, library);
        ASSERT_TRUE(adapter.holds) << adapter.outcome;
        expectSameUpdate(lines, adapter, library);
        EXPECT_EQ(adapter.instructions.size(), lines.instructions.size());
        EXPECT_LT(adapter.adapter.transfers, 2u * piecesPerPage * 1024u + 100u);
    }
}

// Pin states too short for the chip (an adapter clocking faster than it is
// documented to, or a chip on a slower oscillator) lose clock edges: the
// update ends at identification with nothing written.
TEST(UsbUpdate, PinStatesShorterThanTheChipNeedsFailTheUpdateBeforeAnythingIsWritten)
{
    UsbRig usb;
    app_test::UpdateRig& rig = usb.rig;
    rig.device->minClockPhaseNs = 2'600; // one state lasts 2.5 µs
    usb.start(adapterItem, smallFirmware);
    rig.expect({app_test::noDevice, tk::MB_RETRYCANCEL, tk::IDCANCEL});
    rig.expect({app_test::holding(app_test::identifyError, app_test::nothingWritten)});
    rig.clickUpdate();
    EXPECT_EQ(rig.outcome(), "Getting Device Infomation, button on, erases 0, pages 0, locks 0, waits 8");
    EXPECT_GT(rig.device->clockEdgesMissed(), 0u);
}

// Every failure, and every abort (the window closed, answered Yes, then No:
// the update stops, the window stays), ends as through the modem lines, and
// what the adapter had queued still reaches the instrument.
TEST(UsbUpdate, EveryFailureAndAbortEndsAsThroughTheModemLines)
{
    const uint64_t afterErase = 7;
    const uint64_t midProgramming = 6 + 3 + 0x800;
    const uint64_t afterVerification = 6 + 3 + 0x1000 + 16 + flashSize + 3;
    struct Case {
        std::string scenario;
        const char* closedIn = nullptr; // the phase
        uint32_t after = 0;
    };
    const std::vector<Case> cases = {
        {"no-device"}, {"no-device-high"}, {"wrong-model"}, {"unknown-signature"}, {"locked"}, {"out-of-sync:5"},
        {"stuck-bit:0x123"}, {"power-loss:" + std::to_string(afterErase)},
        {"power-loss:" + std::to_string(midProgramming)}, {"power-loss:" + std::to_string(afterVerification)},
        {"normal", TfrmUpdate::statusIdentify, 3}, {"normal", TfrmUpdate::statusProgram, 1000},
        {"normal", TfrmUpdate::statusVerify, 5000}};
    for (const Case& c : cases) {
        const std::function<void(UsbRig&)> during = [c](UsbRig& usb) {
            if (c.closedIn)
                usb.rig.at(c.closedIn, c.after, [&usb] { usb.rig.form->Close(); });
        };
        const Outcome lines = update(comItem, c.scenario, smallFirmware, during);
        if (c.closedIn) {
            EXPECT_NE(lines.outcome.find(c.closedIn), std::string::npos) << lines.outcome;
        }
        for (const Library library : libraries) {
            SCOPED_TRACE(c.scenario + (c.closedIn ? std::string(" closed in ") + c.closedIn : "") + " through " +
                         nameOf(library));
            expectSameUpdate(lines, update(adapterItem, c.scenario, smallFirmware, during, library), library);
        }
    }
}

TEST(UsbUpdate, AnUnpluggedAdapterEndsTheUpdateAtOnceWithTheReason)
{
    for (const Library library : libraries)
    for (const auto& [phase, after] : std::vector<std::pair<const char*, uint32_t>>{
             {TfrmUpdate::statusErase, 0}, {TfrmUpdate::statusProgram, 300}, {TfrmUpdate::statusVerify, 3000}}) {
        SCOPED_TRACE(std::string(phase) + " through " + nameOf(library));
        UsbRig usb({}, library);
        app_test::UpdateRig& rig = usb.rig;
        usb.start(adapterItem, smallFirmware);
        rig.at(phase, after, [&usb] { usb.adapter.unplugAtCall = usb.adapter.counters.calls + 1; });
        rig.op.expectException("stopped answering");
        rig.clickUpdate();
        EXPECT_EQ(rig.status(), phase);
        EXPECT_FALSE(rig.form->btnUpdate.Enabled()) << "the step did not end as a step does";
        EXPECT_FALSE(usb.adapter.opened() || rig.form->comPort->GetOpen());
        const std::string& shown = rig.op.shown().back().text;
        EXPECT_NE(shown.find("USB FT232R SIM00001"), std::string::npos) << shown;
        EXPECT_NE(shown.find("unplugged"), std::string::npos) << shown;
    }
}

// A COM port that is the slow way to an adapter (one on USB, the COM number
// of an adapter listed after the COM ports, or one on USB with that
// adapter's serial number): the operator is told before anything starts,
// with the fast way where there is one, and may choose again.
TEST(UsbUpdate, TheSlowWayToAnAdapterIsToldBeforeTheUpdateAndMayBeLeft)
{
    const std::string fast = "\n\nUse USB FT232R A12345 (COM3) instead: the same adapter, driven directly, updates "
                             "in under two minutes.";
    struct Case {
        int item;
        const char* port; // null: no warning
        std::string fastWay;
        int answer;
    };
    for (const Case& c : {Case{0, nullptr, "", tk::IDOK}, Case{1, "COM2", "", tk::IDOK},
                          Case{2, "COM3", fast, tk::IDCANCEL}, Case{3, "COM4", fast, tk::IDOK},
                          Case{adapterItem, nullptr, "", tk::IDOK}}) {
        SCOPED_TRACE(c.item);
        sim::Atmega128 device;
        sim::Ft232rModel adapter("A12345", &device);
        adapter.comNumber = 3;
        const AdapterBus bus(Library::D2xx, {&adapter});
        app_test::UpdateRig rig({}, portsOn(device, {{bus.factory, ""}}, [](uint16_t number, serial::PortEntry& entry) {
                                    entry.onUsb = number == 2 || number == 4;
                                    entry.usbSerial = number == 4 ? "A12345" : "";
                                }));
        if (c.port)
            rig.op.expectBox(std::string(c.port) + " is a USB serial adapter. Through it every change of a modem line "
                                 "is a USB round trip, and an update takes about 10 hours." + c.fastWay +
                                 "\n\nOK goes on with " + c.port + "; Cancel lets you choose another port.",
                             "Slow Port", tk::MB_OKCANCEL, c.answer);
        rig.form->lboxComPort.Select(c.item);
        const bool kept = c.answer == tk::IDOK;
        EXPECT_EQ(rig.form->comNumber, kept ? c.item + 1 : 0);
        EXPECT_EQ(rig.form->comPort->GetOpen(), kept);
        EXPECT_EQ(adapter.opened(), c.item == adapterItem);
        EXPECT_EQ(rig.form->btnUpdate.Enabled(), kept);
        EXPECT_EQ(rig.form->lboxComPort.Enabled(), !kept) << "another port can be chosen";
        EXPECT_EQ(rig.form->lboxComPort.GetItemIndex(), kept ? c.item : -1);
    }
}

} // namespace
} // namespace usb_test
