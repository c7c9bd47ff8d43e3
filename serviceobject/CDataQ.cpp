#include "CDataQ.h"

#include "SOMessages.h"
#include "debug/ZRIDbgBase.h"

#include "platform/debug.h"
#include "platform/error.h"
#include "platform/sync.h"
#include "platform/thread.h"

#include <algorithm>
#include <memory>
#include <string>

namespace {

const char* const kThreadTag = "DataQ.ThreadRoutine(): ";
constexpr DWORD kShutdownWarningMs = 500;

bool isStatus(const COPOSEvent* event)
{
    return event != nullptr && event->m_nEventType == EVT_STATUS;
}

std::string countText(const char* label, std::size_t count)
{
    return label + std::to_string(count);
}

}  // namespace

CDataQ::CDataQ(int capacity, ZRIDbgBase* debug, UINT command)
    : m_pDebug(debug), m_nCapacity(capacity > 0 ? capacity : 1), m_nCommand(command)
{
    m_hShutdown = CreateEventA(nullptr, FALSE, FALSE, nullptr);
    m_hSemaphore = CreateSemaphoreA(nullptr, 0, m_nCapacity, nullptr);
    m_hFreezeChanged = CreateEventA(nullptr, FALSE, FALSE, nullptr);
    m_hEnabledChanged = CreateEventA(nullptr, FALSE, FALSE, nullptr);
}

CDataQ::~CDataQ()
{
    // An owner that forgot Shutdown must not leave a thread on a freed queue.
    Shutdown();
    PurgeAll();
    for (HANDLE handle : {m_hShutdown, m_hSemaphore, m_hFreezeChanged, m_hEnabledChanged})
        if (handle != nullptr)
            CloseHandle(handle);
}

ZRIDbgBase& CDataQ::Debug() const
{
    return ZRIDbgBase::Or(m_pDebug);
}

bool CDataQ::PostRecord(COPOSEvent* event, WPARAM wParam, const char* tag)
{
    HWND window = event->m_hWnd;
    if (window != nullptr && PostMessageW(window, WM_COMMAND, wParam, reinterpret_cast<LPARAM>(event)))
        return true;
    Debug().LogTextNumber(tag, window == nullptr ? "no event window, event deleted" : "PostMessage failed, event deleted",
                          static_cast<long>(GetLastError()));
    delete event;
    return false;
}

int CDataQ::AddToQ(long code)
{
    static const char* const tag = "DataQ.AddToQ(): ";
    Debug().LogText(tag, "entered");
    HWND window = m_eventWindow.load();
    auto* first = new CErrorEvent;
    first->m_hWnd = window;
    first->m_nCommand = m_nCommand;
    first->m_lResultCodeExtended = code;
    m_state = 4;

    std::size_t listed = 0;
    {
        std::lock_guard lock(m_listLock);
        listed = m_list.size();
    }
    if (m_dataCount.load() == 0)
        return AddToTail(first);

    // Behind data already queued: the application first learns that input
    // is in error (continue with what came so far), then, at the tail, that
    // everything up to the failure is to be cleared.
    first->m_lErrorLocus = 3;
    first->m_lErrorResponse = 13;
    first->m_lClearCount = static_cast<long>(listed) + 1;
    AddToHead(first, true);
    auto* second = new CErrorEvent;
    second->m_hWnd = window;
    second->m_nCommand = m_nCommand;
    second->m_lResultCodeExtended = code;
    return AddToTail(second);
}

int CDataQ::AddToQ(const char*, int kind, int)
{
    static const char* const tag = "DataQ.AddToQ(): ";
    Debug().LogText(tag, "entered");
    if (kind != 2)
        Debug().LogText(tag, "a non msg text event type has been recieved");
    return 0;
}

int CDataQ::ProcessSUE(long status)
{
    static const char* const tag = "DataQ.ProcessSUE(): ";
    Debug().LogText(tag, "entered");
    if (status == 2004) {
        m_powerState = 2004;
        m_state = 4;
    } else if (status == 2001) {
        m_powerState = 2001;
    }
    {
        std::lock_guard lock(m_statusLock);
        const bool alwaysQueued = status == 2100 || (status >= 2200 && status <= 2205);
        if (status == m_lLastStatus && !alwaysQueued)
            return 1;
        m_lLastStatus = status;
    }
    auto* event = new CStatusUpdateEvent(status);
    event->m_hWnd = m_eventWindow.load();
    event->m_nCommand = m_nCommand;
    AddToTail(event);
    return 1;
}

