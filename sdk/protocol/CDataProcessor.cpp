#include "CDataProcessor.h"

#include "CMenuData.h"

#include "base/CScanningSDK.h"
#include "base/CScopedLock.h"
#include "base/StringUtils.h"

#include "platform/error.h"
#include "platform/sync.h"
#include "platform/time.h"

#include <new>

namespace {

const char kSyncCommandPrefix[] = "\x16M\r";

void setError(std::string& error, const char* method, const std::string& text, int bit)
{
    error = text;
    SDK_LOG(bit, method, text);
}

}  // namespace

CDataProcessor::CDataProcessor(InterfacePort* port, int initialState, int ctsSetting, int xonSetting, int ackSetting)
    : m_port(port)
    , m_state(initialState != 0 ? 1 : 0)
{
    if (m_port == nullptr) {
        SDK_LOG(logbit::error, "CDataProcessor::CDataProcessor", "interface pointer is null!");
    }
    try {
        m_semaphore = CreateSemaphoreW(nullptr, 0, kSemaphoreMaximum, nullptr);
        m_shutdownEvent = CreateEventW(nullptr, TRUE, FALSE, nullptr);
        m_switchEvent = CreateEventW(nullptr, FALSE, FALSE, nullptr);
        m_switchDoneEvent = CreateEventW(nullptr, FALSE, FALSE, nullptr);
        m_syncReplyEvent = CreateEventW(nullptr, FALSE, FALSE, nullptr);
        m_exchangeMutex = CreateMutexW(nullptr, FALSE, nullptr);
        SDK_LOG(logbit::trace, "CDataProcessor::CDataProcessor", "create the data receiver now.");
        m_receiver = new CDataReceiver(m_semaphore, m_port, ctsSetting, xonSetting, ackSetting, m_writeLock.get());
        m_parser = new CDataParser(m_receiver);
        SDK_LOG(logbit::trace, "CDataProcessor::CDataProcessor", "start the thread now.");
        startThread();
    } catch (const std::bad_alloc& failure) {
        SDK_LOG(logbit::trace, "CDataProcessor::CDataProcessor",
                std::string("memory allocation failed with: ") + failure.what());
    } catch (...) {
        SDK_LOG(logbit::trace, "CDataProcessor::CDataProcessor", "unknown error.");
    }
}

CDataProcessor::~CDataProcessor()
{
    try {
        // Stop reading first: the processing thread then drains every chunk
        // already announced (semaphore counts win over the shutdown event)
        // and cannot be kept busy for ever by a device that keeps sending.
        if (m_receiver != nullptr) {
            m_receiver->shutdown();
        }
        m_running.store(false);
        if (m_shutdownEvent != nullptr) {
            SetEvent(m_shutdownEvent);
        }
        if (m_threadStarted) {
            while (!m_thread.wait(kThreadWaitStep)) {
                SDK_LOG(logbit::retry, "CDataProcessor::~CDataProcessor",
                        "wait running thread 10s timeout, continue waitting...");
            }
        }
        SDK_LOG(logbit::trace, "CDataProcessor::~CDataProcessor", "delete data receiver now.");
        delete m_receiver;
        m_receiver = nullptr;
        SDK_LOG(logbit::trace, "CDataProcessor::~CDataProcessor", "delete data parser now.");
        delete m_parser;
        m_parser = nullptr;
        delete m_syncReply;
        m_syncReply = nullptr;
        SDK_LOG(logbit::trace, "CDataProcessor::~CDataProcessor",
                "de-construct data processor, running thread exit, close all handles now.");
        for (HANDLE handle :
             {m_semaphore, m_shutdownEvent, m_switchEvent, m_switchDoneEvent, m_syncReplyEvent, m_exchangeMutex}) {
            if (handle != nullptr) {
                CloseHandle(handle);
            }
        }
    } catch (...) {
        SDK_LOG(logbit::internal, "CDataProcessor::~CDataProcessor", "unknown error when de construct data processor!");
    }
}

