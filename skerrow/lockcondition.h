#pragma once

// A condition variable bound to one Lock; waiting and waking demand a locker that holds that lock.

#include "skerrow/lock.h"
#include "skerrow/locker.h"
#include "skerrow/skerrowexport.h"

namespace FF {
namespace COMMON {

class SKERROW_EXPORT LockCondition {
public:
    // A null lock, or a lock without a handle, throws Exception.
    explicit LockCondition(Lock* lock);
    explicit LockCondition(Lock& lock);
    ~LockCondition();

    LockCondition(const LockCondition&) = delete;
    LockCondition& operator=(const LockCondition&) = delete;

    // Each operation first checks that the locker holds (else "locker is
    // unlocked") and that it holds this condition's lock (else "lock is
    // incorrect"), and throws before touching the condition.
    void wait(Locker& locker);
    // True when woken before the limit; false when the limit passed.
    bool tryWait(Locker& locker, unsigned int milliseconds);
    void notify(Locker& locker);
    void notifyAll(Locker& locker);

private:
    struct Private;
    Private* d;
};

} // namespace COMMON
} // namespace FF
