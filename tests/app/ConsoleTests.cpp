// kpx-update as an operator meets it: the built program, run in a folder
// holding the sample firmware, answered through a pipe or a terminal.
#include "app/console/ConsoleFrontEnd.h"
#include "tests/app/UpdateRig.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <pty.h>
#include <sstream>
#include <streambuf>
#include <sys/wait.h>
#include <unistd.h>

namespace app_test {
namespace {

struct ProgramRun {
    int status = -1;
    std::string out;
    std::string err;
};

std::string slurp(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

// Runs the program in the current folder with the given standard input.
ProgramRun runPiped(const std::string& arguments, const std::string& input)
{
    std::ofstream("stdin.txt", std::ios::binary) << input;
    const std::string command =
        std::string("'") + KPX_UPDATE_EXE + "' " + arguments + " < stdin.txt > stdout.txt 2> stderr.txt";
    const int raw = std::system(command.c_str());
    ProgramRun run;
    run.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
    run.out = slurp("stdout.txt");
    run.err = slurp("stderr.txt");
    return run;
}

void copySampleFirmware()
{
    std::filesystem::copy_file(KPX_SAMPLE_FIRMWARE_PATH, "KPXUpdate517.hex");
}

size_t occurrences(const std::string& text, const std::string& part)
{
    size_t count = 0;
    for (size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1))
        ++count;
    return count;
}

TEST(Console, UpdatesTheSimulatedInstrumentAndShowsTheResult)
{
    TempFolder folder;
    copySampleFirmware();
    const ProgramRun run = runPiped("--simulate --fast", "o\n");
    EXPECT_EQ(run.status, 0) << run.out << run.err;
    EXPECT_NE(run.out.find("[Place M740-RT In Program Mode]"), std::string::npos);
    EXPECT_NE(run.out.find("\nUpdate Complete!\n"), std::string::npos);
    EXPECT_NE(run.out.find("  Verifying Flash  100%"), std::string::npos);
    EXPECT_NE(run.out.find("Lock FC  Fuse low BF  Fuse extended FF  Fuse high 9F"), std::string::npos);
    const size_t crc = run.out.find("Check value (CRC): ");
    ASSERT_NE(crc, std::string::npos);
    const std::string value = run.out.substr(crc + 19, 5);
    EXPECT_EQ(value.find_first_not_of("0123456789ABCDEF"), 4u) << value;
    EXPECT_EQ(value[4], '\n');
    EXPECT_EQ(run.err, "");
}

TEST(Console, FailuresExitNonZeroWithTheOperatorMessage)
{
    TempFolder folder;
    copySampleFirmware();

    ProgramRun run = runPiped("--simulate=no-device --fast --yes", "");
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(occurrences(run.out, "No Device Detected!"), 4u); // three retries, then Cancel
    EXPECT_NE(run.out.find("Error getting M740-RT information"), std::string::npos);

    run = runPiped("--simulate=wrong-model --fast", "o\n");
    EXPECT_EQ(run.status, 1);
    EXPECT_NE(run.out.find("This Update Is For The Model M740-RT"), std::string::npos);

    run = runPiped("--port com2 --simulate --fast", "c\n");
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(run.out.find("Getting Device Infomation"), std::string::npos);

    run = runPiped("--simulate --fast", ""); // no answer counts as Cancel
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(run.out.find("Getting Device Infomation"), std::string::npos);

    std::filesystem::remove("KPXUpdate517.hex");
    run = runPiped("--simulate --fast --yes", "");
    EXPECT_EQ(run.status, 1);
    EXPECT_NE(run.out.find("Error reading Flash .HEX file!"), std::string::npos);
}

TEST(Console, RejectsBadUsageAndExplainsTheCable)
{
    TempFolder folder;
    EXPECT_EQ(runPiped("--fast", "").status, 2);
    EXPECT_EQ(runPiped("--port COM5 --simulate", "").status, 2);
    EXPECT_EQ(runPiped("--simulate=haunted", "").status, 2);
    const ProgramRun help = runPiped("--help", "");
    EXPECT_EQ(help.status, 0);
    for (const char* part : {"RTS  clock", "DTR  data to", "CTS  data from", "KPX_COM1", "/dev/ttyS0", "power-loss"})
        EXPECT_NE(help.out.find(part), std::string::npos) << part;
}

// Answers the first read with "o" and raises SIGINT while doing so, as
// Ctrl+C pressed right after answering would.
class InterruptingInput : public std::streambuf {
protected:
    int_type underflow() override
    {
        if (done_)
            return traits_type::eof();
        done_ = true;
        std::raise(SIGINT);
        setg(answer_, answer_, answer_ + 2);
        return traits_type::to_int_type(answer_[0]);
    }

private:
    char answer_[2] = {'o', '\n'};
    bool done_ = false;
};

TEST(Console, CtrlCStopsTheUpdateAtItsNextTest)
{
    TempFolder folder;
    copySampleFirmware();
    InterruptingInput buffer;
    std::istream in(&buffer);
    std::ostringstream out;
    std::ostringstream err;
    char program[] = "kpx-update";
    char simulate[] = "--simulate";
    char fast[] = "--fast";
    char* argv[] = {program, simulate, fast, nullptr};
    EXPECT_EQ(runConsole(3, argv, in, out, err), 130);
    // Stopped at the first test of the flag, before the first wait.
    EXPECT_NE(out.str().find("Error getting M740-RT information"), std::string::npos);
    EXPECT_EQ(out.str().find("Getting Device Infomation  0%"), std::string::npos);
    EXPECT_NE(err.str().find("interrupted"), std::string::npos);
}

TEST(Console, DrawsALiveProgressLineOnATerminal)
{
    TempFolder folder;
    copySampleFirmware();
    int master = -1;
    const pid_t child = forkpty(&master, nullptr, nullptr, nullptr);
    ASSERT_GE(child, 0);
    if (child == 0) {
        execl(KPX_UPDATE_EXE, KPX_UPDATE_EXE, "--simulate", "--fast", static_cast<char*>(nullptr));
        _exit(127);
    }
    std::string screen;
    bool answered = false;
    char chunk[4096];
    for (;;) {
        const ssize_t got = read(master, chunk, sizeof chunk);
        if (got <= 0) {
            if (got < 0 && errno == EINTR)
                continue;
            break; // EIO once the program has ended
        }
        screen.append(chunk, static_cast<size_t>(got));
        if (!answered && screen.find("[O]K/[C]ancel? ") != std::string::npos) {
            ASSERT_EQ(write(master, "o\n", 2), 2);
            answered = true;
        }
    }
    close(master);
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << screen;
    EXPECT_NE(screen.find("\rProgramming Flash [###"), std::string::npos);
    EXPECT_NE(screen.find("\033[K"), std::string::npos);
    EXPECT_NE(screen.find("Update Complete!"), std::string::npos);
}

} // namespace
} // namespace app_test
