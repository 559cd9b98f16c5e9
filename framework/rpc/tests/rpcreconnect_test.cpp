// The dispatch client's life against the fake panel service: init that never
// comes or comes late, broken connections, reconnection with the same or a
// new client key, services that refuse every reconnection, stop() (also
// beside a handler that never returns) and the break.

#include "framework/rpc/tests/rpctesthelpers.h"

#include "framework/rpc/idispatchhandler.h"
#include "framework/utils/leftrunning.h"
#include "testing/fakepanel/wirewriter.h"
#include "testing/main/heapinuse.h"
#include "testing/main/logcapture.h"
#include "testing/main/waitgate.h"

#include <atomic>
#include <condition_variable>
#include <cstdio>
#include <mutex>
#include <ostream>
#include <thread>
#include <vector>

using namespace RpcTest;
using namespace std::chrono_literals;
using Fake::MethodArgs;
using Fake::MethodResult;

namespace {

// A method that stays silent on its first call and answers later ones.
void addSilentOnce(Fake::FakePanelService& panel, std::atomic<int>& invocations)
{
    panel.addMethod("work", [&invocations](MethodArgs& a, MethodResult& r) {
        const int32_t value = a.readInt();
        if (++invocations == 1)
            r.setSilent();
        else
            r.addInt(value * 2);
    });
}

void startWork(FF::RPC::SyncProxy& proxy, int value)
{
    FF::utils::IBuffer* args = proxy.argsBuffer("work");
    FF::utils::Serialize(args, 1u);
    putTyped(args, value);
}

} // namespace

TEST(RpcReconnect, RestartWithTheSameKeyResendsThePendingCall)
{
    Fake::FakePanelService panel;
    std::atomic<int> invocations{0};
    addSilentOnce(panel, invocations);
    auto client = connectTo(panel);
    FF::RPC::SyncProxy proxy(client.get());
    startWork(proxy, 21);
    proxy.setTimeOut(15000);

    std::thread restarter([&] {
        ASSERT_TRUE(panel.waitFor([&] { return panel.callCount() == 1; }, 5000ms));
        panel.restart(Fake::FakePanelService::Clients::Keep);
    });
    EXPECT_EQ(outcome([&] { proxy.sync(); }), "Succeed");
    restarter.join();
    EXPECT_EQ(takeTyped<int>(proxy.resultBuffer()), 42);

    const std::vector<Fake::RecordedCall> calls = panel.calls();
    ASSERT_EQ(calls.size(), 2u);
    EXPECT_EQ(calls[1].callNumber, calls[0].callNumber);
    EXPECT_EQ(calls[1].body, calls[0].body);
    EXPECT_NE(calls[1].connection, calls[0].connection);
    // The re-init named the first connection, so the service handed its key back.
    ASSERT_EQ(panel.reinitRequests().size(), 1u);
    EXPECT_EQ(panel.issuedKeys().size(), 1u);
    EXPECT_TRUE(client->online());
    client->stop();
}

TEST(RpcReconnect, RestartWithANewKeyInterruptsThePendingCall)
{
    Fake::FakePanelService panel;
    std::atomic<int> invocations{0};
    addSilentOnce(panel, invocations);
    auto client = connectTo(panel);
    FF::RPC::SyncProxy proxy(client.get());
    startWork(proxy, 1);
    proxy.setTimeOut(15000);

    std::thread restarter([&] {
        ASSERT_TRUE(panel.waitFor([&] { return panel.callCount() == 1; }, 5000ms));
        panel.restart(Fake::FakePanelService::Clients::Forget);
    });
    EXPECT_EQ(outcome([&] { proxy.sync(); }), "ConnectionInterrupted");
    restarter.join();
    EXPECT_FALSE(client->online());
    EXPECT_EQ(panel.reinitRequests().size(), 1u);
    EXPECT_EQ(panel.callCount(), 1u);

    startWork(proxy, 1);
    EXPECT_EQ(outcome([&] { proxy.sync(); }), "send failed");
    client->stop();
}

TEST(RpcReconnect, ADroppedConnectionIsReopenedAndTheCallCompletes)
{
    Fake::FakePanelService panel;
    panel.addMethod("twice", [](MethodArgs& a, MethodResult& r) { r.addInt(2 * a.readInt()); });
    panel.dropConnectionAfterCalls(1);
    auto client = connectTo(panel);
    FF::RPC::SyncProxy proxy(client.get());
    for (int value : {5, 6, 7}) {
        FF::utils::IBuffer* args = proxy.argsBuffer("twice");
        FF::utils::Serialize(args, 1u);
        putTyped(args, value);
        proxy.setTimeOut(15000);
        proxy.sync();
        EXPECT_EQ(takeTyped<int>(proxy.resultBuffer()), 2 * value);
    }
    EXPECT_EQ(panel.callCount(), 4u); // the second call went out twice
    EXPECT_EQ(panel.acceptedConnections(), 2);
    client->stop();
}

TEST(RpcReconnect, AFrameWithBadCheckBitsBreaksTheConnection)
{
    Fake::FakePanelService panel;
    panel.addMethod("ok", [](MethodArgs&, MethodResult& r) { r.addBool(true); });
    auto client = connectTo(panel);
    panel.sendBadCheckFrame();
    // The client drops the connection, reconnects and re-initializes with its key.
    ASSERT_TRUE(panel.waitFor([&] { return panel.reinitRequests().size() == 1; }, 8000ms));
    FF::RPC::SyncProxy proxy(client.get());
    FF::utils::Serialize(proxy.argsBuffer("ok"), 0u);
    proxy.setTimeOut(10000);
    proxy.sync();
    EXPECT_TRUE(takeTyped<bool>(proxy.resultBuffer()));
    EXPECT_EQ(panel.acceptedConnections(), 2);
    EXPECT_EQ(panel.issuedKeys().size(), 1u);
    client->stop();
}

