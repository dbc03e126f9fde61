// The viewer plugin as the binding uses it: loaded with dlopen, attached to
// a fake host that records windows and notifications, driven through
// HtmlHelpA. On the operator's manual, on small files made for one behaviour
// each, and as a reader uses it on a large file this project did not write.
#include "tests/helpviewer/HelpFiles.h"

#include "help/EngineHost.h"
#include "help/HtmlHelpApi.h"
#include "helpviewer/chm/Html.h"
#include "helpviewer/chm/Sitemap.h"

#include <QAction>
#include <QApplication>
#include <QDesktopServices>
#include <QDialog>
#include <QDir>
#include <QElapsedTimer>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMessageBox>
#include <QPointer>
#include <QPrintDialog>
#include <QPrintPreviewDialog>
#include <QPrinter>
#include <QProcess>
#include <QPushButton>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QTest>
#include <QTextBlock>
#include <QTextBrowser>
#include <QTextLayout>
#include <QTreeView>
#include <QUuid>

#include <dlfcn.h>

#include <fstream>
#include <functional>
#include <iterator>
#include <map>
#include <set>

namespace {

constexpr platform::HWND kCaller = 7; // the host's main window
constexpr int32_t kNotifyId = 86022400;
const std::string german = testFile("deutsch.chm");
const std::string large = testFile("large.chm");

struct Notification {
    platform::HWND to;
    platform::WPARAM wParam;
    uint32_t code;
    std::string url;
};

// The host side: a window registry and a recorder of delivered notifications.
struct FakeHost {
    static inline std::map<platform::HWND, QWidget*> windows;
    static inline std::vector<Notification> sent;
    static inline std::function<void(const Notification&)> onSend;
    static inline platform::HWND next = 1000;

    static platform::LRESULT sendMessage(platform::HWND to, uint32_t, platform::WPARAM w, platform::LPARAM l)
    {
        const auto* notify = reinterpret_cast<const HHN_NOTIFY*>(l);
        sent.push_back({to, w, notify->hdr.code, notify->pszUrl ? notify->pszUrl : ""});
        if (onSend)
            onSend(sent.back());
        return 0;
    }
    static platform::HWND registerWindow(void* widget, const char*)
    {
        windows[++next] = static_cast<QWidget*>(widget);
        return next;
    }
    static void unregisterWindow(platform::HWND h) { windows.erase(h); }
    static int isWindow(platform::HWND h) { return h == kCaller || windows.count(h); }
    static void* widgetOf(platform::HWND h) { return windows.count(h) ? windows[h] : nullptr; }

    static constexpr KpxHelpHost record{sizeof(KpxHelpHost), sendMessage, registerWindow, unregisterWindow, isWindow,
                                        widgetOf};
};

bool visible(const QWidget* w) { return w && w->isVisible(); }

// The rows a pane shows, as the reader reads them.
QStringList rows(const QAbstractItemView* view)
{
    QStringList out;
    const QAbstractItemModel* model = view ? view->model() : nullptr;
    for (int i = 0; model && i < model->rowCount(); ++i)
        out << model->index(i, 0).data().toString().trimmed();
    return out;
}

// The search results once the search has answered (it runs on a worker),
// or after a few seconds.
QStringList answered(const QAbstractItemView* results)
{
    QElapsedTimer timer;
    timer.start();
    for (QStringList r = rows(results); r.size() == 1 && r.front().endsWith(QLatin1String("...")); r = rows(results)) {
        if (timer.elapsed() > 10000)
            break;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    }
    return rows(results);
}

// What a reader's double click on a row does.
void activate(QAbstractItemView* view, int row)
{
    const QModelIndex item = view->model()->index(row, 0);
    view->setCurrentIndex(item);
    emit view->activated(item);
}

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

// Receives what the viewer hands to the desktop; nothing is launched.
class DesktopRecorder : public QObject {
    Q_OBJECT
public:
    QList<QUrl> opened;
public slots:
    void open(const QUrl& url) { opened << url; }
};

} // namespace

