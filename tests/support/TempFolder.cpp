#include "tests/support/TempFolder.h"

#include <random>
#include <stdexcept>

namespace testing_support {

std::filesystem::path makeTempFolder(const std::string& prefix)
{
    static std::mt19937_64 random{std::random_device{}()};
    const std::filesystem::path base = std::filesystem::temp_directory_path();
    for (int attempt = 0; attempt < 100; ++attempt) {
        const std::filesystem::path candidate = base / (prefix + std::to_string(random() % 1'000'000'000));
        std::error_code error;
        // Creating is the test for existence, so two tests never share one.
        if (std::filesystem::create_directory(candidate, error))
            return candidate;
    }
    throw std::runtime_error("no temporary folder could be made under " + base.string());
}

} // namespace testing_support
