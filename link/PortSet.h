// The ports the operator can pick: COM1 to COM4 on the machine's serial
// driver, then one per FT232R USB adapter found when the set was made,
// numbered on from 5 in the order found.
#pragma once

#include "link/ComPort.h"
#include "link/UsbBitbang.h"

#include <memory>
#include <string>
#include <vector>

namespace serial {

class PortSet final : public ComPort {
public:
    static constexpr uint16_t comPortCount = 4;
    static constexpr uint16_t firstAdapter = comPortCount + 1;

    // comPorts serves COM1 to COM4. usb, when given, makes the libftdi
    // contexts: one now to find the adapters, one per adapter opened.
    PortSet(std::unique_ptr<ComPort> comPorts, usb::FtdiFactory usb);
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

    const std::vector<usb::AdapterInfo>& adapters() const { return adapters_; }
    // Every port by name: COM1 to COM4, then the adapters.
    std::vector<std::string> names() const;
    // The number of the port the text names: "COM1" to "COM4", "usb" for
    // the only adapter, "usb:SERIAL" for the adapter with that serial
    // number. Throws std::invalid_argument for text of another form and
    // std::runtime_error, naming the adapters there are, when none fits.
    uint16_t numberFor(const std::string& text) const;

    static std::string adapterName(const usb::AdapterInfo& adapter);

private:
    ComPort& active();

    std::unique_ptr<ComPort> comPorts_;
    usb::FtdiFactory usb_;
    std::vector<usb::AdapterInfo> adapters_;
    uint16_t number_ = 0;
    // The adapter port while an adapter's number is selected.
    std::unique_ptr<ComPort> adapter_;
};

} // namespace serial
