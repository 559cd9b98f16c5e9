// The typed call that every program's call stubs make, against the fake panel
// service: the bytes of the arguments, the result's type-name check, a call
// without a result, the time-out it sets or keeps, and tryCall's failures.

#include "framework/rpc/typedcall.h"

#include "framework/net/netbuffer.h"
#include "framework/rpc/tests/rpctesthelpers.h"

#include "testing/fakepanel/wirewriter.h"

using namespace RpcTest;
using Fake::MethodArgs;
using Fake::MethodResult;

TEST(RpcTypedCall, WritesTheCountAndEachArgumentBehindItsTypeName)
{
    Fake::FakePanelService panel;
    panel.addMethod("join", [](MethodArgs& a, MethodResult& r) {
        const int number = a.readInt();
        r.addString(a.readString() + std::to_string(number));
    });
    panel.addMethod("none", [](MethodArgs&, MethodResult& r) { r.addBool(true); });
    auto client = connectTo(panel);
    FF::RPC::SyncProxy proxy(client.get());

    EXPECT_EQ(FF::RPC::call<FF::utils::String>(proxy, FF::RPC::kProxyDefaultTimeOut, "join", 5, std::string("ab")),
              "ab5");
    EXPECT_TRUE(FF::RPC::call<bool>(proxy, 3000, "none"));
    EXPECT_TRUE(FF::RPC::call<bool>(client.get(), 3000, "none"));

    const std::vector<Fake::RecordedCall> calls = panel.calls();
    ASSERT_EQ(calls.size(), 3u);
    EXPECT_EQ(calls[0].body, Fake::WireWriter()
                                 .u32(0xAAAAAAA0)
                                 .u32(calls[0].handlerId)
                                 .u32(1)
                                 .string("join")
                                 .u32(2)
                                 .string("int")
                                 .i32(5)
                                 .string("FF::utils::String")
                                 .string("ab")
                                 .take());
    // A call without arguments still carries the count 0.
    EXPECT_EQ(calls[1].args, Fake::WireWriter().u32(0).take());
    EXPECT_EQ(calls[1].callNumber, 2u);
    EXPECT_EQ(calls[2].args, Fake::WireWriter().u32(0).take());
    // The client form makes a proxy of its own for the call.
    EXPECT_NE(calls[2].handlerId, calls[0].handlerId);
    client->stop();
}

TEST(RpcTypedCall, AResultIsReadOnlyUnderItsOwnTypeNameAndAVoidCallReadsNothing)
{
    Fake::FakePanelService panel;
    panel.addMethod("count", [](MethodArgs&, MethodResult& r) { r.addInt(5); });
    auto client = connectTo(panel);
    FF::RPC::SyncProxy proxy(client.get());

    EXPECT_EQ(failureOf([&] { FF::RPC::call<unsigned int>(proxy, 3000, "count"); }),
              "GeneratedUnpack/deserialize failed");
    FF::RPC::call<void>(proxy, 3000, "count");
    EXPECT_EQ(proxy.resultBuffer()->remaining(), proxy.resultBuffer()->size());
    EXPECT_GT(proxy.resultBuffer()->size(), 0u);
    panel.setWrongResultTypeName("int ");
    EXPECT_EQ(failureOf([&] { FF::RPC::call<int>(proxy, 3000, "count"); }), "GeneratedUnpack/deserialize failed");
    EXPECT_NO_THROW(FF::RPC::call<void>(proxy, 3000, "count"));
    panel.setWrongResultTypeName(std::nullopt);
    EXPECT_EQ(FF::RPC::call<int>(proxy, 3000, "count"), 5);

    EXPECT_EQ(failureOf([&] { FF::RPC::call<int>(proxy, 3000, "missing"); }), "Proxy.sync/NoRegisteredFunction");
    EXPECT_EQ(failureOf([&] { FF::RPC::call<int>(static_cast<FF::RPC::DispatchClient*>(nullptr), 3000, "count"); }),
              "Proxy.Proxy/no matched service");
    client->stop();
}

