// Turns the chunks a connection's receiver queues into records for the data
// callback. Identify mode (parseData) appends each chunk to a local buffer
// and scans it for SYN-framed packets and for menu responses; raw mode
// (parseRaw) hands each chunk on unchanged.
//
// SYN-framed packet (device to host):
//     0x16, 0xFE or 0x7E, payload length (4 bytes, little-endian), 0x0D,
//     then the payload; no trailer.
// A header announcing more than kSizeGuard bytes is not a packet: its SYN is
// an unrecognised byte. A barcode payload ("MSGGET", its record's length in
// 4 bytes, little-endian, then the record) must be announced as that length
// plus 10: a packet whose lengths disagree is dropped, with every byte up to
// the next packet header, since neither length can be trusted. A menu response is the run of bytes from the end of
// the last recognised item up to and including one of the patterns (the
// nine status/storage endings unless setPattern gave others).
//
// Threads: parseData and parseRaw run on the processing thread, one pass at
// a time, and call the data callback there. setCallback, setPattern,
// clearLocalBuf, copyUnparsed and isIdentifying may be called from any
// thread: the callback pair is swapped as one (each delivery reads the pair
// that is current then, never half of a swap), the pattern list is replaced
// only when its lock is free at once, and the local buffer is guarded by a
// lock that each pass holds for its whole length.
#pragma once

#include "CDataReceiver.h"

#include "base/CCriticalSectionHolder.h"
#include "base/CData.h"

#include <atomic>
#include <bitset>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

class CDataProcessor;

// The data callback: (user pointer, record). The callback owns the record.
using DataCallback = void (*)(void* user, CData* record);

class CDataParser {
public:
    static constexpr std::size_t kHeaderLength = 7;
    static constexpr std::size_t kBufferReserve = 102400;
    static constexpr std::size_t kCompactThreshold = kBufferReserve / 2;
    static constexpr std::size_t kSizeGuard = kBufferReserve * 100;

    // The receiver is not owned; a null one is logged and every pass fails.
    explicit CDataParser(CReceiver* receiver);
    ~CDataParser();

    CDataParser(const CDataParser&) = delete;
    CDataParser& operator=(const CDataParser&) = delete;

    void setCallback(void* user, DataCallback callback);
    // Replaces the whole pattern list; false, changing nothing, when an
    // entry is empty or a pass is comparing patterns right now.
    bool setPattern(const std::vector<std::string>& patterns);

    // One identify-mode pass over the next queued chunk. A menu response is
    // offered to `processor` (a waiting sendMsgSync) first, when given.
    void parseData(CDataProcessor* processor);
    // One raw-mode pass: the next queued chunk goes to the callback as it is.
    void parseRaw();

    // Drops every buffered byte and any half-received packet.
    void clearLocalBuf();
    bool isIdentifying() const { return m_identifying.load(); }
    // Appends the bytes not yet taken up by a recognised packet or response.
    void copyUnparsed(std::string& out);

    // For tests and diagnostics: positions in the local buffer (-1 = none).
    int getMarkLocation();
    int getFinishLocation();
    std::size_t getBufferLength();

private:
    bool fillInLocalBuf();
    // Takes the packet at `pos` whose header announces `length` bytes, or
    // keeps it as half received (m_pendingLength) until more bytes come.
    // A broken barcode packet (see above) ends there too: `pos` moves past
    // its SYN and the pass skips to the next header.
    bool identifySynFeData(std::size_t& pos, std::size_t size, std::uint32_t length);
    enum class RecordLength { fits, notYetKnown, disagrees };
    RecordLength checkRecordLength(std::size_t pos, std::size_t size, std::uint32_t length,
                                   std::uint32_t& recordLength) const;
    bool identifyMenuResponse(std::size_t& pos, std::size_t size, CDataProcessor* processor, bool& partial);
    bool checkPatternMatch(std::size_t pos, std::size_t size, std::size_t& matchLength, bool& partial);
    void takePatternSummary();
    void cleanUpLocalBuf(std::size_t size);
    void deliver(CData* record);
    std::uint32_t announcedLength(std::size_t pos) const;

    std::atomic<bool> m_identifying{false};
    bool m_tracing = false;  // the trace bit, as the current pass began
    std::uint32_t m_pendingLength = 0;
    // A broken packet was dropped: bytes are skipped, and dropped with it,
    // until the next packet header.
    bool m_resynchronising = false;
    std::vector<unsigned char> m_buffer;
    int m_markLocation = -1;
    int m_finishLocation = -1;
    CReceiver* m_receiver;
    // The callback pair under a sequence count: setCallback makes it odd,
    // stores the pair and makes it even again; a delivery reads the pair
    // between two equal even readings, so it takes no lock per record.
    std::atomic<unsigned> m_callbackSequence{0};
    std::atomic<void*> m_user{nullptr};
    std::atomic<DataCallback> m_callback{nullptr};
    std::vector<std::string> m_patterns;
    // The pattern list in brief: the bytes a pattern starts with and the
    // longest pattern's length. A position that starts no pattern and lies
    // far enough from the end can neither match nor be partial, so the pass
    // goes on without the lock. Taken under the pattern lock when a pass
    // begins after setPattern replaced the list (m_patternsVersion counts
    // the replacements; m_summaryVersion is the one the summary was taken
    // from), not on every pass.
    std::bitset<256> m_patternStarts;
    std::size_t m_longestPattern = 0;
    std::atomic<unsigned> m_patternsVersion{1};
    unsigned m_summaryVersion = 0;
    CCriticalSectionHolder m_patternLock;
    CCriticalSectionHolder m_callbackLock;  // one swap at a time
    CCriticalSectionHolder m_bufferLock;
};
