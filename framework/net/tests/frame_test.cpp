#include "framework/net/tcpsocket.h"

#include "framework/net/tests/failuretext.h"
#include "framework/net/tests/loopbackpeer.h"

#include <gtest/gtest.h>

#include <sys/socket.h>
#include <sys/time.h>

#include <atomic>
#include <chrono>
#include <thread>

using FF::Net::NetBuffer;
using FF::Net::TCPSocket;

namespace {

// Stands in for the receiving connection: counts the activity steps and
// stops once the receiver marks it stopped.
class FakeControl : public FF::Net::IReceiveControl {
public:
    void markStopped() override { stopped = true; }
    bool afterReceive(std::size_t) override
    {
        ++steps;
        return !stopped;
    }
    FF::Net::Address peerAddress() const override { return FF::Net::Address("127.10.0.1", 9u); }

    std::atomic<bool> stopped{false};
    int steps = 0;
};

struct SocketPair {
    SocketPair()
    {
        int fds[2];
        ::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, fds);
        reader = testpeer::Fd(fds[0]);
        writer = testpeer::Fd(fds[1]);
        timeval timeout{0, 100000};
        ::setsockopt(reader.get(), SOL_SOCKET, SO_RCVTIMEO, &timeout, sizeof timeout);
    }
    testpeer::Fd reader;
    testpeer::Fd writer;
};

std::string decodeFailure(std::uint64_t header, FakeControl& control)
{
    return failureOf([&] { TCPSocket::__Decode(header, control); });
}

} // namespace

TEST(Frame, HeaderCarriesLengthAndLengthMod127)
{
    EXPECT_EQ(TCPSocket::__Encode(127) >> 57, 0u);
    EXPECT_EQ(TCPSocket::__Encode(128) >> 57, 1u);
    EXPECT_EQ(TCPSocket::__Encode(5), 0x0A00000000000005ull);
    EXPECT_EQ(TCPSocket::__Encode(126), 126ull | (126ull << 57));
    EXPECT_EQ(failureOf([] { TCPSocket::__Encode(1ull << 57); }), "TCPSocket.__Encode/too large");
    FakeControl control;
    EXPECT_EQ(TCPSocket::__Decode(TCPSocket::__Encode(4096), control), 4096u);
    EXPECT_FALSE(control.stopped);
}

TEST(Frame, DisagreeingCheckBitsAreAnIllegalConnection)
{
    FakeControl control;
    EXPECT_EQ(decodeFailure(5ull | (11ull << 57), control), "TCPSocket.__Decode/illegal connection");
    EXPECT_TRUE(control.stopped);
}

TEST(Frame, BodiesOver64MiBAreAnIllegalConnection)
{
    const std::uint64_t limit = 64ull << 20;
    FakeControl accepted;
    EXPECT_EQ(TCPSocket::__Decode(TCPSocket::__Encode(limit), accepted), limit);
    FakeControl refused;
    EXPECT_EQ(decodeFailure(TCPSocket::__Encode(limit + 1), refused), "TCPSocket.__Decode/illegal connection");
    EXPECT_TRUE(refused.stopped);
    FakeControl huge;
    EXPECT_EQ(decodeFailure(TCPSocket::__Encode((1ull << 57) - 1), huge), "TCPSocket.__Decode/illegal connection");
}

TEST(Frame, FrameWrittenOneByteAtATimeIsReassembled)
{
    SocketPair pair;
    std::vector<std::uint8_t> body;
    for (int i = 0; i < 40; ++i)
        body.push_back(static_cast<std::uint8_t>(i * 7));
    const std::vector<std::uint8_t> wire = testpeer::frame(body);
    std::thread writer([&] {
        for (std::uint8_t byte : wire) {
            testpeer::sendBytes(pair.writer.get(), &byte, 1);
            std::this_thread::sleep_for(std::chrono::milliseconds(2));
        }
    });
    FakeControl control;
    NetBuffer buffer;
    const bool received = TCPSocket::Instance().receiveMessage(pair.reader.get(), buffer, control);
    writer.join();
    ASSERT_TRUE(received);
    EXPECT_EQ(buffer.readPos(), 0u);
    ASSERT_EQ(buffer.size(), body.size());
    EXPECT_EQ(std::vector<std::uint8_t>(buffer.data(), buffer.data() + buffer.size()), body);
    // The bytes came in many receive calls, each one followed by a step.
    EXPECT_GT(control.steps, 8);
    EXPECT_FALSE(control.stopped);
}

