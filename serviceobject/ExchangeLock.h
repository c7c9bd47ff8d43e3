// A recursive lock with a timed wait, for the menu-command exchange: the
// thread that holds it may take it again (a command and its re-enable form
// one exchange), and another thread's wait for it uses up that caller's
// time-out. Built on a plain mutex and condition variable, so it behaves
// alike everywhere, ThreadSanitizer included (the library's timed mutexes
// rest on a call that sanitizer does not follow).
#pragma once

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <thread>

class ExchangeLock {
public:
    void lock()
    {
        std::unique_lock guard(m_mutex);
        m_free.wait(guard, [this] { return takeable(); });
        take();
    }

    template <class Rep, class Period>
    bool try_lock_for(const std::chrono::duration<Rep, Period>& limit)
    {
        std::unique_lock guard(m_mutex);
        if (!m_free.wait_for(guard, limit, [this] { return takeable(); }))
            return false;
        take();
        return true;
    }

    void unlock()
    {
        std::lock_guard guard(m_mutex);
        if (--m_depth == 0) {
            m_owner = std::thread::id();
            m_free.notify_one();
        }
    }

private:
    bool takeable() const { return m_depth == 0 || m_owner == std::this_thread::get_id(); }
    void take()
    {
        m_owner = std::this_thread::get_id();
        ++m_depth;
    }

    std::mutex m_mutex;
    std::condition_variable m_free;
    std::thread::id m_owner;
    int m_depth = 0;
};
