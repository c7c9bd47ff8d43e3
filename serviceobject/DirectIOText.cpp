#include "DirectIOText.h"

#include "protocol/CMenuHandler.h"

#include <algorithm>
#include <cstdlib>

std::string DirectIOCommandText(BSTR string)
{
    std::string text = platform::ansiFromBstr(string);
    text.resize(std::min(text.size(), text.find('\0')));
    return text;
}

std::size_t DirectIOCommandStart(const std::string& text)
{
    if (text.empty() || text[0] != ':')
        return 0;
    const std::size_t close = text.find(':', 1);
    return close == std::string::npos ? 0 : close + 1;
}

std::string DirectIOCommandName(const std::string& text)
{
    const std::size_t at = DirectIOCommandStart(text);
    if (text.size() < at + 6)
        return {};
    return text.substr(at, 6);
}

// Sent anyway, such a command's bytes alone would hold the line, and every
// other exchange, for longer than any time-out: 100,000 characters take
// 104 s at 9600 baud.
bool DirectIOTooLongForAMenu(const std::string& text)
{
    const std::size_t at = DirectIOCommandStart(text);
    const std::size_t address = at == 0 ? 0 : at - 2;
    return address >= CMenuHandler::kMaxTextLength || text.size() - at >= CMenuHandler::kMaxTextLength;
}

bool DirectIOTimeoutValue(const std::string& text, long long& value)
{
    if (text == "-1") {
        value = -1;
        return true;
    }
    const bool digits =
        !text.empty() && std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; });
    const bool fits = text.size() < 10 || (text.size() == 10 && text <= "2147483647");
    if (!digits || !fits)
        return false;
    value = std::atoll(text.c_str());
    return true;
}

std::u16string WidenDirectIOBytes(const std::string& bytes)
{
    std::u16string wide(bytes.size(), u'\0');
    for (std::size_t i = 0; i < bytes.size(); ++i)
        wide[i] = static_cast<unsigned char>(bytes[i]);
    return wide;
}

bool WriteDirectIOAnswer(BSTR* string, const std::u16string& answer)
{
    return SysReAllocStringLen(string, answer.data(), static_cast<UINT>(answer.size())) != FALSE;
}
