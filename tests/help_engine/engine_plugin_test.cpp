// The engine plugin as the binding uses it: loaded with dlopen, attached to a
// host, driven through HtmlHelpA.
#include "help/HtmlHelpApi.h"
#include "help/engine/EngineHost.h"

#include <QApplication>
#include <QLabel>
#include <QLayout>
#include <QLineEdit>
#include <QListWidget>
#include <QMessageBox>
#include <QTest>
#include <QTextBrowser>
#include <QToolBar>
#include <QTreeWidget>

#include <gtest/gtest.h>

#include <dlfcn.h>

#include <fstream>
#include <functional>
#include <map>
#include <string>
#include <vector>

namespace {

constexpr platform::HWND kCaller = 7; // the host's main window
constexpr int32_t kNotifyId = 86022400;

struct Notification {
    platform::HWND to;
    platform::WPARAM wParam;
    platform::HWND from;
    uint32_t code;
    std::string url;
    int32_t action;
};

// The host side: a window registry and a recorder of delivered messages.
struct FakeHost {
    static inline std::map<platform::HWND, QWidget*> windows;
    static inline std::vector<platform::HWND> unregistered;
    static inline std::vector<Notification> sent;
    static inline platform::HWND next = 1000;
    static inline std::function<void(const Notification&)> onSend;

    static platform::LRESULT sendMessage(platform::HWND to, uint32_t msg, platform::WPARAM w, platform::LPARAM l)
    {
        if (msg != platform::WM_NOTIFY)
            return 1;
        const auto* header = reinterpret_cast<const platform::NMHDR*>(l);
        Notification n{to, w, header->hwndFrom, header->code, {}, -1};
        if (header->code == HHN_TRACK) {
            const auto* track = reinterpret_cast<const HHNTRACK*>(l);
            n.url = track->pszCurUrl ? track->pszCurUrl : "";
            n.action = track->idAction;
        } else {
            const auto* notify = reinterpret_cast<const HHN_NOTIFY*>(l);
            n.url = notify->pszUrl ? notify->pszUrl : "";
        }
        sent.push_back(n);
        if (onSend)
            onSend(n);
        return 0;
    }
    static platform::HWND registerWindow(void* widget, const char*)
    {
        windows[++next] = static_cast<QWidget*>(widget);
        return next;
    }
    static void unregisterWindow(platform::HWND h)
    {
        windows.erase(h);
        unregistered.push_back(h);
    }
    static int isWindow(platform::HWND h) { return h == kCaller || windows.count(h); }
    static void* widgetOf(platform::HWND h) { return windows.count(h) ? windows[h] : nullptr; }

    static constexpr KpxHelpHost record{sizeof(KpxHelpHost), sendMessage, registerWindow, unregisterWindow, isWindow,
                                        widgetOf};
};

class EnginePlugin : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        static int argc = 1;
        static char name[] = "help_engine_tests";
        static char* argv[] = {name, nullptr};
        if (!QApplication::instance())
            new QApplication(argc, argv); // lives until exit, like the host's
        void* lib = dlopen(KPX_TEST_PLUGIN, RTLD_NOW | RTLD_LOCAL);
        ASSERT_NE(lib, nullptr) << dlerror();
        htmlHelp = reinterpret_cast<THtmlHelp>(dlsym(lib, kKpxHelpEntryPointName));
        attach = reinterpret_cast<KpxHelpEngineAttachFn>(dlsym(lib, kKpxHelpAttachName));
        ASSERT_NE(htmlHelp, nullptr);
        ASSERT_NE(attach, nullptr);
    }

    void SetUp() override
    {
        attach(&FakeHost::record);
        FakeHost::sent.clear();
        FakeHost::unregistered.clear();
        FakeHost::onSend = nullptr;
    }
    void TearDown() override
    {
        htmlHelp(0, "", HH_CLOSE_ALL, 0);
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    }

    static platform::HWND call(const std::string& spec, uint32_t command, uintptr_t data = 0)
    {
        return htmlHelp(kCaller, spec.c_str(), command, data);
    }
    template <class T> static T* part(platform::HWND window, const char* name)
    {
        QWidget* w = FakeHost::windows.count(window) ? FakeHost::windows[window] : nullptr;
        return w ? w->findChild<T*>(QLatin1String(name)) : nullptr;
    }
    static std::string topicOf(platform::HWND window)
    {
        auto* browser = part<QTextBrowser>(window, "topic");
        return browser ? browser->source().path().toStdString() : std::string();
    }
    static QMessageBox* messageBox()
    {
        for (QWidget* w : QApplication::topLevelWidgets())
            if (auto* box = qobject_cast<QMessageBox*>(w); box && box->isVisible())
                return box;
        return nullptr;
    }

    static inline const std::string chm = KPX_TEST_CHM;
    static inline THtmlHelp htmlHelp = nullptr;
    static inline KpxHelpEngineAttachFn attach = nullptr;
};

