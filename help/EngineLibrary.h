// Where this platform's HTML Help engine comes from: on Linux our own viewer,
// shipped with the program; on Windows the system's.
#pragma once

#include <string>
#include <vector>

// The libraries to try for the engine, in order.
std::vector<std::string> htmlHelpEngineCandidates();
