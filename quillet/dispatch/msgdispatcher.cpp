#include "quillet/dispatch/msgdispatcher.h"

MsgDispatcher::MsgDispatcher() = default;

MsgDispatcher::~MsgDispatcher()
{
    stop();
}

void MsgDispatcher::start()
{
    stop();
    m_stop = false;
    QThread::start(QThread::InheritPriority);
}

void MsgDispatcher::stop()
{
    m_stop = true;
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_wake.notify_all();
    }
    wait();
    std::deque<std::unique_ptr<UiMsg>> stale;
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        stale.swap(m_queue);
    }
    stale.clear();
}

void MsgDispatcher::post(std::unique_ptr<UiMsg>& msg)
{
    if (!msg)
        return;
    std::lock_guard<std::mutex> lock(m_mutex);
    m_queue.push_back(std::move(msg));
    m_wake.notify_all();
}

void MsgDispatcher::run()
{
    for (;;) {
        if (m_stop)
            return;
        std::unique_ptr<UiMsg> msg;
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
        msg->Run();
        msg.reset();
    }
}
