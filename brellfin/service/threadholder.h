#pragma once

// Owns one transfer thread: letting it go waits for the thread to end,
// without limit and without cancelling it, and then deletes it.

#include <memory>

template <class Thread>
class ThreadHolder {
public:
    ThreadHolder() = default;
    ~ThreadHolder() { reset(); }
    ThreadHolder(const ThreadHolder&) = delete;
    ThreadHolder& operator=(const ThreadHolder&) = delete;

    Thread* get() const { return m_thread.get(); }
    explicit operator bool() const { return bool(m_thread); }

    // Waits for the held thread, deletes it, and holds thread instead.
    void reset(Thread* thread = nullptr)
    {
        if (m_thread)
            m_thread->wait();
        m_thread.reset(thread);
    }

private:
    std::unique_ptr<Thread> m_thread;
};
