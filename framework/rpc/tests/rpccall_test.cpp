// Calls through SyncProxy and DispatchClient against the fake panel service:
// the bytes the service receives, every value type both ways, and every way
// a reply can end a call.

#include "framework/rpc/tests/rpctesthelpers.h"

#include "framework/rpc/idispatchhandler.h"
#include "framework/rpc/syncproxyprivate.h"
#include "testing/fakepanel/wirewriter.h"

#include <atomic>
#include <stdexcept>
#include <thread>

using namespace RpcTest;
using namespace std::chrono_literals;
using Fake::MethodArgs;
using Fake::MethodResult;

TEST(RpcCall, TheServiceReceivesTheExactCallBytes)
{
    Fake::FakePanelService panel;
    panel.addMethod("getInfo", [](MethodArgs&, MethodResult&) {});
    auto client = connectTo(panel);
    FF::RPC::SyncProxy proxy(client.get());

    FF::utils::IBuffer* args = proxy.argsBuffer("getInfo");
    FF::utils::Serialize(args, 2u);
    putTyped(args, 5);
    putTyped(args, std::string("ab"));
    proxy.sync();
    proxy.argsBuffer("getInfo"); // started and abandoned
    FF::utils::Serialize(proxy.argsBuffer("getInfo"), 0u);
    proxy.sync();

    const std::vector<Fake::RecordedCall> calls = panel.calls();
    ASSERT_EQ(calls.size(), 2u);
    const uint32_t handler = calls[0].handlerId;
    // Call header: type word, handler id, call number, method name; then the
    // argument count and each argument as its type name and its value.
    const std::vector<uint8_t> expected = Fake::WireWriter()
                                              .u32(0xAAAAAAA0)
                                              .u32(handler)
                                              .u32(1)
                                              .string("getInfo")
                                              .u32(2)
                                              .string("int")
                                              .i32(5)
                                              .string("FF::utils::String")
                                              .string("ab")
                                              .take();
    EXPECT_EQ(calls[0].body, expected);
    EXPECT_EQ(calls[0].callNumber, 1u);
    // argsBuffer counts every call it starts, sent or not.
    EXPECT_EQ(calls[1].callNumber, 3u);
    EXPECT_EQ(calls[1].handlerId, handler);
    EXPECT_EQ(calls[1].args, Fake::WireWriter().u32(0).take());

    FF::RPC::SyncProxy other(client.get());
    FF::utils::Serialize(other.argsBuffer("getInfo"), 0u);
    other.sync();
    EXPECT_NE(panel.calls().back().handlerId, handler);
    client->stop();
}

