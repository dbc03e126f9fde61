// kpx-update as an operator meets it: the built program, run in a folder
// holding the sample firmware, answered through a pipe or a terminal.
#include "app/console/ConsoleFrontEnd.h"
#include "link/posix/PosixComPort.h"
#include "tests/app/UpdateRig.h"

#include <cerrno>
#include <chrono>
#include <csignal>
#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <sstream>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <sys/wait.h>
#include <termios.h>
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

// Reads fd until it ends (end of file, or EIO from a terminal whose program
// has ended), or until it shows `until`; false when `seconds` pass first. A
// program that never ends (a link that lost its bit order waits for ever)
// fails the test instead of hanging the suite.
bool readFrom(int fd, std::string& text, int seconds, const std::string& until = {})
{
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(seconds);
    char chunk[4096];
    while (until.empty() || text.find(until) == std::string::npos) {
        if (std::chrono::steady_clock::now() > deadline)
            return false;
        pollfd ready{fd, POLLIN, 0};
        if (poll(&ready, 1, 100) <= 0)
            continue;
        const ssize_t got = read(fd, chunk, sizeof chunk);
        if (got < 0 && errno == EINTR)
            continue;
        if (got <= 0)
            return until.empty();
        text.append(chunk, static_cast<size_t>(got));
    }
    return true;
}

size_t occurrences(const std::string& text, const std::string& part)
{
    size_t times = 0;
    for (size_t at = 0; (at = text.find(part, at)) != std::string::npos; ++at)
        ++times;
    return times;
}

// kpx-update on a terminal of its own, with `typed` typed ahead and KPX_COM2
// set to `com2` when given: its exit status (-1 when it had to be killed),
// the screen, and the terminal's settings once it has ended.
struct OnTerminal {
    int status = -1;
    std::string screen;
    termios settings{};
};
OnTerminal onTerminal(std::vector<const char*> arguments, const std::string& typed, const char* com2 = nullptr)
{
    OnTerminal run;
    int master = -1;
    const pid_t child = forkpty(&master, nullptr, nullptr, nullptr);
    if (child == 0) {
        if (com2)
            setenv("KPX_COM2", com2, 1);
        arguments.insert(arguments.begin(), KPX_UPDATE_EXE);
        arguments.push_back(nullptr);
        execv(KPX_UPDATE_EXE, const_cast<char* const*>(arguments.data()));
        _exit(127);
    }
    if (child < 0 || write(master, typed.data(), typed.size()) != static_cast<ssize_t>(typed.size()))
        return run;
    if (!readFrom(master, run.screen, 120))
        kill(child, SIGKILL);
    int status = 0;
    if (waitpid(child, &status, 0) == child && WIFEXITED(status))
        run.status = WEXITSTATUS(status);
    tcgetattr(master, &run.settings);
    close(master);
    return run;
}

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
    // goes no further. Rows that name their port run once.
    const Case cases[] = {
        {"--simulate --yes", "", 0, "Lock FC  Fuse low BF  Fuse extended FF  Fuse high 9F", 1},
        {"--simulate=stuck-bit:0 --yes", "", 1, "[Verify Error]\nVerify Error", 1},
        {"--simulate=lock-misread --yes", "", 1, "Configuration Verify Error: lock FC expected, FF read", 1},
        // The power fails right after the chip erase.
        {"--simulate=power-loss:7 --yes", "", 1, "No Device Detected!", 4},
        // The cable or the adapter pulled out while programming: the port's
        // own reason, then what the instrument holds.
        {"--simulate=unplugged --yes", "", 1, "partly written; it will not start", 1},
        {"--simulate=no-device --yes", "", 1, "No Device Detected!", 4},
        // Unattended, a chip that stays locked is not erased for ever.
        {"--simulate=stuck-locked --yes", "", 1, "[Device Locked]", 1},
        {"--simulate=wrong-model", "o\n", 1, "This Update Is For The Model M740-RT", 1},
        {"--simulate", "c\n", 1, "Getting Device Infomation", 0},
        {"--simulate=haunted", "", 2, "unknown sim scenario", 1},
        {"--simulate --yes --port USB:SIM00001", "", 0, "Update Complete!", 1},
        {"--simulate --list-ports", "", 0, "COM4\nUSB FT232R SIM00001\n", 1},
        {"--simulate --port usb:A12345", "", 1, "found: USB FT232R SIM00001", 1},
        {"--simulate --port lpt1", "", 2, "COM1 to COM4, usb or usb:SERIAL", 1},
    };
    for (const std::string port : {"com2", "usb"}) {
        for (const Case& c : cases) {
            const bool ownPort = std::string(c.arguments).find("port") != std::string::npos;
            if (ownPort && port == "usb")
                continue;
            const std::string arguments = c.arguments + std::string(" --fast") + (ownPort ? "" : " --port " + port);
            const auto [status, out] = run(arguments, c.input);
            EXPECT_EQ(status, c.status) << arguments << "\n" << out;
            EXPECT_EQ(occurrences(out, c.text), c.times) << arguments << "\n" << out;
        }
    }
}

