#include "helpviewer/HelpWindow.h"

#include "helpviewer/FileSpec.h"
#include "helpviewer/PaneModels.h"
#include "helpviewer/chm/Encoding.h"
#include "helpviewer/chm/Html.h"

#include <QAction>
#include <QCheckBox>
#include <QCloseEvent>
#include <QDesktopServices>
#include <QDialog>
#include <QDialogButtonBox>
#include <QHBoxLayout>
#include <QImage>
#include <QKeySequence>
#include <QLabel>
#include <QLineEdit>
#include <QListView>
#include <QListWidget>
#include <QMessageBox>
#include <QPrintDialog>
#include <QPrintPreviewDialog>
#include <QPrinter>
#include <QPushButton>
#include <QSplitter>
#include <QStyle>
#include <QTabWidget>
#include <QTextBlock>
#include <QTextBrowser>
#include <QTextDocumentFragment>
#include <QTimer>
#include <QToolBar>
#include <QTreeView>
#include <QVBoxLayout>

#include <filesystem>
#include <map>
#include <tuple>

namespace kpxhelp {

namespace {

QString fromBytes(const std::string& s) { return QString::fromUtf8(s.data(), static_cast<qsizetype>(s.size())); }

std::string toBytes(const QString& s) { return s.toUtf8().toStdString(); }

QString errorPage(const QString& title, const QString& text)
{
    return QStringLiteral("<html><head><title>%1</title></head><body><h2>%1</h2><p>%2</p></body></html>")
        .arg(title.toHtmlEscaped(), text.toHtmlEscaped());
}

// Splits "a/b.htm#part" into the path and the fragment.
std::pair<std::string, std::string> splitFragment(const std::string& link)
{
    const auto hash = link.find('#');
    if (hash == std::string::npos)
        return {link, {}};
    return {link.substr(0, hash), link.substr(hash + 1)};
}

} // namespace

// Shows topics straight from the help file. Every page, image and style
// sheet comes from inside a help file: this one, or another one a link names
// with "ms-its:" or "mk:@MSITStore:". Anything else a page refers to (local
// paths, "file:", devices, the network) is refused before the file system is
// touched; a link to the web or to mail is handed to the desktop only after
// the reader agreed. Pages run no scripts: this browser has none.
class HelpBrowser : public QTextBrowser {
public:
    HelpBrowser(HelpWindow& window, QWidget* parent) : QTextBrowser(parent), window_(window)
    {
        setOpenLinks(true);
        setOpenExternalLinks(false);
    }

    QVariant loadResource(int type, const QUrl& name) override
    {
        QUrl url = name;
        if (url.isRelative() && !isHelpFileLink(url.toString()) && source().isValid())
            url = source().resolved(url);
        if (url.scheme() == QLatin1String("data"))
            return {}; // the data is in the page itself; the document decodes it
        std::shared_ptr<HelpFile> file;
        std::string path;
        if (url.scheme() == QLatin1String(HelpWindow::kScheme)) {
            file = window_.fileOf(url);
            path = toBytes(url.path());
        } else if (isHelpFileLink(url.toString())) {
            std::string error; // a missing file is a missing resource
            std::tie(file, path) = window_.otherFileTopic(toBytes(name.toString()), error);
        } else {
            return refuse(type, name);
        }
        const std::string stored = chm::resolvePath("/", path);
        std::optional<std::string> bytes;
        if (file)
            bytes = file->chm->read(stored);
        if (!bytes) {
            // A page the file lists but cannot give whole is not shown as
            // if it were: the reader learns why it is missing.
            if (type == QTextDocument::HtmlResource && file && file->chm->contains(stored))
                return errorPage(tr("Topic cannot be read"),
                                 tr("The topic %1 cannot be read: the help file is damaged.").arg(fromBytes(path)));
            if (type == QTextDocument::HtmlResource)
                return errorPage(tr("Topic not found"),
                                 tr("The topic %1 is not in the help file.").arg(fromBytes(path)));
            return emptyResource(type);
        }
        // Pages and style sheets are text in the file's code page unless
        // they declare their own charset.
        if (type == QTextDocument::HtmlResource || type == QTextDocument::StyleSheetResource)
            return fromBytes(chm::htmlToUtf8(*bytes, file->chm->encoding()));
        return QByteArray(bytes->data(), static_cast<qsizetype>(bytes->size()));
    }

protected:
    void doSetSource(const QUrl& name, QTextDocument::ResourceType type) override
    {
        const QString text = name.toString();
        const QString scheme = name.scheme().toLower();
        if (scheme == QLatin1String(HelpWindow::kScheme)) {
            QTextBrowser::doSetSource(name, type);
        } else if (isHelpFileLink(text)) {
            window_.showLink(toBytes(text)); // a topic of another help file
        } else if (name.isRelative()) {
            // Paths, from the root too, lead into this help file, never to the disk.
            if (source().isValid())
                QTextBrowser::doSetSource(source().resolved(name), type);
        } else if (scheme == QLatin1String("http") || scheme == QLatin1String("https") ||
                   scheme == QLatin1String("mailto")) {
            window_.askToOpenExternally(name);
        }
        // Any other scheme (local files, devices, scripts) is not followed.
    }

private:
    static bool isHelpFileLink(const QString& text)
    {
        return text.startsWith(QLatin1String("ms-its:"), Qt::CaseInsensitive) ||
               text.startsWith(QLatin1String("mk:@MSITStore:"), Qt::CaseInsensitive) ||
               (text.contains(QLatin1String("::")) && !text.contains(QLatin1String("://")));
    }

