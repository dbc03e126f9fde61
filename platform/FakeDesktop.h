// A desktop for tests: the cursor and the work area are whatever the test
// sets, and beeps, cursor changes and shell opens are recorded instead of
// reaching the speaker or a browser.
#pragma once

#include "platform/Desktop.h"

#include <string>
#include <vector>

namespace platform {

class FakeDesktop final : public Desktop {
public:
    struct BeepCall {
        uint32_t frequency;
        uint32_t durationMs;
        bool operator==(const BeepCall&) const = default;
    };

    POINT cursor{0, 0};
    RECT area{0, 0, 1024, 768};
    // What shellOpen answers.
    bool shellSucceeds = true;

    std::vector<BeepCall> beeps;
    std::vector<uint32_t> messageBeeps;
    std::vector<HCURSOR> cursorsSet;
    std::vector<std::string> opened;

    POINT cursorPos() override { return cursor; }
    void setCursor(HCURSOR value) override { cursorsSet.push_back(value); }
    RECT workArea() override { return area; }
    void beep(uint32_t frequency, uint32_t durationMs) override { beeps.push_back({frequency, durationMs}); }
    void messageBeep(uint32_t type) override { messageBeeps.push_back(type); }
    bool shellOpen(const std::string& file) override
    {
        opened.push_back(file);
        return shellSucceeds;
    }
};

} // namespace platform
