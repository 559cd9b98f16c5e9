#include "quillet/port/tcpclientdevice.h"

#include "platform/fd/uniquefd.h"
#include "platform/fd/writeall.h"
#include "quillet/port/portconstants.h"
#include "skerrow/skerrow.h"

#include <arpa/inet.h>
#include <cerrno>
#include <mutex>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <unistd.h>

namespace TransparentPort {

namespace {

enum LinkState { Closed = 0, Connecting = 1, Connected = 2 };

// The would-block family: the operation goes on later.
bool isTransient(int error)
{
    return error == EINTR || error == EAGAIN || error == EWOULDBLOCK || error == EINPROGRESS || error == EALREADY;
}

} // namespace

struct TcpClientDeviceRecord {
    std::string ip;
    int port = 0;
    platform::UniqueFd fd;
    int state = Closed;
    unsigned long long connectStamp = 0;
    unsigned long long activityStamp = 0;
    unsigned long long noConnectBefore = 0;
    std::mutex mutex;

    void closeLink()
    {
        fd.reset();
        state = Closed;
    }

    void startConnect(unsigned long long now)
    {
        if (now < noConnectBefore)
            return;
        sockaddr_in addr{};
        addr.sin_family = AF_INET;
        addr.sin_port = htons(static_cast<uint16_t>(port));
        if (port <= 0 || port > 65535 || inet_pton(AF_INET, ip.c_str(), &addr.sin_addr) != 1) {
            noConnectBefore = now + kHardErrorPauseMs;
            return;
        }
        fd.reset(::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0));
        if (!fd) {
            noConnectBefore = now + kHardErrorPauseMs;
            return;
        }
        const int size = kSocketBufferSize;
        const int one = 1;
        setsockopt(fd.get(), SOL_SOCKET, SO_RCVBUF, &size, sizeof size);
        setsockopt(fd.get(), SOL_SOCKET, SO_SNDBUF, &size, sizeof size);
        setsockopt(fd.get(), IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
        // Before the connect: the SYN announces it to the panel.
        const int segment = kSegmentLimit;
        setsockopt(fd.get(), IPPROTO_TCP, TCP_MAXSEG, &segment, sizeof segment);
        if (::connect(fd.get(), reinterpret_cast<const sockaddr*>(&addr), sizeof addr) == 0) {
            state = Connected;
            activityStamp = now;
            return;
        }
        if (isTransient(errno)) {
            state = Connecting;
            connectStamp = now;
            return;
        }
        // A hard error: no new attempt for a while, without sleeping here.
        closeLink();
        noConnectBefore = now + kHardErrorPauseMs;
    }

    // A failed non-blocking connect also polls writable, and reading
    // SO_ERROR clears the error: only a writable socket whose error is 0 is
    // connected.
    void checkConnect(unsigned long long now)
    {
        pollfd p{fd.get(), POLLOUT, 0};
        const int r = ::poll(&p, 1, 0);
        if (r < 0) {
            if (errno != EINTR)
                closeLink();
            return;
        }
        if (r == 0) {
            if (now - connectStamp > static_cast<unsigned long long>(kConnectLimitMs))
                closeLink();
            return;
        }
        int error = 0;
        socklen_t len = sizeof error;
        if (getsockopt(fd.get(), SOL_SOCKET, SO_ERROR, &error, &len) != 0) {
            closeLink();
            return;
        }
        if (error == 0 && (p.revents & POLLOUT) && !(p.revents & (POLLERR | POLLHUP))) {
            state = Connected;
            activityStamp = now;
            return;
        }
        closeLink();
        noConnectBefore = connectStamp + kConnectLimitMs;
    }

    // Advances the link; true when the calling operation may go on.
    bool step()
    {
        const unsigned long long now = Vexa_GetTickCount();
        switch (state) {
        case Closed: startConnect(now); return state == Connected;
        case Connecting: checkConnect(now); return false; // the next operation proceeds
        default:
            if (now - activityStamp >= static_cast<unsigned long long>(kIdleLimitMs)) {
                // Bytes waiting in the socket were sent by the panel: the
                // link is not idle, the relay has not taken them yet (its
                // buffer towards the serial port is full, or it was held up
                // elsewhere). Closing it would drop them and whatever the
                // panel had on its way.
                if (queued() > 0) {
                    activityStamp = now;
                    return true;
                }
                closeLink();
                return false;
            }
            return true;
        }
    }

    // Whether the connected socket is ready now; a failed look closes the link.
    bool ready(short events)
    {
        for (int attempt = 0; attempt < kReadinessLookTries; ++attempt) {
            pollfd p{fd.get(), events, 0};
            const int r = ::poll(&p, 1, 0);
            if (r > 0)
                return true;
            if (r == 0)
                return false;
            if (errno != EINTR)
                break;
        }
        closeLink();
        return false;
    }

    int queued()
    {
        int count = 0;
        if (ioctl(fd.get(), FIONREAD, &count) != 0)
            return -1;
        return count;
    }
};

TcpClientDevice::TcpClientDevice(const std::string& ip, int port)
    : d(std::make_unique<TcpClientDeviceRecord>())
{
    d->ip = ip;
    d->port = port;
    std::lock_guard<std::mutex> lock(d->mutex);
    d->step();
}

TcpClientDevice::~TcpClientDevice() = default;

bool TcpClientDevice::readable()
{
    std::lock_guard<std::mutex> lock(d->mutex);
    return d->step() && d->ready(POLLIN);
}

bool TcpClientDevice::writable()
{
    std::lock_guard<std::mutex> lock(d->mutex);
    return d->step() && d->ready(POLLOUT);
}

int TcpClientDevice::read(char* dst, int len)
{
    std::lock_guard<std::mutex> lock(d->mutex);
    if (!d->step())
        return -1;
    if (!dst || len <= 0)
        return 0;
    // One receive of what waits: it takes at most what is there, tells
    // "nothing waits" by would-block and a closed peer by 0.
    const ssize_t n = ::recv(d->fd.get(), dst, static_cast<size_t>(len), MSG_DONTWAIT);
    if (n > 0) {
        d->activityStamp = Vexa_GetTickCount();
        return static_cast<int>(n);
    }
    if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK))
        return 0;
    if (n < 0 && isTransient(errno))
        return -2;
    d->closeLink();
    return -1;
}

int TcpClientDevice::write(const char* data, int len)
{
    std::lock_guard<std::mutex> lock(d->mutex);
    if (!d->step())
        return -1;
    if (!data || len <= 0)
        return 0;
    // A full socket is not waited on: what went out is the answer. A reset
    // connection is a failure (never SIGPIPE) and closes the link.
    const platform::WriteProgress progress = platform::writeAllWithin(d->fd.get(), data, static_cast<size_t>(len), {});
    if (progress.error != 0)
        d->closeLink();
    const int sent = static_cast<int>(progress.written);
    return sent > 0 ? sent : -3;
}

int TcpClientDevice::available()
{
    std::lock_guard<std::mutex> lock(d->mutex);
    if (!d->step())
        return -1;
    const int count = d->queued();
    return count < 0 ? -1 : count;
}

int TcpClientDevice::waitDescriptor()
{
    std::lock_guard<std::mutex> lock(d->mutex);
    return d->fd.get();
}

} // namespace TransparentPort