    static QVariant refuse(int type, const QUrl& name)
    {
        if (type == QTextDocument::HtmlResource)
            return errorPage(tr("Page not available"),
                             tr("The link %1 does not lead into the help file.").arg(name.toString()));
        return emptyResource(type);
    }

    // Never a null variant: for a null one the document would go and look
    // for the name on the local disk itself.
    static QVariant emptyResource(int type)
    {
        if (type == QTextDocument::ImageResource) {
            QImage nothing(1, 1, QImage::Format_ARGB32_Premultiplied);
            nothing.fill(Qt::transparent);
            return nothing;
        }
        if (type == QTextDocument::StyleSheetResource)
            return QString(QLatin1String(" "));
        return QByteArray(" ");
    }

    HelpWindow& window_;
};

HelpWindow::HelpWindow(EngineServices& engine, std::string typeName)
    : QWidget(nullptr, Qt::Window), engine_(engine), typeName_(std::move(typeName))
{
    setObjectName(QStringLiteral("kpxHelpWindow"));
    buildUi();
    resize(900, 640);
}

HelpWindow::~HelpWindow() = default;

void HelpWindow::buildUi()
{
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);

    toolBar_ = new QToolBar(this);
    toolBar_->setToolButtonStyle(Qt::ToolButtonTextUnderIcon);
    hideAction_ = toolBar_->addAction(style()->standardIcon(QStyle::SP_ToolBarHorizontalExtensionButton), tr("Hide"));
    backAction_ = toolBar_->addAction(style()->standardIcon(QStyle::SP_ArrowBack), tr("Back"));
    forwardAction_ = toolBar_->addAction(style()->standardIcon(QStyle::SP_ArrowForward), tr("Forward"));
    homeAction_ = toolBar_->addAction(style()->standardIcon(QStyle::SP_DirHomeIcon), tr("Home"));
    syncAction_ = toolBar_->addAction(style()->standardIcon(QStyle::SP_BrowserReload), tr("Locate"));
    printAction_ = toolBar_->addAction(style()->standardIcon(QStyle::SP_DialogSaveButton), tr("Print"));
    previewAction_ = toolBar_->addAction(style()->standardIcon(QStyle::SP_FileDialogContentsView), tr("Preview"));
    findAction_ = new QAction(tr("Find in Topic"), this);
    findAction_->setShortcut(QKeySequence::Find);
    findAction_->setShortcutContext(Qt::WindowShortcut);
    addAction(findAction_);
    const std::pair<QAction*, const char*> names[] = {
        {hideAction_, "Hide"},         {backAction_, "Back"},       {forwardAction_, "Forward"},
        {homeAction_, "Home"},         {syncAction_, "Locate"},     {printAction_, "Print"},
        {previewAction_, "Preview"},   {findAction_, "Find in Topic"}};
    for (const auto& [action, name] : names)
        action->setObjectName(QLatin1String(name));
    backAction_->setEnabled(false);
    forwardAction_->setEnabled(false);
    layout->addWidget(toolBar_);

    notice_ = new QLabel(this);
    notice_->setObjectName(QStringLiteral("notice"));
    notice_->setWordWrap(true);
    notice_->setMargin(6);
    notice_->setStyleSheet(QStringLiteral("background: #fff3c4; color: #4a3b00;"));
    notice_->hide();
    layout->addWidget(notice_);

    splitter_ = new QSplitter(Qt::Horizontal, this);
    layout->addWidget(splitter_, 1);

    // The tabs, and below them what Locate has to say.
    navigation_ = new QWidget(splitter_);
    auto* navigationLayout = new QVBoxLayout(navigation_);
    navigationLayout->setContentsMargins(0, 0, 0, 0);
    tabs_ = new QTabWidget(navigation_);
    tabs_->setObjectName(QStringLiteral("navigation"));
    navigationLayout->addWidget(tabs_, 1);

