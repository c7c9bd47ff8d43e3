#include "CDataParser.h"

#include "CDataHandler.h"
#include "CDataProcessor.h"
#include "CMenuData.h"
#include "SynPacketHeader.h"

#include "base/CScanningSDK.h"
#include "base/CScopedLock.h"
#include "base/MenuPatterns.h"

#include <algorithm>
#include <cstring>
#include <stdexcept>
#include <thread>

namespace {

std::string toText(std::size_t value)
{
    return std::to_string(value);
}

}  // namespace

CDataParser::CDataParser(CReceiver* receiver)
    : m_receiver(receiver)
    , m_patterns(defaultMenuPatterns())
{
    if (m_receiver == nullptr) {
        SDK_LOG(logbit::error, "CDataParser::CDataParser", "null data receiver object!");
    }
    m_buffer.reserve(kBufferReserve);
}

CDataParser::~CDataParser() = default;

void CDataParser::setCallback(void* user, DataCallback callback)
{
    CScopedLock lock(m_callbackLock.get());
    // A delivery that reads either new pointer also sees the odd count
    // stored before it (the pointers are released after it), and retries.
    const unsigned sequence = m_callbackSequence.load(std::memory_order_relaxed);
    m_callbackSequence.store(sequence + 1, std::memory_order_relaxed);
    m_user.store(user, std::memory_order_release);
    m_callback.store(callback, std::memory_order_release);
    m_callbackSequence.store(sequence + 2, std::memory_order_release);
}

bool CDataParser::setPattern(const std::vector<std::string>& patterns)
{
    // An empty entry matches at every position: one pass would cut
    // zero-length replies for ever.
    for (const std::string& pattern : patterns) {
        if (pattern.empty()) {
            SDK_LOG(logbit::error, "CDataParser::setPattern", "invalid pattern parameter, it has empty value.");
            return false;
        }
    }
    if (!m_patternLock.tryEnter()) {
        return false;
    }
    m_patterns = patterns;
    m_patternsVersion.fetch_add(1, std::memory_order_release);
    m_patternLock.leave();
    return true;
}

void CDataParser::deliver(CData* record)
{
    void* user = nullptr;
    DataCallback callback = nullptr;
    for (;;) {
        const unsigned sequence = m_callbackSequence.load(std::memory_order_acquire);
        user = m_user.load(std::memory_order_acquire);
        callback = m_callback.load(std::memory_order_acquire);
        if ((sequence & 1U) == 0 && m_callbackSequence.load(std::memory_order_relaxed) == sequence) {
            break;
        }
        std::this_thread::yield();  // a swap is under way: read the new pair
    }
    if (callback == nullptr) {
        SDK_LOG(logbit::error, "CDataParser::deliver", "null call back pointer!");
        delete record;
        return;
    }
    callback(user, record);
}

void CDataParser::clearLocalBuf()
{
    CScopedLock lock(m_bufferLock.get());
    m_buffer.clear();
    m_identifying.store(false);
    m_markLocation = -1;
    m_finishLocation = -1;
    m_pendingLength = 0;
    m_resynchronising = false;
}

void CDataParser::copyUnparsed(std::string& out)
{
    CScopedLock lock(m_bufferLock.get());
    const std::size_t from = m_finishLocation < 0 ? 0 : static_cast<std::size_t>(m_finishLocation);
    if (from < m_buffer.size()) {
        out.append(reinterpret_cast<const char*>(m_buffer.data()) + from, m_buffer.size() - from);
    }
}

int CDataParser::getMarkLocation()
{
    CScopedLock lock(m_bufferLock.get());
    return m_markLocation;
}

int CDataParser::getFinishLocation()
{
    CScopedLock lock(m_bufferLock.get());
    return m_finishLocation;
}

std::size_t CDataParser::getBufferLength()
{
    CScopedLock lock(m_bufferLock.get());
    return m_buffer.size();
}

