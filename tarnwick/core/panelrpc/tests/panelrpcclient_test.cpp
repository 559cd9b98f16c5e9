#include "tarnwick/core/panelrpc/panelrpcclient.h"

#include "tarnwick/core/tests/paneltesthelpers.h"
#include "testing/fakepanel/fakepanelservice.h"
#include "testing/panelservices/panelmethodtable.h"

#include "framework/net/netbuffer.h"

#include <gtest/gtest.h>

#include <optional>

#include <QMutex>
#include <QStringList>

#include <chrono>
#include <functional>
#include <sstream>

using Fake::PanelAnswer;
using Fake::WireWriter;
using PanelTest::f64;
using PanelTest::typed;

namespace {

// Every output a stub can write, preset to values no panel answer carries.
struct Outputs {
    stRunTimeInfo runTime;
    stSysInfo sys;
    stSpaceInfo space;
    stAdapterCommonInfo adapter;
    st4GConnectInfo g4;
    stWifiConnectInfo wifi;
    stWifiHotspotInfo hotspot;
    int number = 777;
    std::vector<std::pair<std::string, int>> adapters{{"before", 99}};
    std::vector<std::string> names{"before"};

    Outputs()
    {
        runTime.text1 = sys.text1 = adapter.text1 = g4.text1 = wifi.text1 = hotspot.text1 = "before";
        space.value1 = adapter.value1 = g4.value1 = wifi.value1 = hotspot.value1 = 555;
    }