TEST(RpcCall, EveryValueTypeTravelsBothWays)
{
    Fake::FakePanelService panel;
    panel.addMethod("echoAll", [](MethodArgs& a, MethodResult& r) {
        ASSERT_EQ(a.count(), 13u);
        r.addUInt(a.readUInt());
        r.addInt(a.readInt());
        r.addBool(a.readBool());
        r.addLongLong(a.readLongLong());
        r.addULongLong(a.readULongLong());
        r.addString(a.readString());
        r.addHandle(a.readHandle());
        r.addBytes(a.readBytes());
        r.addStringVector(a.readStringVector("std::vector<FF::String>"), "std::vector<FF::String>");
        r.addStringVector(a.readStringVector("std::vector<std::string>"), "std::vector<std::string>");
        r.addStringIntPairs(a.readStringIntPairs());
        const auto pair = a.readStringPair();
        r.addStringPair(pair.first, pair.second);
        a.expectTypeName("TransparentParam");
        const int32_t mode = a.plainInt();
        const std::string port = a.plainString();
        r.addRecord("TransparentParam", Fake::WireWriter().i32(mode + 1).string(port + "!").take());
        EXPECT_TRUE(a.atEnd());
    });
    auto client = connectTo(panel);
    FF::RPC::SyncProxy proxy(client.get());

    const std::vector<FF::byte> blob{0, 1, 2, 0xFF, 0x80};
    const std::vector<FF::String> strings{"a", "", "中文"};
    const std::vector<std::string> stdStrings{"x", "yz"};
    const std::vector<std::pair<std::string, int>> pairs{{"one", 1}, {"minus", -7}};
    const std::pair<FF::String, FF::String> pair{"key", "value"};

    FF::utils::IBuffer* args = proxy.argsBuffer("echoAll");
    FF::utils::Serialize(args, 13u);
    putTyped(args, 0xFEDCBA98u);
    putTyped(args, -123456);
    putTyped(args, true);
    putTyped(args, -(1LL << 40));
    putTyped(args, 0xF000000000000001ULL);
    putTyped(args, FF::String("文本 text"));
    putTyped(args, FF::Handle(0x11223344));
    putTyped(args, blob);
    putTyped(args, strings);
    putTyped(args, stdStrings);
    putTyped(args, pairs);
    putTyped(args, pair);
    FF::utils::Serialize(args, std::string("TransparentParam"));
    FF::utils::Serialize(args, 2);
    FF::utils::Serialize(args, std::string("COM3"));
    proxy.sync();

    FF::utils::IBuffer* results = proxy.resultBuffer();
    EXPECT_EQ(takeTyped<unsigned int>(results), 0xFEDCBA98u);
    EXPECT_EQ(takeTyped<int>(results), -123456);
    EXPECT_EQ(takeTyped<bool>(results), true);
    EXPECT_EQ(takeTyped<long long>(results), -(1LL << 40));
    EXPECT_EQ(takeTyped<unsigned long long>(results), 0xF000000000000001ULL);
    EXPECT_EQ(takeTyped<FF::String>(results), "文本 text");
    EXPECT_EQ(takeTyped<FF::Handle>(results), FF::Handle(0x11223344));
    EXPECT_EQ(takeTyped<std::vector<FF::byte>>(results), blob);
    EXPECT_EQ(takeTyped<std::vector<FF::String>>(results), strings);
    EXPECT_EQ(takeTyped<std::vector<std::string>>(results), stdStrings);
    EXPECT_EQ((takeTyped<std::vector<std::pair<std::string, int>>>(results)), pairs);
    EXPECT_EQ((takeTyped<std::pair<FF::String, FF::String>>(results)), pair);
    std::string recordName, port;
    int mode = 0;
    EXPECT_TRUE(FF::utils::Deserialize(results, recordName));
    EXPECT_EQ(recordName, "TransparentParam");
    EXPECT_TRUE(FF::utils::Deserialize(results, mode));
    EXPECT_TRUE(FF::utils::Deserialize(results, port));
    EXPECT_EQ(mode, 3);
    EXPECT_EQ(port, "COM3!");
    EXPECT_EQ(results->remaining(), 0u);
    client->stop();
}

TEST(RpcCall, ReplyStatusesEndTheCallWithTheirNames)
{
    Fake::FakePanelService panel;
    panel.addMethod("ok", [](MethodArgs&, MethodResult&) {});
    auto client = connectTo(panel);
    FF::RPC::SyncProxy proxy(client.get());
    auto call = [&] {
        FF::utils::Serialize(proxy.argsBuffer("ok"), 0u);
        proxy.setTimeOut(5000);
        proxy.sync();
    };

    EXPECT_EQ(outcome(call), "Succeed");
    EXPECT_EQ(proxy.resultBuffer()->size(), 0u);

    const std::pair<uint32_t, const char*> statuses[] = {
        {1, "ArgsLess"},
        {2, "InvokingFailed"},
        {3, "NoRegisteredFunction"},
        {4, "RecvDataError"},
        {9, "Unknown"},
        {0xFFFFFFFF, "Unknown"},
        // 7 is the proxy's own waiting value; a reply carrying it still ends the call.
        {7, "Unknown"}};
    for (const auto& [status, name] : statuses) {
        panel.setForcedStatus(status);
        const auto start = std::chrono::steady_clock::now();
        EXPECT_EQ(outcome(call), name) << "status " << status;
        EXPECT_LT(secondsSince(start), 2.5) << "status " << status;
        EXPECT_EQ(proxy.resultBuffer()->size(), 0u) << "status " << status;
    }
    panel.setForcedStatus(std::nullopt);

    panel.removeMethod("ok");
    EXPECT_EQ(failureOf(call), "Proxy.sync/NoRegisteredFunction");
    EXPECT_TRUE(client->online());
    client->stop();
}

