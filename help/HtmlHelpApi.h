// The HTML Help engine's published vocabulary: command numbers, window-type,
// popup, search and link records, notification records and codes. Shared by
// the binding that loads the engine, the application's help socket and the
// engine itself, so all three agree on every member and its place.
//
// Member names and order are the published API's. Strings are 8-bit and
// zero-terminated. On our 64-bit platform every record's size member holds
// sizeof(record); the engine refuses a record whose size member is smaller.
#pragma once

#include "platform/Win.h"

#include <cstdint>

// Engine entry point "HtmlHelpA". The data word is pointer-sized: several
// commands pass a record's address in it.
using THtmlHelp = platform::HWND (*)(platform::HWND caller, const char* file, uint32_t command,
                                     uintptr_t data);

// Commands.
constexpr uint32_t HH_DISPLAY_TOPIC = 0;      // data: topic path inside the file, or 0
constexpr uint32_t HH_HELP_FINDER = 0;        // the same command under its other name
constexpr uint32_t HH_DISPLAY_TOC = 1;        // data: 0
constexpr uint32_t HH_DISPLAY_INDEX = 2;      // data: index keyword, or 0
constexpr uint32_t HH_DISPLAY_SEARCH = 3;     // data: const HH_FTS_QUERY*, or 0
constexpr uint32_t HH_SET_WIN_TYPE = 4;       // data: const HH_WINTYPE*
constexpr uint32_t HH_GET_WIN_TYPE = 5;       // data: address of a const HH_WINTYPE* that receives the record
constexpr uint32_t HH_GET_WIN_HANDLE = 6;     // file: "file.chm>window"; result: that window's handle or 0
constexpr uint32_t HH_SYNC = 9;               // data: topic path to select in the contents
constexpr uint32_t HH_KEYWORD_LOOKUP = 13;    // data: const HH_AKLINK* (keywords of the index)
constexpr uint32_t HH_DISPLAY_TEXT_POPUP = 14; // data: const HH_POPUP*
constexpr uint32_t HH_HELP_CONTEXT = 15;      // data: numeric context id from the file's map
constexpr uint32_t HH_CLOSE_ALL = 18;         // data: 0
constexpr uint32_t HH_ALINK_LOOKUP = 19;      // data: const HH_AKLINK*

// Notification codes, sent in a WM_NOTIFY message to a tracking window type's
// caller window. Negative in the published API; NMHDR::code is unsigned, so
// they are kept here as the unsigned values that arrive in it.
constexpr uint32_t HHN_FIRST = 0u - 860u;
constexpr uint32_t HHN_NAVCOMPLETE = HHN_FIRST;         // -860, record HHN_NOTIFY
constexpr uint32_t HHN_TRACK = HHN_FIRST - 1u;          // -861, record HHNTRACK
constexpr uint32_t HHN_WINDOW_CREATE = HHN_FIRST - 2u;  // -862, record HHN_NOTIFY
constexpr uint32_t HHN_LAST = 0u - 879u;

// HH_WINTYPE::fsValidMembers: which members of the record carry a value.
constexpr uint32_t HHWIN_PARAM_PROPERTIES = 0x2;
constexpr uint32_t HHWIN_PARAM_STYLES = 0x4;
constexpr uint32_t HHWIN_PARAM_EXSTYLES = 0x8;
constexpr uint32_t HHWIN_PARAM_RECT = 0x10;
constexpr uint32_t HHWIN_PARAM_NAV_WIDTH = 0x20;
constexpr uint32_t HHWIN_PARAM_SHOWSTATE = 0x40;
constexpr uint32_t HHWIN_PARAM_INFOTYPES = 0x80;
constexpr uint32_t HHWIN_PARAM_TB_FLAGS = 0x100;
constexpr uint32_t HHWIN_PARAM_EXPANSION = 0x200;
constexpr uint32_t HHWIN_PARAM_TABPOS = 0x400;
constexpr uint32_t HHWIN_PARAM_TABORDER = 0x800;
constexpr uint32_t HHWIN_PARAM_HISTORY_COUNT = 0x1000;
constexpr uint32_t HHWIN_PARAM_CUR_TAB = 0x2000;

