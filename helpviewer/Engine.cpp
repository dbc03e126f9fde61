// The HTML Help engine plugin: its two exports and the state behind them.
// Everything runs on the host's GUI thread, inside the host's QApplication.

#include "help/EngineHost.h"
#include "helpviewer/EngineServices.h"
#include "helpviewer/HelpWindow.h"
#include "helpviewer/FileSpec.h"
#include "helpviewer/TextPopup.h"
#include "helpviewer/WindowTypes.h"
#include "helpviewer/chm/Encoding.h"
#include "helpviewer/chm/Html.h"

#include <QApplication>
#include <QCursor>
#include <QFileInfo>
#include <QMessageBox>
#include <QPointer>

#include <algorithm>
#include <filesystem>
#include <map>
#include <system_error>
#include <type_traits>
#include <vector>

namespace kpxhelp {

namespace {

QString tr(const char* text) { return QCoreApplication::translate("KpxHelp", text); }

// 8-bit text from a caller: UTF-8 when it is valid UTF-8, else Latin-1.
QString decode8(const char* text)
{
    if (!text)
        return {};
    const QByteArray bytes(text);
    QString utf8 = QString::fromUtf8(bytes);
    if (!utf8.contains(QChar::ReplacementCharacter))
        return utf8;
    return QString::fromLatin1(bytes);
}

QString fromBytes(const std::string& s) { return QString::fromUtf8(s.data(), static_cast<qsizetype>(s.size())); }

std::string cstr(uintptr_t data)
{
    const char* s = reinterpret_cast<const char*>(data);
    return s ? std::string(s) : std::string();
}

std::vector<std::string> splitKeywords(const char* keywords)
{
    std::vector<std::string> out;
    const std::string all = keywords ? keywords : "";
    size_t start = 0;
    while (start <= all.size()) {
        size_t end = all.find(';', start);
        if (end == std::string::npos)
            end = all.size();
        std::string k = chm::collapseSpace(all.substr(start, end - start));
        if (!k.empty())
            out.push_back(std::move(k));
        start = end + 1;
    }
    return out;
}

// The text of `id` in a text-only popup file: ".topic <id>" lines, each
// followed by its text.
std::string popupFileText(const std::string& contents, uint32_t id)
{
    std::string text;
    bool inTopic = false;
    size_t start = 0;
    while (start < contents.size()) {
        size_t end = contents.find('\n', start);
        if (end == std::string::npos)
            end = contents.size();
        std::string line = contents.substr(start, end - start);
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        start = end + 1;
        if (line.rfind(".topic", 0) == 0) {
            if (inTopic)
                break;
            char* rest = nullptr;
            const std::string number = chm::collapseSpace(line.substr(6));
            const unsigned long value = std::strtoul(number.c_str(), &rest, 0);
            inTopic = !number.empty() && rest && *rest == '\0' && value == id;
            continue;
        }
        if (inTopic)
            text += (text.empty() ? std::string() : std::string("\n")) + line;
    }
    return text;
}

// The title of a topic as its page gives it, else its file name.
std::string topicTitle(const HelpFile& file, const std::string& path)
{
    const auto html = file.chm->read(path);
    std::string title = html ? chm::htmlTitle(chm::htmlToUtf8(*html, file.chm->encoding())) : std::string();
    return title.empty() ? path.substr(path.rfind('/') + 1) : title;
}

} // namespace

class Engine final : public EngineServices {
public:
    static Engine& instance()
    {
        static Engine engine;
        return engine;
    }

    void attach(const KpxHelpHost* host)
    {
        hostAttached_ = host && host->size >= sizeof(KpxHelpHost);
        host_ = hostAttached_ ? *host : KpxHelpHost{};
    }

