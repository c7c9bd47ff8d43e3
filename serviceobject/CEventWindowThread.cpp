#include "CEventWindowThread.h"

#include "debug/ZRIDbgBase.h"

#include "platform/sync.h"
#include "platform/thread.h"

namespace {
const char* const kTag = "CScannerMgr::ThreadRoutine()";

// Whether `window` still exists as a child of the desktop window.
bool existsOnDesktop(HWND window)
{
    if (window == nullptr)
        return false;
    for (HWND found = FindWindowExW(GetDesktopWindow(), nullptr, nullptr, nullptr); found != nullptr;
         found = FindWindowExW(GetDesktopWindow(), found, nullptr, nullptr))
        if (found == window)
            return true;
    return false;
}
}  // namespace

CEventWindowThread::~CEventWindowThread()
{
    if (m_hThread != nullptr) {
        PostClose();
        WaitForSingleObject(m_hThread, INFINITE);
        CloseHandle(m_hThread);
    }
    if (m_hReady != nullptr)
        CloseHandle(m_hReady);
}

bool CEventWindowThread::Start()
{
    if (m_hThread != nullptr)
        return true;
    m_ready = 0;
    if (m_hReady == nullptr)
        m_hReady = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    ResetEvent(m_hReady);
    unsigned id = 0;
    const std::uintptr_t thread = m_start(nullptr, 0, &CEventWindowThread::Entry, this, 0, &id);
    if (thread == 0)
        return false;
    m_hThread = reinterpret_cast<HANDLE>(thread);
    return true;
}

int CEventWindowThread::WaitForWindow(DWORD timeout)
{
    if (m_hReady != nullptr)
        WaitForSingleObject(m_hReady, timeout);
    return m_ready.load();
}

bool CEventWindowThread::PostClose()
{
    // The thread has its message queue once it has tried to make the window.
    if (m_hThread == nullptr || WaitForWindow(INFINITE) == 0)
        return false;
    return PostThreadMessageW(m_threadId.load(), WM_CLOSE, 0, 0) != FALSE;
}

bool CEventWindowThread::WaitForEnd(DWORD timeout)
{
    return m_hThread == nullptr || WaitForSingleObject(m_hThread, timeout) == WAIT_OBJECT_0;
}

unsigned CEventWindowThread::Entry(void* self)
{
    return static_cast<CEventWindowThread*>(self)->ThreadRoutine();
}

unsigned CEventWindowThread::ThreadRoutine()
{
    ZRIDbgBase& debug = ZRIDbgBase::Or(m_pDebug);
    debug.LogText(kTag, "Thread started");
    m_threadId = GetCurrentThreadId();
    platform::messageQueueDescriptor();  // makes the queue: WM_CLOSE can be posted from now on
    const bool exists = existsOnDesktop(m_window.GetSafeHwnd()) || m_window.Create();
    m_ready = exists ? 1 : -1;
    SetEvent(m_hReady);

    HWND window = m_window.GetSafeHwnd();
    MSG message{};
    while (GetMessageW(&message, nullptr, 0, 0) > 0 && message.message != WM_CLOSE) {
        if (message.message == WM_COMMAND && message.hwnd == window && window != nullptr) {
            if (!m_window.OnCommand(message.wParam, message.lParam))
                m_window.DefWindowProc(message.message, message.wParam, message.lParam);
        } else {
            DispatchMessageW(&message);
        }
    }
    debug.LogText(kTag, "Destroying window");
    m_window.DestroyWindow();
    return 0;
}
