#include "link/PortSet.h"

#include <algorithm>
#include <cctype>
#include <cstddef>
#include <cmath>
#include <stdexcept>
#include <utility>

namespace serial {

namespace {

std::string lower(std::string text)
{
    for (char& c : text)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return text;
}

// A full update through a serial driver that sends every modem-line change
// to a USB adapter as a round trip of about 1 ms: a page load and a read per
// flash byte, four byte exchanges each, 33 line changes per exchange, plus
// the 46.7 s of waits the update makes anyway.
constexpr double flashBytes = 0x20000;
constexpr double slowUpdateSeconds = 2 * flashBytes * 4 * 33 * 0.001 + 46.7;

} // namespace

PortSet::PortSet(std::vector<std::unique_ptr<PortProvider>> providers)
    : providers_(std::move(providers))
{
    for (const std::unique_ptr<PortProvider>& provider : providers_)
        for (size_t index = 0; index < provider->ports().size(); ++index)
            places_.push_back({provider.get(), index});
}

PortSet::~PortSet() = default;

const PortEntry& PortSet::entry(uint16_t number) const
{
    const Place& place = places_.at(number - 1u);
    return place.provider->ports()[place.index];
}

std::vector<uint16_t> PortSet::adapterNumbers() const
{
    std::vector<uint16_t> numbers;
    for (size_t i = 0; i < places_.size(); ++i)
        if (places_[i].provider->adapters())
            numbers.push_back(static_cast<uint16_t>(i + 1));
    return numbers;
}

std::vector<std::string> PortSet::names() const
{
    std::vector<std::string> names;
    for (uint16_t number = 1; number <= places_.size(); ++number)
        names.push_back(entry(number).name);
    return names;
}

std::vector<std::string> PortSet::GetExtraPorts() const
{
    std::vector<std::string> all = names();
    all.erase(all.begin(), all.begin() + std::min<std::ptrdiff_t>(comPortCount, std::ssize(all)));
    return all;
}

std::vector<std::string> PortSet::listing() const
{
    std::vector<std::string> lines;
    for (uint16_t number = 1; number <= places_.size(); ++number) {
        const PortEntry& port = entry(number);
        lines.push_back(port.name + (port.problem.empty() ? std::string() : "  (" + port.problem + ")"));
    }
    bool anyAdapter = false;
    std::string absent;
    for (const std::unique_ptr<PortProvider>& provider : providers_) {
        if (!provider->adapters())
            continue;
        anyAdapter = anyAdapter || !provider->ports().empty();
        if (provider->ports().empty() && !provider->absence().empty())
            absent += (absent.empty() ? ": " : "; ") + provider->absence();
    }
    if (!anyAdapter)
        lines.push_back("(no USB FT232R adapter found" + absent + ")");
    return lines;
}

void PortSet::SetComNumber(uint16_t number)
{
    if (number == number_)
        return;
    const bool wasOpen = GetOpen();
    SetOpen(false);
    port_.reset();
    number_ = number;
    if (number_ != 0 && number_ <= places_.size()) {
        const Place& place = places_[number_ - 1u];
        port_ = place.provider->make(place.index, number_);
    }
    if (wasOpen && number_ != 0)
        SetOpen(true);
}

ComPort& PortSet::active()
{
    if (!port_)
        throw ELineError(number_ == 0 ? "No port selected" : "Port " + std::to_string(number_) + " is not open");
    return *port_;
}

void PortSet::SetOpen(bool open)
{
    if (!open) {
        if (port_)
            port_->SetOpen(false);
        return;
    }
    if (number_ == 0)
        throw ENoPortSelected("No port selected");
    if (!port_)
        throw EBadId("Port " + std::to_string(number_) + ": there is no such port");
    const PortEntry& port = entry(number_);
    if (port.inUse)
        throw EAlreadyOpen(port.name + ": " + port.problem);
    if (!port.problem.empty())
        throw EBadId(port.name + ": " + port.problem);
    port_->SetOpen(true);
}

bool PortSet::GetOpen() const
{
    return port_ && port_->GetOpen();
}

void PortSet::SetRTS(bool level)
{
    active().SetRTS(level);
}

void PortSet::SetDTR(bool level)
{
    active().SetDTR(level);
}

bool PortSet::GetCTS()
{
    return active().GetCTS();
}

LineBatch* PortSet::GetLineBatch()
{
    return port_ ? port_->GetLineBatch() : nullptr;
}

std::string PortSet::GetSlowPortWarning() const
{
    if (number_ == 0 || number_ > places_.size() || places_[number_ - 1u].provider->adapters())
        return {};
    const PortEntry& chosen = entry(number_);
    const PortEntry* faster = nullptr;
    for (const uint16_t number : adapterNumbers()) {
        const PortEntry& adapter = entry(number);
        if (adapter.problem.empty() &&
            (adapter.comNumber == number_ || (!chosen.usbSerial.empty() && adapter.serial == chosen.usbSerial)))
            faster = &adapter;
    }
    if (!chosen.onUsb && !faster)
        return {};
    std::string text = chosen.name + " is a USB serial adapter. Through it every change of a modem line is a "
                                     "USB round trip, and an update takes about " +
                       std::to_string(std::lround(slowUpdateSeconds / 3600)) + " hours.";
    if (faster)
        text += "\n\nUse " + faster->name + " instead: the same adapter, driven directly, updates in under two "
                                            "minutes.";
    return text + "\n\nOK goes on with " + chosen.name + "; Cancel lets you choose another port.";
}

uint16_t PortSet::numberFor(const std::string& text) const
{
    const std::string wanted = lower(text);
    const std::vector<uint16_t> adapters = adapterNumbers();
    std::string found;
    for (const uint16_t number : adapters)
        found += (found.empty() ? "" : ", ") + entry(number).name;
    for (uint16_t number = 1; number <= places_.size(); ++number)
        if (!places_[number - 1u].provider->adapters() && lower(entry(number).name) == wanted)
            return number;
    if (wanted != "usb" && wanted.compare(0, 4, "usb:") != 0)
        throw std::invalid_argument("--port takes COM1 to COM4, usb or usb:SERIAL, not \"" + text + "\"");

    if (adapters.empty()) {
        std::string absent;
        for (const std::unique_ptr<PortProvider>& provider : providers_)
            if (provider->adapters() && !provider->absence().empty())
                absent += " (" + provider->absence() + ")";
        throw std::runtime_error("no USB FT232R adapter is connected" + absent +
                                 ". Plug the adapter in; if it is and still not found, see \"USB serial "
                                 "adapters\" under Serial ports in the help.");
    }
    if (wanted == "usb") {
        if (adapters.size() > 1)
            throw std::runtime_error("several USB FT232R adapters are connected (" + found +
                                     "); choose one with --port usb:SERIAL");
        return adapters.front();
    }
    const std::string serial = text.substr(4);
    for (const uint16_t number : adapters)
        if (!serial.empty() && entry(number).serial == serial)
            return number;
    throw std::runtime_error("no USB FT232R adapter with the serial number \"" + serial +
                             "\" is connected; found: " + found);
}

} // namespace serial
