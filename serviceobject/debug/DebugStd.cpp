#include "debug/DebugStd.h"

#include "platform/debug.h"

void DebugStd::Log(const char* text)
{
    std::lock_guard lock(m_lock);
    m_szTime = LocalStamp();
    OutputDebugStringA(Line("%s, %s \r\n", m_szTime.c_str(), text).c_str());
}

void DebugStd::LogText(const char* tag, const char* text)
{
    std::lock_guard lock(m_lock);
    m_szTime = LocalStamp();
    OutputDebugStringA(Line("%s, %s %s \r\n", m_szTime.c_str(), tag, text).c_str());
}

void DebugStd::LogText2(const char* tag, const char* text, const char* text2)
{
    std::lock_guard lock(m_lock);
    m_szTime = LocalStamp();
    OutputDebugStringA(Line("%s, %s %s, %s \r\n", m_szTime.c_str(), tag, text, text2).c_str());
}
