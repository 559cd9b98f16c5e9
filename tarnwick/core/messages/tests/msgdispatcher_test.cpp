#include "tarnwick/core/messages/msgdispatcher.h"

#include "tarnwick/core/messages/passwdmsg.h"
#include "tarnwick/core/messages/uimsg.h"
#include "tarnwick/core/panelrpc/panelrpcclient.h"
#include "tarnwick/core/tests/paneltesthelpers.h"
#include "testing/main/logcapture.h"

#include <QElapsedTimer>
#include <QSemaphore>

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
