// The main window on the simulated instrument, on virtual time, with a
// scripted operator, in a fresh current folder for the firmware file.
#pragma once

#include "app/UI.h"
#include "platform/VirtualClock.h"
#include "sim/SimComPort.h"
#include "tests/support/ScriptedOperator.h"
#include "tests/support/TempFolder.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iomanip>
#include <random>

namespace app_test {

struct Message {
    std::string text;
    std::string caption;
};
inline const Message programMode{"Turn On M740-RT While Holding Backlight Key If Battery Powered, Or Plug In AC "
                                 "Power While Holding Backlight Key If AC Powered",
                                 "Place M740-RT In Program Mode"};
inline const Message noDevice{"No Device Detected!\nRepower the M740-RT while holding down the backlight key or "
                              "re-inserting AC, then click retry.",
                              "Device not responding!"};
inline const Message identifyError{"Error getting M740-RT information", "Programming Error"};
inline const Message hexError{"Error reading Flash .HEX file!", "Update Error"};
inline const Message verifyError{"Verify Error", "Verify Error"};
inline const Message complete{"Disconnect RS232. If Battery Powered Turn M740-RT Off, For AC Power Disconnect AC "
                              "Wait 30 Seconds. Turn M740-RT On To Verify Version And CRC",
                              "Verify Version Number And CRC"};

// What the instrument holds after a stop.
inline const std::string nothingWritten = "Nothing was written.";
inline const std::string erasedMemory =
    "The instrument's program memory is erased; it will not start. Run the update again.";
inline const std::string partlyWritten =
    "The instrument's program memory is partly written; it will not start. Run the update again.";
inline const std::string writtenUnverified = "Program memory was written but not verified, and the configuration "
                                             "bytes were not written. Run the update again.";
inline const std::string writtenWrong = "Program memory was written but failed verification, and the "
                                        "configuration bytes were not written. Run the update again.";
inline const std::string configurationUnconfirmed =
    "Program memory is correct; configuration bytes could not be confirmed. Run the update again.";

// A stop's own message ends with what the instrument holds.
inline Message holding(const Message& message, const std::string& state)
{
    return {message.text + "\n\n" + state, message.caption};
}
// A stop without a message of its own (the operator's) says only that.
inline Message stopBox(const std::string& state)
{
    return {state, "Update Stopped"};
}

constexpr uint32_t flashSize = 0x20000;

// A flash image, FF where the file has no data, and the end of the file's data.
struct Firmware {
    std::vector<uint8_t> image = std::vector<uint8_t>(flashSize, 0xFF);
    uint32_t end = 0;

    Firmware& set(uint32_t address, uint8_t value)
    {
        image[address] = value;
        end = std::max(end, address + 1);
        return *this;
    }
    // Pseudo-random bytes over [begin, stop).
    Firmware& fill(uint32_t begin, uint32_t stop, uint32_t seed)
    {
        std::mt19937 random(seed);
        for (uint32_t address = begin; address < stop; ++address)
            set(address, static_cast<uint8_t>(random()));
        return *this;
    }
    // Writes the update's HEX file: a record for each byte that is not FF
    // and for the last one, segment records at 64 KB steps.
    void write() const
    {
        std::ofstream out(TfrmUpdate::hexFileName, std::ios::binary | std::ios::trunc);
        out << std::hex << std::uppercase << std::setfill('0');
        const auto record = [&out](std::initializer_list<uint32_t> bytes) { // count, address, type, data
            uint32_t sum = 0;
            out << ':';
            for (const uint32_t byte : bytes) {
                out << std::setw(2) << (byte & 0xFF);
                sum += byte;
            }
            out << std::setw(2) << ((0x100 - (sum & 0xFF)) & 0xFF) << "\r\n";
        };
        for (uint32_t at = 0; at < end; ++at) {
            if (at % 0x10000 == 0 && at > 0)
                record({2, 0, 0, 2, at >> 12, 0});
            if (image[at] != 0xFF || at + 1 == end)
                record({1, at >> 8, at, 0, image[at]});
        }
        record({0, 0, 0, 1});
    }
};

// A fresh temporary folder, current for the object's life.
struct TempFolder {
    TempFolder() { std::filesystem::current_path(path); }
    ~TempFolder()
    {
        std::filesystem::current_path(previous);
        std::error_code ignored;
        std::filesystem::remove_all(path, ignored);
    }

