// SHA-1 (FIPS 180-1) behind the abstract hash interface the container check
// uses.
#pragma once

#include <cstddef>
#include <cstdint>

class CHash {
public:
    virtual ~CHash() = default;
    // Reset, input and result in one call.
    virtual bool Compute(const std::uint8_t* data, std::size_t length, std::uint8_t* digest) = 0;
    virtual void Reset() = 0;
    // Refused (false) after the result was taken, or for a null buffer.
    virtual bool Input(const std::uint8_t* data, std::size_t length) = 0;
    // Writes the 20-byte digest, most significant byte of each word first.
    virtual bool Result(std::uint8_t* digest) = 0;
};

class CSha1 : public CHash {
public:
    static constexpr std::size_t kDigestSize = 20;
    CSha1() { Reset(); }
    bool Compute(const std::uint8_t* data, std::size_t length, std::uint8_t* digest) override;
    void Reset() override;
    bool Input(const std::uint8_t* data, std::size_t length) override;
    bool Result(std::uint8_t* digest) override;

private:
    void processBlock();
    void pad();

    std::uint32_t m_h[5];
    std::uint64_t m_bits = 0;  // message length in bits
    std::uint8_t m_block[64];
    std::size_t m_blockUsed = 0;
    bool m_computed = false;
    bool m_corrupted = false;
};
