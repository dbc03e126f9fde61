// The viewer as a reader uses it on files this project did not write (the
// Lazarus component library reference that Debian's lazarus-doc-2.2 ships,
// which scripts/setup installs) and on small files made for one behaviour:
// typing in the index, marks in topics opened from the results, printed
// text size, lines a style keeps whole, Back across files, Locate, Topics
// Found, captions and damaged copies.
#include "tests/helpviewer/RealHelpFile.h"
#include "tests/helpviewer/ViewerTest.h"

#include "helpviewer/chm/ChmFile.h"
#include "helpviewer/chm/Html.h"
#include "helpviewer/chm/Sitemap.h"

#include <QAction>
#include <QDialog>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPrintDialog>
#include <QPrinter>
#include <QProcess>
#include <QPushButton>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QTest>
#include <QTextBlock>
#include <QTextLayout>
#include <QTreeView>

#include <filesystem>
#include <fstream>
#include <iterator>

namespace {

const std::string german = std::string(KPX_HELP_TEST_DIR) + "/deutsch.chm";
const std::string large = std::string(KPX_HELP_TEST_DIR) + "/large.chm";

QStringList marked(const QTextBrowser* browser)
{
    QStringList out;
    for (const auto& mark : browser->extraSelections())
        out << mark.cursor.selectedText();
    return out;
}

// Every row of a tree, depth first, indented two blanks a level.
void treeRows(const QAbstractItemModel* model, const QModelIndex& parent, int level, std::vector<std::string>& out)
{
    for (int r = 0; r < model->rowCount(parent); ++r) {
        const QModelIndex item = model->index(r, 0, parent);
        out.push_back(std::string(static_cast<size_t>(level) * 2, ' ') + item.data().toString().toStdString());
        treeRows(model, item, level + 1, out);
    }
}

std::vector<std::string> sitemapRows(const std::vector<chm::SitemapEntry>& entries, int indent)
{
    std::vector<std::string> out;
    for (const auto& e : entries)
        out.push_back(std::string(static_cast<size_t>(e.level * indent), ' ') + e.name);
    return out;
}

} // namespace

class Viewer : public EnginePlugin {
protected:
    platform::HWND show(const std::string& file, const std::string& topic)
    {
        const platform::HWND h = call(file + "::/" + topic, HH_DISPLAY_TOPIC);
        browser = part<QTextBrowser>(h, "topic");
        return h;
    }
    std::string shownPath() const { return browser ? browser->source().path().toStdString() : std::string(); }
    QTextBrowser* browser = nullptr;
};

// ---- on small files made for the purpose ----

// Marked as the file's language spells the word: "grösse" is "Größe".
TEST_F(Viewer, SearchHitsAreMarkedInATopicOpenedFromTheResults)
{
    const platform::HWND h = show(german, "zweit.htm");
    auto* query = part<QLineEdit>(h, "searchQuery");
    auto* results = part<QAbstractItemView>(h, "searchResults");
    query->setText(QStringLiteral("grösse"));
    emit query->returnPressed();
    ASSERT_EQ(answered(results), QStringList{"Größe und Maße"});
    activate(results, 0); // another topic than the one shown
    EXPECT_EQ(shownPath(), "/haupt.htm");
    EXPECT_EQ(marked(browser), (QStringList{"Größe", "Größe"})); // heading and text
    // A topic reached otherwise is not marked.
    show(german, "zweit.htm");
    EXPECT_TRUE(marked(browser).isEmpty());

    // The file's index split "übung" at its umlaut: our own index answers.
    query->setText(QStringLiteral("übung"));
    emit query->returnPressed();
    EXPECT_EQ(answered(results), (QStringList{"Zweite Seite: Übung", "Größe und Maße"}));
}

