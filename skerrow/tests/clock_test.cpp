#include "skerrow/skerrow.h"

#include <gtest/gtest.h>

#include <sys/time.h>

#include <chrono>
#include <cmath>
#include <csignal>
#include <limits>
#include <thread>

using Clock = std::chrono::steady_clock;

namespace {

long long elapsedMs(Clock::time_point since)
{
    return std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - since).count();
}

void ignoreSignal(int) {}

} // namespace

TEST(VexaClock, TickCountFollowsTheMonotonicClock)
{
    const unsigned long long first = Vexa_GetTickCount();
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    const unsigned long long second = Vexa_GetTickCount();
    EXPECT_GE(second - first, 45u);
    EXPECT_LT(second - first, 5000u);
    const auto steady = std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now().time_since_epoch()).count();
    EXPECT_LE(std::llabs(static_cast<long long>(Vexa_GetTickCount()) - steady), 1000);
}

TEST(VexaClock, SleepRefusesZeroAndNegativeAtOnce)
{
    const auto started = Clock::now();
    EXPECT_EQ(-1, Vexa_Sleep(0));
    EXPECT_EQ(-1, Vexa_Sleep(-5));
    EXPECT_LT(elapsedMs(started), 100);
}

TEST(VexaClock, SleepLastsSecondsPlusRemainder)
{
    const auto started = Clock::now();
    EXPECT_EQ(0, Vexa_Sleep(1500));
    const long long took = elapsedMs(started);
    EXPECT_GE(took, 1495);
    EXPECT_LT(took, 6000);
}

TEST(VexaClock, SleepResumesAfterASignal)
{
    struct sigaction action {};
    struct sigaction old {};
    action.sa_handler = ignoreSignal;
    sigaction(SIGUSR1, &action, &old); // no SA_RESTART: nanosleep returns EINTR
    const pthread_t sleeper = pthread_self();
    std::thread signaller([sleeper] {
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
        pthread_kill(sleeper, SIGUSR1);
    });
    const auto started = Clock::now();
    EXPECT_EQ(0, Vexa_Sleep(400));
    EXPECT_GE(elapsedMs(started), 395);
    signaller.join();
    sigaction(SIGUSR1, &old, nullptr);
}

TEST(VexaClock, GetTimeIsTheWallClock)
{
    int seconds = 0;
    int milliseconds = -1;
    Vexa_GetTime(&seconds, &milliseconds);
    timeval now{};
    gettimeofday(&now, nullptr);
    EXPECT_LE(std::llabs(static_cast<long long>(now.tv_sec) - seconds), 2);
    EXPECT_GE(milliseconds, 0);
    EXPECT_LT(milliseconds, 1000);
    Vexa_GetTime(nullptr, nullptr);
}

TEST(VexaHostQueries, IsEqualNeedsEpsilonStrictlyAboveTheDifference)
{
    EXPECT_TRUE(Vexa_IsEqual(1.0L, 1.05L, 0.1L));
    EXPECT_TRUE(Vexa_IsEqual(1.05L, 1.0L, 0.1L));
    EXPECT_FALSE(Vexa_IsEqual(1.0L, 1.5L, 0.5L));
    EXPECT_FALSE(Vexa_IsEqual(2.0L, 2.0L, 0.0L));
    // Extended precision: a difference too small for a double still counts.
    EXPECT_FALSE(Vexa_IsEqual(1.0L, 1.0L + 1e-18L, 1e-19L));
    EXPECT_FALSE(Vexa_IsEqual(std::nanl(""), 1.0L, 1.0L));
}

TEST(VexaHostQueries, BeepOutsideTheAudibleRangeFails)
{
    const auto started = Clock::now();
    EXPECT_EQ(0, Vexa_Beep(36, 1000));
    EXPECT_EQ(0, Vexa_Beep(32768, 1000));
    EXPECT_EQ(0, Vexa_Beep(440, -1));
    // A refused tone does not sleep out its duration as if it had played.
    EXPECT_LT(elapsedMs(started), 500);
}
