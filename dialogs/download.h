// The instructions dialog: the operator's seven steps of an update, shown
// beside the main window without blocking it.
#pragma once

#include "toolkit/Application.h"
#include "toolkit/Controls.h"

class TPagesDlg : public tk::TForm {
public:
    explicit TPagesDlg(tk::TApplication& application);
    ~TPagesDlg() override;

    tk::TLabel StaticText1{"StaticText1"};
    tk::TLabel StaticText2{"StaticText2"};
    tk::TLabel StaticText3{"StaticText3"};
    tk::TLabel StaticText4{"StaticText4"};
    tk::TLabel StaticText5{"StaticText5"};
    tk::TLabel StaticText6{"StaticText6"};
    tk::TLabel StaticText7{"StaticText7"};
    tk::TButton OKBtn{"OKBtn"};

    void OKBtnClick();
};

extern TPagesDlg* PagesDlg;
