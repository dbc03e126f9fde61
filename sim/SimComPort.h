// A serial port whose modem-control lines are wired to the simulated
// instrument, in process. Any port number 1 to 4 opens; the instrument is
// attached to whichever is opened.
#pragma once

#include "link/ComPort.h"
#include "sim/Atmega128.h"

namespace sim {

class SimComPort final : public serial::ComPort {
public:
    explicit SimComPort(Atmega128& device);

    void SetComNumber(uint16_t number) override;
    uint16_t GetComNumber() const override { return number_; }
    void SetOpen(bool open) override;
    bool GetOpen() const override { return open_; }
    void SetRTS(bool level) override;
    void SetDTR(bool level) override;
    bool GetCTS() override;

    // Numbers that behave as a missing port or a port held elsewhere, so the
    // port selection's failure paths can be tried without hardware.
    uint16_t badPort = 0;
    uint16_t busyPort = 0;

    bool rts() const { return rts_; }
    bool dtr() const { return dtr_; }

private:
    void checkLine(const char* line) const;

    Atmega128& device_;
    uint16_t number_ = 0;
    bool open_ = false;
    bool rts_ = false;
    bool dtr_ = false;
};

} // namespace sim
