#include "platform/clock/monotonicclock.h"

#include <gtest/gtest.h>

#include <chrono>

TEST(MonotonicClock, CountsMillisecondsAndSleepsAtLeastTheTimeAsked)
{
    const auto wallStart = std::chrono::steady_clock::now();
    const std::uint64_t start = platform::monotonicMs();
    platform::sleepMs(120);
    const std::uint64_t slept = platform::monotonicMs() - start;
    const auto wall = std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now()
                                                                            - wallStart);
    EXPECT_GE(slept, 119u);
    EXPECT_LE(slept, static_cast<std::uint64_t>(wall.count()) + 2);
    std::uint64_t previous = platform::monotonicMs();
    for (int i = 0; i < 1000; ++i) {
        platform::yieldThread();
        const std::uint64_t now = platform::monotonicMs();
        ASSERT_GE(now, previous);
        previous = now;
    }
}
