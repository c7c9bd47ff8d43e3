#include "debug/DebugStd_TID.h"

#include "platform/debug.h"
#include "platform/thread.h"

#include <string>

namespace {

std::string threadId()
{
    return std::to_string(GetCurrentThreadId());
}

}  // namespace

void DebugStd_TID::Log(const char* text)
{
    std::lock_guard lock(m_lock);
    m_szUtcTime = UtcStamp();
    OutputDebugStringA(Line("TID:%s, %s, %s, \r\n", threadId().c_str(), m_szUtcTime.c_str(), text).c_str());
}

void DebugStd_TID::LogText(const char* tag, const char* text)
{
    std::lock_guard lock(m_lock);
    m_szUtcTime = UtcStamp();
    OutputDebugStringA(Line("TID:%s, %s, %s %s \r\n", threadId().c_str(), m_szUtcTime.c_str(), tag, text).c_str());
}

void DebugStd_TID::LogText2(const char* tag, const char* text, const char* text2)
{
    std::lock_guard lock(m_lock);
    m_szUtcTime = UtcStamp();
    OutputDebugStringA(
        Line("TID:%s, %s, %s %s %s\r\n", threadId().c_str(), m_szUtcTime.c_str(), tag, text, text2).c_str());
}
