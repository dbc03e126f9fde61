// The compiled-help reader on the real "KPX Updater.chm", and on damaged
// copies of it.
#include "help/engine/FileSpec.h"
#include "help/engine/chm/ChmFile.h"
#include "help/engine/chm/Html.h"
#include "help/engine/chm/Search.h"
#include "help/engine/chm/Sitemap.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <map>
#include <random>

namespace {

std::vector<uint8_t> readAll(const std::string& path)
{
    std::vector<uint8_t> bytes(std::filesystem::file_size(path));
    std::ifstream(path, std::ios::binary).read(reinterpret_cast<char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    return bytes;
}

class RealHelpFile : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        std::string error;
        file = chm::ChmFile::open(KPX_TEST_CHM, error).release();
        ASSERT_NE(file, nullptr) << error;
    }
    static void TearDownTestSuite()
    {
        delete file;
        file = nullptr;
    }
    static chm::ChmFile* file;
};
chm::ChmFile* RealHelpFile::file = nullptr;

// Everything a viewer does with a file; must neither crash nor hang.
void walk(const chm::ChmFile& f)
{
    (void)f.contents();
    (void)f.index();
    (void)f.binaryContents();
    (void)f.binaryIndex();
    (void)f.defaultTopic();
    for (const auto& name : f.files())
        (void)f.read(name);
    (void)chm::SearchIndex::build(f).search("port");
}

} // namespace

TEST_F(RealHelpFile, ContentsListsTheManualsChapters)
{
    const auto toc = file->contents();
    std::vector<std::string> top;
    for (const auto& e : toc)
        if (e.level == 0)
            top.push_back(e.name);
    EXPECT_EQ(top, (std::vector<std::string>{"About the M740-RT Updater", "The programming cable",
                                             "Updating the instrument", "Messages and what to do", "Troubleshooting",
                                             "The console front end kpx-update"}));
    auto window = std::find_if(toc.begin(), toc.end(), [](const auto& e) { return e.name == "The main window"; });
    ASSERT_NE(window, toc.end());
    EXPECT_EQ(window->level, 1);
    // Every contents entry leads to a stored topic.
    for (const auto& e : toc)
        EXPECT_TRUE(file->contains(chm::resolvePath("/", e.local()))) << e.local();
}

TEST_F(RealHelpFile, IndexEntriesLeadToTopics)
{
    const auto index = file->index();
    ASSERT_GE(index.size(), 30u);
    auto dialout = std::find_if(index.begin(), index.end(), [](const auto& e) { return e.name == "dialout group"; });
    ASSERT_NE(dialout, index.end());
    EXPECT_EQ(dialout->local(), "troubleshooting.htm#permission");
    for (const auto& e : index)
        EXPECT_TRUE(file->contains(chm::resolvePath("/", e.local()))) << e.name;
}

TEST_F(RealHelpFile, BinaryContentsAndIndexAgreeWithTheSitemaps)
{
    const auto text = file->contents();
    const auto binary = file->binaryContents();
    ASSERT_EQ(binary.size(), text.size());
    for (size_t i = 0; i < text.size(); ++i) {
        EXPECT_EQ(binary[i].name, text[i].name);
        EXPECT_EQ(binary[i].level, text[i].level) << text[i].name;
        EXPECT_EQ(chm::resolvePath("/", binary[i].local()), chm::resolvePath("/", text[i].local()));
    }
    std::map<std::string, std::string> textIndex, binaryIndex;
    for (const auto& e : file->index())
        textIndex[e.name] = chm::resolvePath("/", e.local());
    for (const auto& e : file->binaryIndex())
        binaryIndex[e.name] = chm::resolvePath("/", e.local());
    EXPECT_EQ(binaryIndex, textIndex);
}

