#include "framework/net/tcpsocket.h"

#include "framework/net/framereader.h"
#include "framework/net/netconstants.h"
#include "framework/net/tests/failuretext.h"
#include "platform/clock/monotonicclock.h"
#include "testing/loopbacksocket/loopbacksocket.h"

#include <gtest/gtest.h>

#include <sys/ioctl.h>
#include <sys/socket.h>
#include <sys/time.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstring>
#include <mutex>
#include <thread>

using FF::Net::FrameReader;
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
    const bool received = FrameReader().receiveMessage(pair.reader.get(), buffer, control);
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
    ASSERT_TRUE(FrameReader().receiveMessage(pair.reader.get(), received, control));
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
    EXPECT_FALSE(FrameReader().receiveMessage(pair.reader.get(), buffer, control));
    EXPECT_TRUE(control.stopped);
    EXPECT_LE(buffer.capacity(), 64u << 10);
}

TEST(Frame, PeerClosingBetweenFramesStopsTheReceive)
{
    SocketPair pair;
    testpeer::sendBytes(pair.writer.get(), testpeer::frame({1, 2, 3}));
    pair.writer.reset();
    FakeControl control;
    FrameReader frames;
    NetBuffer first;
    ASSERT_TRUE(frames.receiveMessage(pair.reader.get(), first, control));
    EXPECT_EQ(first.size(), 3u);
    NetBuffer second;
    EXPECT_FALSE(frames.receiveMessage(pair.reader.get(), second, control));
    EXPECT_TRUE(control.stopped);
}

TEST(Frame, EveryWholeFrameOfOneReceiveIsCutOutWithoutAnotherCall)
{
    SocketPair pair;
    std::vector<std::uint8_t> wire;
    for (std::uint8_t n = 1; n <= 3; ++n) {
        const std::vector<std::uint8_t> one = testpeer::frame(std::vector<std::uint8_t>(n * 10u, n));
        wire.insert(wire.end(), one.begin(), one.end());
    }
    ASSERT_TRUE(testpeer::sendBytes(pair.writer.get(), wire));
    FakeControl control;
    FrameReader frames;
    for (std::uint8_t n = 1; n <= 3; ++n) {
        NetBuffer message;
        ASSERT_TRUE(frames.receiveMessage(pair.reader.get(), message, control));
        EXPECT_EQ(std::vector<std::uint8_t>(message.data(), message.data() + message.size()),
                  std::vector<std::uint8_t>(n * 10u, n));
        EXPECT_EQ(message.readPos(), 0u);
    }
    EXPECT_EQ(control.steps, 1);
    EXPECT_EQ(frames.buffered(), 0u);
}

TEST(Frame, FramesLargerThanTheReadAheadArriveWholeBetweenSmallOnes)
{
    SocketPair pair;
    std::vector<std::vector<std::uint8_t>> bodies = {{1, 2, 3}, std::vector<std::uint8_t>(300000), {4}, {}};
    for (std::size_t i = 0; i < bodies[1].size(); ++i)
        bodies[1][i] = static_cast<std::uint8_t>(i * 13 + (i >> 9));
    std::vector<std::uint8_t> wire;
    for (const auto& body : bodies) {
        const std::vector<std::uint8_t> one = testpeer::frame(body);
        wire.insert(wire.end(), one.begin(), one.end());
    }
    std::thread writer([&] { testpeer::sendBytes(pair.writer.get(), wire); });
    FakeControl control;
    FrameReader frames(64);
    NetBuffer message; // one block for all, as the receive loop keeps it
    for (const auto& body : bodies) {
        ASSERT_TRUE(frames.receiveMessage(pair.reader.get(), message, control));
        ASSERT_EQ(message.size(), body.size());
        EXPECT_TRUE(body.empty() || std::memcmp(message.data(), body.data(), body.size()) == 0);
        EXPECT_EQ(message.readPos(), 0u);
    }
    writer.join();
    EXPECT_FALSE(control.stopped);
}