bool CDataParser::fillInLocalBuf()
{
    if (m_receiver == nullptr) {
        SDK_LOG(logbit::error, "CDataParser::fillInLocalBuf", "null data receiver!");
        return false;
    }
    CData* record = nullptr;
    try {
        record = m_receiver->getQHead();
    } catch (...) {
        SDK_LOG(logbit::error, "CDataParser::fillInLocalBuf", "getQHead exception exit now.");
        return false;
    }
    if (record == nullptr) {
        SDK_LOG(logbit::error, "CDataParser::fillInLocalBuf", "null data pointer exit now.");
        return false;
    }
    if (record->getData() != nullptr) {
        m_buffer.insert(m_buffer.end(), record->getData(), record->getData() + record->getLength());
    }
    delete record;
    return true;
}

std::uint32_t CDataParser::announcedLength(std::size_t pos) const
{
    if (pos >= m_buffer.size() || m_buffer.size() - pos < 6) {
        throw std::out_of_range("packet header past the end of the buffer");
    }
    return synpacket::announcedLength(m_buffer.data() + pos);
}

void CDataParser::parseData(CDataProcessor* processor)
{
    CScopedLock lock(m_bufferLock.get());
    // The trace lines written for every item and every skipped byte look at
    // the trace bit as it is when the pass begins (a pass is one chunk).
    m_tracing = CScanningSDK::getLogger()->isEnabled(logbit::trace);
    if (!fillInLocalBuf()) {
        SDK_LOG(logbit::error, "CDataParser::parseData", "fillInLocalBuf failed and exit now!");
        return;
    }
    takePatternSummary();
    const std::size_t size = m_buffer.size();
    std::size_t pos = m_markLocation < 0 ? 0 : static_cast<std::size_t>(m_markLocation);
    try {
        if (m_identifying.load()) {
            // The packet an earlier pass began: its length is known unless
            // its header ended that pass.
            const std::uint32_t length = m_pendingLength != 0 ? m_pendingLength : announcedLength(pos);
            if (!identifySynFeData(pos, size, length)) {
                SDK_LOG(logbit::trace, "CDataParser::parseData", "can't identify the HTAG end.");
                return;
            }
        }
        bool partial = false;
        bool found = false;
        while (pos < size) {
            if (m_buffer[pos] == synpacket::kSyn) {
                if (size - pos < kHeaderLength) {
                    m_markLocation = static_cast<int>(pos);
                    return;
                }
                const bool header = synpacket::isHeader(m_buffer.data() + pos);
                // The whole header is in the buffer (checked above).
                if (const std::uint32_t announced = header ? synpacket::announcedLength(m_buffer.data() + pos) : 0;
                    header && announced <= kSizeGuard) {
                    m_resynchronising = false;
                    // Marks the packet as half received only when it is
                    // (the flag is set or cleared once per packet).
                    found = identifySynFeData(pos, size, announced);
                    if (!found) {
                        SDK_LOG(logbit::trace, "CDataParser::parseData", "can't identify the HTAG end.");
                        return;
                    }
                }
            } else if (!m_resynchronising
                       && (m_tracing || size - pos < m_longestPattern || m_patternStarts[m_buffer[pos]])) {
                found = identifyMenuResponse(pos, size, processor, partial);
            }
            if (m_resynchronising && !found) {
                // Part of the broken packet: dropped, not kept for a reply.
                ++pos;
                m_finishLocation = static_cast<int>(pos);
                m_markLocation = static_cast<int>(pos);
                continue;
            }
            if (!partial) {
                if (m_tracing) {
                    SDK_LOG(logbit::trace, "CDataParser::parseData",
                            "move mark location to " + std::to_string(m_markLocation));
                }
                m_markLocation = static_cast<int>(pos);
            }
            if (found) {
                found = false;
                continue;
            }
            if (m_tracing) {
                SDK_LOG(logbit::trace, "CDataParser::parseData",
                        "can't identify for menu response, then move index now!");
            }
            ++pos;
        }
        cleanUpLocalBuf(size);
    } catch (const std::out_of_range& failure) {
        SDK_LOG(logbit::error, "CDataParser::parseData",
                "out of range at" + toText(pos) + " with error " + failure.what());
        cleanUpLocalBuf(size);
    } catch (...) {
        SDK_LOG(logbit::error, "CDataParser::parseData", "unknown error!");
        cleanUpLocalBuf(size);
    }
}

