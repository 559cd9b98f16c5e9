#include "platform/fd/writeall.h"

#include <algorithm>
#include <cerrno>
#include <chrono>

#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

namespace platform {

namespace {

// One write of what is left: send() while the descriptor may be a socket,
// write() once it has proved not to be one.
ssize_t writeOnce(int fd, const char* at, std::size_t left, int socketFlags, bool* socket)
{
    if (*socket) {
        const ssize_t n = ::send(fd, at, left, MSG_NOSIGNAL | socketFlags);
        if (n >= 0 || errno != ENOTSOCK)
            return n;
        *socket = false;
    }
    return ::write(fd, at, left);
}

// The whole milliseconds from now to deadline, rounded up, so that a wait
// never ends before its limit.
long long msUntil(std::chrono::steady_clock::time_point deadline)
{
    using namespace std::chrono;
    return duration_cast<milliseconds>(deadline - steady_clock::now() + microseconds(999)).count();
}

} // namespace

bool writeAll(int fd, const void* data, std::size_t size)
{
    const char* at = static_cast<const char*>(data);
    bool socket = true;
    while (size > 0) {
        const ssize_t n = writeOnce(fd, at, size, 0, &socket);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0)
            return false;
        if (n == 0) {
            // Nothing taken and no error: trying again would spin.
            errno = EIO;
            return false;
        }
        at += n;
        size -= static_cast<std::size_t>(n);
    }
    return true;
}

WriteProgress writeAllWithin(int fd, const void* data, std::size_t size, const WriteWait& wait)
{
    WriteProgress progress;
    const char* at = static_cast<const char*>(data);
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(std::max(wait.timeoutMs, 0));
    bool socket = true;
    while (progress.written < size) {
        const ssize_t n = writeOnce(fd, at + progress.written, size - progress.written, MSG_DONTWAIT, &socket);
        if (n > 0) {
            progress.written += static_cast<std::size_t>(n);
            continue;
        }
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0 && errno != EAGAIN && errno != EWOULDBLOCK) {
            progress.error = errno;
            break;
        }
        const long long left = msUntil(deadline);
        if (left <= 0)
            break;
        pollfd p{fd, POLLOUT, 0};
        const long long slice = wait.retryMs > 0 ? std::min<long long>(left, wait.retryMs) : left;
        if (::poll(&p, 1, static_cast<int>(slice)) < 0 && errno != EINTR) {
            progress.error = errno;
            break;
        }
        if (wait.hangUpEnds && (p.revents & (POLLHUP | POLLERR | POLLNVAL)) && !(p.revents & POLLOUT)) {
            progress.hungUp = true;
            break;
        }
    }
    return progress;
}

} // namespace platform