    contents_ = new QTreeView;
    contents_->setObjectName(QStringLiteral("contents"));
    contents_->setHeaderHidden(true);
    contents_->setUniformRowHeights(true);
    contents_->setEditTriggers(QAbstractItemView::NoEditTriggers);
    tabs_->addTab(contents_, tr("Contents"));
    locateStatus_ = new QLabel(navigation_);
    locateStatus_->setObjectName(QStringLiteral("locateStatus"));
    locateStatus_->setWordWrap(true);
    locateStatus_->setMargin(4);
    locateStatus_->hide();
    navigationLayout->addWidget(locateStatus_);
    connect(tabs_, &QTabWidget::currentChanged, locateStatus_, &QWidget::hide);

    auto* indexPage = new QWidget;
    auto* indexLayout = new QVBoxLayout(indexPage);
    indexLayout->addWidget(new QLabel(tr("Type in the keyword to find:"), indexPage));
    indexKeyword_ = new QLineEdit(indexPage);
    indexKeyword_->setObjectName(QStringLiteral("indexKeyword"));
    indexLayout->addWidget(indexKeyword_);
    index_ = new QListView(indexPage);
    index_->setObjectName(QStringLiteral("index"));
    index_->setUniformItemSizes(true);
    index_->setEditTriggers(QAbstractItemView::NoEditTriggers);
    indexLayout->addWidget(index_, 1);
    auto* indexShow = new QPushButton(tr("Display"), indexPage);
    indexLayout->addWidget(indexShow, 0, Qt::AlignRight);
    tabs_->addTab(indexPage, tr("Index"));

    auto* searchPage = new QWidget;
    auto* searchLayout = new QVBoxLayout(searchPage);
    searchLayout->addWidget(new QLabel(tr("Type in the word(s) to search for:"), searchPage));
    searchQuery_ = new QLineEdit(searchPage);
    searchQuery_->setObjectName(QStringLiteral("searchQuery"));
    searchLayout->addWidget(searchQuery_);
    auto* searchButtons = new QHBoxLayout;
    titlesOnly_ = new QCheckBox(tr("Search titles only"), searchPage);
    auto* listTopics = new QPushButton(tr("List Topics"), searchPage);
    stopSearch_ = new QPushButton(tr("Stop"), searchPage);
    stopSearch_->setObjectName(QStringLiteral("stopSearch"));
    stopSearch_->setEnabled(false);
    searchButtons->addWidget(titlesOnly_);
    searchButtons->addStretch(1);
    searchButtons->addWidget(listTopics);
    searchButtons->addWidget(stopSearch_);
    searchLayout->addLayout(searchButtons);
    searchResults_ = new QListView(searchPage);
    searchResults_->setObjectName(QStringLiteral("searchResults"));
    searchResults_->setUniformItemSizes(true);
    searchResults_->setEditTriggers(QAbstractItemView::NoEditTriggers);
    resultsModel_ = new TopicListModel(searchResults_);
    searchResults_->setModel(resultsModel_);
    searchLayout->addWidget(searchResults_, 1);
    auto* searchShow = new QPushButton(tr("Display"), searchPage);
    searchLayout->addWidget(searchShow, 0, Qt::AlignRight);
    tabs_->addTab(searchPage, tr("Search"));

    auto* topicPane = new QWidget(splitter_);
    auto* topicLayout = new QVBoxLayout(topicPane);
    topicLayout->setContentsMargins(0, 0, 0, 0);
    topicLayout->setSpacing(0);
    browser_ = new HelpBrowser(*this, topicPane);
    browser_->setObjectName(QStringLiteral("topic"));
    // Lines break between words only, as in a web browser: a word wider than
    // the line, or text a style keeps on its line (white-space: nowrap, which
    // the document turns into no-break spaces), runs on rather than being cut
    // at any character.
    browser_->setWordWrapMode(QTextOption::WordWrap);
    topicLayout->addWidget(browser_, 1);
    buildFindBar(topicPane);
    topicLayout->addWidget(findBar_);
    splitter_->setStretchFactor(0, 0);
    splitter_->setStretchFactor(1, 1);
    splitter_->setSizes({240, 660});

    connect(hideAction_, &QAction::triggered, this, [this] {
        const bool hiding = navigation_->isVisible();
        track(hiding ? HHACT_CONTRACT : HHACT_EXPAND);
        setNavigationVisible(!hiding);
    });
    connect(backAction_, &QAction::triggered, this, [this] {
        track(HHACT_BACK);
        browser_->backward();
    });
    connect(forwardAction_, &QAction::triggered, this, [this] {
        track(HHACT_FORWARD);
        browser_->forward();
    });
    connect(homeAction_, &QAction::triggered, this, [this] {
        track(HHACT_HOME);
        showHome();
    });
    connect(syncAction_, &QAction::triggered, this, [this] {
        track(HHACT_SYNC);
        showContentsTab();
        if (browser_->source().isValid())
            syncTo(toBytes(browser_->source().path()));
    });
    connect(contents_, &QAbstractItemView::pressed, locateStatus_, &QWidget::hide);
    connect(printAction_, &QAction::triggered, this, [this] {
        track(HHACT_PRINT);
        print(false);
    });
    connect(previewAction_, &QAction::triggered, this, [this] { print(true); });
    connect(findAction_, &QAction::triggered, this, [this] {
        findBar_->show();
        findText_->setFocus();
        findText_->selectAll();
    });
    connect(browser_, &QTextBrowser::backwardAvailable, backAction_, &QAction::setEnabled);
    connect(browser_, &QTextBrowser::forwardAvailable, forwardAction_, &QAction::setEnabled);
    connect(browser_, &QTextBrowser::sourceChanged, this, [this](const QUrl& url) { sourceChanged(url); });

