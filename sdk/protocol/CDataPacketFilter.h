// Separates the data packets that a scanner sends unasked (the labels it
// scans, SYN-framed) from the rest of what it sends: a host that waits for
// an answer (the sync ping's, a menu reply) takes the bytes outside packets
// and steps over every whole packet, whose payload may hold any bytes.
//
// Fed in pieces as they are read, on one thread. Between pieces it holds at
// most a packet header's worth of undecided bytes (a SYN and what follows).
// A header's length is the device's number: a huge one only makes the
// filter step over everything that follows, which its caller bounds.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

class CDataPacketFilter {
public:
    // Appends to `outside` the bytes of the piece that lie outside data
    // packets, as far as they can be told yet.
    void take(const unsigned char* bytes, std::size_t count, std::string& outside);
    // No more bytes will come: a SYN too close to the end to start a whole
    // header is an ordinary byte, and so is what follows it.
    void finish(std::string& outside);

private:
    void scan(bool final, std::string& outside);

    std::vector<unsigned char> m_held;  // bytes not yet decided
    std::uint64_t m_skip = 0;           // payload bytes of the current packet still to step over
};