TEST(RpcReconnect, RetryMaxZeroGoesOfflineAtOnce)
{
    Fake::FakePanelService panel;
    panel.addMethod("silent", [](MethodArgs&, MethodResult& r) { r.setSilent(); });
    auto client = connectTo(panel);
    client->setRetryMaxTimes(0);
    FF::RPC::SyncProxy proxy(client.get());
    FF::utils::Serialize(proxy.argsBuffer("silent"), 0u);
    proxy.setTimeOut(15000);

    std::thread dropper([&] {
        ASSERT_TRUE(panel.waitFor([&] { return panel.callCount() == 1; }, 5000ms));
        panel.dropConnections();
    });
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(outcome([&] { proxy.sync(); }), "ConnectionInterrupted");
    dropper.join();
    EXPECT_LT(secondsSince(start), 0.9); // no reconnect delay was waited
    EXPECT_FALSE(client->online());
    std::this_thread::sleep_for(1500ms);
    EXPECT_EQ(panel.acceptedConnections(), 1);
    client->stop();
}

TEST(RpcReconnect, AServiceThatClosesEveryReconnectionGetsThreeAttempts)
{
    Fake::FakePanelService panel;
    auto client = connectTo(panel);
    panel.setAcceptAndClose(true);
    panel.dropConnections();
    ASSERT_TRUE(panel.waitFor([&] { return !client->online(); }, 12000ms));
    EXPECT_EQ(panel.acceptedConnections(), 1 + 3);
    const auto start = std::chrono::steady_clock::now();
    client->stop();
    EXPECT_LT(secondsSince(start), 3.0);
    std::this_thread::sleep_for(1200ms);
    EXPECT_EQ(panel.acceptedConnections(), 1 + 3);
}

TEST(RpcReconnect, StopEndsAReconnectionInProgress)
{
    Fake::FakePanelService panel;
    auto client = connectTo(panel);
    panel.setAcceptAndClose(true);
    panel.dropConnections();
    ASSERT_TRUE(panel.waitFor([&] { return panel.acceptedConnections() >= 2; }, 5000ms));
    const auto start = std::chrono::steady_clock::now();
    client->stop();
    EXPECT_LT(secondsSince(start), 3.0);
    EXPECT_FALSE(client->online());
    const int accepted = panel.acceptedConnections();
    std::this_thread::sleep_for(1500ms);
    EXPECT_EQ(panel.acceptedConnections(), accepted);
}

TEST(RpcReconnect, TheReconnectDelayEndsByItselfOrAtAStop)
{
    Fake::FakePanelService panel;
    auto client = connectTo(panel);

    // By itself: the attempt comes about one second after the break.
    auto start = std::chrono::steady_clock::now();
    panel.dropConnections();
    ASSERT_TRUE(panel.waitFor([&] { return panel.acceptedConnections() == 2; }, 10000ms));
    EXPECT_GE(secondsSince(start), 0.9);
    ASSERT_TRUE(panel.waitFor([&] { return client->state() == 1; }, 10000ms));

    // At a stop: stop() ends the delay under way and no attempt follows.
    panel.dropConnections();
    ASSERT_TRUE(panel.waitFor([&] { return client->state() == 3; }, 10000ms));
    start = std::chrono::steady_clock::now();
    client->stop();
    EXPECT_LT(secondsSince(start), 0.9); // the delay's second was not waited out
    EXPECT_FALSE(client->online());
    const int accepted = panel.acceptedConnections();
    EXPECT_LE(accepted, 3);
    std::this_thread::sleep_for(1500ms);
    EXPECT_EQ(panel.acceptedConnections(), accepted);
}

TEST(RpcReconnect, AnInitThatNeverComesFailsConstructionAndLeavesNoThread)
{
    Fake::FakePanelService panel;
    panel.setInitSilent(true);
    const int threadsBefore = threadCount();
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(failureOf([&] { connectTo(panel); }), "DispatchClient.DispatchClient/request init failed");
    const double elapsed = secondsSince(start);
    EXPECT_GE(elapsed, 5.5);
    EXPECT_LE(elapsed, 9.5);
    EXPECT_EQ(panel.initRequests(), 1);
    // The service's connection thread ends once the client closed its side.
    EXPECT_TRUE(panel.waitFor([&] { return panel.openConnections() == 0; }, 3000ms));
    EXPECT_TRUE(panel.waitFor([&] { return threadCount() == threadsBefore; }, 3000ms))
        << threadCount() << " threads, " << threadsBefore << " before";
}

TEST(RpcReconnect, ALateInitStillCompletesConstruction)
{
    Fake::FakePanelService panel;
    panel.setInitDelay(1500ms);
    const auto start = std::chrono::steady_clock::now();
    auto client = connectTo(panel);
    EXPECT_GE(secondsSince(start), 1.4);
    EXPECT_TRUE(client->online());
    client->stop();
    EXPECT_FALSE(client->online());
}

TEST(RpcReconnect, AClientDestroyedWithoutStopStopsItself)
{
    Fake::FakePanelService panel;
    const int threadsBefore = threadCount();
    connectTo(panel).reset();
    EXPECT_TRUE(panel.waitFor([&] { return panel.openConnections() == 0; }, 5000ms));
    EXPECT_TRUE(panel.waitFor([&] { return threadCount() == threadsBefore; }, 3000ms));
}

