// Full-text search of one open help file for the viewer's windows. Every
// search runs on a worker thread of its own file, so the GUI thread, which
// in the host program may be running an update, never waits for one: the
// first search opens the file's stored index there, and a query the stored
// index cannot answer (a file without one, a word it cannot hold) reads the
// topics there. A search can be stopped; a new one stops the one before.
#pragma once

#include "helpviewer/chm/Search.h"

#include <QPointer>

#include <atomic>
#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

class QObject;

namespace kpxhelp {

class FileSearch {
public:
    struct Answer {
        chm::SearchResult result; // result.cancelled: stopped by the reader
        std::string notice;       // for the reader, e.g. a damaged stored index
    };
    using Done = std::function<void(const Answer&)>;

    explicit FileSearch(const chm::ChmFile& file);
    ~FileSearch(); // stops the search and waits for the worker
    FileSearch(const FileSearch&) = delete;
    FileSearch& operator=(const FileSearch&) = delete;

    // Starts `query`; `done` runs on the GUI thread once it is answered or
    // stopped, unless `context` is gone by then or a later start replaced it.
    // `preparing` runs there (before `done`) when the answer needs the
    // topics read, which takes a while on a large file.
    void start(QObject* context, std::string query, bool titlesOnly, Done done, std::function<void()> preparing);
    // Stops the running search; its `done` gets a cancelled result.
    void stop();
    // Opens the file's stored index on the worker ahead of the first
    // search, unless a search has done so or is about to.
    void prepare();

private:
    struct Job {
        std::string query;
        bool titlesOnly = false;
        QPointer<QObject> context;
        Done done; // null for prepare()
        std::function<void()> preparing;
        chm::Cancel cancel{false};
        bool replaced = false; // stopped because a later search took its place
    };

    void work();
    Answer answer(Job& job);
    static void post(const QPointer<QObject>& context, std::function<void()> call);

    const chm::ChmFile& file_;
    // Used by the worker only.
    bool storedOpened_ = false;
    std::unique_ptr<chm::StoredIndex> stored_;
    std::unique_ptr<chm::OwnIndex> own_;
    std::string notice_; // for the next answer

    std::mutex mutex_;
    std::condition_variable wake_;
    std::shared_ptr<Job> pending_; // waiting for the worker
    std::shared_ptr<Job> running_;
    bool quit_ = false;
    bool asked_ = false; // a search or prepare() has been queued
    std::thread worker_;
};

} // namespace kpxhelp
