#include "testing/panelservices/panelmethodtable.h"

#include "framework/net/tcpclient.h"
#include "framework/rpc/callscheme.h"
#include "framework/rpc/dispatchclient.h"
#include "framework/rpc/syncproxy.h"

#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

using Fake::PanelAnswer;
using Fake::WireWriter;

namespace {

// Calls method with the raw argument bytes given (count word included) and
// returns the what-text of the failure, or "Succeed".
std::string callRaw(FF::RPC::DispatchClient& client, const char* method, const std::vector<uint8_t>& args)
{
    try {
        FF::RPC::SyncProxy proxy(&client);
        proxy.setTimeOut(3000);
        FF::utils::IBuffer* buffer = proxy.argsBuffer(FF::utils::String(method));
        buffer->write(args.data(), args.size());
        proxy.sync();
    } catch (const FF::Net::Exception& e) {
        return e.info();
    }
    return "Succeed";
}

std::vector<uint8_t> typedInt(int value)
{
    return WireWriter().string("int").i32(value).take();
}

} // namespace

TEST(PanelMethodTable, RefusesWrongCountsTypeNamesAndShortOrTrailingValues)
{
    Fake::FakePanelService panel("127.0.0.1");
    Fake::PanelMethodTable table(panel, Fake::PanelMethodTable::deviceMethods());
    FF::RPC::DispatchClient client(FF::Net::Address(panel.endpoint().c_str()), FF::Net::TCPClient::NewFactory());

    auto with = [](uint32_t count, const std::vector<uint8_t>& rest) {
        std::vector<uint8_t> all = WireWriter().u32(count).take();
        all.insert(all.end(), rest.begin(), rest.end());
        return all;
    };
    EXPECT_EQ(callRaw(client, "Get_Wifi_WorkMode", with(1, typedInt(2))), "Succeed");
    EXPECT_EQ(callRaw(client, "Get_Wifi_WorkMode", with(0, {})), "ArgsLess");
    EXPECT_EQ(callRaw(client, "Get_Wifi_WorkMode", with(1, WireWriter().string("bool").u8(1).take())), "ArgsLess");
    EXPECT_EQ(callRaw(client, "Get_Wifi_WorkMode", with(1, WireWriter().string("int").u8(1).take())), "ArgsLess");
    auto trailing = typedInt(2);
    trailing.push_back(0);
    EXPECT_EQ(callRaw(client, "Get_Wifi_WorkMode", with(1, trailing)), "ArgsLess");
    // A 4G record whose double is written as 4 bytes does not read to its end.
    const auto g4 = WireWriter().string("st4GConnectInfo").i32(1).i32(2).u32(0).u32(0).u32(0).u32(0).u32(0).take();
    auto set4G = typedInt(1);
    set4G.insert(set4G.end(), g4.begin(), g4.end());
    EXPECT_EQ(callRaw(client, "Set4GConnectInfo", with(2, set4G)), "ArgsLess");
    EXPECT_EQ(callRaw(client, "NoSuchMethod", with(0, {})), "NoRegisteredFunction");

    EXPECT_EQ(table.rejections().size(), 5u);
    EXPECT_EQ(table.argsOf("Get_Wifi_WorkMode").size(), 1u);
    EXPECT_EQ(table.argsOf("Get_Wifi_WorkMode")[0].at(0).integer(), 2);
}

TEST(PanelMethodTable, ScriptedAnswers)
{
    Fake::FakePanelService panel("127.0.0.1");
    Fake::PanelMethodTable table(panel, Fake::PanelMethodTable::deviceMethods());
    FF::RPC::DispatchClient client(FF::Net::Address(panel.endpoint().c_str()), FF::Net::TCPClient::NewFactory());
    const auto noArgs = WireWriter().u32(0).take();
    table.setResult("GetSpaceInfo", WireWriter().i32(1).i32(2).i32(3).i32(4).take());

    auto result = [&](const char* method) {
        FF::RPC::SyncProxy proxy(&client);
        proxy.setTimeOut(1000);
        FF::utils::IBuffer* buffer = proxy.argsBuffer(FF::utils::String(method));
        buffer->write(noArgs.data(), noArgs.size());
        proxy.sync();
        FF::utils::IBuffer* out = proxy.resultBuffer();
        return std::vector<uint8_t>(out->data(), out->data() + out->size());
    };
    const auto spaceName = WireWriter().string("stSpaceInfo").take();
    auto right = result("GetSpaceInfo");
    EXPECT_EQ(right.size(), spaceName.size() + 16);

    table.setAnswer("GetSpaceInfo", PanelAnswer::Short);
    EXPECT_EQ(result("GetSpaceInfo").size(), spaceName.size() + 12) << "one integer short";

    table.setAnswer("GetSpaceInfo", PanelAnswer::WrongType);
    auto wrong = result("GetSpaceInfo");
    EXPECT_EQ(wrong.size(), spaceName.size() - 1 + 16);

    table.setAnswer("GetSpaceInfo", PanelAnswer::Unregistered);
    EXPECT_THROW(result("GetSpaceInfo"), FF::Net::Exception);
    table.setAnswer("GetSpaceInfo", PanelAnswer::Silent);
    EXPECT_THROW(result("GetSpaceInfo"), FF::Net::Exception);
    table.setAnswer("GetSpaceInfo", PanelAnswer::Right);
    EXPECT_EQ(result("GetSpaceInfo"), right);
}

TEST(PanelMethodTable, DropLastFieldCutsARecordAtItsLastField)
{
    const auto record = WireWriter().i32(1).string("ab").string("cde").take();
    EXPECT_EQ(Fake::dropLastField("iss", record), WireWriter().i32(1).string("ab").take());
    EXPECT_EQ(Fake::dropLastField("i", WireWriter().i32(1).take()).size(), 3u);
}

// The table goes while the service's thread is inside one of its calls (the
// responder holds it): the call ends on what it uses and is answered.
TEST(PanelMethodTable, ATableDestroyedDuringACallLeavesTheCallWhatItUses)
{
    Fake::FakePanelService panel("127.0.0.1");
    std::mutex mutex;
    std::condition_variable changed;
    bool entered = false;
    bool released = false;
    auto table = std::make_unique<Fake::PanelMethodTable>(panel, Fake::PanelMethodTable::deviceMethods());
    table->setResponder("Get_Wifi_WorkMode", [&](const std::vector<Fake::PanelArg>&) {
        std::unique_lock<std::mutex> lock(mutex);
        entered = true;
        changed.notify_all();
        changed.wait_for(lock, std::chrono::seconds(10), [&] { return released; });
        return WireWriter().i32(5).take();
    });
    FF::RPC::DispatchClient client(FF::Net::Address(panel.endpoint().c_str()), FF::Net::TCPClient::NewFactory());
    std::string outcome;
    std::thread caller(
        [&] { outcome = callRaw(client, "Get_Wifi_WorkMode", WireWriter().u32(1).raw(typedInt(2)).take()); });
    {
        std::unique_lock<std::mutex> lock(mutex);
        EXPECT_TRUE(changed.wait_for(lock, std::chrono::seconds(10), [&] { return entered; }));
    }
    table.reset();
    {
        std::lock_guard<std::mutex> lock(mutex);
        released = true;
    }
    changed.notify_all();
    caller.join();
    EXPECT_EQ(outcome, "Succeed");
}
