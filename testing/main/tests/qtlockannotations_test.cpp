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

#include <atomic>
#include <functional>
#include <memory>
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

// The same with a meta-object of its own, compiled with the program, which
// Qt reads when it drops a connection of the thread's.
class ObjectThread : public WorkThread {
    Q_OBJECT
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

// Readers share the lock: both hold it at once, and a writer that comes
// after them is ordered after both by the lock alone (it learns that they
// are done through a relaxed count, which orders nothing).
TEST(QtLockAnnotations, TwoReadersHoldAReadWriteLockAtOnceAndTheNextWriterComesAfterBoth)
{
    QReadWriteLock lock;
    QSemaphore firstIn;
    QSemaphore secondIn;
    std::atomic<int> readersDone{0};
    int firstRead = 0;
    int secondRead = 0;
    auto reader = [&](QSemaphore& mine, QSemaphore& other, int& seen) {
        QReadLocker hold(&lock);
        mine.release();
        // Keeps its read lock until the other reader holds its own.
        EXPECT_TRUE(other.tryAcquire(1, kWaitMs));
        seen = 7;
        hold.unlock();
        readersDone.fetch_add(1, std::memory_order_relaxed);
    };
    std::thread first([&] { reader(firstIn, secondIn, firstRead); });
    std::thread second([&] { reader(secondIn, firstIn, secondRead); });
    EXPECT_TRUE(TestWait::waitUntil([&] { return readersDone.load(std::memory_order_relaxed) == 2; }, kWaitMs));
    {
        QWriteLocker hold(&lock);
        firstRead += 1;
        secondRead += 1;
    }
    first.join();
    second.join();
    EXPECT_EQ(firstRead + secondRead, 16);
}

// A try-lock that fails takes nothing: its thread locks the mutex later as
// any other does (described as taken, the later lock would be a second lock
// by its holder).
TEST(QtLockAnnotations, AFailedTryLockTakesNothing)
{
    QMutex mutex;
    QReadWriteLock lock;
    QSemaphore held;
    QSemaphore tried;
    std::thread holder([&] {
        mutex.lock();
        lock.lockForWrite();
        held.release();
        EXPECT_TRUE(tried.tryAcquire(1, kWaitMs));
        lock.unlock();
        mutex.unlock();
    });
    ASSERT_TRUE(held.tryAcquire(1, kWaitMs));
    EXPECT_FALSE(mutex.tryLock());
    EXPECT_FALSE(mutex.tryLock(1));
    EXPECT_FALSE(lock.tryLockForRead());
    EXPECT_FALSE(lock.tryLockForWrite(1));
    tried.release();
    holder.join();
    mutex.lock();
    mutex.unlock();
    lock.lockForWrite();
    lock.unlock();
}

// A recursive mutex is taken again by its holder (described as a plain
// mutex, that would be reported as a double lock).
TEST(QtLockAnnotations, ARecursiveMutexIsTakenAgainByItsHolder)
{
    QRecursiveMutex recursive;
    QMutex recursiveByMode(QMutex::Recursive);
    int value = 0;
    std::thread worker([&] {
        QMutexLocker outer(&recursive);
        QMutexLocker inner(&recursive);
        QMutexLocker outerByMode(&recursiveByMode);
        ASSERT_TRUE(recursiveByMode.tryLock(kWaitMs));
        value = 7;
        recursiveByMode.unlock();
    });
    worker.join();
    QMutexLocker hold(&recursive);
    EXPECT_EQ(value, 7);
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

// A wait gives a read lock back as a read lock (described as a write
// unlock, the sanitizer would report a read lock given back as a write one).
TEST(QtLockAnnotations, AWaitConditionGivesAReadLockBackForTheWaitAndTakesItAgain)
{
    QReadWriteLock lock;
    QWaitCondition condition;
    int request = 0;
    int answer = 0;
    bool answered = false;
    lock.lockForRead();
    std::thread worker([&] {
        QWriteLocker hold(&lock);
        answered = true;
        condition.wakeAll();
        answer = request * 2;
    });
    request = 21;
    while (!answered)
        ASSERT_TRUE(condition.wait(&lock, kWaitMs));
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

// Its owner may delete a thread object as soon as wait() has returned: what
// the description itself does on the thread at its end (dropping the
// connection to finished(), which reads the object) comes before.
TEST(QtLockAnnotations, AThreadDeletedAsSoonAsItsWaitReturnsIsOrderedAfterItsEnd)
{
    for (int round = 0; round < 3; ++round) {
        auto thread = std::make_unique<ObjectThread>();
        int answer = 0;
        thread->work = [&answer] { answer = 42; };
        thread->start();
        // Ended before the wait begins, so that the wait's own calls order
        // nothing (a wait that blocks is woken through Qt's pthread calls).
        EXPECT_TRUE(TestWait::waitUntil([&] { return thread->isFinished(); }, kWaitMs));
        ASSERT_TRUE(thread->wait(kWaitMs));
        thread.reset();
        EXPECT_EQ(answer, 42);
    }
}

#include "qtlockannotations_test.moc"
