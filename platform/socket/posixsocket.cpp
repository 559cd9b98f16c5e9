#include "platform/socket/posixsocket.h"

#include "platform/clock/monotonicclock.h"

#include <arpa/inet.h>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/time.h>
#include <unistd.h>

namespace platform {

namespace {

sockaddr_in makeAddress(const std::uint8_t ip[4], std::uint16_t port)
{
    sockaddr_in address{};
    address.sin_family = AF_INET;
    std::memcpy(&address.sin_addr.s_addr, ip, 4);
    address.sin_port = htons(port);
    return address;
}

ReceiveResult receiveWith(SocketHandle socket, void* out, std::size_t count, int flags)
{
    ReceiveResult result;
    const ssize_t received = ::recv(socket, out, count, flags);
    if (received > 0) {
        result.status = ReceiveStatus::Data;
        result.bytes = static_cast<std::size_t>(received);
    } else if (received == 0) {
        result.status = ReceiveStatus::Closed;
    } else if (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR) {
        result.status = ReceiveStatus::NoData;
    } else {
        result.status = ReceiveStatus::Failed;
        result.error = errno;
    }
    return result;
}

} // namespace

SocketHandle openTcpSocket()
{
    int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    return fd < 0 ? kInvalidSocket : fd;
}

int startConnect(SocketHandle socket, const std::uint8_t ip[4], std::uint16_t port)
{
    if (!setBlocking(socket, false))
        return errno ? errno : EINVAL;
    sockaddr_in address = makeAddress(ip, port);
    if (::connect(socket, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0)
        return 0;
    return errno == EINTR ? EINPROGRESS : errno;
}

int waitConnected(SocketHandle socket, std::uint32_t timeoutMs)
{
    const std::uint64_t deadline = monotonicMs() + timeoutMs;
    for (;;) {
        const std::uint64_t now = monotonicMs();
        const int left = now >= deadline ? 0 : static_cast<int>(deadline - now);
        pollfd entry{socket, POLLOUT, 0};
        const int ready = ::poll(&entry, 1, left);
        if (ready < 0) {
            if (errno == EINTR)
                continue;
            return errno;
        }
        if (ready == 0)
            return ETIMEDOUT;
        int error = 0;
        socklen_t length = sizeof error;
        if (::getsockopt(socket, SOL_SOCKET, SO_ERROR, &error, &length) != 0)
            return errno;
        return error;
    }
}

int connectWithin(SocketHandle socket, const std::uint8_t ip[4], std::uint16_t port, std::uint32_t timeoutMs)
{
    int result = startConnect(socket, ip, port);
    if (result == EINPROGRESS)
        result = waitConnected(socket, timeoutMs);
    if (!setBlocking(socket, true) && result == 0)
        result = errno ? errno : EINVAL;
    return result;
}

bool setBlocking(SocketHandle socket, bool blocking)
{
    const int flags = ::fcntl(socket, F_GETFL, 0);
    if (flags < 0)
        return false;
    const int wanted = blocking ? (flags & ~O_NONBLOCK) : (flags | O_NONBLOCK);
    return wanted == flags || ::fcntl(socket, F_SETFL, wanted) == 0;
}

bool setRecvTimeout(SocketHandle socket, std::uint32_t ms)
{
    timeval timeout{};
    timeout.tv_sec = static_cast<time_t>(ms / 1000u);
    timeout.tv_usec = static_cast<suseconds_t>(ms % 1000u) * 1000;
    return ::setsockopt(socket, SOL_SOCKET, SO_RCVTIMEO, &timeout, sizeof timeout) == 0;
}

bool shutdownSend(SocketHandle socket)
{
    return ::shutdown(socket, SHUT_WR) == 0;
}

void closeSocket(SocketHandle socket)
{
    if (socket != kInvalidSocket)
        ::close(socket);
}

bool localName(SocketHandle socket, std::uint8_t ip[4], std::uint16_t* port)
{
    sockaddr_in address{};
    socklen_t length = sizeof address;
    if (::getsockname(socket, reinterpret_cast<sockaddr*>(&address), &length) != 0 || address.sin_family != AF_INET)
        return false;
    std::memcpy(ip, &address.sin_addr.s_addr, 4);
    *port = ntohs(address.sin_port);
    return true;
}

SendResult sendSome(SocketHandle socket, const void* bytes, std::size_t count)
{
    SendResult result;
    for (;;) {
        const ssize_t sent = ::send(socket, bytes, count, MSG_NOSIGNAL | MSG_DONTWAIT);
        if (sent >= 0) {
            result.status = SendStatus::Sent;
            result.bytes = static_cast<std::size_t>(sent);
        } else if (errno == EINTR) {
            continue;
        } else if (errno == EAGAIN || errno == EWOULDBLOCK) {
            result.status = SendStatus::WouldBlock;
        } else {
            result.status = SendStatus::Failed;
            result.error = errno;
        }
        return result;
    }
}

bool waitWritable(SocketHandle socket, std::uint32_t timeoutMs)
{
    pollfd entry{socket, POLLOUT, 0};
    const int ready = ::poll(&entry, 1, static_cast<int>(timeoutMs));
    // An interrupted wait counts as room: the caller's next send tells.
    return ready != 0;
}

ReceiveResult receiveSome(SocketHandle socket, void* out, std::size_t count)
{
    return receiveWith(socket, out, count, 0);
}

ReceiveResult receiveNow(SocketHandle socket, void* out, std::size_t count)
{
    return receiveWith(socket, out, count, MSG_DONTWAIT);
}

unsigned waitForInput(SocketHandle socket, int wakeFd, std::uint32_t timeoutMs)
{
    pollfd entries[2];
    nfds_t count = 0;
    int socketAt = -1;
    int wakeAt = -1;
    if (socket != kInvalidSocket) {
        socketAt = int(count);
        entries[count++] = pollfd{socket, POLLIN, 0};
    }
    if (wakeFd >= 0) {
        wakeAt = int(count);
        entries[count++] = pollfd{wakeFd, POLLIN, 0};
    }
    if (::poll(entries, count, static_cast<int>(timeoutMs)) <= 0)
        return 0;
    unsigned ready = 0;
    if (socketAt >= 0 && entries[socketAt].revents != 0)
        ready |= kSocketReady;
    if (wakeAt >= 0 && entries[wakeAt].revents != 0)
        ready |= kWakeReady;
    return ready;
}

} // namespace platform
