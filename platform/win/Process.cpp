#include "platform/Process.h"

#include "platform/win/Win32.h"

#include <atomic>
#include <csignal>
#include <io.h>

namespace platform {

namespace {

// Set from a thread of the system's: lock-free.
std::atomic<int> stopRequest{0};

// Set once the run is over, so that a console being closed waits for the
// update's safe point rather than ending the process between two
// instructions.
HANDLE runEnded = nullptr;

// Ctrl+C and Ctrl+Break stop like SIGINT. Closing the console, logging off
// and shutting down stop like SIGTERM; the system ends the process when this
// returns, so it waits (within the few seconds the system grants) until the
// run has stopped.
BOOL WINAPI onConsoleControl(DWORD event)
{
    if (event == CTRL_C_EVENT || event == CTRL_BREAK_EVENT) {
        stopRequest = SIGINT;
        return TRUE;
    }
    stopRequest = SIGTERM;
    if (runEnded)
        ::WaitForSingleObject(runEnded, 4000);
    return TRUE;
}

} // namespace

std::string runningProgramPath()
{
    // The path may be longer than MAX_PATH: grow until it fits.
    std::string buffer(MAX_PATH, '\0');
    for (;;) {
        const DWORD length = ::GetModuleFileNameA(nullptr, buffer.data(), static_cast<DWORD>(buffer.size()));
        if (length == 0)
            return {};
        if (length < buffer.size()) {
            buffer.resize(length);
            return buffer;
        }
        buffer.resize(buffer.size() * 2);
    }
}

const char* pathSeparators()
{
    // A folder also ends after a drive ("C:a.exe").
    return "\\/:";
}

bool outputDrawsEscapes()
{
    // False when the console cannot be asked (output redirected, or a
    // console too old for them).
    const HANDLE output = ::GetStdHandle(STD_OUTPUT_HANDLE);
    DWORD mode = 0;
    return output != INVALID_HANDLE_VALUE && ::GetConsoleMode(output, &mode) &&
           ::SetConsoleMode(output, mode | ENABLE_VIRTUAL_TERMINAL_PROCESSING);
}

bool inputIsTerminal()
{
    return _isatty(_fileno(stdin)) != 0;
}

void keepRunningWhenOutputCloses()
{
    // Windows has no such signal: the write fails by itself.
}

StopRequests::StopRequests()
{
    stopRequest = 0;
    runEnded = ::CreateEventA(nullptr, TRUE, FALSE, nullptr);
    ::SetConsoleCtrlHandler(&onConsoleControl, TRUE);
}

StopRequests::~StopRequests()
{
    ::SetEvent(runEnded);
    ::SetConsoleCtrlHandler(&onConsoleControl, FALSE);
}

int StopRequests::requested()
{
    return stopRequest;
}

std::string StopRequests::help()
{
    return "130 when Ctrl+C or Ctrl+Break stopped it,\n143 when its console window was closed";
}

std::string StopRequests::cause(int request)
{
    return request == SIGINT ? "interrupted" : "stopped: the console was closed";
}

} // namespace platform
