// The engine's window types: those set with HH_SET_WIN_TYPE, kept by name for
// the whole process, and those a help file defines, kept per file. Records
// handed out stay at the same address for as long as the engine is loaded,
// so a caller may change the record it got and store it back.
#pragma once

#include "help/HtmlHelpApi.h"
#include "helpviewer/chm/ChmFile.h"

#include <map>
#include <memory>
#include <string>
#include <string_view>

namespace kpxhelp {

class WindowTypes {
public:
    // True when `record` can be read as a window type: large enough, 8-bit
    // strings, a non-empty name.
    static bool usable(const HH_WINTYPE* record);

    // Stores a copy of `record` (strings copied) under its pszType, replacing
    // an earlier one of that name; `record` may be one this store handed out.
    HH_WINTYPE* set(const HH_WINTYPE& record);

    // The type set under `name`, or null.
    HH_WINTYPE* find(std::string_view name);

    // The type `name` of the help file `fileKey`: the one set under that name
    // if any, else the file's own definition (created on first use), else null.
    HH_WINTYPE* resolve(std::string_view name, const std::string& fileKey, const chm::ChmFile* file);

private:
    struct Entry {
        HH_WINTYPE record{};
        std::string type, caption, toc, index, file, home, jump1, jump2, urlJump1, urlJump2, customTabs;
        void assign(const HH_WINTYPE& from);
        void repoint();
    };

    std::map<std::string, std::unique_ptr<Entry>> set_;         // lower-case name
    std::map<std::string, std::unique_ptr<Entry>> fromFiles_;   // file key + '>' + lower-case name
};

} // namespace kpxhelp
