// The application help socket: the engine choice, the mapping of requests
// onto engine commands, the window type, the caller window's notifications,
// the socket's life in the application; and context ids to topic paths and
// popup texts: the line format, the side files beside the help file and
// their lazy reading, and the text popup.
#include "tests/help/HelpTestSupport.h"

#include <gtest/gtest.h>

#include <array>
#include <climits>
#include <optional>
#include <tuple>

namespace {

using SocketTest = help_test::HelpTest;

std::array<int32_t, 4> edges(const platform::RECT& r)
{
    return {r.left, r.top, r.right, r.bottom};
}

HH_WINTYPE winType(platform::RECT rect, uint32_t properties = 0)
{
    HH_WINTYPE record{};
    record.cbStruct = static_cast<int32_t>(sizeof(HH_WINTYPE));
    record.fsWinProperties = properties;
    record.rcWindowPos = rect;
    return record;
}

TEST_F(SocketTest, EachRequestReachesTheEngineAsItsCommand)
{
    makeSocket();
    socket->HHDefaultIndexKeyword = "port";
    socket->HHDefaultSearchQuery = "fuse";
    socket->HHAliases->SetStrings({"1000=intro.htm"});
    socket->HHPopupTopics->SetStrings({"5 five"});
    // Left behind by the engine's notifications; closing forgets them.
    HHN_NOTIFY notify{{0, 0, HHN_NAVCOMPLETE}, "a.htm"};
    socket->WMNotify(platform::WM_NOTIFY, kyHHNotifyId, reinterpret_cast<platform::LPARAM>(&notify));
    notify.hdr.code = HHN_WINDOW_CREATE;
    socket->WMNotify(platform::WM_NOTIFY, kyHHNotifyId, reinterpret_cast<platform::LPARAM>(&notify));
    ASSERT_EQ(socket->LastWindowName(), "a.htm");

    constexpr uint32_t kNothing = 0xFFFF;
    struct Case {
        uint16_t command;
        intptr_t data;
        bool result;
        uint32_t engineCommand;
        std::string text; // topic, keyword, popup text or search query
        uintptr_t engineData; // of the commands that carry no address
    };
    const std::vector<Case> cases = {
        {tk::HELP_CONTEXT, -5, true, HH_DISPLAY_TEXT_POPUP, "five", 0},
        {tk::HELP_CONTEXTPOPUP, -7, true, HH_HELP_CONTEXT, "", 7},
        {tk::HELP_CONTEXT, INTPTR_MIN, false, kNothing, "", 0}, // no counterpart: dropped, not bounced for ever
        {tk::HELP_CONTEXT, 1000, true, HH_DISPLAY_TOPIC, "intro.htm", 0},
        {tk::HELP_CONTEXT, 1234, true, HH_HELP_CONTEXT, "", 1234},
        {tk::HELP_TAB, -3, true, HH_DISPLAY_TOC, "", 0},
        {tk::HELP_TAB, 7, true, HH_DISPLAY_TOC, "", 0},
        {tk::HELP_TAB, -2, true, HH_DISPLAY_INDEX, "port", 0},
        {tk::HELP_TAB, -1, true, HH_DISPLAY_SEARCH, "fuse", 0},
        // The jump the Help menu sends after the contents (which tests/gui sees open): nothing more.
        {tk::HELP_COMMAND, reinterpret_cast<intptr_t>("JumpID(\"\",\"TApplication_HelpJump\")"), true, kNothing, "", 0},
        {tk::HELP_QUIT, 0, true, HH_CLOSE_ALL, "", 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.command << ' ' << c.data);
        engine.calls.clear();
        bool callHelp = true;
        EXPECT_EQ(socket->HelpHook(c.command, c.data, callHelp), c.result);
        EXPECT_FALSE(callHelp);
        if (c.engineCommand == kNothing) {
            EXPECT_TRUE(engine.calls.empty());
            continue;
        }
        ASSERT_EQ(shown().size(), 1u);
        const RecordedHelpCall call = shown()[0];
        EXPECT_EQ(std::tie(call.command, call.text), std::tie(c.engineCommand, c.text));
        const bool ofNoFile = call.command == HH_CLOSE_ALL || call.command == HH_DISPLAY_TEXT_POPUP;
        EXPECT_EQ(call.file, ofNoFile ? "" : "x.chm");
        EXPECT_EQ(call.caller, call.command == HH_CLOSE_ALL ? 0 : platform::GetDesktopWindow());
        if (call.command == HH_HELP_CONTEXT || call.command == HH_DISPLAY_TOC || call.command == HH_CLOSE_ALL) {
            EXPECT_EQ(call.data, c.engineData);
        }
        if (call.command == HH_DISPLAY_SEARCH) { // shown, not run, in the file's own window
            EXPECT_EQ(std::tuple(call.query.cbStruct, call.query.iProximity, call.query.fExecute, call.queryWindowWasNull),
                      std::tuple(int32_t{sizeof(HH_FTS_QUERY)}, -1, 0, true));
        }
    }
    EXPECT_EQ(socket->LastUrl(), "");
    EXPECT_EQ(socket->LastWindowName(), "");
}

TEST_F(SocketTest, TheHelpFileChoosesTheEngineAtEachRequestAndShapesTheFileSpecification)
{
    makeSocket();
    for (const std::string file : {"Help.CHM", "Help.hlp"}) {
        app.HelpFile = file;
        bool callHelp = true;
        EXPECT_TRUE(socket->HelpHook(tk::HELP_CONTENTS, 0, callHelp));
        EXPECT_EQ(callHelp, file == "Help.hlp") << "only WinHelp goes on to the toolkit's WinHelp";
    }
    EXPECT_EQ(shown().size(), 1u);

    engine.calls.clear();
    app.HelpFile = "x.chm>main";
    socket->HHDefaultTopic = "intro.htm";
    socket->ShowTOCTab();
    socket->HHDefaultTopic.clear();
    socket->ShowTOCTab();
    ASSERT_EQ(shown().size(), 2u);
    EXPECT_EQ(std::tie(shown()[0].file, shown()[1].file), std::tuple("x.chm::/intro.htm>main", "x.chm"));
    EXPECT_EQ(engine.calls[0].file, "x.chm>main") << "the window type is looked up by the plain specification";

    app.HelpFile = "a.chm>w>v";
    EXPECT_EQ(std::tuple(socket->GetFileName(), socket->GetWindowName()), std::tuple("a.chm", "w>v"));
}

TEST_F(SocketTest, TheWindowTypeIsMadeToReportToTheCallerBeforeAWindowIsShown)
{
    makeSocket();
    const platform::HWND caller = window("TestCaller");
    socket->SetHHCaller(caller);
    const HH_WINTYPE record = winType({10, 20, 110, 220}, HHWIN_PROP_ONTOP | HHWIN_PROP_TRI_PANE);
    engine.winType = record;
    engine.winTypeAnswer = 0x99;
    for (const bool onTop : {false, true}) {
        engine.calls.clear();
        socket->SetHHWindowOnTop(onTop);
        socket->ShowTOCTab();
        ASSERT_EQ(commands(), (std::vector<uint32_t>{HH_GET_WIN_TYPE, HH_SET_WIN_TYPE, HH_DISPLAY_TOC}));
        const HH_WINTYPE& set = engine.calls[1].winType;
        EXPECT_EQ(std::tie(engine.calls[1].caller, set.hwndCaller, set.idNotify), std::tuple(caller, caller, kyHHNotifyId));
        EXPECT_EQ(set.fsValidMembers, HHWIN_PARAM_PROPERTIES | HHWIN_PARAM_RECT);
        EXPECT_EQ(set.fsWinProperties, HHWIN_PROP_TRACKING | HHWIN_PROP_TRI_PANE | (onTop ? HHWIN_PROP_ONTOP : 0u));
        EXPECT_EQ(edges(set.rcWindowPos), edges(record.rcWindowPos)) << "only a popup shown as a window is moved";
    }

    // No window type, and an engine that claims one without handing out a complete record.
    HH_WINTYPE partial = record;
    partial.cbStruct = 196;
    for (const std::optional<HH_WINTYPE>& handedOut : {std::optional<HH_WINTYPE>{}, std::optional{partial}}) {
        engine.calls.clear();
        engine.winType = handedOut;
        socket->ShowTOCTab();
        EXPECT_EQ(commands(), (std::vector<uint32_t>{HH_GET_WIN_TYPE, HH_DISPLAY_TOC}));
    }
}

TEST_F(SocketTest, AContextPopupShownAsAWindowNearTheBottomEndsAboveItsPoint)
{
    makeSocket();
    socket->HHPopupsSource = psHtmlHelpFile;
    socket->HHContextWindow = "ctx";
    socket->HHAliases->SetStrings({"5 tip.htm"});
    engine.winType = winType({0, 0, 101, 200});
    engine.winTypeAnswer = 0x99;

    // The popup's point is 15 below the pending position, with no room below it in the 768 high work area.
    EXPECT_TRUE(help(tk::HELP_SETPOPUP_POS, (700 << 16) | 500));
    EXPECT_TRUE(help(tk::HELP_CONTEXTPOPUP, 5));
    ASSERT_EQ(commands(), (std::vector<uint32_t>{HH_GET_WIN_TYPE, HH_SET_WIN_TYPE, HH_DISPLAY_TOPIC}));
    EXPECT_EQ(std::tie(engine.calls[2].file, engine.calls[2].text), std::tuple("x.chm>ctx", "tip.htm"));
    EXPECT_EQ(edges(engine.calls[1].winType.rcWindowPos), (std::array<int32_t, 4>{450, 485, 551, 685}));

    // The pending position is used once; then at the cursor, where there is room below.
    engine.calls.clear();
    desktop.cursor = {-20, 100};
    help(tk::HELP_CONTEXTPOPUP, 5);
    ASSERT_EQ(engine.calls.size(), 3u);
    EXPECT_EQ(edges(engine.calls[1].winType.rcWindowPos), (std::array<int32_t, 4>{-70, 115, 31, 315}));
}

TEST_F(SocketTest, TheHookedCallerConsumesOurNotificationsAndPassesOnEverythingElse)
{
    makeSocket();
    const platform::HWND caller = window("TestCaller", [](platform::HWND, uint32_t, platform::WPARAM,
                                                          platform::LPARAM) -> platform::LRESULT { return 77; });
    std::vector<std::string> events;
    socket->OnHHNavComplete = [&](const std::string& url) { events.push_back("nav " + url); };
    socket->OnHHWindowCreate = [&](const std::string& name) { events.push_back("create " + name); };
    socket->OnHHTrack = [&](THHActTypes action, const std::string& url) {
        events.push_back("track " + std::to_string(action) + " " + url);
    };
    socket->SetHHCaller(caller);
    socket->ShowTOCTab();

    const auto send = [&](uint32_t msg, platform::WPARAM wParam, const void* record) {
        return platform::SendMessageA(caller, msg, wParam, reinterpret_cast<platform::LPARAM>(record));
    };
    const HHN_NOTIFY nav{{caller, 0, HHN_NAVCOMPLETE}, "a.htm"};
    const HHN_NOTIFY created{{caller, 0, HHN_WINDOW_CREATE}, "main"};
    const HHNTRACK track{{caller, 0, HHN_TRACK}, "b.htm", 0x100 | HHACT_BACK, nullptr};
    const platform::NMHDR other{caller, 0, 12345};
    for (const void* record : std::vector<const void*>{&nav, &created, &track, &other, nullptr})
        EXPECT_EQ(send(platform::WM_NOTIFY, kyHHNotifyId, record), 0) << "any code under our id is ours";
    EXPECT_EQ(send(platform::WM_NOTIFY, kyHHNotifyId + 1, &nav), 77);
    EXPECT_EQ(send(0x0010, kyHHNotifyId, &nav), 77);
    EXPECT_EQ(events, (std::vector<std::string>{"nav a.htm", "create main", "track 7 b.htm"}));
    EXPECT_EQ(socket->LastUrl(), "a.htm");

    // A second socket hooking the same caller must not take our procedure for the window's own.
    auto second = std::make_unique<TkyAppHelpSocket>(form);
    second->SetHHCaller(caller);
    second->GetHHCaller();
    EXPECT_EQ(send(0x0010, 0, nullptr), 77);
    second.reset();
    socket.reset();
    EXPECT_EQ(send(platform::WM_NOTIFY, kyHHNotifyId, &nav), 77) << "unhooked with the sockets";
}

TEST_F(SocketTest, TheDevelopmentEnvironmentWarningIsShownAtTheFirstRequestOnly)
{
    makeSocket();
    window("TAppBuilder");
    op.expectDialog("To avoid a possible FATAL ERROR don't display HTML Help windows when an application started "
                    "in the Debug Mode. Make sure that the Debug Mode is disabled before running an application.This "
                    "problem seems just like incompatibility of the HTML Help engine and IDE Debug Mode.\r\n"
                    "To CANCEL an operation choose Cancel button.\r\n"
                    "To DISABLE this message assign value false to the ShowWarning property of the "
                    "TkyAppHelpSocket.",
                    tk::TMsgDlgType::mtWarning, tk::mbOK | tk::mbCancel, std::nullopt, tk::mrCancel);
    EXPECT_FALSE(help(tk::HELP_CONTENTS, 0)) << "cancelled: nothing shown";
    EXPECT_TRUE(engine.calls.empty());
    EXPECT_TRUE(help(tk::HELP_CONTENTS, 0));
    EXPECT_EQ(shown().size(), 1u);
}

TEST_F(SocketTest, AClosedSocketClosesTheWindowsAndLeavesTheOtherHandlersWorking)
{
    int before = 0;
    // Keeps the request from the system's WinHelp, which Windows has.
    app.OnHelp = [&](uint16_t, intptr_t, bool& callHelp) {
        callHelp = false;
        return ++before > 0;
    };
    makeSocket();
    auto second = std::make_unique<TkyAppHelpSocket>(form);
    second->HHDefaultTopic = "second.htm";
    socket.reset();
    EXPECT_EQ(commands(), std::vector<uint32_t>{HH_CLOSE_ALL});
    app.HelpCommand(tk::HELP_CONTENTS, 0);
    EXPECT_EQ(shown().back().file, "x.chm::/second.htm") << "the newer socket keeps its hook";
    second.reset();
    EXPECT_EQ(shown().back().command, HH_CLOSE_ALL);
    // Through the first socket's handler, which the second one handed back.
    app.HelpCommand(tk::HELP_CONTENTS, 0);
    EXPECT_EQ(before, 1) << "the handler from before the sockets is back";
    app.OnHelp = nullptr;
}

// ---- context ids and popups ----

using TopicsTest = help_test::HelpTest;

// The socket exists before the help file is named, as in the main window: the
// side file is found at the first lookup.
TEST_F(TopicsTest, SideFileLinesAndTheirLookup)
{
    const struct {
        const char* helpFile;
        const char* lines;
        int32_t id;
        std::optional<std::string> text; // none: the conversion error
    } cases[] = {
        {"a.chm", "  1000 = intro.htm  \r\n", 1000, "intro.htm"}, {"a.chm", "1000 intro.htm", 1000, "intro.htm"},
        {"a.chm", "1001=Press Update to start", 1001, "Press Update to start"}, {"a.chm", "1002 a=b", 1002, "a b"},
        {"a.chm", "1004=x=y", 1004, "x=y"}, // only the first "=" separates
        {"a.chm", "\n\nword\r7 first\r\n7 second\n", 7, "first"}, {"a.chm", "1003=\n1003 later", 1003, ""},
        {"a.chm", "1000\tintro.htm\n1000 b", 1000, "b"}, // a tab separates nothing
        {"a.chm", "1000\tintro.htm more", 1000, std::nullopt}, {"a.chm", "; notes\n1000 intro.htm", 1000, std::nullopt},
        {"a.chm", "1 a\n; notes", 1, "a"}, {"a.chm", "2147483648 big", 1, std::nullopt},
        {"a.chm", "-2147483648 min", INT32_MIN, "min"}, {"a.chm", "+6 plus\n0007 zeros", 7, "zeros"},
        {"Help.CHM", "1 text", 1, ""}, // the side files' ".chm" is lower case
    };
    for (const auto& c : cases) {
        makeSocket();
        app.HelpFile = (folder / c.helpFile).string();
        std::ofstream(folder / std::filesystem::path(c.helpFile).replace_extension("pup")) << c.lines;
        if (c.text) {
            EXPECT_EQ(socket->GetPopupTextByID(c.id), *c.text) << c.lines;
        } else {
            EXPECT_THROW(socket->GetPopupTextByID(c.id), EConvertError) << c.lines;
        }
    }

    // The error fails the help request that looked the id up.
    socket->HHAliases->SetStrings({"; notes"});
    EXPECT_THROW(socket->ShowTopicByID(1000), EConvertError);
    EXPECT_TRUE(engine.calls.empty());
}

TEST_F(TopicsTest, EventsGoBeforeStringsAndStringsBeforeTheFile)
{
    makeSocket();
    app.HelpFile = (folder / "x.chm").string();
    std::ofstream(folder / "x.ali") << "1 file.htm\n2 file.htm\n3 file.htm\n";
    socket->HHAliases->SetStrings({"2 strings.htm", "3="});
    socket->OnHHGetAlias = [](int32_t id, std::string& text) { text = id == 1 ? "event.htm" : ""; };
    EXPECT_EQ(socket->GetHTMLFileByID(1), "event.htm");
    EXPECT_EQ(socket->GetHTMLFileByID(2), "strings.htm");
    EXPECT_EQ(socket->GetHTMLFileByID(3), "file.htm") << "an empty entry asks the next source";
}

TEST_F(TopicsTest, AnUnreadableSideFileIsReportedAtEachAttempt)
{
    makeSocket();
    const std::string missing = (folder / "gone.ali").string();
    op.expectDialog("Unable to open " + missing + " file.", tk::TMsgDlgType::mtError, tk::mbCancel, std::nullopt,
                    tk::mrCancel, 4);
    socket->HHAliases->SetTextFile(missing);
    // Under WinHelp every lookup tries again; under HTML Help the first one only.
    for (const char* helpFile : {"Help.hlp", "Help.hlp", "x.chm", "x.chm"}) {
        app.HelpFile = helpFile;
        EXPECT_EQ(socket->GetHTMLFileByID(1), "");
    }
    EXPECT_EQ(op.shown().size(), 4u);
}

TEST_F(TopicsTest, APopupCarriesItsTextFontColoursAndMarginsBelowTheCursor)
{
    makeSocket();
    TkyHHFont font; // MS Sans Serif, height -11
    font.Style = fsBold | fsUnderline;
    socket->HHPopupWindow->SetFont(font);
    socket->HHPopupWindow->BackgroundColor = 0x00FFFFE0;
    socket->HHPopupWindow->RcMargins.Left = 4;
    socket->HHPopupTopics->SetStrings({"1001=Press Update to start"});
    desktop.cursor = {300, 400};

    socket->PopupTextByID(NoPopupPos, 1001);
    ASSERT_EQ(engine.calls.size(), 1u);
    const RecordedHelpCall& call = engine.calls[0];
    EXPECT_EQ(std::tie(call.command, call.caller, call.file, call.popup.cbStruct),
              std::tuple(HH_DISPLAY_TEXT_POPUP, platform::GetDesktopWindow(), "", int32_t{sizeof(HH_POPUP)}));
    EXPECT_EQ(call.text, "Press Update to start");
    EXPECT_EQ(call.font, "MS Sans Serif, 8, 1, bold underline");
    EXPECT_EQ(std::tuple(call.popup.pt.x, call.popup.pt.y, call.popup.rcMargins.left), std::tuple(300, 415, 4));
    EXPECT_EQ(std::tuple(call.popup.clrForeground, call.popup.clrBackground), std::tuple(0xFF000008u, 0x00FFFFE0u));
    EXPECT_EQ(desktop.cursorsSet, std::vector<platform::HCURSOR>{platform::IDC_ARROW});
    EXPECT_EQ(TkyAppHelpSocket::FontStyleToStr(fsStrikeOut | fsUnderline | fsItalic | fsBold),
              ", bold italic underline srikeout");
}

} // namespace
