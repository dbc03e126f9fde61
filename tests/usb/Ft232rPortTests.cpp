// The FT232R port on the modelled adapter: what reaches the pins, how the
// answers are read back from the samples, the adapter's faults, and how the
// ports are chosen by name.
#include "link/Ft232rPort.h"
#include "link/Pgmcomm.h"
#include "platform/VirtualClock.h"
#include "sim/SimComPort.h"
#include "tests/usb/UsbRig.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <optional>
#include <random>
#include <utility>
#include <vector>

namespace {

using usb_test::AdapterBus;
using usb_test::Library;
using usb_test::nameOf;
using testing::HasSubstr;
using testing::ThrowsMessage;

// An instrument behind both paths, on a virtual clock.
struct Bench {
    explicit Bench(const sim::Scenario& scenario = {})
        : device(scenario)
    {
        adapter.clock = &clock;
    }
    std::unique_ptr<usb::Ft232rPort> openAdapter(Library library = Library::LibFtdi)
    {
        bus.emplace(library, std::vector<sim::Ft232rModel*>{&adapter});
        auto port = std::make_unique<usb::Ft232rPort>(bus->factory(), "SIM00001", "USB FT232R SIM00001");
        port->SetOpen(true);
        port->SetRTS(true);
        return port;
    }

    platform::VirtualClock clock{1'000'000, 1'000};
    platform::ScopedClock installed{clock};
    sim::Atmega128 device;
    sim::Ft232rModel adapter{"SIM00001", &device};
    std::optional<AdapterBus> bus;
};

// An adapter that answers every pin state with a sample of its own, and keeps
// the states and the samples, so that each answer bit can be traced to the
// sample it was read from.
class ScriptedAdapter final : public usb::FtdiContext {
public:
    std::vector<usb::AdapterInfo> findAll() override { return {}; }
    usb::OpenResult open(const std::string&) override { return usb::OpenResult::Opened; }
    int setLatencyTimer(uint8_t) override { return 0; }
    int setBitmode(uint8_t, uint8_t) override { return 0; }
    int setPinRate(int) override { return 0; }
    int purge() override { return 0; }
    int transfer(const uint8_t* out, uint8_t* in, int size) override
    {
        for (int i = 0; i < size; ++i) {
            in[i] = static_cast<uint8_t>(random_());
            samples.push_back(in[i]);
            states.push_back(out[i]);
        }
        return 0;
    }
    size_t largestTransfer() const override { return 4096; }
    int close() override { return 0; }
    std::string errorText() override { return {}; }

