#include "framework/utils/leftrunning.h"

#include "platform/exceptionlog/exceptionlog.h"

#include <QThread>
#include <QtGlobal>

#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <system_error>
#include <thread>
#include <utility>
#include <vector>

namespace FF {
namespace utils {

namespace {

struct Kept {
    std::shared_ptr<void> object;
    std::function<bool()> ended;
    const char* what;
};

struct Keeper {
    std::mutex lock;
    std::condition_variable exitingChanged;
    std::vector<Kept> kept; // under lock: those the keeper's thread is not looking at
    std::size_t held = 0;   // under lock: every object kept, also those looked at or being deleted
    bool looking = false;   // under lock: the keeper's thread runs
    bool deleting = false;  // under lock: the keeper's thread deletes a batch outside the lock
    bool exiting = false;   // under lock: the process ends, nothing more is deleted
    bool hooked = false;    // under lock: the process's end is hooked
};

// Made once and never destroyed: what it holds may still have its threads
// running when the process ends, and must not be deleted then.
Keeper& keeper()
{
    static Keeper* const instance = new Keeper;
    return *instance;
}

// At exit: what is kept now stays, reachable, and the keeper's thread ends
// at its next look. A batch it is deleting then is finished first (its
// threads have ended: their objects' destructors wait for nothing), so that
// from the return on no destructor of the keeper's runs beside those of the
// process's statics.
void processEnds()
{
    Keeper& k = keeper();
    std::unique_lock<std::mutex> lock(k.lock);
    k.exiting = true;
    k.exitingChanged.notify_all();
    if (!k.exitingChanged.wait_for(lock, std::chrono::milliseconds(LeftRunning::kExitWaitLimitMs),
                                   [&k] { return !k.deleting; }))
        std::fprintf(stderr, "LeftRunning: what ended is still being deleted %d ms into the process's exit\n",
                     LeftRunning::kExitWaitLimitMs);
}

bool hasEnded(const Kept& kept)
{
    try {
        return kept.ended();
    } catch (...) {
        platform::reportEscapedException(kept.what);
        return false;
    }
}

// The keeper's thread: every kLookStepMs, asks each object kept whether its
// thread has ended and drops those that have, until nothing is kept.
void lookAfterKept()
{
    Keeper& k = keeper();
    std::unique_lock<std::mutex> lock(k.lock);
    while (!k.exiting && k.held > 0) {
        k.exitingChanged.wait_for(lock, std::chrono::milliseconds(LeftRunning::kLookStepMs),
                                  [&k] { return k.exiting; });
        if (k.exiting)
            break;
        std::vector<Kept> looked;
        looked.swap(k.kept);
        lock.unlock();
        // Asked and dropped outside the lock: an answer may take a lock of
        // the object's, and a destructor may keep something of its own.
        std::vector<Kept> ended;
        std::vector<Kept> running;
        for (Kept& kept : looked)
            (hasEnded(kept) ? ended : running).push_back(std::move(kept));
        lock.lock();
        for (Kept& kept : running)
            k.kept.push_back(std::move(kept));
        if (k.exiting) {
            for (Kept& kept : ended)
                k.kept.push_back(std::move(kept));
            break;
        }
        k.deleting = true;
        lock.unlock();
        const std::size_t dropped = ended.size();
        ended.clear();
        lock.lock();
        k.held -= dropped;
        k.deleting = false;
        k.exitingChanged.notify_all();
    }
    k.looking = false;
}

struct ThreadAndUses {
    std::shared_ptr<void> uses;
    std::unique_ptr<QThread> thread; // deleted first
};

} // namespace

bool LeftRunning::keep(std::shared_ptr<void> object, std::function<bool()> ended, const char* what)
{
    Keeper& k = keeper();
    std::unique_lock<std::mutex> lock(k.lock);
    if (k.held >= kLimit) {
        lock.unlock();
        qCritical("LeftRunning: %zu objects wait for their threads to end already: %s is left to its thread, "
                  "never freed",
                  kLimit, what);
        // Dropping the last owner would delete it under its thread.
        static_cast<void>(new std::shared_ptr<void>(std::move(object)));
        return false;
    }
    k.kept.push_back({std::move(object), std::move(ended), what});
    ++k.held;
    if (!k.hooked) {
        k.hooked = true;
        std::atexit(processEnds);
    }
    if (!k.looking && !k.exiting) {
        try {
            std::thread(lookAfterKept).detach();
            k.looking = true;
        } catch (const std::system_error& error) {
            // The next keep tries again; until then what is kept stays.
            qWarning("LeftRunning: no thread to look after what is kept (%s): %s stays until a later keep",
                     error.what(), what);
        }
    }
    return true;
}

bool LeftRunning::keepThread(std::unique_ptr<QThread> thread, std::shared_ptr<void> uses, const char* what)
{
    if (!thread)
        return true;
    QThread* const running = thread.get();
    // A join that does not wait: true once the thread is done with its object.
    return keep(
        std::make_shared<ThreadAndUses>(ThreadAndUses{std::move(uses), std::move(thread)}),
        [running] { return running->wait(0); }, what);
}

std::size_t LeftRunning::count()
{
    Keeper& k = keeper();
    std::lock_guard<std::mutex> guard(k.lock);
    return k.held;
}

} // namespace utils
} // namespace FF
