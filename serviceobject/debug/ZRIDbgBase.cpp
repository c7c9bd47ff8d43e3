#include "debug/ZRIDbgBase.h"

#include "platform/debug.h"
#include "platform/error.h"
#include "platform/time.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <new>
#include <vector>

namespace {

const char* orEmpty(const char* text)
{
    return text != nullptr ? text : "";
}

constexpr std::size_t kSystemErrorLimit = 1024;
constexpr DWORD kLanguage = 1024;  // the user's default language

}  // namespace

ZRIDbgBase& ZRIDbgBase::Silent()
{
    static ZRIDbgBase* const silent = new ZRIDbgBase;  // usable by threads still running at exit
    return *silent;
}

void ZRIDbgBase::Log(const char*) {}

void ZRIDbgBase::LogReserved(const char*) {}

void ZRIDbgBase::LogText(const char*, const char*) {}

void ZRIDbgBase::LogText2(const char*, const char*, const char*) {}

void ZRIDbgBase::LogNumber(const char* tag, long number)
{
    LogText(tag, std::to_string(number).c_str());
}

void ZRIDbgBase::LogTextNumber(const char* tag, const char* text, long number)
{
    LogText2(tag, text, std::to_string(number).c_str());
}

void ZRIDbgBase::LogError(const char* tag, DWORD code)
{
    LogText(tag, FormatSystemError(code).c_str());
}

std::string ZRIDbgBase::LocalStamp()
{
    SYSTEMTIME now{};
    GetLocalTime(&now);
    char stamp[64];
    std::snprintf(stamp, sizeof stamp, "%02u/%02u/%02u %02u:%02u:%02u", now.wMonth, now.wDay, now.wYear % 100u,
                  now.wHour, now.wMinute, now.wSecond);
    return stamp;
}

std::string ZRIDbgBase::UtcStamp()
{
    SYSTEMTIME now{};
    GetSystemTime(&now);
    char stamp[64];
    std::snprintf(stamp, sizeof stamp, "%d:%d:%d:%d", now.wHour, now.wMinute, now.wSecond, now.wMilliseconds);
    return stamp;
}

std::string ZRIDbgBase::Line(const char* format, const char* a, const char* b, const char* c, const char* d,
                             const char* e)
{
    try {
        a = orEmpty(a);
        b = orEmpty(b);
        c = orEmpty(c);
        d = orEmpty(d);
        e = orEmpty(e);
        // The parts' lengths and a margin for the format's own characters.
        const std::size_t size = std::strlen(format) + std::strlen(a) + std::strlen(b) + std::strlen(c) +
                                 std::strlen(d) + std::strlen(e) + 16;
        std::string line(size, '\0');
        const int written = std::snprintf(line.data(), size, format, a, b, c, d, e);
        line.resize(written > 0 ? std::min(static_cast<std::size_t>(written), size - 1) : 0);
        return line;
    } catch (const std::bad_alloc&) {
        OutputDebugStringA("failed to create temp buffer");
        return {};
    }
}

void FormatSystemError(DWORD code, char* buffer, std::size_t size)
{
    if (buffer == nullptr || size == 0)
        return;
    size = std::min(size, kSystemErrorLimit);
    std::vector<char> message(kSystemErrorLimit, '\0');
    if (FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, code, kLanguage,
                       message.data(), static_cast<DWORD>(message.size()), nullptr) == 0)
        message[0] = '\0';
    std::snprintf(buffer, size, "failed with error %d: %s", static_cast<int>(code), message.data());
}

std::string FormatSystemError(DWORD code)
{
    char text[kSystemErrorLimit];
    FormatSystemError(code, text, sizeof text);
    return text;
}
