// Device notices (see platform/dbt.h).
//
// One watcher thread runs while any registration exists. It keeps the set
// of HID interface and COM port paths present and, whenever something may have changed,
// lists them again and posts the difference to every registration: a
// removal is a path that was there and is not any more. Nothing is listed
// on a timer: wake-ups come from inotify on the virtual devices' folder (a
// descriptor removed or renamed into place, or closed by its publisher,
// which holds it open and locked for as long as it lives) and from udev for
// real interfaces.
#include "linux/internal/devtree.h"
#include "linux/internal/hid.h"
#include "linux/internal/private_files.h"
#include "linux/internal/serial_virtual.h"
#include "linux/internal/window_queue.h"

#include "platform/dbt.h"
#include "platform/error.h"
#include "platform/hid.h"
#include "platform/runtime.h"

#include <cstring>
#include <libudev.h>
#include <map>
#include <mutex>
#include <poll.h>
#include <set>
#include <sys/eventfd.h>
#include <sys/inotify.h>
#include <thread>
#include <unistd.h>

namespace platform {
namespace {

// A publisher's descriptor closed after writing means that it let the
// device go or that its process ended. The kernel reports the close a moment
// before it drops the publisher's lock, so a listing at once can still find
// the device alive: it is listed again after 1, 2, 4 ... 128 ms.
constexpr int kRecheckFirstMs = 1;
constexpr int kRecheckLastMs = 128;

struct Registration {
    HWND window = nullptr;
    GUID interfaceClass{};
    bool allClasses = false;
};

class Watcher {
public:
    std::uintptr_t add(const Registration& registration)
    {
        std::lock_guard life(m_lifeMutex);
        if (!m_thread.joinable()) {
            m_wake = ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
            m_stop = false;
            std::lock_guard scan(m_scanMutex);
            m_wantPorts = wantsPorts(registration);
            m_known = presentPaths();
        } else {
            // Catch up first, so that the new registration hears only of
            // changes that come after it.
            scan();
            std::lock_guard scan(m_scanMutex);
            if (wantsPorts(registration) && !m_wantPorts) {
                m_wantPorts = true;
                m_known = presentPaths();
            }
        }
        std::uintptr_t id;
        {
            std::lock_guard lock(m_mutex);
            id = m_next++;
            m_registrations.emplace(id, registration);
        }
        if (!m_thread.joinable())
            m_thread = std::thread([this] { run(); });
        return id;
    }

    bool remove(std::uintptr_t id)
    {
        std::lock_guard life(m_lifeMutex);
        bool last = false;
        {
            std::lock_guard lock(m_mutex);
            if (m_registrations.erase(id) == 0)
                return false;
            last = m_registrations.empty();
        }
        if (last && m_thread.joinable()) {
            {
                std::lock_guard lock(m_mutex);
                m_stop = true;
            }
            const std::uint64_t one = 1;
            [[maybe_unused]] auto n = ::write(m_wake, &one, sizeof one);
            m_thread.join();
            ::close(m_wake);
            m_wake = -1;
        }
        return true;
    }

    std::size_t count()
    {
        std::lock_guard lock(m_mutex);
        return m_registrations.size();
    }

private:
    // A present interface: whether it is a COM port, and its path.
    using Present = std::pair<bool, std::string>;

    // COM ports are listed only once someone asks for them.
    static bool wantsPorts(const Registration& registration)
    {
        return registration.allClasses || registration.interfaceClass == GUID_DEVINTERFACE_COMPORT;
    }

    // Called with m_scanMutex held.
    std::set<Present> presentPaths() const
    {
        std::set<Present> paths;
        for (const auto& interface : listHidInterfaces())
            paths.emplace(false, interface->identity.path);
        if (m_wantPorts)
            for (const DeviceNode& port : comPortDevices())
                paths.emplace(true, port.interfacePath);
        return paths;
    }

    // Lists the interfaces again and posts what changed.
    void scan()
    {
        std::lock_guard scanLock(m_scanMutex);
        std::set<Present> now = presentPaths();
        std::vector<std::pair<DWORD, Present>> changes;
        for (const Present& path : m_known)
            if (now.count(path) == 0)
                changes.emplace_back(DBT_DEVICEREMOVECOMPLETE, path);
        for (const Present& path : now)
            if (m_known.count(path) == 0)
                changes.emplace_back(DBT_DEVICEARRIVAL, path);
        m_known = std::move(now);
        if (changes.empty())
            return;
        GUID hidClass;
        HidD_GetHidGuid(&hidClass);
        std::vector<Registration> targets;
        {
            std::lock_guard lock(m_mutex);
            for (const auto& [id, registration] : m_registrations)
                targets.push_back(registration);
        }
        for (const auto& [event, present] : changes) {
            const GUID& interfaceClass = present.first ? GUID_DEVINTERFACE_COMPORT : hidClass;
            for (const Registration& target : targets)
                if (target.allClasses || target.interfaceClass == interfaceClass)
                    postNotice(target.window, event, interfaceClass, present.second);
        }
    }

    // Takes every pending event; true when one of them was a file of the
    // folder closed after writing.
    static bool drainFolderEvents(int inotify)
    {
        bool closed = false;
        alignas(inotify_event) char buffer[4096];
        ssize_t n;
        while ((n = ::read(inotify, buffer, sizeof buffer)) > 0) {
            for (ssize_t at = 0; at + static_cast<ssize_t>(sizeof(inotify_event)) <= n;) {
                const auto* event = reinterpret_cast<const inotify_event*>(buffer + at);
                closed = closed || (event->mask & (IN_CLOSE_WRITE | IN_Q_OVERFLOW)) != 0;
                at += static_cast<ssize_t>(sizeof(inotify_event) + event->len);
            }
        }
        return closed;
    }