// HH_WINTYPE::fsWinProperties.
constexpr uint32_t HHWIN_PROP_TAB_AUTOHIDESHOW = 0x1;
constexpr uint32_t HHWIN_PROP_ONTOP = 0x2;
constexpr uint32_t HHWIN_PROP_NOTITLEBAR = 0x4;
constexpr uint32_t HHWIN_PROP_NODEF_STYLES = 0x8;
constexpr uint32_t HHWIN_PROP_NODEF_EXSTYLES = 0x10;
constexpr uint32_t HHWIN_PROP_TRI_PANE = 0x20;
constexpr uint32_t HHWIN_PROP_NOTB_TEXT = 0x40;
constexpr uint32_t HHWIN_PROP_POST_QUIT = 0x80;
constexpr uint32_t HHWIN_PROP_AUTO_SYNC = 0x100;
constexpr uint32_t HHWIN_PROP_TRACKING = 0x200;
constexpr uint32_t HHWIN_PROP_TAB_SEARCH = 0x400;
constexpr uint32_t HHWIN_PROP_TAB_HISTORY = 0x800;
constexpr uint32_t HHWIN_PROP_TAB_FAVORITES = 0x1000;
constexpr uint32_t HHWIN_PROP_CHANGE_TITLE = 0x2000;
constexpr uint32_t HHWIN_PROP_NAV_ONLY_WIN = 0x4000;
constexpr uint32_t HHWIN_PROP_NO_TOOLBAR = 0x8000;
constexpr uint32_t HHWIN_PROP_MENU = 0x10000;
constexpr uint32_t HHWIN_PROP_TAB_ADVSEARCH = 0x20000;
constexpr uint32_t HHWIN_PROP_USER_POS = 0x40000;

// HH_WINTYPE::fsToolBarFlags.
constexpr uint32_t HHWIN_BUTTON_EXPAND = 0x2;
constexpr uint32_t HHWIN_BUTTON_BACK = 0x4;
constexpr uint32_t HHWIN_BUTTON_FORWARD = 0x8;
constexpr uint32_t HHWIN_BUTTON_STOP = 0x10;
constexpr uint32_t HHWIN_BUTTON_REFRESH = 0x20;
constexpr uint32_t HHWIN_BUTTON_HOME = 0x40;
constexpr uint32_t HHWIN_BUTTON_SYNC = 0x800;
constexpr uint32_t HHWIN_BUTTON_PRINT = 0x2000;

// HH_WINTYPE::curNavType.
constexpr int32_t HHWIN_NAVTYPE_TOC = 0;
constexpr int32_t HHWIN_NAVTYPE_INDEX = 1;
constexpr int32_t HHWIN_NAVTYPE_SEARCH = 2;

constexpr int HH_MAX_TABS = 19;

// Actions reported by HHN_TRACK in HHNTRACK::idAction.
enum THHActTypes : int32_t {
    HHACT_TAB_CONTENTS,
    HHACT_TAB_INDEX,
    HHACT_TAB_SEARCH,
    HHACT_TAB_HISTORY,
    HHACT_TAB_FAVORITES,
    HHACT_EXPAND,
    HHACT_CONTRACT,
    HHACT_BACK,
    HHACT_FORWARD,
    HHACT_STOP,
    HHACT_REFRESH,
    HHACT_HOME,
    HHACT_SYNC,
    HHACT_OPTIONS,
    HHACT_PRINT,
    HHACT_HIGHLIGHT,
    HHACT_CUSTOMIZE,
    HHACT_JUMP1,
    HHACT_JUMP2,
    HHACT_ZOOM,
    HHACT_TOC_NEXT,
    HHACT_TOC_PREV,
    HHACT_NOTES,
    HHACT_LAST_ENUM
};
static_assert(HHACT_LAST_ENUM == 23);

