// The main window: port selection, the "Update!" procedure (identification,
// image, erase, programming, verification, fuse and lock bytes) and the
// closing rules that protect a running update. Headless: the controls are
// state objects that whichever front end is attached shows and drives.
#pragma once

#include "help/Hhpack.h"
#include "link/ComPort.h"
#include "link/Pgmcomm.h"
#include "toolkit/Application.h"
#include "toolkit/Controls.h"

#include <array>
#include <cstdint>
#include <memory>
#include <string>

class HexFile;

class TfrmUpdate : public tk::TForm {
public:
    // The window owns its port; which kind of port (a real tty or the
    // simulated instrument) is the front end's choice.
    TfrmUpdate(tk::TApplication& application, std::unique_ptr<serial::ComPort> port);
    ~TfrmUpdate() override;

    // Controls, under their form names.
    tk::TListBox lboxComPort{"lboxComPort"};
    tk::TButton btnUpdate{"btnUpdate"};
    tk::TProgressBar ProgressBar{"ProgressBar"};
    std::unique_ptr<serial::ComPort> comPort;
    tk::TLabel lblText{"lblText"};
    tk::TLabel lblCRC{"lblCRC"};
    tk::TLabel lblProgress{"lblProgress"};
    tk::TLabel Label1{"Label1"};
    // Takes over the application's help requests while the window is built.
    TkyAppHelpSocket kyAppHelpSocket1{*this};
    tk::TLabel lblFuseHigh{"lblFuseHigh"};
    tk::TLabel lblFuseLow{"lblFuseLow"};
    tk::TLabel lblLock{"lblLock"};
    tk::TLabel lblExtFuse{"lblExtFuse"};

    // Menu bar: Exit, and Help with Download, Help File and About between
    // separators N1 and N2.
    tk::TMenuItem Exit1{"Exit1"};
    tk::TMenuItem Help1{"Help1"};
    tk::TMenuItem Download1{"Download1"};
    tk::TMenuItem N1{"N1"};
    tk::TMenuItem HelpFile1{"HelpFile1"};
    tk::TMenuItem N2{"N2"};
    tk::TMenuItem About1{"About1"};

    // Update state shared by the update, identification, programming and
    // the close handling.
    std::unique_ptr<pgmComm> pgm;
    uint16_t comNumber = 0;
    uint32_t flashSize = 0;
    uint8_t deviceType = 0;
    std::array<std::string, 5> fuseText;
    std::array<int32_t, 5> fuseValue{};
    std::array<std::string, 3> sigText;
    std::array<int32_t, 3> sigValue{};
    bool abortFlag = false;

    // What the instrument holds, as far as the updates of this run have
    // changed it. Never better than the last step that was confirmed: a
    // second attempt that stops early leaves what the first one left.
    // Written: every page written, not yet verified; Mismatch: a byte read
    // back differed from the image.
    enum class Instrument {
        Untouched,
        Erased,
        PartlyWritten,
        Written,
        Mismatch,
        ConfigurationUnconfirmed,
        Updated
    };
    Instrument instrument = Instrument::Untouched;
    // The firmware file the operator named (--firmware); empty to look for
    // hexFileName in the folders of firmware::searchFolders().
    std::string firmwareFile;
    // Erase-and-detect rounds granted to a device that keeps reading as
    // locked after its erase; 0 for no bound, where an operator is there to
    // close the program.
    int lockedEraseLimit = 0;

    // Status line texts that mark a step as running (and, after a failure,
    // the step that failed).
    static constexpr const char* statusIdentify = "Getting Device Infomation";
    static constexpr const char* statusReadImage = "Reading Flash .HEX file";
    static constexpr const char* statusErase = "Chip Erase";
    static constexpr const char* statusProgram = "Programming Flash";
    static constexpr const char* statusVerify = "Verifying Flash";
    static constexpr const char* statusConfigure = "Writing Configuration";
    static constexpr const char* statusComplete = "Update Complete!";

    static constexpr const char* hexFileName = "KPXUpdate517.hex";
    static constexpr const char* helpFileName = "KPX Updater.chm";

    // Identification waits before each programming-enable attempt.
    static constexpr int detectWaitCount = 8;
    static constexpr uint32_t detectWaitMs = 3000;

    // Event handlers. Front ends reach them through the controls (Click,
    // Select, Close), which run them as the toolkit does: an exception that
    // escapes is shown and the program goes on.
    void FormCreate();
    void btnUpdateClick();
    void lboxComPortClick();
    void lblTextClick();
    void FormCloseQuery(bool& canClose);
    void FormClose(tk::TCloseAction& action);
    void Exit1Click();
    void About1Click();
    void Download1Click();
    void HelpFile1Click();
    void kyAppHelpSocket1GetWinHelpFile(std::string& WinHelpFile);

    void SetStatus(const std::string& text);
    bool IdentifyDevice();
    bool ProgramAndVerify(const HexFile& image);
    bool IsProgramming() const;
    void ShutDownApplication();

    // One sentence for the operator after a stop: what the instrument now
    // holds and what to do.
    std::string StopSentence() const;
    // Shows on the status line, and returns, which firmware file an update
    // would program, or why there is none. Front ends call it at start-up.
    std::string ShowFirmwareNotice();

private:
    // Runs a handler through the toolkit's exception display.
    void handle(void (TfrmUpdate::*handler)());
    // Stores a byte read back for display in its text and number forms.
    static void storeByte(uint8_t byte, std::string& text, int32_t& value);
    // Closes the work on one byte of programming or verification: a step per
    // kilobyte, pending messages, then the abort test. False when aborted.
    bool byteDone(uint32_t address);
    // The bar's range outside programming and verification.
    void restoreProgressRange();
    // The update itself; btnUpdateClick adds what the instrument holds to
    // an exception that escapes it.
    void runUpdate();
    // A failure exit: the message with what the instrument now holds as its
    // last paragraph, then the button enabled again.
    void failureExit(const std::string& message, const char* caption);
    // Says what the instrument holds after a stop with no message of its own
    // (the operator's), unless the program is ending: then the operator has
    // just confirmed the warning that says so.
    void reportStop();
    // Compares the configuration bytes read back with those written; the
    // differences for the operator, empty when there are none.
    std::string configurationDifferences() const;
};

extern TfrmUpdate* frmUpdate;