    connect(tabs_, &QTabWidget::currentChanged, this, [this](int tab) {
        if (!programmatic_)
            track(tab == 0 ? HHACT_TAB_CONTENTS : tab == 1 ? HHACT_TAB_INDEX : HHACT_TAB_SEARCH);
    });
    const auto openContentsItem = [this](const QModelIndex& item) {
        const QString link = item.data(LinkRole).toString();
        if (!link.isEmpty())
            showLink(toBytes(link));
    };
    connect(contents_, &QAbstractItemView::activated, this, openContentsItem);
    connect(contents_, &QAbstractItemView::clicked, this, openContentsItem);

    connect(indexKeyword_, &QLineEdit::textEdited, this, [this](const QString& t) { indexKeywordEdited(t); });
    connect(indexKeyword_, &QLineEdit::returnPressed, this, [this] { openIndexItem(index_->currentIndex()); });
    connect(index_, &QAbstractItemView::activated, this, [this](const QModelIndex& item) { openIndexItem(item); });
    connect(indexShow, &QPushButton::clicked, this, [this] { openIndexItem(index_->currentIndex()); });

    connect(searchQuery_, &QLineEdit::returnPressed, this, [this] { runSearch(); });
    connect(listTopics, &QPushButton::clicked, this, [this] { runSearch(); });
    connect(stopSearch_, &QPushButton::clicked, this, [this] {
        if (file_)
            file_->search().stop();
    });
    connect(searchResults_, &QAbstractItemView::activated, this,
            [this](const QModelIndex& item) { openSearchItem(item); });
    connect(searchShow, &QPushButton::clicked, this, [this] { openSearchItem(searchResults_->currentIndex()); });
}

void HelpWindow::setFile(const std::shared_ptr<HelpFile>& file)
{
    if (file_ == file || !file)
        return;
    file_ = file;
    QAbstractItemModel* oldContents = contentsModel_;
    QAbstractItemModel* oldIndex = indexModel_;
    contentsModel_ = new ContentsModel(file_, style()->standardIcon(QStyle::SP_DirIcon),
                                       style()->standardIcon(QStyle::SP_FileIcon), this);
    indexModel_ = new IndexModel(file_, this);
    contents_->setModel(contentsModel_);
    index_->setModel(indexModel_);
    delete oldContents;
    delete oldIndex;
    locateStatus_->hide();
    ++searchNumber_; // an answer still coming is for the other file
    stopSearch_->setEnabled(false);
    resultsModel_->setRows({});
    notice_->setText(fromBytes(file_->damage) + QLatin1Char(' ') + tr("What could be read from it is shown."));
    notice_->setVisible(!file_->damage.empty());
    // While the reader looks at the first topic, the file's worker opens
    // its search index, so the first search answers at once.
    constexpr int kPrepareSearchAfterMs = 500;
    QTimer::singleShot(kPrepareSearchAfterMs, this, [shown = std::weak_ptr<HelpFile>(file_)] {
        if (auto f = shown.lock())
            f->search().prepare();
    });
}

