// Full-text search of one open help file for the viewer's windows: the
// file's stored index answers at once; when a query needs our own index
// (a file without a stored one, or a word the stored one cannot hold), that
// index is built on a worker thread, so the GUI thread, which in the host
// program may be running an update, never waits for it.
#pragma once

#include "helpviewer/chm/Search.h"

#include <QPointer>

#include <atomic>
#include <functional>
#include <memory>
#include <mutex>
#include <string_view>
#include <thread>
#include <vector>

class QObject;

namespace kpxhelp {

class FileSearch {
public:
    explicit FileSearch(const chm::ChmFile& file);
    ~FileSearch(); // stops and waits for the worker
    FileSearch(const FileSearch&) = delete;
    FileSearch& operator=(const FileSearch&) = delete;

    // The hits of `query`; with `needsOwnIndex` set, our own index is being
    // built and `whenReady` callbacks run once it is.
    chm::SearchResult run(std::string_view query, bool titlesOnly);

    // Runs `done` on the GUI thread once our own index is built (at once
    // when it is); not at all when `context` is gone by then.
    void whenReady(QObject* context, std::function<void()> done);
    bool ownIndexReady() const { return ready_.load(); }

private:
    struct Waiting {
        QPointer<QObject> context;
        std::function<void()> done;
    };
    // Lives as long as a notice posted by the worker may still be on its way.
    struct Notices {
        bool alive = true;
        std::vector<Waiting> waiting;
    };

    void startOwnIndex();

    const chm::ChmFile& file_;
    std::once_flag storedOnce_;
    std::unique_ptr<chm::StoredIndex> stored_;
    std::unique_ptr<chm::OwnIndex> own_; // written by the worker before ready_
    std::atomic<bool> ready_{false};
    std::atomic<bool> cancel_{false};
    std::thread worker_;
    std::shared_ptr<Notices> notices_ = std::make_shared<Notices>();
};

} // namespace kpxhelp
