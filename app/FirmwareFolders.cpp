// The firmware folders of an installation on Linux: the current folder (the
// one the update has always used), then the program's data folder found from
// where the running program lies, then the one it was configured for.
#include "app/Firmware.h"

#include "toolkit/Application.h"

#include <algorithm>
#include <filesystem>
#include <system_error>

#ifndef KPX_FIRMWARE_DIR
#define KPX_FIRMWARE_DIR "/usr/local/share/kpx-updater"
#endif

namespace firmware {

std::vector<std::string> searchFolders()
{
    std::vector<std::filesystem::path> folders;
    std::error_code ignored;
    folders.push_back(std::filesystem::current_path(ignored));
    const std::string programFolder = tk::ExtractFilePath(tk::ParamStr(0));
#ifdef KPX_FIRMWARE_RELDIR
    // An installation made with another prefix than the configured one (or
    // moved since) keeps its layout. Only where that folder exists: from a
    // program installed elsewhere than the bin folder it names nothing.
    if (!programFolder.empty()) {
        const std::filesystem::path beside =
            (std::filesystem::path(programFolder) / KPX_FIRMWARE_RELDIR).lexically_normal();
        if (std::filesystem::is_directory(beside, ignored))
            folders.push_back(beside);
    }
#endif
    folders.emplace_back(KPX_FIRMWARE_DIR);

    std::vector<std::string> result;
    for (const std::filesystem::path& folder : folders) {
        std::string shown = folder.lexically_normal().string();
        // Shown without a trailing separator, as folders usually are.
        while (shown.size() > 1 && shown.back() == '/')
            shown.pop_back();
        if (!shown.empty() && std::find(result.begin(), result.end(), shown) == result.end())
            result.push_back(shown);
    }
    return result;
}

} // namespace firmware
