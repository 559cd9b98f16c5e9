#pragma once

// Owns one transfer thread: letting it go waits for the thread to end and
// then deletes it. The wait has its end: a thread still running after the
// end limit is logged and cancelled (its file stops before its next piece,
// and a piece's call is bounded by its time-out), then waited for up to the
// cancel limit; one that runs even then is logged and left running, never
// deleted while it runs: it goes to FF::utils::LeftRunning with a share of
// what the holder's threads use, and both are freed once it has ended.

#include "brellfin/service/serviceconstants.h"
#include "framework/utils/leftrunning.h"

#include <QDeadlineTimer>
#include <QtGlobal>

#include <memory>
#include <utility>

template <class Thread>
class ThreadHolder {
public:
    // uses: what every thread held here calls through (the session's
    // client), shared with a thread left running until it has ended.
    explicit ThreadHolder(int endLimitMs = BrellfinService::kThreadEndLimitMs,
                          int cancelLimitMs = BrellfinService::kThreadCancelLimitMs,
                          std::shared_ptr<void> uses = nullptr)
        : m_endLimitMs(endLimitMs)
        , m_cancelLimitMs(cancelLimitMs)
        , m_uses(std::move(uses))
    {
    }
    ~ThreadHolder() { reset(); }
    ThreadHolder(const ThreadHolder&) = delete;
    ThreadHolder& operator=(const ThreadHolder&) = delete;

    Thread* get() const { return m_thread.get(); }
    explicit operator bool() const { return bool(m_thread); }

    // Waits for the held thread as above, deletes it once it has ended, and
    // holds thread instead. False when the held thread was left running.
    bool reset(Thread* thread = nullptr)
    {
        bool ended = true;
        if (m_thread && !m_thread->wait(QDeadlineTimer(m_endLimitMs))) {
            qWarning("transfer thread still running after %d ms: cancelling it", m_endLimitMs);
            m_thread->cancel();
            if (!m_thread->wait(QDeadlineTimer(m_cancelLimitMs))) {
                qWarning("transfer thread still running %d ms after its cancel: left running", m_cancelLimitMs);
                // Deleting a running QThread ends the program.
                FF::utils::LeftRunning::keepThread(std::move(m_thread), m_uses, "a transfer thread");
                ended = false;
            }
        }
        m_thread.reset(thread);
        return ended;
    }

private:
    int m_endLimitMs;
    int m_cancelLimitMs;
    std::shared_ptr<void> m_uses;
    std::unique_ptr<Thread> m_thread;
};
