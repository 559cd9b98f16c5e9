#include "testing/fakepanel/fakepanelservice.h"

#include "testing/fakepanel/fakepanelconstants.h"
#include "testing/fakepanel/framecodec.h"
#include "testing/fakepanel/wirereader.h"
#include "testing/fakepanel/wirewriter.h"
#include "testing/main/heapinuse.h"

#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <optional>
#include <thread>

using namespace Fake;
using namespace std::chrono_literals;

namespace {

// A bare client socket speaking frames, to drive the service without the framework.
class RawClient {
public:
    explicit RawClient(uint16_t port)
    {
        m_fd = ::socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in to{};
        to.sin_family = AF_INET;
        to.sin_port = htons(port);
        to.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        m_connected = ::connect(m_fd, reinterpret_cast<sockaddr*>(&to), sizeof(to)) == 0;
    }
    ~RawClient() { ::close(m_fd); }

    bool connected() const { return m_connected; }
    void send(const std::vector<uint8_t>& body) { sendBytes(encodeFrame(body)); }
    void sendBytes(const std::vector<uint8_t>& bytes)
    {
        ASSERT_EQ(::send(m_fd, bytes.data(), bytes.size(), MSG_NOSIGNAL), ssize_t(bytes.size()));
    }
    // The next frame body, or nothing when none came in time or the peer closed.
    std::optional<std::vector<uint8_t>> receive(std::chrono::milliseconds timeout = 3000ms)
    {
        const auto deadline = std::chrono::steady_clock::now() + timeout;
        while (!m_frames.hasFrame()) {
            const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline
                                                                                    - std::chrono::steady_clock::now());
            pollfd waiting{m_fd, POLLIN, 0};
            if (left.count() <= 0 || ::poll(&waiting, 1, int(left.count())) <= 0)
                return std::nullopt;
            uint8_t chunk[4096];
            const ssize_t n = ::recv(m_fd, chunk, sizeof(chunk), 0);
            if (n <= 0) {
                m_closed = true;
                return std::nullopt;
            }
            m_frames.feed(chunk, size_t(n));
        }
        return m_frames.takeFrame();
    }
    bool closedByPeer(std::chrono::milliseconds timeout = 3000ms)
    {
        while (!m_closed && receive(timeout)) {}
        return m_closed;
    }
    // This socket's own address word (a..d low, port high), as a re-init carries it.
    std::vector<uint8_t> localAddressBytes() const
    {
        sockaddr_in self{};
        socklen_t length = sizeof(self);
        ::getsockname(m_fd, reinterpret_cast<sockaddr*>(&self), &length);
        WireWriter out;
        out.raw(&self.sin_addr.s_addr, 4).u32(ntohs(self.sin_port));
        return out.take();
    }

private:
    int m_fd = -1;
    bool m_connected = false;
    bool m_closed = false;
    FrameAssembler m_frames{kMaxFrameBody};
};

std::string keyOf(const std::vector<uint8_t>& reply, uint32_t expectedType)
{
    WireReader in(reply);
    uint32_t type = 0;
    std::string key;
    EXPECT_TRUE(in.u32(type) && in.string(key) && in.atEnd());
    EXPECT_EQ(type, expectedType);
    return key;
}

std::vector<uint8_t> call(uint32_t handler, uint32_t number, const std::string& method,
                          const std::vector<uint8_t>& args)
{
    return WireWriter().u32(kMsgCall).u32(handler).u32(number).string(method).raw(args).take();
}

uint32_t statusOf(const std::optional<std::vector<uint8_t>>& reply)
{
    WireReader in(*reply);
    uint32_t type = 0, handler = 0, number = 0, status = 99;
    EXPECT_TRUE(in.u32(type) && in.u32(handler) && in.u32(number) && in.u32(status));
    EXPECT_EQ(type, kMsgCall);
    return status;
}

using TestMemory::threadCount;

} // namespace

TEST(FakePanelService, InitGivesAKeyAndReinitFromTheSameClientGetsItBack)
{
    FakePanelService panel;
    ASSERT_NE(panel.port(), 0);
    RawClient first(panel.port());
    ASSERT_TRUE(first.connected());
    first.send(WireWriter().u32(kMsgInit).take());
    auto initReply = first.receive();
    ASSERT_TRUE(initReply);
    const std::string key = keyOf(*initReply, kMsgInit);
    EXPECT_EQ(key, "fake-key-1");

    RawClient second(panel.port());
    second.send(WireWriter().u32(kMsgReinit).raw(first.localAddressBytes()).take());
    auto reinitReply = second.receive();
    ASSERT_TRUE(reinitReply);
    EXPECT_EQ(keyOf(*reinitReply, kMsgReinit), key);
    ASSERT_EQ(panel.reinitRequests().size(), 1u);
    EXPECT_EQ(panel.reinitRequests()[0], first.localAddressBytes());

    panel.forgetClients();
    RawClient third(panel.port());
    third.send(WireWriter().u32(kMsgReinit).raw(second.localAddressBytes()).take());
    auto forgotten = third.receive();
    ASSERT_TRUE(forgotten);
    EXPECT_EQ(keyOf(*forgotten, kMsgReinit), "fake-key-2");

    panel.setReinitKey("other");
    RawClient fourth(panel.port());
    fourth.send(WireWriter().u32(kMsgReinit).raw(third.localAddressBytes()).take());
    auto overridden = fourth.receive();
    ASSERT_TRUE(overridden);
    EXPECT_EQ(keyOf(*overridden, kMsgReinit), "other");
}