// The search answers on a worker thread: the request returns before the
// answer, which then counts the word itself, not every word starting alike.
TEST_F(Viewer, AnAccentedQueryIsAnsweredOffTheWindowsThreadWithItsOwnCounts)
{
    HH_FTS_QUERY query{static_cast<int32_t>(sizeof(HH_FTS_QUERY)), 0, "café", -1, 0, 0, 1, nullptr};
    const platform::HWND h = call(large, HH_DISPLAY_SEARCH, reinterpret_cast<uintptr_t>(&query));
    auto* results = part<QAbstractItemView>(h, "searchResults");
    auto* stop = part<QPushButton>(h, "stopSearch");
    ASSERT_NE(stop, nullptr);
    EXPECT_EQ(rows(results), QStringList{"Searching..."}) << "answered on the window's thread";
    EXPECT_TRUE(stop->isEnabled());
    ASSERT_EQ(answered(results).size(), 10) << rows(results).join(u'|').toStdString();
    for (int r = 0; r < 10; ++r)
        EXPECT_EQ(results->model()->index(r, 0).data(Qt::ToolTipRole).toString(), QStringLiteral("1 match(es)"));
    EXPECT_FALSE(stop->isEnabled());
}

TEST_F(Viewer, PrintedTextHasTheSizeItHasOnTheScreen)
{
    const QString pdftotext = QStandardPaths::findExecutable(QStringLiteral("pdftotext"));
    if (pdftotext.isEmpty())
        GTEST_SKIP() << "pdftotext is not installed: scripts/setup installs it with poppler-utils";
    const platform::HWND h = show(german, "stil.htm");
    QTemporaryDir dir;
    const QString pdf = dir.filePath(QStringLiteral("topic.pdf"));
    FakeHost::windows[h]->findChild<QAction*>(QStringLiteral("Print"))->trigger();
    auto* dialog = FakeHost::windows[h]->findChild<QPrintDialog*>();
    ASSERT_NE(dialog, nullptr);
    dialog->printer()->setOutputFormat(QPrinter::PdfFormat);
    dialog->printer()->setOutputFileName(pdf);
    emit dialog->accepted(dialog->printer());
    dialog->reject();

    // Word boxes in points: a 14 px body is 10.5 pt, its box a little taller.
    QProcess run;
    run.start(pdftotext, {QStringLiteral("-bbox"), pdf, QStringLiteral("-")});
    ASSERT_TRUE(run.waitForFinished(30000));
    const QString boxes = QString::fromUtf8(run.readAllStandardOutput());
    const QRegularExpression word(
        QStringLiteral(R"re(<word xMin="([\d.]+)" yMin="([\d.]+)" xMax="([\d.]+)" yMax="([\d.]+)">Pixel</word>)re"));
    const auto match = word.match(boxes);
    ASSERT_TRUE(match.hasMatch()) << boxes.left(2000).toStdString();
    const double height = match.captured(4).toDouble() - match.captured(2).toDouble();
    EXPECT_GT(height, 9.0);
    EXPECT_LT(height, 16.0);
}

TEST_F(Viewer, TextAStyleKeepsOnOneLineAndLongWordsAreNotBroken)
{
    const platform::HWND h = show(german, "stil.htm");
    FakeHost::windows[h]->resize(520, 500);
    browser->resize(220, 400);
    browser->document()->setTextWidth(browser->viewport()->width());
    for (const char* text : {"NachrichtVerarbeiten", "Zeichenflaechenausschnitts"}) {
        QTextBlock block = browser->document()->begin();
        while (block.isValid() && !block.text().contains(QString::fromLatin1(text)))
            block = block.next();
        ASSERT_TRUE(block.isValid()) << text;
        ASSERT_NE(block.layout(), nullptr);
        EXPECT_EQ(block.layout()->lineCount(), 1) << text;
    }
}

