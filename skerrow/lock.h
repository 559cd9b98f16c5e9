#pragma once

// A re-entrant lock: the thread that holds it may lock it again and must unlock it as often.

#include "skerrow/skerrowexport.h"

namespace FF {
namespace COMMON {

class SKERROW_EXPORT Lock {
public:
    Lock();
    ~Lock();

    Lock(const Lock&) = delete;
    Lock& operator=(const Lock&) = delete;

    void lock();
    void unlock();
    // True when the lock is now held by the calling thread; never blocks.
    bool tryLock();

    // The underlying mutex (a pthread_mutex_t*), which LockCondition sleeps on.
    void* handle();

private:
    void* m_handle = nullptr;
};

} // namespace COMMON
} // namespace FF