TEST(FakePanelService, SilentOrLateInitAndPings)
{
    FakePanelService panel;
    panel.setInitSilent(true);
    RawClient silent(panel.port());
    silent.send(WireWriter().u32(kMsgInit).take());
    EXPECT_FALSE(silent.receive(300ms));
    silent.send(WireWriter().u32(kMsgPing).take());
    auto pong = silent.receive();
    ASSERT_TRUE(pong);
    EXPECT_EQ(*pong, WireWriter().u32(kMsgPong).take());

    panel.setInitSilent(false);
    panel.setInitDelay(400ms);
    RawClient late(panel.port());
    const auto start = std::chrono::steady_clock::now();
    late.send(WireWriter().u32(kMsgInit).take());
    ASSERT_TRUE(late.receive());
    EXPECT_GE(std::chrono::steady_clock::now() - start, 380ms);

    ASSERT_TRUE(panel.waitFor([&] { return panel.openConnections() == 2; }, 2000ms));
    panel.pingClients();
    EXPECT_EQ(silent.receive(), WireWriter().u32(kMsgPing).take());
    late.send(WireWriter().u32(kMsgPong).take());
    EXPECT_TRUE(panel.waitFor([&] { return panel.pongsReceived() == 1; }, 2000ms));
}

TEST(FakePanelService, ScriptedMethodReadsTypedArgumentsAndWritesTypedResults)
{
    FakePanelService panel;
    panel.addMethod("swap", [](MethodArgs& args, MethodResult& result) {
        EXPECT_EQ(args.count(), 2u);
        const int32_t number = args.readInt();
        const std::string text = args.readString();
        result.addString(text).addInt(number);
    });
    RawClient client(panel.port());
    const std::vector<uint8_t> args =
        WireWriter().u32(2).string("int").i32(-5).string("FF::utils::String").string("ab").take();
    client.send(call(7, 3, "swap", args));
    auto reply = client.receive();
    ASSERT_TRUE(reply);
    EXPECT_EQ(*reply, WireWriter()
                          .u32(kMsgCall)
                          .u32(7)
                          .u32(3)
                          .u32(0)
                          .string("FF::utils::String")
                          .string("ab")
                          .string("int")
                          .i32(-5)
                          .take());

    ASSERT_EQ(panel.callCount(), 1u);
    const RecordedCall recorded = panel.calls()[0];
    EXPECT_EQ(recorded.method, "swap");
    EXPECT_EQ(recorded.handlerId, 7u);
    EXPECT_EQ(recorded.callNumber, 3u);
    EXPECT_EQ(recorded.args, args);

    // Wrong argument type: ArgsLess; unknown method: NoRegisteredFunction.
    client.send(call(7, 4, "swap", WireWriter().u32(2).string("bool").u8(1).take()));
    EXPECT_EQ(statusOf(client.receive()), kStatusArgsLess);
    client.send(call(7, 5, "missing", WireWriter().u32(0).take()));
    EXPECT_EQ(statusOf(client.receive()), kStatusNoRegisteredFunction);

    panel.setWrongResultTypeName("long long");
    client.send(call(7, 6, "swap", args));
    auto wrong = client.receive();
    ASSERT_TRUE(wrong);
    EXPECT_EQ(
        *wrong,
        WireWriter().u32(kMsgCall).u32(7).u32(6).u32(0).string("long long").string("ab").string("int").i32(-5).take());

    panel.setForcedStatus(9);
    client.send(call(7, 7, "swap", args));
    auto forced = client.receive();
    ASSERT_TRUE(forced);
    EXPECT_EQ(*forced, WireWriter().u32(kMsgCall).u32(7).u32(7).u32(9).take());
}

TEST(FakePanelService, FaultsDropTheConnection)
{
    FakePanelService panel;
    panel.addMethod("ok", [](MethodArgs&, MethodResult& result) { result.addBool(true); });
    panel.dropConnectionAfterCalls(1);
    RawClient client(panel.port());
    client.send(call(1, 1, "ok", WireWriter().u32(0).take()));
    EXPECT_EQ(statusOf(client.receive()), 0u);
    client.send(call(1, 2, "ok", WireWriter().u32(0).take()));
    EXPECT_TRUE(client.closedByPeer());
    EXPECT_EQ(panel.callCount(), 2u);

    RawClient badFrame(panel.port());
    badFrame.sendBytes(encodeFrameWithBadCheck(WireWriter().u32(kMsgPing).take()));
    EXPECT_TRUE(badFrame.closedByPeer());
    EXPECT_EQ(panel.protocolErrors(), 1);

    panel.setAcceptAndClose(true);
    RawClient refused(panel.port());
    EXPECT_TRUE(refused.closedByPeer());
    EXPECT_EQ(panel.acceptedConnections(), 3);
}

TEST(FakePanelService, RestartKeepsThePortAndStopJoinsEveryThread)
{
    // The first thread a program starts may start one of the runtime's own
    // for good (ThreadSanitizer's background thread): one has run before the
    // count.
    std::thread([] {}).join();
    const int threadsBefore = threadCount();
    {
        FakePanelService panel;
        const uint16_t port = panel.port();
        RawClient before(port);
        ASSERT_TRUE(panel.waitFor([&] { return panel.openConnections() == 1; }, 2000ms));
        panel.restart();
        EXPECT_EQ(panel.port(), port);
        EXPECT_TRUE(before.closedByPeer());
        RawClient after(port);
        EXPECT_TRUE(after.connected());
        after.send(WireWriter().u32(kMsgPing).take());
        EXPECT_TRUE(after.receive());
        EXPECT_GT(threadCount(), threadsBefore);
    }
    EXPECT_EQ(threadCount(), threadsBefore);
}
