#include "discovery/CUsbHidDisconnectMonitor.h"

#include "base/CScanningSDK.h"
#include "base/CThread.h"
#include "base/StringUtils.h"
#include "ports/CUsbHidPort.h"

#include "platform/dbt.h"
#include "platform/error.h"
#include "platform/hid.h"
#include "platform/time.h"

namespace {

const wchar_t* const kClassName = L"disconnectWindow";
const char* const kRoutine = "CUsbHidDisconnectMonitor::threadRoutine";

void logSystemError()
{
    SDK_LOG(logbit::error, kRoutine, wstringToString(getSystemErrorString(GetLastError())));
}

}  // namespace

CUsbHidDisconnectMonitor::CUsbHidDisconnectMonitor() = default;

CUsbHidDisconnectMonitor::CUsbHidDisconnectMonitor(std::string portName) : m_portName(std::move(portName)) {}

CUsbHidDisconnectMonitor::~CUsbHidDisconnectMonitor()
{
    closeGate();
    m_running.store(false);
    if (m_thread != nullptr)
        waitForThread(m_thread->getHandle());
}

int CUsbHidDisconnectMonitor::setCallback(DisconnectCallback callback)
{
    if (callback == nullptr) {
        SDK_LOG(logbit::error, "CUsbHidDisconnectMonitor::setCallback", "null callback pointer passed in!");
        return 1;
    }
    m_callback.store(callback);
    return 0;
}

int CUsbHidDisconnectMonitor::startThread(InterfacePort* port)
{
    if (port == nullptr) {
        SDK_LOG(logbit::error, "CUsbHidDisconnectMonitor::startThread", "null communication port!");
        return 2;
    }
    m_port = port;
    m_thread = std::make_unique<CThread>(
        fastdelegate::FastDelegate<int()>(this, &CUsbHidDisconnectMonitor::threadRoutine));
    return 0;
}

int CUsbHidDisconnectMonitor::threadRoutine()
{
    HINSTANCE module = GetModuleHandleW(nullptr);
    WNDCLASSEXW existing{};
    existing.cbSize = sizeof existing;
    if (!GetClassInfoExW(module, kClassName, &existing)) {
        WNDCLASSEXW windowClass{};
        windowClass.cbSize = sizeof windowClass;
        windowClass.style = CS_VREDRAW | CS_HREDRAW | CS_OWNDC;
        windowClass.lpfnWndProc = &CUsbHidDisconnectMonitor::WinProcCallback;
        windowClass.hInstance = module;
        windowClass.hIcon = LoadIconW(nullptr, IDI_APPLICATION);
        windowClass.hIconSm = LoadIconW(nullptr, IDI_APPLICATION);
        windowClass.hCursor = LoadCursorW(nullptr, IDC_ARROW);
        windowClass.hbrBackground = reinterpret_cast<HBRUSH>(static_cast<std::uintptr_t>(COLOR_WINDOW + 1));
        windowClass.lpszClassName = kClassName;
        // Another monitor starting at the same moment may have registered
        // the class in between: that class serves this window as well.
        if (RegisterClassExW(&windowClass) == 0 && GetLastError() != ERROR_CLASS_ALREADY_EXISTS) {
            logSystemError();
            return 0;
        }
    }
    m_window = CreateWindowExW(WS_EX_APPWINDOW | WS_EX_CLIENTEDGE, kClassName, L"Monitor", WS_OVERLAPPEDWINDOW,
                               CW_USEDEFAULT, 0, 640, 480, nullptr, nullptr, module, this);
    if (m_window == nullptr) {
        logSystemError();
        return 0;
    }
    if (dynamic_cast<CUsbHidPort*>(m_port) == nullptr) {
        SDK_LOG(logbit::error, kRoutine, "can't convert to Usb Hid port!");
        DestroyWindow(m_window);
        return 0;
    }
    DEV_BROADCAST_DEVICEINTERFACE_W filter{};
    filter.dbcc_size = sizeof filter;
    filter.dbcc_devicetype = DBT_DEVTYP_DEVICEINTERFACE;
    HidD_GetHidGuid(&filter.dbcc_classguid);
    HDEVNOTIFY notification = RegisterDeviceNotificationW(m_window, &filter, DEVICE_NOTIFY_WINDOW_HANDLE);
    if (notification == nullptr) {
        logSystemError();
        DestroyWindow(m_window);
        return 0;
    }
    while (m_running.load()) {
        MSG message{};
        if (PeekMessageW(&message, m_window, 0, 0, PM_REMOVE)) {
            TranslateMessage(&message);
            DispatchMessageW(&message);
        } else {
            Sleep(static_cast<DWORD>(m_pollInterval));
        }
    }
    if (!UnregisterDeviceNotification(notification)) {
        logSystemError();
        return 0;
    }
    if (!DestroyWindow(m_window)) {
        logSystemError();
        return 0;
    }
    // Fails while another monitor's window exists; that monitor unregisters
    // the class when it ends.
    if (!UnregisterClassW(kClassName, module))
        logSystemError();
    return 0;
}

void CUsbHidDisconnectMonitor::notifyOnDisconnect()
{
    if (m_port == nullptr || !m_port->isDisconnected())
        return;  // another HID device went away
    SDK_LOG(logbit::trace, "CUsbHidDisconnectMonitor::notifyOnDisconnect", "The device disconnect already!!!\n");
    const DisconnectCallback callback = m_callback.load();
    if (callback != nullptr)
        startCallbackThread(callback, m_portName);
    else
        SDK_LOG(logbit::error, "CUsbHidDisconnectMonitor::notifyOnDisconnect", "null call back pointer!");
    m_running.store(false);
}

LRESULT CUsbHidDisconnectMonitor::WinProcCallback(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    static const char* const kMethod = "CUsbHidDisconnectMonitor::WinProcCallback";
    if (message == WM_CREATE) {
        const auto* create = reinterpret_cast<const CREATESTRUCTW*>(lParam);
        if (create == nullptr || create->lpCreateParams == nullptr)
            SDK_LOG(logbit::internal, kMethod, "some disaster thing happen, the monitor pointer is null!");
        else
            SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(create->lpCreateParams));
        return DefWindowProcW(window, message, wParam, lParam);
    }
    if (message == WM_DEVICECHANGE) {
        if (wParam == DBT_DEVICEREMOVECOMPLETE) {
            SDK_LOG(logbit::internal, kMethod, "device remove complete event occur in call back procedure!");
            auto* monitor = reinterpret_cast<CUsbHidDisconnectMonitor*>(GetWindowLongPtrW(window, GWLP_USERDATA));
            if (monitor != nullptr)
                monitor->notifyOnDisconnect();
            else
                SDK_LOG(logbit::internal, kMethod, "some disaster thing happen, can't get the monitor pointer!");
        }
        return TRUE;
    }
    return DefWindowProcW(window, message, wParam, lParam);
}
