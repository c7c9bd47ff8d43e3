#include "discovery/CDisconnectMonitor.h"

#include "base/CScanningSDK.h"
#include "base/CThread.h"

#include "platform/sync.h"

namespace {

// What a callback thread needs; made by the monitor thread, deleted by the
// callback thread after the call.
struct CallbackRecord {
    DisconnectCallback callback = nullptr;
    void* userData = nullptr;
    std::string portName;
    std::shared_ptr<DisconnectCallbackGate> gate;

    int callBackViaThread()
    {
        bool call = false;
        {
            std::lock_guard lock(gate->mutex);
            if (!gate->closed) {
                gate->started = true;
                call = true;
            }
        }
        if (call)
            callback(userData, portName);
        delete this;
        return 0;
    }
};

}  // namespace

void CDisconnectMonitor::startCallbackThread(DisconnectCallback callback, const std::string& portName)
{
    auto* record = new CallbackRecord;
    record->callback = callback;
    record->userData = m_userData.load();  // read once: the owner may set it meanwhile
    record->portName = portName;
    record->gate = m_gate;
    // Nobody waits for this thread: the CThread lets it run on detached.
    CThread thread(fastdelegate::FastDelegate<int()>(record, &CallbackRecord::callBackViaThread));
    if (thread.getHandle() == nullptr)
        delete record;  // the thread never started
}

void CDisconnectMonitor::closeGate()
{
    std::lock_guard lock(m_gate->mutex);
    m_gate->closed = true;
}

void CDisconnectMonitor::waitForThread(HANDLE thread)
{
    if (thread == nullptr)
        return;
    while (WaitForSingleObject(thread, static_cast<DWORD>(m_threadWaitStep)) == WAIT_TIMEOUT)
        SDK_LOG(logbit::retry, "CDisconnectMonitor::~CDisconnectMonitor",
                "wait running thread 10s timeout, continue waitting...");
}
