#include "framework/utils/countingsemaphore.h"

#include <chrono>

namespace FF {
namespace utils {

void CountingSemaphore::release()
{
    // Told under the lock: a waiter that takes it and lets the semaphore go
    // cannot do so before this call has left it.
    std::lock_guard<std::mutex> guard(m_lock);
    ++m_count;
    m_released.notify_one();
}

bool CountingSemaphore::tryAcquire()
{
    std::lock_guard<std::mutex> guard(m_lock);
    if (m_count == 0)
        return false;
    --m_count;
    return true;
}

bool CountingSemaphore::tryAcquireFor(std::uint32_t ms)
{
    std::unique_lock<std::mutex> lock(m_lock);
    if (!m_released.wait_for(lock, std::chrono::milliseconds(ms), [this] { return m_count > 0; }))
        return false;
    --m_count;
    return true;
}

} // namespace utils
} // namespace FF
