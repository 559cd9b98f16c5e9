#include "platform/socket/posixsocket.h"

#include "platform/socket/wakeevent.h"

#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <string>
#include <thread>
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

} // namespace

// A platform socket connected to a loopback listener, and the accepted peer.
class ConnectedPair : public ::testing::Test {
protected:
    void SetUp() override
    {
        socket = platform::openTcpSocket();
        ASSERT_EQ(platform::connectWithin(socket, kLoopback, listener.port, 2000), 0);
        peer = ::accept(listener.fd, nullptr, nullptr);
        ASSERT_GE(peer, 0);
    }
    void TearDown() override
    {
        if (peer >= 0)
            ::close(peer);
        platform::closeSocket(socket);
    }
    Listener listener;
    platform::SocketHandle socket = platform::kInvalidSocket;
    int peer = -1;
};

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

TEST_F(ConnectedPair, ReceiveTellsNoDataFromClosedAndFailed)
{
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

TEST_F(ConnectedPair, ReceiveNowNeverWaitsOnABlockingSocket)
{
    // A long receive time-out that receiveNow must not wait for.
    ASSERT_TRUE(platform::setRecvTimeout(socket, 20000));
    char bytes[8] = {};
    EXPECT_EQ(platform::receiveNow(socket, bytes, sizeof bytes).status, platform::ReceiveStatus::NoData);

    ASSERT_EQ(::send(peer, "abc", 3, 0), 3);
    ASSERT_EQ(platform::waitForInput(socket, -1, 20000), unsigned(platform::kSocketReady));
    const platform::ReceiveResult data = platform::receiveNow(socket, bytes, sizeof bytes);
    EXPECT_EQ(data.status, platform::ReceiveStatus::Data);
    EXPECT_EQ(std::string(bytes, data.bytes), "abc");
    EXPECT_EQ(platform::receiveNow(socket, bytes, sizeof bytes).status, platform::ReceiveStatus::NoData);

    ::close(peer);
    peer = -1;
    EXPECT_EQ(platform::waitForInput(socket, -1, 20000), unsigned(platform::kSocketReady));
    EXPECT_EQ(platform::receiveNow(socket, bytes, sizeof bytes).status, platform::ReceiveStatus::Closed);
}

TEST_F(ConnectedPair, WaitForInputEndsByBytesByAWakeUpOrByItsTime)
{
    platform::WakeEvent wake;
    ASSERT_GE(wake.fd(), 0);
    auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(platform::waitForInput(socket, wake.fd(), 50), 0u);
    EXPECT_GE(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(40));

    // A wake-up from another thread ends the wait; it stays until cleared.
    std::thread waker([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
        wake.signal();
    });
    EXPECT_EQ(platform::waitForInput(socket, wake.fd(), 20000), unsigned(platform::kWakeReady));
    waker.join();
    EXPECT_EQ(platform::waitForInput(platform::kInvalidSocket, wake.fd(), 0), unsigned(platform::kWakeReady));
    wake.signal();
    wake.clear();
    EXPECT_EQ(platform::waitForInput(platform::kInvalidSocket, wake.fd(), 0), 0u);

    // The socket alone is not waited for when it is left out.
    ASSERT_EQ(::send(peer, "x", 1, 0), 1);
    EXPECT_EQ(platform::waitForInput(platform::kInvalidSocket, wake.fd(), 20), 0u);
    wake.signal();
    EXPECT_EQ(platform::waitForInput(socket, wake.fd(), 20000),
              unsigned(platform::kSocketReady | platform::kWakeReady));
}

TEST_F(ConnectedPair, OrderlyCloseIsClosedAndSendToItFailsWithoutSignal)
{
    ::close(peer);
    peer = -1;
    char byte = 0;
    EXPECT_EQ(platform::receiveSome(socket, &byte, 1).status, platform::ReceiveStatus::Closed);
    // The first send may still be taken by the kernel; the peer's reset then
    // fails the next ones with EPIPE, which must not raise SIGPIPE.
    std::vector<char> block(1 << 16, 'z');
    bool failed = false;
    for (int i = 0; i < 50 && !failed; ++i) {
        const platform::SendResult sent = platform::sendSome(socket, block.data(), block.size());
        failed = sent.status == platform::SendStatus::Failed;
        if (sent.status == platform::SendStatus::WouldBlock)
            platform::waitWritable(socket, 100);
    }
    EXPECT_TRUE(failed);
}

TEST_F(ConnectedPair, SendSomeNeverBlocksOnAPeerThatDoesNotRead)
{
    // The socket stays in blocking mode, as the framework's sockets are.
    std::vector<char> block(1 << 16, 'q');
    std::size_t queued = 0;
    platform::SendResult sent;
    for (int i = 0; i < 4000; ++i) {
        sent = platform::sendSome(socket, block.data(), block.size());
        if (sent.status != platform::SendStatus::Sent)
            break;
        queued += sent.bytes;
    }
    ASSERT_EQ(sent.status, platform::SendStatus::WouldBlock) << queued << " bytes queued";
    EXPECT_GT(queued, 0u);
    EXPECT_FALSE(platform::waitWritable(socket, 50));

    // Once the peer reads, there is room again.
    std::vector<char> sink(1 << 16);
    std::size_t drained = 0;
    while (drained < queued) {
        const ssize_t got = ::recv(peer, sink.data(), sink.size(), 0);
        ASSERT_GT(got, 0);
        drained += static_cast<std::size_t>(got);
    }
    EXPECT_TRUE(platform::waitWritable(socket, 5000));
    EXPECT_EQ(platform::sendSome(socket, "x", 1).status, platform::SendStatus::Sent);
}

TEST_F(ConnectedPair, ShutdownSendWakesAWaitingSenderAndFailsTheNextSend)
{
    std::vector<char> block(1 << 16, 'w');
    for (int i = 0; i < 4000; ++i) {
        if (platform::sendSome(socket, block.data(), block.size()).status != platform::SendStatus::Sent)
            break;
    }
    ASSERT_FALSE(platform::waitWritable(socket, 0));
    std::thread closer([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
        platform::shutdownSend(socket);
    });
    EXPECT_TRUE(platform::waitWritable(socket, 20000));
    closer.join();
    const platform::SendResult failed = platform::sendSome(socket, "x", 1);
    EXPECT_EQ(failed.status, platform::SendStatus::Failed);
    EXPECT_EQ(failed.error, EPIPE);
}

TEST_F(ConnectedPair, ShutdownSendEndsThePeersStream)
{
    const platform::SendResult sent = platform::sendSome(socket, "ab", 2);
    ASSERT_EQ(sent.status, platform::SendStatus::Sent);
    ASSERT_EQ(sent.bytes, 2u);
    ASSERT_TRUE(platform::shutdownSend(socket));
    char bytes[4] = {};
    EXPECT_EQ(::recv(peer, bytes, sizeof bytes, MSG_WAITALL), 2);
    EXPECT_EQ(::recv(peer, bytes, sizeof bytes, 0), 0);
}
