#include "testing/fakediscovery/fakediscoveryresponder.h"

#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

TEST(FakeDiscoveryResponder, ReplyLayout)
{
    FakeDiscoveryResponder::Config c;
    c.text = "ab";
    c.reportedAddress = "10.1.2.3";
    c.value = 0x01020304;
    c.trailing = "zz";
    const QByteArray expected = QByteArray::fromHex("78563412"
                                                    "01"
                                                    "18000000"
                                                    "02000000"
                                                    "6162"
                                                    "08000000")
                                + "10.1.2.3" + QByteArray::fromHex("04030201") + "zz";
    EXPECT_EQ(FakeDiscoveryResponder::buildReply(c, 0x12345678), expected);
    c.idDelta = 1;
    c.kind = 2;
    c.payloadLength = 0x80000000u;
    c.textCount = 0xFFFFFFFFu;
    c.omitValue = true;
    c.trailing.clear();
    EXPECT_EQ(FakeDiscoveryResponder::buildReply(c, 0x12345678), QByteArray::fromHex("79563412"
                                                                                     "02"
                                                                                     "00000080"
                                                                                     "ffffffff"
                                                                                     "6162"
                                                                                     "08000000")
                                                                     + "10.1.2.3");
}

TEST(FakeDiscoveryResponder, AnswersABroadcastProbeFromItsSourceAddress)
{
    FakeDiscoveryResponder::Config c;
    c.sourceAddress = "127.20.0.11";
    FakeDiscoveryResponder responder(c);
    ASSERT_TRUE(responder.isListening());

    const int s = ::socket(AF_INET, SOCK_DGRAM, 0);
    const int one = 1;
    ::setsockopt(s, SOL_SOCKET, SO_BROADCAST, &one, sizeof one);
    sockaddr_in local{};
    local.sin_family = AF_INET;
    local.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ASSERT_EQ(::bind(s, reinterpret_cast<sockaddr*>(&local), sizeof local), 0);
    sockaddr_in to{};
    to.sin_family = AF_INET;
    to.sin_addr.s_addr = inet_addr("127.255.255.255");
    to.sin_port = htons(responder.port());
    const QByteArray probe = QByteArray::fromHex("2a00000001"
                                                 "00000000");
    ASSERT_EQ(::sendto(s, probe.constData(), 9, 0, reinterpret_cast<sockaddr*>(&to), sizeof to), 9);

    pollfd p{s, POLLIN, 0};
    ASSERT_EQ(::poll(&p, 1, 3000), 1);
    char buffer[512];
    sockaddr_in from{};
    socklen_t len = sizeof from;
    const ssize_t n = ::recvfrom(s, buffer, sizeof buffer, 0, reinterpret_cast<sockaddr*>(&from), &len);
    EXPECT_EQ(QByteArray(buffer, static_cast<int>(n)), FakeDiscoveryResponder::buildReply(c, 42));
    EXPECT_EQ(from.sin_addr.s_addr, inet_addr("127.20.0.11"));
    EXPECT_EQ(responder.probesSeen(), 1);
    EXPECT_EQ(responder.lastProbe(), probe);
    ::close(s);
}
