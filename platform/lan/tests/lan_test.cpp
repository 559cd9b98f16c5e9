#include "platform/lan/probesocket.h"
#include "platform/lan/udpsocket.h"
#include "testing/main/eventwait.h"

#include <gtest/gtest.h>

#include <QElapsedTimer>

#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {
constexpr quint32 kLoopback = 0x7F000001;
constexpr quint32 kPanelA = 0x7F140002; // 127.20.0.2
constexpr quint32 kPanelB = 0x7F140003; // 127.20.0.3
} // namespace

TEST(UdpSocket, DatagramCarriesItsSourceAndOversizeIsRefused)
{
    UdpSocket receiver;
    ASSERT_TRUE(receiver.open());
    ASSERT_TRUE(receiver.bind(kLoopback, 0));
    UdpSocket sender;
    ASSERT_TRUE(sender.open());
    ASSERT_TRUE(sender.bind(kPanelA, 0));

    EXPECT_EQ(receiver.waitReadable(10), UdpSocket::Wait::Timeout);
    ASSERT_EQ(sender.sendTo(QByteArray("abc"), kLoopback, receiver.localPort()), 3);
    ASSERT_EQ(receiver.waitReadable(2000), UdpSocket::Wait::Ready);
    char buffer[8] = {};
    quint32 source = 0;
    quint16 port = 0;
    EXPECT_EQ(receiver.receiveFrom(buffer, sizeof buffer, &source, &port), 3);
    EXPECT_EQ(source, kPanelA);
    EXPECT_EQ(port, sender.localPort());

    ASSERT_EQ(sender.sendTo(QByteArray(9, 'x'), kLoopback, receiver.localPort()), 9);
    ASSERT_EQ(receiver.waitReadable(2000), UdpSocket::Wait::Ready);
    EXPECT_EQ(receiver.receiveFrom(buffer, sizeof buffer, &source, &port), -1);
    EXPECT_EQ(receiver.receiveFrom(buffer, sizeof buffer, &source, &port), -1); // nothing left
}

TEST(ProbeSocket, ListeningPortIsReachableAndAClosedOneIsNot)
{
    const int listener = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in sa{};
    sa.sin_family = AF_INET;
    sa.sin_addr.s_addr = htonl(kPanelA);
    ASSERT_EQ(::bind(listener, reinterpret_cast<sockaddr*>(&sa), sizeof sa), 0);
    ASSERT_EQ(::listen(listener, 8), 0);
    socklen_t len = sizeof sa;
    ::getsockname(listener, reinterpret_cast<sockaddr*>(&sa), &len);
    const quint16 port = ntohs(sa.sin_port);

    ProbeSocket open;
    ProbeSocket closed;
    for (ProbeSocket* s : {&open, &closed}) {
        ASSERT_EQ(s->create(), ProbeSocket::Create::Ok);
        ASSERT_TRUE(s->setNonBlocking());
    }
    EXPECT_NE(open.connectTo(kPanelA, port), ProbeSocket::Connect::Failed);
    EXPECT_NE(closed.connectTo(kPanelB, port), ProbeSocket::Connect::Connected);

    std::vector<ProbeSocket::Outcome> outcomes;
    TestWait::waitUntil(
        [&] {
            ProbeSocket::poll({&open, &closed}, outcomes, 100);
            return outcomes[0] != ProbeSocket::Outcome::Pending;
        },
        10000);
    EXPECT_EQ(outcomes[0], ProbeSocket::Outcome::Reachable);
    ProbeSocket::poll({&closed}, outcomes, 1000);
    EXPECT_EQ(outcomes[0], ProbeSocket::Outcome::Unreachable);
    ::close(listener);
}

TEST(ProbeSocket, AddressTexts)
{
    quint32 a = 0;
    EXPECT_TRUE(ProbeSocket::parseAddress("127.20.0.2", &a));
    EXPECT_EQ(a, kPanelA);
    EXPECT_TRUE(ProbeSocket::parseAddress("127.1", &a)); // inet_addr's short form
    EXPECT_EQ(a, kLoopback);
    EXPECT_FALSE(ProbeSocket::parseAddress("not an address", &a));
    EXPECT_FALSE(ProbeSocket::parseAddress("300.1.1.1", &a));
    EXPECT_FALSE(ProbeSocket::parseAddress("", &a));
    EXPECT_EQ(ProbeSocket::addressText(kPanelB), QByteArray("127.20.0.3"));
}
