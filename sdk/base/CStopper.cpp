#include "CStopper.h"

#include "CScanningSDK.h"
#include "CancelFlag.h"

void CStopper::setTimeout(DWORD milliseconds)
{
    SDK_LOG(logbit::trace, "CStopper::setTimeout", "Set Timeout:" + std::to_string(milliseconds));
    m_alarm.stop();
    m_timeout = milliseconds;
    if (milliseconds != 0) {
        m_alarm.setTimeout(milliseconds);
        m_alarm.start();
    }
}

bool CStopper::isCancelled() const
{
    if (!isCancelRequested(m_cancelFlag)) {
        return false;
    }
    SDK_LOG(logbit::trace, "CStopper::isCancelled", "Cancelled!");
    return true;
}

bool CStopper::isStopped() const
{
    if (isCancelled()) {
        SDK_LOG(logbit::trace, "CStopper::isStopped", "Canceled...");
        return true;
    }
    if (isTimeout()) {
        SDK_LOG(logbit::trace, "CStopper::isStopped", "Timeout...");
        return true;
    }
    return false;
}
