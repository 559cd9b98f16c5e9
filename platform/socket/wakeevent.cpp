#include "platform/socket/wakeevent.h"

#include <cstdint>
#include <sys/eventfd.h>
#include <unistd.h>

namespace platform {

WakeEvent::WakeEvent()
    : m_fd(::eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC))
{
}

WakeEvent::~WakeEvent()
{
    if (m_fd >= 0)
        ::close(m_fd);
}

void WakeEvent::signal()
{
    if (m_fd < 0)
        return;
    const std::uint64_t one = 1;
    // A full counter (never in practice) is readable as it is.
    [[maybe_unused]] const ssize_t written = ::write(m_fd, &one, sizeof one);
}

void WakeEvent::clear()
{
    if (m_fd < 0)
        return;
    std::uint64_t count = 0;
    [[maybe_unused]] const ssize_t read = ::read(m_fd, &count, sizeof count);
}

} // namespace platform
