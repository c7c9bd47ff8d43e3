#include "CDataParser.h"

#include "CDataHandler.h"
#include "CDataProcessor.h"
#include "CMenuData.h"

#include "base/CScanningSDK.h"
#include "base/CScopedLock.h"
#include "base/MenuPatterns.h"

#include <cstring>
#include <stdexcept>

namespace {
constexpr unsigned char kSyn = 0x16;
constexpr unsigned char kCr = 0x0D;

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
    m_user = user;
    m_callback = callback;
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
    m_patternLock.leave();
    return true;
}

void CDataParser::deliver(CData* record)
{
    void* user = nullptr;
    DataCallback callback = nullptr;
    {
        CScopedLock lock(m_callbackLock.get());
        user = m_user;
        callback = m_callback;
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
    return static_cast<std::uint32_t>(m_buffer.at(pos + 2)) | (static_cast<std::uint32_t>(m_buffer.at(pos + 3)) << 8)
        | (static_cast<std::uint32_t>(m_buffer.at(pos + 4)) << 16)
        | (static_cast<std::uint32_t>(m_buffer.at(pos + 5)) << 24);
}

void CDataParser::parseData(CDataProcessor* processor)
{
    CScopedLock lock(m_bufferLock.get());
    if (!fillInLocalBuf()) {
        SDK_LOG(logbit::error, "CDataParser::parseData", "fillInLocalBuf failed and exit now!");
        return;
    }
    const std::size_t size = m_buffer.size();
    std::size_t pos = m_markLocation < 0 ? 0 : static_cast<std::size_t>(m_markLocation);
    try {
        if (m_identifying.load()) {
            if (!identifySynFeData(pos, size)) {
                SDK_LOG(logbit::trace, "CDataParser::parseData", "can't identify the HTAG end.");
                return;
            }
            m_identifying.store(false);
        }
        bool partial = false;
        bool found = false;
        while (pos < size) {
            if (m_buffer[pos] == kSyn) {
                if (size - pos < kHeaderLength) {
                    m_markLocation = static_cast<int>(pos);
                    return;
                }
                const unsigned char second = m_buffer[pos + 1];
                if ((second == 0xFE || second == 0x7E) && m_buffer[pos + 6] == kCr
                    && announcedLength(pos) <= kSizeGuard) {
                    m_identifying.store(true);
                    found = identifySynFeData(pos, size);
                    if (!found) {
                        SDK_LOG(logbit::trace, "CDataParser::parseData", "can't identify the HTAG end.");
                        return;
                    }
                    m_identifying.store(false);
                }
            } else {
                found = identifyMenuResponse(pos, size, processor, partial);
            }
            if (!partial) {
                SDK_LOG(logbit::trace, "CDataParser::parseData", "move mark location to " + std::to_string(m_markLocation));
                m_markLocation = static_cast<int>(pos);
            }
            if (found) {
                found = false;
                continue;
            }
            SDK_LOG(logbit::trace, "CDataParser::parseData", "can't identify for menu response, then move index now!");
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

bool CDataParser::identifySynFeData(std::size_t& pos, std::size_t size)
{
    if (m_pendingLength == 0) {
        m_pendingLength = announcedLength(pos);
        SDK_LOG(logbit::trace, "CDataParser::identifySynFeData",
                "syn fe data length is " + std::to_string(m_pendingLength) + " current is "
                    + std::to_string(static_cast<long long>(size) - 7 - static_cast<long long>(pos)));
    }
    const std::size_t length = m_pendingLength;
    if (size - pos < kHeaderLength || size - pos - kHeaderLength < length) {
        m_markLocation = static_cast<int>(pos);
        SDK_LOG(logbit::trace, "CDataParser::identifySynFeData", "can't get whole data exit now.");
        return false;
    }
    // The packet is whole: no longer half received, even for a callback
    // (or a thread it wakes) that asks at once.
    m_identifying.store(false);
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

    auto* reply = new CMenuData(static_cast<DWORD>(end - start));
    reply->fillData(m_buffer.data() + start, static_cast<DWORD>(end - start), 0);
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
    const bool tracing = CScanningSDK::getLogger()->isEnabled(logbit::trace);
    for (const std::string& pattern : m_patterns) {
        if (pattern.size() > size - pos) {
            partial = true;
            continue;
        }
        if (std::memcmp(pattern.data(), m_buffer.data() + pos, pattern.size()) == 0) {
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
            auto* record = new CData(static_cast<DWORD>(m_buffer.size()));
            record->fillData(m_buffer.data(), static_cast<DWORD>(m_buffer.size()), 0);
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
