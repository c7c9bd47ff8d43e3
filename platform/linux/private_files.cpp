// Files of the user's own (see internal/private_files.h).
#include "linux/internal/private_files.h"

#include <cerrno>
#include <fcntl.h>
#include <sstream>
#include <sys/stat.h>
#include <unistd.h>

namespace platform {

bool makePrivateDirectories(const std::string& path)
{
    for (std::size_t slash = path.find('/', 1);; slash = path.find('/', slash + 1)) {
        const std::string prefix = path.substr(0, slash);
        if (!prefix.empty() && ::mkdir(prefix.c_str(), 0700) != 0 && errno != EEXIST)
            return false;
        if (slash == std::string::npos)
            return true;
    }
}

int openPrivateFile(const std::string& path, int flags)
{
    int fd;
    do {
        fd = ::open(path.c_str(), flags | O_NOFOLLOW | O_CLOEXEC, 0600);
    } while (fd < 0 && errno == EINTR);
    return fd;
}

int openOwnedFile(const std::string& path)
{
    // O_NONBLOCK: a FIFO planted under a descriptor's name must not hold the
    // listing up; fstat then turns it away.
    const int fd = openPrivateFile(path, O_RDONLY | O_NONBLOCK | O_NOCTTY);
    if (fd < 0)
        return -1;
    struct stat info {};
    int err = 0;
    if (::fstat(fd, &info) != 0)
        err = errno;
    else if (!S_ISREG(info.st_mode))
        err = EINVAL;
    else if (info.st_uid != ::geteuid())
        err = EPERM;
    if (err != 0) {
        ::close(fd);
        errno = err;
        return -1;
    }
    return fd;
}

std::string readUpTo(int fd, std::size_t limit)
{
    std::string text;
    char buffer[4096];
    while (text.size() < limit) {
        const ssize_t n = ::pread(fd, buffer, sizeof buffer, static_cast<off_t>(text.size()));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            break;
        text.append(buffer, static_cast<std::size_t>(n));
    }
    if (text.size() > limit)
        text.resize(limit);
    return text;
}

std::vector<std::pair<std::string, std::string>> readOwnedKeyValueFile(const std::string& path)
{
    std::vector<std::pair<std::string, std::string>> fields;
    const int fd = openOwnedFile(path);
    if (fd < 0)
        return fields;
    std::istringstream lines(readUpTo(fd, 65536));
    ::close(fd);
    for (std::string line; std::getline(lines, line);) {
        const std::size_t equals = line.find('=');
        if (equals != std::string::npos)
            fields.emplace_back(line.substr(0, equals), line.substr(equals + 1));
    }
    return fields;
}

bool isForeignSocket(const std::string& path)
{
    struct stat info {};
    if (::lstat(path.c_str(), &info) != 0)
        return false;
    return !S_ISSOCK(info.st_mode) || info.st_uid != ::geteuid();
}

}  // namespace platform
