#include "app/Firmware.h"

#include "image/Hexfile.h"

#include <filesystem>
#include <system_error>

namespace firmware {

namespace {

std::string folderList(const std::vector<std::string>& folders)
{
    std::string text;
    for (size_t i = 0; i < folders.size(); ++i) {
        if (i > 0)
            text += i + 1 == folders.size() ? " or " : ", ";
        text += folders[i];
    }
    return text;
}

std::string notFound(const Location& location, const std::string& name)
{
    return name + " is not in " + folderList(location.searched);
}

} // namespace

Location locate(const std::string& named, const std::string& name)
{
    std::error_code ignored;
    if (!named.empty())
        return {std::filesystem::absolute(named, ignored).lexically_normal().string(), {}};
    Location location{{}, searchFolders()};
    for (const std::string& folder : location.searched) {
        const std::filesystem::path candidate = std::filesystem::path(folder) / name;
        // Whatever stands there is the file meant, even one that cannot be
        // read: the reader says why.
        if (std::filesystem::exists(std::filesystem::symlink_status(candidate, ignored))) {
            location.path = candidate.string();
            break;
        }
    }
    return location;
}

std::string problem(const Location& location, const std::string& name, const HexFile& image)
{
    if (location.path.empty())
        return notFound(location, name) + ".";
    return location.path + ": " + image.error;
}

Notice notice(const std::string& named, const std::string& name, uint32_t flashSize)
{
    const Location location = locate(named, name);
    if (location.path.empty())
        return {"Firmware missing: " + notFound(location, name), folderList(location.searched)};
    std::error_code ignored;
    if (!std::filesystem::exists(std::filesystem::symlink_status(location.path, ignored)))
        return {"Firmware missing: " + location.path, location.path};
    HexFile image(location.path, flashSize);
    // The reason first: a status line too narrow for the whole text still
    // shows what is wrong.
    if (!image.readHexFile())
        return {"Firmware refused: " + image.error + " (" + location.path + ")", location.path};
    return {"Firmware: " + location.path, location.path};
}

} // namespace firmware
