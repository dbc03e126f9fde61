#include "sim/Ft232rModel.h"

#include "sim/SimComPort.h"

#include <algorithm>

#include <utility>

namespace sim {

namespace {

constexpr int64_t nsPerSecond = 1'000'000'000;

} // namespace

Ft232rModel::Ft232rModel(std::string serial, Atmega128* device)
    : serial_(std::move(serial))
    , device_(device)
{
}

bool Ft232rModel::call()
{
    ++counters.calls;
    return !(unplugAtCall && counters.calls >= *unplugAtCall);
}

uint8_t Ft232rModel::sample() const
{
    // Inputs read high unless driven: the cable's CTS carries the device's
    // data, CTS asserted (a 0 bit) being D3 low.
    uint8_t pins = static_cast<uint8_t>((pins_ & outputMask_) | (~outputMask_ & 0xFF));
    if (device_ && (outputMask_ & usb::pinMiso) == 0 && device_->cts())
        pins = static_cast<uint8_t>(pins & ~usb::pinMiso);
    return pins;
}

void Ft232rModel::apply(uint8_t state)
{
    const uint8_t before = pins_;
    pins_ = state;
    const bool sck = (state & usb::pinSck) != 0;
    const bool mosi = (state & usb::pinMosi) != 0;
    const bool rising = sck && (before & usb::pinSck) == 0;
    if (rising) {
        ++counters.clockPulses;
        if (mosi != ((before & usb::pinMosi) != 0))
            ++counters.races;
    }
    const bool timed = chipBaud_ > 0;
    if (device_) {
        // Data first: on the wires a data change with a falling clock edge
        // is harmless, and a race on a rising one is counted above.
        device_->setDtr(!mosi);
        // The instrument's clock phases last as long as the pin states.
        if (timed)
            device_->setRts(!sck, pinTimeNs_);
        else
            device_->setRts(!sck);
    }
    ++counters.pinStates;
    if (timed) {
        const int64_t stateNs = nsPerSecond / pinRate();
        pinTimeNs_ += stateNs;
        if (clock)
            clock->advanceNs(stateNs);
    }
}

Ft232rModelContext::Ft232rModelContext(std::vector<Ft232rModel*> adapters)
    : adapters_(std::move(adapters))
{
}

Ft232rModelContext::~Ft232rModelContext()
{
    if (open_)
        open_->open_ = false;
}

int Ft232rModelContext::fail(const std::string& text)
{
    error_ = text;
    return -1;
}

bool Ft232rModelContext::ready()
{
    if (!open_) {
        fail("USB device unavailable");
        return false;
    }
    if (!open_->call()) {
        fail("LIBUSB_ERROR_NO_DEVICE");
        return false;
    }
    return true;
}

std::vector<usb::AdapterInfo> Ft232rModelContext::findAll()
{
    std::vector<usb::AdapterInfo> found;
    for (const Ft232rModel* adapter : adapters_) {
        if (adapter->unplugAtCall && adapter->counters.calls + 1 >= *adapter->unplugAtCall)
            continue;
        usb::AdapterInfo info;
        if (adapter->noPermission)
            info.problem = "no permission to use the USB device";
        else
            info.serial = adapter->serial_;
        found.push_back(info);
    }
    return found;
}

usb::OpenResult Ft232rModelContext::open(const std::string& serial)
{
    for (Ft232rModel* adapter : adapters_) {
        if (adapter->serial_ != serial)
            continue;
        if (!adapter->call())
            return usb::OpenResult::NotFound;
        if (adapter->noPermission)
            return usb::OpenResult::NoPermission;
        if (adapter->heldElsewhere || adapter->open_) {
            error_ = "unable to claim usb device";
            return usb::OpenResult::InUse;
        }
        adapter->open_ = true;
        ++adapter->counters.opens;
        open_ = adapter;
        return usb::OpenResult::Opened;
    }
    return usb::OpenResult::NotFound;
}

int Ft232rModelContext::setLatencyTimer(uint8_t)
{
    return ready() ? 0 : -1;
}

int Ft232rModelContext::setBitmode(uint8_t outputMask, uint8_t mode)
{
    if (!ready())
        return -1;
    open_->bitmode_ = mode;
    open_->outputMask_ = mode == usb::bitmodeReset ? 0 : outputMask;
    return 0;
}

int Ft232rModelContext::setBaudrate(int baudrate)
{
    if (!ready())
        return -1;
    // As libftdi: bit-bang rates are taken four times.
    open_->chipBaud_ = open_->bitmode_ != usb::bitmodeReset ? 4LL * baudrate : baudrate;
    return 0;
}

int Ft232rModelContext::purge()
{
    if (!ready())
        return -1;
    open_->unread_.clear();
    return 0;
}

int Ft232rModelContext::readSubmit(uint8_t* in, int size)
{
    if (!ready())
        return -1;
    ++open_->counters.transfers;
    Ft232rModel& chip = *open_;
    chip.readInto_ = in;
    chip.readWanted_ = static_cast<size_t>(size);
    chip.readGot_ = 0;
    // Samples already waiting go first.
    while (!chip.unread_.empty() && chip.readGot_ < chip.readWanted_) {
        chip.readInto_[chip.readGot_++] = chip.unread_.front();
        chip.unread_.erase(chip.unread_.begin());
    }
    return 0;
}

int Ft232rModelContext::writeSubmit(const uint8_t* out, int size)
{
    if (!ready())
        return -1;
    ++open_->counters.transfers;
    Ft232rModel& chip = *open_;
    if (chip.bitmode_ != usb::bitmodeSyncBitbang)
        return fail("the model only knows synchronous bit-bang");
    chip.writeFailed_ = false;
    for (int i = 0; i < size; ++i) {
        const uint8_t taken = chip.sample();
        if (chip.readInto_ && chip.readGot_ < chip.readWanted_) {
            chip.readInto_[chip.readGot_++] = taken;
        } else {
            if (chip.unread_.size() >= usb::unreadStateLimit) {
                // The chip takes no more states; the write times out.
                ++chip.counters.stalls;
                chip.writeFailed_ = true;
                return 0;
            }
            chip.unread_.push_back(taken);
            chip.counters.mostUnread = std::max(chip.counters.mostUnread, chip.unread_.size());
        }
        chip.apply(out[i]);
    }
    return 0;
}

int Ft232rModelContext::transfersDone()
{
    if (!ready())
        return -1;
    Ft232rModel& chip = *open_;
    const bool complete = !chip.writeFailed_ && chip.readGot_ == chip.readWanted_;
    chip.readInto_ = nullptr;
    chip.readWanted_ = chip.readGot_ = 0;
    if (!complete)
        return fail("usb bulk transfer timed out");
    return 0;
}

int Ft232rModelContext::close()
{
    if (!open_)
        return 0;
    Ft232rModel& chip = *open_;
    open_ = nullptr;
    chip.open_ = false;
    chip.unread_.clear();
    return chip.call() ? 0 : fail("LIBUSB_ERROR_NO_DEVICE");
}

usb::FtdiFactory modelFactory(std::vector<Ft232rModel*> adapters)
{
    return [adapters] { return std::make_unique<Ft232rModelContext>(adapters); };
}

SimulatedPorts::SimulatedPorts(Atmega128& device, platform::VirtualClock* clock, bool withAdapter)
{
    usb::FtdiFactory usb;
    if (withAdapter) {
        adapter = std::make_unique<Ft232rModel>("SIM00001", &device);
        adapter->clock = clock;
        usb = modelFactory({adapter.get()});
    }
    ports = std::make_unique<serial::PortSet>(std::make_unique<SimComPort>(device), std::move(usb));
}

} // namespace sim
