// The update procedure behind "Update!": identification, the image, erase,
// programming and verification, the configuration bytes, and what the
// operator is told at each step. The window around it is in UI.cpp.
#include "app/UI.h"

#include "app/Firmware.h"
#include "image/Hexfile.h"
#include "platform/Clock.h"

#include <cstdio>
#include <stdexcept>

namespace {

const char* const programModePrompt =
    "Turn On M740-RT While Holding Backlight Key If Battery Powered, Or Plug In AC Power While "
    "Holding Backlight Key If AC Powered";
const char* const noDeviceText = "No Device Detected!\nRepower the M740-RT while holding down the backlight key "
                                 "or re-inserting AC, then click retry.";
const char* const noDeviceCaption = "Device not responding!";

constexpr uint8_t expectedFuseExt = 0xFF;
constexpr std::array<uint8_t, 3> targetSignature{0x1E, 0x97, 0x02};
constexpr std::array<uint8_t, 3> lockedSignature{0x00, 0x01, 0x02};
constexpr uint32_t targetFlashSize = 0x20000;
constexpr uint8_t targetDeviceType = 2;

constexpr uint32_t pageMask = 0xFF;
constexpr uint32_t kilobyteMask = 0x3FF;

std::string IntToHex(int32_t value, int digits)
{
    char buffer[16];
    std::snprintf(buffer, sizeof buffer, "%0*X", digits, static_cast<unsigned>(value));
    return buffer;
}

} // namespace

void TfrmUpdate::storeByte(uint8_t byte, std::string& text, int32_t& value)
{
    text = std::to_string(static_cast<unsigned>(byte));
    value = std::stoi(text);
}

void TfrmUpdate::SetStatus(const std::string& text)
{
    lblProgress.SetText(text);
    ProgressBar.SetPosition(0);
}

void TfrmUpdate::btnUpdateClick()
{
    try {
        runUpdate();
    } catch (const std::exception& error) {
        // A port that gave out (an adapter pulled) stops the update between
        // two instructions: the operator must still learn where that left
        // the instrument.
        throw std::runtime_error(std::string(error.what()) + "\n\n" + StopSentence());
    }
}

void TfrmUpdate::runUpdate()
{
    tk::TApplication& app = Application();

    if (comNumber == 0) {
        app.MessageBox("Please select a COM Port!", "Update Error", tk::MB_OK);
        return;
    }

    btnUpdate.SetEnabled(false);
    // A stop the operator confirmed belongs to the update it stopped; left
    // set, it would end every later attempt before it began.
    abortFlag = false;
    if (app.MessageBox(programModePrompt, "Place M740-RT In Program Mode", tk::MB_OKCANCEL) == tk::IDCANCEL) {
        btnUpdate.SetEnabled(true);
        return;
    }

    SetStatus(statusIdentify);
    app.ProcessMessages();
    if (!IdentifyDevice()) {
        failureExit("Error getting M740-RT information", "Programming Error");
        return;
    }

    SetStatus(statusReadImage);
    app.ProcessMessages();
    const firmware::Location location = firmware::locate(firmwareFile, hexFileName);
    // Owned here so that every way out, an exception from the port included,
    // releases it.
    auto image = std::make_unique<HexFile>(location.path, flashSize);
    if (!image->readHexFile()) {
        failureExit("Error reading Flash .HEX file!\n\n" + firmware::problem(location, hexFileName, *image),
                    "Update Error");
        return;
    }

    const uint32_t checkValue =
        static_cast<uint32_t>(image->byteAt(flashSize - 1)) * 256u + image->byteAt(flashSize - 2);
    lblCRC.SetText(IntToHex(static_cast<int32_t>(checkValue), 4));
    ProgressBar.SetPosition(100);
    app.ProcessMessages();

    // An operator who chose to stop keeps the old firmware: nothing is
    // erased once the stop has been confirmed, however late.
    bool stopped = abortFlag;
    if (!stopped) {
        SetStatus(statusErase);
        app.ProcessMessages();
        stopped = abortFlag;
    }
    if (stopped) {
        reportStop();
        btnUpdate.SetEnabled(true);
        return;
    }
    instrument = Instrument::Erased;
    pgm->chipErase();
    if (deviceType == targetDeviceType)
        fuseText[0] = std::to_string(static_cast<unsigned>(pgm->readLockBits()));

    while (!pgm->programEnable()) {
        if (app.MessageBox(noDeviceText, noDeviceCaption, tk::MB_RETRYCANCEL) == tk::IDCANCEL) {
            reportStop();
            btnUpdate.SetEnabled(true);
            return;
        }
    }

    ProgressBar.SetPosition(100);
    app.ProcessMessages();
    // Programming and verification have told the operator why they stopped.
    if (!ProgramAndVerify(*image)) {
        btnUpdate.SetEnabled(true);
        return;
    }
    image.reset();

    if (deviceType == targetDeviceType) {
        lblProgress.SetText(statusConfigure);
        pgm->writeFuseHigh();
        pgm->writeFuseLow();
        pgm->writeFuseExt();
        pgm->writeLockBits();

        storeByte(pgm->readLockBits(), fuseText[1], fuseValue[1]);
        storeByte(pgm->readFuseLow(), fuseText[2], fuseValue[2]);
        storeByte(pgm->readFuseExt(), fuseText[3], fuseValue[3]);
        storeByte(pgm->readFuseHigh(), fuseText[4], fuseValue[4]);
        fuseValue[0] = std::stoi(fuseText[0]);
        lblLock.SetText(IntToHex(fuseValue[1], 2));
        lblFuseLow.SetText(IntToHex(fuseValue[2], 2));
        lblExtFuse.SetText(IntToHex(fuseValue[3], 2));
        lblFuseHigh.SetText(IntToHex(fuseValue[4], 2));

        // The configuration writes are checked like the flash: a device
        // that lost power or a write during them must not be reported as
        // updated.
        if (const std::string differences = configurationDifferences(); !differences.empty()) {
            failureExit("Configuration Verify Error: " + differences, "Verify Error");
            return;
        }
    }

    instrument = Instrument::Updated;
    SetStatus(statusComplete);
    app.MessageBox("Disconnect RS232. If Battery Powered Turn M740-RT Off, For AC Power Disconnect AC Wait 30 "
                   "Seconds. Turn M740-RT On To Verify Version And CRC",
                   "Verify Version Number And CRC", tk::MB_OK);
}

