#include "platform/dispatch/nestedwait.h"

#include "platform/dispatch/messagequeue.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QSemaphore>
#include <QThread>
#include <QTimer>

#include <gtest/gtest.h>

#include <chrono>
#include <functional>
#include <memory>
#include <random>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

using platform::NestedWait;
using End = NestedWait::End;

namespace {

// Generous: a limit that only a hang reaches.
constexpr int kHangMs = 30000;
constexpr int kSelfReleaseMs = 5000;

// A work item as both programs have one: a job run on the dispatcher thread,
// its result reported by Complete.
class TestMsg : public QObject {
    Q_OBJECT
public:
    using Job = std::function<int(TestMsg*)>;
    explicit TestMsg(Job job)
        : m_job(std::move(job))
    {
    }
    virtual void Run() { emit Complete(platform::jobResult(m_job, this)); }

signals:
    void Complete(int code);

private:
    Job m_job;
};

// A message whose Run itself lets an exception escape.
class BrokenMsg : public TestMsg {
public:
    BrokenMsg()
        : TestMsg(nullptr)
    {
    }
    void Run() override { throw std::runtime_error("broken run"); }
};

// A dispatcher thread over the shared queue and loop.
class TestDispatcher : public QThread {
public:
    TestDispatcher() { start(); }
    ~TestDispatcher() override { stop(); }
    void post(std::unique_ptr<TestMsg> msg) { m_queue.post(std::move(msg)); }
    void stop()
    {
        m_queue.requestStop();
        wait();
        m_queue.dropQueued();
    }

protected:
    void run() override { m_queue.run(); }

private:
    platform::MessageQueue<TestMsg> m_queue;
};

// Waits in a thread that runs no event loop of its own, as a job on a
// dispatcher thread does when it waits for the window.
class WaitingThread : public QThread {
public:
    NestedWait::Waker waker;
    QSemaphore waiting;
    End end = End::Interrupted;
    int code = 0;

protected:
    void run() override
    {
        NestedWait wait;
        waker = wait.waker();
        // Released only by this thread's own loop, so only inside the wait.
        QTimer::singleShot(0, [this] { waiting.release(); });
        end = wait.exec(kHangMs);
        code = wait.code();
    }
};

// What a worker posts to the waiting thread, by name: Qt alone makes and
// delivers the call and its int (a functor made on the worker would reach
// this thread through Qt's event queue, in an order that ThreadSanitizer
// does not see).
class PostTarget : public QObject {
    Q_OBJECT
public:
    explicit PostTarget(NestedWait::Waker waker = {})
        : m_waker(std::move(waker))
    {
    }
    Q_INVOKABLE void record(int value) { seen.push_back(value); }
    Q_INVOKABLE void wake(int code) const { m_waker.wake(code); }

    std::vector<int> seen;

private:
    NestedWait::Waker m_waker;
};

} // namespace

TEST(NestedWait, AWakeFromAnotherThreadEndsTheWaitWhileThisThreadsEventsRun)
{
    NestedWait wait;
    QSemaphore tick;
    std::thread worker([&tick, waker = wait.waker()] {
        // The tick comes from a timer of the waiting thread: only its events
        // running during the wait let the worker on.
        tick.acquire();
        waker.wake(7);
    });
    QTimer::singleShot(0, qApp, [&tick] { tick.release(); });
    EXPECT_EQ(wait.exec(kHangMs), End::Woken);
    EXPECT_EQ(wait.code(), 7);
    worker.join();
}

TEST(NestedWait, WhatTheWorkerPostedBeforeItsWakeArrivesBeforeTheWaitReturns)
{
    for (bool wakeBeforeTheCall : {true, false}) {
        SCOPED_TRACE(wakeBeforeTheCall ? "wake before exec" : "wake during exec");
        PostTarget receiver;
        NestedWait wait;
        std::thread worker([&receiver, waker = wait.waker()] {
            for (int i = 0; i < 100; ++i)
                QMetaObject::invokeMethod(&receiver, "record", Qt::QueuedConnection, Q_ARG(int, i));
            waker.wake(3);
        });
        if (wakeBeforeTheCall) {
            worker.join();
            EXPECT_TRUE(wait.ended());
            EXPECT_TRUE(receiver.seen.empty());
        }
        EXPECT_EQ(wait.exec(kHangMs), End::Woken);
        EXPECT_EQ(wait.code(), 3);
        EXPECT_EQ(receiver.seen.size(), 100u);
        if (!wakeBeforeTheCall)
            worker.join();
    }
}

