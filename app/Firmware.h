// Where the update finds its firmware file, and what the operator is told
// about the file before an update starts, so that nobody powers the
// instrument up and waits through its identification to learn the file is
// missing or damaged.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

class HexFile;

namespace firmware {

// The folders in which the file is looked for by its name, in order: the
// current folder first, then where an installation keeps the program's data.
// Each platform supplies its own list.
std::vector<std::string> searchFolders();

struct Location {
    // Full path of the file to read; empty when the search found none.
    std::string path;
    // The folders searched; empty when the operator named the file.
    std::vector<std::string> searched;
};

// named: the file the operator gave (--firmware), used as it is; when empty,
// name is looked for in searchFolders().
Location locate(const std::string& named, const std::string& name);

// Why the image could not be read, for the operator: which file and what is
// wrong with it, or which folders were searched in vain.
std::string problem(const Location& location, const std::string& name, const HexFile& image);

// One line for the status line and the console before an update:
// "Firmware: PATH", or why there is none ("Firmware missing: ...",
// "Firmware refused: REASON (PATH)"). flashSize is the target's.
struct Notice {
    std::string text;
    // Where the file is or was looked for, as the text names it (the path,
    // or the list of folders): what a display too narrow for the whole text
    // shortens, and shows whole on request.
    std::string place;
};
Notice notice(const std::string& named, const std::string& name, uint32_t flashSize);

} // namespace firmware