    // Everything in one text, to see that nothing changed.
    std::string snapshot() const
    {
        std::ostringstream out;
        out << runTime.text1 << runTime.text6 << sys.text1 << sys.text4 << space.value1 << space.value4
            << adapter.value1 << adapter.kind << adapter.text1 << adapter.text4 << g4.value1 << g4.number << g4.text1
            << g4.text5 << wifi.value1 << wifi.number << wifi.text3 << hotspot.value1 << hotspot.text3 << number
            << adapters.size() << adapters.front().first << names.size() << names.front();
        return out.str();
    }
};

struct StubCase {
    const char* method;
    std::vector<uint8_t> right;                            // a right answer's value bytes
    std::function<bool(PanelRpcClient&, Outputs&)> invoke; // calls the stub
    std::function<void(const Outputs&)> expectFilled;      // checks the right answer arrived
};

std::vector<uint8_t> texts(std::initializer_list<const char*> values)
{
    WireWriter out;
    for (const char* v : values)
        out.string(v);
    return out.take();
}

std::vector<StubCase> stubCases()
{
    const auto adapterRecord = [] {
        WireWriter out;
        out.i32(1).i32(2).i32(2).string("a1").string("a2").string("a3").string("a4");
        return out.take();
    };
    const auto g4Record = [] {
        WireWriter out;
        out.i32(3).i32(4);
        f64(out, 2.5).string("g1").string("g2").string("g3").string("g4").string("g5");
        return out.take();
    };
    const auto wifiRecord = [] {
        WireWriter out;
        out.i32(5).i32(6);
        f64(out, -1.25).string("w1").string("w2").string("w3");
        return out.take();
    };
    const auto hotspotRecord = [] {
        WireWriter out;
        out.i32(7).i32(8).i32(9).string("h1").string("h2").string("h3");
        return out.take();
    };
    const auto code = [](int v) { return WireWriter().i32(v).take(); };
    return {
        {"projectHasPassword", WireWriter().boolean(false).take(),
         [](PanelRpcClient& c, Outputs& o) { return !c.projectHasPassword() && (o.number = 1); },
         [](const Outputs& o) { EXPECT_EQ(o.number, 1); }},
        {"projectCheckPassword", WireWriter().boolean(true).take(),
         [](PanelRpcClient& c, Outputs& o) { return c.projectCheckPassword("pw") && (o.number = 2); },
         [](const Outputs& o) { EXPECT_EQ(o.number, 2); }},
        {"GetRunTimeInfo", texts({"r1", "r2", "r3", "r4", "r5", "r6"}),
         [](PanelRpcClient& c, Outputs& o) { return c.GetRunTimeInfo(o.runTime); },
         [](const Outputs& o) {
             EXPECT_EQ(o.runTime.text1, "r1");
             EXPECT_EQ(o.runTime.text6, "r6");
         }},
        {"GetSysInfo", texts({"s1", "s2", "s3", "s4"}),
         [](PanelRpcClient& c, Outputs& o) { return c.GetSysInfo(o.sys); },
         [](const Outputs& o) {
             EXPECT_EQ(o.sys.text1, "s1");
             EXPECT_EQ(o.sys.text4, "s4");
         }},
        {"GetSpaceInfo", WireWriter().i32(10).i32(20).i32(30).i32(-40).take(),
         [](PanelRpcClient& c, Outputs& o) { return c.GetSpaceInfo(o.space); },
         [](const Outputs& o) {
             EXPECT_EQ(o.space.value1, 10);
             EXPECT_EQ(o.space.value4, -40);
         }},
        {"GetNetworkAdapterCommonInfo", adapterRecord(),
         [](PanelRpcClient& c, Outputs& o) { return c.GetNetworkAdapterCommonInfo(3, o.adapter); },
         [](const Outputs& o) {
             EXPECT_EQ(o.adapter.kind, 2);
             EXPECT_EQ(o.adapter.text4, "a4");
         }},
        {"SetNetworkAdapterCommonInfo", code(11),
         [](PanelRpcClient& c, Outputs& o) {
             return c.SetNetworkAdapterCommonInfo(3, stAdapterCommonInfo(), o.number);
         },
         [](const Outputs& o) { EXPECT_EQ(o.number, 11); }},
        {"Get4GConnectInfo", g4Record(), [](PanelRpcClient& c, Outputs& o) { return c.Get4GConnectInfo(3, o.g4); },
         [](const Outputs& o) {
             EXPECT_EQ(o.g4.value2, 4);
             EXPECT_EQ(o.g4.number, 2.5);
             EXPECT_EQ(o.g4.text1, "g1");
             EXPECT_EQ(o.g4.text5, "g5");
         }},
        {"Set4GConnectInfo", code(12),
         [](PanelRpcClient& c, Outputs& o) { return c.Set4GConnectInfo(3, st4GConnectInfo(), o.number); },
         [](const Outputs& o) { EXPECT_EQ(o.number, 12); }},
        {"Get_Wifi_WorkMode", code(1), [](PanelRpcClient& c, Outputs& o) { return c.Get_Wifi_WorkMode(3, o.number); },
         [](const Outputs& o) { EXPECT_EQ(o.number, 1); }},
        {"Set_Wifi_WorkMode", code(13),
         [](PanelRpcClient& c, Outputs& o) { return c.Set_Wifi_WorkMode(3, 1, o.number); },
         [](const Outputs& o) { EXPECT_EQ(o.number, 13); }},
        {"GetWifiConnectInfo", wifiRecord(),
         [](PanelRpcClient& c, Outputs& o) { return c.GetWifiConnectInfo(3, o.wifi); },
         [](const Outputs& o) {
             EXPECT_EQ(o.wifi.number, -1.25);
             EXPECT_EQ(o.wifi.text3, "w3");
         }},
        {"SetWifiConnectInfo", code(14),
         [](PanelRpcClient& c, Outputs& o) { return c.SetWifiConnectInfo(3, stWifiConnectInfo(), o.number); },
         [](const Outputs& o) { EXPECT_EQ(o.number, 14); }},
        {"Get_WifiHotspotInfo", hotspotRecord(),
         [](PanelRpcClient& c, Outputs& o) { return c.Get_WifiHotspotInfo(3, o.hotspot); },
         [](const Outputs& o) {
             EXPECT_EQ(o.hotspot.value3, 9);
             EXPECT_EQ(o.hotspot.text3, "h3");
         }},
        {"Set_WifiHotspotInfo", code(15),
         [](PanelRpcClient& c, Outputs& o) { return c.Set_WifiHotspotInfo(3, stWifiHotspotInfo(), o.number); },
         [](const Outputs& o) { EXPECT_EQ(o.number, 15); }},
        {"GetNetworkAdapters", WireWriter().u32(2).string("eth0").i32(4).string("wlan0").i32(6).take(),
         [](PanelRpcClient& c, Outputs& o) { return c.GetNetworkAdapters(o.adapters); },
         [](const Outputs& o) {
             ASSERT_EQ(o.adapters.size(), 2u);
             EXPECT_EQ(o.adapters[1], std::make_pair(std::string("wlan0"), 6));
         }},
        {"GetWifiAdapters", WireWriter().u32(1).string("home").take(),
         [](PanelRpcClient& c, Outputs& o) { return c.GetWifiAdapters(o.names); },
         [](const Outputs& o) { EXPECT_EQ(o.names, std::vector<std::string>{"home"}); }},
        {"DownloadMrcFile", code(16),
         [](PanelRpcClient& c, Outputs& o) {
             return c.DownloadMrcFile(mrcInfo{"f.mrc", 3}, o.number);
         },
         [](const Outputs& o) { EXPECT_EQ(o.number, 16); }},
    };
}

// A device service with its method table and a client connected to it.
class ConnectedPanel : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(client.connect(FF::Net::Address(panel.endpoint().c_str()))); }

    Fake::FakePanelService panel{"127.0.0.1"};
    Fake::PanelMethodTable table{panel, Fake::PanelMethodTable::deviceMethods()};
    PanelRpcClient client;
};

