// The SHA-1 digest of the firmware files the tests write.
#include "../../flash/FlashFixtures.h"

#include "shared/sha1/Sha1.h"

std::vector<std::uint8_t> flashfix::sha1(const std::vector<std::uint8_t>& data)
{
    std::vector<std::uint8_t> digest(CSha1::kDigestSize);
    CSha1().Compute(data.data(), data.size(), digest.data());
    return digest;
}
