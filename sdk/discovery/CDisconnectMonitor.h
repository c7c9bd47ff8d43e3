// Watchers that tell a connection's owner, once, that its device went away.
//
// The owner (the connection) creates a monitor with the device's port name,
// sets the callback and user data, starts it with the open port and deletes
// it when it disconnects. The monitor watches on a thread of its own; the
// callback runs on a further short-lived thread, from which it may delete
// the connection and the monitor.
//
// Callback and deletion: the monitor and every callback it starts share a
// small gate. Deleting the monitor closes the gate, so a callback thread that
// has not begun its call yet never makes it (the user data it would get may
// be freed by then); a call already running is left to finish, and the
// destructor never waits for it (the call may be the one deleting the
// monitor). The destructor waits only for the monitor thread, which ends
// within one poll interval.
#pragma once

#include "ports/InterfacePort.h"

#include <atomic>
#include <memory>
#include <mutex>
#include <string>

// Receives the user data and the port name given at construction.
using DisconnectCallback = void (*)(void* userData, std::string& portName);

// Shared by a monitor and the callbacks it starts (see above).
struct DisconnectCallbackGate {
    std::mutex mutex;
    bool closed = false;   // the monitor is being deleted
    bool started = false;  // a callback has begun its call
};

class CDisconnectMonitor {
public:
    CDisconnectMonitor() = default;
    virtual ~CDisconnectMonitor() = default;
    CDisconnectMonitor(const CDisconnectMonitor&) = delete;
    CDisconnectMonitor& operator=(const CDisconnectMonitor&) = delete;

    // May be called at any time, also while the device is being lost: a
    // callback gets the user data set last before it was started.
    virtual void setUserData(void* userData) { m_userData.store(userData); }
    // 0; 1 for a null callback (the earlier one stays).
    virtual int setCallback(DisconnectCallback callback) = 0;
    // 0 with the monitor thread running; 2 for a null port. Called once.
    virtual int startThread(InterfacePort* port) = 0;

protected:
    // Starts `callback` (user data, port name) on a thread of its own,
    // unless the gate is closed by the time the thread begins.
    void startCallbackThread(DisconnectCallback callback, const std::string& portName);
    // Closes the gate: no callback that has not begun will be made.
    void closeGate();
    // Waits for the monitor thread in steps of the thread-wait step, logging
    // each step that runs out; then closes its handle.
    void waitForThread(HANDLE thread);

    int m_threadWaitStep = 10000;
    int m_pollInterval = 5;
    std::atomic<void*> m_userData{nullptr};

private:
    std::shared_ptr<DisconnectCallbackGate> m_gate = std::make_shared<DisconnectCallbackGate>();
};