class Viewer : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        static int argc = 1;
        static char name[] = "helpviewer_tests";
        static char* argv[] = {name, nullptr};
        if (!QApplication::instance())
            new QApplication(argc, argv); // lives until exit, like the host's
        void* lib = dlopen(KPX_TEST_PLUGIN, RTLD_NOW | RTLD_LOCAL);
        ASSERT_NE(lib, nullptr) << dlerror();
        htmlHelp = reinterpret_cast<THtmlHelp>(dlsym(lib, kKpxHelpEntryPointName));
        ASSERT_NE(htmlHelp, nullptr);
        reinterpret_cast<KpxHelpEngineAttachFn>(dlsym(lib, kKpxHelpAttachName))(&FakeHost::record);
    }
    void SetUp() override { FakeHost::sent.clear(); }
    void TearDown() override
    {
        FakeHost::onSend = nullptr;
        closeAll();
    }
    static void closeAll()
    {
        htmlHelp(0, "", HH_CLOSE_ALL, 0);
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    }

    static platform::HWND call(const std::string& spec, uint32_t command, uintptr_t data = 0)
    {
        return htmlHelp(kCaller, spec.c_str(), command, data);
    }
    static platform::HWND search(const std::string& file, const char* words)
    {
        HH_FTS_QUERY query{static_cast<int32_t>(sizeof(HH_FTS_QUERY)), 0, words, -1, 0, 0, 1, nullptr};
        return call(file, HH_DISPLAY_SEARCH, reinterpret_cast<uintptr_t>(&query));
    }
    static platform::HWND lookUp(const std::string& file, const char* keyword)
    {
        HH_AKLINK link{static_cast<int32_t>(sizeof(HH_AKLINK)), 0, keyword, nullptr, nullptr, nullptr, nullptr, 0};
        return call(file, HH_KEYWORD_LOOKUP, reinterpret_cast<uintptr_t>(&link));
    }
    platform::HWND show(const std::string& file, const std::string& topic)
    {
        const platform::HWND h = call(file + "::/" + topic, HH_DISPLAY_TOPIC);
        browser = part<QTextBrowser>(h, "topic");
        return h;
    }
    template <class T = QWidget>
    static T* part(platform::HWND window, const char* name)
    {
        QWidget* w = FakeHost::windows.count(window) ? FakeHost::windows[window] : nullptr;
        return w ? w->findChild<T*>(QLatin1String(name)) : nullptr;
    }
    static void press(platform::HWND window, const char* action) { part<QAction>(window, action)->trigger(); }
    // Typed into the Search tab's query, then Enter.
    static void ask(platform::HWND window, const char* words)
    {
        part<QLineEdit>(window, "searchQuery")->setText(QString::fromUtf8(words));
        emit part<QLineEdit>(window, "searchQuery")->returnPressed();
    }
    static std::string topicOf(platform::HWND window)
    {
        auto* shown = part<QTextBrowser>(window, "topic");
        return shown ? shown->source().path().toStdString() : std::string();
    }
    std::string shownPath() const { return browser ? browser->source().path().toStdString() : std::string(); }
    static const HH_WINTYPE* winType(const std::string& spec)
    {
        const HH_WINTYPE* type = nullptr;
        return call(spec, HH_GET_WIN_TYPE, reinterpret_cast<uintptr_t>(&type)) == -1 ? nullptr : type;
    }
    // What the application's help socket does before showing a window: the
    // file's main window, reporting to the caller, stored under a new name.
    static void storeTrackingType(const char* name)
    {
        const HH_WINTYPE* main = winType(chm + ">main");
        ASSERT_NE(main, nullptr);
        HH_WINTYPE type = *main;
        type.pszType = name;
        type.fsValidMembers |= HHWIN_PARAM_PROPERTIES | HHWIN_PARAM_RECT;
        type.fsWinProperties |= HHWIN_PROP_TRACKING;
        type.idNotify = kNotifyId;
        type.hwndCaller = kCaller;
        type.rcWindowPos = {100, 120, 700, 620};
        ASSERT_NE(call(chm, HH_SET_WIN_TYPE, reinterpret_cast<uintptr_t>(&type)), -1);
    }

    static inline const std::string chm = KPX_TEST_CHM;
    static inline THtmlHelp htmlHelp = nullptr;
    QTextBrowser* browser = nullptr;
};