TEST(RpcReconnect, AnUnknownMessageTypeEndsTheConnectionForGood)
{
    Fake::FakePanelService panel;
    auto client = connectTo(panel);
    panel.sendFrame({0x55, 0x55, 0x55, 0x55});
    ASSERT_TRUE(panel.waitFor([&] { return !client->online(); }, 5000ms));
    std::this_thread::sleep_for(1500ms);
    EXPECT_EQ(panel.acceptedConnections(), 1); // a rejected message is no break: no reconnection
    client->stop();
}

TEST(RpcReconnect, AFrameAnnouncingMoreThan64MiBBreaksTheConnection)
{
    Fake::FakePanelService panel;
    auto client = connectTo(panel);
    // A header with consistent check bits for a body of 64 MiB + 1 byte, then a few bytes.
    const uint64_t length = 64ull * 1024 * 1024 + 1;
    Fake::WireWriter header;
    header.u64(length | ((length % 127) << 57)).u32(0xAAAAAAA1);
    panel.sendBytes(header.take());
    ASSERT_TRUE(panel.waitFor([&] { return panel.reinitRequests().size() == 1; }, 8000ms));
    EXPECT_EQ(panel.acceptedConnections(), 2);
    EXPECT_TRUE(client->online());
    client->stop();
}

TEST(RpcReconnect, AnUnreadableInitReplyFailsConstructionAtOnce)
{
    Fake::FakePanelService panel;
    panel.setInitSilent(true);
    std::thread service([&] {
        ASSERT_TRUE(panel.waitFor([&] { return panel.initRequests() == 1; }, 5000ms));
        // The key's length word promises 100 bytes; 3 follow.
        panel.sendFrame(Fake::WireWriter().u32(0xAAAAAAA3).u32(100).raw("abc", 3).take());
    });
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(outcome([&] { connectTo(panel); }), "request init failed");
    service.join();
    EXPECT_LT(secondsSince(start), 4.0);
}

namespace {

// A call whose 8 MiB argument cannot fit in the sockets of a service that
// stopped reading: it must end at its time-out, whatever the service does.
// seconds (when given) receives how long sync() took.
std::string callWithLargeArgument(FF::RPC::SyncProxy& proxy, unsigned int timeOutMs, double* seconds = nullptr)
{
    FF::utils::IBuffer* args = proxy.argsBuffer("store");
    FF::utils::Serialize(args, 1u);
    putTyped(args, std::vector<FF::byte>(8u << 20, 0x6B));
    proxy.setTimeOut(timeOutMs);
    const auto start = std::chrono::steady_clock::now();
    const std::string result = outcome([&] { proxy.sync(); });
    if (seconds)
        *seconds = secondsSince(start);
    return result;
}

std::string smallCall(FF::RPC::DispatchClient& client, int value)
{
    FF::RPC::SyncProxy proxy(&client);
    FF::utils::IBuffer* args = proxy.argsBuffer("twice");
    FF::utils::Serialize(args, 1u);
    putTyped(args, value);
    proxy.setTimeOut(20000);
    const std::string result = outcome([&] { proxy.sync(); });
    if (result == "Succeed" && takeTyped<int>(proxy.resultBuffer()) != 2 * value)
        return "wrong result";
    return result;
}

} // namespace

TEST(RpcReconnect, ARequestTheServiceDoesNotReadTimesOutAndTheConnectionIsRemade)
{
    Fake::FakePanelService panel;
    panel.addMethod("store", [](MethodArgs& a, MethodResult& r) { r.addUInt(uint32_t(a.readBytes().size())); });
    panel.addMethod("twice", [](MethodArgs& a, MethodResult& r) { r.addInt(2 * a.readInt()); });
    auto client = connectTo(panel);
    panel.setReading(false);

    FF::RPC::SyncProxy proxy(client.get());
    double elapsed = 0;
    EXPECT_EQ(callWithLargeArgument(proxy, 3000, &elapsed), "ConnectionTimeOut");
    EXPECT_GE(elapsed, 2.9);
    EXPECT_LE(elapsed, 4.5);

    // Part of a frame went out, so the connection is broken and made anew.
    ASSERT_TRUE(panel.waitFor([&] { return panel.acceptedConnections() == 2; }, 15000ms));
    EXPECT_TRUE(client->online());
    panel.setReading(true);
    ASSERT_TRUE(panel.waitFor([&] { return client->state() == 1; }, 20000ms));
    EXPECT_EQ(panel.reinitRequests().size(), 1u);
    EXPECT_EQ(panel.issuedKeys().size(), 1u);
    EXPECT_EQ(smallCall(*client, 21), "Succeed");
    // The cut request never reached the service as a call.
    EXPECT_EQ(panel.callCount(), 1u);
    EXPECT_EQ(panel.calls()[0].method, "twice");
    EXPECT_EQ(panel.protocolErrors(), 0);
    client->stop();
}

TEST(RpcReconnect, ARequestCutShortWithoutRetriesLeavesTheClientOffline)
{
    Fake::FakePanelService panel;
    panel.addMethod("store", [](MethodArgs&, MethodResult& r) { r.addUInt(0); });
    auto client = connectTo(panel);
    client->setRetryMaxTimes(0);
    panel.setReading(false);

    FF::RPC::SyncProxy proxy(client.get());
    EXPECT_EQ(callWithLargeArgument(proxy, 1000), "ConnectionTimeOut");
    ASSERT_TRUE(panel.waitFor([&] { return !client->online(); }, 10000ms));
    FF::utils::Serialize(proxy.argsBuffer("store"), 0u);
    EXPECT_EQ(outcome([&] { proxy.sync(); }), "send failed");
    EXPECT_EQ(panel.acceptedConnections(), 1);
    client->stop();
}

