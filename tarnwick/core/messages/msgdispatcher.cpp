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

// The process's dispatcher when its deleter found a Run still running.
MsgDispatcher* leftToItsRun = nullptr;

// Deletes the process's dispatcher at exit once its thread has ended; one
// whose Run was left running is left to that Run for the rest of the process
// (reachable, so a leak check does not count it), and the messages keep
// what they use: deleted later, it would be deleted beside the destructors
// of the process's statics. After the application's end has stopped it,
// that stop's outcome stands.
struct DeleteWhenEnded {
    void operator()(MsgDispatcher* dispatcher) const
    {
        std::unique_ptr<MsgDispatcher> owned(dispatcher);
        bool stoppedAtQuit = false;
        {
            PendingWaits& waits = pendingWaits();
            std::lock_guard<std::mutex> lock(waits.mutex);
            stoppedAtQuit = waits.shuttingDown;
        }
        // A Run that the application's end left running was logged then.
        const bool running = stoppedAtQuit ? owned->isRunning() : !owned->stop(MsgDispatcher::kStopLimitMs);
        if (running)
            leftToItsRun = owned.release();
    }
};

} // namespace

MsgDispatcher* MsgDispatcher::instance()
{
    pendingWaits(); // made first, so that it is still there when the deleter runs at exit
    static const std::unique_ptr<MsgDispatcher, DeleteWhenEnded> dispatcher(new MsgDispatcher);
    static std::once_flag hooked;
    std::call_once(hooked, [] {
        if (QCoreApplication::instance())
            qAddPostRoutine([] { MsgDispatcher::shutdownAtQuit(); });
    });
    return dispatcher.get();
}

MsgDispatcher::MsgDispatcher()
    : QThread(nullptr)
{
    restart();
}

MsgDispatcher::~MsgDispatcher()
{
    if (!stop()) {
        // Deleting a running thread would end the program: its owner should
        // have kept it. The Run's end is all that is left to wait for.
        qCritical("dispatcher destroyed while a message runs: waiting for it");
        wait();
    }
}

void MsgDispatcher::post(std::unique_ptr<MsgBase> msg)
{
    m_queue.post(std::move(msg));
}

bool MsgDispatcher::stop(int limitMs)
{
    return platform::stopDispatcherThread(*this, m_queue, limitMs, "dispatcher");
}

bool MsgDispatcher::runsPostedMessages() const
{
    return isRunning() && !m_queue.stopRequested();
}

std::string MsgDispatcher::runningMessage() const
{
    return m_queue.running();
}

void MsgDispatcher::restart()
{
    if (!stop())
        return; // the old loop still runs its message: no second one beside it
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

void MsgDispatcher::shutdownAtQuit(int limitMs)
{
    bool first = false;
    {
        PendingWaits& waits = pendingWaits();
        std::lock_guard<std::mutex> lock(waits.mutex);
        first = !waits.shuttingDown;
        waits.shuttingDown = true;
    }
    cancelPendingWaits();
    // A Run that an earlier call left running is not waited for again.
    if (first)
        instance()->stop(limitMs);
}
