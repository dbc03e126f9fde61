#include "app/UI.h"

#include "dialogs/about.h"
#include "dialogs/download.h"
#include "image/Hexfile.h"
#include "platform/Clock.h"

#include <cstdio>
#include <utility>

TfrmUpdate* frmUpdate = nullptr;

namespace {

const char* const programModePrompt =
    "Turn On M740-RT While Holding Backlight Key If Battery Powered, Or Plug In AC Power While "
    "Holding Backlight Key If AC Powered";
const char* const noDeviceText = "No Device Detected!\nRepower the M740-RT while holding down the backlight key "
                                 "or re-inserting AC, then click retry.";
const char* const noDeviceCaption = "Device not responding!";
const char* const closeWarning =
    "Closing the application during programming\r\nMay render the KPX unusable\r\nDo you want to abort download?";
const char* const closeQuestion = "Close application ?";

constexpr uint8_t expectedFuseExt = 0xFF;
constexpr std::array<uint8_t, 3> targetSignature{0x1E, 0x97, 0x02};
constexpr std::array<uint8_t, 3> lockedSignature{0x00, 0x01, 0x02};
constexpr uint32_t targetFlashSize = 0x20000;
constexpr uint8_t targetDeviceType = 2;

// What the fuse and lock writes must leave in the device, as read back.
constexpr int32_t lockWritten = 0xFC;
constexpr int32_t fuseLowWritten = 0xBF;
constexpr int32_t fuseExtWritten = 0xFF;
constexpr int32_t fuseHighWritten = 0x9F;

constexpr uint32_t pageMask = 0xFF;
constexpr uint32_t kilobyteMask = 0x3FF;

std::string IntToHex(int32_t value, int digits)
{
    char buffer[16];
    std::snprintf(buffer, sizeof buffer, "%0*X", digits, static_cast<unsigned>(value));
    return buffer;
}

} // namespace

TfrmUpdate::TfrmUpdate(tk::TApplication& application, std::unique_ptr<serial::ComPort> port)
    : tk::TForm(application, "frmUpdate")
    , comPort(std::move(port))
{
    // Form description.
    Caption = "M740-RT  V5.5.1.7 Update";
    lboxComPort.Items = {"COM1", "COM2", "COM3", "COM4"};
    btnUpdate.SetText("Update!");
    btnUpdate.SetEnabled(false);
    ProgressBar.SetMin(0);
    ProgressBar.SetMax(100);
    ProgressBar.SetStep(10);
    ProgressBar.SetPosition(0);
    lblText.SetText("CRC:");
    lblCRC.SetText("FFFF");
    Label1.SetText("M740-RT Ver 5.17");
    for (tk::TLabel* label : {&lblFuseHigh, &lblFuseLow, &lblLock, &lblExtFuse})
        label->SetText("00");
    lblFuseHigh.SetVisible(false);
    lblFuseLow.SetVisible(false);
    Exit1.SetText("E&xit");
    Help1.SetText("&Help");
    Download1.SetText("&Download");
    N1.SetText("-");
    HelpFile1.SetText("Help &File");
    N2.SetText("-");
    About1.SetText("&About");
    kyAppHelpSocket1.HHPopupWindow->Font.Name = "MS Sans Serif";
    kyAppHelpSocket1.HHPopupWindow->Font.SetHeight(-11);
    kyAppHelpSocket1.HHPopupWindow->Font.Color = clWindowText;
    kyAppHelpSocket1.OnGetWinHelpFile = [this](std::string& WinHelpFile) {
        kyAppHelpSocket1GetWinHelpFile(WinHelpFile);
    };

    for (tk::TControl* control :
         {static_cast<tk::TControl*>(&lboxComPort), static_cast<tk::TControl*>(&btnUpdate),
          static_cast<tk::TControl*>(&ProgressBar), static_cast<tk::TControl*>(&lblText),
          static_cast<tk::TControl*>(&lblCRC), static_cast<tk::TControl*>(&lblProgress),
          static_cast<tk::TControl*>(&Label1), static_cast<tk::TControl*>(&lblFuseHigh),
          static_cast<tk::TControl*>(&lblFuseLow), static_cast<tk::TControl*>(&lblLock),
          static_cast<tk::TControl*>(&lblExtFuse), static_cast<tk::TControl*>(&Exit1),
          static_cast<tk::TControl*>(&Help1), static_cast<tk::TControl*>(&Download1),
          static_cast<tk::TControl*>(&N1), static_cast<tk::TControl*>(&HelpFile1),
          static_cast<tk::TControl*>(&N2), static_cast<tk::TControl*>(&About1)})
        registerControl(*control);

    btnUpdate.OnClick = [this] { handle(&TfrmUpdate::btnUpdateClick); };
    lboxComPort.OnClick = [this] { handle(&TfrmUpdate::lboxComPortClick); };
    lblText.OnClick = [this] { handle(&TfrmUpdate::lblTextClick); };
    Exit1.OnClick = [this] { handle(&TfrmUpdate::Exit1Click); };
    Download1.OnClick = [this] { handle(&TfrmUpdate::Download1Click); };
    HelpFile1.OnClick = [this] { handle(&TfrmUpdate::HelpFile1Click); };
    About1.OnClick = [this] { handle(&TfrmUpdate::About1Click); };
    OnCloseQuery = [this](bool& canClose) {
        // A query that fails refuses the close.
        bool allowed = false;
        Application().HandleEvent([&] {
            bool answer = canClose;
            FormCloseQuery(answer);
            allowed = answer;
        });
        canClose = allowed;
    };
    OnClose = [this](tk::TCloseAction& action) {
        tk::TCloseAction chosen = tk::TCloseAction::caNone;
        Application().HandleEvent([&] {
            tk::TCloseAction answer = action;
            FormClose(answer);
            chosen = answer;
        });
        action = chosen;
    };

    // Update state.
    for (std::string& text : fuseText)
        text.clear();
    for (std::string& text : sigText)
        text.clear();
    comNumber = 0;
    pgm = std::make_unique<pgmComm>(*comPort);
    lblLock.SetVisible(false);
    lblFuseLow.SetVisible(false);
    lblFuseHigh.SetVisible(false);
    lblExtFuse.SetVisible(false);

    frmUpdate = this;
    FormCreate();
}

