#pragma once

// What an owner gave up waiting for: an object that a thread still runs in
// (a receive thread whose handler has not returned, a reconnection attempt
// under way, a dispatcher's message or a session's slot that outlived its
// end, a transfer thread that outlived its cancel), with whatever that
// thread still uses. Deleting it would pull it from under the thread (and
// deleting a QThread that runs ends the program), so it is kept here, and
// deleted once its thread has ended: on the keeper's own thread, which looks
// every kLookStepMs while it keeps anything and ends when it keeps nothing,
// never on a thread that still runs in the object, and with no later keep()
// needed. Only what a thread that never ends uses stays for the rest of the
// process (reachable, so a leak check does not count it). Once the process's
// exit has reached the keeper's hook, nothing more is deleted: a batch being
// deleted then is finished first (within kExitWaitLimitMs), and what is kept
// stays. The hook is registered with the first keep, so exit runs it before
// the destructors of the statics made until then; a static made later is
// destroyed before it, while the keeper may still delete.
//
// At most kLimit objects are kept at a time, so that a look stays short.
// One more is logged and left to its thread: neither kept nor ever freed
// (freeing it could pull it from under the thread), so a leak check reports
// it. A process with that many threads stuck at once is lost anyway.
//
// One keeper serves the process: the programs and the framework above this
// library all link the same form of it.

#include <cstddef>
#include <functional>
#include <memory>

class QThread;

namespace FF {
namespace utils {

class LeftRunning {
public:
    static constexpr std::size_t kLimit = 1024;
    static constexpr int kLookStepMs = 100;
    // The process's exit waits this long at most for a batch being deleted.
    static constexpr int kExitWaitLimitMs = 1000;

    // Keeps object until ended() holds, then drops it on the keeper's thread.
    // ended() is asked there, with the object alive: it must not wait, and
    // its true must order all that the thread did before the drop (a join
    // that does not wait, such as QThread::wait(0); not isFinished(), which
    // holds while the thread still runs its end). what names the object in
    // the log. False when kLimit objects are kept already (see above).
    static bool keep(std::shared_ptr<void> object, std::function<bool()> ended, const char* what);
    // Keeps thread until it has ended, with what it uses: the thread is
    // deleted first, then uses is let go.
    static bool keepThread(std::unique_ptr<QThread> thread, std::shared_ptr<void> uses, const char* what);
    // Objects kept now, counting those being deleted.
    static std::size_t count();
};

} // namespace utils
} // namespace FF
