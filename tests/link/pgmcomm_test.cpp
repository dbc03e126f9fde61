// The device link at the level of the individual modem-line calls.

#include "link/LineBatch.h"
#include "link/Pgmcomm.h"
#include "platform/VirtualClock.h"
#include "tests/support/RecordingComPort.h"

#include <gtest/gtest.h>

#include <array>
#include <random>
#include <vector>

using testing_support::LineCall;
using testing_support::RecordingComPort;

namespace {

using Kind = LineCall::Kind;

// The bytes a sequence of line calls clocked out: one bit per DTR set, DTR
// inverted.
std::vector<uint8_t> bytesSent(const RecordingComPort& port)
{
    std::vector<uint8_t> bytes;
    unsigned current = 0;
    int bits = 0;
    for (const auto& call : port.calls) {
        if (call.kind != Kind::Dtr)
            continue;
        current = (current << 1) | (call.level ? 0u : 1u);
        if (++bits == 8) {
            bytes.push_back(static_cast<uint8_t>(current));
            current = 0;
            bits = 0;
        }
    }
    return bytes;
}

// A CTS line that presents the given bytes (inverted), one bit per CTS read,
// and idles at false (reads as 1 bits) afterwards.
std::function<bool()> presenting(std::vector<uint8_t> bytes)
{
    auto reads = std::make_shared<size_t>(0);
    return [bytes = std::move(bytes), reads] {
        const size_t n = (*reads)++;
        const size_t byte = n / 8;
        if (byte >= bytes.size())
            return false;
        const bool one = ((static_cast<unsigned>(bytes[byte]) >> (7 - n % 8)) & 1u) != 0;
        return !one;
    };
}

class LinkTest : public ::testing::Test {
protected:
    platform::VirtualClock clock;
    platform::ScopedClock useClock{clock};
    RecordingComPort port;
};

TEST_F(LinkTest, TransferByteClocksEachBitInFixedOrderWithInvertedData)
{
    pgmComm link(port);
    link.transferByte(0xAC);

    ASSERT_EQ(port.calls.size(), 33u);
    EXPECT_EQ(port.calls[0], (LineCall{Kind::Rts, true}));
    for (size_t bit = 0; bit < 8; ++bit) {
        const size_t at = 1 + 4 * bit;
        EXPECT_EQ(port.calls[at].kind, Kind::Cts) << "bit " << bit;
        EXPECT_EQ(port.calls[at + 1].kind, Kind::Dtr) << "bit " << bit;
        EXPECT_EQ(port.calls[at + 2], (LineCall{Kind::Rts, false})) << "bit " << bit;
        EXPECT_EQ(port.calls[at + 3], (LineCall{Kind::Rts, true})) << "bit " << bit;
    }
    EXPECT_EQ(bytesSent(port), std::vector<uint8_t>{0xAC});
}

TEST_F(LinkTest, TransferByteReadsTheLevelPresentBeforeEachPulse)
{
    pgmComm link(port);

    port.cts = [] { return false; };
    EXPECT_EQ(link.transferByte(0x00), 0xFF);

    port.cts = [] { return true; };
    EXPECT_EQ(link.transferByte(0x00), 0x00);

    // CTS asserted only until the first clock pulse.
    port.clear();
    port.cts = [this] { return port.rtsFallingEdges() == 0; };
    EXPECT_EQ(link.transferByte(0x00), 0x7F);
}

// Every instruction's bytes, with the data sheet's literal configuration
// values, the address split at page and 64 KB boundaries, and its waits.
TEST_F(LinkTest, InstructionsAndTheirWaits)
{
    pgmComm link(port);
    struct Case {
        std::function<void()> call;
        std::array<uint8_t, 4> bytes;
        std::vector<uint32_t> sleeps = {};
        bool waitBeforeSending = false;
    };
    const std::vector<Case> cases = {
        {[&] { link.readFlashByte(0x00000); }, {0x20, 0x00, 0x00, 0x00}},
        {[&] { link.readFlashByte(0x1FFFF); }, {0x28, 0xFF, 0xFF, 0x00}},
        {[&] { link.readFlashByte(0x10000); }, {0x20, 0x80, 0x00, 0x00}},
        {[&] { link.readFlashByte(0x0FFFF); }, {0x28, 0x7F, 0xFF, 0x00}},
        {[&] { link.loadPageByte(0x001FF, 0x5A); }, {0x48, 0x00, 0x7F, 0x5A}},
        {[&] { link.loadPageByte(0x00100, 0xA5); }, {0x40, 0x00, 0x00, 0xA5}},
        {[&] { link.loadPageByte(0x1FF80, 0x01); }, {0x40, 0x00, 0x40, 0x01}},
        {[&] { link.writePage(0x000FF); }, {0x4C, 0x00, 0x00, 0x00}, {43}},
        {[&] { link.writePage(0x001FF); }, {0x4C, 0x00, 0x80, 0x00}, {43}},
        {[&] { link.writePage(0x1FFFF); }, {0x4C, 0xFF, 0x80, 0x00}, {43}},
        {[&] { link.writePage(0x100FF); }, {0x4C, 0x80, 0x00, 0x00}, {43}},
        {[&] { link.readSignature(4); }, {0x30, 0x00, 0x00, 0x00}},
        {[&] { link.readSignature(2); }, {0x30, 0x00, 0x02, 0x00}},
        {[&] { link.chipErase(); }, {0xAC, 0x80, 0x00, 0x00}, {43, 43}},
        {[&] { link.writeFuseHigh(); }, {0xAC, 0xA8, 0x00, 0x9F}, {43}},
        {[&] { link.writeFuseLow(); }, {0xAC, 0xA0, 0x00, 0xBF}, {43}},
        {[&] { link.writeFuseExt(); }, {0xAC, 0xA4, 0x00, 0xFF}, {43}},
        {[&] { link.writeLockBits(); }, {0xAC, 0xE0, 0x00, 0xFC}},
        {[&] { link.probeFuseExt(); }, {0x50, 0x08, 0x00, 0x00}},
        {[&] { link.readFuseLow(); }, {0x50, 0x00, 0x00, 0x00}, {43, 43}, true},
        {[&] { link.readFuseHigh(); }, {0x58, 0x08, 0x00, 0x00}, {43, 43}, true},
        {[&] { link.readFuseExt(); }, {0x50, 0x08, 0x00, 0x00}, {43, 43}, true},
        {[&] { link.readLockBits(); }, {0x58, 0x00, 0x00, 0x00}, {43, 43}, true},
    };
    for (size_t i = 0; i < cases.size(); ++i) {
        const Case& c = cases[i];
        port.clear();
        clock.clearLog();
        size_t callsAtFirstSleep = SIZE_MAX;
        clock.onSleep = [&](uint32_t) { callsAtFirstSleep = std::min(callsAtFirstSleep, port.calls.size()); };
        c.call();
        clock.onSleep = nullptr;
        EXPECT_EQ(bytesSent(port), std::vector<uint8_t>(c.bytes.begin(), c.bytes.end())) << "case " << i;
        EXPECT_EQ(clock.sleeps(), c.sleeps) << "case " << i;
        EXPECT_EQ(callsAtFirstSleep == 0, c.waitBeforeSending) << "case " << i;
    }
}

TEST_F(LinkTest, ReadsAnswerWithTheFourthByte)
{
    pgmComm link(port);
    port.cts = presenting({0x00, 0x00, 0x00, 0x1E});
    EXPECT_EQ(link.readSignature(0), 0x1E);
    port.cts = presenting({0x11, 0x22, 0x33, 0xC5});
    EXPECT_EQ(link.readFlashByte(0x1234), 0xC5);
    EXPECT_EQ(link.loadPageByte(0, 0), 0xFF) << "an idle line reads as FF";
}

// Attempts of AC 53 00 00 after one 30 ms wait, one extra clock pulse after
// each that did not see 53 echoed, 32 at most.
TEST_F(LinkTest, ProgramEnableRetriesWithAnExtraPulseUntilTheEcho)
{
    struct Case {
        size_t echoedIn; // the attempt whose third byte reads 53; 0: none
        bool enabled;
        size_t attempts;
    };
    for (const Case& c : {Case{1, true, 1}, Case{3, true, 3}, Case{0, false, 32}}) {
        SCOPED_TRACE(c.echoedIn);
        port.clear();
        clock.clearLog();
        std::vector<uint8_t> presented(4 * c.attempts, 0xFF);
        if (c.echoedIn)
            presented[4 * (c.echoedIn - 1) + 2] = 0x53;
        port.cts = presenting(presented);
        pgmComm link(port);
        const uint64_t readsBefore = clock.counterReads();

        EXPECT_EQ(link.programEnable(), c.enabled);

        const auto sent = bytesSent(port);
        ASSERT_EQ(sent.size(), 4 * c.attempts);
        for (size_t at = 0; at < sent.size(); at += 4)
            EXPECT_EQ(std::vector<uint8_t>(sent.begin() + long(at), sent.begin() + long(at) + 4),
                      (std::vector<uint8_t>{0xAC, 0x53, 0x00, 0x00}));
        EXPECT_EQ(port.rtsFallingEdges(),
                  std::ptrdiff_t(c.attempts * 32 + (c.enabled ? c.attempts - 1 : c.attempts)));
        EXPECT_EQ(clock.sleeps(), std::vector<uint32_t>{30});
        // Each byte's delays and the one after an attempt read the counter
        // at least twice each.
        EXPECT_GE(clock.counterReads() - readsBefore, 10u * c.attempts);
    }
}

TEST(LinkCalibration, DelayTicksFromTheCounterFrequencySpanAtLeastOneMicrosecond)
{
    const std::vector<std::pair<int64_t, int64_t>> cases = {
        {3'579'545, 3}, {10'000'000, 10}, {1'193'182, 1}, {1'000'000, 1}, {32'768, 1}, {1'000'000'000, 1000}};
    for (const auto& [frequency, ticks] : cases) {
        platform::VirtualClock clock(frequency, 1);
        platform::ScopedClock use(clock);
        RecordingComPort port;
        pgmComm link(port);
        EXPECT_TRUE(link.perfCounterOk);
        EXPECT_EQ(link.perfFrequency, frequency);
        EXPECT_EQ(link.delayTicks, ticks) << frequency;
        EXPECT_TRUE(port.calls.empty()) << "the constructor touches no line";
        const int64_t before = clock.nowNs();
        link.microDelay();
        EXPECT_GE(clock.nowNs() - before, ticks * 1'000'000'000LL / frequency);
        EXPECT_TRUE(clock.sleeps().empty()) << "the delay spins, it does not sleep";
    }
}

TEST(LinkCalibration, WithoutACounterEachDelaySleepsOneMillisecond)
{
    platform::VirtualClock clock(0);
    platform::ScopedClock use(clock);
    RecordingComPort port;
    pgmComm link(port);
    EXPECT_FALSE(link.perfCounterOk);

    port.cts = presenting({0x3C});
    EXPECT_EQ(link.transferByte(0x5A), 0x3C);
    EXPECT_EQ(clock.sleeps(), std::vector<uint32_t>{1});
    EXPECT_EQ(bytesSent(port), std::vector<uint8_t>{0x5A});
}

// A port that batches, standing in for the instrument in programming mode:
// it records every batch the link sends and answers each byte with the one
// before it in the instruction, a flash read with the byte of its own image.
class RecordingBatchPort final : public serial::ComPort, public serial::LineBatch {
public:
    RecordingBatchPort()
    {
        std::mt19937 random(5);
        for (auto& byte : flash)
            byte = static_cast<uint8_t>(random());
    }

    void SetComNumber(uint16_t) override {}
    uint16_t GetComNumber() const override { return 1; }
    void SetOpen(bool) override {}
    bool GetOpen() const override { return true; }
    void SetRTS(bool) override { ADD_FAILURE() << "a single line call on a batching port"; }
    void SetDTR(bool) override { ADD_FAILURE() << "a single line call on a batching port"; }
    bool GetCTS() override
    {
        ADD_FAILURE() << "a single line call on a batching port";
        return false;
    }
    serial::LineBatch* GetLineBatch() override { return this; }

    size_t queueByte(uint8_t value) override
    {
        queued_.push_back(value);
        return queued_.size() - 1;
    }
    void queuePulse() override {}
    const std::vector<uint8_t>& flush() override
    {
        EXPECT_EQ(queued_.size() % 4, 0u) << "an instruction split over two batches";
        answers_.clear();
        for (size_t at = 0; at < queued_.size(); ++at) {
            const uint8_t* instruction = &queued_[at - at % 4];
            const bool read = instruction[0] == 0x20 || instruction[0] == 0x28;
            if (at % 4 == 3 && read)
                answers_.push_back(flash[instruction[1] << 9 | instruction[2] << 1 | (instruction[0] >> 3 & 1)]);
            else
                answers_.push_back(at % 4 == 0 ? 0x00 : queued_[at - 1]);
        }
        if (!queued_.empty())
            sent.push_back(queued_);
        queued_.clear();
        return answers_;
    }
    size_t queuedBytes() const override { return queued_.size(); }

    std::array<uint8_t, 0x20000> flash{};
    // The batches sent, empty ones left out.
    std::vector<std::vector<uint8_t>> sent;

private:
    std::vector<uint8_t> queued_;
    std::vector<uint8_t> answers_;
};

class BatchedLinkTest : public ::testing::Test {
protected:
    // Every byte sent so far, in order.
    std::vector<uint8_t> allSent() const
    {
        std::vector<uint8_t> bytes;
        for (const auto& batch : port.sent)
            bytes.insert(bytes.end(), batch.begin(), batch.end());
        return bytes;
    }

    platform::VirtualClock clock;
    platform::ScopedClock useClock{clock};
    RecordingBatchPort port;
    pgmComm link{port};
};

// The device must have an instruction before the wait for it starts, and a
// page's loads are worth sending only with its write.
TEST_F(BatchedLinkTest, EveryWaitComesAfterTheQueueHasGoneOutAndPageLoadsGoWithTheirWrite)
{
    std::vector<size_t> queuedAtWaits;
    clock.onSleep = [this, &queuedAtWaits](uint32_t) { queuedAtWaits.push_back(port.queuedBytes()); };
    ASSERT_TRUE(link.programEnable());
    link.chipErase();
    for (uint32_t address = 0x100; address < 0x200; ++address)
        link.loadPageByte(address, static_cast<uint8_t>(address));
    EXPECT_EQ(port.queuedBytes(), 256u * 4u) << "the loads wait for their page write";
    const size_t batches = port.sent.size();
    link.writePage(0x1FF);
    ASSERT_EQ(port.sent.size(), batches + 1);
    EXPECT_EQ(port.sent.back().size(), 257u * 4u);
    link.writeFuseHigh();
    link.writeFuseLow();
    link.writeFuseExt();
    link.writeLockBits();
    EXPECT_EQ(port.queuedBytes(), 0u) << "nothing follows the lock write to send it";
    link.readLockBits();

    EXPECT_EQ(clock.sleeps(), (std::vector<uint32_t>{30, 43, 43, 43, 43, 43, 43, 43, 43}));
    EXPECT_EQ(queuedAtWaits, std::vector<size_t>(clock.sleeps().size(), 0u));
    std::vector<uint8_t> expected = {0xAC, 0x53, 0x00, 0x00, 0xAC, 0x80, 0x00, 0x00};
    for (uint32_t address = 0x100; address < 0x200; ++address)
        expected.insert(expected.end(), {static_cast<uint8_t>(address & 1 ? 0x48 : 0x40), 0x00,
                                         static_cast<uint8_t>(address >> 1 & 0x7F), static_cast<uint8_t>(address)});
    expected.insert(expected.end(), {0x4C, 0x00, 0x80, 0x00, 0xAC, 0xA8, 0x00, 0x9F, 0xAC, 0xA0, 0x00, 0xBF, 0xAC,
                                     0xA4, 0x00, 0xFF, 0xAC, 0xE0, 0x00, 0xFC, 0x58, 0x00, 0x00, 0x00});
    EXPECT_EQ(allSent(), expected);
}

TEST_F(BatchedLinkTest, FlashReadsComeBackInOrderAndNeverFromBeforeAWrite)
{
    ASSERT_TRUE(link.programEnable());
    // From the middle of one page to the end of the next.
    for (uint32_t address = 0x1F80; address < 0x2100; ++address)
        ASSERT_EQ(link.readFlashByte(address), port.flash[address]) << std::hex << address;
    EXPECT_EQ(port.sent.size(), 3u) << "the enable, then the rest of each page in one batch";
    EXPECT_EQ(link.readFlashByte(0x1FFFF), port.flash[0x1FFFF]);

    // The page changes under a write: what was read ahead of it is stale.
    link.readFlashByte(0x300);
    port.flash[0x301] ^= 0xFF;
    link.writePage(0x3FF);
    EXPECT_EQ(link.readFlashByte(0x301), port.flash[0x301]);
}

} // namespace