TEST(RpcCall, AResultUnderAnotherTypeNameFailsTheStubsReading)
{
    Fake::FakePanelService panel;
    panel.addMethod("count", [](MethodArgs&, MethodResult& r) { r.addInt(5); });
    panel.setWrongResultTypeName("unsigned int");
    auto client = connectTo(panel);
    FF::RPC::SyncProxy proxy(client.get());
    FF::utils::Serialize(proxy.argsBuffer("count"), 0u);
    proxy.sync();
    EXPECT_EQ(failureOf([&] { takeTyped<int>(proxy.resultBuffer()); }), "GeneratedUnpack/deserialize failed");
    client->stop();
}

TEST(RpcCall, AReplyWithoutStatusWordIsRecvDataError)
{
    Fake::FakePanelService panel;
    panel.addMethod("silent", [](MethodArgs&, MethodResult& r) { r.setSilent(); });
    auto client = connectTo(panel);
    FF::RPC::SyncProxy proxy(client.get());
    FF::utils::Serialize(proxy.argsBuffer("silent"), 0u);
    proxy.setTimeOut(10000);

    std::thread service([&] {
        ASSERT_TRUE(panel.waitFor([&] { return panel.callCount() == 1; }, 5000ms));
        const Fake::RecordedCall call = panel.calls()[0];
        panel.sendFrame(Fake::WireWriter().u32(0xAAAAAAA0).u32(call.handlerId).u32(call.callNumber).take());
    });
    EXPECT_EQ(outcome([&] { proxy.sync(); }), "RecvDataError");
    service.join();
    client->stop();
}

// Stands in front of a call proxy under its handler id; its reply handling
// throws, as a failed allocation would. Everything else goes to the proxy.
class ThrowingReplyHandler : public FF::RPC::IDispatchHandler {
public:
    explicit ThrowingReplyHandler(FF::RPC::__SyncProxy& proxy)
        : m_proxy(proxy)
    {
    }
    void onReply(FF::utils::IBuffer*, std::uint32_t) override
    {
        ++replies;
        throw std::runtime_error("reply handling failed");
    }
    void onReplyFailed(std::uint32_t callNumber) override { m_proxy.onReplyFailed(callNumber); }
    void onDisconnected() override { m_proxy.onDisconnected(); }
    void onTimerCheck() override { m_proxy.onTimerCheck(); }
    void onWake() override { m_proxy.onWake(); }
    std::uint32_t handlerId() const override { return m_proxy.handlerId(); }

    std::atomic<int> replies{0};

private:
    FF::RPC::__SyncProxy& m_proxy;
};

TEST(RpcCall, AReplyWhoseHandlingThrowsEndsTheCallAsRecvDataErrorAtOnce)
{
    Fake::FakePanelService panel;
    panel.addMethod("seven", [](MethodArgs&, MethodResult& r) { r.addInt(7); });
    auto client = connectTo(panel);
    auto proxy = std::make_shared<FF::RPC::__SyncProxy>(client.get());
    auto thrower = std::make_shared<ThrowingReplyHandler>(*proxy);
    client->registerHandler(thrower); // the reply to proxy's call comes to thrower
    FF::utils::Serialize(proxy->argsBuffer("seven"), 0u);
    proxy->setTimeOut(30000);
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(outcome([&] { proxy->sync(); }), "RecvDataError");
    EXPECT_LT(secondsSince(start), 10.0); // not the 30 s time-out
    EXPECT_EQ(thrower->replies.load(), 1);

    // The connection goes on serving: the next call on it succeeds.
    client->unregisterHandler(thrower.get());
    client->registerHandler(proxy);
    FF::utils::Serialize(proxy->argsBuffer("seven"), 0u);
    EXPECT_EQ(outcome([&] { proxy->sync(); }), "Succeed");
    EXPECT_EQ(takeTyped<int>(proxy->resultBuffer()), 7);
    EXPECT_TRUE(client->online());
    client->stop();
}

TEST(RpcCall, SilentMethodTimesOutAfterTheSetTime)
{
    Fake::FakePanelService panel;
    panel.addMethod("silent", [](MethodArgs&, MethodResult& r) { r.setSilent(); });
    auto client = connectTo(panel);
    FF::RPC::SyncProxy proxy(client.get());
    FF::utils::Serialize(proxy.argsBuffer("silent"), 0u);
    proxy.setTimeOut(1000);
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(outcome([&] { proxy.sync(); }), "ConnectionTimeOut");
    const double elapsed = secondsSince(start);
    EXPECT_GE(elapsed, 1.0);
    EXPECT_LE(elapsed, 2.5);
    EXPECT_TRUE(client->online());
    client->stop();
}