// ---- the API, on the operator's manual ----

// (Its search, popup and context ids through the socket: tests/gui.)
TEST_F(Viewer, TheContentsOpenAViewerAtTheDefaultTopicAndCloseAllClosesEveryViewer)
{
    const platform::HWND h = call(chm, HH_DISPLAY_TOC);
    ASSERT_GT(h, 0);
    QWidget* window = FakeHost::windows[h];
    ASSERT_NE(window, nullptr);
    EXPECT_TRUE(window->isVisible());
    EXPECT_EQ(window->windowTitle(), QStringLiteral("M740-RT Updater Help"));
    EXPECT_EQ(rows(part<QTreeView>(h, "contents")).size(), 6);
    EXPECT_EQ(topicOf(h), "/intro.htm");
    EXPECT_EQ(call(chm + "::/cable.htm>main", HH_DISPLAY_TOPIC), h) << "the same window type, the same window";
    EXPECT_EQ(topicOf(h), "/cable.htm");
    EXPECT_EQ(call(chm, HH_HELP_CONTEXT, 1006), h);
    EXPECT_EQ(topicOf(h), "/troubleshooting.htm");
    EXPECT_EQ(call(chm, HH_HELP_CONTEXT, 4242), 0) << "not in the map";

    const platform::HWND other = call(chm + ">second", HH_DISPLAY_TOC); // a type the file does not define
    ASSERT_GT(other, 0);
    ASSERT_NE(other, h);
    const QPointer<QWidget> viewers[] = {window, FakeHost::windows[other]};
    call("", HH_CLOSE_ALL);
    EXPECT_TRUE(FakeHost::windows.empty());
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_TRUE(viewers[0].isNull());
    EXPECT_TRUE(viewers[1].isNull());
}

// The file's window type "main" is handed out, stored back under another
// name (its own strings copied onto themselves) and made to track: the
// window then reports its navigation to the caller.
TEST_F(Viewer, ATrackingWindowTypeNotifiesTheCallerOfItsNavigation)
{
    const HH_WINTYPE* main = winType(chm + ">MAIN");
    ASSERT_NE(main, nullptr);
    EXPECT_STREQ(main->pszHome, "intro.htm");
    EXPECT_EQ(main->rcWindowPos.right, 960);
    for (const std::string& spec : {chm + ">nosuch", chm, std::string("/nonexistent.chm>main")})
        EXPECT_EQ(winType(spec), nullptr) << spec;
    for (QWidget* w : QApplication::topLevelWidgets())
        EXPECT_FALSE(qobject_cast<QMessageBox*>(w) && w->isVisible()) << "asking shows nothing";

    storeTrackingType("tracked");
    const HH_WINTYPE* own = winType(chm + ">tracked");
    ASSERT_NE(call(chm, HH_SET_WIN_TYPE, reinterpret_cast<uintptr_t>(own)), -1);
    EXPECT_STREQ(winType(chm + ">tracked")->pszCaption, "M740-RT Updater Help");

    const platform::HWND h = call(chm + "::/steps.htm>tracked", HH_DISPLAY_TOPIC);
    ASSERT_GT(h, 0);
    ASSERT_EQ(FakeHost::sent.size(), 2u);
    EXPECT_EQ(FakeHost::sent[0].code, HHN_WINDOW_CREATE);
    EXPECT_EQ(FakeHost::sent[0].url, "tracked");
    const Notification& nav = FakeHost::sent[1];
    EXPECT_EQ(nav.code, HHN_NAVCOMPLETE);
    EXPECT_EQ(nav.to, kCaller);
    EXPECT_EQ(nav.wParam, static_cast<platform::WPARAM>(kNotifyId));
    EXPECT_EQ(nav.url, chm + "::/steps.htm");
    EXPECT_EQ(QRect(FakeHost::windows[h]->pos(), FakeHost::windows[h]->size()), QRect(100, 120, 600, 500));
}

