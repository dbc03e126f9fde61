#include "helpviewer/PaneModels.h"

#include "helpviewer/EngineServices.h"
#include "helpviewer/chm/ChmFile.h"
#include "helpviewer/chm/Html.h"

#include <QStringList>

#include <algorithm>

namespace kpxhelp {

namespace {

QString fromBytes(const std::string& s) { return QString::fromUtf8(s.data(), static_cast<qsizetype>(s.size())); }

std::string pathKey(const std::string& link) { return chm::toLowerAscii(chm::resolvePath("/", link)); }

QVariant linkData(const chm::SitemapEntry& entry, int role)
{
    switch (role) {
    case LinkRole:
        return fromBytes(entry.local());
    case LinksRole:
    case TitlesRole: {
        QStringList out;
        for (const auto& l : entry.links)
            out << fromBytes(role == LinksRole ? l.local : l.title);
        return out;
    }
    case SeeAlsoRole:
        return fromBytes(entry.seeAlso);
    default:
        return {};
    }
}

} // namespace

// ---- contents ----

ContentsModel::ContentsModel(std::shared_ptr<const HelpFile> file, QIcon book, QIcon page, QObject* parent)
    : QAbstractItemModel(parent), file_(std::move(file)), book_(std::move(book)), page_(std::move(page))
{
    const auto& all = entries();
    parent_.assign(all.size(), -1);
    row_.assign(all.size(), 0);
    children_.resize(all.size() + 1);
    std::vector<int> open; // open[level] is the last entry at that level
    for (size_t i = 0; i < all.size(); ++i) {
        const auto level = static_cast<size_t>(std::max(all[i].level, 0));
        // A gap in the nesting attaches to the nearest entry above it.
        int up = -1;
        for (size_t l = std::min(level, open.size()); l > 0 && up < 0; --l)
            up = open[l - 1];
        parent_[i] = up;
        auto& siblings = up < 0 ? children_.back() : children_[static_cast<size_t>(up)];
        row_[i] = static_cast<int>(siblings.size());
        siblings.push_back(i);
        open.resize(level + 1, -1);
        open[level] = static_cast<int>(i);
    }
}

const std::vector<chm::SitemapEntry>& ContentsModel::entries() const { return file_->contents; }

QModelIndex ContentsModel::indexOf(size_t entry) const
{
    return createIndex(row_[entry], 0, static_cast<quintptr>(entry));
}

QModelIndex ContentsModel::index(int row, int column, const QModelIndex& parent) const
{
    const auto& siblings = parent.isValid() ? children_[parent.internalId()] : children_.back();
    if (row < 0 || column != 0 || static_cast<size_t>(row) >= siblings.size())
        return {};
    return indexOf(siblings[static_cast<size_t>(row)]);
}

QModelIndex ContentsModel::parent(const QModelIndex& child) const
{
    if (!child.isValid())
        return {};
    const int up = parent_[child.internalId()];
    return up < 0 ? QModelIndex() : indexOf(static_cast<size_t>(up));
}

int ContentsModel::rowCount(const QModelIndex& parent) const
{
    if (parent.column() > 0)
        return 0;
    return static_cast<int>((parent.isValid() ? children_[parent.internalId()] : children_.back()).size());
}

QVariant ContentsModel::data(const QModelIndex& index, int role) const
{
    if (!index.isValid())
        return {};
    const size_t i = index.internalId();
    const auto& entry = entries()[i];
    if (role == Qt::DisplayRole)
        return fromBytes(entry.name);
    if (role == Qt::DecorationRole)
        return children_[i].empty() ? page_ : book_;
    return linkData(entry, role);
}

QModelIndex ContentsModel::find(const std::string& path) const
{
    if (byPath_.empty()) {
        const auto& all = entries();
        for (size_t i = 0; i < all.size(); ++i)
            if (!all[i].local().empty())
                byPath_.emplace(pathKey(all[i].local()), i);
    }
    auto it = byPath_.find(pathKey(path));
    return it == byPath_.end() ? QModelIndex() : indexOf(it->second);
}

QString ContentsModel::placeOf(const std::string& path) const
{
    QStringList names;
    for (QModelIndex at = find(path); at.isValid(); at = parent(at))
        names.prepend(data(at, Qt::DisplayRole).toString());
    return names.join(QStringLiteral(" \u203A "));
}

// ---- index ----

IndexModel::IndexModel(std::shared_ptr<const HelpFile> file, QObject* parent)
    : QAbstractListModel(parent), file_(std::move(file)), folding_(file_->chm->folding())
{
}

const std::vector<chm::SitemapEntry>& IndexModel::entries() const { return file_->index; }

int IndexModel::rowCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : static_cast<int>(entries().size());
}

QVariant IndexModel::data(const QModelIndex& index, int role) const
{
    if (!index.isValid() || static_cast<size_t>(index.row()) >= entries().size())
        return {};
    const auto& entry = entries()[static_cast<size_t>(index.row())];
    if (role == Qt::DisplayRole)
        return QString(std::max(entry.level, 0) * 4, QLatin1Char(' ')) + fromBytes(entry.name);
    return linkData(entry, role);
}

int IndexModel::find(const QString& typed) const
{
    const std::string wanted = chm::fold(typed.trimmed().toUtf8().toStdString(), folding_);
    if (wanted.empty())
        return -1;
    const auto& all = entries();
    if (folded_.empty()) {
        folded_.reserve(all.size());
        for (const auto& e : all)
            folded_.push_back(chm::fold(e.name, folding_));
    }
    int sub = -1;
    for (size_t i = 0; i < all.size(); ++i) {
        if (folded_[i].compare(0, wanted.size(), wanted) != 0)
            continue;
        if (all[i].level <= 0)
            return static_cast<int>(i);
        if (sub < 0)
            sub = static_cast<int>(i);
    }
    return sub;
}

// ---- topic lists ----

void TopicListModel::setRows(std::vector<Row> rows)
{
    beginResetModel();
    rows_ = std::move(rows);
    endResetModel();
}

int TopicListModel::rowCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : static_cast<int>(rows_.size());
}

QVariant TopicListModel::data(const QModelIndex& index, int role) const
{
    if (!index.isValid() || static_cast<size_t>(index.row()) >= rows_.size())
        return {};
    const Row& row = rows_[static_cast<size_t>(index.row())];
    switch (role) {
    case Qt::DisplayRole:
        return row.text;
    case Qt::ToolTipRole:
        return row.toolTip.isEmpty() ? QVariant() : QVariant(row.toolTip);
    case LinkRole:
        return row.link;
    default:
        return {};
    }
}

} // namespace kpxhelp
