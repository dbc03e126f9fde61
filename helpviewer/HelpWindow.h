// The help viewer window: a navigation pane (contents, index, search) beside
// the topic, with back, forward, home, locate, print and find in the page.
// One window per window type.
#pragma once

#include "help/HtmlHelpApi.h"
#include "helpviewer/EngineServices.h"

#include <QUrl>
#include <QWidget>

#include <memory>
#include <string>
#include <utility>
#include <vector>

class QAction;
class QCheckBox;
class QLabel;
class QLineEdit;
class QListView;
class QModelIndex;
class QPrinter;
class QPushButton;
class QSplitter;
class QTabWidget;
class QToolBar;
class QTreeView;

namespace kpxhelp {

class HelpBrowser;
class ContentsModel;
class IndexModel;
class TopicListModel;

class HelpWindow : public QWidget {
public:
    static constexpr const char* kScheme = "kpxchm";

    HelpWindow(EngineServices& engine, std::string typeName);
    ~HelpWindow() override;

    const std::string& typeName() const { return typeName_; }
    platform::HWND handle() const { return handle_; }
    void setHandle(platform::HWND handle) { handle_ = handle; }

    // Shows `file`'s contents and index, and a notice when it is damaged;
    // keeps the window's history.
    void setFile(const std::shared_ptr<HelpFile>& file);
    const std::shared_ptr<HelpFile>& file() const { return file_; }

    // Caption, toolbar, on-top state and, with `place`, position and size.
    void applyType(const HH_WINTYPE* type, const std::string& fallbackCaption, bool place);

    // Shows a topic: a path inside the current file ("intro.htm",
    // "/a/b.htm#part") or a link into another file ("other.chm::/x.htm",
    // "ms-its:other.chm::/x.htm").
    void showLink(const std::string& link);
    void showHome();
    bool hasTopic() const;
    // The topic shown, as "file.chm::/topic.htm", or empty.
    std::string currentUrlText() const;

    void showContentsTab();
    void showIndexTab(const std::string& keyword);
    void showSearchTab(const std::string& query, bool titleOnly, bool run);
    // Selects the contents entry of `link`; false, with a word to the
    // reader, when the contents do not lead there.
    bool syncTo(const std::string& link);
    void setNavigationVisible(bool visible);
    // Lets the reader choose one of several topics (title, link) found for
    // one keyword; shows nothing for none and the topic itself for one.
    void chooseTopic(const std::vector<chm::SitemapLink>& topics);

    // A topic of another help file named by a help-file link, resolved
    // against the folder of the file shown: the file (null when it cannot
    // be opened) and the path inside it.
    std::pair<std::shared_ptr<HelpFile>, std::string> otherFileTopic(const std::string& link, std::string& error);
    // Hands a web or mail link to the desktop once the reader agreed.
    void askToOpenExternally(const QUrl& url);

    // Internal URL of a topic of an open file, and the text form callers see.
    static QUrl topicUrl(const HelpFile& file, const std::string& path, const std::string& fragment = {});
    std::string urlText(const QUrl& url) const;
    // The open file an internal URL names, or null.
    std::shared_ptr<HelpFile> fileOf(const QUrl& url) const;

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    void buildUi();
    void buildFindBar(QWidget* parent);
    void track(int32_t action);
    void indexKeywordEdited(const QString& text);
    void openIndexItem(const QModelIndex& item);
    void runSearch();
    void showSearchAnswer(const std::string& notice, const chm::SearchResult& result);
    void openSearchItem(const QModelIndex& item);
    void sourceChanged(const QUrl& url);
    void markSearchHits(const QUrl& shown);
    void findInPage(bool backward);
    void print(bool preview);
    void printTo(QPrinter* printer);

    EngineServices& engine_;
    std::string typeName_;
    platform::HWND handle_ = 0;
    std::shared_ptr<HelpFile> file_;
    std::string home_; // the window type's home topic, in the file homeFile_ names
    int homeFile_ = 0;
    bool programmatic_ = false;
    std::vector<chm::SearchTerm> marking_; // the last search's words, marked in topics opened from its list
    QUrl markedTopic_;
    unsigned searchNumber_ = 0; // the search whose answer the list waits for
    std::unique_ptr<QPrinter> printer_;

    QToolBar* toolBar_ = nullptr;
    QAction* hideAction_ = nullptr;
    QAction* backAction_ = nullptr;
    QAction* forwardAction_ = nullptr;
    QAction* homeAction_ = nullptr;
    QAction* syncAction_ = nullptr;
    QAction* printAction_ = nullptr;
    QAction* previewAction_ = nullptr;
    QAction* findAction_ = nullptr;
    QLabel* notice_ = nullptr;
    QSplitter* splitter_ = nullptr;
    QWidget* navigation_ = nullptr;
    QTabWidget* tabs_ = nullptr;
    QTreeView* contents_ = nullptr;
    ContentsModel* contentsModel_ = nullptr;
    QLabel* locateStatus_ = nullptr;
    QLineEdit* indexKeyword_ = nullptr;
    QListView* index_ = nullptr;
    IndexModel* indexModel_ = nullptr;
    QLineEdit* searchQuery_ = nullptr;
    QCheckBox* titlesOnly_ = nullptr;
    QPushButton* stopSearch_ = nullptr;
    QListView* searchResults_ = nullptr;
    TopicListModel* resultsModel_ = nullptr;
    HelpBrowser* browser_ = nullptr;
    QWidget* findBar_ = nullptr;
    QLineEdit* findText_ = nullptr;
    QLabel* findStatus_ = nullptr;
};

} // namespace kpxhelp