    static void postNotice(HWND window, DWORD event, const GUID& interfaceClass, const std::string& path)
    {
        const std::size_t size = offsetof(DEV_BROADCAST_DEVICEINTERFACE_W, dbcc_name) + (path.size() + 1) * sizeof(wchar_t);
        auto payload = std::make_shared<std::vector<BYTE>>(std::max(size, sizeof(DEV_BROADCAST_DEVICEINTERFACE_W)), 0);
        auto* notice = reinterpret_cast<DEV_BROADCAST_DEVICEINTERFACE_W*>(payload->data());
        notice->dbcc_size = static_cast<DWORD>(size);
        notice->dbcc_devicetype = DBT_DEVTYP_DEVICEINTERFACE;
        notice->dbcc_classguid = interfaceClass;
        for (std::size_t i = 0; i < path.size(); ++i)
            notice->dbcc_name[i] = static_cast<wchar_t>(static_cast<unsigned char>(path[i]));
        postMessageWithPayload(window, WM_DEVICECHANGE, event, std::move(payload));
    }

    void run()
    {
        const int inotify = ::inotify_init1(IN_CLOEXEC | IN_NONBLOCK);
        const std::string runtime = runtimeDirectory();
        for (const std::string& folder : {runtime + "/hid", virtualSerialDirectory()}) {
            if (runtime.empty())
                break;  // refused: nothing of ours can appear there
            makePrivateDirectories(folder);
            if (inotify >= 0)
                ::inotify_add_watch(inotify, folder.c_str(),
                                    IN_DELETE | IN_MOVED_FROM | IN_MOVED_TO | IN_CREATE | IN_CLOSE_WRITE);
        }
        udev* context = udev_new();
        udev_monitor* monitor = context != nullptr ? udev_monitor_new_from_netlink(context, "udev") : nullptr;
        if (monitor != nullptr && (udev_monitor_filter_add_match_subsystem_devtype(monitor, "hidraw", nullptr) < 0 ||
                                   udev_monitor_filter_add_match_subsystem_devtype(monitor, "tty", nullptr) < 0 ||
                                   udev_monitor_enable_receiving(monitor) < 0)) {
            udev_monitor_unref(monitor);
            monitor = nullptr;
        }
        // What changed between the first listing and the watches' start.
        scan();
        int recheckMs = 0;  // the pause before the next recheck; 0 for none
        for (;;) {
            pollfd fds[3] = {{m_wake, POLLIN, 0}, {inotify, POLLIN, 0},
                             {monitor != nullptr ? udev_monitor_get_fd(monitor) : -1, POLLIN, 0}};
            const int ready = ::poll(fds, 3, recheckMs > 0 ? recheckMs : -1);
            {
                std::lock_guard lock(m_mutex);
                if (m_stop)
                    break;
            }
            bool closed = false;
            if ((fds[1].revents & POLLIN) != 0)
                closed = drainFolderEvents(inotify);
            if ((fds[2].revents & POLLIN) != 0)
                while (udev_device* device = udev_monitor_receive_device(monitor))
                    udev_device_unref(device);
            scan();
            if (closed)
                recheckMs = kRecheckFirstMs;
            else if (ready == 0 && recheckMs > 0)
                recheckMs = recheckMs >= kRecheckLastMs ? 0 : recheckMs * 2;
        }
        if (monitor != nullptr)
            udev_monitor_unref(monitor);
        if (context != nullptr)
            udev_unref(context);
        if (inotify >= 0)
            ::close(inotify);
    }

    std::mutex m_lifeMutex;  // start and stop of the thread
    std::mutex m_scanMutex;  // one scan at a time; guards m_known
    std::mutex m_mutex;      // registrations and the stop flag
    std::map<std::uintptr_t, Registration> m_registrations;
    std::uintptr_t m_next = 0x5000;
    std::set<Present> m_known;
    bool m_wantPorts = false;  // guarded by m_scanMutex
    std::thread m_thread;
    int m_wake = -1;
    bool m_stop = false;
};

// Never destroyed: registrations left at exit keep a running thread.
Watcher& watcher()
{
    static Watcher* w = new Watcher;
    return *w;
}

}  // namespace

std::size_t deviceNotificationCount()
{
    return watcher().count();
}

}  // namespace platform

HDEVNOTIFY RegisterDeviceNotificationW(HANDLE recipient, LPVOID filter, DWORD flags)
{
    if ((flags & ~DEVICE_NOTIFY_ALL_INTERFACE_CLASSES) != DEVICE_NOTIFY_WINDOW_HANDLE || filter == nullptr) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    const auto* header = static_cast<const DEV_BROADCAST_HDR*>(filter);
    if (header->dbch_devicetype != DBT_DEVTYP_DEVICEINTERFACE ||
        header->dbch_size < offsetof(DEV_BROADCAST_DEVICEINTERFACE_W, dbcc_name)) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    HWND window = static_cast<HWND>(recipient);
    if (!IsWindow(window)) {
        SetLastError(ERROR_INVALID_WINDOW_HANDLE);
        return nullptr;
    }
    platform::Registration registration;
    registration.window = window;
    registration.interfaceClass = static_cast<const DEV_BROADCAST_DEVICEINTERFACE_W*>(filter)->dbcc_classguid;
    registration.allClasses = (flags & DEVICE_NOTIFY_ALL_INTERFACE_CLASSES) != 0;
    return reinterpret_cast<HDEVNOTIFY>(platform::watcher().add(registration));
}

BOOL UnregisterDeviceNotification(HDEVNOTIFY notification)
{
    if (!platform::watcher().remove(reinterpret_cast<std::uintptr_t>(notification))) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    return TRUE;
}
