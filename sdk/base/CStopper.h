// A cancel flag owned by the caller plus a time budget: the first base of
// every SDK worker that may run long. A worker tests isStopped between its
// steps and hands its flag and remaining time on to the workers it creates:
//     sub.setCancelFlag(getCancelFlag());
//     sub.setTimeout(getRemaingTimeout());
// The flag may be set from another thread at any time (see CancelFlag.h);
// the stopper itself is used by one thread at a time.
#pragma once

#include "CAlarmClock.h"

#include "platform/types.h"

class CStopper {
public:
    CStopper() = default;
    virtual ~CStopper() = default;

    // Keeps the pointer (null: cannot be cancelled); the caller owns the byte
    // and keeps it alive while the stopper may read it.
    void setCancelFlag(unsigned char* flag) { m_cancelFlag = flag; }
    unsigned char* getCancelFlag() const { return m_cancelFlag; }

    // Stops the alarm and, for a non-zero budget, restarts it with that
    // budget; 0 leaves the stopper without a time limit.
    void setTimeout(DWORD milliseconds);

    // True when the cancel flag is set.
    bool isCancelled() const;
    // True when the budget has run out.
    bool isTimeout() const { return m_alarm.isTimeout(); }
    // The budget left: 0 without a budget, 1 once it has run out.
    DWORD getRemaingTimeout() const { return m_alarm.getRemaining(); }
    // Cancelled (checked first) or out of time.
    bool isStopped() const;

protected:
    unsigned char* m_cancelFlag = nullptr;
    DWORD m_timeout = 0;
    CAlarmClock m_alarm;
};
