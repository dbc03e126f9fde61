// The engine plugin as the binding uses it: loaded with dlopen, attached to a
// host, driven through HtmlHelpA.
#include "help/HtmlHelpApi.h"
#include "help/engine/EngineHost.h"

#include <QApplication>
#include <QLabel>
#include <QListWidget>
#include <QMessageBox>
#include <QPointer>
#include <QTextBrowser>
#include <QTreeWidget>

#include <gtest/gtest.h>

#include <dlfcn.h>

#include <functional>
#include <map>

namespace {

constexpr platform::HWND kCaller = 7; // the host's main window
constexpr int32_t kNotifyId = 86022400;

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
        ASSERT_NE(htmlHelp, nullptr);
        reinterpret_cast<KpxHelpEngineAttachFn>(dlsym(lib, kKpxHelpAttachName))(&FakeHost::record);
    }
    void SetUp() override { FakeHost::sent.clear(); }
    void TearDown() override
    {
        FakeHost::onSend = nullptr;
        htmlHelp(0, "", HH_CLOSE_ALL, 0);
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    }

    static platform::HWND call(const std::string& spec, uint32_t command, uintptr_t data = 0)
    {
        return htmlHelp(kCaller, spec.c_str(), command, data);
    }
    template <class T>
    static T* part(platform::HWND window, const char* name)
    {
        QWidget* w = FakeHost::windows.count(window) ? FakeHost::windows[window] : nullptr;
        return w ? w->findChild<T*>(QLatin1String(name)) : nullptr;
    }
    static std::string topicOf(platform::HWND window)
    {
        auto* browser = part<QTextBrowser>(window, "topic");
        return browser ? browser->source().path().toStdString() : std::string();
    }
    static const HH_WINTYPE* winType(const std::string& spec)
    {
        const HH_WINTYPE* type = nullptr;
        return call(spec, HH_GET_WIN_TYPE, reinterpret_cast<uintptr_t>(&type)) == -1 ? nullptr : type;
    }
    // What the application's help socket does before showing a window: the
    // file's main window, reporting to the caller, stored under a new name.
    static void storeTrackingType(const char* name, platform::RECT rect)
    {
        const HH_WINTYPE* main = winType(chm + ">main");
        ASSERT_NE(main, nullptr);
        HH_WINTYPE type = *main;
        type.pszType = name;
        type.fsValidMembers |= HHWIN_PARAM_PROPERTIES | HHWIN_PARAM_RECT;
        type.fsWinProperties |= HHWIN_PROP_TRACKING;
        type.idNotify = kNotifyId;
        type.hwndCaller = kCaller;
        type.rcWindowPos = rect;
        ASSERT_NE(call(chm, HH_SET_WIN_TYPE, reinterpret_cast<uintptr_t>(&type)), -1);
    }

    static inline const std::string chm = KPX_TEST_CHM;
    static inline THtmlHelp htmlHelp = nullptr;
};

TEST_F(EnginePlugin, TheContentsOpenAViewerAtTheDefaultTopicAndCloseAllClosesEveryViewer)
{
    const platform::HWND h = call(chm, HH_DISPLAY_TOC);
    ASSERT_GT(h, 0);
    QWidget* window = FakeHost::windows[h];
    ASSERT_NE(window, nullptr);
    EXPECT_TRUE(window->isVisible());
    EXPECT_EQ(window->windowTitle(), QStringLiteral("M740-RT Updater Help"));
    ASSERT_NE(part<QTreeWidget>(h, "contents"), nullptr);
    EXPECT_EQ(part<QTreeWidget>(h, "contents")->topLevelItemCount(), 6);
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
    auto* results = part<QListWidget>(h, "searchResults");
    ASSERT_EQ(results->count(), 1);
    EXPECT_EQ(results->item(0)->text(), QStringLiteral("Troubleshooting"));

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
