#pragma once

// The delay object behind CreateDelayTimeObj: a wait that another thread can cut short.

#include "skerrow/delaytimebase.h"

#include <atomic>
#include <condition_variable>
#include <mutex>

class DelayTime final : public DelayTimeBase {
public:
    DelayTime();
    // Wakes every waiter and returns only when none is left inside wait().
    ~DelayTime() override;

    bool start() override;
    void stop() override;
    bool wait(unsigned long milliseconds) override;
    void wake() override;

    // Threads currently inside wait().
    int waiters() const { return m_waiters.load(std::memory_order_acquire); }

private:
    std::mutex m_mutex;
    std::condition_variable m_condition;
    std::atomic<bool> m_armed{false};
    std::atomic<int> m_waiters{0};
};
