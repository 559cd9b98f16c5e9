// Linked into every test program of the ThreadSanitizer tree: tells the
// sanitizer what Qt's own locks, semaphores and wait conditions do.
//
// Debian's Qt 5.15 is not built with -fsanitize=thread, and its QMutex,
// QReadWriteLock and QSemaphore lock, wait and wake with atomics and futex
// calls inside libQt5Core, which the sanitizer neither sees nor intercepts
// (unlike pthread and std:: locks): to it, data that our code guards with a
// QMutex would look unguarded, and every such access a race. Qt 6 annotates
// these classes itself for the sanitizer; this file adds the same annotations
// around Qt 5's out-of-line functions, which our code calls through the
// dynamic linker: the program defines them, so the dynamic linker binds every
// call from our code here (it searches the program first), and each definition
// calls Qt's own after telling the sanitizer what it does. Calls inside
// libQt5Core itself stay bound to Qt's definitions, as are its own locks;
// only the locks our code takes are described.
//
// The model is no wider than the classes: a lock orders what one holder did
// before its unlock before what the next holder does after its lock (and the
// sanitizer checks lock order, as for std::mutex); a semaphore's release
// orders before an acquire that it made possible; a wait condition's wake
// before the wait it ends, with the mutex unlocked for the wait; what a
// QThread did up to its finished() signal before a wait() that saw it end
// (Qt's threads are detached: no join tells the sanitizer of their end).

#include "testing/main/nextdefinition.h"

#include <QByteArray>
#include <QMetaType>
#include <QMutex>
#include <QReadWriteLock>
#include <QSemaphore>
#include <QThread>
#include <QThreadPool>
#include <QVariant>
#include <QWaitCondition>
#include <QtCore/private/qthread_p.h>

#include <sanitizer/tsan_interface.h>

#include <dlfcn.h>
#include <pthread.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <mutex>
#include <vector>

namespace {

using TsanAnnotations::nextDefinition;

// The read-write locks this thread holds and how, newest last: the unlock
// must tell the sanitizer which of the two it ends.
struct HeldReadWriteLock {
    const void* lock;
    bool forWrite;
};
thread_local std::vector<HeldReadWriteLock> t_heldReadWriteLocks;

void noteReadWriteLocked(const void* lock, bool forWrite)
{
    t_heldReadWriteLocks.push_back({lock, forWrite});
}

unsigned readWriteUnlockFlags(const void* lock)
{
    for (auto held = t_heldReadWriteLocks.rbegin(); held != t_heldReadWriteLocks.rend(); ++held) {
        if (held->lock == lock) {
            const bool forWrite = held->forWrite;
            t_heldReadWriteLocks.erase(std::next(held).base());
            return forWrite ? 0 : __tsan_mutex_read_lock;
        }
    }
    return 0;
}

} // namespace

// QMutex and QRecursiveMutex (a QMutex underneath, which Qt's
// QRecursiveMutex destructor destroys inside libQt5Core: its end is not
// told, which matters not, as the sanitizer forgets the locks of memory
// freed). A lock taken again by the thread that holds it counts as recursive.

QMutex::~QMutex()
{
    static const auto real = nextDefinition<void (*)(QMutex*)>("_ZN6QMutexD2Ev");
    __tsan_mutex_destroy(this, 0);
    real(this);
}

void QMutex::lock() QT_MUTEX_LOCK_NOEXCEPT
{
    static const auto real = nextDefinition<void (*)(QMutex*)>("_ZN6QMutex4lockEv");
    __tsan_mutex_pre_lock(this, 0);
    real(this);
    __tsan_mutex_post_lock(this, 0, 0);
}

bool QMutex::tryLock(int timeout) QT_MUTEX_LOCK_NOEXCEPT
{
    static const auto real = nextDefinition<bool (*)(QMutex*, int)>("_ZN6QMutex7tryLockEi");
    __tsan_mutex_pre_lock(this, __tsan_mutex_try_lock);
    const bool locked = real(this, timeout);
    __tsan_mutex_post_lock(this, locked ? __tsan_mutex_try_lock : __tsan_mutex_try_lock_failed, 0);
    return locked;
}