TEST_F(EnginePlugin, TableOfContentsOpensTheViewerAtTheDefaultTopic)
{
    const platform::HWND h = call(chm, HH_DISPLAY_TOC);
    ASSERT_GT(h, 0);
    QWidget* window = FakeHost::windows[h];
    ASSERT_NE(window, nullptr);
    EXPECT_TRUE(window->isVisible());
    EXPECT_EQ(window->windowTitle(), QStringLiteral("M740-RT Updater Help"));
    auto* toc = part<QTreeWidget>(h, "contents");
    ASSERT_NE(toc, nullptr);
    EXPECT_EQ(toc->topLevelItemCount(), 6);
    EXPECT_EQ(toc->topLevelItem(1)->text(0), QStringLiteral("The programming cable"));
    EXPECT_EQ(topicOf(h), "/intro.htm");

    // The same window type reuses the window; links and images resolve inside the file.
    EXPECT_EQ(call(chm + "::/cable.htm>main", HH_DISPLAY_TOPIC), h);
    EXPECT_EQ(topicOf(h), "/cable.htm");
    auto* browser = part<QTextBrowser>(h, "topic");
    EXPECT_FALSE(browser->loadResource(QTextDocument::ImageResource, QUrl("wiring.png")).toByteArray().isEmpty());
    browser->setSource(QUrl("troubleshooting.htm#usb"));
    EXPECT_EQ(topicOf(h), "/troubleshooting.htm");
    browser->setSource(QUrl(QString::fromStdString("ms-its:" + chm + "::/ports.htm")));
    EXPECT_EQ(topicOf(h), "/ports.htm");
}

TEST_F(EnginePlugin, GetWinTypeAnswersTheFilesWindowOrMinusOne)
{
    const HH_WINTYPE* type = nullptr;
    EXPECT_NE(call(chm + ">main", HH_GET_WIN_TYPE, reinterpret_cast<uintptr_t>(&type)), -1);
    ASSERT_NE(type, nullptr);
    EXPECT_STREQ(type->pszType, "main");
    EXPECT_STREQ(type->pszCaption, "M740-RT Updater Help");
    EXPECT_EQ(type->rcWindowPos.right, 960);
    EXPECT_EQ(type->cbStruct, static_cast<int32_t>(sizeof(HH_WINTYPE)));

    const HH_WINTYPE* none = nullptr;
    EXPECT_EQ(call(chm + ">nosuch", HH_GET_WIN_TYPE, reinterpret_cast<uintptr_t>(&none)), -1);
    EXPECT_EQ(call(chm, HH_GET_WIN_TYPE, reinterpret_cast<uintptr_t>(&none)), -1);
    EXPECT_EQ(call("/nonexistent.chm>main", HH_GET_WIN_TYPE, reinterpret_cast<uintptr_t>(&none)), -1);
    EXPECT_EQ(none, nullptr);
    EXPECT_EQ(messageBox(), nullptr); // asking quietly shows nothing
}

