// A debugger-output line said once per process: for conditions that every
// later call meets again (a refused folder, a lock file that cannot be
// made), where one line tells all and a line per call would bury the rest.
#pragma once

#include <string>

namespace platform {

// Writes `line` to the debugger output unless this process wrote the same
// line through here before.
void outputDebugLineOnce(const std::string& line);

}  // namespace platform
