// The header of a SYN-framed data packet (device to host):
//     0x16 (SYN), 0xFE or 0x7E, payload length (4 bytes, little-endian), 0x0D
// followed by the payload; there is no trailer. Shared by the stream parser
// and by whoever must step over packets that a scanner sends unasked.
#pragma once

#include <cstddef>
#include <cstdint>

namespace synpacket {

constexpr std::size_t kHeaderLength = 7;
constexpr unsigned char kSyn = 0x16;

// Four bytes as an unsigned number, least significant first.
inline std::uint32_t littleEndian32(const unsigned char* bytes)
{
    return static_cast<std::uint32_t>(bytes[0]) | (static_cast<std::uint32_t>(bytes[1]) << 8)
        | (static_cast<std::uint32_t>(bytes[2]) << 16) | (static_cast<std::uint32_t>(bytes[3]) << 24);
}

// Whether the kHeaderLength bytes at `bytes` form a header.
inline bool isHeader(const unsigned char* bytes)
{
    return bytes[0] == kSyn && (bytes[1] == 0xFE || bytes[1] == 0x7E) && bytes[6] == 0x0D;
}

// The payload length a header announces (an untrusted device's number).
inline std::uint32_t announcedLength(const unsigned char* header)
{
    return littleEndian32(header + 2);
}

}  // namespace synpacket
