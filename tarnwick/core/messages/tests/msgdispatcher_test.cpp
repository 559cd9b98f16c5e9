#include "tarnwick/core/messages/msgdispatcher.h"

#include "tarnwick/core/messages/passwdmsg.h"
#include "tarnwick/core/messages/uimsg.h"
#include "tarnwick/core/panelrpc/panelrpcclient.h"
#include "tarnwick/core/tests/paneltesthelpers.h"
#include "testing/main/logcapture.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QPointer>
#include <QSemaphore>
#include <QTimer>

#include <gtest/gtest.h>

#include <atomic>
#include <mutex>
#include <stdexcept>
#include <thread>
#include <vector>

namespace {

// A message that counts its runs and its deletion.
class CountingMsg : public MsgBase {
public:
    CountingMsg(std::atomic<int>& ran, std::atomic<int>& deleted)
        : m_ran(ran)
        , m_deleted(deleted)
    {
    }
    ~CountingMsg() override { ++m_deleted; }
    void Run() override { ++m_ran; }

private:
    std::atomic<int>& m_ran;
    std::atomic<int>& m_deleted;
};

// Blocks the dispatcher until released.
class BlockingMsg : public MsgBase {
public:
    BlockingMsg(QSemaphore& started, QSemaphore& gate)
        : m_started(started)
        , m_gate(gate)
    {
    }
    void Run() override
    {
        m_started.release();
        m_gate.acquire();
    }

private:
    QSemaphore& m_started;
    QSemaphore& m_gate;
};

class ThrowingMsg : public MsgBase {
public:
    void Run() override { throw std::runtime_error("broken message"); }
};

int runAndWait(MsgDispatcher& dispatcher, std::unique_ptr<UiMsg> msg)
{
    std::atomic<int> code{-100};
    std::atomic<bool> done{false};
    QObject::connect(
        msg.get(), &UiMsg::Complete, msg.get(),
        [&](int c) {
            code = c;
            done = true;
        },
        Qt::DirectConnection);
    dispatcher.post(std::move(msg));
    PanelTest::waitUntil([&] { return done.load(); }, 10000);
    return code;
}

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

TEST(MsgDispatcher, PostsOfTwoThreadsRunOneAtATimeInPostOrder)
{
    MsgDispatcher dispatcher;
    std::mutex mutex;
    std::vector<int> order[2];
    std::atomic<int> running{0};
    std::atomic<int> overlaps{0};
    std::atomic<int> finished{0};
    auto poster = [&](int who) {
        for (int i = 0; i < 1000; ++i) {
            dispatcher.post(std::make_unique<UiMsg>([&, who, i](UiMsg*) {
                if (running.fetch_add(1) != 0)
                    ++overlaps;
                {
                    std::lock_guard<std::mutex> lock(mutex);
                    order[who].push_back(i);
                }
                --running;
                ++finished;
                return 0;
            }));
        }
    };
    std::thread a(poster, 0);
    std::thread b(poster, 1);
    a.join();
    b.join();
    ASSERT_TRUE(PanelTest::waitUntil([&] { return finished == 2000; }, 30000));
    EXPECT_EQ(overlaps, 0);
    for (const auto& seen : order) {
        ASSERT_EQ(seen.size(), 1000u);
        for (int i = 0; i < 1000; ++i)
            ASSERT_EQ(seen[static_cast<size_t>(i)], i);
    }
}

TEST(MsgDispatcher, StopFinishesTheRunningMessageAndDeletesTheQueuedOnesUnrun)
{
    MsgDispatcher dispatcher;
    QSemaphore started;
    QSemaphore gate;
    std::atomic<int> ran{0};
    std::atomic<int> deleted{0};
    dispatcher.post(std::make_unique<BlockingMsg>(started, gate));
    ASSERT_TRUE(started.tryAcquire(1, 10000));
    for (int i = 0; i < 3; ++i)
        dispatcher.post(std::make_unique<CountingMsg>(ran, deleted));

    std::atomic<bool> stopped{false};
    std::thread stopper([&] {
        dispatcher.stop();
        stopped = true;
    });
    QThread::msleep(500);
    EXPECT_FALSE(stopped) << "stop waits for the running message";
    gate.release();
    stopper.join();
    EXPECT_EQ(ran, 0);
    EXPECT_EQ(deleted, 3);
}

TEST(MsgDispatcher, AMessagePostedAfterStopIsDeletedUnrunByTheDestructor)
{
    std::atomic<int> ran{0};
    std::atomic<int> deleted{0};
    {
        MsgDispatcher dispatcher;
        dispatcher.stop();
        dispatcher.post(std::make_unique<CountingMsg>(ran, deleted));
        QThread::msleep(100);
        EXPECT_EQ(deleted, 0);
    }
    EXPECT_EQ(ran, 0);
    EXPECT_EQ(deleted, 1);
}

TEST(MsgDispatcher, UiMsgReportsTheFunctionsResultOrMinusOne)
{
    MsgDispatcher dispatcher;
    EXPECT_EQ(runAndWait(dispatcher, std::make_unique<UiMsg>([](UiMsg*) { return 7; })), 7);
    EXPECT_EQ(runAndWait(dispatcher, std::make_unique<UiMsg>(std::function<int(UiMsg*)>())), -1);
    EXPECT_EQ(runAndWait(dispatcher, std::make_unique<UiMsg>([](UiMsg*) -> int { throw std::runtime_error("x"); })),
              -1);
}

TEST(MsgDispatcher, AMessageThatThrowsIsDeletedAndTheNextOneRuns)
{
    MsgDispatcher dispatcher;
    std::atomic<int> ran{0};
    std::atomic<int> deleted{0};
    dispatcher.post(std::make_unique<ThrowingMsg>());
    dispatcher.post(std::make_unique<CountingMsg>(ran, deleted));
    EXPECT_TRUE(PanelTest::waitUntil([&] { return ran == 1 && deleted == 1; }, 10000));
}

TEST(MsgDispatcher, ARunThatPostsGetsItsMessageRunAfterItself)
{
    MsgDispatcher dispatcher;
    std::vector<int> order;
    std::atomic<int> done{0};
    dispatcher.post(std::make_unique<UiMsg>([&](UiMsg*) {
        dispatcher.post(std::make_unique<UiMsg>([&](UiMsg*) {
            order.push_back(2);
            ++done;
            return 0;
        }));
        QThread::msleep(50);
        order.push_back(1);
        return 0;
    }));
    ASSERT_TRUE(PanelTest::waitUntil([&] { return done == 1; }, 10000));
    EXPECT_EQ(order, (std::vector<int>{1, 2}));
}

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

namespace {

// A password request nobody answers, and what it reported, seen on the
// dispatcher thread.
struct UnansweredPasswordRequest {
    std::unique_ptr<PasswdMsg> msg;
    std::atomic<bool> asked{false};
    std::atomic<bool> done{false};
    QString text;
    bool success = true;