TEST_F(Console, UpdatesTheSimulatedInstrumentOnATerminalWithALiveProgressLine)
{
    const auto [status, screen, settings] = onTerminal({"--simulate", "--fast"}, "o\n"); // typed ahead of the prompt
    EXPECT_EQ(status, 0) << screen;
    for (const char* part : {"[Place M740-RT In Program Mode]", "\rProgramming Flash [###", "\033[K",
                             "Update Complete!", "Lock FC  Fuse low BF  Fuse extended FF  Fuse high 9F"})
        EXPECT_NE(screen.find(part), std::string::npos) << part;
    const size_t crc = screen.find("Check value (CRC): ") + 19;
    EXPECT_EQ(screen.find_first_not_of("0123456789ABCDEF", crc), crc + 4) << screen;
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

    // Saved by an editor as "Unicode": named as such.
    std::string utf16 = "\xFF\xFE";
    for (const char c : std::string(":00000001FF\r\n"))
        utf16 += {c, '\0'};
    std::ofstream("unicode.hex", std::ios::binary) << utf16;
    std::tie(status, out) = run("--simulate --fast --firmware unicode.hex", "c\n");
    EXPECT_NE(out.find("Firmware refused: line 1: UTF-16 text; save it as plain ASCII (" + here + "/unicode.hex)\n"),
              std::string::npos)
        << out;
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

// A stop signal ends a run at its next safe point with one outcome: stopped,
// saying what the instrument holds, or complete when the configuration was
// already being written. (Each signal's number and words are the
// stop-signal test's.)
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
               {"[Update Stopped]\n" + partlyWritten,
                "kpx-update: terminated (SIGTERM); the update was stopped. " + partlyWritten + "\n"}},
          // Every page written, none verified yet.
          Case{"Verifying Flash  10%", SIGTERM, 128 + SIGTERM,
               {"kpx-update: terminated (SIGTERM); the update was stopped. " + writtenUnverified + "\n"}},
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
    // Pseudo-terminals: one that another program has claimed exclusively,
    // one that another updater holds, and one that opens like a port but has
    // no modem lines; and a file that is no serial port.
    std::vector<int> masters;
    const auto pty = [&masters] {
        masters.push_back(posix_openpt(O_RDWR | O_NOCTTY));
        const bool ok = masters.back() >= 0 && grantpt(masters.back()) == 0 && unlockpt(masters.back()) == 0;
        return ok ? std::string(ptsname(masters.back())) : std::string("/nonexistent/pty");
    };
    const std::string claimed = pty(), locked = pty(), terminal = pty();
    const int claimer = ::open(claimed.c_str(), O_RDWR | O_NOCTTY);
    ASSERT_TRUE(claimer >= 0 && ioctl(claimer, TIOCEXCL) == 0);
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
        {terminal, badPort + "COM2: " + terminal + " is not a serial port"},
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
        EXPECT_NE(out.find("Port: COM2 on " + c.device + "\n"), std::string::npos) << out;
        EXPECT_EQ(status, 1);
    }
    unsetenv("KPX_COM2");
    int stillClaimed = 0;
    EXPECT_TRUE(ioctl(claimer, TIOCGEXCL, &stillClaimed) == 0 && stillClaimed == 1);
    masters.insert(masters.end(), {claimer, locker});
    for (const int fd : masters)
        ::close(fd);
}