TEST_F(EnginePlugin, TrackingWindowTypeNotifiesTheCaller)
{
    // What the application's help socket does before showing a window.
    const HH_WINTYPE* got = nullptr;
    ASSERT_NE(call(chm + ">main", HH_GET_WIN_TYPE, reinterpret_cast<uintptr_t>(&got)), -1);
    HH_WINTYPE type = *got;
    type.fsValidMembers |= HHWIN_PARAM_PROPERTIES | HHWIN_PARAM_RECT;
    type.fsWinProperties |= HHWIN_PROP_TRACKING;
    type.idNotify = kNotifyId;
    type.hwndCaller = kCaller;
    type.rcWindowPos = {100, 120, 700, 620};
    call(chm + ">main", HH_SET_WIN_TYPE, reinterpret_cast<uintptr_t>(&type));

    const platform::HWND h = call(chm + "::/steps.htm>main", HH_DISPLAY_TOPIC);
    ASSERT_GT(h, 0);
    ASSERT_EQ(FakeHost::sent.size(), 2u);
    EXPECT_EQ(FakeHost::sent[0].code, HHN_WINDOW_CREATE);
    EXPECT_EQ(FakeHost::sent[0].url, "main");
    const Notification& nav = FakeHost::sent[1];
    EXPECT_EQ(nav.code, HHN_NAVCOMPLETE);
    EXPECT_EQ(nav.to, kCaller);
    EXPECT_EQ(nav.wParam, static_cast<platform::WPARAM>(kNotifyId));
    EXPECT_EQ(nav.from, h);
    EXPECT_EQ(nav.url, chm + "::/steps.htm");
    QWidget* window = FakeHost::windows[h];
    EXPECT_EQ(window->pos(), QPoint(100, 120));
    EXPECT_EQ(window->size(), QSize(600, 500));

    // The operator goes back: a tracking notification, then the navigation.
    call(chm + "::/cable.htm>main", HH_DISPLAY_TOPIC);
    FakeHost::sent.clear();
    QAction* back = nullptr;
    for (QAction* a : part<QToolBar>(h, "")->actions())
        if (a->text() == QStringLiteral("Back"))
            back = a;
    ASSERT_NE(back, nullptr);
    back->trigger();
    ASSERT_EQ(FakeHost::sent.size(), 2u);
    EXPECT_EQ(FakeHost::sent[0].code, HHN_TRACK);
    EXPECT_EQ(FakeHost::sent[0].action, HHACT_BACK);
    EXPECT_EQ(FakeHost::sent[0].url, chm + "::/cable.htm");
    EXPECT_EQ(FakeHost::sent[1].url, chm + "::/steps.htm");

    // Tracking off, on top on: silence, and the open window stays above others.
    type.fsWinProperties = (type.fsWinProperties & ~HHWIN_PROP_TRACKING) | HHWIN_PROP_ONTOP;
    call(chm + ">main", HH_SET_WIN_TYPE, reinterpret_cast<uintptr_t>(&type));
    FakeHost::sent.clear();
    call(chm + "::/intro.htm>main", HH_DISPLAY_TOPIC);
    EXPECT_TRUE(FakeHost::sent.empty());
    EXPECT_TRUE(window->windowFlags().testFlag(Qt::WindowStaysOnTopHint));
    EXPECT_EQ(window->pos(), QPoint(100, 120)); // storing a type does not move an open window
}

