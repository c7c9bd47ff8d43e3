#include "StringUtils.h"

#include "platform/error.h"
#include "platform/thread.h"
#include "platform/time.h"

#include <atomic>
#include <cstdint>
#include <cstdlib>
#include <ctime>
#include <utility>

std::string intToString(int value)
{
    return std::to_string(value);
}

std::wstring getSystemErrorString(DWORD code)
{
    std::wstring buffer(512, L'\0');
    for (;;) {
        const DWORD length = FormatMessageW(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, code,
                                            MAKELANGID(LANG_NEUTRAL, SUBLANG_DEFAULT), buffer.data(),
                                            static_cast<DWORD>(buffer.size()), nullptr);
        if (length != 0) {
            buffer.resize(length);
            break;
        }
        if (GetLastError() != ERROR_INSUFFICIENT_BUFFER || buffer.size() >= 65536) {
            return L"Unknown Error!";
        }
        buffer.assign(buffer.size() * 2, L'\0');
    }
    const std::size_t cr = buffer.find(L'\r');
    if (cr != std::wstring::npos) {
        buffer.resize(cr);
    }
    return buffer;
}

std::wstring stringToWString(const std::string& text)
{
    std::wstring wide;
    wide.reserve(text.size());
    for (char c : text) {
        wide.push_back(static_cast<wchar_t>(static_cast<unsigned char>(c)));
    }
    return wide;
}

std::string wstringToString(const std::wstring& text)
{
    std::string narrow;
    narrow.reserve(text.size());
    for (wchar_t c : text) {
        narrow.push_back(static_cast<char>(static_cast<unsigned char>(static_cast<std::uint32_t>(c) & 0xFF)));
    }
    return narrow;
}

std::wstring convertToWString(const std::string& text)
{
    return stringToWString(text);
}

std::string convertToString(const std::wstring& text)
{
    return wstringToString(text);
}

std::wstring generateUniqueName()
{
    static std::atomic<unsigned> counter{0};

    const int seed = static_cast<int>(static_cast<std::uint32_t>(std::time(nullptr)));
    std::srand(static_cast<unsigned>(seed));
    const DWORD tick = GetTickCount();
    const int random = std::rand();

    // The thread id and tick count are unsigned and are written so: a
    // negative number would put a '-' into a name that is otherwise digits.
    std::string name = std::to_string(GetCurrentThreadId());
    name += std::to_string(static_cast<std::uint32_t>(seed));
    name += std::to_string(random);
    name += std::to_string(tick);
    name += std::to_string(counter.fetch_add(1, std::memory_order_relaxed));
    return stringToWString(name);
}

int splitString(const std::string& text, const std::string& delimiter, std::vector<std::string>& pieces,
                bool keepEmpty)
{
    if (text.empty() || delimiter.empty()) {
        return 0;
    }
    std::vector<std::string> found;
    int count = 0;
    std::size_t begin = 0;
    for (std::size_t at = text.find(delimiter); at != std::string::npos; at = text.find(delimiter, begin)) {
        found.push_back(text.substr(begin, at - begin));
        begin = at + delimiter.size();
        ++count;
    }
    if (count == 0) {
        return 0;
    }
    found.push_back(text.substr(begin));
    for (std::string& piece : found) {
        if (keepEmpty || !piece.empty()) {
            pieces.push_back(std::move(piece));
        }
    }
    return count;
}

std::map<std::string, std::string> parseKeyValuePairs(std::vector<std::string> lines, const std::string& separator)
{
    std::map<std::string, std::string> pairs;
    if (separator.empty()) {
        return pairs;
    }
    const char mark = separator[0];
    for (const std::string& line : lines) {
        const std::size_t at = line.find(mark);
        if (at == std::string::npos) {
            continue;
        }
        std::size_t valueBegin = at + 1;
        if (valueBegin < line.size() && line[valueBegin] == ' ') {
            ++valueBegin;
        }
        pairs.emplace(line.substr(0, at), line.substr(valueBegin));
    }
    return pairs;
}

std::map<std::string, std::string> parseKeyValueText(const std::string& text)
{
    std::vector<std::string> lines;
    splitString(text, "\r\n", lines, false);
    return parseKeyValuePairs(std::move(lines), ":");
}
