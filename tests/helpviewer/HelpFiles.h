// The help files the reader's and viewer's tests open: those compiled here
// (KPX_HELP_TEST_DIR) and a large real one nobody here wrote, which Debian's
// lazarus-doc-2.2 ships and scripts/setup installs (HelpTestFiles.cmake).
#pragma once

#include "helpviewer/chm/ChmFile.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <memory>
#include <stdexcept>
#include <string>

inline constexpr const char* kRealHelpFile = KPX_REAL_HELP_FILE;

inline std::string testFile(const std::string& name) { return std::string(KPX_HELP_TEST_DIR) + "/" + name; }

inline std::unique_ptr<chm::ChmFile> openHelpFile(const std::string& path)
{
    std::string error;
    auto file = chm::ChmFile::open(path, error);
    if (!file)
        throw std::runtime_error(path + ": " + error);
    return file;
}

// Skips the test, saying why, where the file is not installed.
#define SKIP_WITHOUT_REAL_HELP_FILE()                                                                            \
    if (!std::filesystem::exists(kRealHelpFile))                                                                 \
    GTEST_SKIP() << kRealHelpFile << " is not installed: scripts/setup installs it with lazarus-doc-2.2"
