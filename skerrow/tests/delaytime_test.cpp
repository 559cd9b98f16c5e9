#include "skerrow/delaytime.h"
#include "skerrow/skerrow.h"
#include "testing/main/eventwait.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <memory>
#include <thread>
#include <vector>

using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;

namespace {

struct DelayDeleter {
    void operator()(DelayTimeBase* obj) const { DeleteDelayTimeObj(obj); }
};
using DelayPtr = std::unique_ptr<DelayTimeBase, DelayDeleter>;

long long elapsedMs(Clock::time_point since)
{
    return std::chrono::duration_cast<milliseconds>(Clock::now() - since).count();
}

} // namespace

TEST(DelayTimeObject, NeverStartedReturnsAtOnce)
{
    DelayPtr delay(CreateDelayTimeObj());
    const auto started = Clock::now();
    EXPECT_TRUE(delay->wait(1000));
    EXPECT_LT(elapsedMs(started), 500);
}

TEST(DelayTimeObject, ArmedWaitRunsItsFullTime)
{
    DelayPtr delay(CreateDelayTimeObj());
    EXPECT_TRUE(delay->start());
    EXPECT_TRUE(delay->start());
    const auto started = Clock::now();
    EXPECT_FALSE(delay->wait(200));
    const long long took = elapsedMs(started);
    EXPECT_GE(took, 195);
    EXPECT_LT(took, 5000);
    // Still armed afterwards.
    EXPECT_FALSE(delay->wait(1));
}

TEST(DelayTimeObject, WakeAndStopFromAnotherThreadCutTheWaitShort)
{
    DelayPtr delay(CreateDelayTimeObj());
    for (bool useStop : {false, true}) {
        delay->start();
        std::thread waker([&] {
            std::this_thread::sleep_for(milliseconds(50));
            useStop ? delay->stop() : delay->wake();
        });
        const auto started = Clock::now();
        EXPECT_TRUE(delay->wait(10000));
        EXPECT_LT(elapsedMs(started), 5000);
        waker.join();
        // Disarmed now: the next wait returns at once.
        EXPECT_TRUE(delay->wait(10000));
    }
}

TEST(DelayTimeObject, NoWakeIsLostInTenThousandRounds)
{
    constexpr int kRounds = 10000;
    // A lost wake shows as a wait of this whole time; far above a wake's latency on a busy machine.
    constexpr unsigned long kLimitMs = 3000;
    DelayPtr delay(CreateDelayTimeObj());
    std::atomic<int> armedRound{-1};
    std::atomic<int> doneRound{-1};
    long long slowest = 0;
    int completed = 0;

    // The waker wakes as soon as a round is armed, racing the waiter's entry
    // into wait(): a wake between its test of the flag and its sleep must not
    // be lost.
    std::thread waker([&] {
        for (int round = 0; round < kRounds; ++round) {
            while (armedRound.load() < round)
                std::this_thread::yield();
            if (armedRound.load() == kRounds)
                return;
            delay->wake();
            while (doneRound.load() < round)
                std::this_thread::yield();
        }
    });
    for (; completed < kRounds; ++completed) {
        delay->start();
        const auto started = Clock::now();
        armedRound.store(completed);
        const bool woken = delay->wait(kLimitMs);
        const long long took = elapsedMs(started);
        slowest = std::max(slowest, took);
        // A lost wake ends the wait only at its limit, armed or (woken too late) not.
        if (!woken || took >= static_cast<long long>(kLimitMs))
            break;
        doneRound.store(completed);
    }
    armedRound.store(kRounds);
    doneRound.store(kRounds);
    waker.join();
    EXPECT_EQ(kRounds, completed) << "a wake was lost; slowest wait " << slowest << " ms";
}

TEST(DelayTimeObject, DeletingWhileFourThreadsWaitReleasesThemAll)
{
    // Repeated, so that a waiter still leaving while the object goes has many chances to show.
    for (int round = 0; round < 50; ++round) {
        auto* delay = new DelayTime;
        delay->start();
        std::atomic<int> released{0};
        std::vector<std::thread> waiters;
        for (int i = 0; i < 4; ++i) {
            waiters.emplace_back([&] {
                if (delay->wait(60000))
                    ++released;
            });
        }
        TestWait::waitUntil([&] { return delay->waiters() == 4; }, 30000);
        ASSERT_EQ(4, delay->waiters());
        const auto started = Clock::now();
        DeleteDelayTimeObj(delay);
        EXPECT_LT(elapsedMs(started), 5000);
        for (auto& t : waiters)
            t.join();
        EXPECT_EQ(4, released.load());
    }
}

TEST(DelayTimeObject, DeletingNullDoesNothing)
{
    DeleteDelayTimeObj(nullptr);
}

TEST(DelayTimeObject, HugeLimitDoesNotOverflow)
{
    DelayPtr delay(CreateDelayTimeObj());
    delay->start();
    std::thread waker([&] {
        std::this_thread::sleep_for(milliseconds(50));
        delay->wake();
    });
    const auto started = Clock::now();
    EXPECT_TRUE(delay->wait(static_cast<unsigned long>(-1)));
    EXPECT_LT(elapsedMs(started), 5000);
    waker.join();
}