void CDataProcessor::startThread()
{
    m_running.store(true);
    m_thread = CThread(fastdelegate::FastDelegate<void()>(this, &CDataProcessor::threadRoutine));
    m_threadStarted = true;
}

void CDataProcessor::threadRoutine()
{
    while (m_running.load()) {
        if (m_state.load() == 0) {
            rawSemaphoreJob();
        } else {
            identifySemaphoreJob();
        }
    }
}

void CDataProcessor::identifySemaphoreJob()
{
    const HANDLE handles[3] = {m_semaphore, m_shutdownEvent, m_switchEvent};
    for (;;) {
        const DWORD result = WaitForMultipleObjects(3, handles, FALSE, INFINITE);
        if (result == WAIT_OBJECT_0) {
            // Busy goes up before hold is read, and flushLocalBuff raises
            // hold before it reads busy: one of the two always sees the other.
            m_busy.store(true);
            if (m_hold.load()) {
                // The flush drops this chunk together with its count.
                delete m_receiver->getQHead();
            } else {
                m_parser->parseData(this);
            }
            m_busy.store(false);
        } else if (result == WAIT_OBJECT_0 + 1) {
            SDK_LOG(logbit::trace, "CDataProcessor::identifySemaphoreJob", "shutdown and exit now.");
            return;
        } else if (result == WAIT_OBJECT_0 + 2) {
            SDK_LOG(logbit::trace, "CDataProcessor::identifySemaphoreJob", "switch to raw and exit now.");
            SetEvent(m_switchDoneEvent);
            return;
        } else {
            SDK_LOG(logbit::internal, "CDataProcessor::identifySemaphoreJob", "can't happen!");
        }
    }
}

void CDataProcessor::rawSemaphoreJob()
{
    const HANDLE handles[3] = {m_semaphore, m_shutdownEvent, m_switchEvent};
    for (;;) {
        const DWORD result = WaitForMultipleObjects(3, handles, FALSE, INFINITE);
        if (result == WAIT_OBJECT_0) {
            m_parser->parseRaw();
        } else if (result == WAIT_OBJECT_0 + 1) {
            SDK_LOG(logbit::trace, "CDataProcessor::rawSemaphoreJob", "shutdown and exit now.");
            return;
        } else if (result == WAIT_OBJECT_0 + 2) {
            SDK_LOG(logbit::trace, "CDataProcessor::rawSemaphoreJob", "switch to identify and exit now.");
            SetEvent(m_switchDoneEvent);
            return;
        } else {
            SDK_LOG(logbit::internal, "CDataProcessor::rawSemaphoreJob", "can't happen!");
        }
    }
}

int CDataProcessor::setCallback(void* user, DataCallback callback, std::string& error)
{
    if (callback == nullptr) {
        setError(error, "CDataProcessor::setCallback", "callback pointer is null!", logbit::error);
        return 1;
    }
    if (m_parser == nullptr) {
        setError(error, "CDataProcessor::setCallback", "data parser pointer is null!", logbit::error);
        return 1;
    }
    m_parser->setCallback(user, callback);
    return 0;
}

bool CDataProcessor::offerSyncReply(CData* reply)
{
    CScopedLock lock(m_replyLock.get());
    if (!m_syncWaiting || m_syncReply != nullptr) {
        return false;
    }
    m_syncReply = reply;
    SetEvent(m_syncReplyEvent);
    return true;
}

CData* CDataProcessor::endSyncWait()
{
    CScopedLock lock(m_replyLock.get());
    m_syncWaiting = false;
    CData* reply = m_syncReply;
    m_syncReply = nullptr;
    return reply;
}

int CDataProcessor::writeMessage(const std::string& message, unsigned int* written)
{
    CScopedLock lock(m_writeLock.get());
    return m_port->write(reinterpret_cast<const unsigned char*>(message.data()), static_cast<int>(message.size()),
                         written);
}

