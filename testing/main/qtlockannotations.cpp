// Linked into every program of the ThreadSanitizer tree: tells the sanitizer
// what Qt's public locks order.
//
// Debian's Qt is not built for the sanitizer, and QMutex, QReadWriteLock and
// QSemaphore lock and wake with atomics and futex calls inside libQt5Core,
// which it neither sees nor intercepts (it does see pthread and std:: locks).
// Data that our code guards with a QMutex would look unguarded to it. So the
// program defines these exported functions itself: the dynamic linker binds
// every call from outside libQt5Core (our code, Qt's other libraries) to the
// program's definition first. Each definition calls Qt's own and only adds
// the sanitizer's documented annotations (<sanitizer/tsan_interface.h>):
// __tsan_acquire after a lock is taken, __tsan_release before it is given
// back. It adds no lock, no wait and no change to what Qt does.
//
// This is what Qt's documentation promises of each class, nothing more:
// - QMutex, QReadWriteLock: what a holder did before its unlock comes before
//   what the next holder does after its lock. (Readers are also ordered
//   after earlier readers, which Qt does not promise; and the sanitizer's
//   lock-order check, which std::mutex gets, does not cover these locks.)
// - QSemaphore: a release comes before the acquires that follow it.
// - QWaitCondition: the mutex or lock is given back for the wait and taken
//   again after it. What a waker hands over goes under that mutex; the wake
//   itself orders nothing here (Qt's pthread calls inside it are not
//   recorded: see tsan-suppressions.txt).
// - QThread: what the caller did before start() comes before run() (Qt
//   starts the thread with pthread_create, which the sanitizer intercepts);
//   what run() did comes before a wait() that returns true. Qt's threads are
//   detached, so no join tells the sanitizer of their end: each start()
//   connects the thread's finished() signal, which Qt emits on the thread
//   once run() has returned, to a release for the next wait().
// Calls inside libQt5Core stay bound to Qt's definitions (Debian links it
// with -Bsymbolic-functions), so Qt's own locks inside that library are not
// described; what is not described shows up as a report, never hides one.
// Qt's hand-overs through its event loop (queued signals, posted events,
// deleteLater) are not described either (ARCHITECTURE.md says which folders
// run in this tree and why).

#include <QMetaObject>
#include <QMutex>
#include <QReadWriteLock>
#include <QSemaphore>
#include <QThread>
#include <QWaitCondition>

#include <sanitizer/tsan_interface.h>

#include <dlfcn.h>

#include <cstdio>
#include <cstdlib>
#include <memory>

namespace {

// Qt's definition of a function that the program defines below: the next
// one after the program in the dynamic linker's order. A symbol that is
// missing stops the program, as the description would be wrong.
template <typename Function>
Function qtDefinition(const char* symbol)
{
    void* found = dlsym(RTLD_NEXT, symbol);
    if (!found) {
        std::fprintf(stderr, "qt lock annotations: %s not found after the program\n", symbol);
        std::abort();
    }
    return reinterpret_cast<Function>(found);
}

bool acquiredIf(bool taken, void* lock)
{
    if (taken)
        __tsan_acquire(lock);
    return taken;
}

} // namespace

void QMutex::lock() QT_MUTEX_LOCK_NOEXCEPT
{
    static const auto qt = qtDefinition<void (*)(QMutex*)>("_ZN6QMutex4lockEv");
    qt(this);
    __tsan_acquire(this);
}

bool QMutex::tryLock(int timeout) QT_MUTEX_LOCK_NOEXCEPT
{
    static const auto qt = qtDefinition<bool (*)(QMutex*, int)>("_ZN6QMutex7tryLockEi");
    return acquiredIf(qt(this, timeout), this);
}

void QMutex::unlock() noexcept
{
    static const auto qt = qtDefinition<void (*)(QMutex*)>("_ZN6QMutex6unlockEv");
    __tsan_release(this);
    qt(this);
}

void QReadWriteLock::lockForRead()
{
    static const auto qt = qtDefinition<void (*)(QReadWriteLock*)>("_ZN14QReadWriteLock11lockForReadEv");
    qt(this);
    __tsan_acquire(this);
}

bool QReadWriteLock::tryLockForRead()
{
    static const auto qt = qtDefinition<bool (*)(QReadWriteLock*)>("_ZN14QReadWriteLock14tryLockForReadEv");
    return acquiredIf(qt(this), this);
}

bool QReadWriteLock::tryLockForRead(int timeout)
{
    static const auto qt = qtDefinition<bool (*)(QReadWriteLock*, int)>("_ZN14QReadWriteLock14tryLockForReadEi");
    return acquiredIf(qt(this, timeout), this);
}

