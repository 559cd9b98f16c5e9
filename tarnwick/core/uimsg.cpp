#include "tarnwick/core/uimsg.h"

#include "tarnwick/core/msgdispatcher.h"

#include <QEventLoop>

#include <atomic>

UiMsg::UiMsg(std::function<int(UiMsg*)> function)
    : m_function(std::move(function))
{
}

UiMsg::~UiMsg() = default;

void UiMsg::Run()
{
    int code = -1;
    try {
        code = m_function(this);
    } catch (...) {
        code = -1;
    }
    emit Complete(code);
}

int UiMsg::postAndWait(std::unique_ptr<UiMsg> msg, MsgDispatcher* dispatcher)
{
    struct Outcome {
        std::atomic<int> code{-1};
    };
    auto outcome = std::make_shared<Outcome>();
    QEventLoop loop;
    // The result is stored on the dispatcher thread; the quit travels as a
    // queued call to this thread, so it waits in the queue until the loop
    // below runs even when the message completes before exec().
    QObject::connect(msg.get(), &UiMsg::Complete, msg.get(),
                     [outcome](int code) { outcome->code = code; }, Qt::DirectConnection);
    QObject::connect(msg.get(), &UiMsg::Complete, &loop, &QEventLoop::quit, Qt::QueuedConnection);
    // A message deleted unrun (dispatcher stopped) ends the wait with -1.
    QObject::connect(msg.get(), &QObject::destroyed, &loop, &QEventLoop::quit, Qt::QueuedConnection);
    (dispatcher ? dispatcher : MsgDispatcher::instance())->post(std::move(msg));
    loop.exec();
    return outcome->code;
}

int UiMsg::postAndWait(std::function<int(UiMsg*)> function)
{
    return postAndWait(std::make_unique<UiMsg>(std::move(function)));
}