void QMutex::unlock() noexcept
{
    static const auto real = nextDefinition<void (*)(QMutex*)>("_ZN6QMutex6unlockEv");
    __tsan_mutex_pre_unlock(this, 0);
    real(this);
    __tsan_mutex_post_unlock(this, 0);
}

// QReadWriteLock.

QReadWriteLock::~QReadWriteLock()
{
    static const auto real = nextDefinition<void (*)(QReadWriteLock*)>("_ZN14QReadWriteLockD2Ev");
    __tsan_mutex_destroy(this, 0);
    real(this);
}

void QReadWriteLock::lockForRead()
{
    static const auto real = nextDefinition<void (*)(QReadWriteLock*)>("_ZN14QReadWriteLock11lockForReadEv");
    __tsan_mutex_pre_lock(this, __tsan_mutex_read_lock);
    real(this);
    __tsan_mutex_post_lock(this, __tsan_mutex_read_lock, 0);
    noteReadWriteLocked(this, false);
}

bool QReadWriteLock::tryLockForRead()
{
    return tryLockForRead(0);
}

bool QReadWriteLock::tryLockForRead(int timeout)
{
    static const auto real = nextDefinition<bool (*)(QReadWriteLock*, int)>("_ZN14QReadWriteLock14tryLockForReadEi");
    __tsan_mutex_pre_lock(this, __tsan_mutex_try_read_lock);
    const bool locked = real(this, timeout);
    __tsan_mutex_post_lock(this, locked ? __tsan_mutex_try_read_lock : __tsan_mutex_try_read_lock_failed, 0);
    if (locked)
        noteReadWriteLocked(this, false);
    return locked;
}

void QReadWriteLock::lockForWrite()
{
    static const auto real = nextDefinition<void (*)(QReadWriteLock*)>("_ZN14QReadWriteLock12lockForWriteEv");
    __tsan_mutex_pre_lock(this, 0);
    real(this);
    __tsan_mutex_post_lock(this, 0, 0);
    noteReadWriteLocked(this, true);
}

bool QReadWriteLock::tryLockForWrite()
{
    return tryLockForWrite(0);
}

bool QReadWriteLock::tryLockForWrite(int timeout)
{
    static const auto real = nextDefinition<bool (*)(QReadWriteLock*, int)>("_ZN14QReadWriteLock15tryLockForWriteEi");
    __tsan_mutex_pre_lock(this, __tsan_mutex_try_lock);
    const bool locked = real(this, timeout);
    __tsan_mutex_post_lock(this, locked ? __tsan_mutex_try_lock : __tsan_mutex_try_lock_failed, 0);
    if (locked)
        noteReadWriteLocked(this, true);
    return locked;
}

void QReadWriteLock::unlock()
{
    static const auto real = nextDefinition<void (*)(QReadWriteLock*)>("_ZN14QReadWriteLock6unlockEv");
    const unsigned flags = readWriteUnlockFlags(this);
    __tsan_mutex_pre_unlock(this, flags);
    real(this);
    __tsan_mutex_post_unlock(this, flags);
}

// QSemaphore: a release orders before the acquires it lets through.

void QSemaphore::acquire(int n)
{
    static const auto real = nextDefinition<void (*)(QSemaphore*, int)>("_ZN10QSemaphore7acquireEi");
    real(this, n);
    __tsan_acquire(this);
}

bool QSemaphore::tryAcquire(int n)
{
    static const auto real = nextDefinition<bool (*)(QSemaphore*, int)>("_ZN10QSemaphore10tryAcquireEi");
    const bool acquired = real(this, n);
    if (acquired)
        __tsan_acquire(this);
    return acquired;
}

bool QSemaphore::tryAcquire(int n, int timeout)
{
    static const auto real = nextDefinition<bool (*)(QSemaphore*, int, int)>("_ZN10QSemaphore10tryAcquireEii");
    const bool acquired = real(this, n, timeout);
    if (acquired)
        __tsan_acquire(this);
    return acquired;
}

void QSemaphore::release(int n)
{
    static const auto real = nextDefinition<void (*)(QSemaphore*, int)>("_ZN10QSemaphore7releaseEi");
    __tsan_release(this);
    real(this, n);
}

