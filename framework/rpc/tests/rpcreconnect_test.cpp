// The dispatch client's life against the fake panel service: init that never
// comes or comes late, broken connections, reconnection with the same or a
// new client key, services that refuse every reconnection, and stop().

#include "framework/rpc/tests/rpctesthelpers.h"

#include "framework/utils/leftrunning.h"
#include "testing/fakepanel/wirewriter.h"
#include "testing/main/logcapture.h"
#include "testing/main/residentmemory.h"

#include <atomic>
#include <condition_variable>
#include <cstdio>
#include <mutex>
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

// Where a factory's attempts wait until the test lets them through.
class AttemptGate {
public:
    void hold(const std::function<bool()>& cancelled)
    {
        std::unique_lock<std::mutex> lock(m_mutex);
        ++m_waiting;
        m_changed.notify_all();
        m_changed.wait(lock, [&] { return m_open || cancelled(); });
    }
    bool waitForAttempt(std::chrono::milliseconds limit) { return waitForAttempts(1, limit); }
    bool waitForAttempts(int count, std::chrono::milliseconds limit)
    {
        std::unique_lock<std::mutex> lock(m_mutex);
        return m_changed.wait_for(lock, limit, [&] { return m_waiting >= count; });
    }
    void open()
    {
        {
            std::lock_guard<std::mutex> guard(m_mutex);
            m_open = true;
        }
        m_changed.notify_all();
    }

private:
    std::mutex m_mutex;
    std::condition_variable m_changed;
    int m_waiting = 0;
    bool m_open = false;
};

// Makes TCP clients: the first at once, every later one once the gate opens.
class GatedFactory : public FF::Net::IClientFactory {
public:
    explicit GatedFactory(std::shared_ptr<AttemptGate> gate)
        : m_gate(std::move(gate))
    {
    }
    FF::Net::IClient* create(const FF::Net::Address& address) override
    {
        if (m_made++ > 0)
            m_gate->hold([] { return false; });
        return new FF::Net::TCPClient(address);
    }

private:
    std::shared_ptr<AttemptGate> m_gate;
    std::atomic<int> m_made{0};
};

} // namespace

TEST(RpcReconnect, AStopGivesUpOnAReconnectionAttemptThatDoesNotEnd)
{
    Fake::FakePanelService panel;
    auto gate = std::make_shared<AttemptGate>();
    const std::size_t keptBefore = FF::utils::LeftRunning::count();
    auto client = std::make_unique<FF::RPC::DispatchClient>(FF::Net::Address(panel.endpoint().c_str()),
                                                            new GatedFactory(gate));
    panel.dropConnections();
    ASSERT_TRUE(gate->waitForAttempt(10000ms));

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

// What one round of given-up clients left: the keeper's count and the
// resident memory before it, at its peak (all given up, every attempt still
// held) and once every attempt has ended.
struct GivenUpRound {
    std::size_t keptBefore = 0;
    std::size_t keptAtPeak = 0;
    std::size_t keptAfter = 0;
    long residentBefore = 0;
    long residentAtPeak = 0;
    long residentAfter = 0;
    bool attempting = false; // every client was in its held attempt
    bool logged = false;     // the stops said what they left running
    bool freed = false;      // the count came back

    void print(const char* name) const
    {
        std::printf("%s: kept before %zu, at peak %zu, after %zu; VmRSS before %ld KiB, at peak %ld KiB, after %ld "
                    "KiB\n",
                    name, keptBefore, keptAtPeak, keptAfter, residentBefore, residentAtPeak, residentAfter);
    }
};

// Gives up `count` clients at once, each on a reconnection attempt that
// does not end, then lets the attempts go and waits for the keeper's count.
GivenUpRound giveUpClients(int count)
{
    GivenUpRound round;
    round.keptBefore = FF::utils::LeftRunning::count();
    round.residentBefore = TestMemory::residentKiB();
    {
        Fake::FakePanelService panel;
        auto gate = std::make_shared<AttemptGate>();
        std::vector<std::unique_ptr<FF::RPC::DispatchClient>> clients;
        for (int i = 0; i < count; ++i)
            clients.push_back(std::make_unique<FF::RPC::DispatchClient>(FF::Net::Address(panel.endpoint().c_str()),
                                                                        new GatedFactory(gate)));
        panel.dropConnections();
        round.attempting = gate->waitForAttempts(count, 30000ms);

        // All stopped at once (each stop waits out its limit), then deleted.
        TestLog::LogCapture log;
        std::vector<std::thread> stoppers;
        for (auto& client : clients)
            stoppers.emplace_back([&client] {
                client->stop();
                client.reset();
            });
        for (auto& stopper : stoppers)
            stopper.join();
        round.keptAtPeak = FF::utils::LeftRunning::count();
        round.residentAtPeak = TestMemory::residentKiB();
        round.logged = log.contains("is still under way");

        gate->open();
        round.freed = panel.waitFor([&] { return FF::utils::LeftRunning::count() == round.keptBefore; }, 60000ms);
        round.keptAfter = FF::utils::LeftRunning::count();
    } // the panel goes too, with its connections' threads
    round.residentAfter = TestMemory::residentKiB();
    return round;
}

} // namespace

// Many clients given up at once on attempts that do not end: each stays
// while its attempt runs, and every one goes once its attempt has ended,
// with nothing else happening meanwhile; a second round leaves the resident
// memory where the first did.
TEST(RpcReconnect, TwoHundredClientsGivenUpOnTheirAttemptsAreAllFreedOnceTheAttemptsEnd)
{
    constexpr int kClients = 200;
    const GivenUpRound first = giveUpClients(kClients);
    first.print("200 given-up dispatch clients, first round");
    ASSERT_TRUE(first.attempting);
    EXPECT_EQ(first.keptAtPeak, first.keptBefore + kClients);
    EXPECT_TRUE(first.logged);
    ASSERT_TRUE(first.freed);

    const GivenUpRound second = giveUpClients(kClients);
    second.print("200 given-up dispatch clients, second round");
    ASSERT_TRUE(second.attempting);
    EXPECT_EQ(second.keptAtPeak, second.keptBefore + kClients);
    ASSERT_TRUE(second.freed);
    EXPECT_TRUE(
        TestMemory::staysFlat(first.residentAfter, second.residentBefore, second.residentAtPeak, second.residentAfter));
}
