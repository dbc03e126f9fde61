// The running program and its terminal, as the operating system knows them,
// and the requests to stop it that reach the process from outside: Ctrl+C,
// a closed terminal or console window, a service stop.
#pragma once

#include <string>

namespace platform {

// Full path of the running executable, links resolved; empty when unknown.
std::string runningProgramPath();

// The characters at which a path's folder part ends.
const char* pathSeparators();

// True when standard output is a terminal that obeys the escape sequences a
// live progress line is redrawn with (a Windows console is asked to).
bool outputDrawsEscapes();

// True when standard input is a terminal, which echoes what is typed.
bool inputIsTerminal();

// From now on a write to a pipe whose reader has gone fails instead of
// ending the process, so that a run whose output nobody reads any more
// still stops at a safe point and says so on standard error.
void keepRunningWhenOutputCloses();

// While one lives, stop requests are caught and remembered instead of ending
// the process, so that an update stops at its next safe point; a read from
// the terminal that is waiting gives up. One at a time.
class StopRequests {
public:
    StopRequests();
    // Also tells a console that is being closed that the run is over.
    ~StopRequests();
    StopRequests(const StopRequests&) = delete;
    StopRequests& operator=(const StopRequests&) = delete;

    // 0 while none has come; else the signal number it stands for (SIGINT
    // for Ctrl+C, SIGTERM or SIGHUP). Safe to read at any time.
    static int requested();

    // What the request was, for the operator: "interrupted", ...
    static std::string cause(int request);
    // For the usage text: which requests stop an update here, and the exit
    // status each gives.
    static std::string help();
};

} // namespace platform
