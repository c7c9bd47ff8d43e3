#include "MocfParser.h"

#include <cstring>
#include <fstream>
#include <iterator>

std::uint32_t mocfReadLe32(const std::uint8_t* p)
{
    return std::uint32_t(p[0]) | (std::uint32_t(p[1]) << 8) | (std::uint32_t(p[2]) << 16) |
           (std::uint32_t(p[3]) << 24);
}

CTlvContainerParser::CTlvContainerParser(const std::uint8_t* data, std::size_t size) : m_data(data), m_size(size)
{
    if (data == nullptr || size < 8)
        return;
    m_outerTag = mocfReadLe32(data);
    m_outerLength = mocfReadLe32(data + 4);
    if (std::uint64_t(m_outerLength) + 8 > size)
        return;
    std::uint64_t left = m_outerLength;
    std::size_t offset = 8;
    std::size_t position = 1;
    while (left >= 8) {
        MocfRecord record;
        record.tag = mocfReadLe32(data + offset);
        record.length = mocfReadLe32(data + offset + 4);
        if (std::uint64_t(record.length) > left - 8)
            return;  // the value leaves the container
        record.value = data + offset + 8;
        record.position = position++;
        record.offset = offset;
        const std::uint64_t step = 8 + ((std::uint64_t(record.length) + 3) & ~std::uint64_t(3));
        record.step = static_cast<std::size_t>(step);
        m_records.push_back(record);
        if (step >= left) {
            m_endsExactly = step == left;
            left = 0;
            break;
        }
        left -= step;
        offset += static_cast<std::size_t>(step);
    }
    if (left == 0 && m_records.empty())
        m_endsExactly = true;
    m_wellFormed = true;
}

bool CTlvContainerParser::FindRecord(std::uint32_t tag, MocfRecord* record) const
{
    for (const MocfRecord& r : m_records) {
        if (r.tag == tag) {
            if (record)
                *record = r;
            return true;
        }
    }
    return false;
}

int CTlvContainerParser::GetMocfRecord(std::size_t position, MocfRecord* record) const
{
    if (!m_wellFormed)
        return -1;
    if (position == 0) {
        if (record) {
            record->tag = m_outerTag;
            record->length = m_outerLength;
            record->value = m_data + 8;
            record->position = 0;
            record->offset = 0;
        }
        return m_outerLength != 0 ? 0 : -1;
    }
    if (position > m_records.size())
        return -1;
    const MocfRecord& r = m_records[position - 1];
    if (record)
        *record = r;
    return r.length != 0 ? 0 : -1;
}

bool CMocfParser::IsValid()
{
    if (!m_wellFormed || m_outerTag != MOCF_OUTER_TAG)
        return false;
    MocfRecord header;
    if (!FindRecord(MOCF_TAG_HEADER, &header) || header.position != 1 || header.length < 4 ||
        mocfReadLe32(header.value) != 0)
        return false;
    MocfRecord digest;
    if (FindRecord(MOCF_TAG_DIGEST, &digest)) {
        if (digest.position != 2 || digest.length != CSha1::kDigestSize || !m_endsExactly)
            return false;
        m_sha1.Reset();
        m_sha1.Input(m_data, 8);
        for (const MocfRecord& r : m_records)
            if (r.tag != MOCF_TAG_DIGEST)
                m_sha1.Input(m_data + r.offset, r.step);
        std::uint8_t computed[CSha1::kDigestSize];
        if (!m_sha1.Result(computed) || std::memcmp(computed, digest.value, CSha1::kDigestSize) != 0)
            return false;
    }
    MocfRecord compat;
    if (FindRecord(MOCF_TAG_COMPAT, &compat)) {
        if (compat.length < 4)
            return false;
        const std::uint64_t count = mocfReadLe32(compat.value);
        if (4 * count + 4 != compat.length)
            return false;
    }
    return true;
}

bool MocfIsValid(const std::vector<std::uint8_t>& content)
{
    CMocfParser parser(content.data(), content.size());
    return parser.IsValid();
}

int LoadMocfFile(const std::string& path, std::vector<std::uint8_t>& content)
{
    content.clear();
    std::ifstream in(path, std::ios::binary);
    if (!in)
        return -1;
    in.seekg(0, std::ios::end);
    const std::streamoff size = in.tellg();
    // Anything larger than a firmware file could ever be is refused.
    if (size <= 0 || size > std::streamoff(64) * 1024 * 1024)
        return -1;
    in.seekg(0, std::ios::beg);
    content.resize(static_cast<std::size_t>(size));
    in.read(reinterpret_cast<char*>(content.data()), size);
    if (in.gcount() != size) {
        content.clear();
        return -1;
    }
    return MocfIsValid(content) ? 0 : -1;
}
