#include "helpviewer/FileSearch.h"

#include "helpviewer/chm/ChmFile.h"

#include <QCoreApplication>
#include <QMetaObject>

#include <utility>

namespace kpxhelp {

FileSearch::FileSearch(const chm::ChmFile& file) : file_(file) {}

FileSearch::~FileSearch()
{
    {
        const std::lock_guard lock(mutex_);
        quit_ = true;
        if (running_)
            running_->cancel = true;
    }
    wake_.notify_all();
    if (worker_.joinable())
        worker_.join();
}

void FileSearch::start(QObject* context, std::string query, bool titlesOnly, Done done,
                       std::function<void()> preparing)
{
    auto job = std::make_shared<Job>();
    job->query = std::move(query);
    job->titlesOnly = titlesOnly;
    job->context = context;
    job->done = std::move(done);
    job->preparing = std::move(preparing);
    {
        const std::lock_guard lock(mutex_);
        if (running_) {
            running_->replaced = true;
            running_->cancel = true;
        }
        pending_ = std::move(job);
        asked_ = true;
        if (!worker_.joinable())
            worker_ = std::thread([this] { work(); });
    }
    wake_.notify_all();
}

void FileSearch::prepare()
{
    {
        const std::lock_guard lock(mutex_);
        if (asked_)
            return;
        asked_ = true;
        pending_ = std::make_shared<Job>();
        if (!worker_.joinable())
            worker_ = std::thread([this] { work(); });
    }
    wake_.notify_all();
}

void FileSearch::stop()
{
    const std::lock_guard lock(mutex_);
    for (const auto& job : {pending_, running_})
        if (job)
            job->cancel = true;
}

void FileSearch::work()
{
    for (;;) {
        std::shared_ptr<Job> job;
        {
            std::unique_lock lock(mutex_);
            wake_.wait(lock, [this] { return quit_ || pending_; });
            if (quit_)
                return;
            job = std::move(pending_);
            pending_.reset();
            running_ = job;
        }
        Answer result = answer(*job);
        {
            const std::lock_guard lock(mutex_);
            running_.reset();
            if (job->replaced || quit_ || !job->done)
                continue;
        }
        post(job->context, [job, result = std::move(result)] { job->done(result); });
    }
}

FileSearch::Answer FileSearch::answer(Job& job)
{
    Answer out;
    if (!storedOpened_) {
        storedOpened_ = true;
        stored_ = chm::StoredIndex::open(file_);
        if (!stored_ && file_.contains("/$FIftiMain"))
            notice_ = "The search index of this file is damaged: its topics are searched one by one instead.";
    }
    if (!job.done)
        return out; // prepared only
    out.notice = std::exchange(notice_, {}); // told once
    if (stored_) {
        out.result = chm::search(*stored_, job.query, file_.folding(), job.titlesOnly, &job.cancel);
        if (!out.result.needsOwnIndex)
            return out;
    }
    if (!own_) {
        if (job.preparing)
            post(job.context, job.preparing);
        auto built = chm::OwnIndex::build(file_, &job.cancel);
        if (job.cancel) { // half an index would miss topics for good
            out.result = {};
            out.result.terms = chm::queryTerms(job.query, file_.folding());
            out.result.cancelled = true;
            return out;
        }
        own_ = std::move(built);
    }
    out.result = chm::search(*own_, job.query, file_.folding(), job.titlesOnly, &job.cancel);
    return out;
}

// Runs `call` on the GUI thread if `context` is still there by then.
void FileSearch::post(const QPointer<QObject>& context, std::function<void()> call)
{
    QCoreApplication* app = QCoreApplication::instance();
    if (!app)
        return;
    QMetaObject::invokeMethod(
        app,
        [context, call = std::move(call)] {
            if (context)
                call();
        },
        Qt::QueuedConnection);
}

} // namespace kpxhelp
