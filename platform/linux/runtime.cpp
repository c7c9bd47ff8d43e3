// The runtime directory and AppendFile.

#include "platform/runtime.h"

#include "platform/error.h"

#include <cerrno>
#include <cstdlib>
#include <fcntl.h>
#include <string_view>
#include <sys/stat.h>
#include <unistd.h>

namespace {

std::string environment(const char* name)
{
    const char* value = std::getenv(name);
    return value != nullptr ? value : "";
}

// mkdir -p with mode 0700 for every folder it creates; folders that exist
// are left as they are. Returns false with errno set.
bool makeDirectories(const std::string& path)
{
    for (std::size_t slash = path.find('/', 1); ; slash = path.find('/', slash + 1)) {
        const std::string prefix = path.substr(0, slash);
        if (!prefix.empty() && ::mkdir(prefix.c_str(), 0700) != 0 && errno != EEXIST)
            return false;
        if (slash == std::string::npos)
            return true;
    }
}

}  // namespace

namespace platform {

std::string runtimeDirectory()
{
    // Computed on every call from the environment: cheap, and a test that
    // sets VX_RUNTIME_DIR sees it honoured at once.
    std::string directory = environment("VX_RUNTIME_DIR");
    if (directory.empty()) {
        const std::string xdg = environment("XDG_RUNTIME_DIR");
        directory = !xdg.empty() ? xdg + "/varnex" : "/tmp/varnex-" + std::to_string(::getuid());
    }
    while (directory.size() > 1 && directory.back() == '/')
        directory.pop_back();
    // A failure shows later, when a caller cannot create its file there,
    // with that caller's error.
    if (!makeDirectories(directory))
        setLastErrorFromErrno();
    return directory;
}

AppendFile::~AppendFile()
{
    close();
}

bool AppendFile::open(const std::string& path, bool truncate)
{
    close();
    const int flags = O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC | (truncate ? O_TRUNC : 0);
    int fd;
    do {
        fd = ::open(path.c_str(), flags, 0644);
    } while (fd < 0 && errno == EINTR);
    if (fd < 0) {
        setLastErrorFromErrno();
        return false;
    }
    m_fd = fd;
    return true;
}

bool AppendFile::append(const std::string& bytes)
{
    if (m_fd < 0) {
        SetLastError(ERROR_INVALID_HANDLE);
        return false;
    }
    // One write(2) with O_APPEND places the whole line at the end of the file
    // at once, whoever else appends. A partial write (a full disk, a signal
    // after some bytes) can only be finished by a second call; that is the
    // one case where another writer's line could come between.
    std::size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t written = ::write(m_fd, bytes.data() + done, bytes.size() - done);
        if (written < 0) {
            if (errno == EINTR)
                continue;
            setLastErrorFromErrno();
            return false;
        }
        if (written == 0) {  // no progress and no errno: give up rather than spin
            SetLastError(ERROR_GEN_FAILURE);
            return false;
        }
        done += static_cast<std::size_t>(written);
    }
    return true;
}

void AppendFile::close()
{
    if (m_fd < 0)
        return;
    // Not retried on EINTR: on Linux the descriptor is gone either way.
    ::close(m_fd);
    m_fd = -1;
}

}  // namespace platform
