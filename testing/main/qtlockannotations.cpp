// Linked into every program of the ThreadSanitizer tree: tells the sanitizer
// what Qt's public locks are.
//
// Debian's Qt is not built for the sanitizer, and QMutex, QReadWriteLock and
// QSemaphore lock and wake with atomics and futex calls inside libQt5Core,
// which it neither sees nor intercepts (it does see pthread and std:: locks).
// Data that our code guards with a QMutex would look unguarded to it. So the
// program defines these exported functions itself: the dynamic linker binds
// every call from outside libQt5Core (our code, Qt's other libraries) to the
// program's definition first. Each definition calls Qt's own and only adds
// the sanitizer's documented annotations (<sanitizer/tsan_interface.h>). It
// adds no lock, no wait and no change to what Qt does.
//
// This is what Qt's documentation promises of each class, nothing more:
// - QMutex and QReadWriteLock are described as mutexes (__tsan_mutex_pre_lock,
//   _post_lock, _pre_unlock, _post_unlock, _destroy), as the sanitizer
//   describes std::mutex and pthread's locks: what a holder did before its
//   unlock comes before what the next holder does after its lock; a read
//   lock is shared, so readers are ordered after writers only, never after
//   one another; try-locks say whether they took the lock; a recursive mutex
//   is reentrant. The sanitizer checks the order in which a thread takes
//   these locks against the orders it saw before (a lock-order inversion is
//   reported as a potential deadlock), reports an unlock by a thread that
//   does not hold the lock and a lock destroyed while held. What Qt does
//   inside a lock or an unlock call (its atomics, futex calls, the waiting
//   part it allocates when threads contend) is not recorded.
// - QSemaphore: a release comes before the acquires that follow it (no
//   owner, no order of locks: a hand-over, not a mutex).
// - QWaitCondition: the mutex or lock is given back for the wait and taken
//   again after it; what Qt does meanwhile (its own unlock and relock, the
//   wait on its own pthread condition) and inside a wake is not recorded:
//   the wake itself orders nothing, what a waker hands over goes under the
//   mutex.
// - QThread: what the caller did before start() comes before run() (Qt
//   starts the thread with pthread_create, which the sanitizer intercepts);
//   what run() did comes before a wait() that returns true. Qt's threads are
//   detached, so no join tells the sanitizer of their end: each start()
//   connects the thread's finished() signal, which Qt emits on the thread
//   once run() has returned, to a release for the next wait().
// Calls inside libQt5Core stay bound to Qt's definitions (Debian links it
// with -Bsymbolic-functions), so Qt's own locks inside that library are not
// described. Nor is QBasicMutex's inline fast path: QBasicMutex::lock(),
// unlock() and tryLock() called on a QBasicMutex itself (a static
// QBasicMutex locked directly, std::lock_guard<QBasicMutex>) take it with an
// inline atomic (and Qt's slow path when contended) and never reach the
// functions defined here; QMutex, QRecursiveMutex and QMutexLocker, even over
// a QBasicMutex, call them. Such a lock orders
// nothing for the sanitizer, so what it guards would be reported as a race,
// never hidden, and its lock order would not be checked. No folder of the
// tree locks a QBasicMutex itself, and Qt's headers do so only in
// Q_GLOBAL_STATIC for compilers without thread-safe statics. Qt's hand-overs
// through its event loop (queued signals, posted events, deleteLater) are not
// described either (tsan-suppressions.txt says what the sanitizer does not
// see, ARCHITECTURE.md which folders run in this tree and why).

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

// A description that cannot be right stops the program.
[[noreturn]] void stop(const char* what)
{
    std::fprintf(stderr, "qt lock annotations: %s\n", what);
    std::abort();
}

// A lock call: the sanitizer learns that the lock is wanted (where it checks
// the lock order), Qt takes it or not, the sanitizer learns which.
template <typename TakeLock>
bool annotatedLock(void* lock, unsigned flags, TakeLock take)
{
    __tsan_mutex_pre_lock(lock, flags);
    const bool taken = take();
    __tsan_mutex_post_lock(lock, taken ? flags : flags | __tsan_mutex_try_lock_failed, 0);
    return taken;
}

