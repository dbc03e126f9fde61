// The engine plugin as the binding uses it: loaded with dlopen, attached to a
// host, driven through HtmlHelpA.
#include "tests/helpviewer/ViewerTest.h"

#include <QAction>
#include <QDesktopServices>
#include <QDialog>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMessageBox>
#include <QPointer>
#include <QPrintPreviewDialog>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTreeView>
#include <QUuid>

namespace {

TEST_F(EnginePlugin, TheContentsOpenAViewerAtTheDefaultTopicAndCloseAllClosesEveryViewer)
{
    const platform::HWND h = call(chm, HH_DISPLAY_TOC);
    ASSERT_GT(h, 0);
    QWidget* window = FakeHost::windows[h];
    ASSERT_NE(window, nullptr);
    EXPECT_TRUE(window->isVisible());
    EXPECT_EQ(window->windowTitle(), QStringLiteral("M740-RT Updater Help"));
    ASSERT_NE(part<QTreeView>(h, "contents"), nullptr);
    EXPECT_EQ(rows(part<QTreeView>(h, "contents")).size(), 6);
    EXPECT_EQ(topicOf(h), "/intro.htm");
    EXPECT_EQ(call(chm + "::/cable.htm>main", HH_DISPLAY_TOPIC), h) << "the same window type, the same window";
    EXPECT_EQ(topicOf(h), "/cable.htm");

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

TEST_F(EnginePlugin, TheWindowTypeMainIsTheFilesAndAnUnknownOneIsMinusOne)
{
    const HH_WINTYPE* main = winType(chm + ">MAIN");
    ASSERT_NE(main, nullptr);
    EXPECT_EQ(main->cbStruct, static_cast<int32_t>(sizeof(HH_WINTYPE)));
    EXPECT_STREQ(main->pszType, "main");
    EXPECT_STREQ(main->pszCaption, "M740-RT Updater Help");
    EXPECT_STREQ(main->pszHome, "intro.htm");
    EXPECT_EQ(main->rcWindowPos.right, 960);
    for (const std::string& spec : {chm + ">nosuch", chm, std::string("/nonexistent.chm>main")})
        EXPECT_EQ(winType(spec), nullptr) << spec;
    for (QWidget* w : QApplication::topLevelWidgets())
        EXPECT_FALSE(qobject_cast<QMessageBox*>(w) && w->isVisible()) << "asking shows nothing";
}

TEST_F(EnginePlugin, ATrackingWindowTypeNotifiesTheCallerOfItsNavigation)
{
    storeTrackingType("tracked", {100, 120, 700, 620});
    // The engine's own record stored back: its strings are copied onto themselves.
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
    EXPECT_EQ(FakeHost::windows[h]->pos(), QPoint(100, 120));
    EXPECT_EQ(FakeHost::windows[h]->size(), QSize(600, 500));
}

TEST_F(EnginePlugin, TheCallerMayCloseEverythingFromANotification)
{
    storeTrackingType("closer", {100, 120, 700, 620});
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

TEST_F(EnginePlugin, ContextAndSearchRequests)
{
    const platform::HWND h = call(chm, HH_HELP_CONTEXT, 1006);
    ASSERT_GT(h, 0);
    EXPECT_EQ(topicOf(h), "/troubleshooting.htm");

    HH_FTS_QUERY query{static_cast<int32_t>(sizeof(HH_FTS_QUERY)), 0, "dialout", -1, 0, 0, 1, nullptr};
    EXPECT_EQ(call(chm, HH_DISPLAY_SEARCH, reinterpret_cast<uintptr_t>(&query)), h);
    EXPECT_EQ(answered(part<QAbstractItemView>(h, "searchResults")), QStringList{"Serial ports on Linux"});

    EXPECT_EQ(call(chm, HH_HELP_CONTEXT, 4242), 0) << "not in the map";
}

TEST_F(EnginePlugin, ATextPopupShowsItsTextInTheGivenFont)
{
    HH_POPUP popup{};
    popup.cbStruct = sizeof(HH_POPUP);
    popup.pszText = "Press Update to start";
    popup.pt = {400, 200};
    popup.clrForeground = 0x0000FF; // red
    popup.pszFont = "MS Sans Serif, 8, 1, bold underline";
    const platform::HWND h = htmlHelp(0, "", HH_DISPLAY_TEXT_POPUP, reinterpret_cast<uintptr_t>(&popup));
    ASSERT_GT(h, 0);
    auto* label = part<QLabel>(h, "popupText");
    ASSERT_NE(label, nullptr);
    EXPECT_EQ(label->text(), QStringLiteral("Press Update to start"));
    EXPECT_EQ(label->font().families().value(0), QStringLiteral("MS Sans Serif"));
    EXPECT_EQ(label->font().pointSize(), 8);
    EXPECT_TRUE(label->font().bold());
    EXPECT_TRUE(label->font().underline());
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

} // namespace

// ---- the viewer on other help files ----

namespace {

const std::string german = std::string(KPX_HELP_TEST_DIR) + "/deutsch.chm";

// Receives what the viewer hands to the desktop; nothing is launched.
class DesktopRecorder : public QObject {
    Q_OBJECT
public:
    QList<QUrl> opened;
public slots:
    void open(const QUrl& url) { opened << url; }
};

} // namespace

class GermanViewer : public EnginePlugin {
protected:
    platform::HWND show(const std::string& topic)
    {
        const platform::HWND h = call(german + "::/" + topic, HH_DISPLAY_TOPIC);
        browser = part<QTextBrowser>(h, "topic");
        return h;
    }
    QTextBrowser* browser = nullptr;
};

TEST_F(GermanViewer, CaptionContentsIndexAndPagesReadInTheFilesLanguage)
{
    const platform::HWND h = show("haupt.htm");
    ASSERT_GT(h, 0);
    EXPECT_EQ(FakeHost::windows[h]->windowTitle(), QStringLiteral("Größen-Hilfe"));
    auto* contents = part<QTreeView>(h, "contents");
    EXPECT_EQ(rows(contents), (QStringList{"Größe", "Dritte Seite", "Nach draußen"}));
    const QModelIndex first = contents->model()->index(0, 0);
    EXPECT_EQ(contents->model()->index(0, 0, first).data().toString(), QStringLiteral("Übung auf der Straße"));
    EXPECT_EQ(rows(part<QAbstractItemView>(h, "index")), (QStringList{"Käfer", "Größe", "Übung"}));

    const std::pair<const char*, const char*> pages[] = {
        {"haupt.htm", "Die Größe des Maikäfers."}, // no charset: the file's Windows-1252
        {"zweit.htm", "Auf der Straße läuft"},      // declares UTF-8
        {"drei.htm", "Łódź liegt in Polen."},       // declares Windows-1250
    };
    for (const auto& [page, text] : pages) {
        show(page);
        EXPECT_TRUE(browser->toPlainText().contains(QString::fromUtf8(text))) << page;
    }
    EXPECT_FALSE(visible(part<QLabel>(h, "notice")));
}

// Every name a topic may give for a file outside the help file is asked for
// and refused: none is read. The file out there holds a marker nothing else
// holds, so any read of it shows (reading /dev/zero or /dev/stdin would
// never end).
TEST_F(GermanViewer, NothingOutsideTheHelpFileIsLoaded)
{
    show("draussen.htm");
    ASSERT_NE(browser, nullptr);
    EXPECT_TRUE(browser->toPlainText().contains(QStringLiteral("Bilder von außerhalb")));
    EXPECT_FALSE(browser->toPlainText().contains(QStringLiteral("Skript lief"))) << "scripts do not run";

    // In the current folder too, for names taken relative to it.
    QTemporaryDir outside;
    ASSERT_TRUE(outside.isValid());
    const QString marker = QStringLiteral("kpx-outside-") + QUuid::createUuid().toString(QUuid::Id128);
    const QString path = outside.filePath(QStringLiteral("outside.htm"));
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(("<p>" + marker + "</p>").toUtf8());
    file.close();
    const struct Back {
        QString folder = QDir::currentPath();
        ~Back() { QDir::setCurrent(folder); }
    } back;
    QDir::setCurrent(outside.path());

    const QString names[] = {path,
                             QUrl::fromLocalFile(path).toString(),
                             QStringLiteral("../../../../../../../../../..") + path,
                             QDir(QStringLiteral(KPX_HELP_TEST_DIR)).relativeFilePath(path),
                             QStringLiteral("outside.htm"),
                             QStringLiteral("/dev/zero"),
                             QStringLiteral("/dev/stdin"),
                             QStringLiteral("http://example.invalid/pixel.png"),
                             QStringLiteral("ms-its:") + path + QStringLiteral("::/x.htm"),
                             QStringLiteral("mk:@MSITStore:/dev/zero::/x.htm")};
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

TEST_F(GermanViewer, WebAndMailLinksReachTheDesktopOnlyWhenTheReaderAgrees)
{
    DesktopRecorder desktop;
    QDesktopServices::setUrlHandler(QStringLiteral("http"), &desktop, "open");
    QDesktopServices::setUrlHandler(QStringLiteral("mailto"), &desktop, "open");
    show("draussen.htm");
    const QUrl web(QStringLiteral("http://example.invalid/"));
    const QUrl mail(QStringLiteral("mailto:service@example.invalid"));
    for (const auto& [url, answer] : {std::pair{web, QMessageBox::Cancel}, std::pair{web, QMessageBox::Open},
                                      std::pair{mail, QMessageBox::Open}}) {
        browser->setSource(url);
        auto* ask = topLevel<QMessageBox>("kpxHelpExternalLink");
        if (!ask) // window-modal boxes are children of the viewer
            ask = FakeHost::windows.begin()->second->findChild<QMessageBox*>(QStringLiteral("kpxHelpExternalLink"));
        ASSERT_NE(ask, nullptr) << url.toString().toStdString();
        EXPECT_TRUE(ask->text().contains(url.toString()));
        ask->button(answer)->click();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    }
    QDesktopServices::unsetUrlHandler(QStringLiteral("http"));
    QDesktopServices::unsetUrlHandler(QStringLiteral("mailto"));
    EXPECT_EQ(desktop.opened, (QList<QUrl>{web, mail}));
}

TEST_F(GermanViewer, AKeywordWithSeveralTopicsOffersTheTopicsFound)
{
    const platform::HWND h = show("drei.htm");
    activate(part<QAbstractItemView>(h, "index"), 0); // "Käfer": two topics
    auto* chooser = FakeHost::windows[h]->findChild<QDialog*>(QStringLiteral("topicsFound"));
    ASSERT_NE(chooser, nullptr);
    EXPECT_TRUE(visible(chooser));
    auto* list = chooser->findChild<QListWidget*>(QStringLiteral("topicsFoundList"));
    EXPECT_EQ(rows(list), (QStringList{"Größe und Maße", "Zweite Seite"}));
    list->setCurrentRow(1);
    emit list->itemActivated(list->item(1));
    EXPECT_EQ(browser->source().path(), QStringLiteral("/zweit.htm"));
    EXPECT_FALSE(visible(chooser));

    // The same through a keyword lookup, spelt otherwise.
    HH_AKLINK link{static_cast<int32_t>(sizeof(HH_AKLINK)), 0, "KAEFER", nullptr, nullptr, nullptr, nullptr, 0};
    EXPECT_EQ(call(german, HH_KEYWORD_LOOKUP, reinterpret_cast<uintptr_t>(&link)), h);
    QDialog* second = nullptr;
    for (auto* d : FakeHost::windows[h]->findChildren<QDialog*>(QStringLiteral("topicsFound")))
        second = visible(d) ? d : second;
    ASSERT_NE(second, nullptr);
    EXPECT_EQ(second->findChild<QListWidget*>(QStringLiteral("topicsFoundList"))->count(), 2);
}

// Find in the topic: next, previous, round the end, and not found; the
// print preview opens (printing itself: viewer_faults_test.cpp).
TEST_F(GermanViewer, FindInTheTopicAndPrintPreview)
{
    const platform::HWND h = show("zweit.htm");
    QWidget* window = FakeHost::windows[h];
    window->findChild<QAction*>(QStringLiteral("Find in Topic"))->trigger();
    EXPECT_TRUE(visible(part<QWidget>(h, "findBar")));
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

    window->findChild<QAction*>(QStringLiteral("Preview"))->trigger();
    auto* preview = window->findChild<QPrintPreviewDialog*>();
    ASSERT_NE(preview, nullptr);
    EXPECT_TRUE(visible(preview));
    preview->reject();
}

#include "engine_plugin_test.moc"