TEST(Frame, SendPutsHeaderAndBodyOnTheWire)
{
    SocketPair pair;
    NetBuffer buffer;
    buffer.write("hello", 5);
    ASSERT_TRUE(TCPSocket::Instance().sendMessage(pair.writer.get(), buffer));
    const std::vector<std::uint8_t> expected = {5, 0, 0, 0, 0, 0, 0, 0x0A, 'h', 'e', 'l', 'l', 'o'};
    EXPECT_EQ(testpeer::receiveBytes(pair.reader.get(), 13), expected);
    // Sent twice from the same buffer: the same bytes again.
    ASSERT_TRUE(TCPSocket::Instance().sendMessage(pair.writer.get(), buffer));
    EXPECT_EQ(testpeer::receiveBytes(pair.reader.get(), 13), expected);
}

TEST(Frame, EmptyBufferSendsNothing)
{
    SocketPair pair;
    NetBuffer empty;
    EXPECT_FALSE(TCPSocket::Instance().sendMessage(pair.writer.get(), empty));
    EXPECT_TRUE(testpeer::receiveBytes(pair.reader.get(), 1, 50).empty());
}

TEST(Frame, LargeFrameLeavesWholeAndArrivesWhole)
{
    SocketPair pair;
    NetBuffer buffer;
    std::vector<std::uint8_t> body(3 << 20);
    for (std::size_t i = 0; i < body.size(); ++i)
        body[i] = static_cast<std::uint8_t>(i * 31 + (i >> 12));
    buffer.write(body.data(), body.size());
    std::atomic<bool> sent{false};
    std::thread sender([&] { sent = TCPSocket::Instance().sendMessage(pair.writer.get(), buffer); });
    FakeControl control;
    NetBuffer received;
    ASSERT_TRUE(TCPSocket::Instance().receiveMessage(pair.reader.get(), received, control));
    sender.join();
    EXPECT_TRUE(sent);
    ASSERT_EQ(received.size(), body.size());
    EXPECT_EQ(std::memcmp(received.data(), body.data(), body.size()), 0);
}

TEST(Frame, SendToAClosedPeerFailsWithoutASignal)
{
    SocketPair pair;
    pair.reader.reset();
    NetBuffer buffer;
    buffer.write("x", 1);
    EXPECT_FALSE(TCPSocket::Instance().sendMessage(pair.writer.get(), buffer));
}

TEST(Frame, LyingHeaderCutShortAllocatesOnlyWhatArrived)
{
    SocketPair pair;
    std::vector<std::uint8_t> wire = testpeer::frame(std::vector<std::uint8_t>(60u << 20, 0));
    wire.resize(8 + 10);
    testpeer::sendBytes(pair.writer.get(), wire);
    pair.writer.reset();
    FakeControl control;
    NetBuffer buffer;
    EXPECT_FALSE(TCPSocket::Instance().receiveMessage(pair.reader.get(), buffer, control));
    EXPECT_TRUE(control.stopped);
    EXPECT_LE(buffer.capacity(), 64u << 10);
}

TEST(Frame, PeerClosingBetweenFramesStopsTheReceive)
{
    SocketPair pair;
    testpeer::sendBytes(pair.writer.get(), testpeer::frame({1, 2, 3}));
    pair.writer.reset();
    FakeControl control;
    NetBuffer first;
    ASSERT_TRUE(TCPSocket::Instance().receiveMessage(pair.reader.get(), first, control));
    EXPECT_EQ(first.size(), 3u);
    NetBuffer second;
    EXPECT_FALSE(TCPSocket::Instance().receiveMessage(pair.reader.get(), second, control));
    EXPECT_TRUE(control.stopped);
}
