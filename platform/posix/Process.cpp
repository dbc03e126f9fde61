// The running program, its terminal and the stop signals on Linux.
#include "platform/Process.h"

#include <atomic>
#include <cerrno>
#include <climits>
#include <csignal>
#include <fcntl.h>
#include <iterator>
#include <unistd.h>

namespace platform {

namespace {

// Set from a signal handler: lock-free.
std::atomic<int> stopRequest{0};

// Opened before the handler can run: what standard input reads once a stop
// has been requested.
int noInput = -1;

extern "C" void onStopSignal(int signal)
{
    stopRequest = signal;
    // A prompt that has not yet started to read its answer would wait for
    // one in spite of the stop (one that reads already is interrupted):
    // from now on there is no more input, and it answers Cancel.
    const int savedErrno = errno;
    if (noInput >= 0)
        dup2(noInput, STDIN_FILENO);
    errno = savedErrno;
}

// Ctrl+C, a closed terminal and a service stop all stop the update at its
// next safe point instead of killing it between two instructions.
constexpr int stopSignals[] = {SIGINT, SIGTERM, SIGHUP};

struct sigaction previousActions[std::size(stopSignals)]{};

} // namespace

std::string runningProgramPath()
{
    char buffer[PATH_MAX];
    const ssize_t length = readlink("/proc/self/exe", buffer, sizeof buffer - 1);
    return length > 0 ? std::string(buffer, static_cast<size_t>(length)) : std::string();
}

const char* pathSeparators()
{
    return "/";
}

bool outputDrawsEscapes()
{
    return isatty(STDOUT_FILENO) == 1;
}

bool inputIsTerminal()
{
    return isatty(STDIN_FILENO) == 1;
}

void keepRunningWhenOutputCloses()
{
    std::signal(SIGPIPE, SIG_IGN);
}

StopRequests::StopRequests()
{
    stopRequest = 0;
    noInput = open("/dev/null", O_RDONLY | O_CLOEXEC);
    // Without SA_RESTART, so that a prompt waiting for input gives up (and
    // answers Cancel) as well.
    struct sigaction action {};
    action.sa_handler = onStopSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = 0;
    for (size_t i = 0; i < std::size(stopSignals); ++i)
        sigaction(stopSignals[i], &action, &previousActions[i]);
}

StopRequests::~StopRequests()
{
    for (size_t i = 0; i < std::size(stopSignals); ++i)
        sigaction(stopSignals[i], &previousActions[i], nullptr);
    if (noInput >= 0)
        close(noInput);
    noInput = -1;
}

int StopRequests::requested()
{
    return stopRequest;
}

std::string StopRequests::help()
{
    return "128 + the signal's number when Ctrl+C (130),\nSIGTERM (143) or SIGHUP (129) stopped it";
}

std::string StopRequests::cause(int request)
{
    switch (request) {
    case SIGINT:
        return "interrupted";
    case SIGTERM:
        return "terminated (SIGTERM)";
    case SIGHUP:
        return "hung up (SIGHUP)";
    default:
        return "stopped by signal " + std::to_string(request);
    }
}

} // namespace platform
