#include "dialogs/about.h"

#include "about.form.h"

TAboutBox* AboutBox = nullptr;

TAboutBox::TAboutBox(tk::TApplication& application)
    : tk::TForm(application, forms::AboutBox())
{
    OKButton.OnClick = [this] { Application().HandleEvent([this] { OKButtonClick(); }); };

    registerControl(ProductName);
    registerControl(Version);
    registerControl(Copyright);
    registerControl(OKButton);

    AboutBox = this;
}

TAboutBox::~TAboutBox()
{
    if (AboutBox == this)
        AboutBox = nullptr;
}

void TAboutBox::OKButtonClick()
{
    Close();
}
