#pragma once

// Polls a condition in a test: true as soon as `probe` is, false when `ms`
// passed without it (the probe is tried once more at the end).

#include <chrono>
#include <thread>

namespace VcomTesting {

template <typename F>
bool within(int ms, F probe)
{
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
    do {
        if (probe())
            return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    } while (std::chrono::steady_clock::now() < end);
    return probe();
}

} // namespace VcomTesting
