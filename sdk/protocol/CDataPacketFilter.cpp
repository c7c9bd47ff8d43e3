#include "CDataPacketFilter.h"

#include "SynPacketHeader.h"

#include <algorithm>

void CDataPacketFilter::take(const unsigned char* bytes, std::size_t count, std::string& outside)
{
    m_held.insert(m_held.end(), bytes, bytes + count);
    scan(false, outside);
}

void CDataPacketFilter::finish(std::string& outside)
{
    scan(true, outside);
}

void CDataPacketFilter::scan(bool final, std::string& outside)
{
    std::size_t at = 0;
    const std::size_t size = m_held.size();
    while (at < size) {
        if (m_skip > 0) {
            const std::size_t step = static_cast<std::size_t>(std::min<std::uint64_t>(m_skip, size - at));
            at += step;
            m_skip -= step;
            continue;
        }
        if (m_held[at] == synpacket::kSyn) {
            if (size - at < synpacket::kHeaderLength && !final) {
                break;  // the rest of a header may follow
            }
            if (size - at >= synpacket::kHeaderLength && synpacket::isHeader(m_held.data() + at)) {
                m_skip = synpacket::announcedLength(m_held.data() + at);
                at += synpacket::kHeaderLength;
                continue;
            }
        }
        outside.push_back(static_cast<char>(m_held[at]));
        ++at;
    }
    m_held.erase(m_held.begin(), m_held.begin() + static_cast<std::ptrdiff_t>(at));
}
