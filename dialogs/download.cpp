#include "dialogs/download.h"

#include "download.form.h"

TPagesDlg* PagesDlg = nullptr;

TPagesDlg::TPagesDlg(tk::TApplication& application)
    : tk::TForm(application, forms::PagesDlg())
{
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
