#include "CThread.h"

#include "platform/sync.h"
#include "platform/thread.h"

#include <utility>

namespace {

unsigned threadProcedure(void* argument)
{
    auto* data = static_cast<CThread::CThreadDataBase*>(argument);
    if (data != nullptr) {
        data->run();
        delete data;
    }
    return 0;
}

}  // namespace

CThread::CThread(const fastdelegate::FastDelegate<void()>& delegate)
{
    start(new CThreadData<fastdelegate::FastDelegate<void()>>(delegate));
}

CThread::CThread(const fastdelegate::FastDelegate<int()>& delegate)
{
    start(new CThreadData<fastdelegate::FastDelegate<int()>>(delegate));
}

void CThread::start(CThreadDataBase* data)
{
    m_data = data;
    unsigned threadId = 0;
    const std::uintptr_t handle = _beginthreadex(nullptr, 0, &threadProcedure, data, 0, &threadId);
    if (handle == 0) {
        // The thread never ran, so nobody else will free the payload.
        delete data;
        m_data = nullptr;
        return;
    }
    m_handle = reinterpret_cast<HANDLE>(handle);
    m_threadId = threadId;
}

CThread::~CThread()
{
    closeHandle();
}

CThread::CThread(CThread&& other) noexcept
    : m_handle(std::exchange(other.m_handle, nullptr))
    , m_threadId(std::exchange(other.m_threadId, 0))
    , m_data(std::exchange(other.m_data, nullptr))
{
}

CThread& CThread::operator=(CThread&& other) noexcept
{
    if (this != &other) {
        closeHandle();
        m_handle = std::exchange(other.m_handle, nullptr);
        m_threadId = std::exchange(other.m_threadId, 0);
        m_data = std::exchange(other.m_data, nullptr);
    }
    return *this;
}

bool CThread::wait(DWORD milliseconds)
{
    if (m_handle == nullptr) {
        return true;
    }
    if (WaitForSingleObject(m_handle, milliseconds) == WAIT_TIMEOUT) {
        return false;
    }
    closeHandle();
    return true;
}

void CThread::closeHandle()
{
    if (m_handle != nullptr) {
        CloseHandle(m_handle);
        m_handle = nullptr;
    }
    m_data = nullptr;
}
