#pragma once

// Raw loopback sockets for the transport tests: a listener on an ephemeral
// port and the accepted peer, written with plain POSIX calls so that the
// tests do not depend on the code they check.

#include "platform/fd/uniquefd.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

namespace testpeer {

using Fd = platform::UniqueFd;

// A listening socket on 127.0.0.1 and an ephemeral port, or the port asked
// for (port() is 0 when it could not be had).
class Listener {
public:
    explicit Listener(int backlog = 8, std::uint16_t port = 0)
        : m_fd(::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0))
    {
        const int on = 1;
        ::setsockopt(m_fd.get(), SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        address.sin_port = htons(port);
        if (::bind(m_fd.get(), reinterpret_cast<sockaddr*>(&address), sizeof address) != 0
            || ::listen(m_fd.get(), backlog) != 0)
            return;
        socklen_t length = sizeof address;
        ::getsockname(m_fd.get(), reinterpret_cast<sockaddr*>(&address), &length);
        m_port = ntohs(address.sin_port);
    }

    std::uint16_t port() const { return m_port; }
    int fd() const { return m_fd.get(); }

    // The next connection, or an invalid Fd after timeoutMs.
    Fd accept(int timeoutMs = 5000)
    {
        pollfd entry{m_fd.get(), POLLIN, 0};
        if (::poll(&entry, 1, timeoutMs) <= 0)
            return Fd();
        return Fd(::accept4(m_fd.get(), nullptr, nullptr, SOCK_CLOEXEC));
    }

    void close() { m_fd.reset(); }

private:
    Fd m_fd;
    std::uint16_t m_port = 0;
};

inline bool sendBytes(int fd, const void* bytes, std::size_t count)
{
    const char* p = static_cast<const char*>(bytes);
    while (count > 0) {
        const ssize_t sent = ::send(fd, p, count, MSG_NOSIGNAL);
        if (sent <= 0)
            return false;
        p += sent;
        count -= static_cast<std::size_t>(sent);
    }
    return true;
}

inline bool sendBytes(int fd, const std::vector<std::uint8_t>& bytes)
{
    return sendBytes(fd, bytes.data(), bytes.size());
}

// Exactly count bytes, or fewer when the peer closes or timeoutMs passes.
inline std::vector<std::uint8_t> receiveBytes(int fd, std::size_t count, int timeoutMs = 5000)
{
    std::vector<std::uint8_t> bytes(count);
    std::size_t done = 0;
    while (done < count) {
        pollfd entry{fd, POLLIN, 0};
        if (::poll(&entry, 1, timeoutMs) <= 0)
            break;
        const ssize_t got = ::recv(fd, bytes.data() + done, count - done, 0);
        if (got <= 0)
            break;
        done += static_cast<std::size_t>(got);
    }
    bytes.resize(done);
    return bytes;
}

// A frame as the wire carries it: little-endian header, then the body.
inline std::vector<std::uint8_t> frame(const std::vector<std::uint8_t>& body)
{
    const std::uint64_t length = body.size();
    const std::uint64_t header = length | ((length % 127) << 57);
    std::vector<std::uint8_t> bytes(8);
    for (int i = 0; i < 8; ++i)
        bytes[i] = static_cast<std::uint8_t>(header >> (8 * i));
    bytes.insert(bytes.end(), body.begin(), body.end());
    return bytes;
}

inline void appendU32(std::vector<std::uint8_t>& bytes, std::uint32_t value)
{
    for (int i = 0; i < 4; ++i)
        bytes.push_back(static_cast<std::uint8_t>(value >> (8 * i)));
}

} // namespace testpeer
