#pragma once

// Monotonic millisecond clock, sleeps and processor yields: what the framework
// measures idle time, ticks and call time-outs with.

#include <cstdint>

namespace platform {

// Milliseconds since an arbitrary fixed point; never goes backwards.
std::uint64_t monotonicMs();

// Blocks the calling thread for about ms milliseconds.
void sleepMs(std::uint32_t ms);

// Gives the processor to another ready thread, if there is one.
void yieldThread();

} // namespace platform
