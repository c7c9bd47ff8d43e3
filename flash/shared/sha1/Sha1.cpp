#include "Sha1.h"

namespace {
std::uint32_t rol(std::uint32_t v, int n) { return (v << n) | (v >> (32 - n)); }
}  // namespace

void CSha1::Reset()
{
    m_h[0] = 0x67452301u;
    m_h[1] = 0xEFCDAB89u;
    m_h[2] = 0x98BADCFEu;
    m_h[3] = 0x10325476u;
    m_h[4] = 0xC3D2E1F0u;
    m_bits = 0;
    m_blockUsed = 0;
    m_computed = false;
    m_corrupted = false;
}

bool CSha1::Input(const std::uint8_t* data, std::size_t length)
{
    if (length == 0)
        return true;
    if (data == nullptr || m_computed || m_corrupted)
        return false;
    for (std::size_t i = 0; i < length; ++i) {
        m_block[m_blockUsed++] = data[i];
        m_bits += 8;
        if (m_blockUsed == 64)
            processBlock();
    }
    return true;
}

void CSha1::processBlock()
{
    std::uint32_t w[80];
    for (int t = 0; t < 16; ++t)
        w[t] = (std::uint32_t(m_block[t * 4]) << 24) | (std::uint32_t(m_block[t * 4 + 1]) << 16) |
               (std::uint32_t(m_block[t * 4 + 2]) << 8) | std::uint32_t(m_block[t * 4 + 3]);
    for (int t = 16; t < 80; ++t)
        w[t] = rol(w[t - 3] ^ w[t - 8] ^ w[t - 14] ^ w[t - 16], 1);
    std::uint32_t a = m_h[0], b = m_h[1], c = m_h[2], d = m_h[3], e = m_h[4];
    for (int t = 0; t < 80; ++t) {
        std::uint32_t f, k;
        if (t < 20) {
            f = (b & c) | (~b & d);
            k = 0x5A827999u;
        } else if (t < 40) {
            f = b ^ c ^ d;
            k = 0x6ED9EBA1u;
        } else if (t < 60) {
            f = (b & c) | (b & d) | (c & d);
            k = 0x8F1BBCDCu;
        } else {
            f = b ^ c ^ d;
            k = 0xCA62C1D6u;
        }
        std::uint32_t temp = rol(a, 5) + f + e + w[t] + k;
        e = d;
        d = c;
        c = rol(b, 30);
        b = a;
        a = temp;
    }
    m_h[0] += a;
    m_h[1] += b;
    m_h[2] += c;
    m_h[3] += d;
    m_h[4] += e;
    m_blockUsed = 0;
}

void CSha1::pad()
{
    const std::uint64_t bits = m_bits;
    m_block[m_blockUsed++] = 0x80;
    if (m_blockUsed > 56) {
        while (m_blockUsed < 64)
            m_block[m_blockUsed++] = 0;
        processBlock();
    }
    while (m_blockUsed < 56)
        m_block[m_blockUsed++] = 0;
    for (int i = 0; i < 8; ++i)
        m_block[56 + i] = static_cast<std::uint8_t>(bits >> (56 - 8 * i));
    processBlock();
}

bool CSha1::Result(std::uint8_t* digest)
{
    if (digest == nullptr || m_corrupted)
        return false;
    if (!m_computed) {
        pad();
        m_computed = true;
    }
    for (int i = 0; i < 20; ++i)
        digest[i] = static_cast<std::uint8_t>(m_h[i / 4] >> (24 - 8 * (i % 4)));
    return true;
}

bool CSha1::Compute(const std::uint8_t* data, std::size_t length, std::uint8_t* digest)
{
    Reset();
    return Input(data, length) && Result(digest);
}
