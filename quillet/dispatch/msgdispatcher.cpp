#include "quillet/dispatch/msgdispatcher.h"

MsgDispatcher::MsgDispatcher() = default;

MsgDispatcher::~MsgDispatcher()
{
    if (!stop()) {
        // Deleting a running thread would end the program: the owner should
        // have kept it. The item's end is all that is left to wait for.
        qCritical("Quillet dispatcher destroyed while its item runs: waiting for it");
        wait();
    }
}

void MsgDispatcher::start()
{
    if (!stop())
        return; // the old worker still runs its item: no second one beside it
    m_queue.clearStop();
    QThread::start(QThread::InheritPriority);
}

bool MsgDispatcher::stop(int limitMs)
{
    return platform::stopDispatcherThread(*this, m_queue, limitMs, "Quillet dispatcher");
}

void MsgDispatcher::post(std::unique_ptr<UiMsg>& msg)
{
    m_queue.post(std::move(msg));
}

void MsgDispatcher::run()
{
    m_queue.run();
}