void QReadWriteLock::lockForWrite()
{
    static const auto qt = qtDefinition<void (*)(QReadWriteLock*)>("_ZN14QReadWriteLock12lockForWriteEv");
    qt(this);
    __tsan_acquire(this);
}

bool QReadWriteLock::tryLockForWrite()
{
    static const auto qt = qtDefinition<bool (*)(QReadWriteLock*)>("_ZN14QReadWriteLock15tryLockForWriteEv");
    return acquiredIf(qt(this), this);
}

bool QReadWriteLock::tryLockForWrite(int timeout)
{
    static const auto qt = qtDefinition<bool (*)(QReadWriteLock*, int)>("_ZN14QReadWriteLock15tryLockForWriteEi");
    return acquiredIf(qt(this, timeout), this);
}

void QReadWriteLock::unlock()
{
    static const auto qt = qtDefinition<void (*)(QReadWriteLock*)>("_ZN14QReadWriteLock6unlockEv");
    __tsan_release(this);
    qt(this);
}

void QSemaphore::acquire(int n)
{
    static const auto qt = qtDefinition<void (*)(QSemaphore*, int)>("_ZN10QSemaphore7acquireEi");
    qt(this, n);
    __tsan_acquire(this);
}

bool QSemaphore::tryAcquire(int n)
{
    static const auto qt = qtDefinition<bool (*)(QSemaphore*, int)>("_ZN10QSemaphore10tryAcquireEi");
    return acquiredIf(qt(this, n), this);
}

bool QSemaphore::tryAcquire(int n, int timeout)
{
    static const auto qt = qtDefinition<bool (*)(QSemaphore*, int, int)>("_ZN10QSemaphore10tryAcquireEii");
    return acquiredIf(qt(this, n, timeout), this);
}

void QSemaphore::release(int n)
{
    static const auto qt = qtDefinition<void (*)(QSemaphore*, int)>("_ZN10QSemaphore7releaseEi");
    __tsan_release(this);
    qt(this, n);
}

namespace {

// Qt's wait gives `lock` back and takes it again before it returns.
template <typename Lock, typename Deadline>
bool waitWithLockGivenBack(QWaitCondition* condition, Lock* lock, Deadline deadline, const char* symbol)
{
    static const auto qt = qtDefinition<bool (*)(QWaitCondition*, Lock*, Deadline)>(symbol);
    __tsan_release(lock);
    const bool woken = qt(condition, lock, deadline);
    __tsan_acquire(lock);
    return woken;
}

} // namespace

bool QWaitCondition::wait(QMutex* lockedMutex, QDeadlineTimer deadline)
{
    return waitWithLockGivenBack(this, lockedMutex, deadline, "_ZN14QWaitCondition4waitEP6QMutex14QDeadlineTimer");
}

bool QWaitCondition::wait(QMutex* lockedMutex, unsigned long time)
{
    return waitWithLockGivenBack(this, lockedMutex, time, "_ZN14QWaitCondition4waitEP6QMutexm");
}

bool QWaitCondition::wait(QReadWriteLock* lockedReadWriteLock, QDeadlineTimer deadline)
{
    return waitWithLockGivenBack(this, lockedReadWriteLock, deadline,
                                 "_ZN14QWaitCondition4waitEP14QReadWriteLock14QDeadlineTimer");
}

bool QWaitCondition::wait(QReadWriteLock* lockedReadWriteLock, unsigned long time)
{
    return waitWithLockGivenBack(this, lockedReadWriteLock, time, "_ZN14QWaitCondition4waitEP14QReadWriteLockm");
}

void QThread::start(Priority priority)
{
    static const auto qt = qtDefinition<void (*)(QThread*, Priority)>("_ZN7QThread5startENS_8PriorityE");
    // One connection per start, removed by its own call.
    auto connection = std::make_shared<QMetaObject::Connection>();
    *connection = QObject::connect(
        this, &QThread::finished, this,
        [this, connection] {
            __tsan_release(this);
            QObject::disconnect(*connection);
        },
        Qt::DirectConnection);
    qt(this, priority);
}

bool QThread::wait(QDeadlineTimer deadline)
{
    static const auto qt = qtDefinition<bool (*)(QThread*, QDeadlineTimer)>("_ZN7QThread4waitE14QDeadlineTimer");
    return acquiredIf(qt(this, deadline), this);
}

bool QThread::wait(unsigned long time)
{
    static const auto qt = qtDefinition<bool (*)(QThread*, unsigned long)>("_ZN7QThread4waitEm");
    return acquiredIf(qt(this, time), this);
}
