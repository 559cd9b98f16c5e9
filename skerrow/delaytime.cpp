#include "skerrow/delaytime.h"

#include "skerrow/skerrow.h"

#include <chrono>
#include <thread>

namespace {

// Longer waits are cut to this (about 35 years) so that the deadline cannot overflow the clock.
constexpr unsigned long long kLongestWaitMs = 1ULL << 40;

// The destructor polls for leaving waiters this often before it sleeps a millisecond.
constexpr int kYieldsBeforeSleep = 100;

} // namespace

DelayTime::DelayTime() = default;

DelayTime::~DelayTime()
{
    wake();
    // A waiter's last touch of this object is lowering the count, after it
    // has let go of the mutex; only then may the mutex and condition go.
    int polls = 0;
    while (m_waiters.load(std::memory_order_acquire) != 0) {
        if (++polls % kYieldsBeforeSleep == 0)
            Vexa_Sleep(1);
        else
            std::this_thread::yield();
    }
    // Whoever is still inside wake() or stop() leaves before the mutex is destroyed.
    std::lock_guard<std::mutex> last(m_mutex);
}

bool DelayTime::start()
{
    m_armed.exchange(true);
    return true;
}

void DelayTime::stop()
{
    wake();
}

bool DelayTime::wait(unsigned long milliseconds)
{
    // Counted before anything else, so that a destructor that starts now waits for us.
    m_waiters.fetch_add(1, std::memory_order_acq_rel);
    bool woken;
    {
        std::unique_lock<std::mutex> lock(m_mutex);
        const unsigned long long limit = milliseconds < kLongestWaitMs ? milliseconds : kLongestWaitMs;
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(limit);
        // The flag is tested under the mutex before every sleep, so a wake()
        // between the test and the sleep cannot be lost.
        woken = m_condition.wait_until(lock, deadline, [this] { return !m_armed.load(); });
    }
    m_waiters.fetch_sub(1, std::memory_order_acq_rel);
    return woken;
}

void DelayTime::wake()
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_armed.exchange(false);
    m_condition.notify_all();
}

DelayTimeBase* CreateDelayTimeObj(void)
{
    return new DelayTime;
}

void DeleteDelayTimeObj(DelayTimeBase* obj)
{
    if (!obj)
        return;
    obj->wake();
    delete obj;
}