class PanelStubs : public ConnectedPanel, public ::testing::WithParamInterface<int> {};

StubCase caseOf(int index)
{
    return stubCases().at(static_cast<size_t>(index));
}

// What a stub returns when the call failed: false, but true for
// projectHasPassword (a panel that cannot be asked counts as protected).
void expectFailed(const StubCase& stub, PanelRpcClient& client)
{
    Outputs outputs;
    const std::string before = outputs.snapshot();
    const bool result = stub.invoke(client, outputs);
    if (std::string(stub.method) == "projectHasPassword") {
        // invoke reports !answer: a true answer comes back as false.
        EXPECT_FALSE(result);
        EXPECT_EQ(outputs.number, 777);
    } else {
        EXPECT_FALSE(result);
        EXPECT_EQ(outputs.snapshot(), before) << "outputs changed on a failed call";
    }
}

} // namespace

TEST_P(PanelStubs, RightAnswerFillsTheOutputs)
{
    const StubCase stub = caseOf(GetParam());
    table.setResult(stub.method, stub.right);
    Outputs outputs;
    EXPECT_TRUE(stub.invoke(client, outputs)) << stub.method;
    stub.expectFilled(outputs);
    EXPECT_TRUE(table.rejections().empty()) << table.rejections().front();
    EXPECT_EQ(table.argsOf(stub.method).size(), 1u);
}

TEST_P(PanelStubs, WrongResultTypeNameFailsWithOutputsUntouched)
{
    const StubCase stub = caseOf(GetParam());
    table.setResult(stub.method, stub.right);
    table.setAnswer(stub.method, PanelAnswer::WrongType);
    expectFailed(stub, client);
}

TEST_P(PanelStubs, ResultOneFieldShortFailsWithOutputsUntouched)
{
    const StubCase stub = caseOf(GetParam());
    table.setResult(stub.method, stub.right);
    table.setAnswer(stub.method, PanelAnswer::Short);
    expectFailed(stub, client);
}

TEST_P(PanelStubs, UnregisteredMethodFailsWithOutputsUntouched)
{
    const StubCase stub = caseOf(GetParam());
    table.setAnswer(stub.method, PanelAnswer::Unregistered);
    expectFailed(stub, client);
    EXPECT_TRUE(client.isOnline());
}

TEST_P(PanelStubs, TimeOutFailsWithOutputsUntouched)
{
    const StubCase stub = caseOf(GetParam());
    table.setResult(stub.method, stub.right);
    table.setAnswer(stub.method, PanelAnswer::Silent);
    const auto start = std::chrono::steady_clock::now();
    expectFailed(stub, client);
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    const double limit = std::string(stub.method) == "DownloadMrcFile" ? 2.0 : 6.0;
    EXPECT_GT(seconds, limit - 0.5);
    EXPECT_LT(seconds, limit + 10.0);
}