bool CDataProcessor::enterExchange(DWORD timeout)
{
    if (m_exchangeMutex == nullptr)
        return false;
    const DWORD wait = WaitForSingleObject(m_exchangeMutex, timeout);
    // An owner that ended without leaving left no exchange behind.
    return wait == WAIT_OBJECT_0 || wait == WAIT_ABANDONED;
}

void CDataProcessor::leaveExchange()
{
    ReleaseMutex(m_exchangeMutex);
}

// Leaves the exchange that enterExchange took, at the end of the scope.
struct CDataProcessor::ExchangeTurn {
    CDataProcessor* processor;
    ~ExchangeTurn() { processor->leaveExchange(); }
};

CData* CDataProcessor::sendMsgSync(int* status, std::string message, DWORD timeout, std::string& error)
{
    static const char* const kMethod = "CDataProcessor::sendMsgSync";
    int ignored = 0;
    int& result = status != nullptr ? *status : ignored;
    // The reply slot serves one exchange at a time: wait for the one under
    // way to end, within this call's own time-out.
    const DWORD start = GetTickCount();
    if (!enterExchange(timeout)) {
        setError(error, kMethod, "wait for another operation timeout!", logbit::error);
        result = 2;
        return nullptr;
    }
    const ExchangeTurn turn{this};
    if (m_state.load() != 1) {
        setError(error, kMethod, "this call only works at identify mode!", logbit::portClose);
        result = 6;
        return nullptr;
    }
    if (m_port == nullptr) {
        setError(error, kMethod, "null interface port!", logbit::internal);
        result = 4;
        return nullptr;
    }
    if (m_receiver == nullptr) {
        setError(error, kMethod, "null data receiver pointer!", logbit::error);
        result = 4;
        return nullptr;
    }
    SDK_LOG(logbit::trace, kMethod, "write to the interface port now.");
    {
        // A reply is taken only by the call that is waiting for it: forget
        // whatever an earlier call left behind before this one writes.
        CScopedLock lock(m_replyLock.get());
        delete m_syncReply;
        m_syncReply = nullptr;
        ResetEvent(m_syncReplyEvent);
        m_syncWaiting = true;
    }
    m_receiver->sendDataForHandShaking();
    unsigned int written = 0;
    const int writeResult = writeMessage(message, &written);
    if (writeResult != 0) {
        delete endSyncWait();
        setError(error, kMethod,
                 "write to the interface port failed! Error Code is: " + intToString(writeResult)
                     + " Error Description is: " + wstringToString(getSystemErrorString(writeResult)),
                 logbit::error);
        result = 5;
        return nullptr;
    }
    if (written != message.size()) {
        delete endSyncWait();
        setError(error, kMethod,
                 "not fully write to the interface port! Sent data length is: "
                     + intToString(static_cast<int>(message.size()))
                     + " Actually write length is: " + intToString(static_cast<int>(written)),
                 logbit::error);
        result = 5;
        return nullptr;
    }

    for (;;) {
        const DWORD elapsed = platform::tickElapsed(start, GetTickCount());
        const DWORD left = timeout == INFINITE ? INFINITE : (elapsed >= timeout ? 0 : timeout - elapsed);
        const DWORD wait = WaitForSingleObject(m_syncReplyEvent, left);
        if (wait == WAIT_OBJECT_0) {
            CScopedLock lock(m_replyLock.get());
            if (m_syncReply == nullptr) {
                continue;  // woken without a reply: wait out the time left
            }
            CData* reply = m_syncReply;
            m_syncReply = nullptr;
            m_syncWaiting = false;
            result = 0;
            return reply;
        }
        CData* reply = endSyncWait();
        if (reply != nullptr) {
            // Stored just as the time ran out: still the answer to this call.
            result = 0;
            return reply;
        }
        if (wait == WAIT_TIMEOUT) {
            setError(error, kMethod, "sendMsgSync wait until timeout!", logbit::error);
            result = 2;
        } else {
            setError(error, kMethod, "sendMsgSync wait unknown error!", logbit::error);
            result = 5;
        }
        return nullptr;
    }
}

