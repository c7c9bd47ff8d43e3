// Device notices: a window registered with RegisterDeviceNotificationW for
// a device-interface class is posted WM_DEVICECHANGE when an interface of
// that class arrives (DBT_DEVICEARRIVAL) or goes away
// (DBT_DEVICEREMOVECOMPLETE). lParam points to a DEV_BROADCAST_DEVICEINTERFACE_W
// that names the interface's path; it stays valid until the receiving
// thread takes its next message.
//
// Notices come for the HID class and the COM-port class
// GUID_DEVINTERFACE_COMPORT (real interfaces and ports through udev and
// sysfs, virtual ones from the runtime directory): each removal once, to
// every registration of its class (or of all classes), within a few
// milliseconds; a COM port's notice names its interface path as SetupAPI
// lists it. A registration for another class succeeds and is never
// notified.
#pragma once

#include "platform/setupapi.h"
#include "platform/types.h"
#include "platform/window.h"

#include <cstddef>

using HDEVNOTIFY = void*;

constexpr DWORD DBT_DEVICEARRIVAL = 0x8000;
constexpr DWORD DBT_DEVICEREMOVECOMPLETE = 0x8004;
constexpr DWORD DBT_DEVTYP_DEVICEINTERFACE = 0x00000005;
constexpr DWORD DEVICE_NOTIFY_WINDOW_HANDLE = 0x00000000;
constexpr DWORD DEVICE_NOTIFY_ALL_INTERFACE_CLASSES = 0x00000004;

struct DEV_BROADCAST_HDR {
    DWORD dbch_size;
    DWORD dbch_devicetype;
    DWORD dbch_reserved;
};

struct DEV_BROADCAST_DEVICEINTERFACE_W {
    DWORD dbcc_size;
    DWORD dbcc_devicetype;
    DWORD dbcc_reserved;
    GUID dbcc_classguid;
    wchar_t dbcc_name[1];
};
static_assert(sizeof(DEV_BROADCAST_DEVICEINTERFACE_W) == 32, "callers pass a size of 32");

// `recipient` is a window (flags DEVICE_NOTIFY_WINDOW_HANDLE, optionally
// with DEVICE_NOTIFY_ALL_INTERFACE_CLASSES); `filter` a
// DEV_BROADCAST_DEVICEINTERFACE_W of type 5. Null with 87 for another
// filter or flag, 1400 for an unknown window.
HDEVNOTIFY RegisterDeviceNotificationW(HANDLE recipient, LPVOID filter, DWORD flags);
// FALSE with 6 for an unknown registration. No notice is posted for it
// after this returns.
BOOL UnregisterDeviceNotification(HDEVNOTIFY notification);

namespace platform {

// How many registrations exist now in this process (for tests and
// diagnostics: a registration made on another thread is visible here once
// RegisterDeviceNotificationW has returned there).
std::size_t deviceNotificationCount();

}  // namespace platform
