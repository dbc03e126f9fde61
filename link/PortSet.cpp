#include "link/PortSet.h"

#include "link/Ft232rPort.h"

#include <cctype>
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

} // namespace

PortSet::PortSet(std::unique_ptr<ComPort> comPorts, usb::FtdiFactory usb)
    : comPorts_(std::move(comPorts))
    , usb_(std::move(usb))
{
    if (usb_)
        adapters_ = usb_()->findAll();
}

PortSet::~PortSet() = default;

std::string PortSet::adapterName(const usb::AdapterInfo& adapter)
{
    return "USB FT232R " + (adapter.serial.empty() ? std::string("(serial number unreadable)") : adapter.serial);
}

std::vector<std::string> PortSet::GetExtraPorts() const
{
    std::vector<std::string> names;
    for (const usb::AdapterInfo& adapter : adapters_)
        names.push_back(adapterName(adapter));
    return names;
}

std::vector<std::string> PortSet::names() const
{
    std::vector<std::string> names;
    for (uint16_t number = 1; number <= comPortCount; ++number)
        names.push_back(comPortName(number));
    for (std::string& name : GetExtraPorts())
        names.push_back(std::move(name));
    return names;
}

void PortSet::SetComNumber(uint16_t number)
{
    if (number == number_)
        return;
    const bool wasOpen = GetOpen();
    SetOpen(false);
    adapter_.reset();
    comPorts_->SetComNumber(0);
    number_ = number;
    if (number_ >= firstAdapter && static_cast<size_t>(number_ - firstAdapter) < adapters_.size()) {
        const usb::AdapterInfo& adapter = adapters_[number_ - firstAdapter];
        adapter_ = std::make_unique<usb::Ft232rPort>(usb_(), adapter.serial, adapterName(adapter));
        adapter_->SetComNumber(number_);
    } else if (number_ <= comPortCount) {
        comPorts_->SetComNumber(number_);
    }
    if (wasOpen && number_ != 0)
        SetOpen(true);
}

ComPort& PortSet::active()
{
    return adapter_ ? *adapter_ : *comPorts_;
}

void PortSet::SetOpen(bool open)
{
    if (!open) {
        active().SetOpen(false);
        return;
    }
    if (number_ >= firstAdapter) {
        if (!adapter_)
            throw EBadId("Port " + std::to_string(number_) + ": there is no such port");
        const usb::AdapterInfo& adapter = adapters_[number_ - firstAdapter];
        if (!adapter.problem.empty())
            throw EBadId(adapterName(adapter) + ": " + adapter.problem);
    }
    active().SetOpen(true);
}

bool PortSet::GetOpen() const
{
    return adapter_ ? adapter_->GetOpen() : comPorts_->GetOpen();
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
    return active().GetLineBatch();
}

uint16_t PortSet::numberFor(const std::string& text) const
{
    const std::string wanted = lower(text);
    if (wanted.size() == 4 && wanted.compare(0, 3, "com") == 0 && wanted[3] >= '1' &&
        wanted[3] < static_cast<char>('1' + comPortCount))
        return static_cast<uint16_t>(wanted[3] - '0');
    if (wanted != "usb" && wanted.compare(0, 4, "usb:") != 0)
        throw std::invalid_argument("--port takes COM1 to COM4, usb or usb:SERIAL, not \"" + text + "\"");

    std::string found;
    for (const usb::AdapterInfo& adapter : adapters_)
        found += (found.empty() ? "" : ", ") + adapterName(adapter);
    if (adapters_.empty())
        throw std::runtime_error("no USB FT232R adapter is connected. Plug the adapter in; if it is and "
                                 "still not found, see the README on USB adapters.");
    if (wanted == "usb") {
        if (adapters_.size() > 1)
            throw std::runtime_error("several USB FT232R adapters are connected (" + found +
                                     "); choose one with --port usb:SERIAL");
        return firstAdapter;
    }
    const std::string serial = text.substr(4);
    for (size_t i = 0; i < adapters_.size(); ++i)
        if (!serial.empty() && adapters_[i].serial == serial)
            return static_cast<uint16_t>(firstAdapter + i);
    throw std::runtime_error("no USB FT232R adapter with the serial number \"" + serial +
                             "\" is connected; found: " + found);
}

} // namespace serial