TEST(RpcReconnect, ACallWaitingBehindAStuckRequestEndsAtItsOwnTimeOut)
{
    Fake::FakePanelService panel;
    panel.addMethod("store", [](MethodArgs&, MethodResult& r) { r.addUInt(0); });
    auto client = connectTo(panel);
    panel.setReading(false);

    std::string first;
    std::atomic<bool> calling{false};
    std::thread stuck([&] {
        FF::RPC::SyncProxy proxy(client.get());
        calling = true;
        first = callWithLargeArgument(proxy, 5000);
    });
    // The second request waits for the stream the first one holds; it leaves
    // nothing on the wire, so its time-out ends only the call itself.
    EXPECT_TRUE(panel.waitFor([&] { return calling.load(); }, 10000ms));
    std::this_thread::sleep_for(500ms);
    FF::RPC::SyncProxy proxy(client.get());
    FF::utils::Serialize(proxy.argsBuffer("store"), 0u);
    proxy.setTimeOut(1000);
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(outcome([&] { proxy.sync(); }), "ConnectionTimeOut");
    EXPECT_LE(secondsSince(start), 2.5);
    EXPECT_EQ(client->state(), 1);
    stuck.join();
    EXPECT_EQ(first, "ConnectionTimeOut");
    client->stop();
}

TEST(RpcReconnect, StopReturnsWhileTheServiceTricklesBytes)
{
    Fake::FakePanelService panel;
    auto client = connectTo(panel);
    // The service reads nothing more, so it never sees the client's end of
    // stream and never closes. It sends a frame header announcing 1000
    // bytes, then one byte every 100 ms: the connection is never silent.
    panel.setReading(false);
    const uint64_t length = 1000;
    panel.sendBytes(Fake::WireWriter().u64(length | ((length % 127) << 57)).take());
    std::atomic<bool> stopped{false};
    std::thread trickle([&] {
        for (int i = 0; i < 300 && !stopped; ++i) {
            panel.sendBytes({0x11});
            std::this_thread::sleep_for(100ms);
        }
    });
    std::this_thread::sleep_for(1500ms);
    EXPECT_EQ(panel.openConnections(), 1);
    const auto start = std::chrono::steady_clock::now();
    client->stop();
    const double elapsed = secondsSince(start);
    stopped = true;
    trickle.join();
    EXPECT_LE(elapsed, 2.5);
    EXPECT_FALSE(client->online());
    EXPECT_EQ(panel.acceptedConnections(), 1);
}

TEST(RpcReconnect, AStopFromAnotherThreadEndsAWaitingCallAtOnce)
{
    Fake::FakePanelService panel;
    panel.addMethod("silent", [](MethodArgs&, MethodResult& r) { r.setSilent(); });
    auto client = connectTo(panel);
    client->setRetryMaxTimes(0);
    std::string result;
    std::atomic<bool> ended{false};
    std::chrono::steady_clock::time_point endedAt;
    std::thread caller([&] {
        FF::RPC::SyncProxy proxy(client.get());
        FF::utils::Serialize(proxy.argsBuffer("silent"), 0u);
        proxy.setTimeOut(60000);
        result = outcome([&] { proxy.sync(); });
        endedAt = std::chrono::steady_clock::now();
        ended = true;
    });
    const bool arrived = panel.waitFor([&] { return panel.callCount() == 1; }, 10000ms);
    // The service reads no more (from its next look on) and keeps talking,
    // so the stop's close waits for it as long as it may (1.5 s); the call,
    // past its first looks and waiting on the connection, must not.
    panel.setReading(false);
    std::this_thread::sleep_for(300ms);
    std::atomic<bool> talking{true};
    std::thread talker([&] {
        while (talking) {
            panel.pingClients();
            std::this_thread::sleep_for(200ms);
        }
    });
    const auto start = std::chrono::steady_clock::now();
    client->stop();
    const double stopTook = secondsSince(start);
    talking = false;
    talker.join();
    caller.join();
    ASSERT_TRUE(arrived);
    ASSERT_TRUE(ended);
    EXPECT_EQ(result, "ConnectionInterrupted");
    EXPECT_LT(std::chrono::duration<double>(endedAt - start).count(), 0.8);
    EXPECT_GE(stopTook, 1.0);
    EXPECT_LT(stopTook, 5.0);
    EXPECT_FALSE(client->online());
}

namespace {

// Makes TCP clients: the first at once, every later one once the gate opens.
class GatedFactory : public FF::Net::IClientFactory {
public:
    explicit GatedFactory(std::shared_ptr<TestWait::Gate> gate)
        : m_gate(std::move(gate))
    {
    }
    FF::Net::IClient* create(const FF::Net::Address& address) override
    {
        if (m_made++ > 0)
            m_gate->pass();
        return new FF::Net::TCPClient(address);
    }

private:
    std::shared_ptr<TestWait::Gate> m_gate;
    std::atomic<int> m_made{0};
};

} // namespace

