#include "quillet/dispatch/msgdispatcher.h"

MsgDispatcher::MsgDispatcher() = default;

MsgDispatcher::~MsgDispatcher()
{
    stop();
}

void MsgDispatcher::start()
{
    stop();
    m_queue.clearStop();
    QThread::start(QThread::InheritPriority);
}

void MsgDispatcher::stop()
{
    m_queue.requestStop();
    wait();
    m_queue.dropQueued();
}

void MsgDispatcher::post(std::unique_ptr<UiMsg>& msg)
{
    m_queue.post(std::move(msg));
}

void MsgDispatcher::run()
{
    m_queue.run();
}