// Kinds of information types.
enum TITType : int32_t { ITInclusive, ITExclusive, ITHidden };

// Where the navigation pane's tabs sit (HH_WINTYPE::tabpos).
enum class THHWinNavTabPos : int32_t { Top, Left, Bottom };

using HH_INFOTYPE = uint32_t;
// 0x00BBGGRR; a value with a non-zero top byte (such as -1) means "engine
// default". On Windows the system declares it too, as the same 32-bit type.
#ifdef _WIN32
using COLORREF = unsigned long;
#else
using COLORREF = uint32_t;
#endif

// A window type: how the help viewer window of that name looks and behaves.
struct HH_WINTYPE {
    int32_t cbStruct;
    int32_t fUniCodeStrings;
    const char* pszType;
    uint32_t fsValidMembers;
    uint32_t fsWinProperties;
    const char* pszCaption;
    uint32_t dwStyles;
    uint32_t dwExStyles;
    platform::RECT rcWindowPos;
    int32_t nShowState;
    platform::HWND hwndHelp;
    platform::HWND hwndCaller;
    HH_INFOTYPE* paInfoTypes;
    platform::HWND hwndToolBar;
    platform::HWND hwndNavigation;
    platform::HWND hwndHTML;
    int32_t iNavWidth;
    platform::RECT rcHTML;
    const char* pszToc;
    const char* pszIndex;
    const char* pszFile;
    const char* pszHome;
    uint32_t fsToolBarFlags;
    int32_t fNotExpanded;
    int32_t curNavType;
    int32_t tabpos;
    int32_t idNotify;
    uint8_t tabOrder[HH_MAX_TABS + 1];
    int32_t cHistory;
    const char* pszJump1;
    const char* pszJump2;
    const char* pszUrlJump1;
    const char* pszUrlJump2;
    platform::RECT rcMinSize;
    int32_t cbInfoTypes;
    const char* pszCustomTabs;
};

// A text popup.
struct HH_POPUP {
    int32_t cbStruct;
    platform::HWND hinst;  // module of a string resource; unused when idString is 0
    uint32_t idString;     // 0: the text is pszText
    const char* pszText;
    platform::POINT pt;    // top centre of the popup, screen coordinates
    COLORREF clrForeground;
    COLORREF clrBackground;
    platform::RECT rcMargins; // -1 in a member: engine default
    const char* pszFont;      // "face, point size, charset[, styles]"
};

// A full-text search request.
struct HH_FTS_QUERY {
    int32_t cbStruct;
    int32_t fUniCodeStrings;
    const char* pszSearchQuery;
    int32_t iProximity;
    int32_t fStemmedSearch;
    int32_t fTitleOnly;
    int32_t fExecute;
    const char* pszWindow;
};

// An associative or keyword link lookup.
struct HH_AKLINK {
    int32_t cbStruct;
    int32_t fReserved;
    const char* pszKeywords; // keywords separated by ';'
    const char* pszUrl;      // shown when no keyword is found
    const char* pszMsgText;  // message shown when no keyword is found and pszUrl is null
    const char* pszMsgTitle;
    const char* pszWindow;
    int32_t fIndexOnFail;    // non-zero: open the index at the first keyword when nothing is found
};

// HHN_NAVCOMPLETE and HHN_WINDOW_CREATE.
struct HHN_NOTIFY {
    platform::NMHDR hdr;
    const char* pszUrl; // the topic shown, or the window type's name on HHN_WINDOW_CREATE
};

// HHN_TRACK.
struct HHNTRACK {
    platform::NMHDR hdr;
    const char* pszCurUrl;
    int32_t idAction; // a THHActTypes value
    HH_WINTYPE* phhWinType;
};
