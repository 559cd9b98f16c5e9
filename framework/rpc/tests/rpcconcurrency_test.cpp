// Several threads calling through one dispatch client at once: frames from
// different threads must not interleave and every reply must reach its caller.

#include "framework/rpc/tests/rpctesthelpers.h"

#include "testing/fakepanel/wirewriter.h"

#include <atomic>
#include <thread>

using namespace RpcTest;
using Fake::MethodArgs;
using Fake::MethodResult;

TEST(RpcConcurrency, ThreeThreadsOfLargeCallsEachGetTheirOwnResults)
{
    constexpr int kThreads = 3;
    constexpr int kCalls = 200;
    constexpr size_t kArgumentSize = 64 * 1024;

    Fake::FakePanelService panel;
    panel.addMethod("echo", [](MethodArgs& a, MethodResult& r) {
        const uint32_t tag = a.readUInt();
        std::vector<uint8_t> bytes = a.readBytes();
        r.addUInt(tag).addBytes(bytes);
    });
    auto client = connectTo(panel);

    std::atomic<int> mismatches{0};
    std::atomic<int> failures{0};
    std::vector<std::thread> callers;
    for (int t = 0; t < kThreads; ++t) {
        callers.emplace_back([&, t] {
            FF::RPC::SyncProxy proxy(client.get());
            for (int i = 0; i < kCalls; ++i) {
                const uint32_t tag = uint32_t(t) << 16 | uint32_t(i);
                std::vector<FF::byte> bytes(kArgumentSize);
                for (size_t k = 0; k < bytes.size(); ++k)
                    bytes[k] = FF::byte(tag * 31 + k * 7);
                FF::utils::IBuffer* args = proxy.argsBuffer("echo");
                FF::utils::Serialize(args, 2u);
                putTyped(args, tag);
                putTyped(args, bytes);
                proxy.setTimeOut(30000);
                try {
                    proxy.sync();
                } catch (const FF::Net::Exception&) {
                    ++failures;
                    continue;
                }
                FF::utils::IBuffer* results = proxy.resultBuffer();
                std::string name;
                unsigned int echoedTag = 0;
                std::vector<FF::byte> echoed;
                if (!FF::utils::Deserialize(results, name) || !FF::utils::Deserialize(results, echoedTag) ||
                    !FF::utils::Deserialize(results, name) || !FF::utils::Deserialize(results, echoed) ||
                    echoedTag != tag || echoed != bytes)
                    ++mismatches;
            }
        });
    }
    for (std::thread& caller : callers)
        caller.join();
    EXPECT_EQ(failures, 0);
    EXPECT_EQ(mismatches, 0);
    EXPECT_EQ(panel.callCount(), size_t(kThreads * kCalls));
    EXPECT_EQ(panel.acceptedConnections(), 1);
    EXPECT_EQ(panel.protocolErrors(), 0);
    client->stop();
}

TEST(RpcConcurrency, PendingCallsOfSeveralThreadsSurviveRepeatedBreaks)
{
    constexpr int kThreads = 3;
    constexpr int kCalls = 50;

    Fake::FakePanelService panel;
    std::atomic<int> served{0};
    panel.addMethod("tagged", [&](MethodArgs& a, MethodResult& r) {
        const uint32_t tag = a.readUInt();
        // Every 40th call breaks the connection instead of answering.
        if (++served % 40 == 0) {
            panel.dropConnections();
            r.setSilent();
            return;
        }
        r.addUInt(tag ^ 0xFFFFFFFFu);
    });
    auto client = connectTo(panel);

    std::atomic<int> wrong{0};
    std::vector<std::thread> callers;
    for (int t = 0; t < kThreads; ++t) {
        callers.emplace_back([&, t] {
            FF::RPC::SyncProxy proxy(client.get());
            for (int i = 0; i < kCalls; ++i) {
                const uint32_t tag = uint32_t(t) << 16 | uint32_t(i);
                FF::utils::IBuffer* args = proxy.argsBuffer("tagged");
                FF::utils::Serialize(args, 1u);
                putTyped(args, tag);
                proxy.setTimeOut(30000);
                try {
                    proxy.sync();
                    if (takeTyped<unsigned int>(proxy.resultBuffer()) != (tag ^ 0xFFFFFFFFu))
                        ++wrong;
                } catch (const FF::Net::Exception&) {
                    ++wrong;
                }
            }
        });
    }
    for (std::thread& caller : callers)
        caller.join();
    EXPECT_EQ(wrong, 0);
    EXPECT_GE(panel.acceptedConnections(), 1 + kThreads * kCalls / 40);
    EXPECT_TRUE(client->online());
    client->stop();
}

TEST(RpcConcurrency, ProxiesComeAndGoWhileStrayRepliesArrive)
{
    Fake::FakePanelService panel;
    panel.addMethod("fast", [](MethodArgs& a, MethodResult& r) { r.addInt(a.readInt() + 1); });
    auto client = connectTo(panel);

    // Replies for the handler ids that the proxies below are likely to get,
    // under call numbers that no call of theirs carries.
    std::atomic<bool> flooding{true};
    std::thread flood([&] {
        uint32_t n = 0;
        while (flooding) {
            for (uint32_t handler = 1; handler <= 400; ++handler)
                panel.sendFrame(Fake::WireWriter().u32(0xAAAAAAA0).u32(handler).u32(0xFFFF0000u + (n++ & 0xFF))
                                    .u32(0).string("int").i32(-1).take());
        }
    });
    int wrong = 0;
    for (int i = 0; i < 300; ++i) {
        FF::RPC::SyncProxy proxy(client.get());
        FF::utils::IBuffer* args = proxy.argsBuffer("fast");
        FF::utils::Serialize(args, 1u);
        putTyped(args, i);
        proxy.setTimeOut(10000);
        try {
            proxy.sync();
            wrong += takeTyped<int>(proxy.resultBuffer()) != i + 1;
        } catch (const FF::Net::Exception&) {
            ++wrong;
        }
    }
    flooding = false;
    flood.join();
    EXPECT_EQ(wrong, 0);
    EXPECT_EQ(panel.acceptedConnections(), 1);
    client->stop();
}
