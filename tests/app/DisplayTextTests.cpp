// Texts fitted to where they are shown: a status line too narrow for its
// text, and the usage in a message box that wraps lines itself.
#include "app/startup/Startup.h"
#include "toolkit/Elide.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

TEST(ElideText, APathGivesWayInItsMiddleSoTheFileNameAndTheReasonStayVisible)
{
    const std::string path = "C:\\users\\technician\\Desktop\\KPXUpdate517.hex";
    struct Case {
        std::string text;
        std::string place;
        int room; // in characters: each is one pixel wide here
        std::string shown;
    };
    const std::vector<Case> cases = {
        {"Firmware: " + path, path, 100, "Firmware: " + path},
        {"Firmware: " + path, path, 40, "Firmware: C:\\us...sktop\\KPXUpdate517.hex"},
        {"Firmware: " + path, path, 30, "Firmware: ...\\KPXUpdate517.hex"},
        // What follows the path stays too.
        {"Firmware refused: line 2: checksum 3F, expected 40 (" + path + ")", path, 75,
         "Firmware refused: line 2: checksum 3F, expected 40 (C...p\\KPXUpdate517.hex)"},
        // Too narrow even for the name: its end, the file's type, is kept.
        {"Firmware: " + path, path, 22, "Firmware: ...te517.hex"},
        // Not even that: the text loses its end.
        {"Firmware: " + path, path, 12, "Firmware:..."},
        // Without a place, or one the text does not hold, the end goes.
        {"Getting Device Infomation", "", 10, "Getting..."},
        {"Getting Device Infomation", path, 10, "Getting..."},
        {"Update Complete!", path, 2, "..."},
    };
    const tk::TextWidth characters = [](const std::string& text) { return static_cast<int>(text.size()); };
    for (const Case& c : cases) {
        const std::string shown = tk::ElideText(c.text, c.place, c.room, characters);
        EXPECT_EQ(shown, c.shown) << c.text << " in " << c.room;
        EXPECT_LE(static_cast<int>(shown.size()), std::max(c.room, 3));
    }
}

TEST(BoxText, ParagraphsAndTableRowsBecomeOneLineEach)
{
    const std::string terminal = "Usage: tool [--x]\n"
                                 "\n"
                                 "Does one thing and\n"
                                 "another.\n"
                                 "  C:\\Program Files\\Tool\n"
                                 "  --x FILE      use FILE instead of the\n"
                                 "                usual one\n"
                                 "  short         what it does\n"
                                 "Ports: one\n"
                                 "two.\n";
    EXPECT_EQ(startup::boxText(terminal), "Usage: tool [--x]\n"
                                          "\n"
                                          "Does one thing and another.\n"
                                          "C:\\Program Files\\Tool\n"
                                          "--x FILE: use FILE instead of the usual one\n"
                                          "short: what it does\n"
                                          "Ports: one two.\n");

    // The window's own usage keeps every word, and no sentence is broken.
    const std::string usage = startup::windowUsage("kpx-updater");
    const std::string box = startup::boxText(usage);
    const auto words = [](const std::string& text) {
        std::string all;
        for (char c : text)
            if (c != ' ' && c != '\n' && c != ':')
                all += c;
        return all;
    };
    EXPECT_EQ(words(box), words(usage));
    for (const char* line : {"Rewrites the program memory of an M740-RT. Pick the serial port in the window, press "
                             "\"Update!\" and follow the prompts.",
                             "--firmware FILE: program FILE instead\n", "--help: show this text\n",
                             "normal: the right instrument, unlocked, answering at once\n"})
        EXPECT_NE(box.find(line), std::string::npos) << line << " in\n" << box;
}

} // namespace