    platform::HWND call(platform::HWND caller, const char* file, uint32_t command, uintptr_t data)
    {
        const HelpSpec spec = parseSpec(file ? file : "");
        switch (command) {
        case HH_GET_WIN_TYPE:
            return getWinType(spec, data);
        case HH_SET_WIN_TYPE:
            return setWinType(data);
        case HH_GET_WIN_HANDLE: {
            HelpWindow* w = existingWindow(spec.window);
            return w ? w->handle() : 0;
        }
        default:
            break;
        }
        if (!qobject_cast<QApplication*>(QCoreApplication::instance()))
            return 0; // windows need the host's QApplication
        if (cleanupFor_ != QCoreApplication::instance()) {
            // Our widgets must go while the application still exists; at
            // unload it usually does not any more.
            cleanupFor_ = QCoreApplication::instance();
            qAddPostRoutine([] { instance().destroyWidgets(); });
        }
        switch (command) {
        case HH_CLOSE_ALL:
            closeAll();
            return 1;
        case HH_DISPLAY_TEXT_POPUP:
            return popup(caller, spec, data);
        case HH_DISPLAY_TOPIC:
        case HH_DISPLAY_TOC:
        case HH_DISPLAY_INDEX:
        case HH_DISPLAY_SEARCH:
        case HH_SYNC:
        case HH_HELP_CONTEXT:
        case HH_KEYWORD_LOOKUP:
        case HH_ALINK_LOOKUP:
            return display(caller, spec, command, data);
        default:
            return 0;
        }
    }

    // EngineServices

    std::shared_ptr<HelpFile> openFile(const std::string& path, std::string& error) override
    {
        std::error_code ec;
        const std::string key = std::filesystem::absolute(path, ec).lexically_normal().string();
        const QFileInfo info(fromBytes(key));
        const auto stamp = std::make_pair(info.lastModified().toMSecsSinceEpoch(), info.size());
        if (auto it = files_.find(key); it != files_.end() && it->second.stamp == stamp)
            return it->second.file;

        auto chm = chm::ChmFile::open(key, error);
        if (!chm)
            return nullptr;
        auto file = std::make_shared<HelpFile>();
        file->id = nextFileId_++;
        file->path = key;
        std::string contentsDamage, indexDamage;
        file->contents = chm->contents(&contentsDamage);
        file->index = chm->index(&indexDamage);
        for (const std::string& damage : {chm->damage(), contentsDamage, indexDamage})
            if (!damage.empty())
                file->damage += (file->damage.empty() ? "" : " ") + damage;
        file->chm = std::move(chm);
        // A file replaced on disk gets a new id; windows still showing the
        // old one keep reading it.
        files_[key] = {file, stamp};
        byId_[file->id] = file;
        return file;
    }

    std::shared_ptr<HelpFile> fileById(int id) override
    {
        auto it = byId_.find(id);
        return it == byId_.end() ? nullptr : it->second;
    }

    void windowEvent(HelpWindow* window, uint32_t code, const std::string& text, int32_t action) override
    {
        if (!hostAttached_ || !host_.sendMessage || !window)
            return;
        const auto& file = window->file();
        HH_WINTYPE* type = types_.resolve(window->typeName(), file ? file->path : std::string(),
                                          file ? file->chm.get() : nullptr);
        if (!type || !(type->fsWinProperties & HHWIN_PROP_TRACKING) || type->hwndCaller == 0)
            return;
        const platform::HWND caller = type->hwndCaller;
        const auto id = static_cast<uint32_t>(type->idNotify);
        if (host_.isWindow && !host_.isWindow(caller))
            return;
        const std::string url = text; // the receiver may navigate and change `text`
        const platform::NMHDR header{window->handle(), id, code};
        if (code == HHN_TRACK) {
            HHNTRACK track{header, url.c_str(), action, type};
            host_.sendMessage(caller, platform::WM_NOTIFY, id, reinterpret_cast<platform::LPARAM>(&track));
        } else {
            HHN_NOTIFY notify{header, url.c_str()};
            host_.sendMessage(caller, platform::WM_NOTIFY, id, reinterpret_cast<platform::LPARAM>(&notify));
        }
    }

    void showError(const QString& text, QWidget* parent) override { showMessage(text, tr("Help"), parent); }

private:
    struct OpenFile {
        std::shared_ptr<HelpFile> file;
        std::pair<qint64, qint64> stamp; // modification time, size
    };
    struct Registration {
        platform::HWND handle;
        void (*unregister)(platform::HWND);
    };

    Engine() = default;

    ~Engine() { destroyWidgets(); }

