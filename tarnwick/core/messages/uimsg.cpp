#include "tarnwick/core/messages/uimsg.h"

#include "tarnwick/core/messages/msgdispatcher.h"

#include "platform/dispatch/messagequeue.h"
#include "platform/dispatch/nestedwait.h"

UiMsg::UiMsg(std::function<int(UiMsg*)> function)
    : m_function(std::move(function))
{
}

UiMsg::~UiMsg() = default;

void UiMsg::Run()
{
    emit Complete(platform::jobResult(m_function, this));
}

int UiMsg::postAndWait(std::unique_ptr<UiMsg> msg, MsgDispatcher* dispatcher)
{
    platform::NestedWait wait;
    wait.follow(msg.get());
    MsgDispatcher* target = dispatcher ? dispatcher : MsgDispatcher::instance();
    target->post(std::move(msg));
    if (wait.exec() != platform::NestedWait::End::Interrupted)
        return wait.code();
    // The application's quit ends every loop of the thread at once, and every
    // loop started while the program unwinds returns at once. The message may
    // still be queued or running then, with what the caller lent it: its end
    // is waited for without events. A password request ahead of it would
    // wait for this thread, so it is answered with a cancel; a dispatcher
    // that no longer runs will never run the message.
    MsgDispatcher::cancelPendingWaits();
    if (!target->isRunning() && !wait.ended())
        return -1;
    wait.waitUntilEnded();
    return wait.code();
}

int UiMsg::postAndWait(std::function<int(UiMsg*)> function)
{
    return postAndWait(std::make_unique<UiMsg>(std::move(function)));
}
