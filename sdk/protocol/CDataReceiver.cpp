#include "CDataReceiver.h"

#include "base/CScanningSDK.h"
#include "base/CScopedLock.h"
#include "base/StringUtils.h"

#include "platform/error.h"
#include "platform/sync.h"
#include "platform/time.h"

#include <new>

namespace {
constexpr DWORD kIdleSleepMs = 5;
}

CDataReceiver::CDataReceiver(HANDLE semaphore, InterfacePort* port, int ctsSetting, int xonSetting, int ackSetting,
                             CRITICAL_SECTION* writeLock)
    : m_port(port)
    , m_semaphore(semaphore)
    , m_ctsSetting(ctsSetting)
    , m_xonSetting(xonSetting)
    , m_ackSetting(ackSetting)
    , m_writeLock(writeLock)
{
    startThread();
}

CDataReceiver::~CDataReceiver()
{
    try {
        shutdown();
        SDK_LOG(logbit::trace, "CDataReceiver::~CDataReceiver", "release all the memory allocated now.");
        CScopedLock lock(m_queueLock.get());
        for (CData* record : m_queue) {
            delete record;
        }
        m_queue.clear();
    } catch (...) {
        SDK_LOG(logbit::internal, "CDataReceiver::~CDataReceiver", "unknown error when de construct data receiver!");
    }
}

CData* CDataReceiver::getQHead()
{
    CScopedLock lock(m_queueLock.get());
    if (m_queue.empty()) {
        return nullptr;
    }
    CData* record = m_queue.front();
    m_queue.pop_front();
    return record;
}

CData* CDataReceiver::getQAt(std::size_t index)
{
    CScopedLock lock(m_queueLock.get());
    return index < m_queue.size() ? m_queue[index] : nullptr;
}

void CDataReceiver::pushQTail(CData* record)
{
    CScopedLock lock(m_queueLock.get());
    m_queue.push_back(record);
}

std::size_t CDataReceiver::queuedCount()
{
    CScopedLock lock(m_queueLock.get());
    return m_queue.size();
}

std::size_t CDataReceiver::queuedBytes()
{
    CScopedLock lock(m_queueLock.get());
    std::size_t total = 0;
    for (CData* record : m_queue) {
        total += record->getLength();
    }
    return total;
}

void CDataReceiver::startThread()
{
    m_running.store(true);
    m_thread = CThread(fastdelegate::FastDelegate<void()>(this, &CDataReceiver::threadRoutine));
}

void CDataReceiver::shutdown()
{
    m_running.store(false);
    while (!m_thread.wait(kShutdownWaitStep)) {
        SDK_LOG(logbit::retry, "CDataReceiver::shutdown", "wait running thread 10s timeout, continue waitting...");
    }
}

void CDataReceiver::writeByte(unsigned char byte)
{
    CScopedLock lock(m_writeLock);
    unsigned int written = 0;
    m_port->write(&byte, 1, &written);
}

void CDataReceiver::sendDataForHandShaking()
{
    if (m_port == nullptr) {
        SDK_LOG(logbit::error, "CDataReceiver::sendDataForHandShaking", "null communication port pointer!");
        return;
    }
    if (m_xonSetting == 1) {
        writeByte(kXon);
    }
    if (m_ackSetting == 1) {
        writeByte(kAck);
    }
}

void CDataReceiver::signalSemaphore()
{
    if (m_semaphore == nullptr) {
        return;
    }
    if (!ReleaseSemaphore(m_semaphore, 1, nullptr)) {
        const DWORD code = GetLastError();
        SDK_LOG(logbit::error, "CDataReceiver::signalSemaphore",
                "ReleaseSemaphore failed, error code is: " + intToString(static_cast<int>(code)));
        m_missedReleases.fetch_add(1);
    }
}

namespace {

// A port that fails keeps failing the same way on every pass (an unplugged
// device does, every 5 ms): the first failure of such a run is logged, and
// once more with the count when the run ends. A "no data yet" result does
// not end a run; data or another failure does, and so does the loop's end.
class ReadFailureRun {
public:
    ~ReadFailureRun() { end(); }
    ReadFailureRun() = default;
    ReadFailureRun(const ReadFailureRun&) = delete;
    ReadFailureRun& operator=(const ReadFailureRun&) = delete;

    void failed(int code)
    {
        if (m_count > 0 && code == m_code) {
            ++m_count;
            return;
        }
        end();
        m_code = code;
        m_count = 1;
        SDK_LOG(logbit::error, "CDataReceiver::threadRoutine", "read interface error!");
    }
    void end()
    {
        if (m_count > 1) {
            SDK_LOG(logbit::error, "CDataReceiver::threadRoutine",
                    "read interface error! " + intToString(m_count) + " times in a row.");
        }
        m_count = 0;
    }

private:
    int m_code = 0;
    int m_count = 0;
};

}  // namespace

void CDataReceiver::threadRoutine()
{
    sendDataForHandShaking();
    bool dataSinceHandshake = false;
    unsigned char buffer[kReadBufferSize];
    ReadFailureRun failures;
    while (m_running.load()) {
        try {
            unsigned int count = 0;
            if (m_port == nullptr) {
                SDK_LOG(logbit::error, "CDataReceiver::threadRoutine", "communication port pointer null!");
                Sleep(kIdleSleepMs);
                continue;
            }
            const int result = m_port->read(buffer, kReadBufferSize, &count);
            if (result == 0) {
                failures.end();
            }
            if (result == 0 && count > 0) {
                if (count > static_cast<unsigned int>(kReadBufferSize)) {
                    count = kReadBufferSize;  // a port never reports more than it was given room for
                }
                auto* record = new CData(buffer, count);
                pushQTail(record);
                signalSemaphore();
                dataSinceHandshake = true;
                continue;
            }
            if (result == 0) {
                if (dataSinceHandshake) {
                    sendDataForHandShaking();
                    dataSinceHandshake = false;
                }
            } else {
                if (result != 1460 && result != 997) {
                    failures.failed(result);
                }
                if (count != 0) {
                    continue;
                }
            }
            int missed = m_missedReleases.load();
            while (missed > 0 && !m_missedReleases.compare_exchange_weak(missed, missed - 1)) {
            }
            if (missed > 0) {
                signalSemaphore();
            }
            Sleep(kIdleSleepMs);
        } catch (const std::bad_alloc& failure) {
            SDK_LOG(logbit::error, "CDataReceiver::threadRoutine",
                    std::string("out of memory! detail error message is: ") + failure.what());
        } catch (...) {
            SDK_LOG(logbit::error, "CDataReceiver::threadRoutine", "unknown error!");
        }
    }
}
