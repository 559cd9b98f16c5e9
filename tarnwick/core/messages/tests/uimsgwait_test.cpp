// The caller's wait for a message's result: a nested event loop that the
// dispatcher's end of the message ends with a queued call.
#include "tarnwick/core/messages/uimsg.h"

#include "tarnwick/core/messages/msgdispatcher.h"
#include "tarnwick/core/tests/paneltesthelpers.h"
#include "testing/main/logcapture.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QPointer>
#include <QSemaphore>
#include <QTimer>

#include <gtest/gtest.h>

#include <atomic>
#include <memory>

namespace {

// Runs every message inside post, before the caller's loop has started.
class InlineDispatcher : public MsgDispatcher {
public:
    void post(std::unique_ptr<MsgBase> msg) override { msg->Run(); }
};

// Deletes every message unrun.
class DroppingDispatcher : public MsgDispatcher {
public:
    void post(std::unique_ptr<MsgBase> msg) override { msg.reset(); }
};

// Ends a wait that would otherwise hang the test.
void watchdog(int ms)
{
    QTimer::singleShot(ms, qApp, [] {
        ADD_FAILURE() << "the wait did not end";
        QCoreApplication::exit(1);
    });
}

} // namespace

TEST(UiMsgWait, ReturnsTheResultOfAMessageThatCompletesBeforeTheLoopStarts)
{
    InlineDispatcher dispatcher;
    watchdog(20000);
    EXPECT_EQ(UiMsg::postAndWait(std::make_unique<UiMsg>([](UiMsg*) { return 42; }), &dispatcher), 42);
}

TEST(UiMsgWait, ReturnsMinusOneForAMessageDeletedUnrun)
{
    DroppingDispatcher dispatcher;
    watchdog(20000);
    EXPECT_EQ(UiMsg::postAndWait(std::make_unique<UiMsg>([](UiMsg*) { return 5; }), &dispatcher), -1);
}

TEST(UiMsgWait, WaitsOnTheProcessDispatcherWithoutBlockingTheLoop)
{
    watchdog(20000);
    bool timerFired = false;
    QTimer::singleShot(10, qApp, [&] { timerFired = true; });
    const int code = UiMsg::postAndWait([](UiMsg*) {
        QThread::msleep(300);
        return 3;
    });
    EXPECT_EQ(code, 3);
    EXPECT_TRUE(timerFired) << "the caller's events ran during the wait";
}

namespace {

// A message held on the dispatcher until released (5 s at most, so that a
// wait without its limit fails instead of hanging); what it uses it shares
// with the test, so that it may outlive the wait.
struct HeldJob {
    std::shared_ptr<QSemaphore> gate = std::make_shared<QSemaphore>();
    std::shared_ptr<std::atomic<bool>> started = std::make_shared<std::atomic<bool>>(false);
    std::shared_ptr<std::atomic<bool>> ran = std::make_shared<std::atomic<bool>>(false);

    std::unique_ptr<UiMsg> message(const QString& name) const
    {
        auto msg = std::make_unique<UiMsg>([gate = gate, started = started, ran = ran](UiMsg*) {
            *started = true;
            gate->tryAcquire(1, 5000);
            *ran = true;
            return 3;
        });
        msg->setObjectName(name);
        return msg;
    }
    // Lets it end, and waits for that: the process's dispatcher is shared.
    void release() const
    {
        gate->release();
        EXPECT_TRUE(PanelTest::waitUntil([ran = ran] { return ran->load(); }, 10000));
    }
};

} // namespace

