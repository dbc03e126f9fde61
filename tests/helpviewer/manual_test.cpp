// The operator's manual as each platform installs it, built from one set of
// sources: the same topics in both, each speaking of its own system only.
#include "helpviewer/chm/ChmFile.h"

#include <gtest/gtest.h>

#include <memory>
#include <set>
#include <string>
#include <vector>

namespace {

struct Text {
    std::string where;
    std::string words;
};

// Every page, and the contents' and index's entries, of a compiled manual.
std::vector<Text> textsOf(const chm::ChmFile& manual)
{
    std::vector<Text> texts;
    for (const std::string& name : manual.files())
        if (name.size() > 4 && name.compare(name.size() - 4, 4, ".htm") == 0)
            texts.push_back({name, manual.read(name).value_or("")});
    for (const auto& entry : manual.contents())
        texts.push_back({"contents", entry.name});
    for (const auto& entry : manual.index())
        texts.push_back({"index", entry.name});
    return texts;
}

TEST(ManualPerPlatform, EachPlatformsManualHasTheSameTopicsAndSpeaksOfItsOwnSystemOnly)
{
    struct Case {
        const char* platform;
        const char* file;
        std::vector<std::string> foreign; // words of the other system
        std::vector<std::string> own;     // words its own pages must bring
    };
    const std::vector<Case> cases = {
        {"linux", "/KPX Updater.chm",
         {"Windows", "Device Manager", "Start menu", "installer", "LOCALAPPDATA", ".exe", "Command Prompt"},
         {"/dev/ttyS0", "dialout", "KPX_COM1", "apt install", "/usr/share/kpx-updater"}},
        {"windows", "/windows/KPX Updater.chm",
         {"Linux", "/dev/", "dialout", "KPX_COM", "sudo", "udev", "fuser", "Debian", "/usr/"},
         {"Device Manager", "COM Port Number", "Start menu", "vendor's driver", "kpx-updater-setup.exe"}},
    };
    std::vector<std::set<std::string>> topics;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.platform);
        std::string error;
        const auto manual = chm::ChmFile::open(std::string(KPX_HELP_TEST_DIR) + c.file, error);
        ASSERT_NE(manual, nullptr) << error;
        EXPECT_EQ(manual->damage(), "");
        const std::vector<Text> texts = textsOf(*manual);
        std::set<std::string> pages;
        for (const Text& text : texts) {
            if (text.where.front() == '/')
                pages.insert(text.where);
            for (const std::string& word : c.foreign)
                EXPECT_EQ(text.words.find(word), std::string::npos) << text.where << " speaks of " << word;
        }
        for (const std::string& word : c.own) {
            bool found = false;
            for (const Text& text : texts)
                found = found || text.words.find(word) != std::string::npos;
            EXPECT_TRUE(found) << "nothing says " << word;
        }
        topics.push_back(pages);
    }
    EXPECT_EQ(topics.front(), topics.back()) << "the shared topics and the context map lead to the same pages";
    EXPECT_TRUE(topics.front().count("/ports.htm") && topics.front().count("/install.htm"));
}

} // namespace