// Whoever holds a connection's read side takes the next turn: a header, a
// body or a large frame left half-read by one thread is finished by another.
TEST(Frame, FramesReadInTurnsByTwoThreadsArriveWholeAndInOrder)
{
    SocketPair pair;
    std::vector<std::vector<std::uint8_t>> bodies;
    for (int n = 0; n < 40; ++n)
        bodies.push_back(std::vector<std::uint8_t>(std::size_t(1 + n * 37), std::uint8_t(n)));
    bodies.insert(bodies.begin() + 20, std::vector<std::uint8_t>(200000));
    for (std::size_t i = 0; i < bodies[20].size(); ++i)
        bodies[20][i] = static_cast<std::uint8_t>(i * 7 + (i >> 11));
    std::vector<std::uint8_t> wire;
    for (const auto& body : bodies) {
        const std::vector<std::uint8_t> one = testpeer::frame(body);
        wire.insert(wire.end(), one.begin(), one.end());
    }
    // Pieces of odd sizes, so that headers and bodies are cut anywhere.
    std::thread writer([&] {
        std::size_t at = 0;
        for (std::size_t n = 0; at < wire.size(); ++n) {
            const std::size_t piece = std::min(wire.size() - at, std::size_t(n % 3 == 0 ? 5 : 997 + n % 1500));
            testpeer::sendBytes(pair.writer.get(), wire.data() + at, piece);
            at += piece;
            if (n % 8 == 0)
                std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
    });

    FakeControl control;
    FrameReader frames(4096);
    std::mutex readSide;
    std::vector<std::vector<std::uint8_t>> received;
    int dataTurns[2] = {0, 0};
    std::atomic<int> turn{0};
    auto takeTurns = [&](int self) {
        NetBuffer message;
        for (;;) {
            while (turn % 2 != self)
                std::this_thread::yield();
            {
                std::lock_guard<std::mutex> guard(readSide);
                if (received.size() == bodies.size()) {
                    ++turn;
                    return;
                }
                while (frames.takeFrame(message, control))
                    received.emplace_back(message.data(), message.data() + message.size());
                if (received.size() < bodies.size()
                    && frames.receiveOnce(pair.reader.get(), false).status == platform::ReceiveStatus::Data) {
                    ++dataTurns[self];
                    while (frames.takeFrame(message, control))
                        received.emplace_back(message.data(), message.data() + message.size());
                }
            }
            ++turn;
        }
    };
    std::thread other(takeTurns, 1);
    takeTurns(0);
    other.join();
    writer.join();
    ASSERT_EQ(received.size(), bodies.size());
    for (std::size_t i = 0; i < bodies.size(); ++i)
        EXPECT_EQ(received[i], bodies[i]) << "frame " << i;
    EXPECT_GT(dataTurns[0], 0);
    EXPECT_GT(dataTurns[1], 0);
    EXPECT_EQ(frames.buffered(), 0u);
    EXPECT_FALSE(control.stopped);
}

TEST(Frame, ABoundedSendGivesUpBeforeItStartsOrCutsTheFrame)
{
    SocketPair pair; // nobody reads the other end
    NetBuffer large;
    large.write(std::vector<std::uint8_t>(8u << 20, 0x77).data(), 8u << 20);
    std::uint64_t now = platform::monotonicMs();
    EXPECT_EQ(TCPSocket::Instance().sendFrame(pair.writer.get(), large, now + 100, now + 300, nullptr),
              TCPSocket::FrameSent::Cut);
    EXPECT_GE(platform::monotonicMs() - now, 300u);

    // The socket is full: a frame that cannot start by its limit leaves nothing.
    int queued = 0;
    ::ioctl(pair.reader.get(), FIONREAD, &queued);
    NetBuffer small;
    small.write("abc", 3);
    now = platform::monotonicMs();
    EXPECT_EQ(TCPSocket::Instance().sendFrame(pair.writer.get(), small, now + 100, now + 100, nullptr),
              TCPSocket::FrameSent::NotStarted);
    int after = 0;
    ::ioctl(pair.reader.get(), FIONREAD, &after);
    EXPECT_EQ(after, queued);

    // A send without a limit gives up once its connection is abandoned.
    std::atomic<bool> abandon{false};
    std::thread giveUp([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(200));
        abandon = true;
    });
    EXPECT_EQ(
        TCPSocket::Instance().sendFrame(pair.writer.get(), small, FF::Net::kNoDeadline, FF::Net::kNoDeadline, &abandon),
        TCPSocket::FrameSent::Failed);
    giveUp.join();
}
