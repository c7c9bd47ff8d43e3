// CFinal_UIApp: one TillSetup per desktop, the Qt bridge to the platform's
// queue, the device notices and the main dialog.
//
// The single-instance mutex is "Global\CFinal_UIApp{B98C6AA5-57C0}". A copy
// that finds it taken broadcasts the registered message "TillSetup raise"
// and ends with 0; the running copy, on that message, restores and
// activates its dialog. COM-port and HID arrivals and removals reach the
// dialog as WM_DEVICECHANGE through a message window.
#pragma once

#include "ConfigurationWindow.h"
#include "QtMessagePump.h"

#include "platform/dbt.h"

#include <memory>

class CFinal_UIApp {
public:
    static constexpr const char* kMutexName = "Global\\CFinal_UIApp{B98C6AA5-57C0}";

    // Needs a QApplication. When another copy runs, tells it to come
    // forward and leaves the rest unmade (IsFirstCopy() false).
    CFinal_UIApp(RegistryApi& registry = RegistryApi::System(), DosDeviceSource dosDevices = systemDosDevices());
    ~CFinal_UIApp();
    CFinal_UIApp(const CFinal_UIApp&) = delete;
    CFinal_UIApp& operator=(const CFinal_UIApp&) = delete;

    bool IsFirstCopy() const { return m_first; }
    ConfigurationWindow* Window() const { return m_window.get(); }

    // Runs the dialog modally; 0 when it ends.
    int Run();

    static UINT RaiseMessage();

private:
    bool m_first = false;
    HANDLE m_mutex = nullptr;
    std::unique_ptr<QtMessagePump> m_pump;
    std::unique_ptr<ConfigurationWindow> m_window;
    std::unique_ptr<MessageWindow> m_messages;
    HDEVNOTIFY m_portNotice = nullptr;
    HDEVNOTIFY m_hidNotice = nullptr;
};

// The program: a QApplication and CFinal_UIApp.
int runTillSetup(int argc, char** argv);
