#include "platform/socket/posixsocket.h"

#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <vector>

namespace {

const std::uint8_t kLoopback[4] = {127, 0, 0, 1};

// A listening loopback socket on an ephemeral port.
struct Listener {
    Listener()
    {
        fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        ::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address);
        ::listen(fd, 4);
        socklen_t length = sizeof address;
        ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length);
        port = ntohs(address.sin_port);
    }
    ~Listener()
    {
        if (fd >= 0)
            ::close(fd);
    }
    int fd = -1;
    std::uint16_t port = 0;
};

// A platform socket connected to the listener, and the accepted peer.
struct ConnectedPair {
    ConnectedPair()
    {
        socket = platform::openTcpSocket();
        connected = platform::connectWithin(socket, kLoopback, listener.port, 2000) == 0;
        peer = connected ? ::accept(listener.fd, nullptr, nullptr) : -1;
    }
    ~ConnectedPair()
    {
        if (peer >= 0)
            ::close(peer);
        platform::closeSocket(socket);
    }
    Listener listener;
    platform::SocketHandle socket = platform::kInvalidSocket;
    bool connected = false;
    int peer = -1;
};

} // namespace

TEST(PosixSocket, ConnectsWithinTheTimeAndNamesItsOwnEnd)
{
    Listener listener;
    const platform::SocketHandle socket = platform::openTcpSocket();
    ASSERT_NE(socket, platform::kInvalidSocket);
    EXPECT_EQ(platform::connectWithin(socket, kLoopback, listener.port, 2000), 0);
    std::uint8_t ip[4] = {};
    std::uint16_t port = 0;
    ASSERT_TRUE(platform::localName(socket, ip, &port));
    EXPECT_EQ(std::vector<std::uint8_t>(ip, ip + 4), (std::vector<std::uint8_t>{127, 0, 0, 1}));
    EXPECT_NE(port, 0);
    platform::closeSocket(socket);
}

TEST(PosixSocket, RefusedConnectReportsTheError)
{
    std::uint16_t port;
    {
        Listener listener;
        port = listener.port;
    }
    const platform::SocketHandle socket = platform::openTcpSocket();
    EXPECT_EQ(platform::connectWithin(socket, kLoopback, port, 2000), ECONNREFUSED);
    platform::closeSocket(socket);
}

TEST(PosixSocket, ReceiveTellsNoDataFromClosedAndFailed)
{
    ConnectedPair pair;
    ASSERT_TRUE(pair.connected);
    ASSERT_GE(pair.peer, 0);
    const platform::SocketHandle socket = pair.socket;
    int& peer = pair.peer;
    ASSERT_TRUE(platform::setRecvTimeout(socket, 50));

    char byte = 0;
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(platform::receiveSome(socket, &byte, 1).status, platform::ReceiveStatus::NoData);
    EXPECT_GE(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(40));

    ASSERT_EQ(::send(peer, "x", 1, 0), 1);
    const platform::ReceiveResult data = platform::receiveSome(socket, &byte, 1);
    EXPECT_EQ(data.status, platform::ReceiveStatus::Data);
    EXPECT_EQ(data.bytes, 1u);
    EXPECT_EQ(byte, 'x');

    // A reset (close with unread data and linger 0) is a failure, not "no data".
    linger hard{1, 0};
    ::setsockopt(peer, SOL_SOCKET, SO_LINGER, &hard, sizeof hard);
    ::close(peer);
    peer = -1;
    const platform::ReceiveResult reset = platform::receiveSome(socket, &byte, 1);
    EXPECT_EQ(reset.status, platform::ReceiveStatus::Failed);
    EXPECT_EQ(reset.error, ECONNRESET);
}

TEST(PosixSocket, OrderlyCloseIsClosedAndSendToItFailsWithoutSignal)
{
    ConnectedPair pair;
    ASSERT_TRUE(pair.connected);
    ASSERT_GE(pair.peer, 0);
    const platform::SocketHandle socket = pair.socket;
    int& peer = pair.peer;
    ::close(peer);
    peer = -1;
    char byte = 0;
    EXPECT_EQ(platform::receiveSome(socket, &byte, 1).status, platform::ReceiveStatus::Closed);
    // The first send may still be taken by the kernel; the peer's reset then
    // fails the next ones with EPIPE, which must not raise SIGPIPE.
    std::vector<char> block(1 << 16, 'z');
    bool failed = false;
    for (int i = 0; i < 50 && !failed; ++i)
        failed = !platform::sendAll(socket, block.data(), block.size());
    EXPECT_TRUE(failed);
}

TEST(PosixSocket, ShutdownSendEndsThePeersStream)
{
    ConnectedPair pair;
    ASSERT_TRUE(pair.connected);
    ASSERT_GE(pair.peer, 0);
    const platform::SocketHandle socket = pair.socket;
    int& peer = pair.peer;
    ASSERT_TRUE(platform::sendAll(socket, "ab", 2));
    ASSERT_TRUE(platform::shutdownSend(socket));
    char bytes[4] = {};
    EXPECT_EQ(::recv(peer, bytes, sizeof bytes, MSG_WAITALL), 2);
    EXPECT_EQ(::recv(peer, bytes, sizeof bytes, 0), 0);
}