TEST_F(RealHelpFile, SystemWindowAndContextMap)
{
    EXPECT_EQ(file->system().title, "M740-RT Updater Help");
    EXPECT_EQ(file->system().defaultWindow, "main");
    EXPECT_EQ(file->defaultTopic(), "/intro.htm");

    const chm::WindowDef* main = file->window("MAIN");
    ASSERT_NE(main, nullptr);
    EXPECT_EQ(main->caption, "M740-RT Updater Help");
    EXPECT_EQ(main->home, "intro.htm");
    EXPECT_EQ(main->toc, "toc.hhc");
    EXPECT_EQ(std::vector<int32_t>({main->left, main->top, main->right, main->bottom}),
              std::vector<int32_t>({60, 40, 960, 720}));
    EXPECT_EQ(main->navWidth, 240);
    EXPECT_EQ(file->window("nosuch"), nullptr);

    EXPECT_EQ(file->topicForContext(1000), "/intro.htm");
    EXPECT_EQ(file->topicForContext(1006), "/troubleshooting.htm");
    EXPECT_EQ(file->topicForContext(4242), "");

    // The side file beside the help file must say the same as the compiled map.
    std::ifstream ali(KPX_TEST_ALI);
    std::string line;
    int lines = 0;
    while (std::getline(ali, line)) {
        const auto eq = line.find('=');
        ASSERT_NE(eq, std::string::npos) << line;
        EXPECT_EQ(file->topicForContext(static_cast<uint32_t>(std::stoul(line.substr(0, eq)))),
                  "/" + line.substr(eq + 1));
        ++lines;
    }
    EXPECT_EQ(lines, static_cast<int>(file->contextMap().size()));
}

TEST_F(RealHelpFile, ReadsTopicsAndImages)
{
    auto png = file->read("/WIRING.PNG");
    ASSERT_TRUE(png.has_value());
    EXPECT_EQ(png->substr(1, 3), "PNG");
    EXPECT_EQ(chm::htmlTitle(file->read("/cable.htm").value_or("")), "The programming cable");
    EXPECT_FALSE(file->read("/missing.htm").has_value());
}

TEST_F(RealHelpFile, SearchFindsWords)
{
    const auto index = chm::SearchIndex::build(*file);
    auto hits = index.search("dialout");
    ASSERT_EQ(hits.size(), 1u);
    EXPECT_EQ(hits[0].path, "/troubleshooting.htm");
    EXPECT_EQ(hits[0].title, "Troubleshooting");

    EXPECT_TRUE(index.search("zzyzx").empty());
    EXPECT_TRUE(index.search("dialout zzyzx").empty()); // every word must occur
    EXPECT_EQ(index.search("DIALOUT usermod").size(), 1u);
    EXPECT_GE(index.search("dial*").size(), 1u);
    auto titles = index.search("troubleshooting", true);
    ASSERT_EQ(titles.size(), 1u);
    EXPECT_EQ(titles[0].path, "/troubleshooting.htm");
}

TEST(ChmFileErrors, MissingOrForeignFilesGiveAClearError)
{
    std::string error;
    EXPECT_EQ(chm::ChmFile::open("/nonexistent/KPX Updater.chm", error), nullptr);
    EXPECT_EQ(error, "The help file does not exist.");

    const auto dir = std::filesystem::temp_directory_path();
    EXPECT_EQ(chm::ChmFile::open(dir.string(), error), nullptr);
    EXPECT_FALSE(error.empty());

    const auto text = dir / "kpx_help_engine_not_chm.chm";
    std::ofstream(text) << "<html>not compiled</html>";
    EXPECT_EQ(chm::ChmFile::open(text.string(), error), nullptr);
    EXPECT_EQ(error, "The file is not a compiled help file.");
    std::filesystem::remove(text);

    EXPECT_EQ(chm::ChmFile::fromBytes({}, error), nullptr);
    EXPECT_EQ(error, "The file is not a compiled help file.");
}

