#include "sim/Ft232rModel.h"

#include "link/AdapterPorts.h"
#include "link/ComPorts.h"
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
    return !(unplugAtCall && counters.calls >= *unplugAtCall) && !(device_ && device_->unplugged());
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

bool Ft232rModel::claim()
{
    if (heldElsewhere || open_)
        return false;
    open_ = true;
    ++counters.opens;
    return true;
}

void Ft232rModel::release()
{
    open_ = false;
    unread_.clear();
    readInto_ = nullptr;
}

void Ft232rModel::setBitmode(uint8_t outputMask, uint8_t mode)
{
    bitmode_ = mode;
    outputMask_ = mode == usb::bitmodeReset ? 0 : outputMask;
}

void Ft232rModel::setChipBaud(int64_t baud)
{
    chipBaud_ = baud;
}

void Ft232rModel::purge()
{
    unread_.clear();
}

void Ft232rModel::awaitSamples(uint8_t* into, size_t size)
{
    readInto_ = into;
    readWanted_ = size;
    readGot_ = takeUnread(into, size);
}

bool Ft232rModel::samplesComplete()
{
    const bool complete = readGot_ == readWanted_;
    readInto_ = nullptr;
    readWanted_ = readGot_ = 0;
    return complete;
}

bool Ft232rModel::clockOut(const uint8_t* states, size_t size)
{
    for (size_t i = 0; i < size; ++i) {
        const uint8_t taken = sample();
        if (readInto_ && readGot_ < readWanted_) {
            readInto_[readGot_++] = taken;
        } else {
            if (unread_.size() >= hostBuffer + usb::unreadStateLimit) {
                // The chip takes no more states; the write times out.
                ++counters.stalls;
                return false;
            }
            unread_.push_back(taken);
            counters.mostUnread = std::max(counters.mostUnread, unread_.size());
        }
        apply(states[i]);
    }
    return true;
}

size_t Ft232rModel::takeUnread(uint8_t* into, size_t size)
{
    size_t got = 0;
    while (got < size && !unread_.empty()) {
        into[got++] = unread_.front();
        unread_.pop_front();
    }
    return got;
}

Ft232rModelContext::Ft232rModelContext(std::vector<Ft232rModel*> adapters)
    : adapters_(std::move(adapters))
{
}

Ft232rModelContext::~Ft232rModelContext()
{
    if (open_)
        open_->release();
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
            info.serial = adapter->serial();
        found.push_back(info);
    }
    return found;
}

usb::OpenResult Ft232rModelContext::open(const std::string& serial)
{
    for (Ft232rModel* adapter : adapters_) {
        if (adapter->serial() != serial)
            continue;
        if (!adapter->call())
            return usb::OpenResult::NotFound;
        if (adapter->noPermission)
            return usb::OpenResult::NoPermission;
        if (!adapter->claim()) {
            error_ = "unable to claim usb device";
            return usb::OpenResult::InUse;
        }
        adapter->hostBuffer = 0;
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
    open_->setBitmode(outputMask, mode);
    return 0;
}

int Ft232rModelContext::setPinRate(int statesPerSecond)
{
    if (!ready())
        return -1;
    // As libftdi: bit-bang rates are taken four times.
    const int baudrate = usb::libftdiBaudRate(statesPerSecond);
    open_->setChipBaud(open_->bitmode() != usb::bitmodeReset ? 4LL * baudrate : baudrate);
    return 0;
}

int Ft232rModelContext::purge()
{
    if (!ready())
        return -1;
    open_->purge();
    return 0;
}

int Ft232rModelContext::transfer(const uint8_t* states, uint8_t* samples, int size)
{
    // libftdi: the read submitted, the write submitted, then both awaited.
    if (!ready())
        return -1;
    Ft232rModel& chip = *open_;
    chip.counters.transfers += 2;
    if (chip.bitmode() != usb::bitmodeSyncBitbang)
        return fail("the model only knows synchronous bit-bang");
    chip.awaitSamples(samples, static_cast<size_t>(size));
    const bool written = chip.clockOut(states, static_cast<size_t>(size));
    if (!ready())
        return -1;
    if (!chip.samplesComplete() || !written)
        return fail("usb bulk transfer timed out");
    return 0;
}

int Ft232rModelContext::close()
{
    if (!open_)
        return 0;
    Ft232rModel& chip = *open_;
    open_ = nullptr;
    chip.release();
    return chip.call() ? 0 : fail("LIBUSB_ERROR_NO_DEVICE");
}

usb::FtdiFactory modelFactory(std::vector<Ft232rModel*> adapters)
{
    return [adapters] { return std::make_unique<Ft232rModelContext>(adapters); };
}

std::unique_ptr<serial::PortSet> simulatedPortSet(Atmega128& device, usb::FtdiFactory adapters)
{
    std::vector<std::unique_ptr<serial::PortProvider>> providers;
    providers.push_back(
        std::make_unique<serial::ComPorts>([&device] { return std::make_unique<SimComPort>(device); }));
    if (adapters)
        providers.push_back(std::make_unique<usb::AdapterPorts>(std::move(adapters)));
    return std::make_unique<serial::PortSet>(std::move(providers));
}

SimulatedPorts::SimulatedPorts(Atmega128& device, platform::VirtualClock* clock)
    : adapter(std::make_unique<Ft232rModel>("SIM00001", &device))
{
    adapter->clock = clock;
    ports = simulatedPortSet(device, modelFactory({adapter.get()}));
}

} // namespace sim