TEST_F(Viewer, BackAndForwardAcrossHelpFilesTakeThePanesAndHomeAlong)
{
    const platform::HWND h = show(german, "zweit.htm");
    auto* contents = part<QTreeView>(h, "contents");
    ASSERT_EQ(rows(contents).size(), 3);
    browser->setSource(QUrl(QStringLiteral("ms-its:large.chm::/t0005.htm")));
    EXPECT_EQ(shownPath(), "/t0005.htm");
    EXPECT_EQ(rows(contents).size(), 3000);

    auto* window = FakeHost::windows[h];
    const auto press = [&](const char* action) { window->findChild<QAction*>(QLatin1String(action))->trigger(); };
    press("Back");
    EXPECT_EQ(shownPath(), "/zweit.htm");
    EXPECT_EQ(rows(contents).size(), 3) << "the contents of the file shown";
    EXPECT_EQ(rows(part<QAbstractItemView>(h, "index")), (QStringList{"Käfer", "Größe", "Übung"}));
    press("Forward");
    EXPECT_EQ(shownPath(), "/t0005.htm");
    EXPECT_EQ(rows(contents).size(), 3000);
    press("Home");
    EXPECT_EQ(shownPath(), "/t0000.htm") << "the home of the file shown";
    press("Back");
    press("Back");
    EXPECT_EQ(shownPath(), "/zweit.htm");
    press("Home");
    EXPECT_EQ(shownPath(), "/haupt.htm");
}

// Locate turns to the Contents tab and selects the topic shown, or says
// that it is not there.
TEST_F(Viewer, LocateSaysWhenATopicIsNotInTheContents)
{
    const platform::HWND h = show(german, "zweit.htm");
    auto* tabs = part<QTabWidget>(h, "navigation");
    tabs->setCurrentIndex(2);
    auto* locate = FakeHost::windows[h]->findChild<QAction*>(QStringLiteral("Locate"));
    locate->trigger();
    EXPECT_EQ(tabs->currentIndex(), 0);
    auto* contents = part<QTreeView>(h, "contents");
    EXPECT_EQ(contents->currentIndex().data().toString(), QStringLiteral("Übung auf der Straße"));
    EXPECT_FALSE(visible(part<QLabel>(h, "locateStatus")));

    show(german, "stil.htm"); // in the file, not in its contents
    locate->trigger();
    EXPECT_FALSE(contents->currentIndex().isValid()) << "no old selection left standing";
    ASSERT_TRUE(visible(part<QLabel>(h, "locateStatus")));
    EXPECT_EQ(part<QLabel>(h, "locateStatus")->text(), QStringLiteral("This topic is not in the contents."));
}

// ---- on the real file ----

TEST_F(Viewer, RealFileCaptionContentsAndIndexAreTheFilesOwn)
{
    SKIP_WITHOUT_REAL_HELP_FILE();
    const platform::HWND h = call(kRealHelpFile, HH_DISPLAY_TOC);
    ASSERT_GT(h, 0);
    EXPECT_EQ(FakeHost::windows[h]->windowTitle(), QStringLiteral("(LCL) Lazarus Component Library"));
    EXPECT_FALSE(visible(part<QLabel>(h, "notice")));

    // The panes against the file's own sitemaps, read straight from it.
    std::string error;
    const auto file = chm::ChmFile::open(kRealHelpFile, error);
    ASSERT_NE(file, nullptr) << error;
    const auto sitemap = [&](const char* path) {
        const auto text = file->read(path);
        return text ? chm::parseSitemap(chm::htmlToUtf8(*text, file->encoding())) : std::vector<chm::SitemapEntry>{};
    };
    const auto hhc = sitemap("/Default.hhc");
    const auto hhk = sitemap("/Default.hhk");
    ASSERT_EQ(hhc.size(), 3193u);
    ASSERT_EQ(hhk.size(), 46078u);
    std::vector<std::string> contents;
    treeRows(part<QTreeView>(h, "contents")->model(), {}, 0, contents);
    EXPECT_EQ(contents, sitemapRows(hhc, 2));
    std::vector<std::string> index;
    const QAbstractItemModel* indexModel = part<QAbstractItemView>(h, "index")->model();
    for (int r = 0; r < indexModel->rowCount(); ++r)
        index.push_back(indexModel->index(r, 0).data().toString().toStdString());
    EXPECT_EQ(index, sitemapRows(hhk, 4));
}