void HelpWindow::applyType(const HH_WINTYPE* type, const std::string& fallbackCaption, bool place)
{
    const bool props = type && (type->fsValidMembers & HHWIN_PARAM_PROPERTIES);
    const uint32_t properties = props ? type->fsWinProperties : 0;
    std::string caption = type && type->pszCaption && *type->pszCaption ? type->pszCaption : fallbackCaption;
    setWindowTitle(fromBytes(caption));

    const bool onTop = (properties & HHWIN_PROP_ONTOP) != 0;
    if (onTop != windowFlags().testFlag(Qt::WindowStaysOnTopHint)) {
        const bool wasVisible = isVisible();
        setWindowFlag(Qt::WindowStaysOnTopHint, onTop);
        if (wasVisible)
            show();
    }

    toolBar_->setVisible(!(properties & HHWIN_PROP_NO_TOOLBAR));
    if (type && (type->fsValidMembers & HHWIN_PARAM_TB_FLAGS)) {
        const uint32_t tb = type->fsToolBarFlags;
        hideAction_->setVisible(tb & HHWIN_BUTTON_EXPAND);
        backAction_->setVisible(tb & HHWIN_BUTTON_BACK);
        forwardAction_->setVisible(tb & HHWIN_BUTTON_FORWARD);
        homeAction_->setVisible(tb & HHWIN_BUTTON_HOME);
        syncAction_->setVisible(tb & HHWIN_BUTTON_SYNC);
    }
    if (type && ((type->pszHome && *type->pszHome) || (type->pszFile && *type->pszFile))) {
        home_ = type->pszHome && *type->pszHome ? type->pszHome : type->pszFile;
        homeFile_ = file_ ? file_->id : 0;
    }

    if (!place || !type)
        return;
    if (type->fsValidMembers & HHWIN_PARAM_RECT) {
        const auto& r = type->rcWindowPos;
        if (r.right > r.left && r.bottom > r.top) {
            move(r.left, r.top);
            resize(r.right - r.left, r.bottom - r.top);
        }
    }
    if ((type->fsValidMembers & HHWIN_PARAM_NAV_WIDTH) && type->iNavWidth > 0)
        splitter_->setSizes({type->iNavWidth, std::max(width() - type->iNavWidth, 100)});
    if (props && !(properties & HHWIN_PROP_TRI_PANE))
        setNavigationVisible(false);
    else if ((type->fsValidMembers & HHWIN_PARAM_EXPANSION) && type->fNotExpanded)
        setNavigationVisible(false);
    if (type->fsValidMembers & HHWIN_PARAM_CUR_TAB) {
        programmatic_ = true;
        tabs_->setCurrentIndex(std::clamp(type->curNavType, 0, 2));
        programmatic_ = false;
    }
}

void HelpWindow::setNavigationVisible(bool visible)
{
    navigation_->setVisible(visible);
    hideAction_->setText(visible ? tr("Hide") : tr("Show"));
}

QUrl HelpWindow::topicUrl(const HelpFile& file, const std::string& path, const std::string& fragment)
{
    QUrl url;
    url.setScheme(QLatin1String(kScheme));
    url.setHost(QStringLiteral("f%1").arg(file.id));
    url.setPath(fromBytes(path));
    if (!fragment.empty())
        url.setFragment(fromBytes(fragment));
    return url;
}

std::string HelpWindow::urlText(const QUrl& url) const
{
    const std::shared_ptr<HelpFile> file = fileOf(url);
    if (!file)
        return toBytes(url.toString());
    std::string text = file->path + "::" + toBytes(url.path());
    if (url.hasFragment())
        text += "#" + toBytes(url.fragment());
    return text;
}

std::pair<std::shared_ptr<HelpFile>, std::string> HelpWindow::otherFileTopic(const std::string& link,
                                                                              std::string& error)
{
    const HelpSpec spec = parseSpec(link);
    std::filesystem::path target(spec.file);
    if (target.is_relative() && file_)
        target = std::filesystem::path(file_->path).parent_path() / target;
    // Only help files: a topic must not get any other file read, even to
    // find out that it is none.
    if (!chm::equalsNoCase(target.extension().string(), ".chm")) {
        error = "The link does not name a help file.";
        return {};
    }
    auto other = engine_.openFile(target.lexically_normal().string(), error);
    return {other, other ? splitFragment(spec.topic).first : std::string()};
}

void HelpWindow::showLink(const std::string& link)
{
    if (!file_)
        return;
    if (link.find("::") != std::string::npos) {
        std::string error;
        const auto other = otherFileTopic(link, error).first;
        const HelpSpec spec = parseSpec(link);
        if (!other) {
            engine_.showError(tr("Cannot open the help file \"%1\".\n%2").arg(fromBytes(spec.file), fromBytes(error)),
                              this);
            return;
        }
        setFile(other);
        showLink(spec.topic.empty() ? other->chm->defaultTopic() : spec.topic);
        return;
    }
    auto [path, fragment] = splitFragment(link);
    std::string resolved = chm::resolvePath("/", path);
    const std::string stored = file_->chm->canonical(resolved);
    browser_->setSource(topicUrl(*file_, stored.empty() ? resolved : stored, fragment),
                        QTextDocument::HtmlResource);
}

// The window type's home belongs to the file it came with; any other file
// shown has its own default topic.
void HelpWindow::showHome()
{
    if (file_)
        showLink(home_.empty() || homeFile_ != file_->id ? file_->chm->defaultTopic() : home_);
}

bool HelpWindow::hasTopic() const { return browser_->source().isValid(); }

std::string HelpWindow::currentUrlText() const
{
    return browser_->source().isValid() ? urlText(browser_->source()) : std::string();
}

void HelpWindow::showContentsTab()
{
    setNavigationVisible(true);
    programmatic_ = true;
    tabs_->setCurrentIndex(0);
    programmatic_ = false;
}

