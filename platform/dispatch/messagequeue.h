#pragma once

// The owning queue and the loop of a dispatcher thread: a message posted from
// any thread is owned by the queue until the loop takes it, runs one at a
// time in posting order, and is deleted right after its Run. The thread is
// the dispatcher's own (a QThread whose run() calls run() here).

#include "platform/exceptionlog/exceptionlog.h"

#include <atomic>
#include <condition_variable>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <typeinfo>

namespace platform {

// The result of a work item's job: what it returned, or -1 when the job is
// empty or throws. Nothing gets past it.
template <class Msg>
int jobResult(const std::function<int(Msg*)>& job, Msg* msg) noexcept
{
    try {
        return job ? job(msg) : -1;
    } catch (...) {
        reportEscapedException("dispatcher work item");
        return -1;
    }
}

template <class Msg>
class MessageQueue {
public:
    // Takes the message and queues it; callable from any thread, also from a
    // Run. A message posted while the loop is stopped waits for a new loop
    // or for dropQueued.
    void post(std::unique_ptr<Msg> msg)
    {
        if (!msg)
            return;
        std::lock_guard<std::mutex> lock(m_mutex);
        m_queue.push_back(std::move(msg));
        m_wake.notify_all();
    }

    // Makes run() return after the Run in progress; an idle loop wakes for it.
    void requestStop()
    {
        m_stop = true;
        std::lock_guard<std::mutex> lock(m_mutex);
        m_wake.notify_all();
    }

    // Before the thread starts again.
    void clearStop() { m_stop = false; }

    // Deletes every message that has not run; they emit nothing. Outside the
    // lock: a destructor may post.
    void dropQueued()
    {
        std::deque<std::unique_ptr<Msg>> unrun;
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            unrun.swap(m_queue);
        }
        unrun.clear();
    }

    // The body of the dispatcher thread, until requestStop.
    void run()
    {
        for (;;) {
            if (m_stop)
                return;
            std::unique_ptr<Msg> msg;
            {
                std::unique_lock<std::mutex> lock(m_mutex);
                while (m_queue.empty()) {
                    if (m_stop)
                        return;
                    m_wake.wait(lock);
                }
                if (m_stop)
                    return;
                msg = std::move(m_queue.front());
                m_queue.pop_front();
            }
            try {
                msg->Run();
            } catch (...) {
                reportEscapedException(typeid(*msg).name()); // the loop goes on with the next
            }
            msg.reset();
        }
    }

private:
    std::atomic<bool> m_stop{false};
    std::deque<std::unique_ptr<Msg>> m_queue;
    std::mutex m_mutex;
    std::condition_variable m_wake;
};

} // namespace platform
