// kpx-update.exe as an operator meets it on Windows: a process started in
// a folder holding the sample firmware, answered through a pipe. (Ctrl+C:
// the adapter suite stops an update with it.)
#include "platform/win/Win32.h"
#include "tests/support/TempFolder.h"
#include "tests/win/ConsoleProcess.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <filesystem>
#include <regex>
#include <string>

using testing::HasSubstr;
using testing::Not;

using win_test::Finished;
using win_test::runConsole;

namespace {

class WindowsConsole : public testing::Test {
protected:
    WindowsConsole()
    {
        std::filesystem::copy_file(firmware, folder / "KPXUpdate517.hex");
        std::filesystem::current_path(folder);
    }
    ~WindowsConsole() override
    {
        std::filesystem::current_path(before);
        std::error_code ignored;
        std::filesystem::remove_all(folder, ignored);
    }

    // Made absolute while the build tree is still the current folder.
    const std::filesystem::path program = std::filesystem::absolute(KPX_UPDATE_EXE);
    const std::filesystem::path firmware = std::filesystem::absolute(KPX_SAMPLE_FIRMWARE_PATH);
    const std::filesystem::path before = std::filesystem::current_path();
    const std::filesystem::path folder = testing_support::makeTempFolder("kpx-console-");
};

TEST_F(WindowsConsole, UpdatesTheSimulatedInstrumentAndEndsWithTheReadBackBytesAndExitStatusZero)
{
    const Finished run = runConsole(program, "--simulate --fast", "o\n");
    EXPECT_EQ(run.status, 0u) << run.output;
    EXPECT_THAT(run.output, HasSubstr("[Place M740-RT In Program Mode]\r\n"));
    EXPECT_THAT(run.output, HasSubstr("Update Complete!\r\n"));
    EXPECT_TRUE(std::regex_search(run.output, std::regex("Check value \\(CRC\\): [0-9A-F]{4}\r\n"))) << run.output;
    EXPECT_THAT(run.output, Not(HasSubstr("\033["))) << "a pipe gets no terminal escapes";

    EXPECT_EQ(runConsole(program, "--port COM5", "").status, 2u);
    EXPECT_EQ(runConsole(program, "--simulate=haunted", "").status, 2u);
}

// A reader that has gone takes nothing from the run: it goes on, and says
// on standard error what the instrument holds.
TEST_F(WindowsConsole, OutputIntoAPipeWithoutReaderNeitherEndsNorSilencesTheRun)
{
    const Finished completed = runConsole(program, "--simulate --fast --yes", "", {}, true);
    EXPECT_EQ(completed.status, 0u) << completed.output;
    EXPECT_EQ(completed.output, "");

    const Finished cancelled = runConsole(program, "--simulate --fast", "c\r\n", {}, true);
    EXPECT_EQ(cancelled.status, 1u);
    EXPECT_EQ(cancelled.output, "kpx-update: the update did not complete. Nothing was written.\r\n");
}

// Nonsense three times is Cancel, so that a script answering it ends.
TEST_F(WindowsConsole, PipedAnswersTakeTheUsualSpellingsAndEndInCancel)
{
    std::string maybe;
    for (int line = 0; line < 1000; ++line)
        maybe += "maybe\r\n";
    const Finished nonsense = runConsole(program, "--simulate=no-device --fast", maybe);
    EXPECT_EQ(nonsense.status, 1u);
    EXPECT_THAT(nonsense.output, HasSubstr("(not understood 3 times: taken as Cancel)\r\n"));
    EXPECT_THAT(nonsense.output, Not(HasSubstr("Getting Device Infomation")));

    const Finished answered = runConsole(program, "--simulate=no-device --fast", " Yes \r\nRETRY\r\nno\r\n");
    EXPECT_EQ(answered.status, 1u);
    size_t retries = 0;
    for (size_t at = 0; (at = answered.output.find("No Device Detected!", at)) != std::string::npos; ++at)
        ++retries;
    EXPECT_EQ(retries, 2u) << answered.output;
    EXPECT_THAT(answered.output, HasSubstr("[R]etry/[C]ancel? no\r\n"));
}

} // namespace
