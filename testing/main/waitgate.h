#pragma once

// Where a test holds its threads until it lets them go: each pass() waits at
// the gate until open() (or, for a gate made with a hold limit, at most that
// long, so that a test that waits for a held thread still ends), and the test
// learns when the threads it means to hold have reached it.

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <optional>

namespace TestWait {

class Gate {
public:
    Gate() = default;
    explicit Gate(std::chrono::milliseconds holdLimit)
        : m_holdLimit(holdLimit)
    {
    }

    // Waits until the gate opens or the hold limit passes; true when opened.
    bool pass()
    {
        std::unique_lock<std::mutex> lock(m_mutex);
        ++m_reached;
        m_changed.notify_all();
        const auto opened = [this] { return m_open; };
        if (m_holdLimit)
            return m_changed.wait_for(lock, *m_holdLimit, opened);
        m_changed.wait(lock, opened);
        return true;
    }
    // Whether count passes have reached the gate, within limit.
    bool waitReached(int count, std::chrono::milliseconds limit)
    {
        std::unique_lock<std::mutex> lock(m_mutex);
        return m_changed.wait_for(lock, limit, [&] { return m_reached >= count; });
    }
    void open()
    {
        {
            std::lock_guard<std::mutex> guard(m_mutex);
            m_open = true;
        }
        m_changed.notify_all();
    }
    bool isOpen()
    {
        std::lock_guard<std::mutex> guard(m_mutex);
        return m_open;
    }

private:
    const std::optional<std::chrono::milliseconds> m_holdLimit;
    std::mutex m_mutex;
    std::condition_variable m_changed;
    int m_reached = 0;
    bool m_open = false;
};

} // namespace TestWait