int CDataQ::AddToTail(COPOSEvent* event)
{
    static const char* const tag = "DataQ.AddToTail(): ";
    if (event == nullptr)
        return 0;
    std::lock_guard lock(m_listLock);
    m_list.push_back(event);
    const bool data = event->m_nEventType == EVT_DATA;
    if (data)
        ++m_dataCount;
    Debug().LogText(tag, "pEvent added to theQ");
    if (!ReleaseSemaphore(m_hSemaphore, 1, nullptr)) {
        // As many events wait as the capacity allows: this one is dropped.
        m_list.pop_back();
        if (data)
            --m_dataCount;
        Debug().LogTextNumber(tag, "queue full, event dropped", static_cast<long>(GetLastError()));
        delete event;
        return 0;
    }
    if (data) {
        // The event window applies AutoDisable as soon as a barcode is queued.
        HWND window = event->m_hWnd;
        if (window != nullptr)
            PostRecord(new COPOSEvent(window, DeviceEnableMessage()), DeviceEnableMessage(), tag);
    }
    return 1;
}

int CDataQ::PostToWindow(COPOSEvent* event)
{
    if (event != nullptr)
        PostRecord(event, event->m_nCommand, "DataQ.PostToWindow(): ");
    return 1;
}

int CDataQ::AddToHead(COPOSEvent* event, bool quiet)
{
    static const char* const tag = "DataQ.AddToHead(): ";
    Debug().LogText(tag, "entered");
    if (event == nullptr)
        return 0;
    std::lock_guard lock(m_listLock);
    m_list.push_front(event);
    Debug().LogText(tag, "pError added to theQ");
    if (!quiet && !ReleaseSemaphore(m_hSemaphore, 1, nullptr)) {
        m_list.pop_front();
        delete event;
        return 0;
    }
    return 1;
}

bool CDataQ::StartThread()
{
    std::lock_guard lock(m_threadLock);
    if (m_running.load())
        return true;
    m_running = true;
    const std::uintptr_t thread = _beginthreadex(nullptr, 0, &CDataQ::ThreadEntry, this, 0, nullptr);
    if (thread == 0) {
        m_running = false;
        Debug().LogError("DataQ.StartThread(): ", GetLastError());
        return false;
    }
    m_hThread = reinterpret_cast<HANDLE>(thread);
    return true;
}

void CDataQ::Shutdown()
{
    static const char* const tag = "DataQ.Shutdown(): ";
    std::lock_guard lock(m_threadLock);
    if (m_hThread == nullptr)
        return;
    Debug().LogText(tag, "entered");
    SetEvent(m_hShutdown);
    if (WaitForSingleObject(m_hThread, kShutdownWarningMs) == WAIT_TIMEOUT) {
        // Never go on while the thread may still touch the queue: the owner
        // deletes it next.
        Debug().LogText(tag, "shutdown deadlock, ignoring and shutting down!!");
        WaitForSingleObject(m_hThread, INFINITE);
    }
    CloseHandle(m_hThread);
    m_hThread = nullptr;
    m_running = false;
    Debug().LogText(tag, "exit");
}

void CDataQ::SetDataEventEnabled(bool enabled)
{
    // Stored before the thread is woken, so it sees the new value.
    std::lock_guard lock(m_enabledLock);
    const bool wasEnabled = m_dataEventEnabled.exchange(enabled);
    if (enabled && !wasEnabled)
        SetEvent(m_hEnabledChanged);
}

void CDataQ::SetFreezeEvents(bool freeze)
{
    std::lock_guard lock(m_freezeLock);
    const bool wasFrozen = m_freezeEvents.exchange(freeze);
    const bool released = wasFrozen && !freeze;
    if (released)
        SetEvent(m_hFreezeChanged);
}

int CDataQ::Count()
{
    std::lock_guard lock(m_listLock);
    return static_cast<int>(m_list.size());
}

int CDataQ::SignalOne()
{
    return ReleaseSemaphore(m_hSemaphore, 1, nullptr) ? 1 : 0;
}

void CDataQ::RemoveAt(std::size_t index)
{
    COPOSEvent* event = m_list[index];
    m_list.erase(m_list.begin() + static_cast<std::ptrdiff_t>(index));
    if (event->m_nEventType == EVT_DATA)
        --m_dataCount;
    delete event;
}

void CDataQ::PurgeAll()
{
    std::lock_guard lock(m_listLock);
    while (!m_list.empty())
        RemoveAt(0);
}

int CDataQ::PurgeInput()
{
    bool statusKept = false;
    {
        std::lock_guard lock(m_listLock);
        for (std::size_t i = 0; i < m_list.size();) {
            if (isStatus(m_list[i])) {
                statusKept = true;
                ++i;
            } else {
                RemoveAt(i);
            }
        }
    }
    return statusKept ? SignalOne() : 0;
}