TfrmUpdate::~TfrmUpdate()
{
    if (frmUpdate == this)
        frmUpdate = nullptr;
    // The link goes before the port it drives; the port closes itself.
    pgm.reset();
}

void TfrmUpdate::handle(void (TfrmUpdate::*handler)())
{
    Application().HandleEvent([this, handler] { (this->*handler)(); });
}

void TfrmUpdate::storeByte(uint8_t byte, std::string& text, int32_t& value)
{
    text = std::to_string(static_cast<unsigned>(byte));
    value = std::stoi(text);
}

void TfrmUpdate::FormCreate()
{
    Application().HelpFile = tk::ExtractFilePath(tk::ParamStr(0)) + helpFileName;
}

void TfrmUpdate::SetStatus(const std::string& text)
{
    lblProgress.SetText(text);
    ProgressBar.SetPosition(0);
}

void TfrmUpdate::btnUpdateClick()
{
    tk::TApplication& app = Application();

    if (comNumber == 0) {
        app.MessageBox("Please select a COM Port!", "Update Error", tk::MB_OK);
        return;
    }

    btnUpdate.SetEnabled(false);
    if (app.MessageBox(programModePrompt, "Place M740-RT In Program Mode", tk::MB_OKCANCEL) == tk::IDCANCEL) {
        btnUpdate.SetEnabled(true);
        return;
    }

    SetStatus(statusIdentify);
    app.ProcessMessages();
    if (!IdentifyDevice()) {
        app.MessageBox("Error getting M740-RT information", "Programming Error", tk::MB_OK);
        btnUpdate.SetEnabled(true);
        return;
    }

    SetStatus(statusReadImage);
    app.ProcessMessages();
    // Owned here so that every way out, an exception from the port included,
    // releases it.
    auto image = std::make_unique<HexFile>(hexFileName, flashSize);
    if (!image->readHexFile()) {
        app.MessageBox("Error reading Flash .HEX file!", "Update Error", tk::MB_OK);
        btnUpdate.SetEnabled(true);
        return;
    }

    const uint32_t checkValue =
        static_cast<uint32_t>(image->byteAt(flashSize - 1)) * 256u + image->byteAt(flashSize - 2);
    lblCRC.SetText(IntToHex(static_cast<int32_t>(checkValue), 4));
    ProgressBar.SetPosition(100);
    app.ProcessMessages();

    SetStatus(statusErase);
    app.ProcessMessages();
    pgm->chipErase();
    if (deviceType == targetDeviceType)
        fuseText[0] = std::to_string(static_cast<unsigned>(pgm->readLockBits()));

    while (!pgm->programEnable()) {
        if (app.MessageBox(noDeviceText, noDeviceCaption, tk::MB_RETRYCANCEL) == tk::IDCANCEL) {
            btnUpdate.SetEnabled(true);
            return;
        }
    }

    ProgressBar.SetPosition(100);
    app.ProcessMessages();
    if (!ProgramAndVerify(*image)) {
        btnUpdate.SetEnabled(true);
        return;
    }
    image.reset();

    if (deviceType == targetDeviceType) {
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
        if (fuseValue[1] != lockWritten || fuseValue[2] != fuseLowWritten || fuseValue[3] != fuseExtWritten ||
            fuseValue[4] != fuseHighWritten) {
            app.MessageBox("Verify Error", "Verify Error", tk::MB_OK);
            btnUpdate.SetEnabled(true);
            return;
        }
    }

    SetStatus(statusComplete);
    app.MessageBox("Disconnect RS232. If Battery Powered Turn M740-RT Off, For AC Power Disconnect AC Wait 30 "
                   "Seconds. Turn M740-RT On To Verify Version And CRC",
                   "Verify Version Number And CRC", tk::MB_OK);
}