// QThreadPool: what the caller did before start() orders before the task.
// A pool thread that waits for work is handed its task through a wait
// condition inside libQt5Core, whose pthread calls the sanitizer sees; but a
// thread busy with an earlier task takes the next one from the pool's queue
// under the pool's QMutex alone, unseen. QtGui's smooth scaling and image
// conversions split their work this way (and wait for it with a QSemaphore,
// described above). The task is wrapped in one of ours, which acquires on
// the pool's thread, before it calls the task, the key released here once
// the wrapper was made: the wrapper's own address inside the function
// object, which it knows without reading memory.

namespace {

class PoolTask {
public:
    explicit PoolTask(std::function<void()> function)
        : m_function(std::move(function))
    {
    }

    void operator()()
    {
        __tsan_acquire(this);
        m_function();
    }

private:
    std::function<void()> m_function;
};

} // namespace

void QThreadPool::start(std::function<void()> functionToRun, int priority)
{
    static const auto real = nextDefinition<void (*)(QThreadPool*, std::function<void()>, int)>(
        "_ZN11QThreadPool5startESt8functionIFvvEEi");
    std::function<void()> task = PoolTask(std::move(functionToRun));
    __tsan_release(task.target<PoolTask>());
    real(this, std::move(task), priority);
}

// QWaitCondition: the mutex is unlocked for the wait and locked again after it.

namespace {

template <typename Deadline>
bool waitUnlocked(QWaitCondition* condition, QMutex* mutex, Deadline deadline, const char* symbol)
{
    static const auto real = nextDefinition<bool (*)(QWaitCondition*, QMutex*, Deadline)>(symbol);
    __tsan_mutex_pre_unlock(mutex, 0);
    __tsan_mutex_post_unlock(mutex, 0);
    const bool woken = real(condition, mutex, deadline);
    __tsan_mutex_pre_lock(mutex, 0);
    __tsan_mutex_post_lock(mutex, 0, 0);
    __tsan_acquire(condition);
    return woken;
}

} // namespace

bool QWaitCondition::wait(QMutex* lockedMutex, QDeadlineTimer deadline)
{
    return waitUnlocked(this, lockedMutex, deadline, "_ZN14QWaitCondition4waitEP6QMutex14QDeadlineTimer");
}

bool QWaitCondition::wait(QMutex* lockedMutex, unsigned long time)
{
    return waitUnlocked(this, lockedMutex, time, "_ZN14QWaitCondition4waitEP6QMutexm");
}

void QWaitCondition::wakeOne()
{
    static const auto real = nextDefinition<void (*)(QWaitCondition*)>("_ZN14QWaitCondition7wakeOneEv");
    __tsan_release(this);
    real(this);
}

void QWaitCondition::wakeAll()
{
    static const auto real = nextDefinition<void (*)(QWaitCondition*)>("_ZN14QWaitCondition7wakeAllEv");
    __tsan_release(this);
    real(this);
}

// QThread: its finished() signal, emitted on the thread itself once run() has
// returned, orders what the thread did before a wait() that returns true.

void QThread::start(Priority priority)
{
    static const auto real = nextDefinition<void (*)(QThread*, Priority)>("_ZN7QThread5startENS_8PriorityE");
    static const char kHooked[] = "_tw_tsan_finished_hook";
    if (!property(kHooked).toBool()) {
        setProperty(kHooked, true);
        QObject::connect(
            this, &QThread::finished, this, [this] { __tsan_release(this); }, Qt::DirectConnection);
    }
    real(this, priority);
}

namespace {

// A wait() that saw the thread end: Qt's thread wakes its waiters last of
// all, on a wait condition of its own whose private part starts with the
// pthread mutex it broadcasts under, after its finished() signal, and the
// program then destroys that condition (with the QThread). The waiter may
// never have blocked on it (the thread had ended already, which it learns
// under a QMutex inside libQt5Core): locking and unlocking that mutex here
// orders the thread's last wake-up before what follows, as a waiter that
// blocked is ordered.
void afterThreadEnded(QThread* thread)
{
    static_assert(sizeof(QWaitCondition) == sizeof(void*), "QWaitCondition holds more than its private part");
    auto* threadPrivate = static_cast<QThreadPrivate*>(QObjectPrivate::get(thread));
    pthread_mutex_t* doneMutex = nullptr;
    std::memcpy(&doneMutex, &threadPrivate->thread_done, sizeof doneMutex);
    pthread_mutex_lock(doneMutex);
    pthread_mutex_unlock(doneMutex);
    __tsan_acquire(thread);
}

} // namespace