INSTANTIATE_TEST_SUITE_P(EveryStub, PanelStubs, ::testing::Range(0, 18),
                         [](const ::testing::TestParamInfo<int>& info) { return caseOf(info.param).method; });

TEST(PanelRpcClient, EveryStubFailsWithoutTrafficWhenNotConnected)
{
    Fake::FakePanelService panel("127.0.0.1");
    Fake::PanelMethodTable table(panel, Fake::PanelMethodTable::deviceMethods());
    PanelRpcClient client;
    for (const StubCase& stub : stubCases()) {
        Outputs outputs;
        const std::string before = outputs.snapshot();
        // projectHasPassword answers false without a connection; invoke reports !answer.
        EXPECT_EQ(stub.invoke(client, outputs), std::string(stub.method) == "projectHasPassword") << stub.method;
        if (std::string(stub.method) != "projectHasPassword") {
            EXPECT_EQ(outputs.snapshot(), before) << stub.method;
        }
    }
    EXPECT_EQ(panel.acceptedConnections(), 0);
    EXPECT_FALSE(client.isOnline());
    EXPECT_EQ(client.address(), FF::Net::Address());
}

TEST_F(ConnectedPanel, ArgumentsGoOnTheWireByteForByte)
{
    int result = 0;

    st4GConnectInfo g4;
    g4.value1 = 1;
    g4.value2 = -2;
    g4.number = 3.75;
    g4.text1 = "apn";
    g4.text5 = "";
    ASSERT_TRUE(client.Set4GConnectInfo(9, g4, result));
    WireWriter g4Fields;
    g4Fields.i32(1).i32(-2);
    f64(g4Fields, 3.75).string("apn").string("").string("").string("").string("");
    const auto expected4G = PanelTest::concat({WireWriter().u32(2).take(), typed("int", WireWriter().i32(9).take()),
                                               typed("st4GConnectInfo", g4Fields.take())});
    EXPECT_EQ(panel.calls().back().args, expected4G);

    stWifiConnectInfo wifi;
    wifi.number = -0.5;
    wifi.text2 = "ssid";
    ASSERT_TRUE(client.SetWifiConnectInfo(2, wifi, result));
    WireWriter wifiFields;
    wifiFields.i32(-1).i32(-1);
    f64(wifiFields, -0.5).string("").string("ssid").string("");
    EXPECT_EQ(panel.calls().back().args,
              PanelTest::concat({WireWriter().u32(2).take(), typed("int", WireWriter().i32(2).take()),
                                 typed("stWifiConnectInfo", wifiFields.take())}));

    ASSERT_TRUE(client.Set_Wifi_WorkMode(4, 1, result));
    EXPECT_EQ(panel.calls().back().args,
              PanelTest::concat({WireWriter().u32(2).take(), typed("int", WireWriter().i32(4).take()),
                                 typed("int", WireWriter().i32(1).take())}));

    ASSERT_TRUE(client.DownloadMrcFile(mrcInfo{"p.mrc", 7}, result));
    EXPECT_EQ(
        panel.calls().back().args,
        PanelTest::concat({WireWriter().u32(1).take(), typed("mrcInfo", WireWriter().string("p.mrc").i32(7).take())}));

    // An integer the caller did not set goes out as -1, as in every record.
    mrcInfo unset;
    unset.text = "q.mrc";
    ASSERT_TRUE(client.DownloadMrcFile(unset, result));
    EXPECT_EQ(
        panel.calls().back().args,
        PanelTest::concat({WireWriter().u32(1).take(), typed("mrcInfo", WireWriter().string("q.mrc").i32(-1).take())}));

    stWifiHotspotInfo hotspot;
    hotspot.value3 = 5;
    ASSERT_TRUE(client.Set_WifiHotspotInfo(0, hotspot, result));
    EXPECT_EQ(panel.calls().back().args,
              PanelTest::concat({WireWriter().u32(2).take(), typed("int", WireWriter().i32(0).take()),
                                 typed("stWifiHotspotInfo",
                                       WireWriter().i32(-1).i32(-1).i32(5).string("").string("").string("").take())}));

    stRunTimeInfo runTime;
    ASSERT_TRUE(client.GetRunTimeInfo(runTime));
    EXPECT_EQ(panel.calls().back().args, WireWriter().u32(0).take()) << "a call without arguments sends count 0";
    EXPECT_EQ(panel.calls().back().method, "GetRunTimeInfo");
    EXPECT_TRUE(table.rejections().empty());
}