// The application's quit ends every event loop of the thread, the wait's
// among them. A message that ends soon after still gives its result; one
// that does not is given up kQuitWaitLimitMs later, named in the log, and
// runs on with what it shares.
TEST(UiMsgWait, AfterAnApplicationQuitTheWaitEndsWithinItsLimit)
{
    HeldJob held;
    UiMsg::Waited waited;
    qint64 afterQuit = -1;
    TestLog::LogCapture log;
    QTimer::singleShot(0, qApp, [&] {
        QElapsedTimer clock;
        QTimer::singleShot(50, qApp, [&] {
            clock.start();
            QCoreApplication::quit();
        });
        waited = UiMsg::postAndWaitWithin(held.message(QStringLiteral("held job")), -1);
        afterQuit = clock.elapsed();
    });
    QCoreApplication::exec();
    EXPECT_FALSE(waited.over);
    EXPECT_EQ(waited.code, -1);
    EXPECT_GE(afterQuit, UiMsg::kQuitWaitLimitMs - 10);
    EXPECT_LT(afterQuit, UiMsg::kQuitWaitLimitMs + 2000);
    EXPECT_TRUE(log.contains(QStringLiteral(
        "UiMsg \"held job\" not done 250 ms after the application's quit (the dispatcher runs UiMsg \"held job\"): "
        "not waited for any more")))
        << log.all();
    EXPECT_FALSE(*held.ran);
    held.release();
}

TEST(UiMsgWait, AMessageEndingRightAfterTheQuitStillGivesItsResult)
{
    HeldJob held;
    UiMsg::Waited waited;
    QTimer::singleShot(0, qApp, [&] {
        QTimer::singleShot(50, qApp, [&] {
            held.gate->release();
            QCoreApplication::quit();
        });
        waited = UiMsg::postAndWaitWithin(held.message(QStringLiteral("quick job")), -1);
    });
    QCoreApplication::exec();
    EXPECT_TRUE(waited.over);
    EXPECT_EQ(waited.code, 3);
    EXPECT_TRUE(*held.ran);
}

// A wait with a limit gives up at it, with the events of its thread running
// meanwhile; what it waited for runs later, behind what held the dispatcher.
TEST(UiMsgWait, AWaitGivesUpAtItsLimitAndNamesWhatHoldsTheDispatcher)
{
    HeldJob held;
    HeldJob behind;
    MsgDispatcher::instance()->post(held.message(QStringLiteral("first job")));
    ASSERT_TRUE(PanelTest::waitUntil([&] { return held.started->load(); }, 10000));
    TestLog::LogCapture log;
    bool timerFired = false;
    QTimer::singleShot(10, qApp, [&] { timerFired = true; });
    QElapsedTimer clock;
    clock.start();
    behind.gate->release();
    const UiMsg::Waited waited = UiMsg::postAndWaitWithin(behind.message(QStringLiteral("second job")), 300);
    const qint64 took = clock.elapsed();
    EXPECT_FALSE(waited.over);
    EXPECT_GE(took, 250); // a coarse timer may fire 5 % early
    EXPECT_LT(took, 3000);
    EXPECT_TRUE(timerFired);
    EXPECT_TRUE(log.contains(QStringLiteral("UiMsg \"second job\" not done"))) << log.all();
    EXPECT_TRUE(log.contains(QStringLiteral("(the dispatcher runs UiMsg \"first job\"): not waited for any more")))
        << log.all();
    held.release();
    EXPECT_TRUE(PanelTest::waitUntil([ran = behind.ran] { return ran->load(); }, 10000));
}

TEST(UiMsgWait, AStoppedDispatcherIsNotPostedTo)
{
    MsgDispatcher dispatcher;
    ASSERT_TRUE(dispatcher.stop());
    auto ran = std::make_shared<std::atomic<bool>>(false);
    auto msg = std::make_unique<UiMsg>([ran](UiMsg*) {
        *ran = true;
        return 0;
    });
    QPointer<UiMsg> watched(msg.get());
    QElapsedTimer clock;
    clock.start();
    const UiMsg::Waited waited = UiMsg::postAndWaitWithin(std::move(msg), 2000, &dispatcher);
    EXPECT_LT(clock.elapsed(), 1000);
    EXPECT_TRUE(waited.over);
    EXPECT_EQ(waited.code, -1);
    EXPECT_TRUE(watched.isNull()) << "deleted unrun, not queued";
    dispatcher.restart();
    EXPECT_TRUE(dispatcher.stop());
    EXPECT_FALSE(*ran);
}
