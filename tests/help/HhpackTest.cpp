// The application help socket: the hook, the mapping onto engine commands,
// window-type adjustment, the caller-window hook and its notifications, and
// the socket's life in the application.
#include "help/Hhpack.h"
#include "platform/Window.h"
#include "tests/help/HelpTestSupport.h"

#include <gtest/gtest.h>

#include <climits>

namespace {

using help_test::HelpFixture;

class SocketTest : public HelpFixture {
protected:
    SocketTest()
        : form(app.CreateForm<tk::TForm>(std::string("frmMain")))
    {
        app.HelpFile = "x.chm";
        socket = std::make_unique<TkyAppHelpSocket>(form);
        // Loaded, as after the first help window: closing then reaches it.
        HtmlHelp(0, "", HH_DISPLAY_TOC, 0);
        engine.clear();
    }

    ~SocketTest() override
    {
        socket.reset();
        for (platform::HWND window : windows)
            platform::UnregisterWindow(window);
    }

    bool help(uint16_t command, intptr_t data, bool* callHelpOut = nullptr)
    {
        bool callHelp = true;
        const bool result = socket->HelpHook(command, data, callHelp);
        if (callHelpOut)
            *callHelpOut = callHelp;
        return result;
    }

    platform::HWND window(const char* className, platform::WNDPROC proc = nullptr)
    {
        windows.push_back(platform::RegisterWindow(className, "", proc, nullptr));
        return windows.back();
    }

    static HH_WINTYPE winType(platform::RECT rect)
    {
        HH_WINTYPE record{};
        record.cbStruct = static_cast<int32_t>(sizeof(HH_WINTYPE));
        record.fsWinProperties = HHWIN_PROP_ONTOP | HHWIN_PROP_TRI_PANE;
        record.rcWindowPos = rect;
        return record;
    }

