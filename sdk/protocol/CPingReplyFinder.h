// Finds the answer to the serial sync ping in what a scanner sends after
// the SYNC command. A scanner that is scanning sends its labels unasked, as
// SYN-framed data packets, before, between or after the answer; the finder
// steps over every whole packet (its payload may hold any bytes) and looks
// for the answer in the bytes outside packets.
//
// Fed in pieces as they are read, on one thread; holds at most a packet
// header's worth of undecided bytes between pieces. A packet header's
// length is the device's number: a huge one only makes the finder step
// over everything that follows, which its caller bounds.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

class CPingReplyFinder {
public:
    // `accepts` judges `answerLength` bytes: true for an accepted answer.
    CPingReplyFinder(std::size_t answerLength, bool (*accepts)(const unsigned char* answer));

    // Takes the next bytes read. True once an accepted answer has been seen.
    bool take(const unsigned char* bytes, std::size_t count);
    // No more bytes will come: a SYN too close to the end to start a whole
    // header is then an ordinary byte. True once an answer has been seen.
    bool finish();
    bool found() const { return m_found; }

private:
    void scan(bool final);

    std::size_t m_answerLength;
    bool (*m_accepts)(const unsigned char*);
    std::vector<unsigned char> m_held;  // bytes not yet decided
    std::uint64_t m_skip = 0;           // payload bytes of the current packet still to step over
    bool m_found = false;
};