TEST_F(Viewer, TheCallerMayCloseEverythingFromANotification)
{
    storeTrackingType("closer");
    FakeHost::onSend = [](const Notification& n) {
        if (n.code == HHN_NAVCOMPLETE)
            htmlHelp(0, "", HH_CLOSE_ALL, 0);
    };
    EXPECT_EQ(call(chm + ">closer", HH_DISPLAY_TOC), 0) << "not the handle of a closed window";
    FakeHost::onSend = nullptr;
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_TRUE(FakeHost::windows.empty());
    EXPECT_GT(call(chm + ">closer", HH_DISPLAY_TOC), 0) << "and the engine goes on working";
}

TEST_F(Viewer, ATextPopupShowsItsTextInTheGivenFont)
{
    HH_POPUP popup{};
    popup.cbStruct = sizeof(HH_POPUP);
    popup.pszText = "Press Update to start";
    popup.pt = {400, 200};
    popup.clrForeground = 0x0000FF; // red
    popup.pszFont = "MS Sans Serif, 8, 1, bold underline";
    const platform::HWND h = htmlHelp(0, "", HH_DISPLAY_TEXT_POPUP, reinterpret_cast<uintptr_t>(&popup));
    auto* label = part<QLabel>(h, "popupText");
    ASSERT_NE(label, nullptr);
    EXPECT_EQ(label->text(), QStringLiteral("Press Update to start"));
    EXPECT_TRUE(label->font().bold() && label->font().underline()); // face and size: tests/gui
    EXPECT_EQ(label->palette().color(QPalette::WindowText), QColor(Qt::red));
    EXPECT_EQ(FakeHost::windows[h]->geometry().top(), 200);
    EXPECT_LE(std::abs(FakeHost::windows[h]->geometry().center().x() - 400), 1);

    // One popup at a time; strikeout as our socket spells it.
    popup.pszFont = "MS Sans Serif, 12, 0, srikeout";
    const platform::HWND second = htmlHelp(0, "", HH_DISPLAY_TEXT_POPUP, reinterpret_cast<uintptr_t>(&popup));
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_EQ(FakeHost::windows.count(h), 0u);
    ASSERT_NE(part<QLabel>(second, "popupText"), nullptr);
    EXPECT_TRUE(part<QLabel>(second, "popupText")->font().strikeOut());
}

// ---- on small files made for the purpose ----

// Every name a topic may give for a file outside the help file is asked for
// and refused: none is read. The file out there holds a marker nothing else
// holds, so any read of it shows (reading /dev/zero or /dev/stdin would
// never end). In the current folder too, for names taken relative to it.
TEST_F(Viewer, NothingOutsideTheHelpFileIsLoaded)
{
    show(german, "draussen.htm");
    ASSERT_NE(browser, nullptr);
    EXPECT_TRUE(browser->toPlainText().contains(QStringLiteral("Bilder von außerhalb")));
    EXPECT_FALSE(browser->toPlainText().contains(QStringLiteral("Skript lief"))) << "scripts do not run";

    QTemporaryDir outside;
    ASSERT_TRUE(outside.isValid());
    const QString marker = QStringLiteral("kpx-outside-") + QUuid::createUuid().toString(QUuid::Id128);
    const QString path = outside.filePath(QStringLiteral("outside.htm"));
    std::ofstream(path.toStdString()) << "<p>" << marker.toStdString() << "</p>";
    const struct Back {
        QString folder = QDir::currentPath();
        ~Back() { QDir::setCurrent(folder); }
    } back;
    QDir::setCurrent(outside.path());

    const QString names[] = {path, QUrl::fromLocalFile(path).toString(), "../../../../../../../../../.." + path,
                             QDir(QStringLiteral(KPX_HELP_TEST_DIR)).relativeFilePath(path), "outside.htm",
                             "/dev/zero", "/dev/stdin", "http://example.invalid/pixel.png",
                             "ms-its:" + path + "::/x.htm", "mk:@MSITStore:/dev/zero::/x.htm"};
    for (const QString& name : names) {
        const QUrl url(name);
        for (int type : {int(QTextDocument::ImageResource), int(QTextDocument::StyleSheetResource),
                         int(QTextDocument::HtmlResource)}) {
            const QVariant got = browser->loadResource(type, url);
            ASSERT_TRUE(got.isValid()) << name.toStdString() << ": a null answer would make Qt read the name itself";
            EXPECT_FALSE(got.toByteArray().contains(marker.toUtf8())) << name.toStdString();
        }
        const QVariant image = browser->document()->resource(QTextDocument::ImageResource, url);
        EXPECT_TRUE(!image.isValid() || image.value<QImage>().size() == QSize(1, 1)) << name.toStdString();
    }
    // Another help file is what a topic may load from.
    EXPECT_TRUE(browser->loadResource(QTextDocument::HtmlResource, QUrl(QStringLiteral("ms-its:ohne-index.chm::/haupt.htm")))
                    .toString()
                    .contains(QStringLiteral("Maikäfers")));
    // Following a link to a local file does nothing either.
    const QUrl before = browser->source();
    browser->setSource(QUrl::fromLocalFile(path));
    browser->setSource(QUrl(QStringLiteral("javascript:alert(1)")));
    EXPECT_EQ(browser->source(), before);
    EXPECT_FALSE(browser->toPlainText().contains(marker));
}

