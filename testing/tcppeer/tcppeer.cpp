#include "testing/tcppeer/tcppeer.h"

#include <arpa/inet.h>
#include <cerrno>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

namespace Fake {

TcpPeer::TcpPeer(Mode mode, uint16_t port)
    : m_mode(mode)
    , m_port(port)
{
}

TcpPeer::~TcpPeer()
{
    stop();
}

bool TcpPeer::start()
{
    stop();
    m_listen = ::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    if (m_listen < 0)
        return false;
    const int one = 1;
    setsockopt(m_listen, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
    if (m_mode == Mode::BoundedEcho) {
        // Fixed socket buffers (the connections inherit them): the kernel
        // does not grow them to hide a peer that stopped reading.
        const int size = static_cast<int>(kEchoBacklog);
        setsockopt(m_listen, SOL_SOCKET, SO_RCVBUF, &size, sizeof size);
        setsockopt(m_listen, SOL_SOCKET, SO_SNDBUF, &size, sizeof size);
    }
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_port = htons(m_port);
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (bind(m_listen, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0 || listen(m_listen, 16) != 0) {
        ::close(m_listen);
        m_listen = -1;
        return false;
    }
    socklen_t len = sizeof addr;
    getsockname(m_listen, reinterpret_cast<sockaddr*>(&addr), &len);
    m_port = ntohs(addr.sin_port);
    if (pipe2(m_wake, O_CLOEXEC | O_NONBLOCK) != 0) {
        ::close(m_listen);
        m_listen = -1;
        return false;
    }
    m_stop = false;
    m_thread = std::thread([this] { run(); });
    return true;
}

void TcpPeer::stop()
{
    if (!m_thread.joinable())
        return;
    m_stop = true;
    (void)!::write(m_wake[1], "x", 1);
    m_thread.join();
    ::close(m_wake[0]);
    ::close(m_wake[1]);
    m_wake[0] = m_wake[1] = -1;
}

std::vector<TcpPeer::Event> TcpPeer::events() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_events;
}

std::string TcpPeer::receivedBytes() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_receivedBytes;
}

void TcpPeer::send(const std::string& data)
{
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_toSend += data;
    }
    (void)!::write(m_wake[1], "s", 1);
}

void TcpPeer::run()
{
    std::vector<Connection> conns;
    std::vector<char> buf(65536);
    auto closeConn = [&](size_t i, bool reset) {
        if (reset) {
            linger l{1, 0};
            setsockopt(conns[i].fd, SOL_SOCKET, SO_LINGER, &l, sizeof l);
        }
        ::close(conns[i].fd);
        conns.erase(conns.begin() + static_cast<long>(i));
        --m_open;
    };
    // Whether a connection's input is taken now (SlowReader takes it by the clock).
    auto reading = [&](const Connection& c) {
        if (m_mode == Mode::SlowReader)
            return false;
        return m_mode != Mode::BoundedEcho || c.out.size() < kEchoBacklog;
    };
    while (!m_stop) {
        std::vector<pollfd> fds;
        for (const Connection& c : conns)
            fds.push_back({c.fd, static_cast<short>((reading(c) ? POLLIN : 0) | (c.out.empty() ? 0 : POLLOUT)), 0});
        fds.push_back({m_listen, POLLIN, 0});
        fds.push_back({m_wake[0], POLLIN, 0});
        const int timeout = m_mode == Mode::SlowReader ? 5 : 1000;
        if (poll(fds.data(), fds.size(), timeout) < 0 && errno != EINTR)
            break;
        if (fds.back().revents) {
            char drain[64];
            while (::read(m_wake[0], drain, sizeof drain) > 0) {}
        }
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            if (!m_toSend.empty() && !conns.empty()) {
                for (Connection& c : conns)
                    c.out += m_toSend;
                m_toSend.clear();
            }
        }
        // Connections first, so an end-of-stream is recorded before an accept
        // that arrived with it.
        for (size_t i = conns.size(); i-- > 0;) {
            Connection& c = conns[i];
            const short revents = i < fds.size() - 2 ? fds[i].revents : 0;
            bool closed = false;
            const bool takes = m_mode == Mode::SlowReader || (reading(c) && (revents & POLLIN));
            if (takes || (revents & (POLLHUP | POLLERR))) {
                const size_t want = m_mode == Mode::SlowReader    ? 512
                                    : m_mode == Mode::BoundedEcho ? kEchoBacklog
                                                                  : buf.size();
                const ssize_t n = ::recv(c.fd, buf.data(), want, MSG_DONTWAIT);
                if (n > 0) {
                    c.in += n;
                    m_received += n;
                    {
                        std::lock_guard<std::mutex> lock(m_mutex);
                        if (m_mode != Mode::ResetMidStream)
                            m_receivedBytes.append(buf.data(), static_cast<size_t>(n));
                    }
                    if (m_mode == Mode::Echo || m_mode == Mode::BoundedEcho)
                        c.out.append(buf.data(), static_cast<size_t>(n));
                    if (m_mode == Mode::ResetMidStream && c.in >= m_resetAfter) {
                        closeConn(i, true);
                        continue;
                    }
                } else if (n == 0 || (errno != EAGAIN && errno != EINTR)) {
                    {
                        std::lock_guard<std::mutex> lock(m_mutex);
                        m_events.push_back(Event::EndOfStream);
                    }
                    closeConn(i, false);
                    closed = true;
                }
            }
            if (!closed && !c.out.empty()) {
                const ssize_t n = ::send(c.fd, c.out.data(), c.out.size(), MSG_DONTWAIT | MSG_NOSIGNAL);
                if (n > 0)
                    c.out.erase(0, static_cast<size_t>(n));
            }
        }
        for (;;) {
            const int fd = accept4(m_listen, nullptr, nullptr, SOCK_NONBLOCK | SOCK_CLOEXEC);
            if (fd < 0)
                break;
            ++m_accepts;
            {
                std::lock_guard<std::mutex> lock(m_mutex);
                m_events.push_back(Event::Accepted);
            }
            if (m_mode == Mode::AcceptAndClose) {
                ::close(fd);
                continue;
            }
            ++m_open;
            Connection c;
            c.fd = fd;
            {
                std::lock_guard<std::mutex> lock(m_mutex);
                c.out.swap(m_toSend);
            }
            conns.push_back(c);
        }
    }
    while (!conns.empty())
        closeConn(conns.size() - 1, false);
    ::close(m_listen);
    m_listen = -1;
}

} // namespace Fake