template <typename GiveBack>
void annotatedUnlock(void* lock, unsigned flags, GiveBack giveBack)
{
    __tsan_mutex_pre_unlock(lock, flags);
    giveBack();
    __tsan_mutex_post_unlock(lock, flags);
}

// A recursive QMutex is reentrant (a creation flag, given with each lock:
// the default constructor is inline, so the sanitizer never sees a mutex
// made).
unsigned mutexFlags(const QMutex* mutex)
{
    return mutex != nullptr && mutex->isRecursive() ? __tsan_mutex_write_reentrant : 0;
}

// A timed try-lock with a negative time-out waits without limit: a lock.
unsigned tryFlags(int timeout)
{
    return timeout < 0 ? 0 : __tsan_mutex_try_lock;
}

// QReadWriteLock::unlock() does not say which side it gives back, and the
// sanitizer must be told. So each thread keeps the read-write locks it holds,
// the side of each and how often (a recursive lock is taken again by its
// holder), the last taken last.
class HeldReadWriteLocks {
public:
    void taken(const QReadWriteLock* lock, bool forRead)
    {
        if (m_count == kMaximum)
            stop("a thread holds more read-write locks than are kept");
        m_held[m_count++] = {lock, forRead};
    }

    // The side of the lock's last taking, which the unlock gives back.
    bool givenBack(const QReadWriteLock* lock)
    {
        for (int at = m_count - 1; at >= 0; --at) {
            if (m_held[at].lock != lock)
                continue;
            const bool forRead = m_held[at].forRead;
            for (int next = at + 1; next < m_count; ++next)
                m_held[next - 1] = m_held[next];
            --m_count;
            return forRead;
        }
        // Not held by this thread: described as a write unlock, which the
        // sanitizer reports as an unlock by a thread that does not hold it.
        return false;
    }

    // The side the thread holds the lock on, for a wait that gives it back.
    bool heldForRead(const QReadWriteLock* lock) const
    {
        for (int at = m_count - 1; at >= 0; --at) {
            if (m_held[at].lock == lock)
                return m_held[at].forRead;
        }
        return false;
    }

private:
    static constexpr int kMaximum = 64;
    struct Held {
        const QReadWriteLock* lock;
        bool forRead;
    };
    Held m_held[kMaximum] = {};
    int m_count = 0;
};

thread_local HeldReadWriteLocks t_heldReadWriteLocks;

unsigned sideFlags(bool forRead)
{
    return forRead ? __tsan_mutex_read_lock : 0;
}

template <typename TakeLock>
bool annotatedReadWriteLock(QReadWriteLock* lock, bool forRead, unsigned tryFlag, TakeLock take)
{
    const bool taken = annotatedLock(lock, sideFlags(forRead) | tryFlag, take);
    if (taken)
        t_heldReadWriteLocks.taken(lock, forRead);
    return taken;
}

} // namespace

void QMutex::lock() QT_MUTEX_LOCK_NOEXCEPT
{
    static const auto qt = qtDefinition<void (*)(QMutex*)>("_ZN6QMutex4lockEv");
    annotatedLock(this, mutexFlags(this), [this] {
        qt(this);
        return true;
    });
}

bool QMutex::tryLock(int timeout) QT_MUTEX_LOCK_NOEXCEPT
{
    static const auto qt = qtDefinition<bool (*)(QMutex*, int)>("_ZN6QMutex7tryLockEi");
    return annotatedLock(this, mutexFlags(this) | tryFlags(timeout), [this, timeout] { return qt(this, timeout); });
}

void QMutex::unlock() noexcept
{
    static const auto qt = qtDefinition<void (*)(QMutex*)>("_ZN6QMutex6unlockEv");
    annotatedUnlock(this, 0, [this] { qt(this); });
}

// The sanitizer forgets the mutex, so that another one made later at the
// same address starts afresh, and reports a mutex destroyed while held.
// (QRecursiveMutex's destructor calls this one inside libQt5Core, unseen: a
// recursive mutex is forgotten when its memory is freed.)
QMutex::~QMutex()
{
    static const auto qt = qtDefinition<void (*)(QMutex*)>("_ZN6QMutexD2Ev");
    __tsan_mutex_destroy(this, 0);
    qt(this);
}

