// Helpers shared by the test programs.
#pragma once

#include <chrono>
#include <filesystem>
#include <functional>
#include <string>

namespace vxtest {

// Waits until `condition` holds, checking it every millisecond, for at most
// `bound` (generous by default: the bound only stops a broken test, it never
// paces a working one). Returns whether the condition held.
bool waitUntil(const std::function<bool()>& condition,
               std::chrono::milliseconds bound = std::chrono::seconds(20));

// A fresh folder under the test's working folder, removed on destruction.
class TempDir {
public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;
    const std::filesystem::path& path() const { return m_path; }
    std::string file(const std::string& name) const { return (m_path / name).string(); }

private:
    std::filesystem::path m_path;
};

// Reads a whole file as bytes ("" when it does not exist).
std::string readFile(const std::string& path);

// The folder that holds the test programs and the built libraries.
std::string programDirectory();

}  // namespace vxtest
