#include "testing/fakediscovery/fakediscoveryresponder.h"

#include <arpa/inet.h>
#include <chrono>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {

void putU32(QByteArray& out, quint32 v)
{
    for (int i = 0; i < 4; ++i)
        out.append(static_cast<char>((v >> (8 * i)) & 0xFF));
}

quint32 getU32(const char* p)
{
    const auto* u = reinterpret_cast<const unsigned char*>(p);
    return quint32(u[0]) | quint32(u[1]) << 8 | quint32(u[2]) << 16 | quint32(u[3]) << 24;
}

sockaddr_in address(quint32 hostOrder, quint16 port)
{
    sockaddr_in sa{};
    sa.sin_family = AF_INET;
    sa.sin_addr.s_addr = htonl(hostOrder);
    sa.sin_port = htons(port);
    return sa;
}

} // namespace

QByteArray FakeDiscoveryResponder::buildReply(const Config& c, quint32 probeId)
{
    QByteArray payload;
    if (c.rawPayload) {
        payload = *c.rawPayload;
    } else {
        putU32(payload, c.textCount.value_or(static_cast<quint32>(c.text.size())));
        payload += c.text;
        putU32(payload, c.addressCount.value_or(static_cast<quint32>(c.reportedAddress.size())));
        payload += c.reportedAddress;
        if (!c.omitValue)
            putU32(payload, c.value);
        payload += c.trailing;
    }
    QByteArray datagram;
    putU32(datagram, probeId + c.idDelta);
    datagram.append(static_cast<char>(c.kind));
    putU32(datagram, c.payloadLength.value_or(static_cast<quint32>(payload.size())));
    return datagram + payload;
}

FakeDiscoveryResponder::FakeDiscoveryResponder()
    : FakeDiscoveryResponder(Config())
{
}

FakeDiscoveryResponder::FakeDiscoveryResponder(const Config& config, quint16 port)
    : m_config(config)
{
    m_listenFd = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    m_replyFd = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    const int one = 1;
    ::setsockopt(m_listenFd, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
    // Broadcasts to 127.255.255.255 arrive at sockets bound to the wildcard.
    sockaddr_in any = address(INADDR_ANY, port);
    in_addr source{};
    if (::bind(m_listenFd, reinterpret_cast<sockaddr*>(&any), sizeof any) != 0
        || ::inet_aton(m_config.sourceAddress.constData(), &source) == 0) {
        ::close(m_listenFd);
        ::close(m_replyFd);
        m_listenFd = m_replyFd = -1;
        return;
    }
    socklen_t len = sizeof any;
    ::getsockname(m_listenFd, reinterpret_cast<sockaddr*>(&any), &len);
    m_port = ntohs(any.sin_port);
    sockaddr_in from = address(ntohl(source.s_addr), 0);
    if (::bind(m_replyFd, reinterpret_cast<sockaddr*>(&from), sizeof from) != 0) {
        ::close(m_listenFd);
        ::close(m_replyFd);
        m_listenFd = m_replyFd = -1;
        return;
    }
    m_thread = std::thread([this] { loop(); });
}

FakeDiscoveryResponder::~FakeDiscoveryResponder()
{
    m_stop = true;
    if (m_thread.joinable())
        m_thread.join();
    if (m_listenFd >= 0)
        ::close(m_listenFd);
    if (m_replyFd >= 0)
        ::close(m_replyFd);
}

QByteArray FakeDiscoveryResponder::lastProbe() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_lastProbe;
}

void FakeDiscoveryResponder::reply(quint32 id, quint32 address_, quint16 port)
{
    if (m_config.silent)
        return;
    const QByteArray bytes = buildReply(m_config, id);
    const sockaddr_in to = address(address_, port);
    if (::sendto(m_replyFd, bytes.constData(), static_cast<size_t>(bytes.size()), 0,
                 reinterpret_cast<const sockaddr*>(&to), sizeof to)
        == bytes.size())
        ++m_replies;
}

void FakeDiscoveryResponder::loop()
{
    using Clock = std::chrono::steady_clock;
    bool havePeer = false;
    quint32 lastId = 0;
    quint32 peerAddress = 0;
    quint16 peerPort = 0;
    Clock::time_point lastReply;
    while (!m_stop) {
        pollfd p{};
        p.fd = m_listenFd;
        p.events = POLLIN;
        if (::poll(&p, 1, 10) > 0 && (p.revents & POLLIN)) {
            char buffer[2048];
            sockaddr_in from{};
            socklen_t len = sizeof from;
            const ssize_t n = ::recvfrom(m_listenFd, buffer, sizeof buffer, 0, reinterpret_cast<sockaddr*>(&from),
                                         &len);
            if (n >= 9) {
                {
                    std::lock_guard<std::mutex> lock(m_mutex);
                    m_lastProbe = QByteArray(buffer, static_cast<int>(n));
                }
                ++m_probes;
                havePeer = true;
                lastId = getU32(buffer);
                peerAddress = ntohl(from.sin_addr.s_addr);
                peerPort = ntohs(from.sin_port);
                reply(lastId, peerAddress, peerPort);
                lastReply = Clock::now();
            }
        }
        if (havePeer && m_config.repeatIntervalMs > 0
            && Clock::now() - lastReply >= std::chrono::milliseconds(m_config.repeatIntervalMs)) {
            reply(lastId, peerAddress, peerPort);
            lastReply = Clock::now();
        }
    }
}
