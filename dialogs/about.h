// The About box: product name, version and the maker's notice. Created hidden
// at start-up and only hidden again when closed.
#pragma once

#include "toolkit/Application.h"
#include "toolkit/Controls.h"

class TAboutBox : public tk::TForm {
public:
    explicit TAboutBox(tk::TApplication& application);
    ~TAboutBox() override;

    tk::TLabel ProductName{"ProductName"};
    tk::TLabel Version{"Version"};
    tk::TLabel Copyright{"Copyright"};
    tk::TButton OKButton{"OKButton"};

    void OKButtonClick();
};

extern TAboutBox* AboutBox;