void CDataQ::PurgeFirst(int count)
{
    std::lock_guard lock(m_listLock);
    for (int i = 0; i < count && !m_list.empty(); ++i)
        RemoveAt(0);
}

unsigned CDataQ::ThreadEntry(void* self)
{
    return static_cast<CDataQ*>(self)->ThreadRoutine();
}

COPOSEvent* CDataQ::TakeHead(bool anyType)
{
    if (m_list.empty())
        return nullptr;
    COPOSEvent* head = m_list.front();
    if (!anyType && !isStatus(head) && !m_dataEventEnabled.load()) {
        // A status update does not wait behind input held for
        // DataEventEnabled: the first one listed goes out (an unplugged
        // scanner's 2004 while labels wait, say); the held input keeps its
        // order.
        const auto status = std::find_if(m_list.begin(), m_list.end(), isStatus);
        if (status == m_list.end())
            return nullptr;
        COPOSEvent* taken = *status;
        m_list.erase(status);
        return taken;
    }
    m_list.pop_front();
    if (head->m_nEventType == EVT_DATA) {
        --m_dataCount;
        // Cleared as the event is taken, not only when the window fires it:
        // otherwise the next data event could be taken under the same
        // enabling before the window got to the first.
        m_dataEventEnabled = false;
    }
    // Whatever woke the thread, a status right behind the taken event must
    // not wait for the next enabling (an unplug would go unseen).
    if (!m_list.empty() && isStatus(m_list.front()))
        m_statusBehind = true;
    return head;
}

void CDataQ::Deliver(COPOSEvent* event)
{
    if (event != nullptr)
        PostRecord(event, event->m_nCommand, kThreadTag);
}

unsigned CDataQ::ThreadRoutine()
{
    ZRIDbgBase& debug = Debug();
    debug.LogText(kThreadTag, "entered");
    {
        std::lock_guard lock(m_statusLock);
        m_lLastStatus = 0;
    }
    const HANDLE handles[] = {m_hShutdown, m_hSemaphore, m_hFreezeChanged, m_hEnabledChanged};
    while (m_running.load()) {
        const DWORD woken = WaitForMultipleObjects(4, handles, FALSE, INFINITE);
        COPOSEvent* taken = nullptr;
        switch (woken) {
        case WAIT_OBJECT_0:
            debug.LogText(kThreadTag, "request thread shutdown");
            PurgeAll();
            m_running = false;
            return 0;
        case WAIT_OBJECT_0 + 1: {
            if (m_errorFiring.load())
                break;
            if (m_freezeEvents.load()) {
                debug.LogText(kThreadTag, "Freeze events enabled");
                break;
            }
            std::lock_guard lock(m_listLock);
            if (m_list.empty())
                break;
            taken = TakeHead(false);
            if (taken == nullptr)
                debug.LogText(kThreadTag, "DataEvents disabled  or not a status update event");
            else
                debug.LogText(kThreadTag, countText("IDX_SEMAPHORE Q count: ", m_list.size()).c_str());
            break;
        }
        case WAIT_OBJECT_0 + 2: {
            debug.LogText(kThreadTag, "FreezeEvents changed to F");
            std::lock_guard lock(m_listLock);
            if (!m_list.empty() && !m_errorFiring.load())
                taken = TakeHead(false);
            if (taken != nullptr)
                debug.LogText(kThreadTag, countText("IDX_FREEZE_CHANGED Q count: ", m_list.size()).c_str());
            else
                debug.LogText(kThreadTag, "DataEvents disabled  or not a status update event");
            break;
        }
        case WAIT_OBJECT_0 + 3: {
            debug.LogText(kThreadTag, "DataEventsEnabled changed to T");
            std::lock_guard lock(m_listLock);
            if (m_list.empty() || m_errorFiring.load())
                break;
            debug.LogText(kThreadTag, countText("Q count: ", m_list.size()).c_str());
            if (m_freezeEvents.load()) {
                debug.LogText(kThreadTag, "Freeze Events Enabled");
                break;
            }
            // The rise may be stale: a data event taken since (on a
            // delivery signal) has used this enabling up.
            if (!m_dataEventEnabled.load()) {
                debug.LogText(kThreadTag, "DataEvents disabled  or not a status update event");
                break;
            }
            taken = TakeHead(true);
            debug.LogText(kThreadTag, countText("IDX_EVENTSENABLED_CHANGED Q count: ", m_list.size()).c_str());
            break;
        }
        default:
            debug.LogText(kThreadTag, FormatSystemError(GetLastError()).c_str());
            break;
        }
        Deliver(taken);  // after the list lock is left
    }
    OutputDebugStringA("exiting ThreadRountine");
    return 0;
}