int CDataProcessor::sendMsgAsync(std::string message, std::string& error)
{
    static const char* const kMethod = "CDataProcessor::sendMsgAsync";
    if (m_port == nullptr) {
        setError(error, kMethod, "null interface port!", logbit::error);
        return 4;
    }
    if (m_receiver == nullptr) {
        setError(error, kMethod, "null data receiver pointer!", logbit::error);
        return 4;
    }
    m_receiver->sendDataForHandShaking();
    SDK_LOG(logbit::trace, kMethod, "write to the interface port now.");
    unsigned int written = 0;
    int result = 0;
    if (writeMessage(message, &written) != 0) {
        setError(error, kMethod, "write to the interface port failed!", logbit::error);
        result = 5;
    }
    if (written != message.size()) {
        setError(error, kMethod,
                 "not fully write to the interface port!, expected length:"
                     + intToString(static_cast<int>(message.size()))
                     + ", actual length:" + intToString(static_cast<int>(written)),
                 logbit::error);
        result = 5;
    }
    return result;
}

void CDataProcessor::waitSwitchDone()
{
    while (WaitForSingleObject(m_switchDoneEvent, kThreadWaitStep) == WAIT_TIMEOUT) {
        SDK_LOG(logbit::retry, "CDataProcessor::switchProcessorState",
                "wait for state switch timeout for 10s, continue waitting...");
    }
}

int CDataProcessor::switchProcessorState(int newState, bool changeHeader, bool headerOn, std::string& error,
                                         DWORD timeout)
{
    static const char* const kMethod = "CDataProcessor::switchProcessorState";
    newState = newState != 0 ? 1 : 0;
    if (newState == m_state.load()) {
        SDK_LOG(logbit::trace, kMethod, "no need to change and exit now.");
        return 0;
    }
    // A synchronous exchange under way would lose its reply to the other
    // state's job, and the decode-header exchanges below share its slot.
    if (!enterExchange(timeout)) {
        setError(error, kMethod, "wait for another operation timeout!", logbit::error);
        return 4;
    }
    const ExchangeTurn turn{this};
    if (newState == m_state.load()) {
        SDK_LOG(logbit::trace, kMethod, "no need to change and exit now.");
        return 0;
    }
    if (m_parser != nullptr && m_parser->isIdentifying()) {
        setError(error, kMethod, "busy with identifying data now!", logbit::error);
        return 4;
    }
    if (newState == 0 && changeHeader) {
        changeDecHdr(headerOn, error, timeout);
    }
    const int oldState = m_state.load();
    m_state.store(newState);
    SetEvent(m_switchEvent);
    waitSwitchDone();
    if (newState != 1 || !changeHeader) {
        return 0;
    }
    if (changeDecHdr(headerOn, error, timeout)) {
        return 0;
    }
    m_state.store(oldState);
    SetEvent(m_switchEvent);
    waitSwitchDone();
    setError(error, kMethod, "can't turn on dechdr! restore state!", logbit::error);
    return 4;
}

int CDataProcessor::flushLocalBuff(std::string& error)
{
    static const char* const kMethod = "CDataProcessor::flushLocalBuff";
    if (m_parser == nullptr) {
        setError(error, kMethod, "null data parser pointer!", logbit::internal);
        return 4;
    }
    if (m_port == nullptr) {
        setError(error, kMethod, "null interface pointer!", logbit::internal);
        return 4;
    }
    m_hold.store(true);
    if (m_busy.load()) {
        long budget = kFlushBusyBudgetMs;
        bool failed = false;
        while (m_busy.load()) {
            if (budget <= 0) {
                failed = true;
                break;
            }
            Sleep(kFlushPollMs);
            budget -= kFlushPollMs;
        }
        if (failed || budget <= 0) {
            setError(error, kMethod, "wait for identifying until timeout!", logbit::error);
            m_hold.store(false);
            return 2;
        }
    }
    SDK_LOG(logbit::trace, kMethod, "flush to interface port now.");
    if (m_port->flush() != 0) {
        setError(error, kMethod, "flush to interface port failed!", logbit::error);
        m_hold.store(false);
        return 5;
    }
    m_parser->clearLocalBuf();
    m_hold.store(false);
    return 0;
}

