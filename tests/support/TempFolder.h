// A fresh folder of one's own under the system's temporary folder, on
// Linux and Windows alike.
#pragma once

#include <filesystem>
#include <string>

namespace testing_support {

// Creates and returns a folder named prefix followed by a random suffix;
// throws std::runtime_error when none can be made.
std::filesystem::path makeTempFolder(const std::string& prefix);

} // namespace testing_support