TEST_F(Viewer, WebAndMailLinksReachTheDesktopOnlyWhenTheReaderAgrees)
{
    DesktopRecorder desktop;
    QDesktopServices::setUrlHandler(QStringLiteral("http"), &desktop, "open");
    QDesktopServices::setUrlHandler(QStringLiteral("mailto"), &desktop, "open");
    const platform::HWND h = show(german, "draussen.htm");
    const QUrl web(QStringLiteral("http://example.invalid/"));
    const QUrl mail(QStringLiteral("mailto:service@example.invalid"));
    for (const auto& [url, answer] : {std::pair{web, QMessageBox::Cancel}, std::pair{web, QMessageBox::Open},
                                      std::pair{mail, QMessageBox::Open}}) {
        browser->setSource(url);
        auto* ask = part<QMessageBox>(h, "kpxHelpExternalLink"); // window-modal: a child of the viewer
        ASSERT_TRUE(visible(ask)) << url.toString().toStdString();
        EXPECT_TRUE(ask->text().contains(url.toString()));
        ask->button(answer)->click();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    }
    QDesktopServices::unsetUrlHandler(QStringLiteral("http"));
    QDesktopServices::unsetUrlHandler(QStringLiteral("mailto"));
    EXPECT_EQ(desktop.opened, (QList<QUrl>{web, mail}));
}

// Chosen from the index, and through a keyword lookup spelt otherwise.
TEST_F(Viewer, AKeywordWithSeveralTopicsOffersTheTopicsFound)
{
    const platform::HWND h = show(german, "drei.htm");
    activate(part<QAbstractItemView>(h, "index"), 0); // "Käfer": two topics
    auto* chooser = part<QDialog>(h, "topicsFound");
    ASSERT_TRUE(visible(chooser));
    auto* list = chooser->findChild<QListWidget*>(QStringLiteral("topicsFoundList"));
    EXPECT_EQ(rows(list), (QStringList{"Größe und Maße", "Zweite Seite"}));
    list->setCurrentRow(1);
    emit list->itemActivated(list->item(1));
    EXPECT_EQ(shownPath(), "/zweit.htm");
    EXPECT_FALSE(visible(chooser));

    EXPECT_EQ(lookUp(german, "KAEFER"), h);
    QListWidget* second = nullptr;
    for (auto* d : FakeHost::windows[h]->findChildren<QDialog*>(QStringLiteral("topicsFound")))
        second = visible(d) ? d->findChild<QListWidget*>(QStringLiteral("topicsFoundList")) : second;
    ASSERT_NE(second, nullptr);
    EXPECT_EQ(second->count(), 2);
}

