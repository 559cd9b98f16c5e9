#include "skerrow/exception.h"
#include "skerrow/lock.h"
#include "skerrow/lockcondition.h"
#include "skerrow/locker.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <deque>
#include <string>
#include <thread>

using FF::COMMON::Exception;
using FF::COMMON::Lock;
using FF::COMMON::LockCondition;
using FF::COMMON::Locker;

namespace {

// Whether another thread could take the lock right now.
bool heldElsewhere(Lock& lock)
{
    bool taken = false;
    std::thread probe([&] {
        taken = lock.tryLock();
        if (taken)
            lock.unlock();
    });
    probe.join();
    return !taken;
}

template <typename F>
std::string thrownText(F&& f)
{
    try {
        f();
    } catch (const Exception& e) {
        return e.what();
    }
    return "<nothing thrown>";
}

} // namespace

TEST(CommonLock, IsReentrantForItsOwner)
{
    Lock lock;
    lock.lock();
    EXPECT_TRUE(lock.tryLock());
    EXPECT_TRUE(heldElsewhere(lock));
    lock.unlock();
    EXPECT_TRUE(heldElsewhere(lock));
    lock.unlock();
    EXPECT_FALSE(heldElsewhere(lock));
    EXPECT_NE(nullptr, lock.handle());
}

TEST(CommonLocker, NullLockThrows)
{
    EXPECT_EQ("vexa.foundation.threading.Locker:lock is nullptr", thrownText([] { Locker l(nullptr, false); }));
    EXPECT_EQ("vexa.foundation.threading.Locker:lock is nullptr", thrownText([] { Locker l(nullptr, true); }));
}

TEST(CommonLocker, AdoptingAHeldLockUnlocksExactlyOnce)
{
    Lock lock;
    lock.lock();
    lock.lock(); // held twice by this thread
    {
        Locker adopted(lock, true);
        EXPECT_TRUE(adopted.isLocked());
        EXPECT_EQ(&lock, adopted.getLock());
    }
    // One level is left: still held, and this thread can release it once more.
    EXPECT_TRUE(heldElsewhere(lock));
    lock.unlock();
    EXPECT_FALSE(heldElsewhere(lock));
}

TEST(CommonLocker, LockAndUnlockAreIdempotent)
{
    Lock lock;
    {
        Locker locker(&lock, false);
        locker.lock(); // must not lock a second level
        locker.unlock();
        EXPECT_FALSE(locker.isLocked());
        EXPECT_FALSE(heldElsewhere(lock));
        locker.unlock(); // must not unlock a level it does not hold
        lock.lock();
        EXPECT_TRUE(heldElsewhere(lock));
        lock.unlock();
        locker.lock();
        EXPECT_TRUE(locker.isLocked());
    }
    EXPECT_FALSE(heldElsewhere(lock));
}

TEST(CommonLocker, ReleasesOnException)
{
    Lock lock;
    try {
        Locker locker(lock);
        throw 1;
    } catch (int) {
    }
    EXPECT_FALSE(heldElsewhere(lock));
}

TEST(CommonLockCondition, NullLockThrows)
{
    EXPECT_EQ("vexa.foundation.threading.LockCondition:lock is nullptr",
              thrownText([] { LockCondition c(static_cast<Lock*>(nullptr)); }));
}

TEST(CommonLockCondition, UnlockedLockerIsCheckedBeforeTheLock)
{
    Lock own;
    Lock other;
    LockCondition condition(own);
    Locker foreign(other);
    foreign.unlock();
    // Both checks fail; the unlocked locker is reported.
    EXPECT_EQ("vexa.foundation.threading.LockCondition.notify:locker is unlocked",
              thrownText([&] { condition.notify(foreign); }));
    EXPECT_EQ("vexa.foundation.threading.LockCondition.notifyAll:locker is unlocked",
              thrownText([&] { condition.notifyAll(foreign); }));
    EXPECT_EQ("vexa.foundation.threading.LockCondition.wait:locker is unlocked",
              thrownText([&] { condition.wait(foreign); }));
    EXPECT_EQ("vexa.foundation.threading.LockCondition.trywait:locker is unlocked",
              thrownText([&] { condition.tryWait(foreign, 0); }));
}

TEST(CommonLockCondition, ForeignLockIsRefusedWithoutSleeping)
{
    Lock own;
    Lock other;
    LockCondition condition(&own);
    Locker foreign(other);
    const auto started = std::chrono::steady_clock::now();
    EXPECT_EQ("vexa.foundation.threading.LockCondition.wait:lock is incorrect",
              thrownText([&] { condition.wait(foreign); }));
    EXPECT_EQ("vexa.foundation.threading.LockCondition.tryWait:lock is incorrect",
              thrownText([&] { condition.tryWait(foreign, 60000); }));
    EXPECT_EQ("vexa.foundation.threading.LockCondition.notify:lock is incorrect",
              thrownText([&] { condition.notify(foreign); }));
    EXPECT_EQ("vexa.foundation.threading.LockCondition.notifyAll:lock is incorrect",
              thrownText([&] { condition.notifyAll(foreign); }));
    EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::seconds(5));
    EXPECT_TRUE(foreign.isLocked());
}

TEST(CommonLockCondition, TryWaitTimesOutAfterItsLimitAndStillHolds)
{
    Lock lock;
    LockCondition condition(lock);
    Locker locker(lock);
    EXPECT_FALSE(condition.tryWait(locker, 0));
    EXPECT_TRUE(locker.isLocked());
    EXPECT_TRUE(heldElsewhere(lock));
    const auto started = std::chrono::steady_clock::now();
    EXPECT_FALSE(condition.tryWait(locker, 150));
    EXPECT_GE(std::chrono::steady_clock::now() - started, std::chrono::milliseconds(140));
    EXPECT_TRUE(heldElsewhere(lock));
}

TEST(CommonLockCondition, ProducerAndConsumerLoseNoHandOff)
{
    constexpr int kItems = 10000;
    constexpr std::size_t kSlots = 4;
    Lock lock;
    LockCondition notEmpty(lock);
    LockCondition notFull(lock);
    std::deque<int> queue;

    std::thread producer([&] {
        for (int i = 0; i < kItems; ++i) {
            Locker locker(lock);
            while (queue.size() >= kSlots)
                notFull.wait(locker);
            queue.push_back(i);
            notEmpty.notify(locker);
        }
    });

    long long sum = 0;
    int received = 0;
    bool inOrder = true;
    for (; received < kItems; ++received) {
        Locker locker(lock);
        while (queue.empty()) {
            // A lost wake-up would stall here; the limit turns a stall into a failure.
            if (!notEmpty.tryWait(locker, 10000) && queue.empty())
                break;
        }
        if (queue.empty())
            break;
        inOrder = inOrder && queue.front() == received;
        sum += queue.front();
        queue.pop_front();
        notFull.notifyAll(locker);
    }
    producer.join();
    EXPECT_EQ(kItems, received);
    EXPECT_TRUE(inOrder);
    EXPECT_EQ(static_cast<long long>(kItems) * (kItems - 1) / 2, sum);
}
