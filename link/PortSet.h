// The ports the operator can pick: those of every provider (link/PortProvider.h)
// in order, numbered from 1: the system's COM1 to COM4 first, then the
// adapters found when the set was made. Selecting a number makes that
// provider's port object; the set then passes every call on to it.
#pragma once

#include "link/ComPort.h"
#include "link/PortProvider.h"

#include <memory>
#include <string>
#include <vector>

namespace serial {

class PortSet final : public ComPort {
public:
    static constexpr uint16_t comPortCount = 4;

    // The first provider is the COM ports' and offers comPortCount ports.
    explicit PortSet(std::vector<std::unique_ptr<PortProvider>> providers);
    ~PortSet() override;

    void SetComNumber(uint16_t number) override;
    uint16_t GetComNumber() const override { return number_; }
    void SetOpen(bool open) override;
    bool GetOpen() const override;
    void SetRTS(bool level) override;
    void SetDTR(bool level) override;
    bool GetCTS() override;
    std::vector<std::string> GetExtraPorts() const override;
    LineBatch* GetLineBatch() override;
    std::string GetSlowPortWarning() const override;

    // Every port by name, port n at n - 1.
    std::vector<std::string> names() const;
    // For --list-ports: every port, with why it cannot be used where it
    // cannot, and why a kind of adapter has none.
    std::vector<std::string> listing() const;
    // The number of the port the text names: "COM1" to "COM4", "usb" for
    // the only adapter, "usb:SERIAL" for the adapter with that serial
    // number. Throws std::invalid_argument for text of another form and
    // std::runtime_error, naming the adapters there are, when none fits.
    uint16_t numberFor(const std::string& text) const;

private:
    struct Place {
        PortProvider* provider;
        size_t index;
    };
    const PortEntry& entry(uint16_t number) const;
    std::vector<uint16_t> adapterNumbers() const;
    ComPort& active();

    std::vector<std::unique_ptr<PortProvider>> providers_;
    // Port n at n - 1.
    std::vector<Place> places_;
    uint16_t number_ = 0;
    // The selected port's object; null while none is selected, or the
    // number names no port.
    std::unique_ptr<ComPort> port_;
};

} // namespace serial
