// Faults planted for the ThreadSanitizer tree to find, built once with each
// of the test mains: the checks beside them (expectrace.cmake) run one test
// at a time and pass only when the sanitizer reports that test's fault and
// nothing else. They prove that neither the description of Qt's locks nor
// the suppressions hide a fault of ours that runs beside the hand-overs they
// describe: a race beside two mutexes, two readers that write under a read
// lock (readers are not ordered after one another), a lock-order inversion
// of two QMutexes, and races that Qt's own calls make on our memory (a copy
// out of our buffer, a fill of a shared array).

#include <QByteArray>
#include <QMutex>
#include <QMutexLocker>
#include <QReadLocker>
#include <QReadWriteLock>
#include <QSemaphore>
#include <QThread>

#include <gtest/gtest.h>

#include <atomic>
#include <functional>
#include <thread>

// Written by two threads, each under a QMutex of its own, neither write
// ordered before the other.
int g_tsanPlantedRace = 0;
// Written by two readers of one QReadWriteLock, one after the other.
int g_tsanReadLockRace = 0;
// Written by a thread while another one copies it into a QByteArray.
char g_tsanCopiedBuffer[64] = {};

namespace {

constexpr int kWaitMs = 10000;

class WorkThread : public QThread {
public:
    explicit WorkThread(std::function<void()> work)
        : m_work(std::move(work))
    {
    }

protected:
    void run() override { m_work(); }

private:
    std::function<void()> m_work;
};

// A turn that orders nothing for the sanitizer (relaxed atomics hand nothing
// over): the second thread's step comes after the first's in time, so a lock
// that both take is what alone could order them.
class UnorderedTurn {
public:
    void give() { m_given.store(true, std::memory_order_relaxed); }
    void await() const
    {
        while (!m_given.load(std::memory_order_relaxed))
            std::this_thread::yield();
    }

private:
    std::atomic<bool> m_given{false};
};

} // namespace

TEST(PlantedRace, TwoThreadsWriteOneVariableEachUnderALockOfItsOwn)
{
    QMutex firstLock;
    QMutex secondLock;
    QSemaphore firstWrote;
    QSemaphore secondWrote;
    // Each hands over after its write and takes the other's hand-over after
    // it: the semaphores order neither write, and keep both threads alive
    // until both have written (the sanitizer takes a thread that starts
    // after another ended for that thread's successor).
    WorkThread first([&] {
        {
            QMutexLocker hold(&firstLock);
            g_tsanPlantedRace = 1;
        }
        firstWrote.release();
        EXPECT_TRUE(secondWrote.tryAcquire(1, kWaitMs));
    });
    WorkThread second([&] {
        {
            QMutexLocker hold(&secondLock);
            g_tsanPlantedRace = 2;
        }
        secondWrote.release();
        EXPECT_TRUE(firstWrote.tryAcquire(1, kWaitMs));
    });
    first.start();
    second.start();
    ASSERT_TRUE(first.wait(kWaitMs));
    ASSERT_TRUE(second.wait(kWaitMs));
    // After both waits: ordered, not reported.
    EXPECT_NE(g_tsanPlantedRace, 0);
}

// A read lock is shared: the second reader's write is not ordered after the
// first reader's, though the first had given the lock back before the second
// took it (a description that orders readers after readers hides this).
TEST(PlantedRace, TwoReadersWriteOneVariableUnderAReadLock)
{
    QReadWriteLock lock;
    UnorderedTurn firstDone;
    QSemaphore bothWrote;
    WorkThread first([&] {
        {
            QReadLocker hold(&lock);
            g_tsanReadLockRace = 1;
        }
        firstDone.give();
        EXPECT_TRUE(bothWrote.tryAcquire(1, kWaitMs));
    });
    WorkThread second([&] {
        firstDone.await();
        {
            QReadLocker hold(&lock);
            g_tsanReadLockRace = 2;
        }
        bothWrote.release();
    });
    first.start();
    second.start();
    ASSERT_TRUE(first.wait(kWaitMs));
    ASSERT_TRUE(second.wait(kWaitMs));
    EXPECT_EQ(g_tsanReadLockRace, 2);
}

// Two threads, one after the other, take two QMutexes in opposite orders:
// no deadlock happens here, but the order can deadlock, and the sanitizer
// reports it.
TEST(PlantedRace, TwoQMutexesTakenInOppositeOrders)
{
    QMutex cable;
    QMutex queue;
    int taken = 0;
    std::thread first([&] {
        QMutexLocker outer(&cable);
        QMutexLocker inner(&queue);
        ++taken;
    });
    first.join();
    std::thread second([&] {
        QMutexLocker outer(&queue);
        QMutexLocker inner(&cable);
        ++taken;
    });
    second.join();
    EXPECT_EQ(taken, 2);
}

// Qt copies our buffer (its memcpy) while a std::thread writes it.
TEST(PlantedRace, QtCopiesABufferThatAnotherThreadWrites)
{
    UnorderedTurn copied;
    std::thread writer([&] {
        copied.await();
        g_tsanCopiedBuffer[10] = 'w';
    });
    const QByteArray copy(g_tsanCopiedBuffer, sizeof g_tsanCopiedBuffer);
    copied.give();
    writer.join();
    EXPECT_EQ(copy.size(), int(sizeof g_tsanCopiedBuffer));
}

// Qt fills an array (its memset) that another thread reads through
// constData().
TEST(PlantedRace, QtFillsAnArrayThatAnotherThreadReads)
{
    QByteArray shared(64, 'a');
    UnorderedTurn filled;
    char seen = 0;
    std::thread reader([&] {
        filled.await();
        seen = shared.constData()[5];
    });
    shared.fill('f');
    filled.give();
    reader.join();
    EXPECT_EQ(seen, 'f');
}
