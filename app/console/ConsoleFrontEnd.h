// The console front end of the update: the main window's logic driven from
// a terminal or a script, with the operator's answers read from a stream.
#pragma once

#include <iosfwd>

// Runs kpx-update with the given arguments. Operator messages and progress
// go to out, answers are read from in, usage and program errors go to err.
// Returns the process exit status: 0 only after a completed update.
int runConsole(int argc, char** argv, std::istream& in, std::ostream& out, std::ostream& err);
