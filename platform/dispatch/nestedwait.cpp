#include "platform/dispatch/nestedwait.h"

#include <QEventLoop>
#include <QMetaObject>
#include <QTimer>

#include <chrono>
#include <condition_variable>
#include <mutex>

namespace platform {

// Shared by the waiting thread and every waker. The loop is known here only
// while it runs, and only under the mutex: a waker posts the loop's quit
// under that mutex, and the waiting thread forgets the loop under it before
// the loop is destroyed, so a quit is never posted to a loop that is gone.
// (A queued connection from a worker's signal to the loop would race the
// loop's destruction against the worker's emission on its own thread.)
struct NestedWait::State {
    std::mutex mutex;
    std::condition_variable endedCondition;
    bool ended = false;
    End end = End::Interrupted;
    int code = -1;
    QEventLoop* loop = nullptr;

    // Under the mutex. Posted even when the waker runs on the loop's own
    // thread: the quit then comes after everything already posted to it.
    // Named, so that Qt alone makes, delivers and frees the call: a call
    // object made here would reach the loop's thread through Qt's event
    // queue, in an order that ThreadSanitizer does not see. The wait's own
    // state goes over under the mutex.
    void postQuit() { QMetaObject::invokeMethod(loop, "quit", Qt::QueuedConnection); }

    void finish(End how, int value)
    {
        {
            std::lock_guard<std::mutex> lock(mutex);
            if (ended)
                return;
            ended = true;
            end = how;
            code = value;
            if (loop != nullptr)
                postQuit();
        }
        endedCondition.notify_all();
    }
};

NestedWait::Waker::Waker(std::shared_ptr<State> state)
    : m_state(std::move(state))
{
}

void NestedWait::Waker::wake(int code) const
{
    if (m_state)
        m_state->finish(End::Woken, code);
}

NestedWait::NestedWait()
    : m_state(std::make_shared<State>())
{
}

NestedWait::~NestedWait() = default;

NestedWait::Waker NestedWait::waker() const
{
    return Waker(m_state);
}

void NestedWait::endWhenDestroyed(const QObject* worker) const
{
    QObject::connect(worker, &QObject::destroyed, [state = m_state] { state->finish(End::WorkerGone, -1); });
}

NestedWait::End NestedWait::exec(int timeoutMs)
{
    QEventLoop loop;
    QTimer limit;
    limit.setSingleShot(true);
    QObject::connect(&limit, &QTimer::timeout, &loop, [state = m_state] { state->finish(End::TimedOut, -1); });
    {
        std::lock_guard<std::mutex> lock(m_state->mutex);
        m_state->loop = &loop;
        // Ended before the loop: it still runs once, for what came before the wake.
        if (m_state->ended)
            m_state->postQuit();
        else if (timeoutMs >= 0)
            limit.start(timeoutMs);
    }
    loop.exec();
    std::lock_guard<std::mutex> lock(m_state->mutex);
    m_state->loop = nullptr;
    return m_state->ended ? m_state->end : End::Interrupted;
}

NestedWait::End NestedWait::waitUntilEnded(int limitMs)
{
    std::unique_lock<std::mutex> lock(m_state->mutex);
    const auto ended = [this] { return m_state->ended; };
    if (limitMs < 0)
        m_state->endedCondition.wait(lock, ended);
    else if (!m_state->endedCondition.wait_for(lock, std::chrono::milliseconds(limitMs), ended))
        return End::TimedOut;
    return m_state->end;
}

bool NestedWait::ended() const
{
    std::lock_guard<std::mutex> lock(m_state->mutex);
    return m_state->ended;
}

int NestedWait::code() const
{
    std::lock_guard<std::mutex> lock(m_state->mutex);
    return m_state->code;
}

} // namespace platform
