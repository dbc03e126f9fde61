// The main window on the simulated instrument, on virtual time, with a
// scripted operator; and the firmware files the update reads from the
// current folder.
#pragma once

#include "app/UI.h"
#include "dialogs/about.h"
#include "dialogs/download.h"
#include "platform/VirtualClock.h"
#include "sim/Atmega128.h"
#include "sim/SimComPort.h"
#include "tests/support/ScriptedOperator.h"
#include "toolkit/Application.h"

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

namespace app_test {

// The operator's texts, as the window shows them.
inline const char* const programModeText =
    "Turn On M740-RT While Holding Backlight Key If Battery Powered, Or Plug In AC Power While Holding "
    "Backlight Key If AC Powered";
inline const char* const programModeCaption = "Place M740-RT In Program Mode";
inline const char* const noDeviceText =
    "No Device Detected!\nRepower the M740-RT while holding down the backlight key or re-inserting AC, then "
    "click retry.";
inline const char* const noDeviceCaption = "Device not responding!";
inline const char* const identifyErrorText = "Error getting M740-RT information";
inline const char* const identifyErrorCaption = "Programming Error";
inline const char* const hexErrorText = "Error reading Flash .HEX file!";
inline const char* const updateErrorCaption = "Update Error";
inline const char* const verifyErrorText = "Verify Error";
inline const char* const completeText =
    "Disconnect RS232. If Battery Powered Turn M740-RT Off, For AC Power Disconnect AC Wait 30 Seconds. Turn "
    "M740-RT On To Verify Version And CRC";
inline const char* const completeCaption = "Verify Version Number And CRC";
inline const char* const wrongModelText =
    "This Update Is For The Model M740-RT, Please Be Sure Target Is A M740-RT";
inline const char* const wrongModelCaption = "Please Contact Talsen For Assistance";
inline const char* const unknownDeviceText =
    "Device not recognized!\nPlease contact Talsen Ziroreruri Corp. for assistance";
inline const char* const unknownDeviceCaption = "Unknown Device Error";
inline const char* const closeWarningText =
    "Closing the application during programming\r\nMay render the KPX unusable\r\nDo you want to abort download?";
inline const char* const closeQuestionText = "Close application ?";

constexpr uint32_t flashSize = 0x20000;

// A flash image (FF where the file has no data) and the extent of its data.
struct Firmware {
    std::vector<uint8_t> image = std::vector<uint8_t>(flashSize, 0xFF);
    // Bytes the file carries, by address.
    std::map<uint32_t, uint8_t> data;

    void set(uint32_t address, uint8_t value)
    {
        image[address] = value;
        data[address] = value;
    }
    // Pseudo-random bytes over [begin, end).
    void fill(uint32_t begin, uint32_t end, uint32_t seed);
    // Intel HEX text: 16-byte data records, segment records at 64 KB steps.
    std::string toHex() const;
    // Writes "KPXUpdate517.hex" into the current folder.
    void writeHexFile() const;
};

// A fresh temporary folder made current for the object's life.
class TempFolder {
public:
    TempFolder();
    ~TempFolder();
    TempFolder(const TempFolder&) = delete;
    TempFolder& operator=(const TempFolder&) = delete;
    const std::string& path() const { return path_; }

private:
    std::string path_;
    std::string previous_;
};

// Everything one update needs. The clock is in force before the window is
// built, since the link calibrates its delay on construction.
struct UpdateRig {
    using PortFactory = std::function<std::unique_ptr<serial::ComPort>(sim::Atmega128&)>;

    // The window's port is a sim::SimComPort unless makePort gives another
    // one on the device.
    explicit UpdateRig(const sim::Scenario& scenario = {}, const PortFactory& makePort = {});
    ~UpdateRig();

    // Opens COMn through the port list, as a click would.
    void selectPort(int number = 1);
    // Expects the program-mode prompt and answers it with OK.
    void expectStart();
    // Expects the final prompt of a completed update.
    void expectComplete();
    // Clicks "Update!".
    void clickUpdate() { form->btnUpdate.Click(); }

    bool flashMatches(const Firmware& firmware) const;
    bool configured() const;
    // The 3000 ms detection waits made so far.
    size_t detectionWaits() const;

    TempFolder folder;
    platform::VirtualClock clock{1'000'000, 1'000};
    platform::ScopedClock clockScope{clock};
    std::unique_ptr<sim::Atmega128> device;
    testing_support::ScriptedOperator op;
    tk::TApplication app{op};
    // Null when makePort supplied the port.
    sim::SimComPort* port = nullptr;
    TfrmUpdate* form = nullptr;
};

} // namespace app_test