bool TfrmUpdate::IdentifyDevice()
{
    tk::TApplication& app = Application();
    deviceType = 0;
    int lastAnswer = tk::IDOK;

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
                platform::Sleep(detectWaitMs);
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
            // A locked device hides its signature until it is erased.
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
        if ((address & pageMask) == pageMask)
            pgm->writePage(address);
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
            app.MessageBox("Verify Error", "Verify Error", tk::MB_OK);
            restoreProgressRange();
            return false;
        }
        if (!byteDone(address))
            return false;
    }

    restoreProgressRange();
    return true;
}

bool TfrmUpdate::byteDone(uint32_t address)
{
    if ((address & kilobyteMask) == kilobyteMask)
        ProgressBar.StepIt();
    Application().ProcessMessages();
    if (abortFlag) {
        ProgressBar.SetPosition(0);
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

void TfrmUpdate::lboxComPortClick()
{
    comNumber = static_cast<uint16_t>(lboxComPort.GetItemIndex() + 1);
    btnUpdate.SetEnabled(false);

    const auto reset = [this] {
        lboxComPort.SetItemIndex(-1);
        comNumber = 0;
        comPort->SetOpen(false);
        comPort->SetComNumber(0);
    };
    try {
        comPort->SetComNumber(comNumber);
        comPort->SetOpen(true);
        comPort->SetRTS(true);
    } catch (const serial::EBadId&) {
        Application().MessageBox("Error setting COM Port!  Please select a different port.", "Error", tk::MB_OK);
        reset();
        return;
    } catch (const serial::EAlreadyOpen&) {
        Application().MessageBox("Selected COM port is already in use by another application.  Please close the "
                                 "other application and try again.",
                                 "Port in Use", tk::MB_OK);
        reset();
        return;
    } catch (const serial::ENoPortSelected&) {
        return;
    }
    btnUpdate.SetEnabled(true);
    lboxComPort.SetEnabled(false);
}

void TfrmUpdate::lblTextClick()
{
    lblLock.SetVisible(true);
    lblFuseLow.SetVisible(true);
    lblFuseHigh.SetVisible(true);
    lblExtFuse.SetVisible(true);
}

bool TfrmUpdate::IsProgramming() const
{
    const std::string& status = lblProgress.GetText();
    for (const char* busy : {statusIdentify, statusReadImage, statusErase, statusProgram, statusVerify})
        if (status == busy)
            return true;
    return false;
}

void TfrmUpdate::FormCloseQuery(bool& canClose)
{
    if (!IsProgramming()) {
        canClose = true;
        return;
    }
    const int answer = tk::MessageDlgPos(Application(), closeWarning, tk::TMsgDlgType::mtWarning,
                                         tk::mbYes | tk::mbCancel, 0, 200, 200);
    if (answer == tk::mrYes) {
        abortFlag = true;
        canClose = true;
    } else {
        canClose = false;
    }
}

void TfrmUpdate::FormClose(tk::TCloseAction& action)
{
    if (tk::MessageDlg(Application(), closeQuestion, tk::TMsgDlgType::mtConfirmation, tk::mbYes | tk::mbNo, 0) ==
        tk::mrYes) {
        action = tk::TCloseAction::caFree;
        ShutDownApplication();
    } else {
        action = tk::TCloseAction::caNone;
    }
}

void TfrmUpdate::Exit1Click()
{
    if (IsProgramming()) {
        if (tk::MessageDlgPos(Application(), closeWarning, tk::TMsgDlgType::mtWarning, tk::mbYes | tk::mbCancel, 0,
                              200, 200) != tk::mrYes)
            return;
        if (tk::MessageDlg(Application(), closeQuestion, tk::TMsgDlgType::mtConfirmation, tk::mbYes | tk::mbNo,
                           0) != tk::mrYes)
            return;
        abortFlag = true;
        ShutDownApplication();
        return;
    }
    if (tk::MessageDlg(Application(), closeQuestion, tk::TMsgDlgType::mtConfirmation, tk::mbYes | tk::mbNo, 0) ==
        tk::mrYes)
        ShutDownApplication();
}

void TfrmUpdate::ShutDownApplication()
{
    tk::TApplication& app = Application();
    app.Terminate();
    if (app.HelpFile == tk::ExtractFilePath(tk::ParamStr(0)) + helpFileName)
        app.HelpCommand(tk::HELP_QUIT, 0);
    Close();
}

void TfrmUpdate::About1Click()
{
    if (AboutBox)
        AboutBox->Show();
}

void TfrmUpdate::Download1Click()
{
    if (PagesDlg)
        PagesDlg->Show();
}

void TfrmUpdate::HelpFile1Click()
{
    Application().HelpJump("TApplication_HelpJump");
}

void TfrmUpdate::kyAppHelpSocket1GetWinHelpFile(std::string&)
{
    kyAppHelpSocket1.ShowTOCTab();
}
