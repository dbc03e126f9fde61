// The console program run as a child process with a pipe for its input and
// output, as the Windows suites start it.
#pragma once

#include "platform/win/Win32.h"

#include <filesystem>
#include <functional>
#include <string>

namespace win_test {

struct Finished {
    DWORD status = 0;
    std::string output; // standard output and error together
};

// Runs the console program with arguments, input on its standard input, in
// the current folder. watch sees the output gathered so far after each read.
// With outputGone, its standard output has no reader from the start (as
// `| head -c0`), and output holds standard error alone.
Finished runConsole(const std::filesystem::path& program, const std::string& arguments, const std::string& input,
                    const std::function<void(const std::string&)>& watch = {}, bool outputGone = false);

// As runConsole, on a console of our own shared with the program, with
// Ctrl+C sent once the output holds `when`; interrupted tells whether it was.
Finished interruptConsole(const std::filesystem::path& program, const std::string& arguments, const std::string& input,
                          const std::string& when, bool& interrupted);

} // namespace win_test
