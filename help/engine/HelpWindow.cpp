#include "help/engine/HelpWindow.h"

#include "help/engine/FileSpec.h"
#include "help/engine/chm/Html.h"

#include <QAction>
#include <QCheckBox>
#include <QCloseEvent>
#include <QDesktopServices>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QSplitter>
#include <QStyle>
#include <QTabWidget>
#include <QTextBrowser>
#include <QToolBar>
#include <QTreeWidget>
#include <QVBoxLayout>

#include <filesystem>

namespace kpxhelp {

namespace {

constexpr int kLinkRole = Qt::UserRole;
constexpr int kSeeAlsoRole = Qt::UserRole + 1;

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

// Shows topics straight from the help file: every page, image and style
// sheet is read from it, and links into other help files are handed to the
// window.
class HelpBrowser : public QTextBrowser {
public:
    HelpBrowser(EngineServices& engine, HelpWindow& window, QWidget* parent)
        : QTextBrowser(parent), engine_(engine), window_(window)
    {
        setOpenLinks(true);
        setOpenExternalLinks(false);
    }

    QVariant loadResource(int type, const QUrl& name) override
    {
        QUrl url = name;
        if (url.isRelative() && source().isValid())
            url = source().resolved(url);
        if (url.scheme() != QLatin1String(HelpWindow::kScheme))
            return type == QTextDocument::HtmlResource
                       ? QVariant(errorPage(tr("Page not available"),
                                            tr("The link %1 does not lead into the help file.").arg(name.toString())))
                       : QVariant();
        std::shared_ptr<HelpFile> file;
        const QString host = url.host();
        bool ok = false;
        if (host.startsWith(QLatin1Char('f')))
            file = engine_.fileById(host.mid(1).toInt(&ok));
        std::optional<std::string> bytes;
        if (file)
            bytes = file->chm->read(toBytes(url.path()));
        if (!bytes) {
            if (type == QTextDocument::HtmlResource)
                return errorPage(tr("Topic not found"),
                                 tr("The topic %1 is not in the help file.").arg(url.path()));
            return {};
        }
        return QByteArray(bytes->data(), static_cast<qsizetype>(bytes->size()));
    }

protected:
    void doSetSource(const QUrl& name, QTextDocument::ResourceType type) override
    {
        const QString text = name.toString();
        if (name.scheme() == QLatin1String(HelpWindow::kScheme)) {
            QTextBrowser::doSetSource(name, type);
        } else if (text.contains(QLatin1String("::"))) {
            window_.showLink(toBytes(text)); // a topic of another help file
        } else if (name.isRelative()) {
            if (source().isValid())
                QTextBrowser::doSetSource(source().resolved(name), type);
        } else if (name.scheme() == QLatin1String("http") || name.scheme() == QLatin1String("https") ||
                   name.scheme() == QLatin1String("mailto")) {
            QDesktopServices::openUrl(name);
        }
        // Any other scheme (local files included) is not followed from a help topic.
    }

private:
    EngineServices& engine_;
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
    backAction_->setEnabled(false);
    forwardAction_->setEnabled(false);
    layout->addWidget(toolBar_);

    splitter_ = new QSplitter(Qt::Horizontal, this);
    layout->addWidget(splitter_, 1);

    tabs_ = new QTabWidget(splitter_);
    tabs_->setObjectName(QStringLiteral("navigation"));

    contents_ = new QTreeWidget;
    contents_->setObjectName(QStringLiteral("contents"));
    contents_->setHeaderHidden(true);
    tabs_->addTab(contents_, tr("Contents"));

    auto* indexPage = new QWidget;
    auto* indexLayout = new QVBoxLayout(indexPage);
    indexLayout->addWidget(new QLabel(tr("Type in the keyword to find:"), indexPage));
    indexKeyword_ = new QLineEdit(indexPage);
    indexKeyword_->setObjectName(QStringLiteral("indexKeyword"));
    indexLayout->addWidget(indexKeyword_);
    index_ = new QListWidget(indexPage);
    index_->setObjectName(QStringLiteral("index"));
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
    searchButtons->addWidget(titlesOnly_);
    searchButtons->addStretch(1);
    searchButtons->addWidget(listTopics);
    searchLayout->addLayout(searchButtons);
    searchResults_ = new QListWidget(searchPage);
    searchResults_->setObjectName(QStringLiteral("searchResults"));
    searchLayout->addWidget(searchResults_, 1);
    auto* searchShow = new QPushButton(tr("Display"), searchPage);
    searchLayout->addWidget(searchShow, 0, Qt::AlignRight);
    tabs_->addTab(searchPage, tr("Search"));

