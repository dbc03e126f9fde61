// The viewer plugin as the binding uses it: loaded with dlopen, attached to
// a fake host that records windows and notifications, driven through
// HtmlHelpA. Shared by the viewer's test files.
#pragma once

#include "help/EngineHost.h"
#include "help/HtmlHelpApi.h"

#include <QAbstractItemView>
#include <QApplication>
#include <QElapsedTimer>
#include <QTextBrowser>

#include <gtest/gtest.h>

#include <dlfcn.h>

#include <functional>
#include <map>
#include <string>
#include <vector>

inline namespace viewer_test {

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

// Lets queued work (a worker's notice) arrive, for at most a few seconds.
inline bool waitFor(const std::function<bool()>& done)
{
    QElapsedTimer timer;
    timer.start();
    while (!done() && timer.elapsed() < 10000)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    return done();
}

inline bool visible(const QWidget* w) { return w && w->isVisible(); }

template <class T>
T* topLevel(const char* objectName)
{
    for (QWidget* w : QApplication::topLevelWidgets())
        if (auto* t = qobject_cast<T*>(w); visible(t) && (!objectName || t->objectName() == objectName))
            return t;
    return nullptr;
}


// The rows a pane shows, as the reader reads them.
inline QStringList rows(const QAbstractItemView* view)
{
    QStringList out;
    const QAbstractItemModel* model = view ? view->model() : nullptr;
    for (int i = 0; model && i < model->rowCount(); ++i)
        out << model->index(i, 0).data().toString().trimmed();
    return out;
}

// The search results once the search has answered (it runs on a worker).
inline QStringList answered(const QAbstractItemView* results)
{
    waitFor([&] {
        const QStringList r = rows(results);
        return r.size() != 1 || !r.front().endsWith(QLatin1String("..."));
    });
    return rows(results);
}

// What a reader's double click on a row does.
inline void activate(QAbstractItemView* view, int row)
{
    const QModelIndex item = view->model()->index(row, 0);
    view->setCurrentIndex(item);
    emit view->activated(item);
}

} // namespace viewer_test