void HelpWindow::showIndexTab(const std::string& keyword)
{
    setNavigationVisible(true);
    programmatic_ = true;
    tabs_->setCurrentIndex(1);
    programmatic_ = false;
    if (!keyword.empty()) {
        indexKeyword_->setText(fromBytes(keyword));
        indexKeywordEdited(indexKeyword_->text());
    }
    indexKeyword_->setFocus();
}

void HelpWindow::showSearchTab(const std::string& query, bool titleOnly, bool run)
{
    setNavigationVisible(true);
    programmatic_ = true;
    tabs_->setCurrentIndex(2);
    programmatic_ = false;
    titlesOnly_->setChecked(titleOnly);
    if (!query.empty())
        searchQuery_->setText(fromBytes(query));
    if (run && !query.empty())
        runSearch();
    searchQuery_->setFocus();
}

void HelpWindow::indexKeywordEdited(const QString& text)
{
    if (!indexModel_)
        return;
    const int row = indexModel_->find(text);
    if (row < 0)
        return;
    const QModelIndex item = indexModel_->index(row);
    index_->setCurrentIndex(item);
    index_->scrollTo(item, QAbstractItemView::PositionAtTop);
}

void HelpWindow::openIndexItem(const QModelIndex& item)
{
    if (!item.isValid())
        return;
    const QString seeAlso = item.data(SeeAlsoRole).toString();
    const QStringList links = item.data(LinksRole).toStringList();
    if (links.isEmpty() && !seeAlso.isEmpty()) {
        indexKeyword_->setText(seeAlso);
        indexKeywordEdited(seeAlso);
        return;
    }
    const QStringList titles = item.data(TitlesRole).toStringList();
    std::vector<chm::SitemapLink> topics;
    for (qsizetype i = 0; i < links.size(); ++i)
        topics.push_back({toBytes(titles.value(i, links[i])), toBytes(links[i])});
    chooseTopic(topics);
}

void HelpWindow::chooseTopic(const std::vector<chm::SitemapLink>& topics)
{
    if (topics.size() == 1)
        showLink(topics.front().local);
    if (topics.size() <= 1)
        return;
    // Not waited for: the host's thread may be running an update.
    auto* dialog = new QDialog(this);
    dialog->setObjectName(QStringLiteral("topicsFound"));
    dialog->setWindowTitle(tr("Topics Found"));
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    auto* layout = new QVBoxLayout(dialog);
    layout->addWidget(new QLabel(tr("Click a topic, then click Display."), dialog));
    auto* list = new QListWidget(dialog);
    list->setObjectName(QStringLiteral("topicsFoundList"));
    // Where titles repeat, each row also says where its topic stands.
    std::map<std::string, int> titleCount;
    for (const auto& t : topics)
        ++titleCount[t.title.empty() ? t.local : t.title];
    for (const auto& t : topics) {
        const std::string& title = t.title.empty() ? t.local : t.title;
        QString text = fromBytes(title);
        if (titleCount[title] > 1) {
            const QString place = contentsModel_ ? contentsModel_->placeOf(t.local) : QString();
            text += QStringLiteral("  —  ") + (place.isEmpty() ? fromBytes(t.local) : place);
        }
        auto* row = new QListWidgetItem(text, list);
        row->setData(LinkRole, fromBytes(t.local));
    }
    list->setCurrentRow(0);
    layout->addWidget(list);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Cancel, dialog);
    buttons->addButton(tr("Display"), QDialogButtonBox::AcceptRole);
    layout->addWidget(buttons);
    auto display = [this, dialog, list] {
        const QString link = list->currentItem() ? list->currentItem()->data(LinkRole).toString() : QString();
        dialog->close();
        if (!link.isEmpty())
            showLink(toBytes(link));
    };
    connect(buttons, &QDialogButtonBox::accepted, dialog, display);
    connect(buttons, &QDialogButtonBox::rejected, dialog, &QDialog::close);
    connect(list, &QListWidget::itemActivated, dialog, display);
    dialog->open();
}

void HelpWindow::runSearch()
{
    if (!file_)
        return;
    const unsigned number = ++searchNumber_;
    resultsModel_->setMessage(tr("Searching..."));
    stopSearch_->setEnabled(true);
    // Answered on a worker thread: the host's thread may be running an update.
    file_->search().start(
        this, toBytes(searchQuery_->text()), titlesOnly_->isChecked(),
        [this, number](const FileSearch::Answer& answer) {
            if (number == searchNumber_)
                showSearchAnswer(answer.notice, answer.result);
        },
        [this, number] {
            if (number == searchNumber_)
                resultsModel_->setMessage(tr("Preparing the search of this help file..."));
        });
}