TEST(RpcCall, AReplyForAnUnknownHandlerOrAnEarlierCallIsDropped)
{
    Fake::FakePanelService panel;
    int serial = 0;
    panel.addMethod("next", [&](MethodArgs&, MethodResult& r) {
        r.addInt(++serial);
        r.setDelay(300ms);
    });
    auto client = connectTo(panel);
    FF::RPC::SyncProxy proxy(client.get());
    FF::utils::Serialize(proxy.argsBuffer("next"), 0u);
    proxy.sync();
    EXPECT_EQ(takeTyped<int>(proxy.resultBuffer()), 1);
    const Fake::RecordedCall first = panel.calls()[0];

    // While the second call waits for its late reply, replies arrive for a
    // handler nobody registered and for the first call.
    FF::utils::Serialize(proxy.argsBuffer("next"), 0u);
    std::thread service([&] {
        ASSERT_TRUE(panel.waitFor([&] { return panel.callCount() == 2; }, 5000ms));
        panel.sendFrame(Fake::WireWriter()
                            .u32(0xAAAAAAA0)
                            .u32(first.handlerId ^ 0x5A5A5A5A)
                            .u32(2)
                            .u32(0)
                            .string("int")
                            .i32(-1)
                            .take());
        panel.sendFrame(Fake::WireWriter()
                            .u32(0xAAAAAAA0)
                            .u32(first.handlerId)
                            .u32(first.callNumber)
                            .u32(0)
                            .string("int")
                            .i32(-2)
                            .take());
    });
    proxy.sync();
    service.join();
    EXPECT_EQ(takeTyped<int>(proxy.resultBuffer()), 2);

    FF::utils::Serialize(proxy.argsBuffer("next"), 0u);
    proxy.sync();
    EXPECT_EQ(takeTyped<int>(proxy.resultBuffer()), 3);
    EXPECT_EQ(panel.acceptedConnections(), 1);
    EXPECT_EQ(panel.protocolErrors(), 0);
    client->stop();
}

TEST(RpcCall, ClientAnswersTheServicePings)
{
    Fake::FakePanelService panel;
    auto client = connectTo(panel);
    panel.pingClients();
    EXPECT_TRUE(panel.waitFor([&] { return panel.pongsReceived() == 1; }, 3000ms));
    EXPECT_TRUE(client->online());
    client->stop();
}

TEST(RpcCall, ALateReplyToATimedOutCallDoesNotAnswerTheNextOne)
{
    Fake::FakePanelService panel;
    panel.addMethod("late", [](MethodArgs&, MethodResult& r) {
        r.addInt(-1);
        r.setDelay(700ms);
    });
    panel.addMethod("fast", [](MethodArgs&, MethodResult& r) { r.addInt(1); });
    auto client = connectTo(panel);
    FF::RPC::SyncProxy proxy(client.get());
    FF::utils::Serialize(proxy.argsBuffer("late"), 0u);
    proxy.setTimeOut(100);
    EXPECT_EQ(outcome([&] { proxy.sync(); }), "ConnectionTimeOut");
    // The next call is still waiting when the late reply arrives.
    FF::utils::Serialize(proxy.argsBuffer("fast"), 0u);
    panel.setReplyDelay(1000ms);
    proxy.sync();
    EXPECT_EQ(takeTyped<int>(proxy.resultBuffer()), 1);
    client->stop();
}