bool CDataParser::identifySynFeData(std::size_t& pos, std::size_t size, std::uint32_t length)
{
    if (m_tracing && m_pendingLength == 0) {
        SDK_LOG(logbit::trace, "CDataParser::identifySynFeData",
                "syn fe data length is " + std::to_string(length) + " current is "
                    + std::to_string(static_cast<long long>(size) - 7 - static_cast<long long>(pos)));
    }
    std::uint32_t recordLength = 0;
    const RecordLength check = checkRecordLength(pos, size, length, recordLength);
    if (check == RecordLength::disagrees) {
        SDK_LOG(logbit::error, "CDataParser::identifySynFeData",
                "barcode packet dropped: it announces " + std::to_string(length) + " bytes for a record of "
                    + std::to_string(recordLength) + ", looking for the next header.");
        if (m_identifying.load(std::memory_order_relaxed)) {
            m_identifying.store(false);
        }
        m_pendingLength = 0;
        m_resynchronising = true;
        pos = pos + 1;
        m_finishLocation = static_cast<int>(pos);
        m_markLocation = static_cast<int>(pos);
        return true;
    }
    if (check == RecordLength::notYetKnown || size - pos < kHeaderLength || size - pos - kHeaderLength < length) {
        m_pendingLength = length;
        m_markLocation = static_cast<int>(pos);
        if (!m_identifying.load(std::memory_order_relaxed)) {
            m_identifying.store(true);
        }
        SDK_LOG(logbit::trace, "CDataParser::identifySynFeData", "can't get whole data exit now.");
        return false;
    }
    // The packet is whole: no longer half received, even for a callback
    // (or a thread it wakes) that asks at once.
    if (m_identifying.load(std::memory_order_relaxed)) {
        m_identifying.store(false);
    }
    // An empty payload is consumed without a record.
    if (length > 0) {
        CDataHandler handler;
        CData* record = handler.identifyData(m_buffer, pos + kHeaderLength, length);
        if (record == nullptr) {
            SDK_LOG(logbit::error, "CDataParser::identifySynFeData", "can't identify the data!");
        } else {
            deliver(record);
        }
    }
    pos = pos + kHeaderLength + length;
    m_finishLocation = static_cast<int>(pos);
    m_markLocation = static_cast<int>(pos);
    m_pendingLength = 0;
    return true;
}

CDataParser::RecordLength CDataParser::checkRecordLength(std::size_t pos, std::size_t size, std::uint32_t length,
                                                         std::uint32_t& recordLength) const
{
    constexpr std::size_t kRecordStart = CDataHandler::kPrefixLength + CDataHandler::kBarcodeHeaderSkip;
    // A payload too short to hold the record's length is left to the data
    // handler, which makes nothing of a short barcode.
    if (length < kRecordStart || size - pos < kHeaderLength) {
        return RecordLength::fits;
    }
    const std::size_t payload = pos + kHeaderLength;
    const std::size_t available = size - payload;
    if (!CDataHandler::mayBeBarcode(m_buffer.data() + payload, std::min(available, CDataHandler::kPrefixLength))) {
        return RecordLength::fits;
    }
    if (available < kRecordStart) {
        return RecordLength::notYetKnown;
    }
    recordLength = synpacket::littleEndian32(m_buffer.data() + payload + CDataHandler::kPrefixLength);
    return static_cast<std::uint64_t>(recordLength) + kRecordStart == length ? RecordLength::fits
                                                                              : RecordLength::disagrees;
}

bool CDataParser::identifyMenuResponse(std::size_t& pos, std::size_t size, CDataProcessor* processor, bool& partial)
{
    std::size_t matchLength = 0;
    if (!checkPatternMatch(pos, size, matchLength, partial)) {
        return false;
    }
    const std::size_t end = pos + matchLength;
    pos = end;
    const std::size_t start = m_finishLocation < 0 ? 0 : static_cast<std::size_t>(m_finishLocation);
    SDK_LOG(logbit::trace, "CDataParser::identifyMenuResponse", "The pattern match in the local buff.");

    auto* reply = new CMenuData(m_buffer.data() + start, static_cast<DWORD>(end - start));
    if (!reply->parse()) {
        SDK_LOG(logbit::error, "CDataParser::identifyMenuResponse",
                "can't fill in the attributes for this menu response!");
    }
    if (processor == nullptr || !processor->offerSyncReply(reply)) {
        deliver(reply);
    }
    m_finishLocation = static_cast<int>(end);
    m_markLocation = static_cast<int>(end);
    return true;
}

