#pragma once

// A counting semaphore of the standard library's mutex and condition
// variable, which every checker of threads sees: one thread releases, the
// other takes, with or without a wait of its own limit.

#include <condition_variable>
#include <cstdint>
#include <mutex>

namespace FF {
namespace utils {

class CountingSemaphore {
public:
    CountingSemaphore() = default;
    CountingSemaphore(const CountingSemaphore&) = delete;
    CountingSemaphore& operator=(const CountingSemaphore&) = delete;

    // One more to take; wakes one waiter.
    void release();
    // Takes one if there is one; never waits.
    bool tryAcquire();
    // Takes one, waiting at most ms for it; false when none came in time.
    bool tryAcquireFor(std::uint32_t ms);

private:
    std::mutex m_lock;
    std::condition_variable m_released; // under m_lock
    std::uint64_t m_count = 0;          // under m_lock
};

} // namespace utils
} // namespace FF
