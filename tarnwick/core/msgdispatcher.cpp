#include "tarnwick/core/msgdispatcher.h"

#include <QCoreApplication>
#include <QDebug>

#include <exception>
#include <typeinfo>

namespace {

struct PendingWaits {
    std::mutex mutex;
    std::map<const void*, std::function<void()>> cancels;
    bool shuttingDown = false;
};

PendingWaits& pendingWaits()
{
    static PendingWaits waits;
    return waits;
}

} // namespace

MsgDispatcher* MsgDispatcher::instance()
{
    static MsgDispatcher dispatcher;
    static std::once_flag hooked;
    std::call_once(hooked, [] {
        if (QCoreApplication::instance())
            qAddPostRoutine(&MsgDispatcher::shutdownAtQuit);
    });
    return &dispatcher;
}

MsgDispatcher::MsgDispatcher()
    : QThread(nullptr)
{
    restart();
}

MsgDispatcher::~MsgDispatcher()
{
    stop();
}

void MsgDispatcher::post(std::unique_ptr<MsgBase> msg)
{
    if (!msg)
        return;
    std::lock_guard<std::mutex> lock(m_mutex);
    m_queue.push_back(std::move(msg));
    m_wake.notify_all();
}

void MsgDispatcher::stop()
{
    m_stop = true;
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_wake.notify_all();
    }
    wait();
    std::deque<std::unique_ptr<MsgBase>> unrun;
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        unrun.swap(m_queue);
    }
    // Deleted outside the lock: a destructor may post.
    unrun.clear();
}

void MsgDispatcher::restart()
{
    stop();
    m_stop = false;
    start(QThread::InheritPriority);
}

void MsgDispatcher::run()
{
    for (;;) {
        if (m_stop)
            return;
        std::unique_ptr<MsgBase> msg;
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
        // A message that lets an exception escape is logged and deleted; the
        // dispatcher goes on with the next one.
        try {
            msg->Run();
        } catch (const std::exception& e) {
            qDebug() << "message" << typeid(*msg).name() << "failed:" << e.what();
        } catch (...) {
            qDebug() << "message" << typeid(*msg).name() << "failed with an unknown exception";
        }
        try {
            msg.reset();
        } catch (...) {
            qDebug() << "a message's destructor threw";
        }
    }
}

bool MsgDispatcher::addPendingWait(const void* key, std::function<void()> cancel)
{
    PendingWaits& waits = pendingWaits();
    std::lock_guard<std::mutex> lock(waits.mutex);
    if (waits.shuttingDown)
        return false;
    waits.cancels[key] = std::move(cancel);
    return true;
}

void MsgDispatcher::removePendingWait(const void* key)
{
    PendingWaits& waits = pendingWaits();
    std::lock_guard<std::mutex> lock(waits.mutex);
    waits.cancels.erase(key);
}

void MsgDispatcher::cancelPendingWaits()
{
    PendingWaits& waits = pendingWaits();
    std::lock_guard<std::mutex> lock(waits.mutex);
    // The cancels only hand over an answer and release a semaphore.
    for (auto& entry : waits.cancels)
        entry.second();
}

void MsgDispatcher::shutdownAtQuit()
{
    {
        PendingWaits& waits = pendingWaits();
        std::lock_guard<std::mutex> lock(waits.mutex);
        waits.shuttingDown = true;
    }
    cancelPendingWaits();
    instance()->stop();
}