std::string TfrmUpdate::configurationDifferences() const
{
    struct Written {
        const char* name;
        int32_t expected;
        int32_t read;
    };
    std::string differences;
    // The read-back must show what the link wrote.
    for (const Written& byte : {Written{"lock", pgmComm::lockValue, fuseValue[1]},
                                Written{"low fuse", pgmComm::fuseLowValue, fuseValue[2]},
                                Written{"extended fuse", pgmComm::fuseExtValue, fuseValue[3]},
                                Written{"high fuse", pgmComm::fuseHighValue, fuseValue[4]}}) {
        if (byte.read == byte.expected)
            continue;
        if (!differences.empty())
            differences += "; ";
        differences += std::string(byte.name) + " " + IntToHex(byte.expected, 2) + " expected, " +
                       IntToHex(byte.read, 2) + " read";
    }
    return differences;
}

void TfrmUpdate::failureExit(const std::string& message, const char* caption)
{
    Application().MessageBox(message + "\n\n" + StopSentence(), caption, tk::MB_OK);
    btnUpdate.SetEnabled(true);
}

void TfrmUpdate::reportStop()
{
    if (!Application().Terminated())
        Application().MessageBox(StopSentence(), "Update Stopped", tk::MB_OK);
}

std::string TfrmUpdate::StopSentence() const
{
    switch (instrument) {
    case Instrument::Untouched:
        return "Nothing was written.";
    case Instrument::Erased:
        return "The instrument's program memory is erased; it will not start. Run the update again.";
    case Instrument::PartlyWritten:
        return "The instrument's program memory is partly written; it will not start. Run the update again.";
    case Instrument::Written:
        return "Program memory was written but not verified, and the configuration bytes were not written. Run the "
               "update again.";
    case Instrument::Mismatch:
        return "Program memory was written but failed verification, and the configuration bytes were not written. "
               "Run the update again.";
    case Instrument::ConfigurationUnconfirmed:
        return "Program memory is correct; configuration bytes could not be confirmed. Run the update again.";
    case Instrument::Updated:
        break;
    }
    return "The instrument is updated.";
}

std::string TfrmUpdate::ShowFirmwareNotice()
{
    const firmware::Notice notice = firmware::notice(firmwareFile, hexFileName, targetFlashSize);
    lblProgress.SetText(notice.text);
    lblProgress.SetHint(notice.place);
    return notice.text;
}

