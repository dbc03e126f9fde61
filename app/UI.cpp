#include "app/UI.h"

#include "UI.form.h"
#include "dialogs/about.h"
#include "dialogs/download.h"

#include <string>
#include <utility>

TfrmUpdate* frmUpdate = nullptr;

namespace {

const char* const closeWarning =
    "Closing the application during programming\r\nMay render the KPX unusable\r\nDo you want to abort download?";
const char* const closeQuestion = "Close application ?";

} // namespace

TfrmUpdate::TfrmUpdate(tk::TApplication& application, std::unique_ptr<serial::ComPort> port)
    : tk::TForm(application, forms::frmUpdate())
    , comPort(std::move(port))
{
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
    // USB adapters found at start-up follow COM1 to COM4; selecting one
    // opens it as port number 5, 6, ...
    for (const std::string& name : comPort->GetExtraPorts())
        lboxComPort.Items.push_back(name);
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

void TfrmUpdate::FormCreate()
{
    Application().HelpFile = tk::ExtractFilePath(tk::ParamStr(0)) + helpFileName;
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
    } catch (const serial::EBadId& error) {
        // The port layer knows why (no such device, no permission, not a
        // serial port): the operator needs that to fix it.
        Application().MessageBox(std::string("Error setting COM Port!  Please select a different port.\n\n") +
                                     error.what(),
                                 "Error", tk::MB_OK);
        reset();
        return;
    } catch (const serial::EAlreadyOpen& error) {
        Application().MessageBox(std::string("Selected COM port is already in use by another application.  Please "
                                             "close the other application and try again.\n\n") +
                                     error.what(),
                                 "Port in Use", tk::MB_OK);
        reset();
        return;
    } catch (const serial::ENoPortSelected&) {
        return;
    }
    // Said before anything starts, while another port can still be chosen.
    const std::string slow = comPort->GetSlowPortWarning();
    if (!slow.empty() && Application().MessageBox(slow, "Slow Port", tk::MB_OKCANCEL) == tk::IDCANCEL) {
        reset();
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
    for (const char* busy :
         {statusIdentify, statusReadImage, statusErase, statusProgram, statusVerify, statusConfigure})
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
