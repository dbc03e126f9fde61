// Texts fitted to where they are shown: a status line too narrow for its
// text.
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

} // namespace