bool TfrmUpdate::IdentifyDevice()
{
    tk::TApplication& app = Application();
    deviceType = 0;
    int lastAnswer = tk::IDOK;
    int lockedErases = 0;

    for (;;) {
        // Detection: give the operator time to power the instrument up in
        // program mode, then try to enable programming.
        while (lastAnswer != tk::IDCANCEL) {
            if (abortFlag) {
                ProgressBar.SetPosition(0);
                return false;
            }
            ProgressBar.SetPosition(0);
            for (int wait = 0; wait < detectWaitCount; ++wait) {
                // The window stays answerable while it waits, and a stop
                // it confirms ends the wait rather than the next one.
                platform::SleepUnlessStopped(detectWaitMs, [this, &app] {
                    app.ProcessMessages();
                    return abortFlag;
                });
                if (abortFlag)
                    return false;
                ProgressBar.StepBy(1);
                app.ProcessMessages();
            }
            if (pgm->programEnable()) {
                ProgressBar.StepBy(15);
                if (abortFlag)
                    return false;
                app.ProcessMessages();
                break;
            }
            lastAnswer = app.MessageBox(noDeviceText, noDeviceCaption, tk::MB_RETRYCANCEL);
        }
        if (lastAnswer == tk::IDCANCEL) {
            ProgressBar.SetPosition(0);
            return false;
        }

        // Model check: the first reading after enabling is not trusted.
        pgm->probeFuseExt();
        if (pgm->probeFuseExt() != expectedFuseExt) {
            ProgressBar.SetPosition(0);
            app.MessageBox("This Update Is For The Model M740-RT, Please Be Sure Target Is A M740-RT",
                           "Please Contact Talsen For Assistance", tk::MB_OK);
            abortFlag = true;
            ShutDownApplication();
        }

        std::array<uint8_t, 3> signature{};
        for (uint8_t index = 0; index < 3; ++index) {
            signature[index] = pgm->readSignature(index);
            if (abortFlag)
                return false;
            ProgressBar.StepBy(25);
            app.ProcessMessages();
        }

        for (size_t i = 0; i < signature.size(); ++i)
            storeByte(signature[i], sigText[i], sigValue[i]);
        lblFuseHigh.SetText(IntToHex(sigValue[0], 2));
        lblFuseLow.SetText(IntToHex(sigValue[1], 2));
        lblExtFuse.SetText(IntToHex(sigValue[2], 2));

        if (signature == lockedSignature) {
            // Unattended, a chip whose erase never unlocks it would be
            // erased and waited for without end.
            if (lockedEraseLimit > 0 && lockedErases == lockedEraseLimit) {
                app.MessageBox("The device still reads signature 00 01 02 (locked) after " +
                                   std::to_string(lockedErases) + " chip erases.",
                               "Device Locked", tk::MB_OK);
                ProgressBar.SetPosition(0);
                return false;
            }
            ++lockedErases;
            // A locked device hides its signature until it is erased.
            instrument = Instrument::Erased;
            pgm->chipErase();
            continue;
        }
        if (signature == targetSignature) {
            flashSize = targetFlashSize;
            deviceType = targetDeviceType;
            ProgressBar.SetPosition(100);
            return true;
        }
        app.MessageBox("Device not recognized!\nPlease contact Talsen Ziroreruri Corp. for assistance",
                       "Unknown Device Error", tk::MB_OK);
        ProgressBar.SetPosition(0);
        deviceType = 0;
        return false;
    }
}

bool TfrmUpdate::ProgramAndVerify(const HexFile& image)
{
    tk::TApplication& app = Application();

    const uint32_t programEnd = (image.highAddress + 255u) & ~pageMask;
    lblProgress.SetText(statusProgram);
    ProgressBar.SetMin(0);
    ProgressBar.SetMax(static_cast<int>(programEnd / 1024));
    ProgressBar.SetStep(1);
    ProgressBar.SetPosition(0);
    app.ProcessMessages();
    for (uint32_t address = 0; address < programEnd; ++address) {
        pgm->loadPageByte(address, image.byteAt(address));
        if ((address & pageMask) == pageMask) {
            instrument = Instrument::PartlyWritten;
            pgm->writePage(address);
            if (address + 1 == programEnd)
                instrument = Instrument::Written;
        }
        if (!byteDone(address))
            return false;
    }

    lblProgress.SetText(statusVerify);
    ProgressBar.SetPosition(0);
    ProgressBar.SetMax(static_cast<int>(flashSize / 1024));
    ProgressBar.SetStep(1);
    app.ProcessMessages();
    for (uint32_t address = 0; address < flashSize; ++address) {
        if (pgm->readFlashByte(address) != image.byteAt(address)) {
            if (instrument == Instrument::Written)
                instrument = Instrument::Mismatch;
            app.MessageBox("Verify Error\n\n" + StopSentence(), "Verify Error", tk::MB_OK);
            restoreProgressRange();
            return false;
        }
        if (!byteDone(address))
            return false;
    }

    restoreProgressRange();
    instrument = Instrument::ConfigurationUnconfirmed;
    return true;
}

bool TfrmUpdate::byteDone(uint32_t address)
{
    if ((address & kilobyteMask) == kilobyteMask)
        ProgressBar.StepIt();
    Application().ProcessMessages();
    if (abortFlag) {
        ProgressBar.SetPosition(0);
        reportStop();
        return false;
    }
    return true;
}

void TfrmUpdate::restoreProgressRange()
{
    ProgressBar.SetMin(0);
    ProgressBar.SetMax(100);
    ProgressBar.SetStep(10);
}
