// kpx-update as an operator meets it: the built program, run in a folder
// holding the sample firmware, answered through a pipe or a terminal.
#include "app/console/ConsoleFrontEnd.h"
#include "link/posix/PosixComPort.h"
#include "tests/app/UpdateRig.h"

#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <functional>
#include <poll.h>
#include <pty.h>
#include <sstream>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <sys/wait.h>
#include <unistd.h>

namespace app_test {
namespace {

// Reads what kpx-update says on fd until it closes its end, telling `heard`
// everything so far after each piece. A program that never ends (a link
// that lost its bit order waits for ever) fails the test instead of hanging
// the suite.
std::string collectOutput(int fd, pid_t child, const std::function<void(const std::string&)>& heard = {})
{
    std::string said;
    char chunk[4096];
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(120);
    for (;;) {
        if (std::chrono::steady_clock::now() > deadline) {
            kill(child, SIGKILL);
            ADD_FAILURE() << "kpx-update was still running after 120 s:\n" << said;
            break;
        }
        pollfd ready{fd, POLLIN, 0};
        if (poll(&ready, 1, 100) <= 0)
            continue;
        const ssize_t got = read(fd, chunk, sizeof chunk);
        if (got < 0 && errno == EINTR)
            continue;
        if (got <= 0)
            break; // the end of a pipe, or EIO from a terminal whose program has ended
        said.append(chunk, static_cast<size_t>(got));
        if (heard)
            heard(said);
    }
    close(fd);
    return said;
}

// How the child ended: its exit status, or 256 + the signal that killed it.
int ending(pid_t child)
{
    int status = 0;
    if (waitpid(child, &status, 0) != child)
        return -1;
    return WIFEXITED(status) ? WEXITSTATUS(status) : 256 + WTERMSIG(status);
}

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

// Scripts and production lines go by the exit status: 0 only after a
// verified and configured update, 1 for every update that did not complete,
// 2 for a usage error, through the modem lines and the modelled adapter.
TEST_F(Console, EveryEndingHasItsExitStatusOnBothKindsOfPort)
{
    struct Case {
        const char* arguments;
        const char* input;
        int status;
        const char* text;
        size_t times;
    };
    // --yes retries a silent instrument three times; Cancel at the prompt
    // goes no further.
    const Case cases[] = {
        {"--simulate --yes", "", 0, "Lock FC  Fuse low BF  Fuse extended FF  Fuse high 9F", 1},
        {"--simulate=stuck-bit:0 --yes", "", 1, "[Verify Error]\nVerify Error", 1},
        {"--simulate=lock-misread --yes", "", 1, "Configuration Verify Error: lock FC expected, FF read", 1},
        // The power fails right after the chip erase.
        {"--simulate=power-loss:7 --yes", "", 1, "No Device Detected!", 4},
        {"--simulate=no-device --yes", "", 1, "No Device Detected!", 4},
        // Unattended, a chip that stays locked is not erased for ever.
        {"--simulate=stuck-locked --yes", "", 1, "[Device Locked]", 1},
        {"--simulate=wrong-model", "o\n", 1, "This Update Is For The Model M740-RT", 1},
        {"--simulate", "c\n", 1, "Getting Device Infomation", 0},
        {"--simulate=haunted", "", 2, "unknown sim scenario", 1},
    };
    for (const char* port : {"com2", "usb"}) {
        for (const Case& c : cases) {
            const std::string arguments = std::string(c.arguments) + " --fast --port " + port;
            const auto [status, out] = run(arguments, c.input);
            size_t times = 0;
            for (size_t at = 0; (at = out.find(c.text, at)) != std::string::npos; ++at)
                ++times;
            EXPECT_EQ(status, c.status) << arguments << "\n" << out;
            EXPECT_EQ(times, c.times) << arguments << "\n" << out;
        }
    }
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
    const std::string screen = collectOutput(master, child);
    EXPECT_EQ(ending(child), 0) << screen;
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
    for (const Case& run : {Case{"--simulate --fast --port USB:SIM00001 --yes", 0, "Update Complete!"},
                            Case{"--simulate --list-ports", 0, "COM4\nUSB FT232R SIM00001\n"},
                            Case{"--simulate --port usb:A12345", 1, "found: USB FT232R SIM00001"},
                            Case{"--simulate --port lpt1", 2, "COM1 to COM4, usb or usb:SERIAL"}}) {
        const auto [status, out] = this->run(run.arguments, "");
        EXPECT_EQ(status, run.status) << run.arguments << "\n" << out;
        EXPECT_NE(out.find(run.text), std::string::npos) << run.arguments << "\n" << out;
    }
}

TEST_F(Console, SaysWhichFirmwareItWillProgramBeforeTheIdentificationWait)
{
    const std::string here = std::filesystem::current_path().string();
    auto [status, out] = run("--simulate --fast", "c\n");
    EXPECT_LT(out.find("Firmware: " + here + "/KPXUpdate517.hex\n"), out.find("[Place M740-RT In Program Mode]"))
        << out;

    std::filesystem::rename(TfrmUpdate::hexFileName, "elsewhere.hex");
    std::tie(status, out) = run("--simulate --fast", "c\n");
    EXPECT_LT(out.find("Firmware missing: KPXUpdate517.hex is not in " + here + " "),
              out.find("[Place M740-RT In Program Mode]"))
        << out;
    EXPECT_EQ(status, 1);

    std::tie(status, out) = run("--simulate --fast --yes --firmware elsewhere.hex", "");
    EXPECT_NE(out.find("Firmware: " + here + "/elsewhere.hex\n"), std::string::npos) << out;
    EXPECT_EQ(status, 0) << out;
}

// Ctrl+C, a closed terminal and a service stop, each sent to the program
// while it waits for an answer, before and after the chip erase: it stops,
// says what the instrument holds, and exits with 128 + the signal's number.
TEST_F(Console, StopSignalsEndTheProgramWith128PlusTheirNumber)
{
    struct Case {
        const char* scenario;
        const char* input; // answered ahead
        const char* prompt; // the signal comes while this waits
        int signal;
        std::string said;
    };
    const std::string stopped = "; the update was stopped";
    const Case cases[] = {
        {"--simulate", "", "[O]K/[C]ancel? ", SIGINT, "kpx-update: interrupted" + stopped + ". " + nothingWritten},
        // The power fails right after the chip erase.
        {"--simulate=power-loss:7", "o\n", "[R]etry/[C]ancel? ", SIGTERM, "[Update Stopped]\n" + erasedMemory},
        {"--simulate=power-loss:7", "o\n", "[R]etry/[C]ancel? ", SIGHUP, "kpx-update: hung up (SIGHUP)" + stopped},
    };
    for (const char* port : {"COM2", "usb"}) {
        for (const Case& c : cases) {
            SCOPED_TRACE(std::string(port) + " " + c.prompt + std::to_string(c.signal));
            int input[2];
            int output[2];
            ASSERT_TRUE(pipe(input) == 0 && pipe(output) == 0);
            const char* argv[] = {KPX_UPDATE_EXE, c.scenario, "--fast", "--port", port, nullptr};
            const pid_t child = fork();
            ASSERT_GE(child, 0);
            if (child == 0) {
                dup2(input[0], STDIN_FILENO);
                dup2(output[1], STDOUT_FILENO);
                dup2(output[1], STDERR_FILENO);
                for (const int fd : {input[0], input[1], output[0], output[1]})
                    ::close(fd);
                execv(KPX_UPDATE_EXE, const_cast<char* const*>(argv));
                _exit(127);
            }
            ::close(input[0]);
            ::close(output[1]);
            const size_t length = std::strlen(c.input);
            ASSERT_EQ(write(input[1], c.input, length), static_cast<ssize_t>(length));
            // Closing the input as well ends a wait that began after the signal.
            bool sent = false;
            const std::string said = collectOutput(output[0], child, [&](const std::string& heard) {
                if (!sent && heard.find(c.prompt) != std::string::npos) {
                    sent = true;
                    kill(child, c.signal);
                    ::close(input[1]);
                }
            });
            if (!sent)
                ::close(input[1]);
            EXPECT_EQ(ending(child), 128 + c.signal) << said;
            EXPECT_NE(said.find(c.said), std::string::npos) << said;
        }
    }
}

// Writes to a string and raises a signal once the text written so far
// contains a trigger: the signal arrives at a known point of the update.
class SignalAt final : public std::stringbuf {
public:
    SignalAt(std::string trigger, int signal)
        : trigger_(std::move(trigger))
        , signal_(signal)
    {
    }

protected:
    std::streamsize xsputn(const char* text, std::streamsize count) override
    {
        const std::streamsize written = std::stringbuf::xsputn(text, count);
        check();
        return written;
    }
    int_type overflow(int_type c) override
    {
        const int_type result = std::stringbuf::overflow(c);
        check();
        return result;
    }

private:
    void check()
    {
        if (!raised_ && str().find(trigger_) != std::string::npos) {
            raised_ = true;
            std::raise(signal_);
        }
    }
    std::string trigger_;
    int signal_;
    bool raised_ = false;
};

// A stop signal while the update runs ends it at its next safe point with
// one outcome: stopped, saying what the instrument holds, or complete when
// the configuration was already being written.
TEST_F(Console, SignalsStopAtTheNextSafePointWithOneOutcome)
{
    struct Case {
        const char* trigger;
        int signal;
        int status;
        std::vector<std::string> said;
    };
    const std::string complete = "Update Complete!";
    for (const Case& c :
         {Case{"Programming Flash  10%", SIGTERM, 128 + SIGTERM,
               {"[Update Stopped]\n" + partlyWritten, "kpx-update: terminated (SIGTERM); the update was stopped\n"}},
          Case{"Writing Configuration", SIGINT, 0, {complete, "Lock FC  Fuse low BF  Fuse extended FF"}}}) {
        SCOPED_TRACE(c.trigger);
        SignalAt buffer(c.trigger, c.signal);
        std::ostream out(&buffer);
        std::istringstream in("o\n");
        const char* argv[] = {"kpx-update", "--simulate", "--fast", "--yes"};
        const int status = runConsole(4, const_cast<char**>(argv), in, out, out);
        const std::string said = buffer.str();
        EXPECT_EQ(status, c.status) << said;
        for (const std::string& part : c.said)
            EXPECT_NE(said.find(part), std::string::npos) << part << "\n" << said;
        EXPECT_FALSE(said.find(complete) != std::string::npos && said.find("stopped") != std::string::npos)
            << said;
    }
}

// Why a port cannot be opened, as the port layer knows it, reaches the
// operator in the window's message and on the console.
TEST_F(Console, PortFailureReasonsReachTheWindowAndTheConsole)
{
    // A pseudo-terminal that another program has claimed exclusively, one
    // that another updater holds, and a file that is no serial port.
    const int master = posix_openpt(O_RDWR | O_NOCTTY);
    ASSERT_TRUE(master >= 0 && grantpt(master) == 0 && unlockpt(master) == 0);
    const std::string claimed = ptsname(master);
    const int claimer = ::open(claimed.c_str(), O_RDWR | O_NOCTTY);
    ASSERT_TRUE(claimer >= 0 && ioctl(claimer, TIOCEXCL) == 0);
    const int otherMaster = posix_openpt(O_RDWR | O_NOCTTY);
    ASSERT_TRUE(otherMaster >= 0 && grantpt(otherMaster) == 0 && unlockpt(otherMaster) == 0);
    const std::string locked = ptsname(otherMaster);
    const int locker = ::open(locked.c_str(), O_RDWR | O_NOCTTY);
    ASSERT_TRUE(locker >= 0 && flock(locker, LOCK_EX | LOCK_NB) == 0);
    const std::string plainFile = std::filesystem::current_path() / "not-a-port";
    std::ofstream(plainFile) << "text";

    const std::string badPort = "Error setting COM Port!  Please select a different port.\n\n";
    const std::string inUse = "Selected COM port is already in use by another application.  Please close the other "
                              "application and try again.\n\n";
    const struct {
        std::string device;
        std::string said;
    } cases[] = {
        {"/nonexistent/kpx-port", badPort + "COM2: there is no serial port at /nonexistent/kpx-port"},
        {plainFile, badPort + "COM2: " + plainFile + " is not a serial port"},
        {claimed, inUse + "COM2: " + claimed + " is in use by another program"},
        {locked, inUse + "COM2: another program holds " + locked + "."},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.device);
        setenv("KPX_COM2", c.device.c_str(), 1);
        UpdateRig rig({}, std::make_unique<serial::PosixComPort>());
        rig.op.responder = [](const testing_support::ShownMessage&) { return tk::IDOK; };
        rig.form->lboxComPort.Select(1);
        ASSERT_EQ(rig.op.shown().size(), 1u);
        EXPECT_TRUE(rig.op.shown()[0].text.starts_with(c.said)) << rig.op.shown()[0].text;

        const auto [status, out] = run("--port COM2", "");
        EXPECT_NE(out.find(c.said), std::string::npos) << out;
        EXPECT_EQ(status, 1);
    }
    unsetenv("KPX_COM2");
    int stillClaimed = 0;
    EXPECT_TRUE(ioctl(claimer, TIOCGEXCL, &stillClaimed) == 0 && stillClaimed == 1);
    for (const int fd : {claimer, master, locker, otherMaster})
        ::close(fd);
}

} // namespace
} // namespace app_test