    // The application or the engine is going away: the host's window
    // registry may already be gone, so nothing is unregistered.
    void destroyWidgets()
    {
        registrations_.clear();
        if (!QCoreApplication::instance())
            return; // without the application the widgets cannot be deleted safely
        delete popup_.data();
        for (auto& w : windows_)
            delete w.data();
        for (auto& b : boxes_)
            delete b.data();
        windows_.clear();
        boxes_.clear();
    }

    QWidget* widgetOf(platform::HWND hwnd) const
    {
        if (!hostAttached_ || !host_.widgetOf || hwnd == 0)
            return nullptr;
        return static_cast<QWidget*>(host_.widgetOf(hwnd));
    }

    void showMessage(const QString& text, const QString& caption, QWidget* parent)
    {
        // Not modal and not waiting: the engine is called from the host's
        // event handling and must return to it.
        auto* box = new QMessageBox(QMessageBox::Warning, caption, text, QMessageBox::Ok, parent);
        box->setObjectName(QStringLiteral("kpxHelpMessage"));
        box->setAttribute(Qt::WA_DeleteOnClose);
        box->show();
        boxes_.emplace_back(box);
    }

    platform::HWND registerWidget(QWidget* widget, const char* className)
    {
        platform::HWND handle = 0;
        void (*unregister)(platform::HWND) = nullptr;
        if (hostAttached_ && host_.registerWindow) {
            handle = host_.registerWindow(widget, className);
            unregister = host_.unregisterWindow;
        }
        if (handle == 0) {
            handle = nextHandle_++;
            unregister = nullptr;
        }
        registrations_[widget] = {handle, unregister};
        QObject::connect(widget, &QObject::destroyed, [this](QObject* o) { unregisterWidget(o); });
        return handle;
    }

    void unregisterWidget(QObject* widget)
    {
        auto it = registrations_.find(widget);
        if (it == registrations_.end())
            return;
        const Registration r = it->second;
        registrations_.erase(it);
        if (r.unregister)
            r.unregister(r.handle);
    }

    HelpWindow* existingWindow(const std::string& typeName)
    {
        // One read of each weak pointer: a second could see the window gone.
        for (const auto& w : windows_) {
            HelpWindow* window = w.data();
            if (window && chm::equalsNoCase(window->typeName(), typeName))
                return window;
        }
        return nullptr;
    }

    platform::HWND getWinType(const HelpSpec& spec, uintptr_t data)
    {
        if (spec.window.empty() || data == 0)
            return -1;
        HH_WINTYPE* type = types_.find(spec.window);
        if (!type && !spec.file.empty()) {
            std::string error; // an unreadable file simply has no window types
            if (auto file = openFile(spec.file, error))
                type = types_.resolve(spec.window, file->path, file->chm.get());
        }
        if (!type)
            return -1;
        HelpWindow* w = existingWindow(spec.window);
        type->hwndHelp = w ? w->handle() : 0;
        *reinterpret_cast<const HH_WINTYPE**>(data) = type;
        return type->hwndHelp;
    }

    platform::HWND setWinType(uintptr_t data)
    {
        const auto* record = reinterpret_cast<const HH_WINTYPE*>(data);
        if (!WindowTypes::usable(record))
            return -1;
        HH_WINTYPE* stored = types_.set(*record);
        HelpWindow* w = existingWindow(stored->pszType);
        stored->hwndHelp = w ? w->handle() : 0;
        if (w) // an open window takes the new caption and flags, but stays where the operator put it
            w->applyType(stored, captionFor(w->file()), false);
        return stored->hwndHelp;
    }

    static std::string captionFor(const std::shared_ptr<HelpFile>& file)
    {
        if (!file)
            return {};
        if (!file->chm->system().title.empty())
            return file->chm->system().title;
        return std::filesystem::path(file->path).filename().string();
    }

