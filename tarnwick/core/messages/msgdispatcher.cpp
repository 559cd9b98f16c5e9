#include "tarnwick/core/messages/msgdispatcher.h"

#include <QCoreApplication>

#include <map>
#include <mutex>

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
    m_queue.post(std::move(msg));
}

void MsgDispatcher::stop()
{
    m_queue.requestStop();
    wait();
    m_queue.dropQueued();
}

void MsgDispatcher::restart()
{
    stop();
    m_queue.clearStop();
    start(QThread::InheritPriority);
}

// A message that lets an exception escape is logged and deleted; the
// dispatcher goes on with the next one.
void MsgDispatcher::run()
{
    m_queue.run();
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
