#include "skerrow/lockcondition.h"

#include "skerrow/exception.h"
#include "skerrow/threadingconstants.h"

#include <pthread.h>
#include <time.h>

#include <cerrno>

namespace FF {
namespace COMMON {

struct LockCondition::Private {
    Lock* lock;
    pthread_cond_t condition;
    // Taken from the lock at construction; the waits sleep on it.
    pthread_mutex_t* mutex;
};

namespace {

void checkLocker(Locker& locker, Lock* own, const char* whereUnlocked, const char* whereIncorrect)
{
    if (!locker.isLocked())
        throw Exception(whereUnlocked, Threading::kLockerIsUnlocked);
    if (locker.getLock() != own)
        throw Exception(whereIncorrect, Threading::kLockIsIncorrect);
}

} // namespace

LockCondition::LockCondition(Lock* lock)
    : d(nullptr)
{
    if (!lock)
        throw Exception(Threading::kWhereCondition, Threading::kLockIsNull);
    if (!lock->handle())
        throw Exception(Threading::kWhereCondition, Threading::kHandleIsNull);
    d = new Private;
    d->lock = lock;
    d->mutex = static_cast<pthread_mutex_t*>(lock->handle());
    // The monotonic clock, so that tryWait's limit does not move with the wall clock.
    pthread_condattr_t attr;
    pthread_condattr_init(&attr);
    pthread_condattr_setclock(&attr, CLOCK_MONOTONIC);
    pthread_cond_init(&d->condition, &attr);
    pthread_condattr_destroy(&attr);
}

LockCondition::LockCondition(Lock& lock)
    : LockCondition(&lock)
{
}

LockCondition::~LockCondition()
{
    pthread_cond_destroy(&d->condition);
    delete d;
}

void LockCondition::wait(Locker& locker)
{
    checkLocker(locker, d->lock, Threading::kWhereWait, Threading::kWhereWait);
    pthread_cond_wait(&d->condition, d->mutex);
}

bool LockCondition::tryWait(Locker& locker, unsigned int milliseconds)
{
    checkLocker(locker, d->lock, Threading::kWhereTryWaitUnlocked, Threading::kWhereTryWaitIncorrect);
    timespec deadline{};
    clock_gettime(CLOCK_MONOTONIC, &deadline);
    deadline.tv_sec += milliseconds / 1000;
    deadline.tv_nsec += static_cast<long>(milliseconds % 1000) * 1000000L;
    if (deadline.tv_nsec >= 1000000000L) {
        deadline.tv_sec += 1;
        deadline.tv_nsec -= 1000000000L;
    }
    return pthread_cond_timedwait(&d->condition, d->mutex, &deadline) == 0;
}

void LockCondition::notify(Locker& locker)
{
    checkLocker(locker, d->lock, Threading::kWhereNotify, Threading::kWhereNotify);
    pthread_cond_signal(&d->condition);
}

void LockCondition::notifyAll(Locker& locker)
{
    checkLocker(locker, d->lock, Threading::kWhereNotifyAll, Threading::kWhereNotifyAll);
    pthread_cond_broadcast(&d->condition);
}

} // namespace COMMON
} // namespace FF