TEST(NestedWait, TheTimeLimitEndsAWaitAndTheFirstEndStays)
{
    NestedWait wait;
    EXPECT_EQ(wait.exec(20), End::TimedOut);
    EXPECT_EQ(wait.code(), -1);
    wait.waker().wake(5);
    EXPECT_EQ(wait.exec(kHangMs), End::TimedOut);
    EXPECT_EQ(wait.code(), -1);

    NestedWait woken;
    woken.waker().wake(4);
    woken.waker().wake(6);
    EXPECT_EQ(woken.exec(0), End::Woken);
    EXPECT_EQ(woken.code(), 4);
}

// A wake that races the end of its wait (time limit, then destruction) must
// reach no loop: the next wait's loop, built at the same place, would take
// the stray quit and end without its own wake.
TEST(NestedWait, AWakeRacingTheEndOfItsWaitReachesNoOtherWait)
{
    std::mt19937 random(12345);
    for (int round = 0; round < 200; ++round) {
        // The wake comes 0-2 ms after the wait began, around its end at 0 or
        // 1 ms. A time, not a count of yields: on a loaded machine each yield
        // can take milliseconds, and 200 rounds of them outlasted the test.
        const auto delay = std::chrono::microseconds(random() % 2000);
        std::thread late;
        {
            NestedWait ending;
            late = std::thread([until = std::chrono::steady_clock::now() + delay, waker = ending.waker()] {
                while (std::chrono::steady_clock::now() < until)
                    std::this_thread::yield();
                waker.wake(1);
            });
            ending.exec(static_cast<int>(random() % 2));
        }
        NestedWait next;
        QTimer::singleShot(1, qApp, [round, waker = next.waker()] { waker.wake(round); });
        ASSERT_EQ(next.exec(kHangMs), End::Woken) << "round " << round;
        ASSERT_EQ(next.code(), round);
        late.join();
    }
}

TEST(NestedWait, AMessageDeletedUnrunEndsTheWaitAsGone)
{
    TestDispatcher dispatcher;
    dispatcher.stop();
    auto msg = std::make_unique<TestMsg>([](TestMsg*) { return 5; });
    NestedWait wait;
    wait.follow(msg.get());
    dispatcher.post(std::move(msg));
    std::thread dropper([&dispatcher] { dispatcher.stop(); });
    EXPECT_EQ(wait.exec(kHangMs), End::WorkerGone);
    EXPECT_EQ(wait.code(), -1);
    dropper.join();
}

TEST(NestedWait, AMessageThatCompletedAndWasDeletedKeepsItsCode)
{
    TestDispatcher dispatcher;
    auto msg = std::make_unique<TestMsg>([](TestMsg*) { return 11; });
    NestedWait wait;
    wait.follow(msg.get());
    dispatcher.post(std::move(msg));
    EXPECT_EQ(wait.exec(kHangMs), End::Woken);
    EXPECT_EQ(wait.code(), 11);
}

TEST(NestedWait, MessagesThatThrowEndTheirWaitsAndTheNextMessageRuns)
{
    TestDispatcher dispatcher;
    auto throwing = std::make_unique<TestMsg>([](TestMsg*) -> int { throw std::runtime_error("broken job"); });
    auto empty = std::make_unique<TestMsg>(nullptr);
    auto broken = std::make_unique<BrokenMsg>();
    auto next = std::make_unique<TestMsg>([](TestMsg*) { return 8; });
    NestedWait throwingWait;
    NestedWait emptyWait;
    NestedWait brokenWait;
    NestedWait nextWait;
    throwingWait.follow(throwing.get());
    emptyWait.follow(empty.get());
    brokenWait.follow(broken.get());
    nextWait.follow(next.get());
    dispatcher.post(std::move(throwing));
    dispatcher.post(std::move(empty));
    dispatcher.post(std::move(broken));
    dispatcher.post(std::move(next));

    EXPECT_EQ(throwingWait.exec(kHangMs), End::Woken);
    EXPECT_EQ(throwingWait.code(), -1);
    EXPECT_EQ(emptyWait.exec(kHangMs), End::Woken);
    EXPECT_EQ(emptyWait.code(), -1);
    // The loop catches what a Run lets out; the message is deleted unreported.
    EXPECT_EQ(brokenWait.exec(kHangMs), End::WorkerGone);
    EXPECT_EQ(brokenWait.code(), -1);
    EXPECT_EQ(nextWait.exec(kHangMs), End::Woken);
    EXPECT_EQ(nextWait.code(), 8);
}

