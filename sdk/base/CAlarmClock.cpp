#include "CAlarmClock.h"

#include "CScanningSDK.h"

#include "platform/time.h"

void CAlarmClock::setTimeout(DWORD milliseconds)
{
    if (m_running) {
        SDK_LOG(logbit::trace, "CAlarmClock::setTimeout", "Please stop the alarm clock at first. Then set the timeout");
        return;
    }
    m_timeout = milliseconds;
}

void CAlarmClock::start()
{
    if (m_timeout == 0 || m_running) {
        SDK_LOG(logbit::trace, "CAlarmClock::start", "Already started or timeout====0.");
        SDK_LOG(logbit::trace, "CAlarmClock::start", "Already active:" + std::to_string(m_timeout));
        SDK_LOG(logbit::trace, "CAlarmClock::start", "Already active:" + std::to_string(m_running ? 1 : 0));
        return;
    }
    m_startTick = GetTickCount();
    m_running = true;
}

bool CAlarmClock::isTimeout() const
{
    if (m_timeout == 0 || !m_running) {
        SDK_LOG(logbit::trace, "CAlarmClock::isTimeout", "not started or no timeout");
        SDK_LOG(logbit::trace, "CAlarmClock::isTimeout", "Timeout value:" + std::to_string(m_timeout));
        SDK_LOG(logbit::trace, "CAlarmClock::isTimeout", "Status value:" + std::to_string(m_running ? 1 : 0));
        return false;
    }
    const DWORD elapsed = platform::tickElapsed(m_startTick, GetTickCount());
    if (elapsed >= m_timeout) {
        SDK_LOG(logbit::trace, "CAlarmClock::isTimeout", "Timeout.");
        return true;
    }
    SDK_LOG(logbit::trace, "CAlarmClock::isTimeout", "Remaining " + std::to_string(m_timeout - elapsed));
    return false;
}

DWORD CAlarmClock::getRemaining() const
{
    if (!m_running) {
        return 0;
    }
    const DWORD elapsed = platform::tickElapsed(m_startTick, GetTickCount());
    if (elapsed >= m_timeout) {
        return 1;
    }
    const DWORD remaining = m_timeout - elapsed;
    SDK_LOG(logbit::trace, "CAlarmClock::getRemaining", "Already active:" + std::to_string(remaining));
    return remaining;
}
