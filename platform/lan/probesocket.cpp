#include "platform/lan/probesocket.h"

#include <arpa/inet.h>
#include <cerrno>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

ProbeSocket::Create ProbeSocket::create()
{
    // The old descriptor goes first: one out of descriptors may need it.
    close();
    m_fd.reset(::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0));
    if (m_fd)
        return Create::Ok;
    if (errno == EMFILE || errno == ENFILE || errno == ENOBUFS || errno == ENOMEM)
        return Create::NoDescriptors;
    return Create::Failed;
}

bool ProbeSocket::setNonBlocking()
{
    const int flags = ::fcntl(m_fd.get(), F_GETFL, 0);
    return flags >= 0 && ::fcntl(m_fd.get(), F_SETFL, flags | O_NONBLOCK) == 0;
}

ProbeSocket::Connect ProbeSocket::connectTo(quint32 address, quint16 port)
{
    sockaddr_in sa{};
    sa.sin_family = AF_INET;
    sa.sin_addr.s_addr = htonl(address);
    sa.sin_port = htons(port);
    if (::connect(m_fd.get(), reinterpret_cast<const sockaddr*>(&sa), sizeof sa) == 0)
        return Connect::Connected;
    return errno == EINPROGRESS ? Connect::InProgress : Connect::Failed;
}

void ProbeSocket::poll(const std::vector<const ProbeSocket*>& sockets, std::vector<Outcome>& outcomes, int timeoutMs)
{
    std::vector<pollfd> fds(sockets.size());
    for (size_t i = 0; i < sockets.size(); ++i) {
        fds[i].fd = sockets[i]->handle();
        fds[i].events = POLLOUT;
    }
    outcomes.assign(sockets.size(), Outcome::Pending);
    if (fds.empty())
        return;
    if (::poll(fds.data(), fds.size(), timeoutMs) <= 0)
        return;
    for (size_t i = 0; i < fds.size(); ++i) {
        const short r = fds[i].revents;
        if (r & (POLLERR | POLLHUP | POLLNVAL)) {
            outcomes[i] = Outcome::Unreachable;
        } else if (r & POLLOUT) {
            int error = 0;
            socklen_t len = sizeof error;
            const bool ok = ::getsockopt(fds[i].fd, SOL_SOCKET, SO_ERROR, &error, &len) == 0 && error == 0;
            outcomes[i] = ok ? Outcome::Reachable : Outcome::Unreachable;
        }
    }
}

bool ProbeSocket::parseAddress(const QByteArray& text, quint32* address)
{
    const in_addr_t a = ::inet_addr(text.constData());
    if (a == INADDR_NONE)
        return false;
    *address = ntohl(a);
    return true;
}

QByteArray ProbeSocket::addressText(quint32 address)
{
    in_addr a{};
    a.s_addr = htonl(address);
    char text[INET_ADDRSTRLEN] = {};
    ::inet_ntop(AF_INET, &a, text, sizeof text);
    return QByteArray(text);
}
