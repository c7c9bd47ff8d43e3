// BSTR allocation: a 4-byte length in bytes, then the characters, then a
// NUL character.
#include "platform/bstr.h"

#include <cstdlib>
#include <cstring>

namespace {

constexpr std::size_t kPrefix = sizeof(std::uint32_t);

BSTR allocate(const OLECHAR* text, UINT length)
{
    // Lengths past what the 4-byte prefix can count are refused.
    if (length > (0xFFFFFFFFu - kPrefix - sizeof(OLECHAR)) / sizeof(OLECHAR))
        return nullptr;
    const std::size_t bytes = static_cast<std::size_t>(length) * sizeof(OLECHAR);
    auto* block = static_cast<unsigned char*>(std::malloc(kPrefix + bytes + sizeof(OLECHAR)));
    if (block == nullptr)
        return nullptr;
    const auto byteLength = static_cast<std::uint32_t>(bytes);
    std::memcpy(block, &byteLength, kPrefix);
    auto* characters = reinterpret_cast<OLECHAR*>(block + kPrefix);
    if (text != nullptr)
        std::memmove(characters, text, bytes);
    else
        std::memset(characters, 0, bytes);
    characters[length] = u'\0';
    return characters;
}

}  // namespace

BSTR SysAllocString(const OLECHAR* text)
{
    if (text == nullptr)
        return nullptr;
    UINT length = 0;
    while (text[length] != u'\0')
        ++length;
    return allocate(text, length);
}

BSTR SysAllocStringLen(const OLECHAR* text, UINT length)
{
    return allocate(text, length);
}

int SysReAllocStringLen(BSTR* bstr, const OLECHAR* text, UINT length)
{
    if (bstr == nullptr)
        return FALSE;
    BSTR replacement = allocate(text, length);  // before the free: text may lie in the old string
    if (replacement == nullptr)
        return FALSE;
    SysFreeString(*bstr);
    *bstr = replacement;
    return TRUE;
}

void SysFreeString(BSTR bstr)
{
    if (bstr != nullptr)
        std::free(reinterpret_cast<unsigned char*>(bstr) - kPrefix);
}

UINT SysStringLen(BSTR bstr)
{
    if (bstr == nullptr)
        return 0;
    std::uint32_t bytes = 0;
    std::memcpy(&bytes, reinterpret_cast<unsigned char*>(bstr) - kPrefix, kPrefix);
    return bytes / sizeof(OLECHAR);
}
