// Context ids to topic paths and popup texts: the line format, the side files
// beside the help file and their lazy reading, and the text popup.
#include "tests/help/HelpTestSupport.h"

#include <gtest/gtest.h>

#include <optional>
#include <tuple>

namespace {

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