TEST(ChmFileErrors, TruncatedCopiesFailCleanlyOrReadWhatIsThere)
{
    const auto bytes = readAll(KPX_TEST_CHM);
    ASSERT_GT(bytes.size(), 1000u);
    size_t opened = 0;
    for (size_t cut = 0; cut < bytes.size(); cut += 1 + bytes.size() / 160) {
        std::string error;
        auto f = chm::ChmFile::fromBytes({bytes.begin(), bytes.begin() + static_cast<std::ptrdiff_t>(cut)}, error);
        if (f) {
            ++opened;
            walk(*f);
        } else {
            EXPECT_FALSE(error.empty()) << "cut at " << cut;
        }
    }
    EXPECT_LT(opened, 160u); // short copies must be refused
}

TEST(ChmFileErrors, CorruptedCopiesFailCleanlyOrReadWhatIsThere)
{
    const auto bytes = readAll(KPX_TEST_CHM);
    std::mt19937 random(740);
    std::uniform_int_distribution<size_t> at(0, bytes.size() - 1);
    std::uniform_int_distribution<int> count(1, 8), value(0, 255);
    for (int round = 0; round < 150; ++round) {
        auto copy = bytes;
        // Half the rounds hit the headers and directory, where damage matters most.
        std::uniform_int_distribution<size_t> head(0, std::min<size_t>(copy.size() - 1, 0x1200));
        for (int n = count(random); n > 0; --n)
            copy[round % 2 ? head(random) : at(random)] = static_cast<uint8_t>(value(random));
        std::string error;
        if (auto f = chm::ChmFile::fromBytes(std::move(copy), error))
            walk(*f);
        else
            EXPECT_FALSE(error.empty());
    }
}

TEST(ChmText, SitemapToleratesSloppyMarkup)
{
    const auto entries = chm::parseSitemap(
        "<ul><li><object type=\"text/sitemap\"><param name=\"Name\" value=\"A &amp; B\">"
        "<param name=Local value=a.htm></object><UL><LI><OBJECT type='text/sitemap'>"
        "<param name=\"Name\" value=\"Key\"><param name=\"Name\" value=\"First\"><param name=\"Local\" value=\"1.htm\">"
        "<param name=\"Name\" value=\"Second\"><param name=\"Local\" value=\"2.htm\"></OBJECT>"
        "</ul></ul></ul><object type=\"text/sitemap\"><param name=\"Name\" value=\"unclosed\"");
    ASSERT_EQ(entries.size(), 2u);
    EXPECT_EQ(entries[0].name, "A & B");
    EXPECT_EQ(entries[0].local(), "a.htm");
    EXPECT_EQ(entries[1].level, 1);
    ASSERT_EQ(entries[1].links.size(), 2u);
    EXPECT_EQ(entries[1].links[1].title, "Second");
    EXPECT_EQ(entries[1].links[1].local, "2.htm");
    EXPECT_EQ(chm::htmlToText("<p>a</p><script>x<y</script>b&lt;&#67;&#x44;"), "a b<CD");
}

TEST(ChmText, PathsAndFileSpecs)
{
    EXPECT_EQ(chm::resolvePath("/dir/page.htm", "../img\\pic.png#x"), "/img/pic.png");
    EXPECT_EQ(chm::resolvePath("/page.htm", "../../../a.htm?q"), "/a.htm");
    EXPECT_EQ(chm::resolvePath("/a/b.htm", "/c.htm"), "/c.htm");

    auto s = kpxhelp::parseSpec("C:/help/x.chm::/intro.htm#top>main");
    EXPECT_EQ(s.file, "C:/help/x.chm");
    EXPECT_EQ(s.topic, "/intro.htm#top");
    EXPECT_EQ(s.window, "main");
    s = kpxhelp::parseSpec("mk:@MSITStore:a.chm>w>v");
    EXPECT_EQ(s.file, "a.chm");
    EXPECT_EQ(s.topic, "");
    EXPECT_EQ(s.window, "w>v");
    EXPECT_EQ(kpxhelp::parseSpec("ms-its:/h/KPX Updater.chm::/ports.htm").file, "/h/KPX Updater.chm");
}
