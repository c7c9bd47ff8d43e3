// BSTRs on the heap: a 4-byte byte count, the characters, a NUL.

#include "platform/bstr.h"

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <limits>

namespace {

constexpr std::size_t kPrefix = sizeof(std::uint32_t);

std::uint32_t* header(BSTR string)
{
    return reinterpret_cast<std::uint32_t*>(reinterpret_cast<unsigned char*>(string) - kPrefix);
}

// Room for `length` characters; the characters are zeroed, the count set.
BSTR allocate(UINT length)
{
    if (length > (std::numeric_limits<std::uint32_t>::max() - kPrefix - sizeof(OLECHAR)) / sizeof(OLECHAR))
        return nullptr;
    const std::size_t bytes = kPrefix + (std::size_t(length) + 1) * sizeof(OLECHAR);
    void* block = std::calloc(1, bytes);
    if (block == nullptr)
        return nullptr;
    *static_cast<std::uint32_t*>(block) = static_cast<std::uint32_t>(length * sizeof(OLECHAR));
    return reinterpret_cast<BSTR>(static_cast<unsigned char*>(block) + kPrefix);
}

}  // namespace

BSTR SysAllocString(LPCOLESTR text)
{
    if (text == nullptr)
        return nullptr;
    return SysAllocStringLen(text, static_cast<UINT>(std::char_traits<char16_t>::length(text)));
}

BSTR SysAllocStringLen(LPCOLESTR text, UINT length)
{
    BSTR string = allocate(length);
    if (string != nullptr && text != nullptr)
        std::memcpy(string, text, std::size_t(length) * sizeof(OLECHAR));
    return string;
}

BOOL SysReAllocStringLen(BSTR* string, LPCOLESTR text, UINT length)
{
    if (string == nullptr)
        return FALSE;
    // Built apart first, since `text` may point into the old string.
    BSTR replacement = SysAllocStringLen(text, length);
    if (replacement == nullptr)
        return FALSE;
    SysFreeString(*string);
    *string = replacement;
    return TRUE;
}

void SysFreeString(BSTR string)
{
    if (string != nullptr)
        std::free(header(string));
}

UINT SysStringLen(BSTR string)
{
    return string == nullptr ? 0 : *header(string) / sizeof(OLECHAR);
}

namespace platform {

BSTR bstrFromAnsi(std::string_view bytes)
{
    if (bytes.size() > std::numeric_limits<UINT>::max())
        return nullptr;
    BSTR string = allocate(static_cast<UINT>(bytes.size()));
    if (string == nullptr)
        return nullptr;
    for (std::size_t i = 0; i < bytes.size(); ++i)
        string[i] = static_cast<unsigned char>(bytes[i]);
    return string;
}

namespace {

std::string narrow(std::u16string_view text)
{
    std::string out(text.size(), '\0');
    for (std::size_t i = 0; i < text.size(); ++i)
        out[i] = text[i] <= 0xFF ? static_cast<char>(text[i]) : '?';
    return out;
}

}  // namespace

std::string ansiFromBstr(BSTR string)
{
    return narrow(bstrView(string));
}

std::string ansiFromOleString(LPCOLESTR text)
{
    return text == nullptr ? std::string() : narrow(std::u16string_view(text));
}

std::u16string_view bstrView(BSTR string)
{
    return string == nullptr ? std::u16string_view() : std::u16string_view(string, SysStringLen(string));
}

}  // namespace platform
