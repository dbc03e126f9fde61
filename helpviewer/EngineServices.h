// What the viewer's windows need from the engine around them: opened help
// files (shared between windows, searched on demand), notifications to the
// caller, and error reporting.
#pragma once

#include "helpviewer/chm/ChmFile.h"
#include "helpviewer/FileSearch.h"

#include <QString>

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

class QWidget;

namespace kpxhelp {

class HelpWindow;

struct HelpFile {
    int id = 0;       // names the file in the viewer's internal URLs
    std::string path; // as opened, absolute
    std::unique_ptr<chm::ChmFile> chm;
    std::vector<chm::SitemapEntry> contents;
    std::vector<chm::SitemapEntry> index;
    std::string damage; // what is wrong with the file, for the reader; empty when it reads whole

    FileSearch& search()
    {
        if (!search_)
            search_ = std::make_unique<FileSearch>(*chm);
        return *search_;
    }
private:
    // After `chm`: destroyed first, so its worker has stopped reading the file.
    std::unique_ptr<FileSearch> search_;
};

class EngineServices {
public:
    // Opens (or finds already open) a help file; null with a reason on failure.
    virtual std::shared_ptr<HelpFile> openFile(const std::string& path, std::string& error) = 0;
    virtual std::shared_ptr<HelpFile> fileById(int id) = 0;
    // A window's navigation, creation or user action, for the caller's notifications.
    virtual void windowEvent(HelpWindow* window, uint32_t code, const std::string& text, int32_t action) = 0;
    // A message for the operator, without blocking the caller.
    virtual void showError(const QString& text, QWidget* parent) = 0;

protected:
    ~EngineServices() = default;
};

} // namespace kpxhelp