TEST_F(EnginePlugin, StoringTheEnginesOwnRecordOrAnUnusableOne)
{
    // The record handed out may be changed in place and stored back: its
    // strings must survive being copied onto themselves.
    const HH_WINTYPE* got = nullptr;
    ASSERT_NE(call(chm + ">main", HH_GET_WIN_TYPE, reinterpret_cast<uintptr_t>(&got)), -1);
    auto* mine = const_cast<HH_WINTYPE*>(got);
    mine->pszCaption = "Changed caption";
    EXPECT_NE(call(chm + ">main", HH_SET_WIN_TYPE, reinterpret_cast<uintptr_t>(mine)), -1);
    const HH_WINTYPE* again = nullptr;
    ASSERT_NE(call(chm + ">main", HH_GET_WIN_TYPE, reinterpret_cast<uintptr_t>(&again)), -1);
    ASSERT_NE(call(chm + ">main", HH_SET_WIN_TYPE, reinterpret_cast<uintptr_t>(again)), -1);
    EXPECT_STREQ(again->pszCaption, "Changed caption");
    EXPECT_STREQ(again->pszType, "main");
    const platform::HWND h = call(chm, HH_DISPLAY_TOC);
    EXPECT_EQ(FakeHost::windows[h]->windowTitle(), QStringLiteral("Changed caption"));

    HH_WINTYPE bad{};
    bad.cbStruct = 196; // the 32-bit record size
    bad.pszType = "main";
    EXPECT_EQ(call(chm, HH_SET_WIN_TYPE, reinterpret_cast<uintptr_t>(&bad)), -1);
    bad.cbStruct = sizeof(HH_WINTYPE);
    bad.pszType = "";
    EXPECT_EQ(call(chm, HH_SET_WIN_TYPE, reinterpret_cast<uintptr_t>(&bad)), -1);
    EXPECT_EQ(call(chm, HH_SET_WIN_TYPE, 0), -1);

    HH_WINTYPE restore = *again;
    restore.pszCaption = "M740-RT Updater Help";
    call(chm, HH_SET_WIN_TYPE, reinterpret_cast<uintptr_t>(&restore));
}

TEST_F(EnginePlugin, ReceiverMayCloseEverythingFromANotification)
{
    HH_WINTYPE type{};
    type.cbStruct = sizeof(HH_WINTYPE);
    type.pszType = "closer";
    type.fsValidMembers = HHWIN_PARAM_PROPERTIES;
    type.fsWinProperties = HHWIN_PROP_TRACKING | HHWIN_PROP_TRI_PANE;
    type.idNotify = kNotifyId;
    type.hwndCaller = kCaller;
    call(chm, HH_SET_WIN_TYPE, reinterpret_cast<uintptr_t>(&type));
    FakeHost::onSend = [](const Notification& n) {
        if (n.code == HHN_NAVCOMPLETE)
            htmlHelp(0, "", HH_CLOSE_ALL, 0);
    };
    EXPECT_EQ(call(chm + ">closer", HH_DISPLAY_TOC), 0);
    FakeHost::onSend = nullptr;
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_TRUE(FakeHost::windows.empty());
    EXPECT_GT(call(chm + ">closer", HH_DISPLAY_TOC), 0); // and the engine goes on working
}

TEST_F(EnginePlugin, KeywordLookupFallsBackAsTheRecordAsks)
{
    HH_AKLINK link{static_cast<int32_t>(sizeof(HH_AKLINK)), 0, "no such keyword", nullptr, nullptr, nullptr,
                   nullptr, 1};
    const platform::HWND h = call(chm, HH_KEYWORD_LOOKUP, reinterpret_cast<uintptr_t>(&link));
    ASSERT_GT(h, 0);
    EXPECT_EQ(part<QLineEdit>(h, "indexKeyword")->text(), QStringLiteral("no such keyword"));

    link.fIndexOnFail = 0;
    link.pszUrl = "ports.htm";
    EXPECT_EQ(call(chm, HH_ALINK_LOOKUP, reinterpret_cast<uintptr_t>(&link)), h);
    EXPECT_EQ(topicOf(h), "/ports.htm");

    link.pszUrl = nullptr;
    link.pszMsgText = "Nothing about that.";
    link.pszMsgTitle = "Lookup";
    EXPECT_EQ(call(chm, HH_ALINK_LOOKUP, reinterpret_cast<uintptr_t>(&link)), 0);
    ASSERT_NE(messageBox(), nullptr);
    EXPECT_EQ(messageBox()->text(), QStringLiteral("Nothing about that."));
    EXPECT_EQ(messageBox()->windowTitle(), QStringLiteral("Lookup"));
}