TEST(RpcCall, AReplyForADestroyedProxyIsDropped)
{
    Fake::FakePanelService panel;
    panel.addMethod("silent", [](MethodArgs&, MethodResult& r) { r.setSilent(); });
    panel.addMethod("fast", [](MethodArgs&, MethodResult& r) { r.addInt(1); });
    auto client = connectTo(panel);
    {
        FF::RPC::SyncProxy gone(client.get());
        FF::utils::Serialize(gone.argsBuffer("silent"), 0u);
        gone.setTimeOut(100);
        EXPECT_EQ(outcome([&] { gone.sync(); }), "ConnectionTimeOut");
    }
    const Fake::RecordedCall call = panel.calls()[0];
    panel.sendFrame(Fake::WireWriter()
                        .u32(0xAAAAAAA0)
                        .u32(call.handlerId)
                        .u32(call.callNumber)
                        .u32(0)
                        .string("int")
                        .i32(-1)
                        .take());
    FF::RPC::SyncProxy proxy(client.get());
    FF::utils::Serialize(proxy.argsBuffer("fast"), 0u);
    proxy.sync();
    EXPECT_EQ(takeTyped<int>(proxy.resultBuffer()), 1);
    EXPECT_EQ(panel.acceptedConnections(), 1);
    client->stop();
}

TEST(RpcCall, StopEndsAPendingCallAsInterrupted)
{
    Fake::FakePanelService panel;
    panel.addMethod("silent", [](MethodArgs&, MethodResult& r) { r.setSilent(); });
    auto client = connectTo(panel);
    FF::RPC::SyncProxy proxy(client.get());
    FF::utils::Serialize(proxy.argsBuffer("silent"), 0u);
    std::thread stopper([&] {
        ASSERT_TRUE(panel.waitFor([&] { return panel.callCount() == 1; }, 5000ms));
        client->stop();
    });
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(outcome([&] { proxy.sync(); }), "ConnectionInterrupted");
    stopper.join();
    EXPECT_LT(secondsSince(start), 3.0);
    EXPECT_FALSE(client->online());
}

TEST(RpcCall, TheClientPingsAQuietServiceAndStaysConnected)
{
    Fake::FakePanelService panel;
    auto client = connectTo(panel);
    // Pings start after 2 s of silence; each pong resets the silence.
    EXPECT_TRUE(panel.waitFor([&] { return panel.pingsReceived() >= 2; }, 8000ms));
    EXPECT_TRUE(client->online());
    EXPECT_EQ(panel.acceptedConnections(), 1);
    client->stop();
}

TEST(RpcCall, WaitWorkRunsOnceOnTheCallersThreadAfterItsRequestLeft)
{
    Fake::FakePanelService panel;
    panel.addMethod("echo", [](MethodArgs& a, MethodResult& r) { r.addInt(a.readInt()); });
    auto client = connectTo(panel);
    FF::RPC::SyncProxy proxy(client.get());
    auto echo = [&](int value) {
        FF::utils::IBuffer* args = proxy.argsBuffer("echo");
        FF::utils::Serialize(args, 1u);
        putTyped(args, value);
    };

    int runs = 0;
    bool requestHadLeft = false;
    std::thread::id ranOn;
    proxy.setWaitWork([&] {
        ++runs;
        ranOn = std::this_thread::get_id();
        requestHadLeft = panel.waitFor([&] { return panel.callCount() == 1; }, 10000ms);
    });
    echo(41);
    proxy.sync();
    EXPECT_EQ(takeTyped<int>(proxy.resultBuffer()), 41);
    EXPECT_EQ(runs, 1);
    EXPECT_EQ(ranOn, std::this_thread::get_id());
    EXPECT_TRUE(requestHadLeft);
    // Once only.
    echo(42);
    proxy.sync();
    EXPECT_EQ(runs, 1);

    // A call that fails still runs it; a work that throws surfaces once the
    // call succeeded, its results in place.
    proxy.setWaitWork([&] { ++runs; });
    FF::utils::Serialize(proxy.argsBuffer("missing"), 0u);
    EXPECT_EQ(outcome([&] { proxy.sync(); }), "NoRegisteredFunction");
    EXPECT_EQ(runs, 2);
    proxy.setWaitWork([&] {
        ++runs;
        throw FF::Net::Exception("work", "failed");
    });
    echo(43);
    EXPECT_EQ(outcome([&] { proxy.sync(); }), "failed");
    EXPECT_EQ(runs, 3);
    EXPECT_EQ(takeTyped<int>(proxy.resultBuffer()), 43);

    // Offline: nothing is sent, the work runs all the same.
    client->stop();
    proxy.setWaitWork([&] { ++runs; });
    echo(44);
    EXPECT_EQ(outcome([&] { proxy.sync(); }), "send failed");
    EXPECT_EQ(runs, 4);
}