// "TBitmap" is a sub-entry under many keywords before it is a keyword of
// its own: typing it means the keyword, and Enter opens its class page.
TEST_F(Viewer, RealFileIndexTypingFindsTheTopLevelKeyword)
{
    SKIP_WITHOUT_REAL_HELP_FILE();
    const platform::HWND h = call(kRealHelpFile, HH_DISPLAY_INDEX);
    auto* keyword = part<QLineEdit>(h, "indexKeyword");
    auto* index = part<QAbstractItemView>(h, "index");
    browser = part<QTextBrowser>(h, "topic");
    QTest::keyClicks(keyword, QStringLiteral("TBitmap"));
    EXPECT_EQ(index->currentIndex().data().toString(), QStringLiteral("TBitmap")) << "not indented";
    QTest::keyClick(keyword, Qt::Key_Return);
    EXPECT_EQ(shownPath(), "/graphics/tbitmap.html");

    // A word that is only ever a sub-entry is still found.
    keyword->clear();
    QTest::keyClicks(keyword, QStringLiteral("TPrinter"));
    EXPECT_EQ(index->currentIndex().data().toString().trimmed(), QStringLiteral("TPrinter"));
}

TEST_F(Viewer, RealFileSearchFindsIdentifiersWithUnderscores)
{
    SKIP_WITHOUT_REAL_HELP_FILE();
    HH_FTS_QUERY query{static_cast<int32_t>(sizeof(HH_FTS_QUERY)), 0, "LM_PAINT", -1, 0, 0, 1, nullptr};
    const platform::HWND h = call(kRealHelpFile, HH_DISPLAY_SEARCH, reinterpret_cast<uintptr_t>(&query));
    auto* results = part<QAbstractItemView>(h, "searchResults");
    const QStringList found = answered(results);
    EXPECT_GE(found.size(), 10);
    EXPECT_TRUE(found.contains(QStringLiteral("LM_PAINT")));
    auto* edit = part<QLineEdit>(h, "searchQuery");
    edit->setText(QStringLiteral("\"lm paint\""));
    emit edit->returnPressed();
    EXPECT_EQ(answered(results), found);
}

// A keyword with 38 topics of one title: each row says where its topic is.
TEST_F(Viewer, RealFileTopicsFoundTellsRepeatedTitlesApart)
{
    SKIP_WITHOUT_REAL_HELP_FILE();
    HH_AKLINK link{static_cast<int32_t>(sizeof(HH_AKLINK)), 0, "Register procedure", nullptr, nullptr, nullptr,
                   nullptr, 0};
    const platform::HWND h = call(kRealHelpFile, HH_KEYWORD_LOOKUP, reinterpret_cast<uintptr_t>(&link));
    ASSERT_GT(h, 0);
    auto* chooser = FakeHost::windows[h]->findChild<QDialog*>(QStringLiteral("topicsFound"));
    ASSERT_NE(chooser, nullptr);
    const QStringList found = rows(chooser->findChild<QListWidget*>(QStringLiteral("topicsFoundList")));
    EXPECT_EQ(found.size(), 38);
    EXPECT_EQ(QSet<QString>(found.begin(), found.end()).size(), found.size()) << found.join(u'|').toStdString();
    for (const QString& row : found)
        EXPECT_TRUE(row.startsWith(QStringLiteral("Register procedure  \u2014  "))) << row.toStdString();
}