TEST_F(ConnectedPanel, PasswordGoesOutAsLowerCaseMd5Hex)
{
    table.setResponder("projectCheckPassword", [](const std::vector<Fake::PanelArg>& args) {
        return WireWriter().boolean(args.at(0).text() == "900150983cd24fb0d6963f7d28e17f72").take();
    });

    EXPECT_TRUE(client.projectCheckPassword("abc"));
    EXPECT_FALSE(client.projectCheckPassword("abd"));
    EXPECT_FALSE(client.projectCheckPassword(""));
    EXPECT_FALSE(client.projectCheckPassword(std::string(1000, 'x')));
    const auto calls = table.argsOf("projectCheckPassword");
    ASSERT_EQ(calls.size(), 4u);
    EXPECT_EQ(calls[2].at(0).text(), "d41d8cd98f00b204e9800998ecf8427e");
    for (const auto& call : calls) {
        const std::string sent = call.at(0).text();
        EXPECT_EQ(sent.size(), 32u);
        EXPECT_EQ(sent.find_first_not_of("0123456789abcdef"), std::string::npos) << sent;
        EXPECT_EQ(sent.find("abc"), std::string::npos);
    }
}

// The panel's "no" and a check that failed are two answers; the plain stub
// reads both as false.
TEST_F(ConnectedPanel, APasswordCheckTellsTheAnswerFalseFromAFailedCall)
{
    table.setResponder("projectCheckPassword", [](const std::vector<Fake::PanelArg>& args) {
        return WireWriter().boolean(args.at(0).text() == PanelRpcClient::passwordDigest("abc")).take();
    });
    EXPECT_EQ(client.projectPasswordAccepted("abc"), std::optional<bool>(true));
    EXPECT_EQ(client.projectPasswordAccepted("abd"), std::optional<bool>(false));
    for (PanelAnswer fault : {PanelAnswer::Unregistered, PanelAnswer::WrongType, PanelAnswer::Silent}) {
        table.setAnswer("projectCheckPassword", fault);
        EXPECT_EQ(client.projectPasswordAccepted("abc"), std::nullopt) << int(fault);
        EXPECT_TRUE(client.isOnline());
    }
    table.setAnswer("projectCheckPassword", PanelAnswer::Right);
    EXPECT_FALSE(client.projectCheckPassword("abd"));
    client.disconnect();
    EXPECT_EQ(client.projectPasswordAccepted("abc"), std::nullopt);
    EXPECT_FALSE(client.projectCheckPassword("abc"));
}

TEST_F(ConnectedPanel, ListWithHostileCountFailsWithoutAllocating)
{
    table.setResult("GetWifiAdapters", WireWriter().u32(0xFFFFFFFFu).string("one").take());
    std::vector<std::string> names{"kept"};
    EXPECT_FALSE(client.GetWifiAdapters(names));
    EXPECT_EQ(names, std::vector<std::string>{"kept"});

    table.setResult("GetNetworkAdapters", WireWriter().u32(0x7FFFFFFFu).take());
    std::vector<std::pair<std::string, int>> adapters{{"kept", 1}};
    EXPECT_FALSE(client.GetNetworkAdapters(adapters));
    EXPECT_EQ(adapters.size(), 1u);

    table.setResult("GetWifiAdapters", WireWriter().u32(0).take());
    EXPECT_TRUE(client.GetWifiAdapters(names));
    EXPECT_TRUE(names.empty()) << "count 0 is an empty list";
}

TEST_F(ConnectedPanel, ReadingARecordNamedForAnotherFails)
{
    // Six texts would parse as a stRunTimeInfo, but the name says stSysInfo.
    table.setResult("GetRunTimeInfo", texts({"1", "2", "3", "4", "5", "6"}));
    table.setAnswer("GetRunTimeInfo", PanelAnswer::WrongType, "stSysInfo");
    stRunTimeInfo info;
    info.text1 = "kept";
    EXPECT_FALSE(client.GetRunTimeInfo(info));
    EXPECT_EQ(info.text1, "kept");
}