void HelpWindow::showSearchAnswer(const std::string& notice, const chm::SearchResult& result)
{
    stopSearch_->setEnabled(false);
    marking_ = result.terms;
    if (!notice.empty()) {
        notice_->setText((file_->damage.empty() ? QString() : fromBytes(file_->damage) + QLatin1Char(' ')) +
                         fromBytes(notice));
        notice_->show();
    }
    std::vector<TopicListModel::Row> rows;
    rows.reserve(result.hits.size() + 1);
    if (result.cancelled)
        rows.push_back({tr("The search was stopped; the topics found so far:"), {}, {}});
    for (const auto& hit : result.hits)
        rows.push_back({fromBytes(hit.title), fromBytes(hit.path), tr("%n match(es)", nullptr, static_cast<int>(hit.score))});
    if (result.hits.empty())
        rows.push_back({result.cancelled ? tr("The search was stopped before it found a topic.") : tr("No topics found."), {}, {}});
    resultsModel_->setRows(std::move(rows));
    if (!result.hits.empty())
        searchResults_->setCurrentIndex(resultsModel_->index(result.cancelled ? 1 : 0));
}

void HelpWindow::openSearchItem(const QModelIndex& item)
{
    if (!item.isValid() || !file_)
        return;
    const QString link = item.data(LinkRole).toString();
    if (link.isEmpty())
        return;
    const std::string path = chm::resolvePath("/", toBytes(link));
    const std::string stored = file_->chm->canonical(path);
    markedTopic_ = topicUrl(*file_, stored.empty() ? path : stored);
    if (browser_->source().adjusted(QUrl::RemoveFragment) == markedTopic_)
        markSearchHits(browser_->source());
    else
        showLink(toBytes(link));
}

// Marks the search's words in `shown`, the topic now in the browser, when
// it was opened from the results. Words are cut as the search cuts them.
void HelpWindow::markSearchHits(const QUrl& shown)
{
    QList<QTextEdit::ExtraSelection> marks;
    if (file_ && shown.adjusted(QUrl::RemoveFragment) == markedTopic_) {
        QTextCharFormat format;
        format.setBackground(QColor(0xFF, 0xE0, 0x4D));
        format.setForeground(Qt::black);
        const chm::Folding folding = file_->chm->folding();
        for (QTextBlock block = browser_->document()->begin(); block.isValid(); block = block.next()) {
            const QString text = block.text();
            const std::string utf8 = toBytes(text);
            chm::forEachWord(utf8, [&](std::string_view word, size_t begin, size_t end) {
                if (!chm::matchesTerm(chm::fold(word, folding), marking_))
                    return;
                // Byte offsets into UTF-8 as positions in the block's UTF-16 text.
                const auto from = QString::fromUtf8(utf8.data(), static_cast<qsizetype>(begin)).size();
                const auto to = from + QString::fromUtf8(word.data(), static_cast<qsizetype>(end - begin)).size();
                QTextCursor cursor(block);
                cursor.setPosition(block.position() + static_cast<int>(from));
                cursor.setPosition(block.position() + static_cast<int>(to), QTextCursor::KeepAnchor);
                marks.append({cursor, format});
            });
        }
    }
    browser_->setExtraSelections(marks);
}

void HelpWindow::buildFindBar(QWidget* parent)
{
    findBar_ = new QWidget(parent);
    findBar_->setObjectName(QStringLiteral("findBar"));
    auto* layout = new QHBoxLayout(findBar_);
    layout->setContentsMargins(4, 2, 4, 2);
    layout->addWidget(new QLabel(tr("Find:"), findBar_));
    findText_ = new QLineEdit(findBar_);
    findText_->setObjectName(QStringLiteral("findText"));
    layout->addWidget(findText_, 1);
    auto* previous = new QPushButton(tr("Previous"), findBar_);
    previous->setObjectName(QStringLiteral("findPrevious"));
    auto* next = new QPushButton(tr("Next"), findBar_);
    next->setObjectName(QStringLiteral("findNext"));
    auto* close = new QPushButton(tr("Close"), findBar_);
    findStatus_ = new QLabel(findBar_);
    findStatus_->setObjectName(QStringLiteral("findStatus"));
    layout->addWidget(previous);
    layout->addWidget(next);
    layout->addWidget(findStatus_);
    layout->addWidget(close);
    findBar_->hide();

    auto* findNext = new QAction(this);
    findNext->setShortcut(QKeySequence::FindNext);
    auto* findPrevious = new QAction(this);
    findPrevious->setShortcut(QKeySequence::FindPrevious);
    addAction(findNext);
    addAction(findPrevious);
    connect(findNext, &QAction::triggered, this, [this] { findInPage(false); });
    connect(findPrevious, &QAction::triggered, this, [this] { findInPage(true); });
    connect(next, &QPushButton::clicked, this, [this] { findInPage(false); });
    connect(previous, &QPushButton::clicked, this, [this] { findInPage(true); });
    connect(findText_, &QLineEdit::returnPressed, this, [this] { findInPage(false); });
    connect(close, &QPushButton::clicked, this, [this] {
        findBar_->hide();
        browser_->setFocus();
    });
}

