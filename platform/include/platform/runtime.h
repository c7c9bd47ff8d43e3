// Where the layer keeps its run-time files, and small file helpers that the
// portable code needs without seeing the operating system.
#pragma once

#include "platform/types.h"

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

    // Opens `path` for appending, emptying it first when `truncate` is set
    // and the file was made by this open or belongs to the user. A link or
    // anything but a regular file is refused. Returns false (last error set)
    // when it cannot be opened.
    bool open(const std::string& path, bool truncate);
    bool isOpen() const { return m_fd >= 0; }
    // Appends the bytes in one write call; false when not open or on error.
    bool append(const std::string& bytes);
    void close();

private:
    int m_fd = -1;
};

}  // namespace platform