// kpx-update as the first program of a pipeline, in a process group of its
// own as a shell starts one: answers from a pipe held open, standard error
// into err.txt, standard output into a pipe whose reader may go away, or
// has gone before it starts (as with `| head -c0`).
class Pipeline {
public:
    Pipeline(const std::string& arguments, bool readerGone)
    {
        int input[2];
        int output[2];
        if (pipe2(input, O_CLOEXEC) != 0 || pipe2(output, O_CLOEXEC) != 0)
            throw std::runtime_error("no pipes");
        if (readerGone)
            ::close(output[0]);
        pid_ = fork();
        if (pid_ == 0) {
            setpgid(0, 0);
            // As a shell leaves it, whatever this test process ignores.
            ::signal(SIGPIPE, SIG_DFL);
            dup2(input[0], STDIN_FILENO);
            dup2(output[1], STDOUT_FILENO);
            const std::string command = "exec '" KPX_UPDATE_EXE "' " + arguments + " 2>err.txt";
            execl("/bin/sh", "sh", "-c", command.c_str(), static_cast<char*>(nullptr));
            _exit(127);
        }
        setpgid(pid_, pid_);
        ::close(input[0]);
        ::close(output[1]);
        in_ = input[1];
        out_ = readerGone ? -1 : output[0];
    }
    ~Pipeline()
    {
        for (const int fd : {in_, out_})
            if (fd >= 0)
                ::close(fd);
        if (pid_ > 0) {
            kill(-pid_, SIGKILL);
            waitpid(pid_, nullptr, 0);
        }
    }

    void answer(const std::string& text) { ASSERT_EQ(write(in_, text.data(), text.size()), ssize_t(text.size())); }
    // Standard output until it shows text; false at its end or after 10 s.
    bool readUntil(const std::string& text) { return readFrom(out_, seen, 10, text); }
    void readerGoes()
    {
        ::close(out_);
        out_ = -1;
    }
    // To the whole process group, as Ctrl+C in a terminal.
    void signal(int number) { killpg(pid_, number); }
    // The exit status; minus the signal's number when one ended it.
    int finish()
    {
        ::close(in_);
        in_ = -1;
        int status = 0;
        waitpid(pid_, &status, 0);
        pid_ = -1;
        return WIFEXITED(status) ? WEXITSTATUS(status) : -WTERMSIG(status);
    }
    static std::string errors()
    {
        std::ostringstream text;
        text << std::ifstream("err.txt").rdbuf();
        return text.str();
    }

    std::string seen;

private:
    pid_t pid_ = -1;
    int in_ = -1;
    int out_ = -1;
};

// A reader that has gone takes nothing from the run: it goes on, stops
// safely, and says on standard error what the instrument holds.
TEST_F(Console, OutputIntoAPipeWithoutReaderNeitherEndsNorSilencesTheRun)
{
    struct Case {
        const char* arguments;
        const char* answers;
        int status;
        std::string errors;
    };
    for (const Case& c : {Case{"--simulate --fast --yes", "", 0, ""},
                          Case{"--simulate --fast", "c\n", 1,
                               "kpx-update: the update did not complete. " + nothingWritten + "\n"}}) {
        SCOPED_TRACE(c.arguments);
        Pipeline run(c.arguments, true);
        run.answer(c.answers);
        EXPECT_EQ(run.finish(), c.status);
        EXPECT_EQ(run.errors(), c.errors);
    }
}

// The usual spellings in any case, blanks around them ignored; nonsense
// three times, or no more input, is Cancel, so that `yes maybe |
// kpx-update` ends.
TEST_F(Console, PipedAnswersTakeTheUsualSpellingsAndEndInCancel)
{
    std::string maybe;
    for (int line = 0; line < 1000; ++line)
        maybe += "maybe\n";
    struct Case {
        std::string answers;
        size_t prompts;  // program mode
        size_t retries;  // no device
        const char* said;
    };
    for (const Case& c :
         {Case{maybe, 3, 0, "maybe\n(not understood: type o or c)\n[O]K/[C]ancel? maybe\n(not understood: type o or "
                            "c)\n[O]K/[C]ancel? maybe\n(not understood 3 times: taken as Cancel)\n"},
          Case{" Yes \n RETRY\r\nNo\n", 1, 2, "[R]etry/[C]ancel?  RETRY\r\n"},
          Case{"o\nr\ncancel\n", 1, 2, "[R]etry/[C]ancel? cancel\n"},
          Case{"OK\nmaybe\nyes\no\n", 1, 1, "(not understood: type r or c)\n"},
          Case{"y\n", 1, 1, "[R]etry/[C]ancel? (no answer)\n"},
          Case{"n\n", 1, 0, "[O]K/[C]ancel? n\n"}}) {
        SCOPED_TRACE(c.answers.substr(0, 20));
        const auto [status, out] = run("--simulate=no-device --fast", c.answers);
        EXPECT_EQ(status, 1);
        EXPECT_EQ(occurrences(out, "[O]K/[C]ancel? "), c.prompts) << out;
        EXPECT_EQ(occurrences(out, "No Device Detected!"), c.retries) << out;
        EXPECT_NE(out.find(c.said), std::string::npos) << out;
    }
}

