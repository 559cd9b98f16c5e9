#include "tarnwick/core/uimsg.h"

#include "tarnwick/core/msgdispatcher.h"

#include "platform/dispatch/messagequeue.h"

#include <QCoreApplication>
#include <QEventLoop>

#include <atomic>
#include <condition_variable>
#include <memory>
#include <mutex>

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
    // Shared by this call and the dispatcher thread. The dispatcher thread
    // never touches the local loop: it posts a quit request to the
    // application object, which outlives every wait, and that request runs on
    // this thread and finds the loop only while the wait still runs. (A queued
    // connection to the loop itself races the loop's destruction against the
    // message's `destroyed` on the dispatcher thread.)
    struct Wait {
        std::atomic<int> code{-1};
        std::atomic<bool> finished{false};
        QEventLoop* loop = nullptr;  // this thread only
        std::mutex mutex;
        std::condition_variable done;
    };
    auto wait = std::make_shared<Wait>();
    auto finish = [wait] {
        {
            std::lock_guard<std::mutex> lock(wait->mutex);
            if (wait->finished.exchange(true))
                return;
        }
        wait->done.notify_all();
        QMetaObject::invokeMethod(
            QCoreApplication::instance(),
            [wait] {
                if (wait->loop != nullptr)
                    wait->loop->quit();
            },
            Qt::QueuedConnection);
    };
    QObject::connect(msg.get(), &UiMsg::Complete, [wait, finish](int code) {
        wait->code = code;
        finish();
    });
    // A message deleted unrun (dispatcher stopped) ends the wait with -1.
    QObject::connect(msg.get(), &QObject::destroyed, finish);
    MsgDispatcher* target = dispatcher ? dispatcher : MsgDispatcher::instance();
    target->post(std::move(msg));
    QEventLoop loop;
    wait->loop = &loop;
    if (!wait->finished)
        loop.exec();
    wait->loop = nullptr;
    if (wait->finished)
        return wait->code;
    // The application's quit ends every loop of the thread at once, and every
    // loop started while the program unwinds returns at once. The message may
    // still be queued or running then, with what the caller lent it: its end
    // is waited for without events. A password request ahead of it would
    // wait for this thread, so it is answered with a cancel; a dispatcher
    // that no longer runs will never run the message.
    MsgDispatcher::cancelPendingWaits();
    if (!target->isRunning())
        return -1;
    std::unique_lock<std::mutex> lock(wait->mutex);
    wait->done.wait(lock, [&wait] { return wait->finished.load(); });
    return wait->code;
}

int UiMsg::postAndWait(std::function<int(UiMsg*)> function)
{
    return postAndWait(std::make_unique<UiMsg>(std::move(function)));
}
