// The compiled-help reader on the real "KPX Updater.chm", and on damaged
// copies of it.
#include "help/engine/chm/ChmFile.h"
#include "help/engine/chm/Search.h"
#include "help/engine/chm/Sitemap.h"

#include <gtest/gtest.h>

#include <fstream>
#include <iterator>
#include <random>

namespace {

const chm::ChmFile& helpFile()
{
    static std::string error;
    static const auto file = chm::ChmFile::open(KPX_TEST_CHM, error);
    if (!file)
        throw std::runtime_error(error);
    return *file;
}

std::string topicOf(const chm::SitemapEntry& entry)
{
    return chm::resolvePath("/", entry.local());
}

TEST(RealHelpFile, ContentsListTheChaptersAndEveryEntryLeadsToAStoredTopic)
{
    const chm::ChmFile& file = helpFile();
    std::vector<std::string> chapters;
    for (const auto& entry : file.contents()) {
        if (entry.level == 0)
            chapters.push_back(entry.name);
        EXPECT_TRUE(file.contains(topicOf(entry))) << entry.name;
    }
    EXPECT_EQ(chapters, (std::vector<std::string>{"About the M740-RT Updater", "The programming cable",
                                                  "Updating the instrument", "Messages and what to do",
                                                  "Troubleshooting", "The console front end kpx-update"}));
    for (const auto& entry : file.index())
        EXPECT_TRUE(file.contains(topicOf(entry))) << entry.name;
}

// The socket maps context ids through the side file, the engine through the
// compiled map: they must agree.
TEST(RealHelpFile, TheContextMapAgreesWithTheSideFile)
{
    const chm::ChmFile& file = helpFile();
    EXPECT_EQ(file.topicForContext(4242), "");
    std::ifstream ali(KPX_TEST_ALI);
    size_t lines = 0;
    for (std::string line; std::getline(ali, line); ++lines) {
        const auto eq = line.find('=');
        ASSERT_NE(eq, std::string::npos) << line;
        EXPECT_EQ(file.topicForContext(static_cast<uint32_t>(std::stoul(line.substr(0, eq)))),
                  "/" + line.substr(eq + 1));
    }
    EXPECT_EQ(lines, file.contextMap().size());
}

TEST(RealHelpFile, SearchFindsTheTopicsWithEveryWord)
{
    const auto index = chm::SearchIndex::build(helpFile());
    const auto hits = index.search("dialout");
    ASSERT_EQ(hits.size(), 1u);
    EXPECT_EQ(hits[0].path, "/troubleshooting.htm");
    EXPECT_EQ(hits[0].title, "Troubleshooting");
    EXPECT_EQ(index.search("DIALOUT usermod").size(), 1u);
    EXPECT_TRUE(index.search("dialout zzyzx").empty());
}

TEST(DamagedHelpFiles, GiveAClearErrorOrReadWhatIsThereButNeverCrash)
{
    std::string error;
    EXPECT_EQ(chm::ChmFile::open("/nonexistent/KPX Updater.chm", error), nullptr);
    EXPECT_EQ(error, "The help file does not exist.");
    EXPECT_EQ(chm::ChmFile::fromBytes({'<', 'h', 't', 'm', 'l', '>'}, error), nullptr);
    EXPECT_EQ(error, "The file is not a compiled help file.");

    std::ifstream in(KPX_TEST_CHM, std::ios::binary);
    const std::vector<uint8_t> bytes{std::istreambuf_iterator<char>(in), {}};
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
        (void)chm::SearchIndex::build(*file).search("port");
        return true;
    };
    size_t opened = 0;
    for (size_t cut = 0; cut < bytes.size(); cut += 1 + bytes.size() / 160)
        opened += tryCopy({bytes.begin(), bytes.begin() + static_cast<std::ptrdiff_t>(cut)}) ? 1u : 0u;
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
