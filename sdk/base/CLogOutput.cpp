#include "CLogOutput.h"

#include "CScopedLock.h"

#include "platform/debug.h"

#include <cstdio>
#include <utility>

CLogOutput::CLogOutput()
{
    InitializeCriticalSection(&m_lock);
}

CLogOutput::~CLogOutput()
{
    DeleteCriticalSection(&m_lock);
}

CLogFile::CLogFile(std::string fileName)
    : m_fileName(fileName.empty() ? std::string(kDefaultFileName) : std::move(fileName))
{
    m_opened = m_file.open(m_fileName, true);
}

CLogFile::~CLogFile()
{
    if (m_opened) {
        m_file.close();
    }
    m_opened = false;
}

bool CLogFile::write(std::string line)
{
    if (!m_opened) {
        return false;
    }
    line += '\n';
    CScopedLock lock(&m_lock);
    return m_file.append(line);
}

bool CLogConsole::write(std::string line)
{
    line += '\n';
    CScopedLock lock(&m_lock);
    std::fwrite(line.data(), 1, line.size(), stdout);
    std::fflush(stdout);
    return true;
}

bool CLogDebugView::write(std::string line)
{
    line += '\n';
    CScopedLock lock(&m_lock);
    OutputDebugStringA(line.c_str());
    return true;
}

CLogCustomize::CLogCustomize(int userValue, LogCustomizeCallback callback)
    : m_userValue(userValue)
    , m_callback(callback)
{
}

bool CLogCustomize::write(std::string line)
{
    if (m_callback == nullptr) {
        return false;
    }
    CScopedLock lock(&m_lock);
    m_callback(m_userValue, std::move(line));
    return true;
}
