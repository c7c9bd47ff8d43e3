// What the image writers share: where the images go in the scanner's flash,
// how a block is cut from an image and summed, and the log's dump of a
// reply.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

namespace blockframing {

inline constexpr std::uint32_t kAppAddress = 0x1D000000u;
inline constexpr std::uint32_t kBootAddress = 0x1FC00000u;
// The boot image's blocks after its third go behind the application.
inline constexpr std::uint32_t kBootUpperAddress = 0x1D078000u;
inline constexpr std::size_t kBlock = 4096;

// The first 16 bytes as "0X.." pairs, for the log.
inline std::string hex16(const std::uint8_t* bytes)
{
    std::string out;
    char piece[8];
    for (int i = 0; i < 16; ++i) {
        std::snprintf(piece, sizeof piece, "0X%02X", bytes[i]);
        out += piece;
    }
    return out;
}

// The address as the bootloader takes it, high byte first.
inline void addressBytes(std::uint32_t address, std::uint8_t* out)
{
    out[0] = static_cast<std::uint8_t>(address >> 24);
    out[1] = static_cast<std::uint8_t>(address >> 16);
    out[2] = static_cast<std::uint8_t>(address >> 8);
    out[3] = static_cast<std::uint8_t>(address);
}

inline std::uint16_t blockSum(const std::uint8_t* bytes, std::size_t n)
{
    std::uint32_t sum = 0;
    for (std::size_t i = 0; i < n; ++i)
        sum += bytes[i];
    return static_cast<std::uint16_t>(sum);
}

// The image's block at `offset`: bytes past the image are the erased filler.
inline void blockAt(const std::vector<std::uint8_t>& image, std::size_t offset, std::uint8_t* block)
{
    std::memset(block, 0xFF, kBlock);
    if (offset < image.size())
        std::memcpy(block, image.data() + offset, std::min(kBlock, image.size() - offset));
}

}  // namespace blockframing
