#pragma once

#include "quillet/dispatch/uimsg.h"

#include "platform/dispatch/messagequeue.h"

#include <QThread>

#include <memory>

// The worker thread of the pass-through tool: runs posted work items one at
// a time, first in first out, and deletes each right after it ran.
class MsgDispatcher final : public QThread {
    Q_OBJECT
public:
    MsgDispatcher();
    ~MsgDispatcher() override;

    // Ends a running worker and drops stale messages first.
    void start();
    // Waits for the item being run, then deletes every item not yet run.
    void stop();
    // Takes the message over; the holder is left empty.
    void post(std::unique_ptr<UiMsg>& msg);

protected:
    void run() override;

private:
    // The stop flag, the owning queue, its mutex and condition, and the loop.
    platform::MessageQueue<UiMsg> m_queue;
};
