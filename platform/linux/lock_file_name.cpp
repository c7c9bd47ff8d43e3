// File names of the machine-wide marks, bounded by a digest.

#include "linux/internal/lock_file_name.h"

#include <array>
#include <cstdint>
#include <cstdio>

namespace platform {
namespace {

// Escaped forms up to this length are used whole; longer ones are cut to
// kKeptHead characters plus the digest. 7 + 150 + 5 and 7 + 120 + 1 + 64 + 5
// both stay well under the 255 bytes a file name may have.
constexpr std::size_t kLongestEscaped = 150;
constexpr std::size_t kKeptHead = 120;

constexpr std::array<std::uint32_t, 64> kRound = {
    0x428a2f98, 0x71374491, 0xb5c0fbcf, 0xe9b5dba5, 0x3956c25b, 0x59f111f1, 0x923f82a4, 0xab1c5ed5,
    0xd807aa98, 0x12835b01, 0x243185be, 0x550c7dc3, 0x72be5d74, 0x80deb1fe, 0x9bdc06a7, 0xc19bf174,
    0xe49b69c1, 0xefbe4786, 0x0fc19dc6, 0x240ca1cc, 0x2de92c6f, 0x4a7484aa, 0x5cb0a9dc, 0x76f988da,
    0x983e5152, 0xa831c66d, 0xb00327c8, 0xbf597fc7, 0xc6e00bf3, 0xd5a79147, 0x06ca6351, 0x14292967,
    0x27b70a85, 0x2e1b2138, 0x4d2c6dfc, 0x53380d13, 0x650a7354, 0x766a0abb, 0x81c2c92e, 0x92722c85,
    0xa2bfe8a1, 0xa81a664b, 0xc24b8b70, 0xc76c51a3, 0xd192e819, 0xd6990624, 0xf40e3585, 0x106aa070,
    0x19a4c116, 0x1e376c08, 0x2748774c, 0x34b0bcb5, 0x391c0cb3, 0x4ed8aa4a, 0x5b9cca4f, 0x682e6ff3,
    0x748f82ee, 0x78a5636f, 0x84c87814, 0x8cc70208, 0x90befffa, 0xa4506ceb, 0xbef9a3f7, 0xc67178f2,
};

std::uint32_t rotateRight(std::uint32_t value, unsigned bits) { return (value >> bits) | (value << (32 - bits)); }

void compress(std::array<std::uint32_t, 8>& state, const unsigned char* block)
{
    std::uint32_t w[64];
    for (int i = 0; i < 16; ++i)
        w[i] = std::uint32_t(block[4 * i]) << 24 | std::uint32_t(block[4 * i + 1]) << 16 |
               std::uint32_t(block[4 * i + 2]) << 8 | std::uint32_t(block[4 * i + 3]);
    for (int i = 16; i < 64; ++i) {
        const std::uint32_t s0 = rotateRight(w[i - 15], 7) ^ rotateRight(w[i - 15], 18) ^ (w[i - 15] >> 3);
        const std::uint32_t s1 = rotateRight(w[i - 2], 17) ^ rotateRight(w[i - 2], 19) ^ (w[i - 2] >> 10);
        w[i] = w[i - 16] + s0 + w[i - 7] + s1;
    }
    std::uint32_t a = state[0], b = state[1], c = state[2], d = state[3];
    std::uint32_t e = state[4], f = state[5], g = state[6], h = state[7];
    for (int i = 0; i < 64; ++i) {
        const std::uint32_t s1 = rotateRight(e, 6) ^ rotateRight(e, 11) ^ rotateRight(e, 25);
        const std::uint32_t choice = (e & f) ^ (~e & g);
        const std::uint32_t t1 = h + s1 + choice + kRound[i] + w[i];
        const std::uint32_t s0 = rotateRight(a, 2) ^ rotateRight(a, 13) ^ rotateRight(a, 22);
        const std::uint32_t majority = (a & b) ^ (a & c) ^ (b & c);
        const std::uint32_t t2 = s0 + majority;
        h = g;
        g = f;
        f = e;
        e = d + t1;
        d = c;
        c = b;
        b = a;
        a = t1 + t2;
    }
    state[0] += a;
    state[1] += b;
    state[2] += c;
    state[3] += d;
    state[4] += e;
    state[5] += f;
    state[6] += g;
    state[7] += h;
}

std::string escaped(std::string_view name)
{
    std::string text;
    for (const char c : name) {
        const auto byte = static_cast<unsigned char>(c);
        const bool plain = (byte >= 'a' && byte <= 'z') || (byte >= 'A' && byte <= 'Z') ||
                           (byte >= '0' && byte <= '9') || byte == '.' || byte == '-' || byte == '_';
        if (plain) {
            text.push_back(c);
        } else {
            char piece[4];
            std::snprintf(piece, sizeof piece, "%%%02X", byte);
            text += piece;
        }
    }
    return text;
}

}  // namespace

std::string sha256Hex(std::string_view bytes)
{
    std::array<std::uint32_t, 8> state = {0x6a09e667, 0xbb67ae85, 0x3c6ef372, 0xa54ff53a,
                                          0x510e527f, 0x9b05688c, 0x1f83d9ab, 0x5be0cd19};
    std::size_t at = 0;
    for (; at + 64 <= bytes.size(); at += 64)
        compress(state, reinterpret_cast<const unsigned char*>(bytes.data() + at));
    // The tail, the 0x80 marker, zeros and the length in bits (big-endian)
    // fill one or two last blocks.
    unsigned char tail[128] = {};
    const std::size_t rest = bytes.size() - at;
    for (std::size_t i = 0; i < rest; ++i)
        tail[i] = static_cast<unsigned char>(bytes[at + i]);
    tail[rest] = 0x80;
    const std::size_t tailLength = rest + 9 <= 64 ? 64 : 128;
    const std::uint64_t bits = static_cast<std::uint64_t>(bytes.size()) * 8;
    for (int i = 0; i < 8; ++i)
        tail[tailLength - 1 - i] = static_cast<unsigned char>(bits >> (8 * i));
    compress(state, tail);
    if (tailLength == 128)
        compress(state, tail + 64);
    std::string hex;
    char piece[9];
    for (const std::uint32_t word : state) {
        std::snprintf(piece, sizeof piece, "%08x", word);
        hex += piece;
    }
    return hex;
}

std::string globalLockFileName(std::string_view name)
{
    std::string text = escaped(name);
    if (text.size() > kLongestEscaped) {
        std::size_t head = kKeptHead;
        // Never cut an escape in two: the head ends before a '%' that has
        // not both its digits inside it.
        for (std::size_t i = head >= 2 ? head - 2 : 0; i < head; ++i)
            if (text[i] == '%') {
                head = i;
                break;
            }
        text = text.substr(0, head) + "~" + sha256Hex(name);
    }
    return "global-" + text + ".lock";
}

}  // namespace platform