    explicit UnansweredPasswordRequest(PanelRpcClient& client)
        : msg(std::make_unique<PasswdMsg>(&client))
    {
        QObject::connect(
            msg.get(), &PasswdMsg::GetPasswd, msg.get(), [this] { asked = true; }, Qt::DirectConnection);
        QObject::connect(
            msg.get(), &PasswdMsg::Complete, msg.get(),
            [this](bool ok, QString t) {
                success = ok;
                text = t;
                done = true;
            },
            Qt::DirectConnection);
    }
};

} // namespace

TEST(MsgDispatcher, CancellingPendingWaitsAnswersAPasswordRequestWithCancel)
{
    MsgDispatcher dispatcher;
    PanelRpcClient client;
    UnansweredPasswordRequest request(client);
    dispatcher.post(std::move(request.msg));
    ASSERT_TRUE(PanelTest::waitUntil([&] { return request.asked.load(); }, 10000));
    QThread::msleep(50);
    MsgDispatcher::cancelPendingWaits();
    ASSERT_TRUE(PanelTest::waitUntil([&] { return request.done.load(); }, 10000));
    EXPECT_FALSE(request.success);
    EXPECT_EQ(request.text, QStringLiteral("取消连接"));
    dispatcher.stop(); // returns: nothing waits any more
}

TEST(MsgDispatcher, StopGivesUpOnARunThatOutlastsItsLimitAndNamesIt)
{
    auto dispatcher = std::make_unique<MsgDispatcher>();
    std::atomic<bool> started{false};
    std::atomic<bool> release{false};
    std::atomic<int> ran{0};
    std::atomic<int> deleted{0};
    auto held = std::make_unique<UiMsg>([&](UiMsg*) {
        started = true;
        while (!release)
            QThread::msleep(5);
        return 0;
    });
    held->setObjectName("held call");
    dispatcher->post(std::move(held));
    ASSERT_TRUE(PanelTest::waitUntil([&] { return started.load(); }, 10000));
    dispatcher->post(std::make_unique<CountingMsg>(ran, deleted));

    TestLog::LogCapture log;
    QElapsedTimer clock;
    clock.start();
    EXPECT_FALSE(dispatcher->stop(300));
    const qint64 took = clock.elapsed();
    EXPECT_GE(took, 250);
    EXPECT_LT(took, 3000);
    EXPECT_TRUE(log.contains("dispatcher: UiMsg \"held call\" still runs 300 ms after the dispatcher's stop"))
        << log.all();
    EXPECT_TRUE(dispatcher->isRunning()) << "the Run was left running";
    EXPECT_EQ(ran, 0);
    EXPECT_EQ(deleted, 1) << "what had not run is dropped";

    release = true;
    // Released, the Run returns and the thread ends: a stop now joins it
    // (isFinished() is already true while the thread is still finishing).
    EXPECT_TRUE(dispatcher->stop(10000));
}

TEST(MsgDispatcher, APasswordRequestNobodyAnswersIsACancelAtItsLimit)
{
    MsgDispatcher dispatcher;
    PanelRpcClient client;
    UnansweredPasswordRequest request(client);
    request.msg->setAnswerLimitMs(300);
    TestLog::LogCapture log;
    QElapsedTimer clock;
    clock.start();
    dispatcher.post(std::move(request.msg));
    ASSERT_TRUE(PanelTest::waitUntil([&] { return request.done.load(); }, 10000));
    const qint64 took = clock.elapsed();
    EXPECT_TRUE(request.asked);
    EXPECT_GE(took, 250);
    EXPECT_LT(took, 3000);
    EXPECT_FALSE(request.success);
    EXPECT_EQ(request.text, QStringLiteral("取消连接"));
    EXPECT_TRUE(log.contains("PasswdMsg: no password given within 300 ms: taken as a cancel")) << log.all();
}
