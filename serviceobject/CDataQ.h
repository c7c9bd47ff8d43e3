// The event queue of one open service object and its delivery thread.
//
// The queue keeps the OPOS properties that govern delivery (DataEventEnabled,
// FreezeEvents, DataCount, State, PowerState), takes events from any thread
// and lets its delivery thread post the head, by the OPOS rules, as a
// WM_COMMAND (wParam the event's command, lParam the record) to the event
// window, whose thread fires it. One data event goes out per rise of
// DataEventEnabled; a status update passes whenever it is at the head.
//
// Ownership: the queue owns every listed record; a posted record belongs to
// the message (the event window, or the window's discard hook). A record
// that cannot be posted (no window, or the post failed) is deleted here and
// logged. Destroying the queue stops a running thread first and deletes
// what is still listed.
//
// Threads: producers call the AddToQ forms, ProcessSUE and the purges on
// any thread; the delivery thread is the only consumer. The list and
// DataCount change together under the list lock; the flags are atomic.
// Nothing here waits for the event window, so no thread of the service
// object can deadlock against it.
#pragma once

#include "COPOSEvent.h"

#include "platform/types.h"
#include "platform/window.h"

#include <atomic>
#include <deque>
#include <mutex>

class ZRIDbgBase;

class CDataQ {
public:
    // `capacity` bounds the outstanding delivery signals (events listed while
    // no thread takes them); `debug` is not owned and may be null.
    // `command` is the wParam of every record this queue posts.
    CDataQ(int capacity, ZRIDbgBase* debug, UINT command = kScannerEventCommand);
    virtual ~CDataQ();
    CDataQ(const CDataQ&) = delete;
    CDataQ& operator=(const CDataQ&) = delete;

    // Queues an internal error (ResultCode 111, ResultCodeExtended `code`)
    // found while receiving; see the .cpp for the Clear count rule.
    virtual int AddToQ(long code);
    // Text messages are not queued; always 0.
    virtual int AddToQ(const char* text, int kind, int length);
    // A barcode or image record of the subclass's kind.
    virtual int AddToQ(const void* record, int kind, int length) = 0;
    // Queues a status update; a repeat of the last status is dropped except
    // for 2100 and 2200-2205. 2004 sets State 4 even when dropped.
    virtual int ProcessSUE(long status);
    // Appends; 0 (and the event deleted) when the capacity is exhausted.
    virtual int AddToTail(COPOSEvent* event);
    // Posts at once, bypassing the list; 1.
    virtual int PostToWindow(COPOSEvent* event);
    // Inserts at the head; `quiet` gives no delivery signal.
    virtual int AddToHead(COPOSEvent* event, bool quiet);

    // Starts the delivery thread (nothing when it runs); false when it
    // cannot be started.
    bool StartThread();
    // Stops the delivery thread and waits for its end (a warning is logged
    // when that takes more than about half a second); purges the list.
    void Shutdown();
    bool IsRunning() const { return m_running.load(); }

    void SetDataEventEnabled(bool enabled);
    bool GetDataEventEnabled() const { return m_dataEventEnabled.load(); }
    void SetFreezeEvents(bool freeze);
    bool GetFreezeEvents() const { return m_freezeEvents.load(); }
    int GetDataCount() const { return m_dataCount.load(); }
    int GetState() const { return m_state.load(); }
    void SetState(int state) { m_state = state; }
    int GetPowerState() const { return m_powerState.load(); }
    void SetPowerState(int state) { m_powerState = state; }
    // Events listed now.
    int Count();

    // Where events are posted; set by the owner once its window exists.
    void SetEventWindow(HWND window) { m_eventWindow = window; }
    HWND GetEventWindow() const { return m_eventWindow.load(); }

    // Set by the owner while it fires an ErrorEvent: nothing is posted.
    void SetErrorFiring(bool firing) { m_errorFiring = firing; }
    // Set when a status update became the head right behind a taken event;
    // the owner's DataEvent handler signals once and clears it.
    bool GetStatusBehind() const { return m_statusBehind.load(); }
    void ClearStatusBehind() { m_statusBehind = false; }

    // One more delivery signal; its success.
    int SignalOne();
    void PurgeAll();
    // Removes every event but the status updates; signals once when one
    // stayed (that signal's result), else 0.
    int PurgeInput();
    // Removes up to `count` events from the head.
    void PurgeFirst(int count);

protected:
    ZRIDbgBase& Debug() const;
    // Posts `event` to its window as WM_COMMAND with `wParam`; on failure
    // (no window, window gone) the record is deleted and `tag` logs why.
    bool PostRecord(COPOSEvent* event, WPARAM wParam, const char* tag);

private:
    static unsigned ThreadEntry(void* self);
    unsigned ThreadRoutine();
    // Takes the head (list lock held): a status update always, any other
    // event when `anyType` or DataEventEnabled says so; sets the
    // status-behind flag when a status update is then the head.
    COPOSEvent* TakeHead(bool anyType);
    // Removes the event at `index` (list lock held) and deletes it.
    void RemoveAt(std::size_t index);
    void Deliver(COPOSEvent* event);

    ZRIDbgBase* m_pDebug;
    const int m_nCapacity;

protected:
    const UINT m_nCommand;

private:

    std::atomic<bool> m_running{false};
    std::atomic<HWND> m_eventWindow{nullptr};
    std::mutex m_statusLock;  // the last status, compared and set together
    long m_lLastStatus = 0;
    std::atomic<int> m_state{2};
    std::atomic<int> m_powerState{2000};

    HANDLE m_hShutdown = nullptr;
    HANDLE m_hSemaphore = nullptr;
    HANDLE m_hFreezeChanged = nullptr;
    HANDLE m_hEnabledChanged = nullptr;
    HANDLE m_hThread = nullptr;
    std::mutex m_threadLock;  // start and shutdown

    std::mutex m_listLock;
    std::deque<COPOSEvent*> m_list;
    std::mutex m_enabledLock;
    std::mutex m_freezeLock;
    std::atomic<bool> m_dataEventEnabled{false};
    std::atomic<bool> m_freezeEvents{false};
    std::atomic<int> m_dataCount{0};

    std::atomic<bool> m_errorFiring{false};
    std::atomic<bool> m_statusBehind{false};
};
