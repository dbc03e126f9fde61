#include "link/Ft232rPort.h"

#include <algorithm>
#include <utility>

namespace usb {

namespace {

// What grows the queue past this without needing an answer is sent anyway;
// a page of reads or loads is about 16,500 states.
constexpr size_t maxQueuedStates = 1u << 16;

constexpr const char* permissionHint =
    "Install the udev rule for FT232R adapters (0403:6001, see \"USB serial adapters\" under Serial ports "
    "in the help) and add your user to the dialout group with \"sudo usermod -aG dialout $USER\", then log "
    "in again.";

} // namespace

Ft232rPort::Ft232rPort(std::unique_ptr<FtdiContext> ftdi, std::string serial, std::string name)
    : ftdi_(std::move(ftdi))
    , serial_(std::move(serial))
    , name_(std::move(name))
{
}

Ft232rPort::~Ft232rPort()
{
    close();
}

void Ft232rPort::SetOpen(bool open)
{
    if (open)
        this->open();
    else
        close();
}

void Ft232rPort::open()
{
    if (open_)
        return;
    switch (ftdi_->open(serial_)) {
    case OpenResult::Opened:
        break;
    case OpenResult::NotFound:
        throw serial::EBadId(name_ + ": the adapter is not connected (any more). Plug it in and start the "
                                     "program again.");
    case OpenResult::NoPermission:
        throw serial::EBadId(name_ + ": no permission to use the USB adapter. " + permissionHint);
    case OpenResult::InUse:
        throw serial::EAlreadyOpen(name_ + ": another program is using the adapter (" + ftdi_->errorText() +
                                   ").");
    case OpenResult::Failed:
        throw serial::EBadId(name_ + ": cannot open the adapter: " + ftdi_->errorText());
    }
    // Bit-bang first: libftdi scales the baud rate only once it is on.
    if (ftdi_->setLatencyTimer(latencyTimerMs) < 0)
        failOpen("setting the latency timer");
    if (ftdi_->setBitmode(outputPins, bitmodeSyncBitbang) < 0)
        failOpen("switching to synchronous bit-bang");
    if (ftdi_->setPinRate(pinStatesPerSecond) < 0)
        failOpen("setting the bit-bang rate");
    // Samples of whatever ran before must not be taken for answers.
    if (ftdi_->purge() < 0)
        failOpen("clearing the buffers");
    open_ = true;
    pins_ = 0;
    clockActive_ = false;
    states_.clear();
    answerAt_.clear();
}

void Ft232rPort::failOpen(const std::string& step)
{
    const std::string reason = ftdi_->errorText();
    release();
    throw serial::EBadId(name_ + ": " + step + " failed: " + reason);
}

void Ft232rPort::close() noexcept
{
    if (!open_)
        return;
    // Queued page loads belong to the device as much as the rest.
    try {
        flush();
    } catch (const serial::EComPortError&) {
        // flush released the adapter already.
        return;
    }
    release();
}

void Ft232rPort::release() noexcept
{
    ftdi_->setBitmode(0, bitmodeReset);
    ftdi_->close();
    open_ = false;
    states_.clear();
    answerAt_.clear();
    clockActive_ = false;
}

void Ft232rPort::failLines(const std::string& step)
{
    const std::string reason = ftdi_->errorText();
    release();
    throw serial::ELineError(name_ + ": the USB adapter stopped answering while " + step + " (" + reason +
                             "). Was it unplugged?");
}

void Ft232rPort::requireOpen(const char* line) const
{
    if (!open_)
        throw serial::ELineError(name_ + ": cannot use the " + line + " line, the port is not open");
}

void Ft232rPort::queueState(uint8_t pins)
{
    pins_ = pins;
    states_.push_back(pins);
}

size_t Ft232rPort::queueByte(uint8_t value)
{
    requireOpen("RTS");
    if (states_.size() >= maxQueuedStates)
        flush();
    answerAt_.push_back(states_.size() + 1);
    for (int bit = 7; bit >= 0; --bit) {
        const uint8_t data = ((static_cast<unsigned>(value) >> bit) & 1u) ? pinMosi : 0;
        // Clock idle with the bit on the data line, then the clock's rising
        // edge, where the device takes the bit. The idle state's falling
        // edge is where the device puts out its next bit; the sample taken
        // just before the rising edge reads it.
        queueState(data);
        queueState(static_cast<uint8_t>(data | pinSck));
    }
    clockActive_ = true;
    return answerAt_.size() - 1;
}

void Ft232rPort::queuePulse()
{
    requireOpen("RTS");
    const uint8_t data = pins_ & pinMosi;
    if (clockActive_)
        queueState(data);
    queueState(static_cast<uint8_t>(data | pinSck));
    queueState(data);
    clockActive_ = false;
}

const std::vector<uint8_t>& Ft232rPort::flush()
{
    answers_.clear();
    if (states_.empty())
        return answers_;
    if (clockActive_) {
        queueState(pins_ & pinMosi);
        clockActive_ = false;
    }
    exchange();
    for (const size_t first : answerAt_) {
        unsigned byte = 0;
        for (size_t bit = 0; bit < 8; ++bit)
            byte = (byte << 1) | ((samples_[first + 2 * bit] & pinMiso) ? 1u : 0u);
        answers_.push_back(static_cast<uint8_t>(byte));
    }
    answerAt_.clear();
    return answers_;
}

void Ft232rPort::exchange()
{
    samples_.assign(states_.size(), 0);
    // In pieces the library can hold the samples of, so that the chip never
    // stalls on a full buffer.
    const size_t piece = ftdi_->largestTransfer();
    for (size_t at = 0; at < states_.size(); at += piece) {
        const int size = static_cast<int>(std::min(piece, states_.size() - at));
        if (ftdi_->transfer(states_.data() + at, samples_.data() + at, size) < 0)
            failLines("sending");
    }
    states_.clear();
}

void Ft232rPort::SetRTS(bool level)
{
    requireOpen("RTS");
    // RTS asserted is the clock's idle level, D2 low.
    queueState(static_cast<uint8_t>(level ? (pins_ & ~pinSck) : (pins_ | pinSck)));
    clockActive_ = false;
    flush();
}

void Ft232rPort::SetDTR(bool level)
{
    requireOpen("DTR");
    queueState(static_cast<uint8_t>(level ? (pins_ & ~pinMosi) : (pins_ | pinMosi)));
    clockActive_ = false;
    flush();
}

bool Ft232rPort::GetCTS()
{
    requireOpen("CTS");
    flush();
    // One more state, unchanged, for the sample before it.
    queueState(pins_);
    exchange();
    return (samples_.front() & pinMiso) == 0;
}

} // namespace usb