// A recursive read-write lock is reentrant on both sides; the mode is given
// only here.
QReadWriteLock::QReadWriteLock(RecursionMode recursionMode)
{
    static const auto qt = qtDefinition<void (*)(QReadWriteLock*, RecursionMode)>(
        "_ZN14QReadWriteLockC2ENS_13RecursionModeE");
    qt(this, recursionMode);
    __tsan_mutex_create(this,
                        recursionMode == Recursive ? __tsan_mutex_write_reentrant | __tsan_mutex_read_reentrant : 0);
}

QReadWriteLock::~QReadWriteLock()
{
    static const auto qt = qtDefinition<void (*)(QReadWriteLock*)>("_ZN14QReadWriteLockD2Ev");
    __tsan_mutex_destroy(this, 0);
    qt(this);
}

void QReadWriteLock::lockForRead()
{
    static const auto qt = qtDefinition<void (*)(QReadWriteLock*)>("_ZN14QReadWriteLock11lockForReadEv");
    annotatedReadWriteLock(this, true, 0, [this] {
        qt(this);
        return true;
    });
}

bool QReadWriteLock::tryLockForRead()
{
    static const auto qt = qtDefinition<bool (*)(QReadWriteLock*)>("_ZN14QReadWriteLock14tryLockForReadEv");
    return annotatedReadWriteLock(this, true, __tsan_mutex_try_lock, [this] { return qt(this); });
}

bool QReadWriteLock::tryLockForRead(int timeout)
{
    static const auto qt = qtDefinition<bool (*)(QReadWriteLock*, int)>("_ZN14QReadWriteLock14tryLockForReadEi");
    return annotatedReadWriteLock(this, true, tryFlags(timeout), [this, timeout] { return qt(this, timeout); });
}

void QReadWriteLock::lockForWrite()
{
    static const auto qt = qtDefinition<void (*)(QReadWriteLock*)>("_ZN14QReadWriteLock12lockForWriteEv");
    annotatedReadWriteLock(this, false, 0, [this] {
        qt(this);
        return true;
    });
}

bool QReadWriteLock::tryLockForWrite()
{
    static const auto qt = qtDefinition<bool (*)(QReadWriteLock*)>("_ZN14QReadWriteLock15tryLockForWriteEv");
    return annotatedReadWriteLock(this, false, __tsan_mutex_try_lock, [this] { return qt(this); });
}

bool QReadWriteLock::tryLockForWrite(int timeout)
{
    static const auto qt = qtDefinition<bool (*)(QReadWriteLock*, int)>("_ZN14QReadWriteLock15tryLockForWriteEi");
    return annotatedReadWriteLock(this, false, tryFlags(timeout), [this, timeout] { return qt(this, timeout); });
}

void QReadWriteLock::unlock()
{
    static const auto qt = qtDefinition<void (*)(QReadWriteLock*)>("_ZN14QReadWriteLock6unlockEv");
    annotatedUnlock(this, sideFlags(t_heldReadWriteLocks.givenBack(this)), [this] { qt(this); });
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
    const bool acquired = qt(this, n);
    if (acquired)
        __tsan_acquire(this);
    return acquired;
}

bool QSemaphore::tryAcquire(int n, int timeout)
{
    static const auto qt = qtDefinition<bool (*)(QSemaphore*, int, int)>("_ZN10QSemaphore10tryAcquireEii");
    const bool acquired = qt(this, n, timeout);
    if (acquired)
        __tsan_acquire(this);
    return acquired;
}

void QSemaphore::release(int n)
{
    static const auto qt = qtDefinition<void (*)(QSemaphore*, int)>("_ZN10QSemaphore7releaseEi");
    __tsan_release(this);
    qt(this, n);
}

// The releases recorded at this address are forgotten with the semaphore: a
// semaphore made later at the same address (a test's next one on the stack)
// must not hand them over.
QSemaphore::~QSemaphore()
{
    static const auto qt = qtDefinition<void (*)(QSemaphore*)>("_ZN10QSemaphoreD2Ev");
    __tsan_mutex_destroy(this, 0);
    qt(this);
}