    tk::TForm& form;
    std::unique_ptr<TkyAppHelpSocket> socket;
    std::vector<platform::HWND> windows;
};

TEST_F(SocketTest, TheEngineIsChosenFromTheHelpFileAtEachRequest)
{
    std::vector<uint16_t> winHelpRequests;
    socket->OnWinHelp = [&](uint16_t command, intptr_t, bool&) {
        winHelpRequests.push_back(command);
        return true;
    };

    app.HelpFile = "Help.CHM";
    EXPECT_EQ(socket->GetHelpEngine(), heHtmlHelp);
    bool callHelp = true;
    EXPECT_TRUE(help(tk::HELP_CONTENTS, 0, &callHelp));
    EXPECT_FALSE(callHelp);
    EXPECT_EQ(engine.shown().size(), 1u);

    app.HelpFile = "Help.hlp";
    engine.clear();
    EXPECT_TRUE(help(tk::HELP_CONTENTS, 0, &callHelp));
    EXPECT_TRUE(callHelp) << "the toolkit goes on to WinHelp";
    EXPECT_EQ(engine.count(), 0);
    EXPECT_EQ(winHelpRequests, std::vector<uint16_t>{tk::HELP_CONTENTS});

    app.HelpFile = "manual.chmx";
    EXPECT_EQ(socket->GetHelpEngine(), heHtmlHelp) << "a plain substring test";
}

TEST_F(SocketTest, NegativeContextIdsAreServedInTheOtherPresentation)
{
    bool callHelp = true;
    EXPECT_TRUE(help(tk::HELP_CONTEXT, -5, &callHelp));
    EXPECT_FALSE(callHelp);
    ASSERT_EQ(engine.shown().size(), 1u);
    EXPECT_EQ(engine.shown()[0]->command, HH_DISPLAY_TEXT_POPUP);
    EXPECT_EQ(engine.shown()[0]->caller, platform::GetDesktopWindow());

    engine.clear();
    EXPECT_TRUE(help(tk::HELP_CONTEXTPOPUP, -7, &callHelp));
    ASSERT_EQ(engine.shown().size(), 1u);
    EXPECT_EQ(engine.shown()[0]->command, HH_HELP_CONTEXT);
    EXPECT_EQ(engine.shown()[0]->data, 7u);

    engine.clear();
    EXPECT_FALSE(help(tk::HELP_CONTEXT, INTPTR_MIN, &callHelp)) << "no positive counterpart: dropped, not bounced";
    EXPECT_FALSE(callHelp);
    EXPECT_EQ(engine.count(), 0);
}

TEST_F(SocketTest, TabRequestsOpenContentsIndexOrSearchWithTheirDefaults)
{
    socket->HHDefaultIndexKeyword = "port";
    socket->HHDefaultSearchQuery = "fuse";
    const std::vector<std::pair<intptr_t, uint32_t>> cases = {
        {-3, HH_DISPLAY_TOC}, {7, HH_DISPLAY_TOC}, {-2, HH_DISPLAY_INDEX}, {-1, HH_DISPLAY_SEARCH}};
    for (const auto& [data, command] : cases) {
        engine.clear();
        EXPECT_TRUE(help(tk::HELP_TAB, data));
        ASSERT_EQ(engine.shown().size(), 1u) << data;
        const RecordedHelpCall& call = *engine.shown()[0];
        EXPECT_EQ(call.command, command) << data;
        EXPECT_EQ(call.file, "x.chm");
        if (command == HH_DISPLAY_TOC) {
            EXPECT_EQ(call.data, 0u);
        }
        if (command == HH_DISPLAY_INDEX) {
            EXPECT_EQ(call.text, "port");
        }
        if (command == HH_DISPLAY_SEARCH) {
            ASSERT_TRUE(call.hasQuery);
            EXPECT_EQ(call.query.cbStruct, static_cast<int32_t>(sizeof(HH_FTS_QUERY)));
            EXPECT_EQ(call.queryText, "fuse");
            EXPECT_EQ(call.query.iProximity, -1);
            EXPECT_EQ(call.query.fExecute, 0);
            EXPECT_TRUE(call.queryWindowWasNull);
        }
    }
}

TEST_F(SocketTest, UnmappedRequestsShowNothingAndQuitClosesEverything)
{
    bool callHelp = true;
    EXPECT_TRUE(help(tk::HELP_COMMAND, 0, &callHelp));
    EXPECT_FALSE(callHelp);
    EXPECT_EQ(engine.count(), 0);

    // Leave a URL and a window name behind, as the engine's notifications do.
    HHN_NOTIFY notify{{0, 0, HHN_NAVCOMPLETE}, "a.htm"};
    socket->WMNotify(platform::WM_NOTIFY, kyHHNotifyId, reinterpret_cast<platform::LPARAM>(&notify));
    notify.hdr.code = HHN_WINDOW_CREATE;
    socket->WMNotify(platform::WM_NOTIFY, kyHHNotifyId, reinterpret_cast<platform::LPARAM>(&notify));
    ASSERT_EQ(socket->LastWindowName(), "a.htm");

    engine.clear();
    EXPECT_TRUE(help(tk::HELP_QUIT, 0, &callHelp));
    ASSERT_EQ(engine.count(), 1);
    EXPECT_EQ(engine.call(0).command, HH_CLOSE_ALL);
    EXPECT_EQ(engine.call(0).caller, 0);
    EXPECT_EQ(engine.call(0).file, "");
    EXPECT_EQ(engine.call(0).data, 0u);
    EXPECT_EQ(socket->LastUrl(), "");
    EXPECT_EQ(socket->LastWindowName(), "");
}

TEST_F(SocketTest, DefaultTopicAndWindowNameShapeTheSpecification)
{
    app.HelpFile = "x.chm>main";
    socket->HHDefaultTopic = "intro.htm";
    EXPECT_TRUE(socket->ShowTOCTab());
    ASSERT_EQ(engine.shown().size(), 1u);
    EXPECT_EQ(engine.shown()[0]->file, "x.chm::/intro.htm>main");
    EXPECT_EQ(engine.call(0).command, HH_GET_WIN_TYPE);
    EXPECT_EQ(engine.call(0).file, "x.chm>main") << "the window type is looked up by the plain specification";

    engine.clear();
    socket->HHDefaultTopic.clear();
    socket->ShowTOCTab();
    EXPECT_EQ(engine.shown()[0]->file, "x.chm");

    app.HelpFile = "a.chm>w>v";
    EXPECT_EQ(socket->GetFileName(), "a.chm");
    EXPECT_EQ(socket->GetWindowName(), "w>v");
    app.HelpFile = "a.chm";
    EXPECT_EQ(socket->GetWindowName(), "");
}

TEST_F(SocketTest, ContextIdsGoToTheirTopicOrToTheFilesOwnMap)
{
    socket->HHAliases->SetStrings({"1000=intro.htm"});
    EXPECT_TRUE(socket->ShowTopicByID(1000));
    EXPECT_TRUE(socket->ShowTopicByID(1234));
    const auto shown = engine.shown();
    ASSERT_EQ(shown.size(), 2u);
    EXPECT_EQ(shown[0]->command, HH_DISPLAY_TOPIC);
    EXPECT_EQ(shown[0]->text, "intro.htm");
    EXPECT_EQ(shown[0]->file, "x.chm");
    EXPECT_EQ(shown[1]->command, HH_HELP_CONTEXT);
    EXPECT_EQ(shown[1]->data, 1234u);
}

TEST_F(SocketTest, TheWindowTypeIsFetchedAdjustedAndStoredBack)
{
    const platform::HWND caller = window("TestCaller");
    socket->SetHHCaller(caller);
    engine.clear();
    const HH_WINTYPE record = winType({10, 20, 110, 220});
    engine.setWinType(&record, 0x99);

    socket->ShowTOCTab();
    ASSERT_EQ(engine.commands(), (std::vector<uint32_t>{HH_GET_WIN_TYPE, HH_SET_WIN_TYPE, HH_DISPLAY_TOC}));
    const RecordedHelpCall& set = engine.call(1);
    ASSERT_TRUE(set.hasWinType);
    EXPECT_EQ(set.caller, caller);
    EXPECT_EQ(set.winType.fsValidMembers & (HHWIN_PARAM_PROPERTIES | HHWIN_PARAM_RECT),
              HHWIN_PARAM_PROPERTIES | HHWIN_PARAM_RECT);
    EXPECT_EQ(set.winType.fsWinProperties, HHWIN_PROP_TRACKING | HHWIN_PROP_TRI_PANE) << "on-top cleared";
    EXPECT_EQ(set.winType.idNotify, kyHHNotifyId);
    EXPECT_EQ(set.winType.hwndCaller, caller);
    EXPECT_EQ(set.winType.rcWindowPos.left, 10) << "only a popup shown as a window is moved";

    engine.clear();
    socket->SetHHWindowOnTop(true);
    engine.setWinType(&record, 0x99);
    socket->ShowTOCTab();
    EXPECT_TRUE(engine.call(1).winType.fsWinProperties & HHWIN_PROP_ONTOP);

    // No window type, and an engine that claims success without a record.
    for (const platform::HWND answer : {platform::HWND{-1}, platform::HWND{0x99}}) {
        engine.clear();
        engine.setWinType(nullptr, answer);
        socket->ShowTOCTab();
        EXPECT_EQ(engine.commands(), (std::vector<uint32_t>{HH_GET_WIN_TYPE, HH_DISPLAY_TOC})) << answer;
    }
}

TEST_F(SocketTest, AContextPopupShownAsAWindowNearTheBottomEndsAboveItsPoint)
{
    socket->HHPopupsSource = psHtmlHelpFile;
    socket->HHContextWindow = "ctx";
    socket->HHAliases->SetStrings({"5 tip.htm"});
    desktop.area = {0, 0, 1024, 768};
    HH_WINTYPE record = winType({0, 0, 101, 200});
    engine.setWinType(&record, 0x99);

    EXPECT_TRUE(help(tk::HELP_SETPOPUP_POS, (700 << 16) | 500));
    EXPECT_EQ(socket->PopupPos().x, 500);
    EXPECT_TRUE(help(tk::HELP_CONTEXTPOPUP, 5));

    ASSERT_EQ(engine.commands(), (std::vector<uint32_t>{HH_GET_WIN_TYPE, HH_SET_WIN_TYPE, HH_DISPLAY_TOPIC}));
    EXPECT_EQ(engine.call(0).file, "x.chm>ctx");
    EXPECT_EQ(engine.call(2).file, "x.chm>ctx");
    EXPECT_EQ(engine.call(2).text, "tip.htm");
    const platform::RECT& rect = engine.call(1).winType.rcWindowPos;
    EXPECT_EQ(rect.left, 450);
    EXPECT_EQ(rect.right, 551);
    EXPECT_EQ(rect.bottom, 715 - 30) << "the popup point is 15 below the pending position";
    EXPECT_EQ(rect.top, 715 - 30 - 200);
    EXPECT_EQ(socket->PopupPos().x, -1) << "the pending position is consumed";
    EXPECT_FALSE(socket->PopupAsWindow());

    // Room below: placed at the cursor, top edge at its point.
    engine.clear();
    record = winType({0, 0, 100, 200});
    engine.setWinType(&record, 0x99);
    desktop.cursor = {-20, 100};
    help(tk::HELP_CONTEXTPOPUP, 5);
    EXPECT_EQ(engine.call(1).winType.rcWindowPos.top, 115);
    EXPECT_EQ(engine.call(1).winType.rcWindowPos.left, -70);
}

TEST_F(SocketTest, TheHookedCallerWindowPassesOnEverythingButOurNotifications)
{
    static std::vector<uint32_t> ownMessages;
    ownMessages.clear();
    const platform::HWND caller = window("TestCaller", [](platform::HWND, uint32_t msg, platform::WPARAM,
                                                          platform::LPARAM) -> platform::LRESULT {
        ownMessages.push_back(msg);
        return 77;
    });
    std::vector<std::string> events;
    socket->OnHHNavComplete = [&](const std::string& url) { events.push_back("nav " + url); };
    socket->OnHHWindowCreate = [&](const std::string& name) { events.push_back("create " + name); };
    socket->OnHHTrack = [&](THHActTypes action, const std::string& url) {
        events.push_back("track " + std::to_string(action) + " " + url);
    };

    EXPECT_EQ(socket->GetHHCaller(), platform::GetDesktopWindow());
    EXPECT_EQ(OldWndProc, nullptr) << "the desktop cannot be hooked";
    socket->SetHHCaller(caller);
    socket->ShowTOCTab();
    ASSERT_EQ(socket->HookedWnd(), caller);

    const auto send = [&](uint32_t msg, platform::WPARAM wParam, const void* record) {
        return platform::SendMessageA(caller, msg, wParam, reinterpret_cast<platform::LPARAM>(record));
    };
    HHN_NOTIFY nav{{caller, 0, HHN_NAVCOMPLETE}, "a.htm"};
    HHN_NOTIFY created{{caller, 0, HHN_WINDOW_CREATE}, "main"};
    HHNTRACK track{{caller, 0, HHN_TRACK}, "b.htm", 0x100 | HHACT_BACK, nullptr};
    platform::NMHDR other{caller, 0, 12345};
    EXPECT_EQ(send(platform::WM_NOTIFY, kyHHNotifyId, &nav), 0);
    EXPECT_EQ(send(platform::WM_NOTIFY, kyHHNotifyId, &created), 0);
    EXPECT_EQ(send(platform::WM_NOTIFY, kyHHNotifyId, &track), 0);
    EXPECT_EQ(send(platform::WM_NOTIFY, kyHHNotifyId, &other), 0) << "any code under our id is consumed";
    EXPECT_EQ(send(platform::WM_NOTIFY, kyHHNotifyId, nullptr), 0);
    EXPECT_EQ(send(platform::WM_NOTIFY, kyHHNotifyId + 1, &nav), 77);
    EXPECT_EQ(send(0x0010, kyHHNotifyId, &nav), 77);
    EXPECT_EQ(events, (std::vector<std::string>{"nav a.htm", "create main", "track 7 b.htm"}));
    EXPECT_EQ(ownMessages, (std::vector<uint32_t>{platform::WM_NOTIFY, 0x0010}));
    EXPECT_EQ(socket->LastUrl(), "a.htm");

    // Gone with the socket: the window gets its own procedure back.
    socket.reset();
    EXPECT_EQ(send(platform::WM_NOTIFY, kyHHNotifyId, &nav), 77);
    EXPECT_EQ(OldWndProc, nullptr);
}

TEST_F(SocketTest, ChangingTheCallerClosesTheOldWindowsAndIgnoresNonWindows)
{
    const platform::HWND first = window("TestCaller");
    socket->SetHHCaller(first);
    EXPECT_EQ(engine.commands(), std::vector<uint32_t>{HH_CLOSE_ALL});
    socket->SetHHCaller(first);
    socket->SetHHCaller(0x7FFFFFF0);
    EXPECT_EQ(socket->HHCaller(), first);
    EXPECT_EQ(engine.count(), 1);

    app.HelpFile = "Help.hlp";
    socket->SetHHCaller(0);
    EXPECT_EQ(socket->HHCaller(), 0);
    EXPECT_EQ(engine.count(), 1) << "nothing to close under WinHelp";
}

TEST_F(SocketTest, TheDevelopmentEnvironmentWarningIsShownAtTheFirstRequestOnly)
{
    window("TAppBuilder");
    backend.dialogAnswers = {tk::mrCancel};
    bool callHelp = true;
    EXPECT_FALSE(help(tk::HELP_CONTENTS, 0, &callHelp)) << "cancelled: nothing shown";
    EXPECT_FALSE(callHelp);
    EXPECT_EQ(engine.count(), 0);
    ASSERT_EQ(backend.dialogs.size(), 1u);
    EXPECT_EQ(backend.dialogs[0].kind, tk::TMsgDlgType::mtWarning);
    EXPECT_EQ(backend.dialogs[0].buttons, tk::mbOK | tk::mbCancel);
    EXPECT_EQ(backend.dialogs[0].text,
              "To avoid a possible FATAL ERROR don't display HTML Help windows when an application started in the "
              "Debug Mode. Make sure that the Debug Mode is disabled before running an application.This problem "
              "seems just like incompatibility of the HTML Help engine and IDE Debug Mode.\r\n"
              "To CANCEL an operation choose Cancel button.\r\n"
              "To DISABLE this message assign value false to the ShowWarning property of the TkyAppHelpSocket.");

    EXPECT_TRUE(help(tk::HELP_CONTENTS, 0));
    EXPECT_EQ(backend.dialogs.size(), 1u);
    EXPECT_FALSE(socket->ShowWarning);
}

TEST_F(SocketTest, HelpJumpOpensTheContentsAndTheJumpAddsNothing)
{
    EXPECT_TRUE(app.HelpJump("TApplication_HelpJump"));
    ASSERT_EQ(engine.shown().size(), 1u);
    EXPECT_EQ(engine.shown()[0]->command, HH_DISPLAY_TOC);
    EXPECT_EQ(engine.shown()[0]->file, "x.chm");
}

TEST_F(SocketTest, AMissingEngineIsReportedAsSuccessWithoutWinHelp)
{
    SetHtmlHelpLibrary((folder / "none.so").string());
    backend.boxAnswers = {tk::IDCANCEL, tk::IDCANCEL};
    bool callHelp = true;
    EXPECT_TRUE(help(tk::HELP_CONTENTS, 0, &callHelp));
    EXPECT_FALSE(callHelp);
    // Once for the window type, once for the contents; the binding offers the
    // download through the socket's application.
    EXPECT_EQ(backend.boxes.size(), 2u);
    EXPECT_EQ(desktop.beeps.size(), 2u);
}

TEST_F(SocketTest, PopupsFromAWinHelpFileAskForTheFileName)
{
    // The main window's handler: opens the contents instead.
    app.HelpFile = folder.string() + "/KPX Updater.CHM>main";
    socket->HHPopupsSource = psWinHelpFile;
    std::string asked;
    socket->OnGetWinHelpFile = [&](std::string& name) {
        asked = name;
        socket->ShowTOCTab();
    };
    bool callHelp = true;
    EXPECT_FALSE(help(tk::HELP_CONTEXTPOPUP, 5, &callHelp)) << "there is no WinHelp here";
    EXPECT_FALSE(callHelp);
    EXPECT_EQ(asked, folder.string() + "/KPX Updater");
    ASSERT_EQ(engine.shown().size(), 1u);
    EXPECT_EQ(engine.shown()[0]->command, HH_DISPLAY_TOC);

    // A WinHelp handler that takes the request keeps the socket out of it.
    asked.clear();
    socket->OnWinHelp = [](uint16_t, intptr_t, bool& call) {
        call = false;
        return true;
    };
    EXPECT_TRUE(help(tk::HELP_CONTEXTPOPUP, 5));
    EXPECT_EQ(asked, "");
}

TEST_F(SocketTest, DirectRequestsFillTheirRecords)
{
    socket->HHDefaultIndexKeyword = "port";
    socket->HHShowIndexTab("");
    socket->HHShowSearchTab("", "win", true, false, true);
    EXPECT_EQ(socket->HHShowTopicByName("", false), 0) << "no topic, no default";
    socket->HHDefaultTopic = "intro.htm";
    socket->HHShowTopicByName("", true);

    const auto shown = engine.shown();
    ASSERT_EQ(shown.size(), 4u);
    EXPECT_EQ(shown[0]->text, "port");
    EXPECT_EQ(shown[1]->query.fStemmedSearch, -1) << "true is all bits set";
    EXPECT_EQ(shown[1]->query.fTitleOnly, 0);
    EXPECT_EQ(shown[1]->queryWindow, "win");
    EXPECT_EQ(shown[2]->command, HH_DISPLAY_TOC);
    EXPECT_EQ(shown[3]->text, "intro.htm");
}

TEST_F(SocketTest, DestructionClosesTheWindowsAndHandsTheHandlerBack)
{
    int oldHandlerCalls = 0;
    socket.reset();
    app.OnHelp = [&](uint16_t, intptr_t, bool&) {
        ++oldHandlerCalls;
        return true;
    };
    socket = std::make_unique<TkyAppHelpSocket>(form);
    EXPECT_TRUE(help(tk::HELP_QUIT, 0));
    const tk::THelpEvent installed = app.OnHelp;
    engine.clear();

    socket.reset();
    EXPECT_EQ(engine.commands(), std::vector<uint32_t>{HH_CLOSE_ALL});
    EXPECT_EQ(ActiveAppHelpSocket, nullptr);
    app.HelpCommand(tk::HELP_CONTENTS, 0);
    EXPECT_EQ(oldHandlerCalls, 1) << "the handler from before the socket is back";

    // A copy of the socket's handler kept elsewhere passes requests on.
    bool callHelp = true;
    installed(tk::HELP_CONTENTS, 0, callHelp);
    EXPECT_EQ(oldHandlerCalls, 2);
    EXPECT_EQ(engine.count(), 1);
}

TEST_F(SocketTest, ASecondSocketKeepsItsHookWhenTheFirstGoesFirst)
{
    auto second = std::make_unique<TkyAppHelpSocket>(form);
    socket.reset();
    engine.clear();
    second->HHDefaultTopic = "second.htm";
    EXPECT_TRUE(app.HelpCommand(tk::HELP_CONTENTS, 0));
    ASSERT_EQ(engine.shown().size(), 1u);
    EXPECT_EQ(engine.shown()[0]->file, "x.chm::/second.htm");
    second.reset();
}

TEST_F(SocketTest, TwoSocketsOnOneCallerStillReachItsOwnProcedure)
{
    const platform::HWND caller = window("TestCaller", [](platform::HWND, uint32_t, platform::WPARAM,
                                                          platform::LPARAM) -> platform::LRESULT { return 77; });
    socket->SetHHCaller(caller);
    socket->GetHHCaller();
    auto second = std::make_unique<TkyAppHelpSocket>(form);
    second->SetHHCaller(caller);
    second->GetHHCaller();
    EXPECT_EQ(platform::SendMessageA(caller, 0x0010, 0, 0), 77);
    second.reset();
}

TEST_F(SocketTest, AFormSocketServesTheFormsOwnHelpFile)
{
    tk::TForm& dialog = app.CreateForm<tk::TForm>(std::string("dlg"));
    dialog.HelpFile = "dialog.chm";
    auto formSocket = std::make_unique<TkyFormHelpSocket>(dialog);
    app.setActiveForm(&dialog);

    bool callHelp = true;
    EXPECT_FALSE(formSocket->HelpHook(tk::HELP_CONTENTS, 0, callHelp)) << "no application socket";
    EXPECT_TRUE(callHelp);
    EXPECT_EQ(desktop.messageBeeps.size(), 1u);

    formSocket->AppHelpSocket = socket.get();
    app.HelpFile = "Help.hlp";
    EXPECT_TRUE(app.HelpCommand(tk::HELP_CONTENTS, 0));
    ASSERT_EQ(engine.shown().size(), 1u);
    EXPECT_EQ(engine.shown()[0]->file, "dialog.chm");
    EXPECT_EQ(socket->GetHelpFile(), "dialog.chm") << "the active form's own file";

    socket.reset();
    EXPECT_EQ(formSocket->AppHelpSocket, nullptr) << "a destroyed socket is not left behind";
    formSocket.reset();
    app.setActiveForm(nullptr);
}

} // namespace
