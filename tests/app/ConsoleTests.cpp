// kpx-update as an operator meets it: the built program, run in a folder
// holding the sample firmware, answered through a pipe or a terminal.
#include "tests/app/UpdateRig.h"

#include <cerrno>
#include <pty.h>
#include <sstream>
#include <sys/wait.h>
#include <unistd.h>

namespace app_test {
namespace {

struct Console : testing::Test {
    Console() { std::filesystem::copy_file(KPX_SAMPLE_FIRMWARE_PATH, TfrmUpdate::hexFileName); }

    // The exit status, and standard output and error together.
    std::pair<int, std::string> run(const std::string& arguments, const std::string& input)
    {
        std::ofstream("stdin.txt") << input;
        const int raw = std::system(("'" KPX_UPDATE_EXE "' " + arguments + " < stdin.txt > out.txt 2>&1").c_str());
        std::ostringstream out;
        out << std::ifstream("out.txt").rdbuf();
        return {WIFEXITED(raw) ? WEXITSTATUS(raw) : -1, out.str()};
    }

    TempFolder folder;
};

TEST_F(Console, FailuresExitNonZeroWithTheOperatorMessage)
{
    struct Case {
        const char* arguments;
        const char* input;
        const char* text;
        size_t times;
    };
    // --yes retries a silent instrument three times; Cancel at the prompt
    // goes no further.
    for (const Case& failure : {Case{"--simulate=no-device --fast --yes", "", "No Device Detected!", 4},
                                Case{"--simulate=wrong-model --fast", "o\n", "This Update Is For The Model M740-RT", 1},
                                Case{"--port com2 --simulate --fast", "c\n", "Getting Device Infomation", 0}}) {
        const auto [status, out] = run(failure.arguments, failure.input);
        size_t times = 0;
        for (size_t at = 0; (at = out.find(failure.text, at)) != std::string::npos; ++at)
            ++times;
        EXPECT_EQ(status, 1) << failure.arguments;
        EXPECT_EQ(times, failure.times) << out;
    }
    EXPECT_EQ(run("--simulate=haunted", "").first, 2);
}

TEST_F(Console, UpdatesTheSimulatedInstrumentOnATerminalWithALiveProgressLine)
{
    int master = -1;
    const pid_t child = forkpty(&master, nullptr, nullptr, nullptr);
    ASSERT_GE(child, 0);
    if (child == 0) {
        execl(KPX_UPDATE_EXE, KPX_UPDATE_EXE, "--simulate", "--fast", static_cast<char*>(nullptr));
        _exit(127);
    }
    ASSERT_EQ(write(master, "o\n", 2), 2); // typed ahead of the prompt
    std::string screen;
    char chunk[4096];
    for (ssize_t got; (got = read(master, chunk, sizeof chunk)) > 0 || (got < 0 && errno == EINTR);)
        screen.append(chunk, static_cast<size_t>(std::max<ssize_t>(got, 0)));
    close(master); // the reads end with EIO once the program has ended
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << screen;
    for (const char* part : {"[Place M740-RT In Program Mode]", "\rProgramming Flash [###", "\033[K",
                             "Update Complete!", "Lock FC  Fuse low BF  Fuse extended FF  Fuse high 9F"})
        EXPECT_NE(screen.find(part), std::string::npos) << part;
    const size_t crc = screen.find("Check value (CRC): ") + 19;
    EXPECT_EQ(screen.find_first_not_of("0123456789ABCDEF", crc), crc + 4) << screen;
}

TEST_F(Console, UpdatesThroughTheModelledUsbAdapterAndNamesTheAdaptersWhenNoneFits)
{
    struct Case {
        const char* arguments;
        int status;
        const char* text;
    };
    for (const Case& run : {Case{"--simulate --fast --port usb --yes", 0, "Lock FC  Fuse low BF"},
                            Case{"--simulate --fast --port USB:SIM00001 --yes", 0, "Update Complete!"},
                            Case{"--simulate --list-ports", 0, "COM4\nUSB FT232R SIM00001\n"},
                            Case{"--simulate --port usb:A12345", 1, "found: USB FT232R SIM00001"},
                            Case{"--simulate --port lpt1", 2, "COM1 to COM4, usb or usb:SERIAL"}}) {
        const auto [status, out] = this->run(run.arguments, "");
        EXPECT_EQ(status, run.status) << run.arguments << "\n" << out;
        EXPECT_NE(out.find(run.text), std::string::npos) << run.arguments << "\n" << out;
    }
}

} // namespace
} // namespace app_test
