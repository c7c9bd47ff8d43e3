#include "debug/DebugLog.h"

DebugLog::DebugLog(const char* fileName, char option) : ZRIDbgBase(kDebugLog), m_option(option)
{
    const std::string stamped = StampedName(fileName != nullptr ? fileName : "", LocalStamp());
    if (stamped.size() > kMaxName)
        return;
    m_fileName = stamped;
    m_file.open(m_fileName, false);
}

DebugLog::~DebugLog()
{
    m_file.close();
}

std::string DebugLog::StampedName(const std::string& configured, const std::string& localStamp)
{
    std::string stamp = localStamp;
    for (char& c : stamp) {
        if (c == ':' || c == '/')
            c = '_';
        else if (c == ' ')
            c = 'T';
    }
    const std::size_t slash = configured.rfind('/');
    const std::size_t dot = configured.find('.', slash == std::string::npos ? 0 : slash + 1);
    if (dot == std::string::npos)
        return configured + "D" + stamp;
    return configured.substr(0, dot) + "D" + stamp + configured.substr(dot);
}

void DebugLog::Write(const std::string& line)
{
    if (m_file.isOpen() && !line.empty())
        m_file.append(line);
}

void DebugLog::Log(const char* text)
{
    std::lock_guard lock(m_lock);
    m_szTime = LocalStamp();
    Write(Line("%s, %s, \r\n", m_szTime.c_str(), text));
}

void DebugLog::LogText(const char* tag, const char* text)
{
    std::lock_guard lock(m_lock);
    m_szTime = LocalStamp();
    Write(Line("%s, %s %s \r\n", m_szTime.c_str(), tag, text));
}

void DebugLog::LogText2(const char* tag, const char* text, const char* text2)
{
    std::lock_guard lock(m_lock);
    m_szTime = LocalStamp();
    Write(Line("%s, %s %s, %s \r\n", m_szTime.c_str(), tag, text, text2));
}
