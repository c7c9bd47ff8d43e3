#include "CConnectDisconnect.h"

#include "CCommonSO.h"
#include "COPOSKestrel.h"
#include "CScannerDataQ.h"
#include "debug/ZRIDbgBase.h"

#include "platform/debug.h"

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <string>

namespace {

// The object whose thread the SDK's disconnect callback wakes: one per
// process, present only while a thread runs.
std::mutex g_wakeLock;
CConnectDisconnect* g_waking = nullptr;
int g_pendingLosses = 0;  // wake-ups not yet taken (the semaphore's count)
constexpr int kMaxPendingLosses = 256;
constexpr DWORD kSettleMs = 100;

}  // namespace

CConnectDisconnect::~CConnectDisconnect()
{
    Shutdown();
}

ZRIDbgBase& CConnectDisconnect::Debug() const
{
    return ZRIDbgBase::Or(m_pDebug);
}

int CConnectDisconnect::Init(COPOSKestrel* facade, ZRIDbgBase* debug, CScannerDataQ* queue, CCommonSO* common)
{
    m_pFacade = facade;
    m_pDebug = debug;
    m_pQueue = queue;
    m_pCommon = common;
    if (facade != nullptr)
        facade->SetDisconnectCallback(&CConnectDisconnect::disconnect_CallBack);
    return 1;
}

bool CConnectDisconnect::HasThread()
{
    std::lock_guard lock(m_threadLock);
    return m_thread.joinable();
}

void CConnectDisconnect::StartThread()
{
    Debug().Log("CConnectDisconnect::StartThread() entered");
    std::lock_guard lock(m_threadLock);
    if (m_running.load() != 0) {
        Debug().Log("ConnectDisconnect thread already running");
        return;
    }
    if (m_thread.joinable())
        m_thread.join();  // ended by itself once the device was back
    {
        std::lock_guard pause(m_pauseLock);
        m_stop = false;
    }
    {
        std::lock_guard wake(g_wakeLock);
        g_pendingLosses = 0;
        g_waking = this;
    }
    m_running = 1;
    m_thread = std::thread([this] { ThreadRoutine(); });
}

void CConnectDisconnect::disconnect_CallBack(void*, std::string&)
{
    std::lock_guard wake(g_wakeLock);
    CConnectDisconnect* self = g_waking;
    if (self == nullptr)
        return;
    {
        std::lock_guard pause(self->m_pauseLock);
        if (g_pendingLosses < kMaxPendingLosses)
            ++g_pendingLosses;
    }
    self->m_pauseWake.notify_all();
    OutputDebugStringA("disconnect_CallBack called.\n");
}

bool CConnectDisconnect::Pause(DWORD milliseconds)
{
    std::unique_lock lock(m_pauseLock);
    m_pauseWake.wait_for(lock, std::chrono::milliseconds(milliseconds), [this] { return m_stop; });
    return !m_stop;
}

void CConnectDisconnect::ThreadRoutine()
{
    static const char* const tag = "CConnectDisconnect::ThreadRoutine";
    try {
        while (m_running.load() != 0) {
            {
                std::unique_lock lock(m_pauseLock);
                m_pauseWake.wait(lock, [this] { return m_stop || g_pendingLosses > 0; });
                if (!m_stop)
                    --g_pendingLosses;
            }
            OutputDebugStringA((std::string("CConnectDisconnect::ThreadRoutine thread shutdown  ") +
                                (m_running.load() != 0 ? "true" : "false"))
                                   .c_str());
            if (m_running.load() == 0 || !Pause(0)) {
                m_pFacade->CancelEnumerate();
                OutputDebugStringA("CConnectDisconnect::ThreadRoutine thread shutdown");
                return;
            }
            Debug().LogText(tag, "Disconnect event signaled");
            m_pQueue->ProcessSUE(2004);
            m_pFacade->SetInUse(false);
            m_pFacade->DisConnect();
            if (!Pause(kSettleMs))
                return;
            Debug().LogTextNumber(tag, "Online Polling Frequency in ms", static_cast<long>(m_pFacade->GetPollFrequency()));
            // A search needs the time a probe of the port takes, which a
            // command time-out shortened for menu commands (DirectIO 19)
            // may not give: never less than the device entry's.
            const auto searchTime = static_cast<int>(
                std::min<std::int64_t>(std::max(m_pCommon->m_llCommandTimeOut.load(), m_pCommon->m_llCommandTimeOutAtOpen),
                                       0x7FFFFFFF));
            while (m_running.load() != 0) {
                const int found = m_pFacade->Enumerate(&m_pCommon->m_descriptor, 0, searchTime);
                if (!Pause(0))
                    return;  // shut down meanwhile: whatever was found is not reported
                if (found == 0) {
                    Debug().LogText(tag, "Device connected back");
                    m_pQueue->ProcessSUE(2001);
                    m_running = 0;
                    return;
                }
                if (!Pause(m_pFacade->GetPollFrequency()))
                    return;
            }
        }
    } catch (...) {
        OutputDebugStringA("Connect disconnect thread is still running");
    }
}

void CConnectDisconnect::Shutdown()
{
    static const char* const tag = "CConnectDisconnect.Shutdown(): ";
    Debug().LogText(tag, "entered");
    std::lock_guard lock(m_threadLock);
    {
        std::lock_guard wake(g_wakeLock);
        if (g_waking == this)
            g_waking = nullptr;
    }
    if (!m_thread.joinable())
        return;
    if (m_running.load() != 0)
        Debug().LogText(tag, "request thread shutdown");
    m_running = 0;
    {
        std::lock_guard pause(m_pauseLock);
        m_stop = true;
    }
    m_pauseWake.notify_all();
    // A discovery may start just after a cancel: cancel until the thread is
    // out of it.
    std::atomic<bool> joined{false};
    std::thread canceller([&] {
        while (!joined.load()) {
            if (m_pFacade != nullptr)
                m_pFacade->CancelEnumerate();
            std::unique_lock pause(m_pauseLock);
            m_pauseWake.wait_for(pause, std::chrono::milliseconds(20), [&] { return joined.load(); });
        }
    });
    m_thread.join();
    {
        std::lock_guard pause(m_pauseLock);
        joined = true;
    }
    m_pauseWake.notify_all();
    canceller.join();
    OutputDebugStringA("Closing semaphore called.\n");
}