// Find in the topic: next, previous, round the end, and not found; then
// the print preview opens.
TEST_F(Viewer, FindInTheTopicAndPrintPreview)
{
    const platform::HWND h = show(german, "zweit.htm");
    press(h, "Find in Topic");
    EXPECT_TRUE(visible(part(h, "findBar")));
    part<QLineEdit>(h, "findText")->setText(QStringLiteral("maikäfer"));
    auto position = [&] { return browser->textCursor().selectionStart(); };
    auto* next = part<QPushButton>(h, "findNext");
    next->click();
    const int first = position();
    EXPECT_EQ(browser->textCursor().selectedText(), QStringLiteral("Maikäfer"));
    next->click();
    EXPECT_GT(position(), first);
    next->click();
    EXPECT_EQ(position(), first) << "went round the end";
    part<QPushButton>(h, "findPrevious")->click();
    EXPECT_GT(position(), first);
    part<QLineEdit>(h, "findText")->setText(QStringLiteral("Zaunkönig"));
    next->click();
    EXPECT_EQ(part<QLabel>(h, "findStatus")->text(), QStringLiteral("Not found"));

    press(h, "Preview");
    auto* preview = FakeHost::windows[h]->findChild<QPrintPreviewDialog*>();
    ASSERT_TRUE(visible(preview));
    preview->reject();
}

// Marked as the file's language spells the word: "grösse" is "Größe".
TEST_F(Viewer, SearchHitsAreMarkedInATopicOpenedFromTheResults)
{
    const platform::HWND h = show(german, "zweit.htm");
    auto* results = part<QAbstractItemView>(h, "searchResults");
    ask(h, "grösse");
    ASSERT_EQ(answered(results), QStringList{"Größe und Maße"});
    activate(results, 0); // another topic than the one shown
    EXPECT_EQ(shownPath(), "/haupt.htm");
    EXPECT_EQ(marked(browser), (QStringList{"Größe", "Größe"})); // heading and text
    show(german, "zweit.htm");
    EXPECT_TRUE(marked(browser).isEmpty()) << "a topic reached otherwise is not marked";

    // The file's index split "übung" at its umlaut: our own index answers.
    ask(h, "übung");
    EXPECT_EQ(answered(results), (QStringList{"Zweite Seite: Übung", "Größe und Maße"}));
}

// The search answers on a worker thread: the request returns before the
// answer, which then counts the word itself, not every word starting alike
// ("cable" and "covers" in every topic of the large file).
TEST_F(Viewer, AnAccentedQueryIsAnsweredOffTheWindowsThreadWithItsOwnCounts)
{
    const platform::HWND h = search(large, "café");
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
    press(h, "Print");
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
        QStringLiteral(R"re(<word xMin="[\d.]+" yMin="([\d.]+)" xMax="[\d.]+" yMax="([\d.]+)">Pixel</word>)re"));
    const auto match = word.match(boxes);
    ASSERT_TRUE(match.hasMatch()) << boxes.left(2000).toStdString();
    const double height = match.captured(2).toDouble() - match.captured(1).toDouble();
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
        EXPECT_EQ(block.layout()->lineCount(), 1) << text;
    }
}