TEST(PanelRpcClient, ConnectReusesAnOnlineConnectionToTheSameAddress)
{
    Fake::FakePanelService first("127.0.0.1");
    Fake::FakePanelService second("127.0.0.1");
    PanelRpcClient client;
    const FF::Net::Address a(first.endpoint().c_str());
    const FF::Net::Address b(second.endpoint().c_str());
    ASSERT_TRUE(client.connect(a));
    const int accepted = first.acceptedConnections();
    EXPECT_TRUE(client.connect(a));
    EXPECT_EQ(first.acceptedConnections(), accepted) << "no new probe, no new client";
    EXPECT_EQ(first.initRequests(), 1);
    EXPECT_TRUE(client.isConnectedTo(a));

    ASSERT_TRUE(client.connect(b));
    EXPECT_TRUE(first.waitFor([&] { return first.openConnections() == 0; }, std::chrono::seconds(3)))
        << "the old client is closed when another address is asked for";
    EXPECT_TRUE(client.isConnectedTo(b));
    EXPECT_FALSE(client.isConnectedTo(a));
    EXPECT_EQ(client.address(), b);
}

namespace {

QMutex g_messagesMutex;
QStringList g_messages;

void recordMessage(QtMsgType, const QMessageLogContext&, const QString& text)
{
    QMutexLocker lock(&g_messagesMutex);
    g_messages << text;
}

QStringList recordedMessages()
{
    QMutexLocker lock(&g_messagesMutex);
    return g_messages;
}

} // namespace

// The framework's connection events are debug lines like every other: they
// reach the program's message handler (and so its log), not the terminal.
TEST(PanelRpcClient, ConnectionEventsGoThroughTheMessageHandler)
{
    Fake::FakePanelService panel("127.0.0.1");
    const QString endpoint = QString::fromStdString(panel.endpoint());
    const QString connected = QStringLiteral("connection [%1] connect").arg(endpoint);
    const QString disconnected = QStringLiteral("connection [%1] disconnected").arg(endpoint);
    const QtMessageHandler previous = qInstallMessageHandler(recordMessage);
    {
        PanelRpcClient client;
        EXPECT_TRUE(client.connect(FF::Net::Address(panel.endpoint().c_str())));
    }
    const bool ended = PanelTest::waitUntil([&] { return recordedMessages().contains(disconnected); }, 10000);
    qInstallMessageHandler(previous);
    EXPECT_TRUE(ended) << recordedMessages().join('\n').toStdString();
    EXPECT_EQ(recordedMessages().count(connected), 1) << recordedMessages().join('\n').toStdString();
}

TEST(PanelRpcClient, ConnectToNothingListeningFailsQuicklyAndLeavesTheHolderEmpty)
{
    Fake::FakePanelService live("127.0.0.1");
    FF::Net::Address gone;
    {
        Fake::FakePanelService stopped("127.0.0.1");
        gone = FF::Net::Address(stopped.endpoint().c_str());
    }
    PanelRpcClient client;
    ASSERT_TRUE(client.connect(FF::Net::Address(live.endpoint().c_str())));
    const auto start = std::chrono::steady_clock::now();
    EXPECT_FALSE(client.connect(gone));
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    EXPECT_LT(seconds, 1.2 + 2.0); // about 1.2 s at most, with room for a loaded machine
    EXPECT_FALSE(client.isOnline());
    EXPECT_EQ(client.address(), FF::Net::Address());
    EXPECT_TRUE(live.waitFor([&] { return live.openConnections() == 0; }, std::chrono::seconds(3)))
        << "the previous connection is dropped first";
}

TEST(PanelRpcClient, ConnectFailsWhenTheServiceNeverAnswersItsInit)
{
    Fake::FakePanelService panel("127.0.0.1");
    panel.setInitSilent(true);
    PanelRpcClient client;
    EXPECT_FALSE(client.connect(FF::Net::Address(panel.endpoint().c_str())));
    EXPECT_EQ(client.address(), FF::Net::Address());
    EXPECT_FALSE(client.projectHasPassword()) << "still an empty holder";
}