int CDataProcessor::getDecHdr(std::string& error, DWORD timeout)
{
    static const char* const kMethod = "CDataProcessor::getDecHdr";
    int status = 0;
    CData* reply = sendMsgSync(&status, std::string(kSyncCommandPrefix) + "DECHDR?!", timeout, error);
    if (reply == nullptr) {
        setError(error, kMethod, "can't query the dechdr setting! no response get!", logbit::retry);
        return 0;
    }
    auto* menu = dynamic_cast<CMenuData*>(reply);
    int value = 0;
    if (reply->getType() != CData::kMenuResponse) {
        setError(error, kMethod, "can't query the dechdr setting! the response is not one menu data!", logbit::retry);
    } else if (menu == nullptr) {
        setError(error, kMethod, "can't query the dechdr setting! convert to menu data failed!", logbit::retry);
    } else if (menu->response != 0) {
        setError(error, kMethod, "can't query the dechdr setting! the response is not ACK!", logbit::retry);
    } else {
        value = menu->tagData;
    }
    delete reply;
    return value;
}

bool CDataProcessor::changeDecHdr(bool on, std::string& error, DWORD timeout)
{
    static const char* const kMethod = "CDataProcessor::changeDecHdr";
    SDK_LOG(logbit::trace, kMethod, on ? "start to turn on dechdr now!" : "start to turn off dechdr now!");
    int status = 0;
    CData* reply = sendMsgSync(&status, std::string(kSyncCommandPrefix) + (on ? "DECHDR1!" : "DECHDR0!"), timeout,
                               error);
    if (reply == nullptr) {
        return false;
    }
    auto* menu = dynamic_cast<CMenuData*>(reply);
    bool ok = false;
    if (reply->getType() != CData::kMenuResponse) {
        setError(error, kMethod, "can't set the dechdr setting! the response is not menu data!", logbit::error);
    } else if (menu == nullptr) {
        setError(error, kMethod, "can't set the dechdr setting! convert to menu data failed!", logbit::error);
    } else if (menu->response != 0) {
        setError(error, kMethod, "can't set the dechdr setting! menu response is not ACK!", logbit::error);
    } else {
        ok = true;
    }
    delete reply;
    return ok;
}

void CDataProcessor::injectData(CData* record)
{
    if (m_receiver == nullptr) {
        delete record;
        return;
    }
    m_receiver->pushQTail(record);
    m_receiver->signalSemaphore();
}

int CDataProcessor::setPattern(std::vector<std::string> patterns, std::string& error)
{
    if (m_parser == nullptr) {
        setError(error, "CDataProcessor::setPattern", "data parser pointer is null!", logbit::error);
        return 4;
    }
    for (const std::string& pattern : patterns) {
        if (pattern.empty()) {
            setError(error, "CDataProcessor::setPattern", "invalid pattern parameter, it has empty value.",
                     logbit::error);
            return 1;
        }
    }
    if (!m_parser->setPattern(patterns)) {
        setError(error, "CDataProcessor::setPattern", "busy to set the pattern!", logbit::error);
        return 4;
    }
    return 0;
}

void CDataProcessor::getLocalBuff(std::string& out)
{
    if (m_parser == nullptr) {
        return;
    }
    std::string unparsed;
    m_parser->copyUnparsed(unparsed);
    out.insert(0, unparsed);
}
