#pragma once

// The owning queue and the loop of a dispatcher thread: a message posted from
// any thread is owned by the queue until the loop takes it, runs one at a
// time in posting order, and is deleted right after its Run. The thread is
// the dispatcher's own (a QThread whose run() calls run() here).

#include "platform/exceptionlog/exceptionlog.h"

#include <QDeadlineTimer>
#include <QObject>
#include <QThread>

#include <atomic>
#include <condition_variable>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <type_traits>
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

// How a log names a message: its class, and for a QObject its object name
// when it has one.
template <class Msg>
std::string describeMessage(const Msg& msg)
{
    if constexpr (std::is_base_of_v<QObject, Msg>) {
        std::string text = msg.metaObject()->className();
        const QString name = msg.objectName();
        if (!name.isEmpty())
            text += " \"" + name.toStdString() + "\"";
        return text;
    } else {
        return typeid(msg).name();
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
    // Whether run() returns (or has returned) before the next message.
    bool stopRequested() const { return m_stop; }

    // The message whose Run is in progress (describeMessage), or empty.
    std::string running() const
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        return m_running;
    }

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
                m_running = describeMessage(*msg);
            }
            try {
                msg->Run();
            } catch (...) {
                reportEscapedException(typeid(*msg).name()); // the loop goes on with the next
            }
            msg.reset();
            std::lock_guard<std::mutex> lock(m_mutex);
            m_running.clear();
        }
    }

private:
    std::atomic<bool> m_stop{false};
    std::deque<std::unique_ptr<Msg>> m_queue;
    std::string m_running;
    mutable std::mutex m_mutex;
    std::condition_variable m_wake;
};

// The end of a dispatcher thread whose run() is queue.run(): the loop ends
// after the Run in progress, which is waited for at most limitMs. True when
// the thread has ended. False when the Run outlasts the limit: the log names
// it and `owner`, and it is left running; the thread object and whatever the
// message uses must then stay (deleting a running QThread ends the program).
// Either way the messages not yet run are deleted.
template <class Msg>
bool stopDispatcherThread(QThread& thread, MessageQueue<Msg>& queue, int limitMs, const char* owner)
{
    queue.requestStop();
    const bool ended = thread.wait(QDeadlineTimer(limitMs));
    if (!ended) {
        const std::string running = queue.running();
        qWarning("%s: %s still runs %d ms after the dispatcher's stop: left running", owner,
                 running.empty() ? "a message" : running.c_str(), limitMs);
    }
    queue.dropQueued();
    return ended;
}

} // namespace platform
