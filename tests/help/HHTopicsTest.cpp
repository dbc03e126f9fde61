// Context ids to topic paths and popup texts: the line format, the side
// files beside the help file and their lazy reading, and the text popup.
#include "help/Hhpack.h"
#include "platform/Window.h"
#include "tests/help/HelpTestSupport.h"

#include <gtest/gtest.h>

namespace {

using help_test::HelpFixture;

std::string find(const TStrings& lines, int32_t id)
{
    return TkyAppHelpSocket::FindStringByID(lines, id);
}

TEST(FindStringByID, EveryLineFormat)
{
    EXPECT_EQ(find({"  1000 = intro.htm  "}, 1000), "intro.htm");
    EXPECT_EQ(find({"1000=intro.htm"}, 1000), "intro.htm");
    EXPECT_EQ(find({"1000 intro.htm"}, 1000), "intro.htm");
    EXPECT_EQ(find({"1001=Press Update to start"}, 1001), "Press Update to start");
    EXPECT_EQ(find({"1002 a=b"}, 1002), "a b") << "only the first '=' is a separator";
    EXPECT_EQ(find({"", "word", "7 first", "7 second"}, 7), "first");
    EXPECT_EQ(find({"1003=", "1003 later"}, 1003), "") << "an empty match ends the search";
    EXPECT_EQ(find({"-5 minus", "+6 plus", "0007 zeros"}, -5), "minus");
    EXPECT_EQ(find({"+6 plus"}, 6), "plus");
    EXPECT_EQ(find({"0007 zeros"}, 7), "zeros");
    EXPECT_EQ(find({"1000\tintro.htm", "1000 b"}, 1000), "b") << "a tab separates nothing";
    EXPECT_EQ(find({"1 a", "2 b"}, 3), "");
    EXPECT_EQ(find({"1 a", "; notes"}, 1), "a") << "lines after the match are not read";
}

TEST(FindStringByID, ANonIntegerKeyAheadOfTheMatchFailsTheLookup)
{
    for (const TStrings& lines : {TStrings{"; notes", "1000 intro.htm"}, TStrings{"1000\tintro.htm more"},
                                  TStrings{"2147483648 big"}, TStrings{"- x"}, TStrings{"0x10 hex"}}) {
        try {
            find(lines, 1000);
            ADD_FAILURE() << lines[0];
        } catch (const EConvertError& error) {
            const std::string key = lines[0].substr(0, lines[0].find(' '));
            EXPECT_NE(std::string(error.what()).find("'" + key + "'"), std::string::npos) << error.what();
        }
    }
    EXPECT_EQ(find({"-2147483648 min"}, INT32_MIN), "min");
}

TEST(HHTopicsLines, SplitAsTheStringListReadsAFile)
{
    EXPECT_EQ(TkyHHTopics::SplitLines("a\r\nb\nc\rd"), (TStrings{"a", "b", "c", "d"}));
    EXPECT_EQ(TkyHHTopics::SplitLines("a\n\nb\n"), (TStrings{"a", "", "b"}));
    EXPECT_EQ(TkyHHTopics::SplitLines(""), TStrings{});
    EXPECT_EQ(TkyHHTopics::SplitLines("\r\n"), TStrings{""});
}

TEST(FontStyleToStr, WordsInOrderWithTheirSpelling)
{
    EXPECT_EQ(TkyAppHelpSocket::FontStyleToStr(0), "");
    EXPECT_EQ(TkyAppHelpSocket::FontStyleToStr(fsBold | fsItalic), ", bold italic");
    EXPECT_EQ(TkyAppHelpSocket::FontStyleToStr(fsStrikeOut | fsUnderline | fsItalic | fsBold),
              ", bold italic underline srikeout");
}

class TopicsTest : public HelpFixture {
protected:
    TopicsTest()
        : form(app.CreateForm<tk::TForm>(std::string("frmMain")))
    {
    }

    // As the main window does it: the socket first, the help file later.
    void createSocket(bool designTime = false)
    {
        socket = std::make_unique<TkyAppHelpSocket>(form, designTime);
        app.HelpFile = (folder / "KPX Updater.chm").string();
    }

