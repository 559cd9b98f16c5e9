#include "skerrow/lock.h"

#include <pthread.h>

#include <new>

namespace FF {
namespace COMMON {

Lock::Lock()
{
    auto* mutex = new pthread_mutex_t;
    pthread_mutexattr_t attr;
    pthread_mutexattr_init(&attr);
    pthread_mutexattr_settype(&attr, PTHREAD_MUTEX_RECURSIVE);
    pthread_mutex_init(mutex, &attr);
    pthread_mutexattr_destroy(&attr);
    m_handle = mutex;
}

Lock::~Lock()
{
    if (!m_handle)
        return;
    auto* mutex = static_cast<pthread_mutex_t*>(m_handle);
    pthread_mutex_destroy(mutex);
    delete mutex;
}

void Lock::lock()
{
    pthread_mutex_lock(static_cast<pthread_mutex_t*>(m_handle));
}

void Lock::unlock()
{
    pthread_mutex_unlock(static_cast<pthread_mutex_t*>(m_handle));
}

bool Lock::tryLock()
{
    return pthread_mutex_trylock(static_cast<pthread_mutex_t*>(m_handle)) == 0;
}

void* Lock::handle()
{
    return m_handle;
}

} // namespace COMMON
} // namespace FF