// Looks for the find bar's text from the selection on, going round the
// topic's end once.
void HelpWindow::findInPage(bool backward)
{
    const QString text = findText_->text();
    findStatus_->clear();
    if (text.isEmpty())
        return;
    const QTextDocument::FindFlags flags = backward ? QTextDocument::FindBackward : QTextDocument::FindFlags();
    if (browser_->find(text, flags))
        return;
    QTextCursor cursor = browser_->textCursor();
    cursor.movePosition(backward ? QTextCursor::End : QTextCursor::Start);
    browser_->setTextCursor(cursor);
    if (!browser_->find(text, flags))
        findStatus_->setText(tr("Not found"));
}

// Print and its preview are shown without waiting for them, since the
// host's thread may be running an update.
void HelpWindow::print(bool preview)
{
    if (!printer_)
        printer_ = std::make_unique<QPrinter>(QPrinter::HighResolution);
    printer_->setDocName(windowTitle());
    if (preview) {
        auto* dialog = new QPrintPreviewDialog(printer_.get(), this);
        dialog->setAttribute(Qt::WA_DeleteOnClose);
        connect(dialog, &QPrintPreviewDialog::paintRequested, this, [this](QPrinter* p) { printTo(p); });
        dialog->open();
        return;
    }
    auto* dialog = new QPrintDialog(printer_.get(), this);
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    if (browser_->textCursor().hasSelection())
        dialog->setOption(QAbstractPrintDialog::PrintSelection);
    connect(dialog, qOverload<QPrinter*>(&QPrintDialog::accepted), this, [this](QPrinter* p) { printTo(p); });
    dialog->open();
}

// The page is laid out as on the screen, 96 CSS pixels to the inch, and
// scaled onto the printer: laid out on the printer itself, a style's pixel
// would be a printer dot and 14 px text a speck.
void HelpWindow::printTo(QPrinter* printer)
{
    std::unique_ptr<QTextDocument> document;
    const QTextCursor selection = browser_->textCursor();
    if (printer->printRange() == QPrinter::Selection && selection.hasSelection()) {
        document = std::make_unique<QTextDocument>(browser_);
        QTextCursor(document.get()).insertFragment(selection.selection());
    } else {
        document.reset(browser_->document()->clone(browser_));
    }
    constexpr int kCssPixelsPerInch = 96;
    document->setPageSize(printer->pageLayout().paintRectPixels(kCssPixelsPerInch).size());
    document->print(printer);
}

void HelpWindow::askToOpenExternally(const QUrl& url)
{
    auto* box = new QMessageBox(QMessageBox::Question, tr("Open Link"),
                                tr("This link leads out of the help file:\n%1\n\nOpen it with the desktop's program?")
                                    .arg(url.toString()),
                                QMessageBox::Open | QMessageBox::Cancel, this);
    box->setObjectName(QStringLiteral("kpxHelpExternalLink"));
    box->setDefaultButton(QMessageBox::Cancel);
    box->setAttribute(Qt::WA_DeleteOnClose);
    connect(box, &QMessageBox::finished, this, [url](int answer) {
        if (answer == QMessageBox::Open)
            QDesktopServices::openUrl(url);
    });
    box->open();
}

bool HelpWindow::syncTo(const std::string& link)
{
    const QModelIndex item = contentsModel_ ? contentsModel_->find(splitFragment(link).first) : QModelIndex();
    if (!item.isValid()) {
        contents_->clearSelection();
        contents_->setCurrentIndex({});
        locateStatus_->setText(tr("This topic is not in the contents."));
        locateStatus_->show();
        return false;
    }
    locateStatus_->hide();
    contents_->setCurrentIndex(item);
    contents_->scrollTo(item);
    return true;
}

std::shared_ptr<HelpFile> HelpWindow::fileOf(const QUrl& url) const
{
    if (url.scheme() != QLatin1String(kScheme) || !url.host().startsWith(QLatin1Char('f')))
        return nullptr;
    return engine_.fileById(url.host().mid(1).toInt());
}

void HelpWindow::sourceChanged(const QUrl& url)
{
    // Back and Forward may return to a topic of another help file: the
    // panes and Home follow the topic shown.
    if (auto shown = fileOf(url))
        setFile(shown);
    markSearchHits(url); // source() may still name the previous topic here
    if (contentsModel_) {
        const QModelIndex item = contentsModel_->find(toBytes(url.path()));
        if (item.isValid())
            contents_->setCurrentIndex(item);
    }
    engine_.windowEvent(this, HHN_NAVCOMPLETE, urlText(url), 0);
}

void HelpWindow::track(int32_t action) { engine_.windowEvent(this, HHN_TRACK, currentUrlText(), action); }

void HelpWindow::closeEvent(QCloseEvent* event)
{
    // Closing only hides: the window keeps its history and handle until the
    // engine closes everything.
    event->accept();
    hide();
}

} // namespace kpxhelp
