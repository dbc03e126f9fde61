// The large real help file that the viewer's tests open besides the files
// compiled here: Debian's lazarus-doc-2.2 ships it, scripts/setup installs it
// (KPX_REAL_HELP_FILE, from HelpTestFiles.cmake).
#pragma once

#include <gtest/gtest.h>

#include <filesystem>

inline constexpr const char* kRealHelpFile = KPX_REAL_HELP_FILE;

// Skips the test, saying why, where the file is not installed.
#define SKIP_WITHOUT_REAL_HELP_FILE()                                                                            \
    if (!std::filesystem::exists(kRealHelpFile))                                                                 \
    GTEST_SKIP() << kRealHelpFile << " is not installed: scripts/setup installs it with lazarus-doc-2.2"
