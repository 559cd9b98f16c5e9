// A race planted for the ThreadSanitizer tree to find, built once with each
// of the test mains: the check beside it (expectrace.cmake) passes only when
// the sanitizer reports this race and nothing else. It proves that neither
// the description of Qt's locks nor the suppressions hide a race of ours
// that runs beside the hand-overs they describe.

#include <QMutex>
#include <QMutexLocker>
#include <QSemaphore>
#include <QThread>

#include <gtest/gtest.h>

#include <functional>

// Written by two threads, each under a QMutex of its own, neither write
// ordered before the other.
int g_tsanPlantedRace = 0;

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