// Ctrl+C in the identification's waits ends the wait under way, on virtual
// time: the signal comes 1.2 s into the second wait.
TEST_F(Console, AStopEndsTheDetectionWaitUnderWay)
{
    platform::VirtualClock clock{1'000'000, 1'000};
    platform::ScopedClock useClock(clock);
    bool raised = false;
    clock.onSleep = [&](uint32_t) {
        if (!raised && clock.nowNs() >= 4'200'000'000) {
            raised = true;
            std::raise(SIGINT);
        }
    };
    std::istringstream in("o\n");
    std::ostringstream out;
    const char* argv[] = {"kpx-update", "--simulate"};
    EXPECT_EQ(runConsole(2, const_cast<char**>(argv), in, out, out), 128 + SIGINT) << out.str();
    ASSERT_EQ(clock.sleeps().size(), 2u) << out.str();
    EXPECT_EQ(clock.sleeps()[0], 3000u);
    EXPECT_LE(clock.sleeps()[1], 1200u + 100u);
}

// Its own terminal named as the port is refused when it is opened, and
// keeps echo and line editing.
TEST_F(Console, ItsOwnTerminalAsPortIsRefusedAndKeepsItsSettings)
{
    const auto [status, screen, settings] = onTerminal({"--port", "COM2"}, "", "/dev/tty");
    EXPECT_EQ(status, 1) << screen;
    EXPECT_NE(screen.find("Port: COM2 on /dev/tty\r\n"), std::string::npos) << screen;
    EXPECT_NE(screen.find("COM2: /dev/tty is not a serial port"), std::string::npos) << screen;
    EXPECT_EQ(settings.c_lflag & tcflag_t{ECHO | ICANON}, tcflag_t{ECHO | ICANON});
}

// A stop signal to the whole pipeline ends the program with 128 + its
// number, and standard error says what the instrument holds: each sent while
// the erased instrument is asked for, through the modem lines and the
// adapter, once after the reader has gone (`| tee log` and Ctrl+C); and sent after
// the first step's line, which a pipe gets before the step's first 3 s
// wait (in real time) has ended and added its progress line.
TEST_F(Console, StopSignalsEndTheProgramWith128PlusTheirNumber)
{
    struct Case {
        std::string arguments;
        const char* until;
        int signal;
        const char* cause;
        const std::string& holds;
        bool readerGoes;
    };
    const std::string erased = "--simulate=power-loss:7 --fast --port ";
    const char* retry = "[R]etry/[C]ancel? ";
    for (const Case& c : {Case{erased + "com2", retry, SIGINT, "interrupted", erasedMemory, true},
                          Case{erased + "usb", retry, SIGINT, "interrupted", erasedMemory, false},
                          Case{erased + "com2", retry, SIGTERM, "terminated (SIGTERM)", erasedMemory, false},
                          Case{erased + "usb", retry, SIGTERM, "terminated (SIGTERM)", erasedMemory, false},
                          Case{erased + "com2", retry, SIGHUP, "hung up (SIGHUP)", erasedMemory, false},
                          Case{erased + "usb", retry, SIGHUP, "hung up (SIGHUP)", erasedMemory, false},
                          Case{"--simulate --yes", "Getting Device Infomation\n", SIGTERM, "terminated (SIGTERM)",
                               nothingWritten, false}}) {
        SCOPED_TRACE(c.arguments + " " + c.cause);
        Pipeline run(c.arguments, false);
        run.answer("o\n");
        ASSERT_TRUE(run.readUntil(c.until)) << run.seen;
        if (c.arguments.find("--fast") == std::string::npos) {
            EXPECT_EQ(run.seen.find("  Getting Device Infomation  "), std::string::npos) << run.seen;
        }
        if (c.readerGoes)
            run.readerGoes();
        run.signal(c.signal);
        EXPECT_EQ(run.finish(), 128 + c.signal);
        EXPECT_EQ(run.errors(), "kpx-update: " + std::string(c.cause) + "; the update was stopped. " + c.holds + "\n");
    }
}

} // namespace
} // namespace app_test
