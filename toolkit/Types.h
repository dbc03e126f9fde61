// Vocabulary of the form framework: message-box flags and answers, dialog
// kinds and buttons, close actions, WinHelp commands and the help handler.
#pragma once

#include <cstdint>
#include <functional>

namespace tk {

// Plain message boxes.
constexpr int MB_OK = 0;
constexpr int MB_OKCANCEL = 1;
constexpr int MB_RETRYCANCEL = 5;
constexpr int MB_ICONERROR = 0x10;
constexpr int MB_ICONWARNING = 0x30;
constexpr int IDOK = 1;
constexpr int IDCANCEL = 2;
constexpr int IDRETRY = 4;

// Modal results of toolkit dialogs.
constexpr int mrNone = 0;
constexpr int mrOk = 1;
constexpr int mrCancel = 2;
constexpr int mrYes = 6;
constexpr int mrNo = 7;

enum class TMsgDlgType { mtWarning, mtError, mtInformation, mtConfirmation, mtCustom };

// Button sets, as bit flags.
enum TMsgDlgBtn : unsigned {
    mbYes = 1u << 0,
    mbNo = 1u << 1,
    mbOK = 1u << 2,
    mbCancel = 1u << 3,
};
using TMsgDlgButtons = unsigned;

enum class TCloseAction { caNone, caHide, caFree, caMinimize };

// WinHelp commands that pass through the application's help dispatch.
constexpr uint16_t HELP_CONTEXT = 0x0001;
constexpr uint16_t HELP_QUIT = 0x0002;
constexpr uint16_t HELP_CONTENTS = 0x0003;
constexpr uint16_t HELP_CONTEXTPOPUP = 0x0008;
constexpr uint16_t HELP_FINDER = 0x000B;
constexpr uint16_t HELP_SETPOPUP_POS = 0x000D;
constexpr uint16_t HELP_TAB = 0x000F;
constexpr uint16_t HELP_KEY = 0x0101;
constexpr uint16_t HELP_COMMAND = 0x0102;
constexpr uint16_t HELP_PARTIALKEY = 0x0105;

// A help handler: sees a request first; returns its success, and clears
// callHelp to keep the toolkit from passing the request on to WinHelp. Data
// is pointer-sized: some commands carry the address of a string or record.
using THelpEvent = std::function<bool(uint16_t command, intptr_t data, bool& callHelp)>;

using TNotifyEvent = std::function<void()>;

} // namespace tk
