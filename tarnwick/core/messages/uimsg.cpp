#include "tarnwick/core/messages/uimsg.h"

#include "tarnwick/core/messages/msgdispatcher.h"

#include "platform/dispatch/messagequeue.h"
#include "platform/dispatch/nestedwait.h"

#include <QDebug>
#include <QElapsedTimer>

#include <algorithm>
#include <string>

namespace {

using End = platform::NestedWait::End;

void logGivenUp(const std::string& message, const QString& when, const MsgDispatcher& dispatcher)
{
    const std::string running = dispatcher.runningMessage();
    qWarning().noquote() << QStringLiteral("%1 not done %2 (the dispatcher runs %3): not waited for any more")
                                .arg(QString::fromStdString(message), when,
                                     running.empty() ? QStringLiteral("nothing") : QString::fromStdString(running));
}

} // namespace

UiMsg::UiMsg(std::function<int(UiMsg*)> function)
    : m_function(std::move(function))
{
}

UiMsg::~UiMsg() = default;

void UiMsg::Run()
{
    emit Complete(platform::jobResult(m_function, this));
}

UiMsg::Waited UiMsg::postAndWaitWithin(std::unique_ptr<UiMsg> msg, int limitMs, MsgDispatcher* dispatcher)
{
    MsgDispatcher* target = dispatcher ? dispatcher : MsgDispatcher::instance();
    const std::string name = platform::describeMessage(*msg);
    if (!target->runsPostedMessages()) {
        qWarning().noquote() << QString::fromStdString(name) << "not run: the dispatcher has stopped";
        return {true, -1};
    }
    platform::NestedWait wait;
    wait.follow(msg.get());
    QElapsedTimer clock;
    clock.start();
    target->post(std::move(msg));
    const End end = wait.exec(limitMs);
    if (end == End::Woken || end == End::WorkerGone)
        return {true, wait.code()};
    if (end == End::TimedOut) {
        logGivenUp(name, QStringLiteral("%1 ms after its post").arg(clock.elapsed()), *target);
        return {false, -1};
    }
    // The application's quit ends every loop of the thread at once, and every
    // loop started while the program unwinds returns at once. A password
    // request ahead of the message would wait for this thread, so it is
    // answered with cancel; a dispatcher that no longer runs will not run
    // the message.
    MsgDispatcher::cancelPendingWaits();
    if (!target->isRunning() && !wait.ended()) {
        qWarning().noquote() << QString::fromStdString(name) << "not run: the dispatcher has stopped";
        return {false, -1};
    }
    int rest = kQuitWaitLimitMs;
    if (limitMs >= 0)
        rest = int(std::max<qint64>(0, std::min<qint64>(rest, limitMs - clock.elapsed())));
    const End late = wait.waitUntilEnded(rest);
    if (late == End::Woken || late == End::WorkerGone)
        return {true, wait.code()};
    logGivenUp(name, QStringLiteral("%1 ms after the application's quit").arg(rest), *target);
    return {false, -1};
}

int UiMsg::postAndWait(std::unique_ptr<UiMsg> msg, MsgDispatcher* dispatcher)
{
    return postAndWaitWithin(std::move(msg), -1, dispatcher).code;
}

int UiMsg::postAndWait(std::function<int(UiMsg*)> function)
{
    return postAndWait(std::make_unique<UiMsg>(std::move(function)));
}
