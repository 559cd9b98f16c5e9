// Drives the delay object through its races for ThreadSanitizer: prompt wakes
// from another thread, and destruction while threads wait. Exits non-zero on a
// lost wake; ThreadSanitizer makes it exit non-zero on a data race.

#include "skerrow/delaytime.h"
#include "skerrow/skerrow.h"

#include <atomic>
#include <chrono>
#include <cstdio>
#include <thread>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

bool wakesArriveInTime(int rounds)
{
    DelayTimeBase* delay = CreateDelayTimeObj();
    std::atomic<int> armedRound{-1};
    std::atomic<int> doneRound{-1};
    std::thread waker([&] {
        for (int round = 0; round < rounds; ++round) {
            while (armedRound.load() < round)
                std::this_thread::yield();
            if (armedRound.load() == rounds)
                return;
            delay->wake();
            while (doneRound.load() < round)
                std::this_thread::yield();
        }
    });
    bool ok = true;
    for (int round = 0; round < rounds && ok; ++round) {
        delay->start();
        const auto started = Clock::now();
        armedRound.store(round);
        ok = delay->wait(3000) && Clock::now() - started < std::chrono::milliseconds(3000);
        doneRound.store(round);
    }
    armedRound.store(rounds);
    doneRound.store(rounds);
    waker.join();
    DeleteDelayTimeObj(delay);
    if (!ok)
        std::fprintf(stderr, "a wake was lost\n");
    return ok;
}

bool destructionReleasesWaiters(int rounds)
{
    for (int round = 0; round < rounds; ++round) {
        auto* delay = new DelayTime;
        delay->start();
        std::atomic<int> released{0};
        std::vector<std::thread> waiters;
        for (int i = 0; i < 4; ++i)
            waiters.emplace_back([&] { released += delay->wait(60000) ? 1 : 0; });
        while (delay->waiters() != 4)
            std::this_thread::yield();
        DeleteDelayTimeObj(delay);
        for (auto& t : waiters)
            t.join();
        if (released.load() != 4) {
            std::fprintf(stderr, "round %d: %d of 4 waiters released\n", round, released.load());
            return false;
        }
    }
    return true;
}

} // namespace

int main()
{
    const bool wakes = wakesArriveInTime(10000);
    const bool destruction = destructionReleasesWaiters(200);
    std::printf("wakes %s, destruction %s\n", wakes ? "ok" : "FAILED", destruction ? "ok" : "FAILED");
    return wakes && destruction ? 0 : 1;
}