    browser_ = new HelpBrowser(engine_, *this, splitter_);
    browser_->setObjectName(QStringLiteral("topic"));
    splitter_->setStretchFactor(0, 0);
    splitter_->setStretchFactor(1, 1);
    splitter_->setSizes({240, 660});

    connect(hideAction_, &QAction::triggered, this, [this] {
        const bool hiding = tabs_->isVisible();
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
        if (browser_->source().isValid())
            syncTo(toBytes(browser_->source().path()));
    });
    connect(browser_, &QTextBrowser::backwardAvailable, backAction_, &QAction::setEnabled);
    connect(browser_, &QTextBrowser::forwardAvailable, forwardAction_, &QAction::setEnabled);
    connect(browser_, &QTextBrowser::sourceChanged, this, [this](const QUrl& url) { sourceChanged(url); });

    connect(tabs_, &QTabWidget::currentChanged, this, [this](int tab) {
        if (!programmatic_)
            track(tab == 0 ? HHACT_TAB_CONTENTS : tab == 1 ? HHACT_TAB_INDEX : HHACT_TAB_SEARCH);
    });
    connect(contents_, &QTreeWidget::itemActivated, this, [this](QTreeWidgetItem* item) {
        const QString link = item->data(0, kLinkRole).toString();
        if (!link.isEmpty())
            showLink(toBytes(link));
    });
    connect(contents_, &QTreeWidget::itemClicked, this, [this](QTreeWidgetItem* item) {
        const QString link = item->data(0, kLinkRole).toString();
        if (!link.isEmpty())
            showLink(toBytes(link));
    });

    connect(indexKeyword_, &QLineEdit::textEdited, this, [this](const QString& t) { indexKeywordEdited(t); });
    connect(indexKeyword_, &QLineEdit::returnPressed, this, [this] { openIndexItem(index_->currentItem()); });
    connect(index_, &QListWidget::itemActivated, this, [this](QListWidgetItem* item) { openIndexItem(item); });
    connect(indexShow, &QPushButton::clicked, this, [this] { openIndexItem(index_->currentItem()); });

