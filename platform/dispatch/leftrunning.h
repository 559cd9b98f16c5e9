#pragma once

// What a thread that its owner gave up on still uses (the thread object
// among it): kept for the rest of the process, never deleted, since the
// thread may still run on it when the process ends. Kept objects stay
// reachable, so a leak check does not count them.

namespace platform {

void keepForRestOfProcess(const void* object);

} // namespace platform
