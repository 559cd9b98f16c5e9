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
    // How long stop() waits for the item being run by default.
    static constexpr int kStopLimitMs = 2000;

    MsgDispatcher();
    // Stops; an owner whose stop() returned false keeps the dispatcher
    // instead of destroying it.
    ~MsgDispatcher() override;

    // Ends a running worker and drops stale messages first.
    void start();
    // Ends the worker after the item being run, waiting for it at most
    // limitMs, and deletes every item not yet run. False when the item
    // outlasts the limit: it is logged and left running, and the dispatcher
    // and what the item uses must stay until it ends.
    bool stop(int limitMs = kStopLimitMs);
    // Takes the message over; the holder is left empty.
    void post(std::unique_ptr<UiMsg>& msg);

protected:
    void run() override;

private:
    // The stop flag, the owning queue, its mutex and condition, and the loop.
    platform::MessageQueue<UiMsg> m_queue;
};
