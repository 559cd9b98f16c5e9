#include "skerrow/locker.h"

#include "skerrow/exception.h"
#include "skerrow/threadingconstants.h"

namespace FF {
namespace COMMON {

Locker::Locker(Lock* lock, bool adopt)
    : m_lock(lock)
    , m_locked(adopt)
{
    if (!m_lock)
        throw Exception(Threading::kWhereLocker, Threading::kLockIsNull);
    if (!adopt) {
        m_lock->lock();
        m_locked = true;
    }
}

Locker::Locker(Lock& lock, bool adopt)
    : Locker(&lock, adopt)
{
}

Locker::~Locker()
{
    if (m_locked)
        m_lock->unlock();
}

void Locker::lock()
{
    if (m_locked)
        return;
    m_lock->lock();
    m_locked = true;
}

void Locker::unlock()
{
    if (!m_locked)
        return;
    m_lock->unlock();
    m_locked = false;
}

bool Locker::isLocked() const
{
    return m_locked;
}

Lock* Locker::getLock()
{
    return m_lock;
}

} // namespace COMMON
} // namespace FF