// Caption, panes and pages in the file's language; Back and Forward across
// help files take the panes and Home along.
TEST_F(Viewer, TheFilesLanguageAndBackAndForwardAcrossHelpFiles)
{
    const std::pair<const char*, const char*> pages[] = {
        {"haupt.htm", "Die Größe des Maikäfers. Übung macht den Meister."}, // no charset: the file's Windows-1252
        {"drei.htm", "Łódź liegt in Polen."},                                // declares Windows-1250
        {"zweit.htm", "Auf der Straße läuft ein Maikäfer"},                 // declares UTF-8
    };
    platform::HWND h = 0;
    for (const auto& [page, text] : pages) {
        h = show(german, page);
        EXPECT_TRUE(browser->toPlainText().contains(QString::fromUtf8(text))) << page;
    }
    EXPECT_EQ(FakeHost::windows[h]->windowTitle(), QStringLiteral("Größen-Hilfe"));
    EXPECT_FALSE(visible(part(h, "notice")));
    auto* contents = part<QTreeView>(h, "contents");
    auto* index = part<QAbstractItemView>(h, "index");
    const QStringList chapters{"Größe", "Dritte Seite", "Nach draußen"}, keywords{"Käfer", "Größe", "Übung"};
    EXPECT_EQ(rows(contents), chapters);
    EXPECT_EQ(rows(index), keywords);

    browser->setSource(QUrl(QStringLiteral("ms-its:large.chm::/t0005.htm")));
    EXPECT_EQ(shownPath(), "/t0005.htm");
    EXPECT_EQ(rows(contents).size(), 3000);
    press(h, "Back");
    EXPECT_EQ(shownPath(), "/zweit.htm");
    EXPECT_EQ(rows(contents), chapters) << "the contents of the file shown";
    EXPECT_EQ(rows(index), keywords);
    press(h, "Forward");
    EXPECT_EQ(shownPath(), "/t0005.htm");
    EXPECT_EQ(rows(contents).size(), 3000);
    press(h, "Home");
    EXPECT_EQ(shownPath(), "/t0000.htm") << "the home of the file shown";
    press(h, "Back");
    press(h, "Back");
    EXPECT_EQ(shownPath(), "/zweit.htm");
    press(h, "Home");
    EXPECT_EQ(shownPath(), "/haupt.htm");
}

// Locate turns to the Contents tab and selects the topic shown, or says
// that it is not there.
TEST_F(Viewer, LocateSaysWhenATopicIsNotInTheContents)
{
    const platform::HWND h = show(german, "zweit.htm");
    auto* tabs = part<QTabWidget>(h, "navigation");
    tabs->setCurrentIndex(2);
    press(h, "Locate");
    EXPECT_EQ(tabs->currentIndex(), 0);
    auto* contents = part<QTreeView>(h, "contents");
    EXPECT_EQ(contents->currentIndex().data().toString(), QStringLiteral("Übung auf der Straße"));
    EXPECT_FALSE(visible(part(h, "locateStatus")));

    show(german, "stil.htm"); // in the file, not in its contents
    press(h, "Locate");
    EXPECT_FALSE(contents->currentIndex().isValid()) << "no old selection left standing";
    ASSERT_TRUE(visible(part(h, "locateStatus")));
    EXPECT_EQ(part<QLabel>(h, "locateStatus")->text(), QStringLiteral("This topic is not in the contents."));
}

// ---- on the real file ----

// Caption, contents and index, without the quotation marks the project's
// title has, and with no notice.
TEST_F(Viewer, RealFileCaptionContentsAndIndexAreTheFilesOwn)
{
    SKIP_WITHOUT_REAL_HELP_FILE();
    const platform::HWND h = call(kRealHelpFile, HH_DISPLAY_TOC);
    ASSERT_GT(h, 0);
    EXPECT_EQ(FakeHost::windows[h]->windowTitle(), QStringLiteral("(LCL) Lazarus Component Library"));
    EXPECT_FALSE(visible(part(h, "notice")));

    // The panes against the file's own sitemaps, read straight from it.
    const auto file = openHelpFile(kRealHelpFile);
    const auto sitemap = [&](const char* path) {
        const auto text = file->read(path);
        return text ? chm::parseSitemap(chm::htmlToUtf8(*text, file->encoding())) : std::vector<chm::SitemapEntry>{};
    };
    const auto hhc = sitemap("/Default.hhc");
    const auto hhk = sitemap("/Default.hhk");
    ASSERT_EQ(hhc.size(), 3193u);
    ASSERT_EQ(hhk.size(), 46078u);
    std::vector<std::string> contents, index;
    treeRows(part<QTreeView>(h, "contents")->model(), {}, 0, contents);
    EXPECT_EQ(contents, sitemapRows(hhc, 2));
    treeRows(part<QAbstractItemView>(h, "index")->model(), {}, 0, index);
    EXPECT_EQ(index, sitemapRows(hhk, 4));

    // The file keeps both twice, also as binary tables its compiler wrote
    // from the sitemaps (which a file may lack): they must say the same. The
    // binary index orders a keyword's sub-entries its own way, and the binary
    // contents name an entry by its topic's title, spelt as the page spells
    // it ("DbgS" for "dbgs").
    const auto sorted = [](const std::vector<chm::SitemapEntry>& entries) {
        std::multiset<std::string> out;
        for (const auto& e : entries)
            out.insert(std::to_string(e.level) + " " + chm::toLowerAscii(e.name) + " " +
                       chm::resolvePath("/", e.local()));
        return out;
    };
    EXPECT_EQ(sorted(hhc), sorted(file->binaryContents()));
    EXPECT_EQ(sorted(hhk), sorted(file->binaryIndex()));
}