    platform::HWND display(platform::HWND caller, const HelpSpec& spec, uint32_t command, uintptr_t data)
    {
        std::string fileName = spec.file;
        std::string topic = spec.topic;
        std::string windowName = spec.window;

        const HH_FTS_QUERY* query = nullptr;
        const HH_AKLINK* link = nullptr;
        if (command == HH_DISPLAY_SEARCH && data) {
            query = reinterpret_cast<const HH_FTS_QUERY*>(data);
            if (query->cbStruct < static_cast<int32_t>(sizeof(HH_FTS_QUERY)) || query->fUniCodeStrings)
                return 0;
            if (query->pszWindow && *query->pszWindow)
                windowName = query->pszWindow;
        }
        if (command == HH_ALINK_LOOKUP || command == HH_KEYWORD_LOOKUP) {
            link = reinterpret_cast<const HH_AKLINK*>(data);
            if (!link || link->cbStruct < static_cast<int32_t>(sizeof(HH_AKLINK)))
                return 0;
            if (link->pszWindow && *link->pszWindow)
                windowName = link->pszWindow;
        }
        if (command == HH_DISPLAY_TOPIC && data) {
            const std::string asked = cstr(data);
            if (asked.find("::") != std::string::npos) {
                const HelpSpec inner = parseSpec(asked);
                if (!inner.file.empty())
                    fileName = inner.file;
                topic = inner.topic;
                if (!inner.window.empty())
                    windowName = inner.window;
            } else if (!asked.empty()) {
                topic = asked;
            }
        }
        if (fileName.empty())
            return 0;

        std::string error;
        auto file = openFile(fileName, error);
        if (!file) {
            showError(tr("Cannot open the help file \"%1\".\n%2").arg(fromBytes(fileName), fromBytes(error)),
                      widgetOf(caller));
            return 0;
        }
        if (windowName.empty())
            windowName = file->chm->system().defaultWindow;

        if (command == HH_HELP_CONTEXT) {
            topic = file->chm->topicForContext(static_cast<uint32_t>(data));
            if (topic.empty()) {
                showError(tr("The help file \"%1\" has no topic for the context id %2.")
                              .arg(fromBytes(fileName))
                              .arg(static_cast<uint32_t>(data)),
                          widgetOf(caller));
                return 0;
            }
        }

        std::string indexFallback;
        std::vector<chm::SitemapLink> found;
        if (link) {
            const auto keywords = splitKeywords(link->pszKeywords);
            const chm::Folding folding = file->chm->folding();
            for (const auto& k : keywords) {
                if (command == HH_ALINK_LOOKUP) {
                    for (auto& path : chm::associativeLinks(*file->chm, k))
                        found.push_back({topicTitle(*file, path), path});
                } else {
                    // Keywords compare as the file's readers spell them.
                    const std::string wanted = chm::fold(k, folding);
                    for (const auto& e : file->index)
                        if (chm::fold(e.name, folding) == wanted)
                            found.insert(found.end(), e.links.begin(), e.links.end());
                }
            }
            if (!found.empty()) {
                topic = found.front().local;
            } else if (link->pszUrl && *link->pszUrl) {
                topic = link->pszUrl;
            } else if (link->fIndexOnFail && !keywords.empty()) {
                indexFallback = keywords.front();
            } else {
                if (link->pszMsgText && *link->pszMsgText)
                    showMessage(decode8(link->pszMsgText),
                                link->pszMsgTitle ? decode8(link->pszMsgTitle) : tr("Help"), widgetOf(caller));
                return 0;
            }
        }

        HH_WINTYPE* type = types_.resolve(windowName, file->path, file->chm.get());
        HelpWindow* window = existingWindow(windowName);
        const bool created = window == nullptr;
        if (created) {
            window = new HelpWindow(*this, windowName);
            windows_.emplace_back(window);
            window->setHandle(registerWidget(window, kKpxHelpViewerClass));
        }
        QPointer<HelpWindow> guard(window);
        const bool fileChanged = window->file() != file;
        window->setFile(file);
        window->applyType(type, captionFor(file), created);
        if (type)
            type->hwndHelp = window->handle();
        window->show();
        window->raise();
        window->activateWindow();
        if (created)
            windowEvent(window, HHN_WINDOW_CREATE, windowName, 0);
        if (!guard || !isOpen(window))
            return 0; // closed by the receiver of the notification

        switch (command) {
        case HH_DISPLAY_TOC:
            window->showContentsTab();
            break;
        case HH_DISPLAY_INDEX:
            window->showIndexTab(cstr(data));
            break;
        case HH_DISPLAY_SEARCH:
            window->showSearchTab(query && query->pszSearchQuery ? query->pszSearchQuery : "",
                                  query && query->fTitleOnly, query != nullptr);
            break;
        default:
            if (!indexFallback.empty())
                window->showIndexTab(indexFallback);
            break;
        }
        if (!guard || !isOpen(window))
            return 0;

        if (command == HH_SYNC) {
            const std::string path = data ? cstr(data) : topic;
            if (!window->hasTopic() || fileChanged)
                window->showLink(path.empty() ? file->chm->defaultTopic() : path);
            if (guard && !path.empty())
                window->syncTo(path);
        } else if (found.size() > 1) {
            window->chooseTopic(found);
        } else if (!topic.empty()) {
            window->showLink(topic);
        } else if (!window->hasTopic() || fileChanged) {
            window->showHome();
        }
        // The receiver of a notification may have closed everything meanwhile.
        return guard && isOpen(window) ? window->handle() : 0;
    }