TEST(RpcReconnect, AStopGivesUpOnAReconnectionAttemptThatDoesNotEnd)
{
    Fake::FakePanelService panel;
    auto gate = std::make_shared<TestWait::Gate>();
    const std::size_t keptBefore = FF::utils::LeftRunning::count();
    auto client = std::make_unique<FF::RPC::DispatchClient>(FF::Net::Address(panel.endpoint().c_str()),
                                                            new GatedFactory(gate));
    panel.dropConnections();
    ASSERT_TRUE(gate->waitReached(1, 10000ms));

    TestLog::LogCapture log;
    const auto start = std::chrono::steady_clock::now();
    client->stop();
    const double took = secondsSince(start);
    EXPECT_LT(took, 6.0);
    EXPECT_FALSE(client->online());
    EXPECT_TRUE(
        log.contains(QString::fromStdString("a reconnection attempt to " + panel.endpoint() + " is still under way")))
        << log.all();

    // The client goes; what the attempt still runs in stays for it, and
    // the connection it then makes is dropped unused. Then it goes too,
    // with no other client made or given up meanwhile.
    client.reset();
    EXPECT_EQ(FF::utils::LeftRunning::count(), keptBefore + 1);
    gate->open();
    EXPECT_TRUE(panel.waitFor([&] { return panel.acceptedConnections() == 2; }, 10000ms));
    EXPECT_TRUE(panel.waitFor([&] { return FF::utils::LeftRunning::count() == keptBefore; }, 10000ms));
    EXPECT_TRUE(panel.waitFor([&] { return panel.openConnections() == 0; }, 10000ms));
    EXPECT_TRUE(panel.reinitRequests().empty());
}

namespace {

enum class Block { TimerCheck, Reply, Wake, Disconnected };

// How long a handler below stays blocked at the latest: a stop that waits
// for it still lets the test end, and says how long it took.
constexpr std::chrono::seconds kHoldLimit{15};

// A handler that does not return from one of its callbacks until its latch
// opens; it counts what reaches it after that.
class BlockingHandler : public FF::RPC::IDispatchHandler {
public:
    BlockingHandler(Block where, std::shared_ptr<TestWait::Gate> latch)
        : m_where(where)
        , m_latch(std::move(latch))
    {
    }
    void onReply(FF::utils::IBuffer*, std::uint32_t) override { called(Block::Reply); }
    void onReplyFailed(std::uint32_t) override { ++callsAfterRelease; }
    void onDisconnected() override { called(Block::Disconnected); }
    void onTimerCheck() override { called(Block::TimerCheck); }
    void onWake() override { called(Block::Wake); }
    // Far from the proxies' ids, which count up from 1.
    std::uint32_t handlerId() const override { return 0xB10C0001u; }

    std::atomic<int> callsAfterRelease{0};

private:
    void called(Block here)
    {
        if (m_latch->isOpen())
            ++callsAfterRelease;
        else if (here == m_where)
            m_latch->pass();
    }

    const Block m_where;
    const std::shared_ptr<TestWait::Gate> m_latch;
};

struct BlockedHandlerCase {
    const char* name;
    Block where;
    // How the handler comes to block: on a receive thread before the stop,
    // or told of the end by the stop itself.
    bool blockedByTheStop;
    bool stopFirst; // stop(), then the destructor; or the destructor alone
    // Method of the call made meanwhile from another thread: none where
    // only the destructor would end it, since a proxy may not outlive its
    // client.
    const char* call;
    unsigned callLimitMs;
    const char* callOutcome;
    // The handler holds the connection's read side (it runs on the receive
    // thread while a frame is dispatched), so the call waits out its limit
    // beside it: asleep, not looking again and again.
    bool callWaitsBesideTheHandler;
};

// The share of its wall time a call that waits beside a held read side may
// spend on a processor: its looks once a step cost well under 1 %; a caller
// that looked again at once took all it was given (on a loaded machine a
// fair share, far above this).
constexpr double kWaitingCpuShare = 0.1;

// What the stop does (1.5 s for the peer's end, which a thread in a handler
// cannot see, 2 s for the thread, 1 s for a reconnection attempt or the
// handlers being told), with room for a loaded machine.
constexpr double kStopLimitSeconds = 4.5 + 1.5;

void PrintTo(const BlockedHandlerCase& row, std::ostream* out)
{
    *out << row.name;
}

class RpcBlockedHandler : public ::testing::TestWithParam<BlockedHandlerCase> {};

} // namespace

