#include "platform/lan/udpsocket.h"

#include <arpa/inet.h>
#include <cerrno>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {

sockaddr_in makeAddress(quint32 address, quint16 port)
{
    sockaddr_in sa{};
    sa.sin_family = AF_INET;
    sa.sin_addr.s_addr = htonl(address);
    sa.sin_port = htons(port);
    return sa;
}

bool setIntOption(int fd, int option, int value)
{
    return ::setsockopt(fd, SOL_SOCKET, option, &value, sizeof value) == 0;
}

bool setTimeout(int fd, int option, int ms)
{
    timeval tv{};
    tv.tv_sec = ms / 1000;
    tv.tv_usec = (ms % 1000) * 1000;
    return ::setsockopt(fd, SOL_SOCKET, option, &tv, sizeof tv) == 0;
}

} // namespace

bool UdpSocket::open()
{
    close();
    m_fd.reset(::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, IPPROTO_UDP));
    return m_fd.valid();
}

bool UdpSocket::setBroadcast(bool on)
{
    return setIntOption(m_fd.get(), SO_BROADCAST, on ? 1 : 0);
}

bool UdpSocket::setSendTimeout(int ms)
{
    return setTimeout(m_fd.get(), SO_SNDTIMEO, ms);
}

bool UdpSocket::setReceiveTimeout(int ms)
{
    return setTimeout(m_fd.get(), SO_RCVTIMEO, ms);
}

bool UdpSocket::setReuseAddress(bool on)
{
    return setIntOption(m_fd.get(), SO_REUSEADDR, on ? 1 : 0);
}

bool UdpSocket::bind(quint32 address, quint16 port)
{
    const sockaddr_in sa = makeAddress(address, port);
    return ::bind(m_fd.get(), reinterpret_cast<const sockaddr*>(&sa), sizeof sa) == 0;
}

quint16 UdpSocket::localPort() const
{
    sockaddr_in sa{};
    socklen_t len = sizeof sa;
    if (::getsockname(m_fd.get(), reinterpret_cast<sockaddr*>(&sa), &len) != 0)
        return 0;
    return ntohs(sa.sin_port);
}

qint64 UdpSocket::sendTo(const QByteArray& bytes, quint32 address, quint16 port)
{
    const sockaddr_in sa = makeAddress(address, port);
    return ::sendto(m_fd.get(), bytes.constData(), static_cast<size_t>(bytes.size()), MSG_NOSIGNAL,
                    reinterpret_cast<const sockaddr*>(&sa), sizeof sa);
}

UdpSocket::Wait UdpSocket::waitReadable(int timeoutMs)
{
    pollfd p{};
    p.fd = m_fd.get();
    p.events = POLLIN;
    int r;
    do {
        r = ::poll(&p, 1, timeoutMs);
    } while (r < 0 && errno == EINTR);
    if (r < 0 || (r > 0 && (p.revents & POLLNVAL)))
        return Wait::Error;
    return r == 0 ? Wait::Timeout : Wait::Ready;
}

qint64 UdpSocket::receiveFrom(char* buffer, qint64 size, quint32* sourceAddress, quint16* sourcePort)
{
    sockaddr_in sa{};
    socklen_t len = sizeof sa;
    // MSG_TRUNC reports the datagram's real length.
    const ssize_t n = ::recvfrom(m_fd.get(), buffer, static_cast<size_t>(size), MSG_TRUNC | MSG_DONTWAIT,
                                 reinterpret_cast<sockaddr*>(&sa), &len);
    if (n < 0 || n > size)
        return -1;
    if (sourceAddress)
        *sourceAddress = ntohl(sa.sin_addr.s_addr);
    if (sourcePort)
        *sourcePort = ntohs(sa.sin_port);
    return n;
}
