#include "helpviewer/FileSearch.h"

#include "helpviewer/chm/ChmFile.h"

#include <QCoreApplication>
#include <QMetaObject>

namespace kpxhelp {

FileSearch::FileSearch(const chm::ChmFile& file) : file_(file) {}

FileSearch::~FileSearch()
{
    cancel_ = true;
    if (worker_.joinable())
        worker_.join();
    notices_->alive = false;
}

chm::SearchResult FileSearch::run(std::string_view query, bool titlesOnly)
{
    std::call_once(storedOnce_, [this] { stored_ = chm::StoredIndex::open(file_); });
    if (stored_) {
        chm::SearchResult result = chm::search(*stored_, query, file_.folding(), titlesOnly);
        if (!result.needsOwnIndex)
            return result;
    }
    if (ready_)
        return chm::search(*own_, query, file_.folding(), titlesOnly);
    startOwnIndex();
    chm::SearchResult pending;
    pending.terms = chm::queryTerms(query, file_.folding());
    pending.needsOwnIndex = true;
    return pending;
}

void FileSearch::startOwnIndex()
{
    if (worker_.joinable())
        return;
    worker_ = std::thread([this, notices = notices_] {
        own_ = chm::OwnIndex::build(file_, &cancel_);
        if (cancel_)
            return;
        ready_ = true;
        QCoreApplication* app = QCoreApplication::instance();
        if (!app)
            return;
        QMetaObject::invokeMethod(
            app,
            [notices] {
                if (!notices->alive)
                    return;
                auto waiting = std::move(notices->waiting);
                notices->waiting.clear();
                for (auto& w : waiting)
                    if (w.context)
                        w.done();
            },
            Qt::QueuedConnection);
    });
}

void FileSearch::whenReady(QObject* context, std::function<void()> done)
{
    if (ready_) {
        done();
        return;
    }
    notices_->waiting.push_back({context, std::move(done)});
    startOwnIndex();
}

} // namespace kpxhelp