// A handler that never returns holds up its own thread alone: the stop and
// the destructor keep their limits, a call made meanwhile ends within its
// own (asleep while it waits beside a handler that holds the connection's
// read side), and once the handler is let go after the client was deleted nothing
// reaches freed memory (the AddressSanitizer tree) nor the handler.
TEST_P(RpcBlockedHandler, StopAndCallsKeepTheirLimits)
{
    const BlockedHandlerCase& row = GetParam();
    Fake::FakePanelService panel;
    panel.addMethod("twice", [](MethodArgs& a, MethodResult& r) { r.addInt(2 * a.readInt()); });
    panel.addMethod("silent", [](MethodArgs&, MethodResult& r) { r.setSilent(); });
    const std::size_t keptBefore = FF::utils::LeftRunning::count();
    auto client = connectTo(panel);
    auto latch = std::make_shared<TestWait::Gate>(kHoldLimit);
    auto handler = std::make_shared<BlockingHandler>(row.where, latch);
    client->registerHandler(handler);

    if (!row.blockedByTheStop) {
        switch (row.where) {
        case Block::TimerCheck: break; // the next tick
        case Block::Reply:
            panel.sendFrame(Fake::WireWriter().u32(0xAAAAAAA0).u32(handler->handlerId()).u32(1).u32(0).take());
            break;
        case Block::Wake: panel.dropConnections(); break; // remade a second later
        case Block::Disconnected:
            client->setRetryMaxTimes(0);
            panel.dropConnections();
            break;
        }
        ASSERT_TRUE(latch->waitReached(1, 10000ms));
    }

    std::string callOutcome = row.callOutcome;
    double callTook = 0;
    double callCpu = 0;
    std::thread caller;
    if (row.call) {
        caller = std::thread([&] {
            // From the proxy's registration to the call's end.
            const auto start = std::chrono::steady_clock::now();
            const double cpuStart = threadCpuSeconds();
            FF::RPC::SyncProxy proxy(client.get());
            FF::utils::IBuffer* args = proxy.argsBuffer(row.call);
            FF::utils::Serialize(args, 1u);
            putTyped(args, 21);
            proxy.setTimeOut(row.callLimitMs);
            callOutcome = outcome([&] { proxy.sync(); });
            callTook = secondsSince(start);
            callCpu = threadCpuSeconds() - cpuStart;
        });
    }
    if (!row.call) {
        // Nothing to wait for.
    } else if (row.blockedByTheStop) {
        // The call waits for a reply that never comes when the stop starts.
        EXPECT_TRUE(panel.waitFor([&] { return panel.callCount() == 1; }, 10000ms));
    } else {
        caller.join();
    }

    TestLog::LogCapture log;
    auto start = std::chrono::steady_clock::now();
    if (row.stopFirst)
        client->stop();
    const double stopTook = secondsSince(start);
    if (caller.joinable())
        caller.join();
    start = std::chrono::steady_clock::now();
    client.reset();
    const double destructorTook = secondsSince(start);
    const bool held = !latch->isOpen();
    std::printf("[ %s ] call %.3f s (%s, %.1f ms on a processor), stop %.3f s, destructor %.3f s\n", row.name, callTook,
                callOutcome.c_str(), callCpu * 1000.0, stopTook, destructorTook);

    EXPECT_EQ(callOutcome, row.callOutcome);
    EXPECT_LT(callTook, row.callLimitMs / 1000.0 + 1.0);
    if (row.callWaitsBesideTheHandler) {
        EXPECT_GE(callTook, row.callLimitMs / 1000.0);
        EXPECT_LT(callCpu, kWaitingCpuShare * callTook) << "the caller kept looking at a read side held by the handler";
    }
    EXPECT_LT(stopTook + destructorTook, kStopLimitSeconds);
    if (row.stopFirst) {
        EXPECT_LT(destructorTook, 0.5);
    }
    EXPECT_TRUE(held) << "the stop waited until the handler's latch gave way";
    EXPECT_TRUE(log.contains("left running") || log.contains("still runs")) << log.all();

    // The client is gone; what its threads still run in stays until the
    // handler, let go now, has returned; then everything goes.
    latch->open();
    EXPECT_TRUE(panel.waitFor([&] { return FF::utils::LeftRunning::count() == keptBefore; }, 15000ms));
    EXPECT_EQ(handler->callsAfterRelease.load(), 0);
    EXPECT_EQ(handler.use_count(), 1);
    handler.reset();
}

INSTANTIATE_TEST_SUITE_P(
    EachCallback, RpcBlockedHandler,
    ::testing::Values(
        BlockedHandlerCase{"TimerCheckStop", Block::TimerCheck, false, true, "twice", 500, "Succeed", false},
        BlockedHandlerCase{"TimerCheckDestructor", Block::TimerCheck, false, false, "twice", 500, "Succeed", false},
        BlockedHandlerCase{"ReplyStop", Block::Reply, false, true, "twice", 3000, "ConnectionTimeOut", true},
        BlockedHandlerCase{"ReplyDestructor", Block::Reply, false, false, "twice", 3000, "ConnectionTimeOut", true},
        BlockedHandlerCase{"WakeStop", Block::Wake, false, true, "twice", 3000, "ConnectionTimeOut", true},
        BlockedHandlerCase{"DisconnectedOnTheReceiveThreadStop", Block::Disconnected, false, true, "twice", 500,
                           "send failed", false},
        BlockedHandlerCase{"DisconnectedByTheStop", Block::Disconnected, true, true, "silent", 5000,
                           "ConnectionInterrupted", false},
        BlockedHandlerCase{"DisconnectedByTheDestructor", Block::Disconnected, true, false, nullptr, 0, "none", false}),
    [](const ::testing::TestParamInfo<BlockedHandlerCase>& info) { return std::string(info.param.name); });

namespace {

// Callers on threads of their own, each with its own proxy, that wait for
// "silent" (60 s) after an optional "twice" of their own value.
class WaitingCallers {
public:
    WaitingCallers(FF::RPC::DispatchClient& client, int count, bool twiceFirst)
    {
        m_outcomes.resize(std::size_t(count));
        m_ended.resize(std::size_t(count));
        for (int i = 0; i < count; ++i) {
            m_threads.emplace_back([this, &client, i, twiceFirst] {
                FF::RPC::SyncProxy proxy(&client);
                if (twiceFirst) {
                    FF::utils::IBuffer* args = proxy.argsBuffer("twice");
                    FF::utils::Serialize(args, 1u);
                    putTyped(args, 100 + i);
                    proxy.setTimeOut(20000);
                    std::string first = outcome([&] { proxy.sync(); });
                    if (first == "Succeed" && takeTyped<int>(proxy.resultBuffer()) != 2 * (100 + i))
                        first = "another call's result";
                    if (first != "Succeed") {
                        finish(i, "first call: " + first);
                        return;
                    }
                }
                FF::utils::Serialize(proxy.argsBuffer("silent"), 0u);
                proxy.setTimeOut(60000);
                ++m_waiting;
                finish(i, outcome([&] { proxy.sync(); }));
            });
        }
    }
    ~WaitingCallers() { join(); }
    // Once every caller has started its wait.
    bool waitStarted(std::chrono::milliseconds limit)
    {
        const auto until = std::chrono::steady_clock::now() + limit;
        while (m_waiting < int(m_threads.size()) && std::chrono::steady_clock::now() < until)
            std::this_thread::sleep_for(10ms);
        return m_waiting == int(m_threads.size());
    }
    void join()
    {
        for (std::thread& t : m_threads)
            if (t.joinable())
                t.join();
    }
    const std::vector<std::string>& outcomes() const { return m_outcomes; }
    // The latest end of a call, in seconds after from.
    double lastEndAfter(std::chrono::steady_clock::time_point from) const
    {
        double last = 0;
        for (const auto& ended : m_ended)
            last = std::max(last, std::chrono::duration<double>(ended - from).count());
        return last;
    }

private:
    void finish(int i, const std::string& result)
    {
        m_outcomes[std::size_t(i)] = result;
        m_ended[std::size_t(i)] = std::chrono::steady_clock::now();
    }

