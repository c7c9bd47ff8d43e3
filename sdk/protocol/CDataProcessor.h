// The per-connection engine between an open port and the caller's data
// callback. It owns the connection's receiver (which reads the port on its
// own thread and announces each queued chunk on a counting semaphore) and
// the stream parser; its processing thread waits on that semaphore and has
// the parser turn each chunk into records for the callback.
//
// Processing states: 0 raw (each chunk goes to the callback unchanged) and 1
// identify (packets and menu responses are parsed; sendMsgSync works only
// here). Any non-zero state given to the constructor or to
// switchProcessorState is read as 1.
//
// Threads: public operations run on the caller's threads; the data callback
// runs on the processing thread and must neither switch this processor's
// state nor destroy it (both wait for that thread). Every write to the port
// (sendMsgSync, sendMsgAsync, the receiver's handshake bytes) holds one
// write lock for the write only, never across the wait for a reply, so two
// frames never interleave on the wire. Synchronous exchanges take turns:
// the processor has one reply slot, so a sendMsgSync (and a state switch,
// with the decode-header exchanges it makes) holds the exchange lock from
// its write to the end of its wait, and a second one waits for it within
// its own time-out.
//
// Ownership: the port is not owned. Records handed to the callback belong to
// the callback; a record returned by sendMsgSync belongs to its caller.
#pragma once

#include "CDataParser.h"
#include "CDataReceiver.h"

#include "base/CCriticalSectionHolder.h"
#include "base/CThread.h"
#include "ports/InterfacePort.h"

#include "platform/types.h"

#include <atomic>
#include <string>
#include <vector>

class CDataProcessor {
public:
    static constexpr LONG kSemaphoreMaximum = 256;
    static constexpr DWORD kThreadWaitStep = 10000;
    static constexpr DWORD kFlushBusyBudgetMs = 10000;
    static constexpr DWORD kFlushPollMs = 25;

    CDataProcessor(InterfacePort* port, int initialState, int ctsSetting, int xonSetting, int ackSetting);
    // Stops reading, lets the processing thread deliver every chunk already
    // queued, then ends it and frees the receiver and the parser.
    virtual ~CDataProcessor();

    CDataProcessor(const CDataProcessor&) = delete;
    CDataProcessor& operator=(const CDataProcessor&) = delete;

    // 1 with a text for a null callback or a missing parser; 0 otherwise.
    int setCallback(void* user, DataCallback callback, std::string& error);

    // Writes `message` and waits up to `timeout` ms for the menu response.
    // Status: 0 reply (returned; the caller deletes it), 2 time-out, 4 no
    // port or no receiver, 5 write or wait failure, 6 not in identify state.
    virtual CData* sendMsgSync(int* status, std::string message, DWORD timeout, std::string& error);
    // Writes `message` without waiting: 0 written, 4 no port or no receiver,
    // 5 write failure or short write.
    virtual int sendMsgAsync(std::string message, std::string& error);

    int getCurrentState() const { return m_state.load(); }
    // 0 switched (or already there), 4 refused: a packet is half received,
    // or the decode header could not be switched on after a switch to
    // identify (the old state is then restored).
    int switchProcessorState(int newState, bool changeHeader, bool headerOn, std::string& error, DWORD timeout);
    // Drops every queued and buffered byte and flushes the port: 0 done, 2
    // the parser stayed busy too long, 4 no parser or port, 5 flush failed.
    int flushLocalBuff(std::string& error);
    // The decode header's setting as the reply's value byte ('1' = 0x31), 0
    // on any failure.
    int getDecHdr(std::string& error, DWORD timeout);
    bool changeDecHdr(bool on, std::string& error, DWORD timeout);
    // Queues `record` as if it had been read from the port; the queue owns
    // it. Nothing (the record is deleted) without a receiver.
    void injectData(CData* record);
    // Replaces the parser's response endings: 0; 1 when an entry is empty;
    // 4 when the parser is busy (or missing).
    int setPattern(std::vector<std::string> patterns, std::string& error);
    // Puts the bytes the parser holds but has not recognised yet at the
    // front of `out`.
    void getLocalBuff(std::string& out);

    // Called by the parser on the processing thread with a complete menu
    // response: takes it (true) only while sendMsgSync waits and no reply is
    // held yet; otherwise the parser hands it to the callback.
    bool offerSyncReply(CData* reply);

    // For tests and diagnostics: true while flushLocalBuff holds parsing off.
    bool isHolding() const { return m_hold.load(); }
    // For tests and diagnostics: bytes read from the port and not yet taken
    // by the processing thread.
    std::size_t queuedBytes() { return m_receiver != nullptr ? m_receiver->queuedBytes() : 0; }

    void startThread();
    void threadRoutine();
    void identifySemaphoreJob();
    void rawSemaphoreJob();

private:
    // Waits for the switch-done event, 10 s at a time, without limit.
    void waitSwitchDone();
    // Takes the write lock for one write of the whole message. Returns the
    // port's result and the written count.
    int writeMessage(const std::string& message, unsigned int* written);
    // Empties the reply slot under the reply lock and clears the waiting
    // flag; returns what the slot held.
    CData* endSyncWait();
    // Takes the exchange lock within `timeout` ms (recursive for its owner);
    // false when another exchange held it all that time.
    bool enterExchange(DWORD timeout);
    void leaveExchange();
    struct ExchangeTurn;

    CDataReceiver* m_receiver = nullptr;
    std::atomic<bool> m_running{false};
    InterfacePort* m_port;
    CData* m_syncReply = nullptr;  // guarded by m_replyLock
    std::atomic<int> m_state;
    CThread m_thread;
    bool m_threadStarted = false;
    HANDLE m_semaphore = nullptr;
    HANDLE m_shutdownEvent = nullptr;
    HANDLE m_switchEvent = nullptr;
    HANDLE m_switchDoneEvent = nullptr;
    HANDLE m_syncReplyEvent = nullptr;
    HANDLE m_exchangeMutex = nullptr;
    bool m_syncWaiting = false;  // guarded by m_replyLock
    CDataParser* m_parser = nullptr;
    std::atomic<bool> m_busy{false};
    std::atomic<bool> m_hold{false};
    CCriticalSectionHolder m_replyLock;
    CCriticalSectionHolder m_writeLock;
};
