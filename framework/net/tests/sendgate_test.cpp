// The connection's send gate: one holder at a time, and each of its waits
// ends (at once, when the gate is free, or at the deadline).

#include "framework/net/sendgate.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <mutex>
#include <thread>

using FF::Net::SendGate;
using std::chrono::milliseconds;
using std::chrono::steady_clock;

TEST(SendGate, ATakenGateRefusesATryUntilItIsLeft)
{
    SendGate gate;
    ASSERT_TRUE(gate.try_lock());
    EXPECT_FALSE(gate.try_lock());
    gate.unlock();
    EXPECT_TRUE(gate.try_lock());
    gate.unlock();
}

TEST(SendGate, AWaitForATakenGateEndsAtItsDeadline)
{
    SendGate gate;
    gate.lock();
    bool taken = true;
    const auto start = steady_clock::now();
    std::thread other([&] { taken = gate.try_lock_for(milliseconds(100)); });
    other.join();
    EXPECT_FALSE(taken);
    EXPECT_GE(steady_clock::now() - start, milliseconds(100));
    gate.unlock();
}

TEST(SendGate, AWaitingSenderGetsTheGateWhenTheHolderLeaves)
{
    SendGate gate;
    std::unique_lock<SendGate> holder(gate);
    int sent = 0; // written under the gate by one sender, then the next
    std::atomic<bool> waiting{false};
    bool timedTaken = false;
    std::thread blocking([&] {
        waiting = true;
        std::lock_guard<SendGate> turn(gate);
        ++sent;
    });
    std::thread timed([&] {
        std::unique_lock<SendGate> turn(gate, std::defer_lock);
        timedTaken = turn.try_lock_for(std::chrono::seconds(30));
        if (timedTaken)
            ++sent;
    });
    while (!waiting)
        std::this_thread::yield();
    sent = 1;
    holder.unlock();
    blocking.join();
    timed.join();
    EXPECT_TRUE(timedTaken);
    EXPECT_EQ(sent, 3);
}