bool QThread::wait(QDeadlineTimer deadline)
{
    static const auto real = nextDefinition<bool (*)(QThread*, QDeadlineTimer)>("_ZN7QThread4waitE14QDeadlineTimer");
    const bool ended = real(this, deadline);
    if (ended)
        afterThreadEnded(this);
    return ended;
}

bool QThread::wait(unsigned long time)
{
    static const auto real = nextDefinition<bool (*)(QThread*, unsigned long)>("_ZN7QThread4waitEm");
    const bool ended = real(this, time);
    if (ended)
        afterThreadEnded(this);
    return ended;
}

namespace {

// Qt's type registry: names and functions under a read-write lock of
// libQt5Core's own, which the sanitizer does not see. Two threads that
// register or look up types at once (the first socket of each of two
// threads registers QtNetwork's types) look to it like one writing a name
// (memcpy) while the other compares it (memcmp). The registry's functions
// called from outside libQt5Core (by QtNetwork, QtGui and our code) run one
// at a time here, under a lock the sanitizer sees, in the order Qt's lock
// gives them.
std::recursive_mutex& typeRegistryLock()
{
    static std::recursive_mutex lock;
    return lock;
}

} // namespace

int QMetaType::registerNormalizedType(const ::QByteArray& name, Destructor destructor, Constructor constructor,
                                      int size, TypeFlags flags, const QMetaObject* metaObject)
{
    static const auto real = nextDefinition<int (*)(const ::QByteArray&, Destructor, Constructor, int, TypeFlags,
                                                    const QMetaObject*)>(
        "_ZN9QMetaType22registerNormalizedTypeERK10QByteArrayPFvPvEPFS3_S3_PKvEi6QFlagsINS_8TypeFlagEEPK11QMetaObject");
    std::lock_guard<std::recursive_mutex> hold(typeRegistryLock());
    return real(name, destructor, constructor, size, flags, metaObject);
}

int QMetaType::registerNormalizedTypedef(const ::QByteArray& name, int aliasId)
{
    static const auto real = nextDefinition<int (*)(const ::QByteArray&, int)>(
        "_ZN9QMetaType25registerNormalizedTypedefERK10QByteArrayi");
    std::lock_guard<std::recursive_mutex> hold(typeRegistryLock());
    return real(name, aliasId);
}

int QMetaType::type(const char* name)
{
    static const auto real = nextDefinition<int (*)(const char*)>("_ZN9QMetaType4typeEPKc");
    std::lock_guard<std::recursive_mutex> hold(typeRegistryLock());
    return real(name);
}

int QMetaType::type(const ::QByteArray& name)
{
    static const auto real = nextDefinition<int (*)(const ::QByteArray&)>("_ZN9QMetaType4typeERK10QByteArray");
    std::lock_guard<std::recursive_mutex> hold(typeRegistryLock());
    return real(name);
}

const char* QMetaType::typeName(int id)
{
    static const auto real = nextDefinition<const char* (*)(int)>("_ZN9QMetaType8typeNameEi");
    std::lock_guard<std::recursive_mutex> hold(typeRegistryLock());
    return real(id);
}

// What Qt orders inside its own libraries when a thread of its own ends: Qt
// waits for the thread inside libQt5Core (seeing it ended under a QMutex,
// unseen, when it ended before the wait began) and then deletes it, with its
// wait conditions. To the sanitizer the destruction of such a wait
// condition's pthread mutex and condition races with the ended thread's last
// use of them: the global thread pool's threads at the application's end, a
// platform plugin's event queue thread. Our code has no QWaitCondition of
// its own (it uses std:: and pthread waits, which the sanitizer sees in
// full, and QWaitCondition only through the hooks above), and the
// destructor runs none of our code, so this hides no access of ours.
extern "C" const char* __tsan_default_suppressions()
{
    return "race:QWaitCondition::~QWaitCondition\n";
}
