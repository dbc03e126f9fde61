#include "dialogs/download.h"

TPagesDlg* PagesDlg = nullptr;

TPagesDlg::TPagesDlg(tk::TApplication& application)
    : tk::TForm(application, "PagesDlg")
{
    Caption = "Download processes.";
    // The trailing blanks of lines 2, 3 and 7 are part of the texts.
    StaticText1.SetText("1. Connect one of the PC's serial communications port to the M740-RT's RS-232 port.");
    StaticText2.SetText("2. Select the PC's COM port by clicking on the desired connection. ");
    StaticText3.SetText("3. Click on the Update! button ");
    StaticText4.SetText("4. Turn ON the M740-RT, when prompted, while holding down the \"Backlight\" key.");
    StaticText5.SetText("5. The progress bar will monitor the download process.");
    StaticText6.SetText("6. After the \"Update Complete\" message appears, remove AC if connected and turn off the M740-RT");
    StaticText7.SetText("7. Disconnect the RS232 cable, verify version number and checksum. ");
    OKBtn.SetText("OK");
    OKBtn.OnClick = [this] { Application().HandleEvent([this] { OKBtnClick(); }); };

    for (tk::TControl* control : {&StaticText1, &StaticText2, &StaticText3, &StaticText4, &StaticText5,
                                  &StaticText6, &StaticText7})
        registerControl(*control);
    registerControl(OKBtn);

    PagesDlg = this;
}

TPagesDlg::~TPagesDlg()
{
    if (PagesDlg == this)
        PagesDlg = nullptr;
}

void TPagesDlg::OKBtnClick()
{
    Close();
}
