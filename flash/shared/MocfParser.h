// The MOCF firmware container: an outer "MOCF" tag and length, then
// tag-length-value records padded to 4 bytes, optionally protected by a
// SHA-1 digest record. The parsers work on a container in memory and never
// read outside it: every record header and value must lie inside the outer
// length, and the outer length inside the buffer.
#pragma once

#include "sha1/Sha1.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

constexpr std::uint32_t MOCF_OUTER_TAG = 0x46434F4Du;  // "MOCF"
constexpr std::uint32_t MOCF_TAG_HEADER = 0;
constexpr std::uint32_t MOCF_TAG_DIGEST = 1;
constexpr std::uint32_t MOCF_TAG_COMPAT = 2;
constexpr std::uint32_t MOCF_TAG_BOOT = 0x0B000000u;
constexpr std::uint32_t MOCF_TAG_APP = 0x0B000001u;
constexpr std::uint32_t MOCF_KIND_BOTH = 0x0B000002u;

struct MocfRecord {
    std::uint32_t tag = 0;
    std::uint32_t length = 0;
    const std::uint8_t* value = nullptr;
    std::size_t position = 0;  // 1 for the first inner record
    std::size_t offset = 0;    // of the record header in the container
    std::size_t step = 0;      // header, value and padding
};

class CTlvContainerParser {
public:
    // The container is borrowed; it must outlive the parser.
    CTlvContainerParser(const std::uint8_t* data, std::size_t size);
    virtual ~CTlvContainerParser() = default;

    // The first inner record with `tag`, by a walk over all records.
    bool FindRecord(std::uint32_t tag, MocfRecord* record) const;
    // Position 0: the outer tag, the outer length and the inner data.
    // Position n >= 1: the n-th inner record. 0 when it exists and its
    // length is not 0, else -1.
    int GetMocfRecord(std::size_t position, MocfRecord* record) const;

    // The outer header and every record header and value lie inside the
    // buffer and the outer length.
    bool wellFormed() const { return m_wellFormed; }
    // The last record (with its padding) ends exactly at the outer length.
    bool endsExactly() const { return m_endsExactly; }
    const std::vector<MocfRecord>& records() const { return m_records; }
    std::uint32_t outerTag() const { return m_outerTag; }
    std::uint32_t outerLength() const { return m_outerLength; }

protected:
    const std::uint8_t* m_data;
    std::size_t m_size;
    std::uint32_t m_outerTag = 0;
    std::uint32_t m_outerLength = 0;
    bool m_wellFormed = false;
    bool m_endsExactly = false;
    std::vector<MocfRecord> m_records;
};

class CMocfParser : public CTlvContainerParser {
public:
    using CTlvContainerParser::CTlvContainerParser;
    // The container's checks: outer tag, header record first with a zero
    // first word, digest record (when present) second, 20 bytes, matching,
    // and the walk ending at the outer length; compatibility record (when
    // present) of 4 x count + 4 bytes.
    virtual bool IsValid();

private:
    CSha1 m_sha1;
};

std::uint32_t mocfReadLe32(const std::uint8_t* p);

// Reads the whole file (path as 8-bit text) into `content` and validates it:
// 0 for a valid container, -1 otherwise.
int LoadMocfFile(const std::string& path, std::vector<std::uint8_t>& content);
// The same check over bytes in memory.
bool MocfIsValid(const std::vector<std::uint8_t>& content);