// The application's quit ends every loop of its thread, the wait's among
// them, and every loop started while the program unwinds returns at once.
// The wait can then block for its worker, for a limit or without one.
TEST(NestedWait, AnApplicationQuitInterruptsTheWaitWhichCanThenBlockForItsWorker)
{
    End first = End::Woken;
    End late = End::Woken;
    End bounded = End::Woken;
    qint64 boundedMs = -1;
    End second = End::Interrupted;
    bool endedAtQuit = true;
    int code = 0;
    QTimer::singleShot(0, qApp, [&] {
        NestedWait wait;
        QSemaphore release;
        std::thread worker([&release, waker = wait.waker()] {
            release.tryAcquire(1, kSelfReleaseMs); // a wait without its limit fails, not hangs
            waker.wake(3);
        });
        QTimer::singleShot(0, qApp, [] { QCoreApplication::quit(); });
        first = wait.exec(kHangMs);
        endedAtQuit = wait.ended();
        NestedWait startedWhileUnwinding;
        late = startedWhileUnwinding.exec(kHangMs);
        QElapsedTimer clock;
        clock.start();
        bounded = wait.waitUntilEnded(100);
        boundedMs = clock.elapsed();
        release.release();
        second = wait.waitUntilEnded();
        code = wait.code();
        worker.join();
    });
    QCoreApplication::exec();
    EXPECT_EQ(first, End::Interrupted);
    EXPECT_FALSE(endedAtQuit);
    EXPECT_EQ(late, End::Interrupted);
    EXPECT_EQ(bounded, End::TimedOut);
    EXPECT_GE(boundedMs, 90);
    EXPECT_LT(boundedMs, kHangMs);
    EXPECT_EQ(second, End::Woken);
    EXPECT_EQ(code, 3);
}

// A wait inside a wait: the outer one, woken meanwhile, returns only after
// the inner one, each with its own code.
TEST(NestedWait, AnOuterWaitWokenDuringAnInnerOneReturnsAfterIt)
{
    std::vector<std::string> order;
    NestedWait outer;
    bool outerEndedDuringInner = false;
    std::thread worker;
    QTimer::singleShot(0, qApp, [&] {
        NestedWait inner;
        PostTarget innerWaker(inner.waker());
        worker = std::thread([outerWaker = outer.waker(), &innerWaker] {
            outerWaker.wake(1);
            // Posted after the outer's quit: the inner loop handles that first.
            QMetaObject::invokeMethod(&innerWaker, "wake", Qt::QueuedConnection, Q_ARG(int, 2));
        });
        EXPECT_EQ(inner.exec(kHangMs), End::Woken);
        EXPECT_EQ(inner.code(), 2);
        outerEndedDuringInner = outer.ended();
        order.push_back("inner");
    });
    EXPECT_EQ(outer.exec(kHangMs), End::Woken);
    order.push_back("outer");
    worker.join();
    EXPECT_EQ(outer.code(), 1);
    EXPECT_TRUE(outerEndedDuringInner);
    EXPECT_EQ(order, (std::vector<std::string>{"inner", "outer"}));
}

TEST(NestedWait, AnInnerWaitWokenFirstLeavesTheOuterWaiting)
{
    NestedWait outer;
    bool outerEndedAfterInner = true;
    QTimer::singleShot(0, qApp, [&] {
        NestedWait inner;
        QTimer::singleShot(0, qApp, [waker = inner.waker()] { waker.wake(2); });
        EXPECT_EQ(inner.exec(kHangMs), End::Woken);
        outerEndedAfterInner = outer.ended();
        QTimer::singleShot(0, qApp, [waker = outer.waker()] { waker.wake(1); });
    });
    EXPECT_EQ(outer.exec(kHangMs), End::Woken);
    EXPECT_FALSE(outerEndedAfterInner);
    EXPECT_EQ(outer.code(), 1);
}

TEST(NestedWait, AThreadWithoutALoopOfItsOwnWaitsAndIsWokenFromOutside)
{
    WaitingThread thread;
    thread.start();
    ASSERT_TRUE(thread.waiting.tryAcquire(1, kHangMs));
    thread.waker.wake(9);
    ASSERT_TRUE(thread.wait(kHangMs));
    EXPECT_EQ(thread.end, End::Woken);
    EXPECT_EQ(thread.code, 9);
}

TEST(NestedWait, ASignalEndsTheWaitThroughWakeOn)
{
    QTimer timer;
    timer.setSingleShot(true);
    NestedWait wait;
    wait.wakeOn(&timer, &QTimer::timeout);
    timer.start(0);
    EXPECT_EQ(wait.exec(kHangMs), End::Woken);
    EXPECT_EQ(wait.code(), 0);
}

#include "nestedwait_test.moc"