    std::vector<std::thread> m_threads;
    std::vector<std::string> m_outcomes;
    std::vector<std::chrono::steady_clock::time_point> m_ended;
    std::atomic<int> m_waiting{0};
};

enum class BreakState { Online, ReconnectDelay, ReconnectAttempt, AwaitingReInit, Offline };

struct BreakCase {
    const char* name;
    BreakState state;
    const char* outcome; // of every waiting call
};

void PrintTo(const BreakCase& row, std::ostream* out)
{
    *out << row.name;
}

class RpcBreak : public ::testing::TestWithParam<BreakCase> {};

} // namespace

// The break ends every waiting call at once, in whatever state the client
// is, never waiting for the panel: the client goes offline for good and no
// connection follows. (A client is initializing only inside its
// constructor, where no caller holds it.)
TEST_P(RpcBreak, EveryWaitingCallEndsAtOnce)
{
    const BreakCase& row = GetParam();
    constexpr int kCallers = 6;
    Fake::FakePanelService panel;
    panel.addMethod("twice", [](MethodArgs& a, MethodResult& r) { r.addInt(2 * a.readInt()); });
    panel.addMethod("silent", [](MethodArgs&, MethodResult& r) { r.setSilent(); });
    auto gate = std::make_shared<TestWait::Gate>();
    auto client = std::make_unique<FF::RPC::DispatchClient>(FF::Net::Address(panel.endpoint().c_str()),
                                                            new GatedFactory(gate));
    client->setRetryMaxTimes(row.state == BreakState::Offline ? 0 : 30);
    switch (row.state) {
    case BreakState::Online: break;
    case BreakState::ReconnectDelay:
        // Refused attempts a second apart, the loop waiting between them.
        gate->open();
        panel.stop();
        break;
    case BreakState::ReconnectAttempt: panel.dropConnections(); break; // held in the factory
    case BreakState::AwaitingReInit:
        // The new connection is made, its re-init never read: the loop has
        // returned and the client waits for the answer.
        gate->open();
        panel.setReading(false);
        panel.dropConnections();
        ASSERT_TRUE(panel.waitFor([&] { return panel.acceptedConnections() == 2; }, 10000ms));
        break;
    case BreakState::Offline: panel.dropConnections(); break;
    }
    const int expectedState = row.state == BreakState::Online ? 1 : row.state == BreakState::Offline ? 2 : 3;
    ASSERT_TRUE(panel.waitFor([&] { return client->state() == expectedState; }, 10000ms));
    if (row.state == BreakState::ReconnectAttempt) {
        ASSERT_TRUE(gate->waitReached(1, 10000ms));
    }

    WaitingCallers callers(*client, kCallers, row.state == BreakState::Online);
    if (row.state == BreakState::Offline) {
        callers.join();
    } else {
        ASSERT_TRUE(callers.waitStarted(20000ms));
        if (row.state == BreakState::Online) {
            ASSERT_TRUE(panel.waitFor([&] { return panel.callCount() == 2 * kCallers; }, 20000ms));
        }
        std::this_thread::sleep_for(300ms); // every caller in its wait
    }

    const auto start = std::chrono::steady_clock::now();
    client->breakConnection();
    const double breakTook = secondsSince(start);
    callers.join();
    const double callsEnded = row.state == BreakState::Offline ? 0 : callers.lastEndAfter(start);
    std::printf("[ %s ] break %.3f s, every call ended %.3f s after it\n", row.name, breakTook, callsEnded);
    EXPECT_LT(breakTook, 0.5);
    EXPECT_LT(callsEnded, 1.0);
    for (const std::string& result : callers.outcomes())
        EXPECT_EQ(result, row.outcome);
    EXPECT_FALSE(client->online());
    EXPECT_EQ(client->state(), 2);

    // Offline for good: a later call fails unsent, a later break changes
    // nothing, and no connection follows.
    FF::RPC::SyncProxy later(client.get());
    FF::utils::Serialize(later.argsBuffer("silent"), 0u);
    EXPECT_EQ(outcome([&] { later.sync(); }), "send failed");
    client->breakConnection();
    const int accepted = panel.acceptedConnections();
    gate->open();
    if (row.state == BreakState::ReconnectAttempt) {
        // The attempt under way makes its connection and drops it unstarted.
        EXPECT_TRUE(panel.waitFor([&] { return panel.acceptedConnections() == accepted + 1; }, 10000ms));
        EXPECT_TRUE(panel.waitFor([&] { return panel.openConnections() == 0; }, 10000ms));
    }
    std::this_thread::sleep_for(1200ms); // a reconnect delay and more
    EXPECT_TRUE(panel.reinitRequests().size() <= (row.state == BreakState::AwaitingReInit ? 1u : 0u));
    EXPECT_EQ(panel.acceptedConnections(), accepted + (row.state == BreakState::ReconnectAttempt ? 1 : 0));

    // Nothing is left to wait for but the receive threads' end.
    const auto stopStart = std::chrono::steady_clock::now();
    client->stop();
    EXPECT_LT(secondsSince(stopStart), 2.5);
}