// Damaged copies of the real file: each says which of its tables is
// damaged, and shows what can still be read.
TEST_F(Viewer, RealFileDamagedCopiesSayWhatIsDamaged)
{
    SKIP_WITHOUT_REAL_HELP_FILE();
    std::ifstream in(kRealHelpFile, std::ios::binary);
    const std::vector<char> bytes{std::istreambuf_iterator<char>(in), {}};
    std::string error;
    const auto whole = chm::ChmFile::open(kRealHelpFile, error);
    ASSERT_NE(whole, nullptr);
    QTemporaryDir dir;
    const auto copy = [&](const char* name, std::vector<char> content) {
        const std::string path = dir.filePath(QString::fromLatin1(name)).toStdString();
        std::ofstream(path, std::ios::binary).write(content.data(), static_cast<std::streamsize>(content.size()));
        return path;
    };
    // Bytes flipped in the middle of where a table's bytes lie.
    const auto flipped = [&](const char* table) {
        const auto range = whole->storedRange(table);
        EXPECT_TRUE(range) << table;
        auto damaged = bytes;
        for (uint64_t i = 0; range && i < 64; ++i)
            damaged[range->offset + range->length / 2 + i] ^= 0x5A;
        return damaged;
    };
    const struct {
        const char* name;
        std::vector<char> content;
        const char* notice;
    } copies[] = {
        {"cut.chm", {bytes.begin(), bytes.end() - 100000}, "incomplete"},
        {"index.chm", flipped("/Default.hhk"), "The index of this file is damaged."},
        {"contents.chm", flipped("/Default.hhc"), "The contents of this file are damaged."},
    };
    for (const auto& c : copies) {
        const platform::HWND h = call(copy(c.name, c.content), HH_DISPLAY_TOC);
        ASSERT_GT(h, 0) << c.name;
        auto* notice = part<QLabel>(h, "notice");
        EXPECT_TRUE(visible(notice)) << c.name;
        EXPECT_TRUE(notice->text().contains(QString::fromLatin1(c.notice))) << c.name << ": " << notice->text().toStdString();
        htmlHelp(0, "", HH_CLOSE_ALL, 0);
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    }

    // A damaged reset table: no page is shown as if it were right, and a
    // search ends at once instead of reading every page.
    const auto table = whole->storedRange(
        "::DataSpace/Storage/MSCompressed/Transform/{7FC28940-9D31-11D0-9B27-00A0C91E9C7C}/InstanceData/ResetTable");
    ASSERT_TRUE(table);
    auto resetDamaged = bytes;
    resetDamaged[table->offset + 0x28 + 100 * 8 + 3] ^= 0x40; // frame 100 starts far beyond the end
    const platform::HWND h = show(copy("reset.chm", resetDamaged), "graphics/tbitmap.html");
    ASSERT_GT(h, 0);
    EXPECT_TRUE(part<QLabel>(h, "notice")->text().contains(QStringLiteral("reset table")));
    EXPECT_TRUE(browser->toPlainText().contains(QStringLiteral("cannot be read"))) << browser->toPlainText().toStdString();
    auto* query = part<QLineEdit>(h, "searchQuery");
    query->setText(QStringLiteral("TBitmap"));
    emit query->returnPressed();
    EXPECT_EQ(answered(part<QAbstractItemView>(h, "searchResults")), QStringList{"No topics found."});
}

// A word the real file's stored index cannot hold sends the search through
// the text of thousands of topics: the reader can stop it, and is told.
TEST_F(Viewer, RealFileASearchCanBeStopped)
{
    SKIP_WITHOUT_REAL_HELP_FILE();
    HH_FTS_QUERY query{static_cast<int32_t>(sizeof(HH_FTS_QUERY)), 0, "für", -1, 0, 0, 1, nullptr};
    const platform::HWND h = call(kRealHelpFile, HH_DISPLAY_SEARCH, reinterpret_cast<uintptr_t>(&query));
    auto* stop = part<QPushButton>(h, "stopSearch");
    ASSERT_NE(stop, nullptr);
    ASSERT_TRUE(stop->isEnabled());
    stop->click();
    const QStringList said = answered(part<QAbstractItemView>(h, "searchResults"));
    ASSERT_FALSE(said.isEmpty());
    EXPECT_TRUE(said.front().startsWith(QStringLiteral("The search was stopped"))) << said.front().toStdString();
    EXPECT_FALSE(stop->isEnabled());
}
