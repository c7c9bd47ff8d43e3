// Watches a USB HID port: a hidden window "disconnectWindow" on the
// monitor's own thread receives the removal notices of the whole HID class;
// at each one the port is asked whether it still answers, so the removal of
// another HID device changes nothing.
#pragma once

#include "discovery/CDisconnectMonitor.h"

#include "platform/window.h"

#include <atomic>
#include <memory>

class CThread;

class CUsbHidDisconnectMonitor : public CDisconnectMonitor {
public:
    CUsbHidDisconnectMonitor();
    explicit CUsbHidDisconnectMonitor(std::string portName);
    // Ends the monitor thread (its loop checks every 5 ms) and waits for it;
    // never waits for a callback, and a callback not yet begun is not made.
    ~CUsbHidDisconnectMonitor() override;

    int setCallback(DisconnectCallback callback) override;
    // `port` must be a CUsbHidPort, or the thread ends at once.
    int startThread(InterfacePort* port) override;
    // Called by the window procedure, on the monitor thread.
    void notifyOnDisconnect();

    static LRESULT WinProcCallback(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

private:
    int threadRoutine();

    std::atomic<bool> m_running{true};
    std::atomic<DisconnectCallback> m_callback{nullptr};
    HWND m_window = nullptr;
    std::unique_ptr<CThread> m_thread;
    InterfacePort* m_port = nullptr;
    std::string m_portName;
};
