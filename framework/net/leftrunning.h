#pragma once

// What a close or a stop gave up waiting for: an object that a thread still
// runs in (a receive thread whose handler has not returned, a reconnection
// attempt under way, a dispatcher's message that outlived its stop).
// Deleting it would pull it from under that thread, so it is kept here
// instead, and deleted once the thread has left it, on the thread of a later
// keep() or sweep(), never on one that still uses it. Objects whose thread
// never leaves stay for the life of the process, reachable, so a leak check
// does not count them.

#include <cstddef>
#include <functional>
#include <memory>

namespace FF {
namespace Net {

class LeftRunning {
public:
    // Keeps object until left() holds; left() is asked on the threads that
    // call keep() and sweep(), with the object alive, and must not wait.
    static void keep(std::shared_ptr<void> object, std::function<bool()> left);
    // Keeps object, never deleted: for what a thread may still run on when
    // the process ends and that no other thread may delete (a QThread, a
    // QObject that lives on the thread left running).
    static void keepForRestOfProcess(const void* object);
    // Deletes every kept object that its thread has left.
    static void sweep();
    // Objects kept now.
    static std::size_t count();
};

} // namespace Net
} // namespace FF