    std::filesystem::path previous = std::filesystem::current_path();
    std::filesystem::path path = testing_support::makeTempFolder("kpx-app-");
};

// Everything one update needs. The clock is in force before the window is
// built, since the link calibrates its delay on construction.
struct UpdateRig {
    // A message box the operator answers `answer`, `times` times in a row.
    struct Box {
        Message message;
        int flags = tk::MB_OK;
        int answer = tk::IDOK;
        int times = 1;
        std::function<void()> during = {};
    };

    // The window's port is a sim::SimComPort unless another is given.
    explicit UpdateRig(const sim::Scenario& scenario = {}, std::unique_ptr<serial::ComPort> windowPort = nullptr)
        : device(std::make_unique<sim::Atmega128>(scenario))
    {
        if (!windowPort) {
            auto simPort = std::make_unique<sim::SimComPort>(*device);
            port = simPort.get();
            windowPort = std::move(simPort);
        }
        form = &app.CreateForm<TfrmUpdate>(std::move(windowPort));
        op.observe(form->ProgressBar);
    }
    // The controls die with the application, before the operator.
    ~UpdateRig() { op.stopObserving(); }

    void expect(const Box& box)
    {
        op.expectBox(box.message.text, box.message.caption, box.flags, box.answer, box.times, box.during);
    }
    // Writes the firmware, opens COM1 and expects the program-mode prompt,
    // answered with OK.
    void start(const Firmware& firmware = {})
    {
        firmware.write();
        form->lboxComPort.Select(0);
        expect({programMode, tk::MB_OKCANCEL});
    }
    // A whole update, with the boxes expected after the prompt.
    void update(const Firmware& firmware, std::initializer_list<Box> boxes)
    {
        start(firmware);
        for (const Box& box : boxes)
            expect(box);
        clickUpdate();
    }
    void clickUpdate() { form->btnUpdate.Click(); }
    // Runs action at the message processing after `count` waits or bytes of
    // a phase (its first comes before the first one).
    void at(const char* phase, uint32_t count, std::function<void()> action)
    {
        auto calls = std::make_shared<uint32_t>(0);
        op.when([this, phase, count, calls] { return status() == phase && (*calls)++ == count; }, std::move(action));
    }

    std::string status() const { return form->lblProgress.GetText(); }
    // The progress bar's "maximum/step".
    std::string range() const
    {
        return std::to_string(form->ProgressBar.Max()) + "/" + std::to_string(form->ProgressBar.Step());
    }
    // What an update left behind, at a glance.
    std::string outcome() const
    {
        return status() + (form->btnUpdate.Enabled() ? ", button on" : ", button off") + ", erases " +
               std::to_string(device->chipErases()) + ", pages " + std::to_string(device->pageWrites()) +
               ", locks " + std::to_string(device->lockWrites()) + ", waits " + std::to_string(detectionWaits());
    }
    // The byte labels: fuse high, fuse low, extended fuse, lock.
    std::string labels() const
    {
        return form->lblFuseHigh.GetText() + " " + form->lblFuseLow.GetText() + " " + form->lblExtFuse.GetText() +
               " " + form->lblLock.GetText();
    }
    // The instrument's flash holds the image.
    bool flashHolds(const Firmware& firmware) const
    {
        return std::equal(firmware.image.begin(), firmware.image.end(), device->flash().begin());
    }
    // The instrument holds the image and the configuration.
    bool holds(const Firmware& firmware) const
    {
        return flashHolds(firmware) && device->fuseHigh == 0x9F && device->fuseLow == 0xBF && device->fuseExt == 0xFF &&
               (device->lockBits | 0xC0) == 0xFC;
    }
    // The 3 s detection waits so far.
    std::ptrdiff_t detectionWaits() const { return std::count(clock.sleeps().begin(), clock.sleeps().end(), 3000u); }

    TempFolder folder;
    platform::VirtualClock clock{1'000'000, 1'000};
    platform::ScopedClock clockScope{clock};
    std::unique_ptr<sim::Atmega128> device;
    testing_support::ScriptedOperator op;
    tk::TApplication app{op};
    sim::SimComPort* port = nullptr; // null when the port was given
    TfrmUpdate* form = nullptr;
};

} // namespace app_test
