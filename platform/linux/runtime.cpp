// The runtime directory and AppendFile.

#include "platform/runtime.h"

#include "linux/internal/debug_once.h"
#include "linux/internal/private_files.h"
#include "platform/error.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
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

// Why `directory` cannot hold our files, or "" when it can: it must be a
// real directory (a link could be re-pointed by whoever owns it), the
// user's own, and closed to group and others (a folder others may write to
// lets them plant devices, locks and links for us to trust).
std::string refusal(const std::string& directory)
{
    struct stat info {};
    if (::lstat(directory.c_str(), &info) != 0)
        return std::string("cannot be examined: ") + std::strerror(errno);
    if (S_ISLNK(info.st_mode))
        return "is a symbolic link";
    if (!S_ISDIR(info.st_mode))
        return "is not a directory";
    if (info.st_uid != ::geteuid())
        return "is owned by uid " + std::to_string(info.st_uid) + ", not by uid " + std::to_string(::geteuid());
    if ((info.st_mode & 077) != 0) {
        char mode[8];
        std::snprintf(mode, sizeof mode, "%04o", static_cast<unsigned>(info.st_mode & 07777));
        return std::string("is open to group or others (mode ") + mode + ")";
    }
    return {};
}

}  // namespace

namespace platform {

namespace {

// The runtime directory, or empty with `why` saying which folder was
// refused and why.
std::string resolveRuntimeDirectory(std::string* why)
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
    auto refuse = [&](const std::string& reason) {
        *why = "runtime directory " + directory + " refused: it " + reason;
        return std::string();
    };
    struct stat info {};
    if (::lstat(directory.c_str(), &info) != 0) {
        // Parents are made as needed; the folder itself must be made by us
        // now, or be checked like any folder found there.
        const std::size_t slash = directory.rfind('/');
        const bool parentsMade =
            slash == std::string::npos || slash == 0 || platform::makePrivateDirectories(directory.substr(0, slash));
        const bool made = parentsMade && ::mkdir(directory.c_str(), 0700) == 0;
        if (!made && (!parentsMade || errno != EEXIST))
            return refuse(std::string("cannot be created: ") + std::strerror(errno));
        if (made)
            ::chmod(directory.c_str(), 0700);  // whatever the umask left of it
    }
    if (const std::string reason = refusal(directory); !reason.empty())
        return refuse(reason);
    why->clear();
    return directory;
}

}  // namespace

std::string runtimeDirectory()
{
    std::string why;
    std::string directory = resolveRuntimeDirectory(&why);
    if (directory.empty()) {
        platform::outputDebugLineOnce("platform: " + why + "\n");
        SetLastError(ERROR_ACCESS_DENIED);
    }
    return directory;
}

std::string runtimeDirectoryRefusal()
{
    std::string why;
    resolveRuntimeDirectory(&why);
    return why;
}

AppendFile::~AppendFile()
{
    close();
}

bool readRegularFile(const std::string& path, std::size_t limit, std::string* text, std::string* why)
{
    auto refuse = [&](DWORD code, std::string what) {
        if (why != nullptr)
            *why = std::move(what);
        SetLastError(code);
        return false;
    };
    if (text != nullptr)
        text->clear();
    // O_NONBLOCK: opening a FIFO waits for a writer otherwise; fstat then
    // turns it (and any device) away before a byte is read.
    const int fd = openPrivateFile(path, O_RDONLY | O_NONBLOCK | O_NOCTTY);
    if (fd < 0) {
        const int err = errno;
        if (err == ELOOP)
            return refuse(ERROR_ACCESS_DENIED, "is a symbolic link");
        const DWORD code = setLastErrorFromErrno();
        return refuse(code, std::string("cannot be opened: ") + std::strerror(err));
    }
    struct stat info {};
    if (::fstat(fd, &info) != 0) {
        const int err = errno;
        ::close(fd);
        errno = err;
        const DWORD code = setLastErrorFromErrno();
        return refuse(code, std::string("cannot be examined: ") + std::strerror(err));
    }
    if (!S_ISREG(info.st_mode)) {
        ::close(fd);
        return refuse(ERROR_ACCESS_DENIED, "is not a regular file");
    }
    if (static_cast<unsigned long long>(info.st_size) > limit) {
        ::close(fd);
        return refuse(ERROR_FILE_TOO_LARGE, "holds " + std::to_string(info.st_size) + " bytes, more than " +
                                                std::to_string(limit));
    }
    // One byte past the limit tells a file that grew after fstat.
    std::string read = readUpTo(fd, limit + 1);
    ::close(fd);
    if (read.size() > limit)
        return refuse(ERROR_FILE_TOO_LARGE, "grew past " + std::to_string(limit) + " bytes while read");
    if (text != nullptr)
        *text = std::move(read);
    SetLastError(ERROR_SUCCESS);
    return true;
}

bool replaceFile(const std::string& path, const std::string& bytes)
{
    std::string temporary = path + ".XXXXXX";
    // mkstemp makes the file with O_EXCL and mode 0600: nothing planted
    // under the name can be opened instead.
    const int fd = ::mkostemp(temporary.data(), O_CLOEXEC);
    if (fd < 0) {
        setLastErrorFromErrno();
        return false;
    }
    std::size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t written = ::write(fd, bytes.data() + done, bytes.size() - done);
        if (written < 0 && errno == EINTR)
            continue;
        if (written <= 0) {
            if (written == 0)
                errno = EIO;
            const int err = errno;
            ::close(fd);
            ::unlink(temporary.c_str());
            errno = err;
            setLastErrorFromErrno();
            return false;
        }
        done += static_cast<std::size_t>(written);
    }
    if (::close(fd) != 0 || ::rename(temporary.c_str(), path.c_str()) != 0) {
        const int err = errno;
        ::unlink(temporary.c_str());
        errno = err;
        setLastErrorFromErrno();
        return false;
    }
    return true;
}

bool AppendFile::open(const std::string& path, bool truncate, Readers readers)
{
    close();
    // Never through a link and never anything but a regular file: a link
    // planted where a log goes (in a folder others may write to) must not
    // make us write to, or empty, a file of the link's choosing. A file is
    // emptied only when this open made it or it is the user's own.
    const int common = O_WRONLY | O_APPEND | O_CLOEXEC | O_NOFOLLOW | O_NOCTTY;
    const bool ownerOnly = readers == Readers::OwnerOnly;
    int fd;
    do {
        fd = ::open(path.c_str(), common | O_CREAT | O_EXCL, ownerOnly ? 0600 : 0644);
    } while (fd < 0 && errno == EINTR);
    const bool created = fd >= 0;
    if (fd < 0 && errno == EEXIST) {
        // O_NONBLOCK: opening a FIFO planted under the name must not hang;
        // fstat turns it away below.
        do {
            fd = ::open(path.c_str(), common | O_NONBLOCK);
        } while (fd < 0 && errno == EINTR);
    }
    if (fd < 0) {
        setLastErrorFromErrno();
        return false;
    }
    struct stat info {};
    if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode) ||
        (ownerOnly && !created && (info.st_uid != ::geteuid() || info.st_nlink != 1))) {
        ::close(fd);
        SetLastError(ERROR_ACCESS_DENIED);
        return false;
    }
    ::fcntl(fd, F_SETFL, O_APPEND);
    if (truncate && !created && info.st_uid == ::geteuid() && ::ftruncate(fd, 0) != 0) {
        setLastErrorFromErrno();
        ::close(fd);
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
