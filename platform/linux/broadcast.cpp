// Window broadcasts between processes (see platform/broadcast.h and
// platform/virtual/WIRE.md, "Window broadcasts").
#include "linux/internal/broadcast.h"

#include "platform/broadcast.h"
#include "platform/error.h"
#include "platform/runtime.h"

#include <cerrno>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <dirent.h>
#include <mutex>
#include <string>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <thread>
#include <unistd.h>

namespace platform {
namespace {

struct Datagram {
    char magic[4];  // "VXWB"
    std::uint32_t version;
    std::uint32_t message;
    std::uint32_t senderPid;
    std::uint64_t wParam;
    std::int64_t lParam;
};
static_assert(sizeof(Datagram) == 32, "the wire record has a fixed size");

constexpr char kMagic[4] = {'V', 'X', 'W', 'B'};
constexpr std::uint32_t kVersion = 1;

std::string broadcastFolder()
{
    const std::string directory = runtimeDirectory();
    if (directory.empty())
        return std::string();
    const std::string folder = directory + "/broadcast";
    if (::mkdir(folder.c_str(), 0700) != 0 && errno != EEXIST)
        return std::string();
    return folder;
}

bool fillAddress(const std::string& path, sockaddr_un* address)
{
    std::memset(address, 0, sizeof *address);
    address->sun_family = AF_UNIX;
    if (path.size() >= sizeof address->sun_path)
        return false;
    std::memcpy(address->sun_path, path.c_str(), path.size() + 1);
    return true;
}

void postLocally(UINT message, WPARAM wParam, LPARAM lParam)
{
    for (HWND window : topLevelWindows())
        PostMessageW(window, message, wParam, lParam);
}

// What another process may have us post. Below WM_USER every message is
// the system's, and its parameters are pointers or handles of the sender's
// (our event windows take WM_COMMAND's lParam for a record of their own;
// WM_CLOSE would end them): none of them crosses. Above, the numbers are
// the windows' own or registered ones, meant as plain numbers.
bool crossesProcesses(UINT message)
{
    return message >= WM_USER;
}

struct Listener {
    std::once_flag once;
    std::string path;  // empty while none is bound
};

Listener& listener()
{
    static Listener* l = new Listener;  // the thread outlives static destruction
    return *l;
}

void removeSocketAtExit()
{
    const std::string& path = listener().path;
    if (!path.empty())
        ::unlink(path.c_str());
}

void listen(int fd)
{
    for (;;) {
        unsigned char bytes[sizeof(Datagram)];
        // MSG_TRUNC: the datagram's real length, so that a longer one is
        // not taken for a record cut to size.
        const ssize_t got = ::recv(fd, bytes, sizeof bytes, MSG_TRUNC);
        if (got < 0 && errno == EINTR)
            continue;
        if (got < 0)
            return;
        handleBroadcastDatagram(bytes, static_cast<std::size_t>(got));
    }
}

void bindListener()
{
    const std::string folder = broadcastFolder();
    if (folder.empty())
        return;
    const std::string path = folder + "/" + std::to_string(::getpid());
    sockaddr_un address;
    if (!fillAddress(path, &address))
        return;
    const int fd = ::socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    if (fd < 0)
        return;
    ::unlink(path.c_str());  // a socket left by a process that had our pid
    // The socket file is made by bind with the umask's mode: keep it ours
    // from the start.
    const mode_t previous = ::umask(0177);
    const int bound = ::bind(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address);
    ::umask(previous);
    if (bound != 0) {
        ::close(fd);
        return;
    }
    listener().path = path;
    std::atexit(removeSocketAtExit);
    std::thread([fd] { listen(fd); }).detach();
}

}  // namespace

bool handleBroadcastDatagram(const void* bytes, std::size_t size)
{
    Datagram datagram{};
    if (bytes == nullptr || size != sizeof datagram)
        return false;
    std::memcpy(&datagram, bytes, sizeof datagram);
    if (std::memcmp(datagram.magic, kMagic, 4) != 0 || datagram.version != kVersion ||
        !crossesProcesses(datagram.message))
        return false;
    postLocally(datagram.message, static_cast<WPARAM>(datagram.wParam), static_cast<LPARAM>(datagram.lParam));
    return true;
}

void ensureBroadcastListener()
{
    std::call_once(listener().once, bindListener);
}

bool broadcastPost(UINT message, WPARAM wParam, LPARAM lParam)
{
    postLocally(message, wParam, lParam);
    if (!crossesProcesses(message))
        return true;  // the others would drop it
    const std::string folder = broadcastFolder();
    DIR* directory = folder.empty() ? nullptr : ::opendir(folder.c_str());
    if (directory == nullptr)
        return true;
    const int fd = ::socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    Datagram datagram{};
    std::memcpy(datagram.magic, kMagic, 4);
    datagram.version = kVersion;
    datagram.message = message;
    datagram.senderPid = static_cast<std::uint32_t>(::getpid());
    datagram.wParam = wParam;
    datagram.lParam = lParam;
    const std::string own = std::to_string(::getpid());
    while (fd >= 0) {
        const dirent* entry = ::readdir(directory);
        if (entry == nullptr)
            break;
        const std::string name = entry->d_name;
        if (name == "." || name == ".." || name == own)
            continue;
        const std::string path = folder + "/" + name;
        sockaddr_un address;
        if (!fillAddress(path, &address))
            continue;
        const ssize_t sent = ::sendto(fd, &datagram, sizeof datagram, MSG_DONTWAIT | MSG_NOSIGNAL,
                                      reinterpret_cast<const sockaddr*>(&address), sizeof address);
        // Nobody bound: the process has gone and left its socket.
        if (sent < 0 && errno == ECONNREFUSED)
            ::unlink(path.c_str());
    }
    if (fd >= 0)
        ::close(fd);
    ::closedir(directory);
    return true;
}

}  // namespace platform