INSTANTIATE_TEST_SUITE_P(
    EachState, RpcBreak,
    ::testing::Values(BreakCase{"Online", BreakState::Online, "ConnectionInterrupted"},
                      BreakCase{"ReconnectDelay", BreakState::ReconnectDelay, "ConnectionInterrupted"},
                      BreakCase{"ReconnectAttempt", BreakState::ReconnectAttempt, "ConnectionInterrupted"},
                      BreakCase{"AwaitingReInit", BreakState::AwaitingReInit, "ConnectionInterrupted"},
                      BreakCase{"Offline", BreakState::Offline, "send failed"}),
    [](const ::testing::TestParamInfo<BreakCase>& info) { return std::string(info.param.name); });

namespace {

// A handler that stops its client when it is told of the end, and says how
// long that stop took.
class StoppingHandler : public FF::RPC::IDispatchHandler {
public:
    explicit StoppingHandler(FF::RPC::DispatchClient& client)
        : m_client(client)
    {
    }
    void onReply(FF::utils::IBuffer*, std::uint32_t) override {}
    void onReplyFailed(std::uint32_t) override {}
    void onDisconnected() override
    {
        const auto start = std::chrono::steady_clock::now();
        m_client.stop();
        stopTook = secondsSince(start);
        stopped = true;
    }
    void onTimerCheck() override {}
    void onWake() override {}
    std::uint32_t handlerId() const override { return 0xB10C0002u; }

    std::atomic<double> stopTook{0};
    std::atomic<bool> stopped{false};

private:
    FF::RPC::DispatchClient& m_client;
};

} // namespace

// A handler told of a break may stop the client from there, on the thread
// that tells it: the stop waits for nothing of its own, and the log does
// not call that thread a handler that has not returned.
TEST(RpcReconnect, AStopFromAHandlerToldOfABreakDoesNotWaitForItsOwnThread)
{
    Fake::FakePanelService panel;
    auto client = connectTo(panel);
    auto handler = std::make_shared<StoppingHandler>(*client);
    client->registerHandler(handler);
    TestLog::LogCapture log;
    client->breakConnection();
    ASSERT_TRUE(panel.waitFor([&] { return handler->stopped.load(); }, 10000ms));
    std::printf("stop from the handler told of the break: %.3f s\n", handler->stopTook.load());
    EXPECT_LT(handler->stopTook.load(), 0.5);
    EXPECT_FALSE(log.contains("has not returned")) << log.all();
    client.reset();
    EXPECT_EQ(handler.use_count(), 1);
}

namespace {

// Gives up `count` clients at once, each on a reconnection attempt that
// does not end, then lets the attempts go and waits for the keeper's count;
// each client plants a leak of `plantBytes`.
TestMemory::GivenUpRound giveUpClients(int count, std::size_t plantBytes = 0)
{
    TestMemory::GivenUpRound round;
    round.atStart(FF::utils::LeftRunning::count());
    {
        Fake::FakePanelService panel;
        auto gate = std::make_shared<TestWait::Gate>();
        std::vector<std::unique_ptr<FF::RPC::DispatchClient>> clients;
        for (int i = 0; i < count; ++i) {
            round.plant(plantBytes);
            clients.push_back(std::make_unique<FF::RPC::DispatchClient>(FF::Net::Address(panel.endpoint().c_str()),
                                                                        new GatedFactory(gate)));
        }
        panel.dropConnections();
        round.held = gate->waitReached(count, 30000ms);

        // All stopped at once, then deleted.
        TestLog::LogCapture log;
        TestMemory::endEachAtOnce(clients, [](FF::RPC::DispatchClient& client) { client.stop(); });
        round.atPeak(FF::utils::LeftRunning::count(), log.all(), "is still under way");

        gate->open();
        round.freed = panel.waitFor([&] { return FF::utils::LeftRunning::count() == round.keptBefore; }, 60000ms);
    } // the panel goes too, with its connections' threads
    round.atEnd(FF::utils::LeftRunning::count());
    return round;
}

} // namespace

// Many clients given up at once on attempts that do not end: each stays
// while its attempt runs, and every one goes once its attempt has ended,
// with nothing else happening meanwhile; a second round leaves the heap
// where the first did, and a third that keeps a few KiB a client is seen as
// a leak.
TEST(RpcReconnect, TwoHundredClientsGivenUpOnTheirAttemptsAreAllFreedOnceTheAttemptsEnd)
{
    constexpr int kClients = 200;
    const TestMemory::GivenUpRound first = giveUpClients(kClients);
    first.print("200 given-up dispatch clients, first round");
    const TestMemory::GivenUpRound second = giveUpClients(kClients);
    second.print("200 given-up dispatch clients, second round");
    const TestMemory::GivenUpRound planted = giveUpClients(kClients, TestMemory::kPlantedBytesPerObject);
    planted.print("200 given-up dispatch clients, a planted leak");
    TestMemory::expectFreedAndFlat(first, second, planted, kClients);
}