    bool isOpen(const HelpWindow* window) const
    {
        return std::any_of(windows_.begin(), windows_.end(), [window](const auto& w) { return w == window; });
    }

    platform::HWND popup(platform::HWND caller, const HelpSpec& spec, uintptr_t data)
    {
        const auto* record = reinterpret_cast<const HH_POPUP*>(data);
        if (!record || record->cbStruct < static_cast<int32_t>(sizeof(HH_POPUP)))
            return 0;
        QString text;
        if (record->idString == 0) {
            text = decode8(record->pszText);
        } else if (!spec.file.empty() && !spec.topic.empty()) {
            // A text-only popup file inside a help file: "file.chm::/popups.txt".
            std::string error;
            auto file = openFile(spec.file, error);
            if (!file) {
                showError(tr("Cannot open the help file \"%1\".\n%2").arg(fromBytes(spec.file), fromBytes(error)),
                          widgetOf(caller));
                return 0;
            }
            if (auto contents = file->chm->read(chm::resolvePath("/", spec.topic)))
                text = fromBytes(chm::pageStringToUtf8(popupFileText(*contents, record->idString),
                                                       file->chm->encoding()))
                           .trimmed();
        }
        if (popup_)
            popup_->close();
        auto* popup = new TextPopup(text, popupStyle(*record, QApplication::font()));
        popup_ = popup;
        const platform::HWND handle = registerWidget(popup, kKpxHelpPopupClass);
        QPoint at(record->pt.x, record->pt.y);
        if (at.x() == -1 && at.y() == -1)
            at = QCursor::pos();
        popup->showAt(at);
        return handle;
    }

    void closeAll()
    {
        if (popup_)
            popup_->close();
        // Hidden and unregistered now; deleted once control is back in the
        // event loop, in case the call came from inside one of them.
        for (auto& w : windows_) {
            if (!w)
                continue;
            w->hide();
            unregisterWidget(w.data());
            w->deleteLater();
        }
        windows_.clear();
        for (auto& b : boxes_)
            if (b)
                b->close();
        boxes_.clear();
        // The files go with the windows: a large one holds tens of megabytes.
        files_.clear();
        byId_.clear();
    }

    KpxHelpHost host_{};
    bool hostAttached_ = false;
    QCoreApplication* cleanupFor_ = nullptr;
    platform::HWND nextHandle_ = 1;
    int nextFileId_ = 1;
    WindowTypes types_;
    std::map<std::string, OpenFile> files_;
    std::map<int, std::shared_ptr<HelpFile>> byId_;
    std::vector<QPointer<HelpWindow>> windows_;
    QPointer<TextPopup> popup_;
    std::vector<QPointer<QMessageBox>> boxes_;
    std::map<QObject*, Registration> registrations_;
};

} // namespace kpxhelp

extern "C" {

__attribute__((visibility("default"))) platform::HWND HtmlHelpA(platform::HWND caller, const char* file,
                                                                 uint32_t command, uintptr_t data)
{
    try {
        return kpxhelp::Engine::instance().call(caller, file, command, data);
    } catch (...) {
        return 0; // nothing may unwind into the caller
    }
}

__attribute__((visibility("default"))) void kpxHelpEngineAttach(const KpxHelpHost* host)
{
    kpxhelp::Engine::instance().attach(host);
}

} // extern "C"

static_assert(std::is_same_v<decltype(&HtmlHelpA), THtmlHelp>);
static_assert(std::is_same_v<decltype(&kpxHelpEngineAttach), KpxHelpEngineAttachFn>);
