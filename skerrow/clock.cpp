// The millisecond clock, the sleep and the wall-clock time.

#include "skerrow/skerrow.h"

#include <sys/time.h>
#include <time.h>

#include <cerrno>

unsigned long long Vexa_GetTickCount(void)
{
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    return static_cast<unsigned long long>(now.tv_sec) * 1000ULL
           + static_cast<unsigned long long>(now.tv_nsec) / 1000000ULL;
}

int Vexa_Sleep(long long milliseconds)
{
    if (milliseconds <= 0)
        return -1;
    timespec remaining{};
    remaining.tv_sec = static_cast<time_t>(milliseconds / 1000);
    remaining.tv_nsec = static_cast<long>(milliseconds % 1000) * 1000000L;
    while (nanosleep(&remaining, &remaining) != 0) {
        if (errno != EINTR)
            return -1;
    }
    return 0;
}

void Vexa_GetTime(int* seconds, int* milliseconds)
{
    timeval now{};
    gettimeofday(&now, nullptr);
    if (seconds)
        *seconds = static_cast<int>(now.tv_sec);
    if (milliseconds)
        *milliseconds = static_cast<int>(now.tv_usec / 1000);
}