TEST(RpcTypedCall, ATimeOutIsSetForTheCallAndZeroKeepsTheProxysOwn)
{
    Fake::FakePanelService panel;
    panel.addMethod("silent", [](MethodArgs&, MethodResult& r) { r.setSilent(); });
    auto client = connectTo(panel);
    FF::RPC::SyncProxy proxy(client.get());

    auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(outcome([&] { FF::RPC::call<int>(proxy, 1000, "silent"); }), "ConnectionTimeOut");
    EXPECT_GE(secondsSince(start), 1.0);
    EXPECT_LT(secondsSince(start), 10.0);
    EXPECT_EQ(proxy.timeOut(), 100000u);

    // 0 must not become the proxy's least time-out of 100 ms: the 1200 ms
    // set before the call holds.
    proxy.setTimeOut(1200);
    start = std::chrono::steady_clock::now();
    EXPECT_EQ(outcome([&] { FF::RPC::call<int>(proxy, FF::RPC::kProxyDefaultTimeOut, "silent"); }),
              "ConnectionTimeOut");
    EXPECT_GE(secondsSince(start), 1.2);
    EXPECT_LT(secondsSince(start), 10.0);
    client->stop();
}

TEST(RpcTypedCall, TryCallReplacesTheOutputOnlyOnSuccess)
{
    Fake::FakePanelService panel;
    panel.addMethod("count", [](MethodArgs& a, MethodResult& r) { r.addInt(a.readInt() + 1); });
    auto client = connectTo(panel);

    int out = 77;
    EXPECT_FALSE(FF::RPC::tryCall(nullptr, 3000, "count", out, 1));
    EXPECT_EQ(out, 77);
    EXPECT_EQ(panel.callCount(), 0u);

    EXPECT_TRUE(FF::RPC::tryCall(client.get(), 3000, "count", out, 1));
    EXPECT_EQ(out, 2);

    out = 77;
    EXPECT_FALSE(FF::RPC::tryCall(client.get(), 3000, "missing", out, 1));
    EXPECT_EQ(out, 77);
    panel.setWrongResultTypeName("bool");
    EXPECT_FALSE(FF::RPC::tryCall(client.get(), 3000, "count", out, 1));
    EXPECT_EQ(out, 77);
    EXPECT_EQ(panel.callCount(), 3u);
    client->stop();
}

// The scheme underneath: pack and unpack bear a null buffer, and a result is
// read only under its own type name.
TEST(TypedValues, NullTolerantPackAndUnpack)
{
    FF::RPC::pack(static_cast<FF::utils::IBuffer*>(nullptr), 5u);
    unsigned int value = 3;
    EXPECT_FALSE(FF::RPC::unpack(static_cast<FF::utils::IBuffer*>(nullptr), value));
    FF::Net::NetBuffer buffer;
    FF::RPC::pack(&buffer, FF::utils::String("abc"));
    FF::utils::String text;
    EXPECT_TRUE(FF::RPC::unpack(&buffer, text));
    EXPECT_EQ(text, "abc");
}

TEST(TypedValues, CallSchemeChecksTheResultTypeName)
{
    FF::Net::NetBuffer buffer;
    FF::RPC::writeArg(&buffer, 42);
    FF::RPC::writeArg(&buffer, FF::utils::String("text"));
    int number = 0;
    FF::RPC::readResult(&buffer, number);
    EXPECT_EQ(number, 42);
    // A String where an unsigned int is expected.
    unsigned int wrong = 0;
    EXPECT_EQ(failureOf([&] { FF::RPC::readResult(&buffer, wrong); }), "GeneratedUnpack/deserialize failed");
    FF::Net::NetBuffer cut;
    FF::RPC::writeArg(&cut, 7u);
    cut.resize(cut.size() - 1);
    EXPECT_THROW(FF::RPC::readResult(&cut, wrong), FF::Net::Exception);
}
