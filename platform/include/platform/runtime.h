// Where the layer keeps its run-time files, and small file helpers that the
// portable code needs without seeing the operating system.
#pragma once

#include "platform/types.h"

#include <cstddef>
#include <string>

namespace platform {

// $VX_RUNTIME_DIR, else $XDG_RUNTIME_DIR/varnex, else /tmp/varnex-<uid>;
// created with mode 0700 when missing. Lock files, virtual devices and
// cross-process sockets live here, so a folder found there is used only when
// it is a real directory (not a link), owned by the calling user and closed
// to group and others. Otherwise the answer is empty with the last error 5
// (access denied), and the debugger output says once which folder was
// refused and why; nothing else is tried in its place.
std::string runtimeDirectory();

// Why runtimeDirectory refuses its folder now, as a line for a log
// ("runtime directory /x refused: it is a symbolic link"); empty when the
// folder serves.
std::string runtimeDirectoryRefusal();

// Reads a whole file named by a folder others may control (the current
// folder, a path from the registry): only a regular file, never through a
// symbolic link, never waiting on a FIFO or a device, and only when it
// holds at most `limit` bytes. False otherwise, with `text` left empty,
// the last error set (2 missing, 5 a link or not a regular file, 223
// larger than `limit`, else the system's) and `why` (when given) saying
// what was wrong, for a log line.
constexpr DWORD ERROR_FILE_TOO_LARGE = 223;
bool readRegularFile(const std::string& path, std::size_t limit, std::string* text, std::string* why = nullptr);

// Replaces the file at `path` by `bytes`: they are written to a new file
// of the same folder (mode 0600), which is then renamed over `path`. A
// link or anything else found at `path` is replaced, never written
// through. False with the last error set; nothing is left behind then.
bool replaceFile(const std::string& path, const std::string& bytes);

// A file written by whole lines from several threads and processes: every
// append is one write(2) on a descriptor opened with O_APPEND, so lines of
// two writers never overwrite or split each other.
// Thread safety: append may run on several threads at once; open and close
// must not run while another thread uses the same AppendFile.
class AppendFile {
public:
    AppendFile() = default;
    ~AppendFile();
    AppendFile(const AppendFile&) = delete;
    AppendFile& operator=(const AppendFile&) = delete;

    // Who may read a file that the open makes.
    enum class Readers { Everyone, OwnerOnly };

    // Opens `path` for appending, emptying it first when `truncate` is set
    // and the file was made by this open or belongs to the user. A link or
    // anything but a regular file is refused. With Readers::OwnerOnly the
    // file is made with mode 0600, and one found there is used only when it
    // is the user's own and has no other name (a hard link to a file of the
    // user's, planted in a shared folder, is refused like a symbolic one).
    // Returns false (last error set) when it cannot be opened.
    bool open(const std::string& path, bool truncate, Readers readers = Readers::Everyone);
    bool isOpen() const { return m_fd >= 0; }
    // Appends the bytes in one write call; false when not open or on error.
    bool append(const std::string& bytes);
    void close();

private:
    int m_fd = -1;
};

}  // namespace platform
