// A millisecond alarm on the wrapping 32-bit system tick count. Elapsed time
// is the unsigned difference of two ticks, so a wrap of the count between
// start and test is harmless. Used by one thread at a time.
#pragma once

#include "platform/types.h"

class CAlarmClock {
public:
    CAlarmClock() = default;

    // Takes effect only while the clock is stopped; a running clock keeps its
    // time-out. 0 means no time-out.
    void setTimeout(DWORD milliseconds);
    // Starts the clock when it has a time-out and is not running yet (a second
    // start keeps the first start tick).
    void start();
    void stop() { m_running = false; }

    // True once a non-zero time-out has fully passed since start. An expired
    // clock stays expired until stopped.
    bool isTimeout() const;
    // Milliseconds left; 1, never 0, once the time-out has passed, so that a
    // budget handed on from an expired clock stays a budget; 0 only while the
    // clock is stopped.
    DWORD getRemaining() const;

    DWORD getTimeout() const { return m_timeout; }
    bool isRunning() const { return m_running; }

private:
    DWORD m_timeout = 0;
    bool m_running = false;
    DWORD m_startTick = 0;
};
