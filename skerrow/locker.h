#pragma once

// A scoped holder of a Lock: it never locks twice and releases a held lock when it goes.

#include "skerrow/lock.h"
#include "skerrow/skerrowexport.h"

namespace FF {
namespace COMMON {

class SKERROW_EXPORT Locker {
public:
    // With adopt false the locker locks the lock; with adopt true the caller
    // already holds it and the locker only takes over the unlocking.
    // A null lock throws Exception.
    Locker(Lock* lock, bool adopt = false);
    Locker(Lock& lock, bool adopt = false);
    ~Locker();

    Locker(const Locker&) = delete;
    Locker& operator=(const Locker&) = delete;

    void lock();
    void unlock();
    bool isLocked() const;
    Lock* getLock();

private:
    Lock* m_lock;
    bool m_locked;
};

} // namespace COMMON
} // namespace FF