namespace {

// Qt's wait gives `lock` back and takes it again before it returns. The
// sanitizer is told of the unlock before Qt's call and of the lock after it;
// Qt's own unlock, wait and relock run inside the unlock's annotation, where
// nothing is recorded.
template <typename Lock, typename Deadline>
bool waitWithLockGivenBack(QWaitCondition* condition, Lock* lock, unsigned flags, Deadline deadline, const char* symbol)
{
    static const auto qt = qtDefinition<bool (*)(QWaitCondition*, Lock*, Deadline)>(symbol);
    if (lock == nullptr)
        return qt(condition, lock, deadline);
    bool woken = false;
    annotatedUnlock(lock, flags, [&] { woken = qt(condition, lock, deadline); });
    annotatedLock(lock, flags, [] { return true; });
    return woken;
}

} // namespace

bool QWaitCondition::wait(QMutex* lockedMutex, QDeadlineTimer deadline)
{
    return waitWithLockGivenBack(this, lockedMutex, mutexFlags(lockedMutex), deadline,
                                 "_ZN14QWaitCondition4waitEP6QMutex14QDeadlineTimer");
}

bool QWaitCondition::wait(QMutex* lockedMutex, unsigned long time)
{
    return waitWithLockGivenBack(this, lockedMutex, mutexFlags(lockedMutex), time,
                                 "_ZN14QWaitCondition4waitEP6QMutexm");
}

bool QWaitCondition::wait(QReadWriteLock* lockedReadWriteLock, QDeadlineTimer deadline)
{
    return waitWithLockGivenBack(this, lockedReadWriteLock,
                                 sideFlags(t_heldReadWriteLocks.heldForRead(lockedReadWriteLock)), deadline,
                                 "_ZN14QWaitCondition4waitEP14QReadWriteLock14QDeadlineTimer");
}

bool QWaitCondition::wait(QReadWriteLock* lockedReadWriteLock, unsigned long time)
{
    return waitWithLockGivenBack(this, lockedReadWriteLock,
                                 sideFlags(t_heldReadWriteLocks.heldForRead(lockedReadWriteLock)), time,
                                 "_ZN14QWaitCondition4waitEP14QReadWriteLockm");
}

// A wake hands nothing over by itself (Qt's pthread calls inside it are not
// recorded): the waiter's mutex does.
void QWaitCondition::wakeOne()
{
    static const auto qt = qtDefinition<void (*)(QWaitCondition*)>("_ZN14QWaitCondition7wakeOneEv");
    __tsan_mutex_pre_signal(this, 0);
    qt(this);
    __tsan_mutex_post_signal(this, 0);
}

void QWaitCondition::wakeAll()
{
    static const auto qt = qtDefinition<void (*)(QWaitCondition*)>("_ZN14QWaitCondition7wakeAllEv");
    __tsan_mutex_pre_signal(this, 0);
    qt(this);
    __tsan_mutex_post_signal(this, 0);
}

void QThread::start(Priority priority)
{
    static const auto qt = qtDefinition<void (*)(QThread*, Priority)>("_ZN7QThread5startENS_8PriorityE");
    // One connection per start, removed by its own call before the release:
    // the removal reads the thread object, which its owner may destroy once
    // wait() has returned.
    auto connection = std::make_shared<QMetaObject::Connection>();
    *connection = QObject::connect(
        this, &QThread::finished, this,
        [this, connection] {
            QObject::disconnect(*connection);
            __tsan_release(this);
        },
        Qt::DirectConnection);
    qt(this, priority);
}

bool QThread::wait(QDeadlineTimer deadline)
{
    static const auto qt = qtDefinition<bool (*)(QThread*, QDeadlineTimer)>("_ZN7QThread4waitE14QDeadlineTimer");
    const bool ended = qt(this, deadline);
    if (ended)
        __tsan_acquire(this);
    return ended;
}

bool QThread::wait(unsigned long time)
{
    static const auto qt = qtDefinition<bool (*)(QThread*, unsigned long)>("_ZN7QThread4waitEm");
    const bool ended = qt(this, time);
    if (ended)
        __tsan_acquire(this);
    return ended;
}
