// Reconnection after a device loss: the SDK's disconnect callback wakes a
// thread of this object, which queues the power status 2004, disconnects
// the SDK from the lost device and looks for it again at the poll period
// until it is back, when it queues 2001 and ends. It never connects the
// device again: the scanner logic does that at the next claim.
//
// Threads: the disconnect callback (any thread) only releases the wake-up
// semaphore; StartThread and Shutdown come from the host's thread.
// Shutdown returns once the thread has ended: its waits (the semaphore, the
// poll pause, a discovery) end at once, so a stale thread can never answer
// a later claim or clear the running flag of the next one.
#pragma once

#include "platform/types.h"

#include <atomic>
#include <condition_variable>
#include <mutex>
#include <string>
#include <thread>

class CCommonSO;
class COPOSKestrel;
class CScannerDataQ;
class ZRIDbgBase;

class CConnectDisconnect {
public:
    CConnectDisconnect() = default;
    ~CConnectDisconnect();
    CConnectDisconnect(const CConnectDisconnect&) = delete;
    CConnectDisconnect& operator=(const CConnectDisconnect&) = delete;

    // None is owned. Registers the disconnect callback with the facade.
    int Init(COPOSKestrel* facade, ZRIDbgBase* debug, CScannerDataQ* queue, CCommonSO* common);
    void StartThread();
    void Shutdown();
    bool IsRunning() const { return m_running.load() != 0; }
    // True while a thread object exists that has not been joined.
    bool HasThread();

    // The SDK's disconnect callback; its arguments are not used.
    static void disconnect_CallBack(void* user, std::string& devicePath);

private:
    void ThreadRoutine();
    // Waits up to `milliseconds` or until Shutdown; false when shut down.
    bool Pause(DWORD milliseconds);
    ZRIDbgBase& Debug() const;

    std::atomic<int> m_running{0};
    ZRIDbgBase* m_pDebug = nullptr;
    COPOSKestrel* m_pFacade = nullptr;
    CCommonSO* m_pCommon = nullptr;
    CScannerDataQ* m_pQueue = nullptr;
    std::mutex m_threadLock;  // StartThread and Shutdown
    std::thread m_thread;
    std::mutex m_pauseLock;
    std::condition_variable m_pauseWake;
    bool m_stop = false;
};