    connect(searchQuery_, &QLineEdit::returnPressed, this, [this] { runSearch(); });
    connect(listTopics, &QPushButton::clicked, this, [this] { runSearch(); });
    connect(searchResults_, &QListWidget::itemActivated, this, [this](QListWidgetItem* item) { openSearchItem(item); });
    connect(searchShow, &QPushButton::clicked, this, [this] { openSearchItem(searchResults_->currentItem()); });
}

void HelpWindow::setFile(std::shared_ptr<HelpFile> file)
{
    if (file_ == file)
        return;
    file_ = std::move(file);
    home_.clear();
    fillContents();
    fillIndex();
    searchResults_->clear();
}

void HelpWindow::fillContents()
{
    contents_->clear();
    std::vector<QTreeWidgetItem*> parents; // parents[level] is the last item at that level
    const QIcon book = style()->standardIcon(QStyle::SP_DirIcon);
    const QIcon page = style()->standardIcon(QStyle::SP_FileIcon);
    for (const auto& entry : file_->contents) {
        const auto level = static_cast<size_t>(std::max(entry.level, 0));
        if (level > parents.size())
            parents.resize(level); // a gap in the nesting: attach to the nearest parent
        QTreeWidgetItem* parent = nullptr;
        for (size_t l = std::min(level, parents.size()); l > 0 && !parent; --l)
            parent = parents[l - 1];
        auto* item = parent ? new QTreeWidgetItem(parent) : new QTreeWidgetItem(contents_);
        item->setText(0, fromBytes(entry.name));
        item->setData(0, kLinkRole, fromBytes(entry.local()));
        item->setIcon(0, page);
        if (parent)
            parent->setIcon(0, book);
        parents.resize(level + 1);
        parents[level] = item;
    }
}

void HelpWindow::fillIndex()
{
    index_->clear();
    for (const auto& entry : file_->index) {
        auto* item = new QListWidgetItem(QString(entry.level * 4, QLatin1Char(' ')) + fromBytes(entry.name), index_);
        QStringList links;
        for (const auto& l : entry.links)
            links << fromBytes(l.local);
        item->setData(kLinkRole, links);
        item->setData(kSeeAlsoRole, fromBytes(entry.seeAlso));
    }
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
    if (type && type->pszHome && *type->pszHome)
        home_ = type->pszHome;
    else if (type && type->pszFile && *type->pszFile)
        home_ = type->pszFile;

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
    tabs_->setVisible(visible);
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
    std::shared_ptr<HelpFile> file;
    if (url.host().startsWith(QLatin1Char('f')))
        file = engine_.fileById(url.host().mid(1).toInt());
    if (!file)
        return toBytes(url.toString());
    std::string text = file->path + "::" + toBytes(url.path());
    if (url.hasFragment())
        text += "#" + toBytes(url.fragment());
    return text;
}

void HelpWindow::showLink(const std::string& link)
{
    if (!file_)
        return;
    if (link.find("::") != std::string::npos) {
        const HelpSpec spec = parseSpec(link);
        std::filesystem::path target(spec.file);
        if (target.is_relative())
            target = std::filesystem::path(file_->path).parent_path() / target;
        std::string error;
        auto other = engine_.openFile(target.lexically_normal().string(), error);
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

void HelpWindow::showHome()
{
    if (file_)
        showLink(home_.empty() ? file_->chm->defaultTopic() : home_);
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
    const QString wanted = text.trimmed();
    if (wanted.isEmpty())
        return;
    for (int i = 0; i < index_->count(); ++i) {
        QListWidgetItem* item = index_->item(i);
        if (item->text().trimmed().startsWith(wanted, Qt::CaseInsensitive)) {
            index_->setCurrentItem(item);
            index_->scrollToItem(item, QAbstractItemView::PositionAtTop);
            return;
        }
    }
}

void HelpWindow::openIndexItem(QListWidgetItem* item)
{
    if (!item)
        return;
    const QString seeAlso = item->data(kSeeAlsoRole).toString();
    const QStringList links = item->data(kLinkRole).toStringList();
    if (links.isEmpty() && !seeAlso.isEmpty()) {
        indexKeyword_->setText(seeAlso);
        indexKeywordEdited(seeAlso);
        return;
    }
    if (!links.isEmpty())
        showLink(toBytes(links.front()));
}

void HelpWindow::runSearch()
{
    searchResults_->clear();
    if (!file_)
        return;
    const std::string query = toBytes(searchQuery_->text());
    const auto hits = file_->searchIndex().search(query, titlesOnly_->isChecked());
    for (const auto& hit : hits) {
        auto* item = new QListWidgetItem(fromBytes(hit.title), searchResults_);
        item->setData(kLinkRole, fromBytes(hit.path));
    }
    if (hits.empty())
        new QListWidgetItem(tr("No topics found."), searchResults_);
    else
        searchResults_->setCurrentRow(0);
}

void HelpWindow::openSearchItem(QListWidgetItem* item)
{
    if (!item)
        return;
    const QString link = item->data(kLinkRole).toString();
    if (!link.isEmpty())
        showLink(toBytes(link));
}

QTreeWidgetItem* HelpWindow::findContentsItem(const std::string& path) const
{
    const std::string wanted = chm::toLowerAscii(chm::resolvePath("/", path));
    for (QTreeWidgetItemIterator it(contents_); *it; ++it) {
        const std::string local = toBytes((*it)->data(0, kLinkRole).toString());
        if (!local.empty() && chm::toLowerAscii(chm::resolvePath("/", local)) == wanted)
            return *it;
    }
    return nullptr;
}

bool HelpWindow::syncTo(const std::string& link)
{
    QTreeWidgetItem* item = findContentsItem(splitFragment(link).first);
    if (!item)
        return false;
    contents_->setCurrentItem(item);
    contents_->scrollToItem(item);
    return true;
}

void HelpWindow::sourceChanged(const QUrl& url)
{
    QTreeWidgetItem* item = findContentsItem(toBytes(url.path()));
    if (item) {
        const QSignalBlocker block(contents_);
        contents_->setCurrentItem(item);
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
