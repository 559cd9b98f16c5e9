#include "framework/net/sendgate.h"

namespace FF {
namespace Net {

void SendGate::lock()
{
    std::unique_lock<std::mutex> guard(m_mutex);
    m_free.wait(guard, [this] { return !m_taken; });
    m_taken = true;
}

bool SendGate::try_lock()
{
    std::lock_guard<std::mutex> guard(m_mutex);
    if (m_taken)
        return false;
    m_taken = true;
    return true;
}

bool SendGate::try_lock_until(std::chrono::steady_clock::time_point deadline)
{
    std::unique_lock<std::mutex> guard(m_mutex);
    if (!m_free.wait_until(guard, deadline, [this] { return !m_taken; }))
        return false;
    m_taken = true;
    return true;
}

void SendGate::unlock()
{
    {
        std::lock_guard<std::mutex> guard(m_mutex);
        m_taken = false;
    }
    m_free.notify_one();
}

} // namespace Net
} // namespace FF
