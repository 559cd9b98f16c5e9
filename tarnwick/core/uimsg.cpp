#include "tarnwick/core/uimsg.h"

#include "tarnwick/core/msgdispatcher.h"

#include <QCoreApplication>
#include <QEventLoop>

#include <atomic>
#include <memory>

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
    };
    auto wait = std::make_shared<Wait>();
    auto finish = [wait] {
        if (wait->finished.exchange(true))
            return;
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
    (dispatcher ? dispatcher : MsgDispatcher::instance())->post(std::move(msg));
    QEventLoop loop;
    wait->loop = &loop;
    if (!wait->finished)
        loop.exec();
    wait->loop = nullptr;
    return wait->code;
}

int UiMsg::postAndWait(std::function<int(UiMsg*)> function)
{
    return postAndWait(std::make_unique<UiMsg>(std::move(function)));
}
