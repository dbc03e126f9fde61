// Code pages, word comparison, and full-text search on the index a file
// stores and on our own, which must agree.
#include "helpviewer/chm/Encoding.h"
#include "helpviewer/chm/Html.h"
#include "helpviewer/chm/Search.h"

#include "tests/helpviewer/HelpFiles.h"

#include <algorithm>
#include <map>
#include <set>

namespace {

std::unique_ptr<chm::ChmFile> openTestFile(const std::string& name) { return openHelpFile(testFile(name)); }

std::set<std::string> paths(const chm::SearchResult& r)
{
    std::set<std::string> out;
    for (const auto& h : r.hits)
        out.insert(h.path);
    return out;
}

TEST(CodePages, LanguagesAndLabelsNameTheRightCodePageAndBadBytesStayVisible)
{
    const std::pair<uint32_t, uint32_t> languages[] = {
        {0x0407, 1252}, {0x0409, 1252}, {0x0415, 1250}, {0x041A, 1250}, {0x0C1A, 1251}, {0x0419, 1251},
        {0x0408, 1253}, {0x041F, 1254}, {0x040D, 1255}, {0x0401, 1256}, {0x0426, 1257}, {0x042A, 1258},
        {0x041E, 874},  {0x0411, 932},  {0x0804, 936},  {0x1004, 936},  {0x0404, 950},  {0x0C04, 950},
        {0x0412, 949},  {0, 1252}};
    for (const auto& [lcid, codePage] : languages)
        EXPECT_EQ(chm::codePageForLcid(lcid), codePage) << std::hex << lcid;

    const std::pair<const char*, const char*> labels[] = {
        {"windows-1252", "CP1252"}, {" Windows-1250 ", "CP1250"}, {"iso-8859-1", "CP1252"}, {"utf-8", "UTF-8"},
        {"shift_jis", "CP932"},     {"gb2312", "CP936"},          {"big5", "CP950"},       {"euc-kr", "CP949"},
        {"koi8-r", "KOI8-R"},       {"no-such-charset", ""},      {"../../etc", ""},       {"", ""}};
    for (const auto& [label, encoding] : labels)
        EXPECT_EQ(chm::encodingForLabel(label), encoding) << label;

    EXPECT_EQ(chm::toUtf8("Gr\xF6\xDF" "e", "CP1252"), "Größe");
    EXPECT_EQ(chm::toUtf8("\xA3\xF3" "d\x9F", "CP1250"), "Łódź");
    EXPECT_EQ(chm::toUtf8("\xC1\xE8\xE1\xEB\xE8\xFF", "CP1251"), "Библия");
    EXPECT_EQ(chm::toUtf8("\x93\xFA\x96\x7B", "CP932"), "日本");
    EXPECT_EQ(chm::toUtf8("a\x81", "CP932"), "a\xEF\xBF\xBD") << "a lead byte without its trail";
    EXPECT_EQ(chm::toUtf8("a\xC3(b", "UTF-8"), "a\xEF\xBF\xBD(b");
    EXPECT_EQ(chm::toUtf8("\xC0\xAF", "UTF-8"), "\xEF\xBF\xBD\xEF\xBF\xBD") << "no overlong forms";
}

TEST(Folding, WordsCompareAsTheirReadersSpellThem)
{
    using chm::Folding;
    const struct {
        const char* a;
        const char* b;
        Folding folding;
        bool same;
    } cases[] = {
        {"Übung", "übung", Folding::Plain, true},   {"ÉTÉ", "été", Folding::Plain, true},
        {"ΣΟΦΙΑ", "σοφια", Folding::Plain, true},   {"ДОМ", "дом", Folding::Plain, true},
        {"Größe", "GRÖSSE", Folding::Plain, true},  {"Größe", "Groesse", Folding::Plain, false},
        {"Größe", "Groesse", Folding::German, true}, {"Grösse", "Größe", Folding::German, true},
        {"Maikäfer", "MAIKAEFER", Folding::German, true}, {"Bar", "Bär", Folding::German, false},
    };
    for (const auto& c : cases)
        EXPECT_EQ(chm::fold(c.a, c.folding) == chm::fold(c.b, c.folding), c.same) << c.a << " / " << c.b;
}

// The German file holds its words in a stored index that split them at
// every umlaut, and at underscores: so must a query, or an identifier such
// as LM_PAINT is never found. The file compiled without an index is searched
// with ours. Both must give the same topics.
TEST(Search, TheStoredIndexAndOursFindTheSameGermanTopics)
{
    const auto stored = openTestFile("deutsch.chm");
    const auto bare = openTestFile("ohne-index.chm");
    const auto storedIndex = chm::StoredIndex::open(*stored);
    ASSERT_NE(storedIndex, nullptr);
    EXPECT_EQ(chm::StoredIndex::open(*bare), nullptr);
    const auto ownOfStored = chm::OwnIndex::build(*stored);
    const auto own = chm::OwnIndex::build(*bare);

    using Paths = std::set<std::string>;
    const struct {
        const char* query;
        Paths found;
    } cases[] = {
        {"Größe", {"haupt.htm"}}, {"Groesse", {"haupt.htm"}}, {"strasse", {"zweit.htm"}},
        {"Maikäfer", {"zweit.htm"}}, // "Maikäfers" is another word
        {"maikäfer*", {"haupt.htm", "zweit.htm"}}, {"übung", {"haupt.htm", "zweit.htm"}},
        {"\"die Größe des\"", {"haupt.htm"}}, {"\"des die\"", {}},
        {"\"die Größe", {"haupt.htm"}}, // an unclosed quote ends with the query
        {"Maikäfer OR Meister", {"haupt.htm", "zweit.htm"}}, {"((meister", {"haupt.htm"}},
        {"übung AND NOT straße", {"haupt.htm"}}, {"übung NOT straße", {"haupt.htm"}},
        {"(Łódź OR Größe) polen", {"drei.htm"}}, {"łódź", {"drei.htm"}},
        {"LM_PAINT", {"stil.htm"}}, {"lm_paint", {"stil.htm"}}, {"\"lm paint\"", {"stil.htm"}},
        {"", {}}, {"*", {}},
    };
    for (const auto& c : cases) {
        chm::SearchResult fromStored = chm::search(*storedIndex, c.query, stored->folding(), false);
        if (fromStored.needsOwnIndex) // words the stored index cannot hold
            fromStored = chm::search(*ownOfStored, c.query, stored->folding(), false);
        EXPECT_EQ(paths(fromStored), c.found) << c.query;
        EXPECT_EQ(paths(chm::search(*own, c.query, bare->folding(), false)), c.found) << c.query;
    }
    EXPECT_FALSE(chm::search(*storedIndex, "LM_PAINT", stored->folding(), false).needsOwnIndex);
    // Titles only: "Übung" is in one title.
    EXPECT_EQ(paths(chm::search(*own, "übung", bare->folding(), true)), Paths{"zweit.htm"});
    EXPECT_EQ(chm::search(*storedIndex, "Größe", stored->folding(), false).hits.front().title, "Größe und Maße");
}

TEST(Search, TheLargeFilesStoredIndexRanksTopicsByMatches)
{
    const auto file = openTestFile("large.chm");
    const auto index = chm::StoredIndex::open(*file);
    ASSERT_NE(index, nullptr);
    EXPECT_EQ(paths(chm::search(*index, "alpha1234", file->folding(), false)), std::set<std::string>{"t1234.htm"});
    EXPECT_EQ(chm::search(*index, "\"serial port\"", file->folding(), false).hits.size(), 3000u);
    EXPECT_TRUE(chm::search(*index, "\"port serial\"", file->folding(), false).hits.empty());
    EXPECT_EQ(chm::search(*index, "group5 NOT alpha5", file->folding(), false).hits.size(), 30u);

    // Topics 5 and 102 have two of the words, the other 29 of group 5 one.
    const auto ranked = chm::search(*index, "alpha5 OR group5 OR alpha102", file->folding(), false);
    ASSERT_EQ(ranked.hits.size(), 31u);
    EXPECT_EQ((std::set<std::string>{ranked.hits[0].path, ranked.hits[1].path}),
              (std::set<std::string>{"t0005.htm", "t0102.htm"}));
    EXPECT_EQ(ranked.hits[1].score, 2u);
    EXPECT_EQ(ranked.hits[2].score, 1u);
    EXPECT_EQ(ranked.hits[0].title, "Topic 102");
}

// What the manual's readers type: English words, prefixes and phrases, which
// the file's stored index answers by itself. Our own index of the same file
// must find the same topics.
TEST(Search, TheManualsStoredIndexAnswersPrefixesAndPhrasesAsOurOwnIndexDoes)
{
    const auto file = openTestFile("KPX Updater.chm");
    const auto stored = chm::StoredIndex::open(*file);
    ASSERT_NE(stored, nullptr);
    const auto own = chm::OwnIndex::build(*file);
    const struct {
        const char* query;
        bool found;
    } cases[] = {
        {"verif*", true}, {"firm*", true}, {"adapt*", true}, {"sim*", true},
        {"\"check value\"", true}, {"\"level shifter\"", true}, {"\"value check\"", false},
        {"cab* AND \"serial port\"", true}, {"sim* OR \"level shifter\"", true},
    };
    for (const auto& c : cases) {
        const chm::SearchResult fromStored = chm::search(*stored, c.query, file->folding(), false);
        EXPECT_FALSE(fromStored.needsOwnIndex) << c.query;
        EXPECT_EQ(fromStored.hits.empty(), !c.found) << c.query;
        EXPECT_EQ(paths(fromStored), paths(chm::search(*own, c.query, file->folding(), false))) << c.query;
    }
}

TEST(Search, QueryTermsAreThePositiveWordsForMarking)
{
    const auto terms = chm::queryTerms("\"die Größe\" OR Maik* NOT Straße", chm::Folding::German);
    ASSERT_EQ(terms.size(), 3u);
    EXPECT_EQ(terms[0].folded, "die");
    EXPECT_EQ(terms[1].folded, "groesse");
    EXPECT_EQ(terms[2].folded, "maik");
    EXPECT_TRUE(terms[2].prefix);
    EXPECT_TRUE(chm::matchesTerm(chm::fold("Maikäfers", chm::Folding::German), terms));
    EXPECT_FALSE(chm::matchesTerm(chm::fold("Straße", chm::Folding::German), terms));
}

// The German file's stored index split its words at umlauts, so it holds
// "Käfer" only as "k" and "fer": the topics with a word starting with "k"
// are read, and the word itself is counted ("Käferbein" and "kein" are not).
// (A word held whole beside words starting alike: the viewer's café test.)
TEST(Search, AnAccentedWordCountsOnlyWhereItStands)
{
    const auto german = openTestFile("deutsch.chm");
    const auto index = chm::StoredIndex::open(*german);
    ASSERT_NE(index, nullptr);
    const auto beetle = chm::search(*index, "Käfer", german->folding(), false);
    ASSERT_FALSE(beetle.needsOwnIndex);
    ASSERT_EQ(paths(beetle), std::set<std::string>{"stil.htm"});
    EXPECT_EQ(beetle.hits.front().score, 1u);
    chm::Cancel stop{true};
    EXPECT_TRUE(chm::search(*index, "Käfer", german->folding(), false, &stop).cancelled);
}

// The real file's stored index against a plain scan of its pages' text,
// for the pages of one unit (a search of all 20,000 would take too long
// for a test), by words of several kinds.
TEST(RealFile, SearchFindsTheTopicsAPlainTextScanFinds)
{
    SKIP_WITHOUT_REAL_HELP_FILE();
    const auto file = openHelpFile(kRealHelpFile);
    const auto index = chm::StoredIndex::open(*file);
    ASSERT_NE(index, nullptr);
    std::vector<std::string> unit;
    for (const auto& topic : file->topics())
        if (topic.rfind("/graphics/", 0) == 0)
            unit.push_back(topic);
    ASSERT_GT(unit.size(), 500u);
    const std::vector<std::string> words{"tbitmap", "transparent", "pixelformat", "canvas", "loadfromfile"};
    std::map<std::string, std::set<std::string>> scanned;
    for (const auto& topic : file->inStoredOrder(unit)) {
        const auto html = file->read(topic);
        ASSERT_TRUE(html) << topic;
        const std::string utf8 = chm::htmlToUtf8(*html, file->encoding());
        for (const std::string& text : {chm::htmlTitle(utf8), chm::htmlToText(utf8)})
            chm::forEachWord(text, [&](std::string_view w, size_t, size_t) {
                const std::string folded = chm::fold(w, file->folding());
                if (std::find(words.begin(), words.end(), folded) != words.end())
                    scanned[folded].insert(topic.substr(1));
            });
    }
    for (const auto& word : words) {
        std::set<std::string> found;
        for (const auto& p : paths(chm::search(*index, word, file->folding(), false)))
            if (p.rfind("graphics/", 0) == 0)
                found.insert(p);
        EXPECT_FALSE(found.empty()) << word;
        EXPECT_EQ(found, scanned[word]) << word;
    }
}

} // namespace
