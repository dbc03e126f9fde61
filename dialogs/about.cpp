#include "dialogs/about.h"

TAboutBox* AboutBox = nullptr;

TAboutBox::TAboutBox(tk::TApplication& application)
    : tk::TForm(application, "AboutBox")
{
    Caption = "About M740-RT Updater";
    ProductName.SetText("M740-RT Updater");
    Version.SetText("Version 5.17");
    // Must fit one 10 pt line of 265 pixels.
    Copyright.SetText("M740-RT Updater (C) Talsen Ziroreruri Corp.");
    OKButton.SetText("OK");
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
