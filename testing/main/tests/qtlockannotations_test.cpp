// One hand-over through each of Qt's locks that the ThreadSanitizer tree
// describes (testing/main/qtlockannotations.cpp): one thread writes a plain
// value, hands it over, and the other reads it. Nothing but the lock orders
// the two (the worker was started before the write and is joined after the
// read), so a description that is missing or wrong makes the sanitizer
// report the read, and the program's exit code fails the test.

#include "testing/main/eventwait.h"

#include <QMutex>
#include <QMutexLocker>
#include <QReadLocker>
#include <QReadWriteLock>
#include <QSemaphore>
#include <QThread>
#include <QWaitCondition>
#include <QWriteLocker>

#include <gtest/gtest.h>

#include <functional>
#include <thread>

namespace {

constexpr int kWaitMs = 10000;

// A QThread that runs `work`.
class WorkThread : public QThread {
public:
    std::function<void()> work;

protected:
    void run() override { work(); }
};

} // namespace

TEST(QtLockAnnotations, AMutexOrdersWhatOneHolderWroteBeforeTheNextHolder)
{
    QMutex mutex;
    bool written = false;
    int value = 0;
    std::thread worker([&] {
        ASSERT_TRUE(mutex.tryLock(kWaitMs));
        value = 7;
        written = true;
        mutex.unlock();
    });
    EXPECT_TRUE(TestWait::waitUntil(
        [&] {
            QMutexLocker lock(&mutex);
            return written;
        },
        kWaitMs));
    EXPECT_EQ(value, 7);
    worker.join();
}

TEST(QtLockAnnotations, AReadWriteLockOrdersTheWriterBeforeTheNextReader)
{
    QReadWriteLock lock;
    bool written = false;
    int value = 0;
    std::thread worker([&] {
        QWriteLocker hold(&lock);
        value = 7;
        written = true;
    });
    EXPECT_TRUE(TestWait::waitUntil(
        [&] {
            if (!lock.tryLockForRead(kWaitMs))
                return false;
            const bool seen = written;
            lock.unlock();
            return seen;
        },
        kWaitMs));
    QReadLocker hold(&lock);
    EXPECT_EQ(value, 7);
    worker.join();
}

TEST(QtLockAnnotations, ASemaphoreOrdersEachReleaseBeforeTheAcquireItLetsThrough)
{
    QSemaphore toWorker;
    QSemaphore toMain;
    int request = 0;
    int answer = 0;
    std::thread worker([&] {
        ASSERT_TRUE(toWorker.tryAcquire(1, kWaitMs));
        answer = request * 2;
        toMain.release();
    });
    request = 21;
    toWorker.release();
    ASSERT_TRUE(toMain.tryAcquire(1, kWaitMs));
    EXPECT_EQ(answer, 42);
    worker.join();
}

// The waiting thread holds the mutex (or lock) from before the worker starts
// until its wait gives it back: the worker's read of the request needs that
// hand-back, and the answer, written after the wake, needs the lock taken
// again when the wait returns.
TEST(QtLockAnnotations, AWaitConditionGivesTheMutexBackForTheWaitAndTakesItAgain)
{
    QMutex mutex;
    QWaitCondition condition;
    int request = 0;
    int answer = 0;
    bool answered = false;
    mutex.lock();
    std::thread worker([&] {
        QMutexLocker lock(&mutex);
        answered = true;
        condition.wakeAll();
        answer = request * 2;
    });
    request = 21;
    while (!answered)
        ASSERT_TRUE(condition.wait(&mutex, kWaitMs));
    EXPECT_EQ(answer, 42);
    mutex.unlock();
    worker.join();
}

TEST(QtLockAnnotations, AWaitConditionGivesTheReadWriteLockBackForTheWaitAndTakesItAgain)
{
    QReadWriteLock lock;
    QWaitCondition condition;
    int request = 0;
    int answer = 0;
    bool answered = false;
    lock.lockForWrite();
    std::thread worker([&] {
        QWriteLocker hold(&lock);
        answered = true;
        condition.wakeOne();
        answer = request * 2;
    });
    request = 21;
    while (!answered)
        ASSERT_TRUE(condition.wait(&lock, QDeadlineTimer(kWaitMs)));
    EXPECT_EQ(answer, 42);
    lock.unlock();
    worker.join();
}

TEST(QtLockAnnotations, AThreadsRunComesAfterItsStartAndBeforeAWaitThatSawItEnd)
{
    WorkThread thread;
    int request = 21;
    int answer = 0;
    thread.work = [&] { answer = request * 2; };
    thread.start();
    // Ended before the wait begins: Qt's wait() then returns at once.
    EXPECT_TRUE(TestWait::waitUntil([&] { return thread.isFinished(); }, kWaitMs));
    ASSERT_TRUE(thread.wait(kWaitMs));
    EXPECT_EQ(answer, 42);

    // Started again; now its end can come while the wait blocks.
    QSemaphore go;
    request = 50;
    thread.work = [&] {
        if (go.tryAcquire(1, kWaitMs))
            answer = request * 2;
    };
    thread.start();
    go.release();
    ASSERT_TRUE(thread.wait(QDeadlineTimer(kWaitMs)));
    EXPECT_EQ(answer, 100);
}
