// The receive side of a connection: a thread that reads the port without
// pause and queues every read, in order, as a raw CData record (kind 0),
// releasing the connection's data semaphore once per queued record. It knows
// nothing of packets or replies; the processing thread (CDataProcessor)
// takes the records with getQHead.
//
// Threads: the receive thread produces (pushQTail, signalSemaphore, the
// handshake writes); the processing thread consumes (getQHead, getQAt); an
// owner may inject a record from its own thread with pushQTail followed by
// signalSemaphore. The queue is guarded by the receiver's own lock.
#pragma once

#include "base/CData.h"
#include "base/CThread.h"
#include "base/CCriticalSectionHolder.h"
#include "ports/InterfacePort.h"

#include "platform/types.h"

#include <atomic>
#include <cstddef>
#include <deque>

// The abstract receiver: a queue of records that it owns, fed from a port.
class CReceiver {
public:
    virtual ~CReceiver() = default;
    // Removes and returns the oldest record (the caller owns it); null when
    // the queue is empty.
    virtual CData* getQHead() = 0;
    // The record at `index` (0 = oldest), still owned by the queue; null
    // when there is none.
    virtual CData* getQAt(std::size_t index) = 0;
    // Appends a record; the queue owns it from then on.
    virtual void pushQTail(CData* record) = 0;
    virtual void shutdown() = 0;
    virtual void startThread() = 0;
    virtual void threadRoutine() = 0;
};

class CDataReceiver : public CReceiver {
public:
    static constexpr int kReadBufferSize = 4096;
    static constexpr DWORD kShutdownWaitStep = 10000;
    static constexpr unsigned char kXon = 0x11;
    static constexpr unsigned char kAck = 0x06;

    // Keeps the semaphore and the port (neither owned) and starts reading at
    // once. `xonSetting`/`ackSetting` equal to 1 make the receiver send XON
    // and ACK at start and after every burst of data; `ctsSetting` is kept
    // but not used here. `writeLock`, when given, is held around each
    // handshake write, so that those bytes never land inside a frame that
    // another thread is writing to the same port.
    CDataReceiver(HANDLE semaphore, InterfacePort* port, int ctsSetting, int xonSetting, int ackSetting,
                  CRITICAL_SECTION* writeLock = nullptr);
    // Stops the thread, then deletes every record still queued.
    ~CDataReceiver() override;

    CDataReceiver(const CDataReceiver&) = delete;
    CDataReceiver& operator=(const CDataReceiver&) = delete;

    CData* getQHead() override;
    CData* getQAt(std::size_t index) override;
    void pushQTail(CData* record) override;
    // Clears the running flag and waits for the thread to end, without limit,
    // 10 s at a time. A second call does nothing.
    void shutdown() override;
    void startThread() override;
    void threadRoutine() override;

    // XON then ACK, each when its setting is 1; results ignored.
    virtual void sendDataForHandShaking();
    // One release of the data semaphore; a failed release is counted and
    // made up later by the receive loop.
    virtual void signalSemaphore();

    std::size_t queuedCount();
    // The bytes of every queued record, added up.
    std::size_t queuedBytes();

private:
    void writeByte(unsigned char byte);

    InterfacePort* m_port;
    std::deque<CData*> m_queue;
    HANDLE m_semaphore;
    std::atomic<bool> m_running{false};
    CThread m_thread;
    [[maybe_unused]] int m_ctsSetting;  // kept for the owner; the receiver sends no CTS handshake
    int m_xonSetting;
    int m_ackSetting;
    CRITICAL_SECTION* m_writeLock;
    CCriticalSectionHolder m_queueLock;
    std::atomic<int> m_missedReleases{0};
};
