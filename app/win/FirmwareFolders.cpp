// The firmware folders on Windows: the current folder (the one the update
// has always used, and where the Start menu shortcut starts the program),
// then the program's own folder, where the installer tells the technician
// to put the file, for a program started from anywhere else.
#include "app/Firmware.h"

#include "toolkit/Application.h"

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <system_error>

namespace firmware {

std::vector<std::string> searchFolders()
{
    std::error_code ignored;
    const std::string candidates[] = {std::filesystem::current_path(ignored).string(),
                                      tk::ExtractFilePath(tk::ParamStr(0))};
    std::vector<std::string> result;
    for (std::string folder : candidates) {
        // Shown without a trailing separator, unless it is a drive's root.
        while (folder.size() > 3 && (folder.back() == '\\' || folder.back() == '/'))
            folder.pop_back();
        const auto same = [&](const std::string& known) {
            return std::equal(known.begin(), known.end(), folder.begin(), folder.end(),
                              [](char a, char b) {
                                  return std::tolower(static_cast<unsigned char>(a)) ==
                                         std::tolower(static_cast<unsigned char>(b));
                              });
        };
        if (!folder.empty() && std::none_of(result.begin(), result.end(), same))
            result.push_back(folder);
    }
    return result;
}

} // namespace firmware
