#include "CPingReplyFinder.h"

#include "SynPacketHeader.h"

#include <algorithm>

CPingReplyFinder::CPingReplyFinder(std::size_t answerLength, bool (*accepts)(const unsigned char* answer))
    : m_answerLength(answerLength)
    , m_accepts(accepts)
{
}

bool CPingReplyFinder::take(const unsigned char* bytes, std::size_t count)
{
    if (m_found || count == 0) {
        return m_found;
    }
    m_held.insert(m_held.end(), bytes, bytes + count);
    scan(false);
    return m_found;
}

bool CPingReplyFinder::finish()
{
    if (!m_found) {
        scan(true);
    }
    return m_found;
}

void CPingReplyFinder::scan(bool final)
{
    std::size_t at = 0;
    const std::size_t size = m_held.size();
    while (at < size && !m_found) {
        if (m_skip > 0) {
            const std::size_t step = static_cast<std::size_t>(std::min<std::uint64_t>(m_skip, size - at));
            at += step;
            m_skip -= step;
            continue;
        }
        const std::size_t left = size - at;
        if (m_held[at] == synpacket::kSyn) {
            if (left < synpacket::kHeaderLength) {
                if (!final) {
                    break;  // the rest of a header may follow
                }
                ++at;
                continue;
            }
            if (synpacket::isHeader(m_held.data() + at)) {
                m_skip = synpacket::announcedLength(m_held.data() + at);
                at += synpacket::kHeaderLength;
                continue;
            }
            ++at;
            continue;
        }
        if (left < m_answerLength) {
            if (!final) {
                break;  // the rest of an answer may follow
            }
            ++at;
            continue;
        }
        if (m_accepts(m_held.data() + at)) {
            m_found = true;
            break;
        }
        ++at;
    }
    m_held.erase(m_held.begin(), m_held.begin() + static_cast<std::ptrdiff_t>(at));
}