    ~TopicsTest() override { socket.reset(); }

    tk::TForm& form;
    std::unique_ptr<TkyAppHelpSocket> socket;
};

TEST_F(TopicsTest, SideFilesBesideTheHelpFileAreReadAtTheFirstLookup)
{
    const std::string ali = writeFile("KPX Updater.ali", "1000=intro.htm\r\n1001 = port.htm\r\n");
    writeFile("KPX Updater.pup", "1001=Press Update to start\n");
    createSocket();
    EXPECT_EQ(socket->HHAliases->TextFile(), "") << "the help file was not known yet";
    EXPECT_EQ(socket->GetDefaultTextFile("ali"), ali);

    EXPECT_EQ(socket->GetHTMLFileByID(1001), "port.htm");
    EXPECT_TRUE(socket->HHAliases->Loaded());
    EXPECT_EQ(socket->HHAliases->TextFile(), ali);
    EXPECT_EQ(socket->GetPopupTextByID(1001), "Press Update to start");

    // Read once: a later change of the file is not seen.
    writeFile("KPX Updater.ali", "1001 other.htm\n");
    EXPECT_EQ(socket->GetHTMLFileByID(1001), "port.htm");
    // Setting the same name again reads it again.
    socket->HHAliases->SetTextFile(ali);
    EXPECT_EQ(socket->GetHTMLFileByID(1001), "other.htm");
}

TEST_F(TopicsTest, EventsGoBeforeStringsAndStringsBeforeTheFile)
{
    writeFile("KPX Updater.ali", "1 file.htm\n2 file.htm\n3 file.htm\n");
    createSocket();
    socket->HHAliases->SetStrings({"2 strings.htm", "3="});
    socket->OnHHGetAlias = [](int32_t id, std::string& text) {
        if (id == 1 || id == 2)
            text = id == 1 ? "event.htm" : "";
    };
    EXPECT_EQ(socket->GetHTMLFileByID(1), "event.htm");
    EXPECT_EQ(socket->GetHTMLFileByID(2), "strings.htm");
    EXPECT_EQ(socket->GetHTMLFileByID(3), "file.htm") << "an empty entry asks the next source";
    EXPECT_EQ(socket->GetHTMLFileByID(4), "");
}

TEST_F(TopicsTest, NoDefaultFileForAnUpperCaseExtension)
{
    writeFile("Help.pup", "1 text\n");
    createSocket();
    app.HelpFile = (folder / "Help.CHM").string();
    EXPECT_EQ(socket->GetDefaultTextFile("pup"), "");
    EXPECT_EQ(socket->GetPopupTextByID(1), "");
    EXPECT_EQ(socket->GetHelpEngine(), heHtmlHelp);
}

TEST_F(TopicsTest, AnUnreadableFileIsReportedAtEachAttemptAndTheProgramGoesOn)
{
    createSocket();
    const std::string missing = (folder / "gone.ali").string();
    socket->HHAliases->SetTextFile(missing);
    ASSERT_EQ(backend.dialogs.size(), 1u);
    EXPECT_EQ(backend.dialogs[0].text, "Unable to open " + missing + " file.");
    EXPECT_EQ(backend.dialogs[0].kind, tk::TMsgDlgType::mtError);
    EXPECT_EQ(backend.dialogs[0].buttons, tk::mbCancel);

    // Under WinHelp every lookup tries again.
    app.HelpFile = "Help.hlp";
    EXPECT_EQ(socket->GetHTMLFileByID(1), "");
    EXPECT_EQ(socket->GetHTMLFileByID(1), "");
    EXPECT_EQ(backend.dialogs.size(), 3u);
    EXPECT_FALSE(socket->HHAliases->Loaded());

    // A folder by the name is no file either; the old lines stay when the name is the same.
    std::filesystem::create_directory(folder / "dir.pup");
    socket->HHPopupTopics->SetStrings({});
    socket->HHPopupTopics->SetTextFile((folder / "dir.pup").string());
    EXPECT_EQ(backend.dialogs.size(), 4u);
}

TEST_F(TopicsTest, ACommentLineFailsTheHelpRequest)
{
    writeFile("KPX Updater.ali", "; notes\n1000 intro.htm\n");
    createSocket();
    EXPECT_THROW(socket->ShowTopicByID(1000), EConvertError);
    EXPECT_EQ(engine.count(), 0);
    EXPECT_EQ(socket->CurrentFile(), "");
}

TEST_F(TopicsTest, PopupTextCarriesTheFontColoursAndMargins)
{
    createSocket();
    TkyHHFont font;
    font.Name = "MS Sans Serif";
    font.SetHeight(-11);
    font.Color = clWindowText;
    font.Style = fsBold | fsUnderline;
    socket->HHPopupWindow->SetFont(font);
    socket->HHPopupWindow->BackgroundColor = 0x00FFFFE0;
    socket->HHPopupWindow->RcMargins.Left = 4;
    socket->HHPopupTopics->SetStrings({"1001=Press Update to start"});
    desktop.cursor = {300, 400};

    socket->PopupTextByID(NoPopupPos, 1001);
    ASSERT_EQ(engine.count(), 1);
    const RecordedHelpCall& call = engine.call(0);
    EXPECT_EQ(call.command, HH_DISPLAY_TEXT_POPUP);
    EXPECT_EQ(call.caller, platform::GetDesktopWindow());
    EXPECT_EQ(call.file, "");
    ASSERT_TRUE(call.hasPopup);
    EXPECT_EQ(call.popup.cbStruct, static_cast<int32_t>(sizeof(HH_POPUP)));
    EXPECT_EQ(call.popup.idString, 0u);
    EXPECT_EQ(call.popupText, "Press Update to start");
    EXPECT_EQ(call.popupFont, "MS Sans Serif, 8, 1, bold underline");
    EXPECT_EQ(call.popup.pt.x, 300);
    EXPECT_EQ(call.popup.pt.y, 415);
    EXPECT_EQ(call.popup.clrForeground, 0xFF000008u);
    EXPECT_EQ(call.popup.clrBackground, 0x00FFFFE0u);
    EXPECT_EQ(call.popup.rcMargins.left, 4);
    EXPECT_EQ(call.popup.rcMargins.top, -1);
    EXPECT_EQ(desktop.cursorsSet, std::vector<platform::HCURSOR>{platform::IDC_ARROW});

    // A pending position wins over the cursor and is used once; an id
    // without text still shows a popup.
    bool callHelp = true;
    socket->HelpHook(tk::HELP_SETPOPUP_POS, (50 << 16) | 40, callHelp);
    socket->PopupTextByID({-1, 7}, 999);
    socket->PopupTextByID({10, 20}, 999);
    ASSERT_EQ(engine.count(), 3);
    EXPECT_EQ(engine.call(1).popup.pt.x, 40);
    EXPECT_EQ(engine.call(1).popup.pt.y, 65);
    EXPECT_EQ(engine.call(1).popupText, "");
    EXPECT_EQ(engine.call(2).popup.pt.x, 10);
    EXPECT_EQ(engine.call(2).popup.pt.y, 20);
}

TEST_F(TopicsTest, NoStringResourcesHere)
{
    createSocket();
    socket->HHPopupTopics->SetStrings({"5 from the table"});
    socket->HHPopupsSource = psResourceFile;
    EXPECT_EQ(socket->GetPopupTextByID(5), "");
}

TEST_F(TopicsTest, NothingIsReadAtDesignTime)
{
    writeFile("KPX Updater.ali", "1 a.htm\n");
    app.HelpFile = (folder / "KPX Updater.chm").string();
    socket = std::make_unique<TkyAppHelpSocket>(form, true);
    EXPECT_EQ(socket->HHAliases->TextFile(), (folder / "KPX Updater.ali").string());
    EXPECT_TRUE(socket->HHAliases->FileLines().empty());
    EXPECT_FALSE(app.OnHelp) << "nor hooked";
    socket.reset();
    EXPECT_EQ(engine.count(), 0) << "nor closed";
}

} // namespace
