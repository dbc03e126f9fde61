// The navigation panes' models: views straight over a help file's contents
// and index as read, so a file of tens of thousands of keywords is shown at
// once, without an item object per entry.
#pragma once

#include "helpviewer/chm/Encoding.h"
#include "helpviewer/chm/Sitemap.h"

#include <QAbstractItemModel>
#include <QAbstractListModel>
#include <QIcon>

#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace kpxhelp {

struct HelpFile;

// What the panes' rows carry besides their text.
enum PaneRole {
    LinkRole = Qt::UserRole,     // the first topic (QString)
    LinksRole,                   // every topic (QStringList)
    TitlesRole,                  // the topics' titles (QStringList)
    SeeAlsoRole,                 // another keyword to look at (QString)
};

class ContentsModel final : public QAbstractItemModel {
public:
    ContentsModel(std::shared_ptr<const HelpFile> file, QIcon book, QIcon page, QObject* parent);

    QModelIndex index(int row, int column, const QModelIndex& parent = {}) const override;
    QModelIndex parent(const QModelIndex& child) const override;
    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& = {}) const override { return 1; }
    QVariant data(const QModelIndex& index, int role) const override;

    // The first entry that leads to `path` ("/a/b.htm"), or an invalid index.
    QModelIndex find(const std::string& path) const;
    // Where the entry leading to `path` stands: its name after those of
    // the books that hold it ("Graphics › TBitmap › Assign"); empty when
    // the contents do not lead to `path`.
    QString placeOf(const std::string& path) const;

private:
    QModelIndex indexOf(size_t entry) const;
    const std::vector<chm::SitemapEntry>& entries() const;

    std::shared_ptr<const HelpFile> file_;
    QIcon book_, page_;
    std::vector<int> parent_;                  // per entry, -1 at the top
    std::vector<int> row_;                     // per entry, among its siblings
    std::vector<std::vector<size_t>> children_; // per entry, and the top at the back
    mutable std::map<std::string, size_t> byPath_; // lower-case path -> first entry; made when first asked
};

class IndexModel final : public QAbstractListModel {
public:
    IndexModel(std::shared_ptr<const HelpFile> file, QObject* parent);

    int rowCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;

    // The row a reader typing `typed` means: the first top-level keyword
    // that starts with it, else the first sub-entry that does; -1 for none.
    int find(const QString& typed) const;

private:
    const std::vector<chm::SitemapEntry>& entries() const;

    std::shared_ptr<const HelpFile> file_;
    chm::Folding folding_;
    mutable std::vector<std::string> folded_; // made when the reader first types
};

// Rows of text with a topic behind each: the search results.
class TopicListModel final : public QAbstractListModel {
public:
    struct Row {
        QString text;
        QString link; // empty for a message row
        QString toolTip;
    };
    using QAbstractListModel::QAbstractListModel;

    void setRows(std::vector<Row> rows);
    // One row that is a message, not a topic.
    void setMessage(const QString& text) { setRows({{text, {}, {}}}); }

    int rowCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;

private:
    std::vector<Row> rows_;
};

} // namespace kpxhelp
