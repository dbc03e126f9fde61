// The compiled-help reader on files chmcmd compiled for these tests (each
// platform's manual, a German file in Windows-1252) and on damaged copies.
// (The real file's tables: the viewer's test of its panes.)
#include "tests/helpviewer/HelpFiles.h"

#include "helpviewer/chm/Html.h"
#include "helpviewer/chm/Search.h"
#include "helpviewer/chm/Sitemap.h"

#include <algorithm>
#include <fstream>
#include <iterator>
#include <map>
#include <random>
#include <set>

namespace {

std::vector<std::string> names(const std::vector<chm::SitemapEntry>& entries)
{
    std::vector<std::string> out;
    for (const auto& e : entries)
        out.push_back(std::string(static_cast<size_t>(e.level) * 2, ' ') + e.name);
    return out;
}

std::string topicOf(const chm::SitemapEntry& entry) { return chm::resolvePath("/", entry.local()); }

// Each platform's manual, built from one set of sources: the same topics,
// every entry leading to a stored page, and each speaking of its own system
// only. The socket maps context ids through the side file, the engine
// through the compiled map: they must agree.
TEST(Manual, EachPlatformsManualHasTheSameTopicsAndSpeaksOfItsOwnSystemOnly)
{
    const struct {
        const char* file;
        std::vector<std::string> foreign; // words of the other system
        std::vector<std::string> own;     // words its own pages must bring
    } cases[] = {
        {"KPX Updater.chm",
         {"Windows", "Device Manager", "Start menu", "installer", "LOCALAPPDATA", ".exe", "Command Prompt"},
         {"/dev/ttyS0", "dialout", "KPX_COM1", "apt install", "/usr/share/kpx-updater"}},
        {"windows/KPX Updater.chm",
         {"Linux", "/dev/", "dialout", "KPX_COM", "sudo", "udev", "fuser", "Debian", "/usr/"},
         {"Device Manager", "COM Port Number", "Start menu", "vendor's driver", "kpx-updater-setup.exe"}},
    };
    std::vector<std::set<std::string>> topics;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.file);
        const auto manual = openHelpFile(testFile(c.file));
        EXPECT_EQ(manual->damage(), "");
        std::vector<std::pair<std::string, std::string>> texts; // where, words
        std::set<std::string> pages;
        for (const std::string& name : manual->files())
            if (name.size() > 4 && name.compare(name.size() - 4, 4, ".htm") == 0) {
                texts.emplace_back(name, manual->read(name).value_or(""));
                pages.insert(name);
            }
        for (const auto& entries : {manual->contents(), manual->index()})
            for (const auto& entry : entries) {
                EXPECT_TRUE(manual->contains(topicOf(entry))) << entry.name;
                texts.emplace_back("an entry", entry.name);
            }
        for (const auto& [where, words] : texts)
            for (const std::string& word : c.foreign)
                EXPECT_EQ(words.find(word), std::string::npos) << where << " speaks of " << word;
        for (const std::string& word : c.own)
            EXPECT_TRUE(std::any_of(texts.begin(), texts.end(),
                                    [&](const auto& text) { return text.second.find(word) != std::string::npos; }))
                << "nothing says " << word;
        topics.push_back(pages);

        EXPECT_EQ(manual->topicForContext(4242), "");
        std::ifstream ali(KPX_TEST_ALI);
        size_t lines = 0;
        for (std::string line; std::getline(ali, line); ++lines) {
            const auto eq = line.find('=');
            ASSERT_NE(eq, std::string::npos) << line;
            EXPECT_EQ(manual->topicForContext(static_cast<uint32_t>(std::stoul(line.substr(0, eq)))),
                      chm::resolvePath("/", line.substr(eq + 1)));
        }
        EXPECT_EQ(lines, manual->contextMap().size());
    }
    EXPECT_EQ(topics.front(), topics.back());
    EXPECT_TRUE(topics.front().count("/ports.htm") && topics.front().count("/install.htm"));
}

// Every string of the file's tables is in Windows-1252 because the file is
// German; one page title the compiler copied is UTF-8 because its page is.
// (The caption, panes, links' titles and pages as shown: the viewer's tests.)
TEST(GermanFile, EveryTableReadsInTheFilesCodePage)
{
    const auto file = openHelpFile(testFile("deutsch.chm"));
    EXPECT_EQ(file->system().title, "Hilfe für Größen");
    const std::vector<std::string> contents{"Größe", "  Übung auf der Straße", "Dritte Seite", "Nach draußen"};
    EXPECT_EQ(names(file->contents()), contents);
    EXPECT_EQ(names(file->binaryContents()), contents);
    std::map<std::string, std::string> titles;
    for (const auto& t : file->topicTable())
        titles.emplace(t.local, t.title);
    EXPECT_EQ(titles["zweit.htm"], "Zweite Seite: Übung");
    EXPECT_EQ(titles["draussen.htm"], "Nach draußen");
}

std::vector<uint8_t> bytesOf(const std::string& name)
{
    std::ifstream in(testFile(name), std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
}

TEST(DamagedFiles, AreOpenedWithANoticeOrRefusedWithAReasonButNeverCrash)
{
    std::string error;
    EXPECT_EQ(chm::ChmFile::open("/nonexistent/KPX Updater.chm", error), nullptr);
    EXPECT_EQ(error, "The help file does not exist.");
    EXPECT_EQ(chm::ChmFile::fromBytes({'<', 'h', 't', 'm', 'l', '>'}, error), nullptr);
    EXPECT_EQ(error, "The file is not a compiled help file.");

    // Every length cut short and bytes changed anywhere: refused with a
    // reason, or walked without a crash. (The notice each damage gives: the
    // viewer's test of the real file's damaged copies.)
    const std::vector<uint8_t> bytes = bytesOf("KPX Updater.chm");
    const auto tryCopy = [](std::vector<uint8_t> copy) {
        std::string why;
        const auto file = chm::ChmFile::fromBytes(std::move(copy), why);
        if (!file) {
            EXPECT_FALSE(why.empty());
            return false;
        }
        // Everything a viewer does with a file.
        (void)file->contents();
        (void)file->index();
        (void)file->binaryContents();
        (void)file->binaryIndex();
        for (const auto& name : file->files())
            (void)file->read(name);
        if (auto stored = chm::StoredIndex::open(*file))
            (void)chm::search(*stored, "port* OR \"serial port\" NOT cable", file->folding(), false);
        (void)chm::search(*chm::OwnIndex::build(*file), "port", file->folding(), false);
        return true;
    };
    size_t opened = 0;
    for (size_t cutAt = 0; cutAt < bytes.size(); cutAt += 1 + bytes.size() / 160)
        opened += tryCopy({bytes.begin(), bytes.begin() + static_cast<std::ptrdiff_t>(cutAt)}) ? 1u : 0u;
    EXPECT_LT(opened, 160u) << "short copies are refused";

    std::mt19937 random(740);
    std::uniform_int_distribution<size_t> anywhere(0, bytes.size() - 1), head(0, 0x1200);
    std::uniform_int_distribution<int> count(1, 8), value(0, 255);
    for (int round = 0; round < 150; ++round) {
        auto copy = bytes;
        // Half the rounds hit the headers and directory, where damage matters most.
        for (int n = count(random); n > 0; --n)
            copy[round % 2 ? head(random) : anywhere(random)] = static_cast<uint8_t>(value(random));
        tryCopy(std::move(copy));
    }
}

} // namespace
