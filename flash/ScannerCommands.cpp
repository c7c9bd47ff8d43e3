#include "ScannerCommands.h"

#include "platform/text.h"

#include <cstring>
#include <sstream>
#include <vector>

namespace {

std::size_t menuCommand(std::uint8_t* buffer, char menuClass, const char* text)
{
    buffer[0] = 0x16;
    buffer[1] = static_cast<std::uint8_t>(menuClass);
    buffer[2] = 0x0D;
    const std::size_t n = std::strlen(text);
    std::memcpy(buffer + 3, text, n);
    buffer[3 + n] = 0;
    return 3 + n;
}

std::size_t oneByte(std::uint8_t* buffer, std::uint8_t byte)
{
    buffer[0] = byte;
    buffer[1] = 0;
    return 1;
}

char16_t lower(char16_t c) { return (c >= u'A' && c <= u'Z') ? char16_t(c - u'A' + u'a') : c; }

bool parseInt(const std::string& text, long* value)
{
    if (text.empty())
        return false;
    char* end = nullptr;
    const long v = std::strtol(text.c_str(), &end, 10);
    if (*end != '\0')
        return false;
    *value = v;
    return true;
}

}  // namespace

std::size_t BuildCommand(std::uint32_t id, std::uint8_t* buffer)
{
    switch (id) {
    case CC_ACK: return oneByte(buffer, 0x06);
    case CC_ESC: return oneByte(buffer, 0x1B);
    case CC_ERASE: return oneByte(buffer, 'E');
    case CC_PROGRAM: return oneByte(buffer, 'P');
    case CC_DC1: return oneByte(buffer, 0x11);
    case CC_EXIT: return oneByte(buffer, 'X');
    case CC_TRGMOD: return menuCommand(buffer, 'M', "TRGMOD0;TRGITG1!");
    case CC_NEWAP2: return menuCommand(buffer, 'Y', "NEWAP2.");
    case CC_NEWBLS: return menuCommand(buffer, 'Y', "NEWBLS.");
    case CC_NEWBLE: return menuCommand(buffer, 'Y', "NEWBLE.");
    case CC_P_INFO: return menuCommand(buffer, 'M', "P_INFO.");
    case CC_BTLPRO: return menuCommand(buffer, 'Y', "BTLPRO*.");
    case CC_VISMN40: return menuCommand(buffer, 'M', "VISMN40.");
    default: buffer[0] = 0; return 0;
    }
}

std::size_t BuildRelayCommand(std::uint8_t* buffer, std::size_t n, const std::uint8_t* data)
{
    if (n < 1 || n > 255 || data == nullptr)
        return 0;
    std::size_t i = menuCommand(buffer, 'Y', "NEWBLI");
    buffer[i++] = static_cast<std::uint8_t>('A' + (n >> 4));
    buffer[i++] = static_cast<std::uint8_t>('A' + (n & 0x0F));
    for (std::size_t k = 0; k < n; ++k) {
        buffer[i++] = static_cast<std::uint8_t>('A' + (data[k] >> 4));
        buffer[i++] = static_cast<std::uint8_t>('A' + (data[k] & 0x0F));
    }
    buffer[i++] = '.';
    return i;
}

bool FileExtensionMatches(const std::u16string& name, const std::u16string& extension)
{
    const std::size_t dot = name.rfind(u'.');
    const std::u16string ext = dot == std::u16string::npos ? (name.empty() ? name : name.substr(1)) : name.substr(dot + 1);
    if (ext.size() > 255)
        return false;
    for (std::size_t i = 0; i < ext.size(); ++i) {
        if (i >= extension.size() || lower(ext[i]) != lower(extension[i]))
            return false;
    }
    return true;
}

int HexDigitValue(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

bool FileNameText(const std::u16string& name, std::string* out)
{
    return platform::utf8FromUtf16(name, *out);
}

std::string LogText(const std::u16string& text) noexcept
{
    try {
        return platform::utf8FromUtf16ForDisplay(text);
    } catch (...) {
        return std::string();
    }
}

std::u16string WidenText(const std::string& text)
{
    std::u16string out;
    out.reserve(text.size());
    for (unsigned char c : text)
        out.push_back(char16_t(c));
    return out;
}

std::size_t WideLength(const char16_t* text, std::size_t limit)
{
    std::size_t n = 0;
    while (n < limit && text[n] != 0)
        ++n;
    return n;
}

int MonthNumber(const std::string& name)
{
    static const char* const kMonths[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                          "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
    for (int i = 0; i < 12; ++i)
        if (name == kMonths[i])
            return i;
    return -1;
}

void ParseBuildDate(const std::string& text, fileversion_time* time)
{
    std::istringstream in(text);
    std::vector<std::string> tokens;
    for (std::string token; in >> token;)
        tokens.push_back(token);
    if (tokens.empty())
        return;
    const int month = MonthNumber(tokens[0]);
    if (month < 0)
        return;
    time->tm_mon = month;
    long day = 0;
    if (tokens.size() < 2 || !parseInt(tokens[1], &day) || day < 0 || day > 31)
        return;
    time->tm_mday = static_cast<std::int32_t>(day);
    long year = 0;
    if (tokens.size() < 3 || !parseInt(tokens[2], &year) || year < 2010 || year > 100000)
        return;
    time->tm_year = static_cast<std::int32_t>(year - 1900);
    if (tokens.size() < 4 || tokens[3].find(':') == std::string::npos)
        return;
    std::vector<std::string> parts;
    std::string part;
    std::istringstream t(tokens[3]);
    while (std::getline(t, part, ':'))
        parts.push_back(part);
    long hour = 0, minute = 0, second = 0;
    if (parts.empty() || !parseInt(parts[0], &hour) || hour < 1 || hour > 24)
        return;
    time->tm_hour = static_cast<std::int32_t>(hour);
    if (parts.size() < 2 || !parseInt(parts[1], &minute) || minute < 0 || minute > 60)
        return;
    time->tm_min = static_cast<std::int32_t>(minute);
    if (parts.size() < 3 || !parseInt(parts[2], &second) || second < 0 || second > 60)
        return;
    time->tm_sec = static_cast<std::int32_t>(second);
}