TEST_F(EnginePlugin, ContextIndexAndSearchRequests)
{
    platform::HWND h = call(chm, HH_HELP_CONTEXT, 1006);
    ASSERT_GT(h, 0);
    EXPECT_EQ(topicOf(h), "/troubleshooting.htm");

    EXPECT_EQ(call(chm, HH_DISPLAY_TOPIC, reinterpret_cast<uintptr_t>("console.htm")), h);
    EXPECT_EQ(topicOf(h), "/console.htm");
    EXPECT_EQ(call(chm, HH_SYNC, reinterpret_cast<uintptr_t>("window.htm")), h);
    ASSERT_NE(part<QTreeWidget>(h, "contents")->currentItem(), nullptr);
    EXPECT_EQ(part<QTreeWidget>(h, "contents")->currentItem()->text(0), QStringLiteral("The main window"));

    EXPECT_EQ(call(chm, HH_DISPLAY_INDEX, reinterpret_cast<uintptr_t>("Dialout")), h);
    auto* index = part<QListWidget>(h, "index");
    ASSERT_NE(index->currentItem(), nullptr);
    EXPECT_EQ(index->currentItem()->text(), QStringLiteral("dialout group"));

    HH_FTS_QUERY query{static_cast<int32_t>(sizeof(HH_FTS_QUERY)), 0, "dialout", -1, 0, 0, 1, nullptr};
    EXPECT_EQ(call(chm, HH_DISPLAY_SEARCH, reinterpret_cast<uintptr_t>(&query)), h);
    auto* results = part<QListWidget>(h, "searchResults");
    ASSERT_EQ(results->count(), 1);
    EXPECT_EQ(results->item(0)->text(), QStringLiteral("Troubleshooting"));
    query.cbStruct = 32; // a record from a 32-bit layout is refused, not misread
    EXPECT_EQ(call(chm, HH_DISPLAY_SEARCH, reinterpret_cast<uintptr_t>(&query)), 0);

    HH_AKLINK link{static_cast<int32_t>(sizeof(HH_AKLINK)), 0, "nothing;Port in Use", nullptr, nullptr, nullptr,
                   nullptr, 0};
    EXPECT_EQ(call(chm, HH_KEYWORD_LOOKUP, reinterpret_cast<uintptr_t>(&link)), h);
    EXPECT_EQ(topicOf(h), "/messages.htm");

    EXPECT_EQ(call(chm, HH_HELP_CONTEXT, 4242), 0);
    ASSERT_NE(messageBox(), nullptr);
    EXPECT_TRUE(messageBox()->text().contains(QStringLiteral("4242")));
}

TEST_F(EnginePlugin, MissingOrCorruptFileGivesAMessageAndZero)
{
    EXPECT_EQ(call("/nonexistent/KPX Updater.chm", HH_DISPLAY_TOC), 0);
    ASSERT_NE(messageBox(), nullptr);
    EXPECT_TRUE(messageBox()->text().contains(QStringLiteral("does not exist")));
    messageBox()->close();

    const std::string bad = std::string(::testing::TempDir()) + "kpx_corrupt.chm";
    std::ifstream in(chm, std::ios::binary);
    std::string bytes(200, '\0');
    in.read(bytes.data(), 200);
    std::ofstream(bad, std::ios::binary) << bytes;
    EXPECT_EQ(call(bad, HH_DISPLAY_TOPIC), 0);
    ASSERT_NE(messageBox(), nullptr);
    EXPECT_TRUE(messageBox()->text().contains(QString::fromStdString(bad)));
    std::remove(bad.c_str());
}

