// The SDK's log lines, as a callback logger writes them, captured for the
// port tests: a line is searched whole (its level and bit included).
#pragma once

#include <algorithm>
#include <mutex>
#include <string>
#include <vector>

namespace porttest {

inline std::mutex& logMutex()
{
    static std::mutex mutex;
    return mutex;
}
inline std::vector<std::string>& logLines()
{
    static std::vector<std::string> lines;
    return lines;
}
// The callback: keeps each line.
inline void captureLine(int, std::string line)
{
    std::lock_guard lock(logMutex());
    logLines().push_back(std::move(line));
}
inline void clearLog()
{
    std::lock_guard lock(logMutex());
    logLines().clear();
}
// Whether a captured line holds `part`.
inline bool logged(const std::string& part)
{
    std::lock_guard lock(logMutex());
    return std::any_of(logLines().begin(), logLines().end(),
                       [&](const std::string& line) { return line.find(part) != std::string::npos; });
}

}  // namespace porttest
