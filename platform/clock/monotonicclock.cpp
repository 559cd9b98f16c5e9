#include "platform/clock/monotonicclock.h"

#include <cerrno>
#include <ctime>
#include <sched.h>

namespace platform {

std::uint64_t monotonicMs()
{
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    return static_cast<std::uint64_t>(now.tv_sec) * 1000u + static_cast<std::uint64_t>(now.tv_nsec) / 1000000u;
}

void sleepMs(std::uint32_t ms)
{
    timespec rest{static_cast<time_t>(ms / 1000u), static_cast<long>(ms % 1000u) * 1000000L};
    while (nanosleep(&rest, &rest) != 0 && errno == EINTR) {}
}

void yieldThread()
{
    sched_yield();
}

} // namespace platform
