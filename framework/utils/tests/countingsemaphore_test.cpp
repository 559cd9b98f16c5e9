#include "framework/utils/countingsemaphore.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>

using FF::utils::CountingSemaphore;
using Clock = std::chrono::steady_clock;

namespace {

double msSince(Clock::time_point start)
{
    return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

} // namespace

TEST(CountingSemaphore, CountsWhatWasReleasedAndTakesItOnceEach)
{
    CountingSemaphore semaphore;
    EXPECT_FALSE(semaphore.tryAcquire());
    semaphore.release();
    semaphore.release();
    EXPECT_TRUE(semaphore.tryAcquire());
    EXPECT_TRUE(semaphore.tryAcquireFor(0));
    EXPECT_FALSE(semaphore.tryAcquire());
    EXPECT_FALSE(semaphore.tryAcquireFor(0));
}

TEST(CountingSemaphore, AWaitEndsAtItsLimitOrWhenAnotherThreadReleases)
{
    CountingSemaphore semaphore;
    auto start = Clock::now();
    EXPECT_FALSE(semaphore.tryAcquireFor(150));
    const double waited = msSince(start);
    EXPECT_GE(waited, 140.0);
    EXPECT_LT(waited, 3000.0);

    std::atomic<bool> waiting{false};
    std::thread releaser([&] {
        while (!waiting)
            std::this_thread::yield();
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
        semaphore.release();
    });
    start = Clock::now();
    waiting = true;
    EXPECT_TRUE(semaphore.tryAcquireFor(20000));
    EXPECT_LT(msSince(start), 10000.0); // the release, not the limit
    releaser.join();
    EXPECT_FALSE(semaphore.tryAcquire());
}