// "TBitmap" is a sub-entry under many keywords before it is a keyword of
// its own: typing it means the keyword, and Enter opens its class page.
TEST_F(Viewer, RealFileIndexTypingFindsTheTopLevelKeyword)
{
    SKIP_WITHOUT_REAL_HELP_FILE();
    const platform::HWND h = call(kRealHelpFile, HH_DISPLAY_INDEX);
    auto* keyword = part<QLineEdit>(h, "indexKeyword");
    auto* index = part<QAbstractItemView>(h, "index");
    QTest::keyClicks(keyword, QStringLiteral("TBitmap"));
    EXPECT_EQ(index->currentIndex().data().toString(), QStringLiteral("TBitmap")) << "not indented";
    QTest::keyClick(keyword, Qt::Key_Return);
    EXPECT_EQ(topicOf(h), "/graphics/tbitmap.html");

    // A word that is only ever a sub-entry is still found.
    keyword->clear();
    QTest::keyClicks(keyword, QStringLiteral("TPrinter"));
    EXPECT_EQ(index->currentIndex().data().toString().trimmed(), QStringLiteral("TPrinter"));
}

TEST_F(Viewer, RealFileSearchFindsIdentifiersWithUnderscores)
{
    SKIP_WITHOUT_REAL_HELP_FILE();
    const platform::HWND h = search(kRealHelpFile, "LM_PAINT");
    auto* results = part<QAbstractItemView>(h, "searchResults");
    const QStringList found = answered(results);
    EXPECT_GE(found.size(), 10);
    EXPECT_TRUE(found.contains(QStringLiteral("LM_PAINT")));
    ask(h, "\"lm paint\"");
    EXPECT_EQ(answered(results), found);
}

// A keyword with 38 topics of one title: each row says where its topic is.
TEST_F(Viewer, RealFileTopicsFoundTellsRepeatedTitlesApart)
{
    SKIP_WITHOUT_REAL_HELP_FILE();
    const platform::HWND h = lookUp(kRealHelpFile, "Register procedure");
    auto* chooser = part<QDialog>(h, "topicsFound");
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
    const auto whole = openHelpFile(kRealHelpFile);
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
        closeAll();
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
    ask(h, "TBitmap");
    EXPECT_EQ(answered(part<QAbstractItemView>(h, "searchResults")), QStringList{"No topics found."});
}

// A word the real file's stored index cannot hold sends the search through
// the text of thousands of topics: the reader can stop it, and is told.
TEST_F(Viewer, RealFileASearchCanBeStopped)
{
    SKIP_WITHOUT_REAL_HELP_FILE();
    const platform::HWND h = search(kRealHelpFile, "für");
    auto* stop = part<QPushButton>(h, "stopSearch");
    ASSERT_NE(stop, nullptr);
    ASSERT_TRUE(stop->isEnabled());
    stop->click();
    const QStringList said = answered(part<QAbstractItemView>(h, "searchResults"));
    ASSERT_FALSE(said.isEmpty());
    EXPECT_TRUE(said.front().startsWith(QStringLiteral("The search was stopped"))) << said.front().toStdString();
    EXPECT_FALSE(stop->isEnabled());
}

#include "viewer_test.moc"