    std::vector<uint8_t> states;
    // samples[k] was taken just before states[k] was applied.
    std::vector<uint8_t> samples;

private:
    std::mt19937 random_{20};
};

// Whatever the device does between the edges, each bit is read from the
// sample taken just before its rising clock edge, and the data line carries
// the bit sent at that edge; extra pulses take an edge and no answer.
TEST(Ft232rPort, EachAnswerBitIsTheSampleJustBeforeItsRisingClockEdge)
{
    auto owned = std::make_unique<ScriptedAdapter>();
    const ScriptedAdapter& adapter = *owned;
    usb::Ft232rPort port(std::move(owned), "S1", "USB FT232R S1");
    port.SetOpen(true);
    constexpr int pulse = -1;
    for (const std::vector<int>& batch : {std::vector<int>{0xAC, 0x53, pulse, 0x00, 0xFF}, {pulse, 0x5A, 0x81}}) {
        const size_t first = adapter.states.size();
        std::vector<uint8_t> bytes;
        for (const int step : batch) {
            if (step == pulse) {
                port.queuePulse();
            } else {
                bytes.push_back(static_cast<uint8_t>(step));
                port.queueByte(bytes.back());
            }
        }
        const std::vector<uint8_t> answers = port.flush();

        // The data bit and the sampled bit at each rising edge of the batch.
        std::vector<std::pair<bool, bool>> edges;
        uint8_t before = first > 0 ? adapter.states[first - 1] : 0;
        for (size_t k = first; k < adapter.states.size(); ++k) {
            if ((adapter.states[k] & ~before & usb::pinSck) != 0)
                edges.emplace_back((adapter.states[k] & usb::pinMosi) != 0, (adapter.samples[k] & usb::pinMiso) != 0);
            before = adapter.states[k];
        }
        std::vector<uint8_t> sent, expected;
        size_t edge = 0;
        for (const int step : batch) {
            if (step == pulse) {
                ++edge;
                continue;
            }
            unsigned out = 0, in = 0;
            for (int bit = 0; bit < 8 && edge < edges.size(); ++bit, ++edge) {
                out = (out << 1) | (edges[edge].first ? 1u : 0u);
                in = (in << 1) | (edges[edge].second ? 1u : 0u);
            }
            sent.push_back(static_cast<uint8_t>(out));
            expected.push_back(static_cast<uint8_t>(in));
        }
        EXPECT_EQ(edge, edges.size()) << "rising edges beyond the bytes and pulses";
        EXPECT_EQ(sent, bytes);
        EXPECT_EQ(answers, expected);
    }
}

TEST(Ft232rPort, OpensInSynchronousBitBangAtTwoAndAHalfMicrosecondsAStateAndSpendsTwoStatesPerBit)
{
    // One pin-state time, the same through either library (D2XX's baud rate
    // is the chip's, libftdi's a quarter of it): every clock phase lasts at
    // least one state, more than two cycles of a 1 MHz chip whose oscillator
    // runs 10 % slow (the simulated chip misses shorter ones).
    for (const Library library : usb_test::libraries) {
        SCOPED_TRACE(nameOf(library));
        Bench bench;
        const auto port = bench.openAdapter(library);
        EXPECT_EQ(bench.adapter.bitmode(), usb::bitmodeSyncBitbang);
        EXPECT_EQ(bench.adapter.outputMask(), usb::pinSck | usb::pinMosi);
        EXPECT_EQ(bench.adapter.pinRate(), 400'000);

        const uint64_t before = bench.adapter.counters.pinStates;
        const uint64_t transfers = bench.adapter.counters.transfers;
        for (int i = 0; i < 4; ++i)
            port->queueByte(0xAC);
        port->flush();
        EXPECT_EQ(bench.adapter.counters.pinStates - before, 4u * 16u + 1u) << "and one to bring the clock down";
        EXPECT_EQ(bench.adapter.counters.transfers - transfers, 2u) << "one write, one read";

        // Single line calls still work, each as one round trip.
        port->SetRTS(false);
        EXPECT_NE(bench.adapter.pins() & usb::pinSck, 0);
        port->SetDTR(true);
        EXPECT_EQ(bench.adapter.pins() & usb::pinMosi, 0);
        EXPECT_FALSE(port->GetCTS()) << "nothing driven yet: CTS not asserted";
    }
    EXPECT_EQ(usb::libftdiBaudRate(usb::pinStatesPerSecond) * 4 * 16, 400'000);
    EXPECT_EQ(usb::d2xxBaudRate(usb::pinStatesPerSecond) * 16, 400'000);
}

TEST(Ft232rPort, OpenFailuresSayWhyAndLeaveTheAdapterClosed)
{
    struct Case {
        Library library;
        std::function<void(sim::Ft232rModel&)> fault;
        bool inUse;
        const char* says;
    };
    const auto held = [](sim::Ft232rModel& a) { a.heldElsewhere = true; };
    const auto goneAt = [](uint64_t call) { return [call](sim::Ft232rModel& a) { a.unplugAtCall = call; }; };
    for (const Case& failure : {Case{Library::LibFtdi, held, true, "another program"},
                                Case{Library::D2xx, held, true, "FT_DEVICE_NOT_OPENED"},
                                Case{Library::LibFtdi, [](sim::Ft232rModel& a) { a.noPermission = true; }, false,
                                     "dialout"},
                                Case{Library::LibFtdi, goneAt(1), false, "not connected"},
                                Case{Library::D2xx, goneAt(1), false, "not connected"},
                                // Gone between opening and setting up.
                                Case{Library::LibFtdi, goneAt(3), false, "bit-bang failed"},
                                Case{Library::D2xx, goneAt(2), false, "FT_IO_ERROR"},
                                Case{Library::D2xx, goneAt(5), false, "bit-bang failed: FT_IO_ERROR"}}) {
        SCOPED_TRACE(std::string(failure.says) + " through " + nameOf(failure.library));
        Bench bench;
        failure.fault(bench.adapter);
        const auto open = [&] { bench.openAdapter(failure.library); };
        if (failure.inUse)
            EXPECT_THAT(open, ThrowsMessage<serial::EAlreadyOpen>(HasSubstr(failure.says)));
        else
            EXPECT_THAT(open, ThrowsMessage<serial::EBadId>(HasSubstr(failure.says)));
        EXPECT_FALSE(bench.adapter.opened());
    }
}

// An unplugged adapter is the whole update tests' (UsbUpdate); closing
// sends what is queued, then switches bit-bang off.
TEST(Ft232rPort, ClosingSendsTheQueueAndHandsTheAdapterBack)
{
    Bench closed;
    closed.device.recordInstructions = true;
    {
        const auto port = closed.openAdapter();
        pgmComm link(*port);
        ASSERT_TRUE(link.programEnable());
        link.loadPageByte(0, 0x12);
        link.loadPageByte(1, 0x34);
        EXPECT_EQ(closed.device.instructions().size(), 1u) << "the loads wait for the page write";
    }
    EXPECT_EQ(closed.device.instructions().size(), 3u);
    EXPECT_EQ(closed.adapter.bitmode(), usb::bitmodeReset);
    EXPECT_FALSE(closed.adapter.opened());
}

// Ports chosen by name among the COM ports and two kinds of adapter, the
// second kind numbered on after the first; a missing or ambiguous adapter is
// named, with why a kind has none.
TEST(PortSet, PortsAreChosenByNameAcrossEveryKindOfAdapter)
{
    sim::Atmega128 device;
    sim::Ft232rModel libftdi("A12345"), d2xx("B67890"), locked("C00001");
    d2xx.comNumber = 7;
    locked.noPermission = true;
    const AdapterBus viaLibftdi(Library::LibFtdi, {&libftdi}), viaD2xx(Library::D2xx, {&d2xx});
    const std::string noDriver = "no FTDI D2XX driver installed";
    const auto none = usb_test::portsOn(device, {{{}, noDriver}});
    const auto one = usb_test::portsOn(device, {{viaLibftdi.factory, ""}});
    const auto two = usb_test::portsOn(device, {{viaLibftdi.factory, ""}, {{}, noDriver}, {viaD2xx.factory, ""}});
    EXPECT_EQ(two->names(), (std::vector<std::string>{"COM1", "COM2", "COM3", "COM4", "USB FT232R A12345",
                                                      "USB FT232R B67890 (COM7)"}));
    EXPECT_EQ(none->listing().back(), "(no USB FT232R adapter found: " + noDriver + ")");
    EXPECT_EQ(sim::simulatedPortSet(device, sim::modelFactory({&locked}))->GetExtraPorts(),
              std::vector<std::string>{"USB FT232R (serial number unreadable)"});

    struct Case {
        const serial::PortSet& ports;
        const char* text;
        int number; // 0: runtime_error naming what there is, -1: invalid_argument
        std::string says;
    };
    for (const Case& choice : {Case{*none, "com3", 3, ""}, Case{*one, "usb", 5, ""}, Case{*two, "usb:B67890", 6, ""},
                               Case{*none, "usb", 0, "no USB FT232R adapter is connected (" + noDriver},
                               Case{*two, "usb", 0, "USB FT232R A12345, USB FT232R B67890"},
                               Case{*one, "usb:B67890", 0, "found: USB FT232R A12345"},
                               Case{*one, "COM5", -1, "COM1 to COM4"}, Case{*one, "ttyUSB0", -1, "usb:SERIAL"}}) {
        SCOPED_TRACE(choice.text);
        const auto number = [&] { return choice.ports.numberFor(choice.text); };
        if (choice.number > 0)
            EXPECT_EQ(number(), choice.number);
        else if (choice.number == 0)
            EXPECT_THAT(number, ThrowsMessage<std::runtime_error>(HasSubstr(choice.says)));
        else
            EXPECT_THAT(number, ThrowsMessage<std::invalid_argument>(HasSubstr(choice.says)));
    }

    two->SetComNumber(6);
    two->SetOpen(true);
    EXPECT_TRUE(d2xx.opened() && !libftdi.opened());
    two->SetComNumber(5);
    EXPECT_TRUE(libftdi.opened() && !d2xx.opened()) << "changing the number of an open port reopens";
    two->SetOpen(false);
    EXPECT_FALSE(libftdi.opened());
}

} // namespace