TEST_F(EnginePlugin, TextPopupShowsTheTextInTheGivenFontAndClosesOnAKey)
{
    HH_POPUP popup{};
    popup.cbStruct = sizeof(HH_POPUP);
    popup.pszText = "Press Update to start";
    popup.pt = {400, 200};
    popup.clrForeground = 0x0000FF; // red
    popup.clrBackground = 0xFFFFFFFF;
    popup.rcMargins = {-1, -1, -1, -1};
    popup.pszFont = "MS Sans Serif, 8, 1, bold underline";
    const platform::HWND h = htmlHelp(0, "", HH_DISPLAY_TEXT_POPUP, reinterpret_cast<uintptr_t>(&popup));
    ASSERT_GT(h, 0);
    QWidget* window = FakeHost::windows[h];
    ASSERT_NE(window, nullptr);
    auto* label = window->findChild<QLabel*>(QStringLiteral("popupText"));
    ASSERT_NE(label, nullptr);
    EXPECT_EQ(label->text(), QStringLiteral("Press Update to start"));
    EXPECT_EQ(label->font().families().value(0), QStringLiteral("MS Sans Serif"));
    EXPECT_EQ(label->font().pointSize(), 8);
    EXPECT_TRUE(label->font().bold());
    EXPECT_TRUE(label->font().underline());
    EXPECT_FALSE(label->font().italic());
    EXPECT_EQ(label->palette().color(QPalette::WindowText), QColor(Qt::red));
    EXPECT_EQ(window->geometry().top(), 200);
    EXPECT_LE(std::abs(window->geometry().center().x() - 400), 1);

    // A face that is not installed, the other spelling of strikeout, own margins.
    popup.pszFont = "No Such Face At All, 12, 0, italic srikeout";
    popup.rcMargins = {3, 3, 3, 3};
    popup.clrForeground = 0xFF000008; // a system colour value, not a COLORREF: default
    const platform::HWND second = htmlHelp(0, "", HH_DISPLAY_TEXT_POPUP, reinterpret_cast<uintptr_t>(&popup));
    ASSERT_GT(second, 0);
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_EQ(FakeHost::windows.count(h), 0u); // one popup at a time
    window = FakeHost::windows[second];
    label = window->findChild<QLabel*>(QStringLiteral("popupText"));
    EXPECT_EQ(label->font().pointSize(), 12);
    EXPECT_TRUE(label->font().italic());
    EXPECT_TRUE(label->font().strikeOut());
    EXPECT_FALSE(label->font().bold());
    EXPECT_EQ(label->font().styleHint(), QFont::SansSerif); // Qt then picks the nearest sans-serif face
    EXPECT_EQ(window->layout()->contentsMargins(), QMargins(3, 3, 3, 3));
    EXPECT_NE(label->palette().color(QPalette::WindowText), QColor(0x08, 0, 0));

    QTest::keyClick(window, Qt::Key_Escape);
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_EQ(FakeHost::windows.count(second), 0u);
    EXPECT_EQ(FakeHost::unregistered.back(), second);
}

TEST_F(EnginePlugin, CloseAllClosesEveryWindow)
{
    const platform::HWND a = call(chm, HH_DISPLAY_TOC);
    const platform::HWND b = call(chm + ">second", HH_DISPLAY_TOC); // a type the file does not define
    ASSERT_GT(a, 0);
    ASSERT_GT(b, 0);
    ASSERT_NE(a, b);
    QWidget* wa = FakeHost::windows[a];
    QWidget* wb = FakeHost::windows[b];
    call("", HH_CLOSE_ALL);
    EXPECT_FALSE(wa->isVisible());
    EXPECT_FALSE(wb->isVisible());
    EXPECT_EQ(FakeHost::windows.count(a) + FakeHost::windows.count(b), 0u);
    QPointer<QWidget> gone(wa);
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_TRUE(gone.isNull());
}

TEST_F(EnginePlugin, WithoutAHostHandlesAreTheEnginesOwn)
{
    attach(nullptr);
    const platform::HWND h = call(chm, HH_DISPLAY_TOC);
    EXPECT_GT(h, 0);
    EXPECT_LT(h, 1000);
    EXPECT_TRUE(FakeHost::windows.empty());
    EXPECT_TRUE(FakeHost::sent.empty());
}

} // namespace
