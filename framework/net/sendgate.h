#pragma once

// One sender at a time on a connection, with the three waits a send needs:
// none (the receive thread, which must not wait), without end, or until a
// deadline. Usable with std::unique_lock like a std::timed_mutex.
//
// A mutex and a condition variable rather than std::timed_mutex: with g++ 12
// a timed mutex's try_lock_for takes the lock through pthread_mutex_clocklock,
// which ThreadSanitizer's run-time does not know, so it saw a lock taken
// nowhere and its unlock as the unlock of an unlocked mutex (and ordered
// nothing between one sender and the next); the condition variable's
// pthread_cond_clockwait it knows.

#include <chrono>
#include <condition_variable>
#include <mutex>

namespace FF {
namespace Net {

class SendGate {
public:
    void lock();
    bool try_lock();
    bool try_lock_until(std::chrono::steady_clock::time_point deadline);
    template <class Rep, class Period>
    bool try_lock_for(const std::chrono::duration<Rep, Period>& wait)
    {
        return try_lock_until(std::chrono::steady_clock::now()
                              + std::chrono::duration_cast<std::chrono::steady_clock::duration>(wait));
    }
    void unlock();

private:
    std::mutex m_mutex;
    std::condition_variable m_free;
    bool m_taken = false; // under m_mutex
};

} // namespace Net
} // namespace FF