bool CDataParser::checkPatternMatch(std::size_t pos, std::size_t size, std::size_t& matchLength, bool& partial)
{
    CScopedLock lock(m_patternLock.get());
    const bool tracing = m_tracing;
    const unsigned char* here = m_buffer.data() + pos;
    for (const std::string& pattern : m_patterns) {
        if (pattern.size() > size - pos) {
            partial = true;
            continue;
        }
        // Most positions differ at the first byte: no library call for them.
        if (pattern.empty()
            || (static_cast<unsigned char>(pattern[0]) == here[0]
                && std::memcmp(pattern.data(), here, pattern.size()) == 0)) {
            matchLength = pattern.size();
            partial = false;
            if (tracing) {
                CScanningSDK::getLogger()->log("CDataParser::checkPatternMatch, Found match string " + pattern,
                                               logbit::trace);
            }
            return true;
        }
        if (tracing) {
            CScanningSDK::getLogger()->log(
                "CDataParser::checkPatternMatch, Not match string "
                    + std::string(reinterpret_cast<const char*>(m_buffer.data()) + pos, pattern.size()),
                logbit::trace);
        }
    }
    return false;
}

void CDataParser::takePatternSummary()
{
    if (m_patternsVersion.load(std::memory_order_acquire) == m_summaryVersion) {
        return;
    }
    CScopedLock lock(m_patternLock.get());
    m_summaryVersion = m_patternsVersion.load(std::memory_order_relaxed);
    m_patternStarts.reset();
    m_longestPattern = 0;
    for (const std::string& pattern : m_patterns) {
        if (pattern.empty()) {
            m_patternStarts.set();  // matches anywhere
            continue;
        }
        m_patternStarts.set(static_cast<unsigned char>(pattern[0]));
        m_longestPattern = std::max(m_longestPattern, pattern.size());
    }
}

void CDataParser::cleanUpLocalBuf(std::size_t size)
{
    try {
        if (size <= kCompactThreshold) {
            SDK_LOG(logbit::trace, "CDataParser::cleanUpLocalBuf", "no need to clean up local buff");
            return;
        }
        if (m_finishLocation != -1) {
            const std::size_t finish = static_cast<std::size_t>(m_finishLocation);
            if (finish >= m_buffer.size()) {
                m_buffer.clear();
            } else {
                m_buffer.erase(m_buffer.begin(), m_buffer.begin() + static_cast<std::ptrdiff_t>(finish));
                SDK_LOG(logbit::trace, "CDataParser::cleanUpLocalBuf",
                        "in cleanUpLocalBuf of data parser, finishLocation is " + std::to_string(finish)
                            + " current buf size is " + std::to_string(m_buffer.size()));
            }
            m_markLocation = -1;
            m_finishLocation = -1;
            return;
        }
        if (size > kSizeGuard) {
            SDK_LOG(logbit::retry, "CDataParser::cleanUpLocalBuf", "buf size bigger than 10000K!");
            auto* record = new CData(m_buffer.data(), static_cast<DWORD>(m_buffer.size()));
            record->setType(CData::kMenuResponse);
            m_buffer.clear();
            m_identifying.store(false);
            m_markLocation = -1;
            m_finishLocation = -1;
            m_pendingLength = 0;
            deliver(record);
        }
    } catch (...) {
        SDK_LOG(logbit::error, "CDataParser::cleanUpLocalBuf", "unknown error!");
        m_markLocation = -1;
        m_finishLocation = -1;
    }
}

void CDataParser::parseRaw()
{
    if (m_receiver == nullptr) {
        SDK_LOG(logbit::error, "CDataParser::parseRaw", "null data receiver!");
        return;
    }
    CData* record = nullptr;
    try {
        record = m_receiver->getQHead();
    } catch (...) {
        SDK_LOG(logbit::error, "CDataParser::parseRaw", "getQHead exception exit now!");
        return;
    }
    if (record == nullptr) {
        SDK_LOG(logbit::error, "CDataParser::parseRaw", "null data pointer!");
        return;
    }
    deliver(record);
}
