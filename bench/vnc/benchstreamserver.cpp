#include "bench/vnc/benchstreamserver.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <utility>

namespace Bench {

namespace {

void put16(QByteArray& out, int v)
{
    out.append(char((v >> 8) & 0xFF));
    out.append(char(v & 0xFF));
}

void put32(QByteArray& out, quint32 v)
{
    put16(out, int(v >> 16));
    put16(out, int(v & 0xFFFF));
}

} // namespace

StreamServer::StreamServer()
{
    platform::UniqueFd fd(::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0));
    if (!fd)
        return;
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof(address);
    if (::bind(fd.get(), reinterpret_cast<sockaddr*>(&address), sizeof(address)) != 0 || ::listen(fd.get(), 4) != 0
        || ::getsockname(fd.get(), reinterpret_cast<sockaddr*>(&address), &length) != 0)
        return;
    m_fd = std::move(fd);
    m_port = ntohs(address.sin_port);
}

StreamServer::~StreamServer() = default;

platform::UniqueFd StreamServer::accept(int timeoutMs)
{
    if (!m_fd)
        return {};
    pollfd p{m_fd.get(), POLLIN, 0};
    if (::poll(&p, 1, timeoutMs) != 1)
        return {};
    return platform::UniqueFd(::accept4(m_fd.get(), nullptr, nullptr, SOCK_CLOEXEC));
}

bool StreamServer::sendAll(int fd, const QByteArray& bytes)
{
    qint64 sent = 0;
    while (sent < bytes.size()) {
        const ssize_t n = ::send(fd, bytes.constData() + sent, size_t(bytes.size() - sent), MSG_NOSIGNAL);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        sent += n;
    }
    return true;
}

bool StreamServer::receiveAll(int fd, char* to, qint64 count)
{
    qint64 got = 0;
    while (got < count) {
        const ssize_t n = ::recv(fd, to + got, size_t(count - got), 0);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        got += n;
    }
    return true;
}

bool StreamServer::handshake(int fd, const QSize& size, const QByteArray& pixelFormat)
{
    char version[12];
    char clientInit[1];
    QByteArray security;
    put32(security, 1);
    QByteArray init;
    put16(init, size.width());
    put16(init, size.height());
    init.append(pixelFormat.left(16).leftJustified(16, '\0'));
    const QByteArray name = "bench";
    put32(init, quint32(name.size()));
    init.append(name);
    return sendAll(fd, "RFB 003.003\n") && receiveAll(fd, version, sizeof(version)) && sendAll(fd, security)
           && receiveAll(fd, clientInit, sizeof(clientInit)) && sendAll(fd, init);
}

bool StreamServer::readClientMessage(int fd, QByteArray& message)
{
    char type = 0;
    if (!receiveAll(fd, &type, 1))
        return false;
    qint64 rest = 0;
    char head[7];
    switch (quint8(type)) {
    case 0: rest = 19; break; // SetPixelFormat
    case 3: rest = 9; break;  // FramebufferUpdateRequest
    case 4: rest = 7; break;  // KeyEvent
    case 5: rest = 5; break;  // PointerEvent
    case 2: {                 // SetEncodings: padding, count, the encodings
        if (!receiveAll(fd, head, 3))
            return false;
        message = QByteArray(1, type) + QByteArray(head, 3);
        const int count = (quint8(head[1]) << 8) | quint8(head[2]);
        QByteArray encodings(4 * count, '\0');
        if (!receiveAll(fd, encodings.data(), encodings.size()))
            return false;
        message += encodings;
        return true;
    }
    case 6: { // ClientCutText: padding, length, the text
        if (!receiveAll(fd, head, 7))
            return false;
        message = QByteArray(1, type) + QByteArray(head, 7);
        const quint32 length = (quint32(quint8(head[3])) << 24) | (quint32(quint8(head[4])) << 16)
                               | (quint32(quint8(head[5])) << 8) | quint8(head[6]);
        if (length > 16 * 1024 * 1024)
            return false;
        QByteArray text(int(length), '\0');
        if (!receiveAll(fd, text.data(), text.size()))
            return false;
        message += text;
        return true;
    }
    default: return false;
    }
    message = QByteArray(1, type) + QByteArray(int(rest), '\0');
    return receiveAll(fd, message.data() + 1, rest);
}

} // namespace Bench
