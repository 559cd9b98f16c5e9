#include "tarnwick/core/messages/deviceonlinemsg.h"

#include "tarnwick/core/messages/checkconnmsg.h"
#include "tarnwick/core/messages/deviceinforeadmsg.h"
#include "tarnwick/core/messages/disconnmsg.h"
#include "tarnwick/core/messages/msgdispatcher.h"
#include "tarnwick/core/messages/netconfpagereadmsg.h"
#include "tarnwick/core/messages/netconfpagewritemsg.h"
#include "tarnwick/core/panelrpc/panelrpcclient.h"
#include "tarnwick/core/tests/paneltesthelpers.h"
#include "testing/fakepanel/fakepanelservice.h"
#include "testing/panelservices/panelmethodtable.h"

#include <QMetaMethod>

#include <gtest/gtest.h>

#include <atomic>
#include <optional>

using Fake::PanelAnswer;
using Fake::WireWriter;

namespace {

// Counts queued deliveries of any signal connected to hit().
class Hits : public QObject {
    Q_OBJECT
public:
    std::atomic<int> count{0};
public slots:
    void hit() { ++count; }
};

// Connects every signal of msg named Complete or GetPasswd, queued, by its
// meta-method: Qt refuses when an argument type is not registered under the
// signal's own spelling. Returns how many were connected.
int connectEverySignal(QObject* msg, Hits* hits)
{
    const QMetaObject* meta = msg->metaObject();
    const QMetaMethod slot = hits->metaObject()->method(hits->metaObject()->indexOfSlot("hit()"));
    int connected = 0;
    for (int i = meta->methodOffset(); i < meta->methodCount(); ++i) {
        const QMetaMethod signal = meta->method(i);
        if (signal.methodType() != QMetaMethod::Signal)
            continue;
        const bool ok = static_cast<bool>(QObject::connect(msg, signal, hits, slot, Qt::QueuedConnection));
        EXPECT_TRUE(ok) << meta->className() << "::" << signal.methodSignature().constData();
        connected += ok;
    }
    return connected;
}

std::vector<uint8_t> adapterRecord(int kind, const char* name)
{
    return WireWriter().i32(1).i32(2).i32(kind).string(name).string("").string("").string("").take();
}

// A device service with its table, a client on it and a dispatcher of its own.
class DeviceMessages : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(client.connect(address())); }
    void TearDown() override { dispatcher.stop(); }
    FF::Net::Address address() const { return FF::Net::Address(panel.endpoint().c_str()); }

    // Posts msg and processes events until done holds.
    template <class Msg>
    void runToEnd(std::unique_ptr<Msg> msg, const std::function<bool()>& done)
    {
        dispatcher.post(std::move(msg));
        ASSERT_TRUE(PanelTest::waitUntil(done, 20000));
        PanelTest::settle(50); // nothing more arrives
    }

    // Runs a message that ends with one Complete(bool, QString); returns what it reported.
    template <class Msg>
    std::pair<bool, QString> runToOutcome(std::unique_ptr<Msg> msg)
    {
        bool done = false;
        std::pair<bool, QString> outcome;
        QObject::connect(msg.get(), &Msg::Complete, &receiver, [&](bool ok, QString text) {
            outcome = {ok, text};
            done = true;
        });
        runToEnd(std::move(msg), [&] { return done; });
        return outcome;
    }

    Fake::FakePanelService panel{"127.0.0.1"};
    Fake::PanelMethodTable table{panel, Fake::PanelMethodTable::deviceMethods()};
    PanelRpcClient client;
    MsgDispatcher dispatcher;
    QObject receiver; // lives on the main thread: every delivery is queued
};

} // namespace

TEST_F(DeviceMessages, EveryCompleteSignatureReachesAMainThreadReceiverQueued)
{
    Hits hits;
    std::vector<std::unique_ptr<MsgBase>> msgs;
    msgs.push_back(std::make_unique<ConnMsg>(&client, address()));
    msgs.push_back(std::make_unique<CheckConnMsg>(&client, address()));
    msgs.push_back(std::make_unique<QueryLoginMsg>(&client));
    msgs.push_back(std::make_unique<RunTimeInfoMsg>(&client));
    msgs.push_back(std::make_unique<SysInfoMsg>(&client));
    msgs.push_back(std::make_unique<SpaceInfoMsg>(&client));
    msgs.push_back(std::make_unique<NetListMsg>(&client));
    msgs.push_back(std::make_unique<WifiListMsg>(&client, 1));
    msgs.push_back(std::make_unique<AdapterReadMsg>(&client, 1));
    msgs.push_back(std::make_unique<AdapterWriteMsg>(&client, 1, stAdapterCommonInfo()));
    msgs.push_back(std::make_unique<_4GInfoReadMsg>(&client, 1));
    msgs.push_back(std::make_unique<_4GInfoWriteMsg>(&client, 1, st4GConnectInfo()));
    msgs.push_back(std::make_unique<WifiModeReadMsg>(&client, 1));
    msgs.push_back(std::make_unique<WifiModeWriteMsg>(&client, 1, 0));
    msgs.push_back(std::make_unique<WifiInfoReadMsg>(&client, 1));
    msgs.push_back(std::make_unique<WifiInfoWriteMsg>(&client, 1, stWifiConnectInfo()));
    msgs.push_back(std::make_unique<HotspotInfoReadMsg>(&client, 1));
    msgs.push_back(std::make_unique<HotspotInfoWriteMsg>(&client, 1, stWifiHotspotInfo()));
    msgs.push_back(std::make_unique<DeviceInfoReadMsg>(&client));
    msgs.push_back(std::make_unique<DisconnMsg>(&client));
    int expected = 0;
    for (auto& msg : msgs) {
        EXPECT_GE(connectEverySignal(msg.get(), &hits), 1);
        ++expected; // each reports exactly once
        dispatcher.post(std::move(msg));
    }
    ASSERT_TRUE(PanelTest::waitUntil([&] { return hits.count == expected; }, 30000)) << hits.count;

    // The composites' and the password request's signatures.
    PasswdMsg passwd(&client);
    DeviceOnlineMsg online(&client, address());
    NetConfPageReadMsg read(&client, QString(), QString(), 0);
    NetConfPageWriteMsg write(&client, stAdapterCommonInfo(), st4GConnectInfo(), stWifiConnectInfo(),
                              stWifiHotspotInfo(), 0, 0);
    EXPECT_EQ(connectEverySignal(&passwd, &hits), 2);
    EXPECT_EQ(connectEverySignal(&online, &hits), 2);
    EXPECT_EQ(connectEverySignal(&read, &hits), 7);
    EXPECT_EQ(connectEverySignal(&write, &hits), 1);
}

TEST_F(DeviceMessages, WriteMessagesReportSavedRefusedOrCommunicationFailed)
{
    // The panel's answer, or -1 for a method the panel lacks.
    for (int answer : {0, 1, -1}) {
        if (answer < 0)
            table.setAnswer("Set_Wifi_WorkMode", PanelAnswer::Unregistered);
        else
            table.setResult("Set_Wifi_WorkMode", WireWriter().i32(answer).take());
        const auto [ok, text] = runToOutcome(std::make_unique<WifiModeWriteMsg>(&client, 5, 1));
        EXPECT_EQ(ok, answer == 0);
        EXPECT_EQ(text, answer == 0   ? QStringLiteral("保存成功")
                        : answer == 1 ? QStringLiteral("保存失败")
                                      : QStringLiteral("网络通讯失败"));
    }
    const auto calls = table.argsOf("Set_Wifi_WorkMode");
    ASSERT_EQ(calls.size(), 2u);
    EXPECT_EQ(calls[0].at(0).integer(), 5);
    EXPECT_EQ(calls[0].at(1).integer(), 1);
}

TEST_F(DeviceMessages, AFailedReadReportsTheStartingValues)
{
    table.setAnswer("GetSpaceInfo", PanelAnswer::Unregistered);
    table.setAnswer("Get_Wifi_WorkMode", PanelAnswer::Unregistered);
    bool spaceDone = false;
    bool modeDone = false;
    stSpaceInfo space;
    space.value1 = 5;
    int mode = 9;
    auto spaceMsg = std::make_unique<SpaceInfoMsg>(&client);
    QObject::connect(spaceMsg.get(), &SpaceInfoMsg::Complete, &receiver, [&](bool ok, stSpaceInfo info) {
        EXPECT_FALSE(ok);
        space = info;
        spaceDone = true;
    });
    auto modeMsg = std::make_unique<WifiModeReadMsg>(&client, 1);
    QObject::connect(modeMsg.get(), &WifiModeReadMsg::Complete, &receiver, [&](bool ok, int m) {
        EXPECT_FALSE(ok);
        mode = m;
        modeDone = true;
    });
    dispatcher.post(std::move(spaceMsg));
    runToEnd(std::move(modeMsg), [&] { return spaceDone && modeDone; });
    EXPECT_EQ(space.value1, -1);
    EXPECT_EQ(space.value4, -1);
    EXPECT_EQ(mode, 0);
}

namespace {

// The outcome of a DeviceOnlineMsg as the GUI sees it.
struct OnlineOutcome {
    bool done = false;
    bool ok = false;
    QString ip;
    QString text;
    int passwordRequests = 0;
};

// Posts a DeviceOnlineMsg to the process's dispatcher; password requests are
// answered on the main thread with password (mode 1).
OnlineOutcome bringOnline(PanelRpcClient& client, const FF::Net::Address& address, const std::string& password,
                          QObject& receiver)
{
    OnlineOutcome outcome;
    auto msg = std::make_unique<DeviceOnlineMsg>(&client, address);
    QObject::connect(msg.get(), &DeviceOnlineMsg::GetPasswd, &receiver, [&](DeviceOnlineMsg* asking) {
        ++outcome.passwordRequests;
        asking->SetPasswd(password, PasswdMsg::kModeCheck);
    });
    QObject::connect(msg.get(), &DeviceOnlineMsg::Complete, &receiver, [&](bool ok, QString ip, QString text) {
        outcome.ok = ok;
        outcome.ip = ip;
        outcome.text = text;
        outcome.done = true;
    });
    MsgDispatcher::instance()->post(std::move(msg));
    EXPECT_TRUE(PanelTest::waitUntil([&] { return outcome.done; }, 20000));
    PanelTest::settle(50);
    return outcome;
}

} // namespace

TEST(DeviceOnlineMsg, ProtectedPanelAsksForThePasswordAndChecksIt)
{
    Fake::FakePanelService panel("127.0.0.1");
    Fake::PanelMethodTable table(panel, Fake::PanelMethodTable::deviceMethods());
    table.setResult("projectHasPassword", WireWriter().boolean(true).take());
    const std::string rightDigest = PanelRpcClient::passwordDigest("1234");
    table.setResponder("projectCheckPassword", [&](const std::vector<Fake::PanelArg>& args) {
        return WireWriter().boolean(args.at(0).text() == rightDigest).take();
    });
    const FF::Net::Address address(panel.endpoint().c_str());
    PanelRpcClient client;
    QObject receiver;

    const OnlineOutcome right = bringOnline(client, address, "1234", receiver);
    EXPECT_TRUE(right.ok);
    EXPECT_EQ(right.text, QStringLiteral("连接成功"));
    EXPECT_EQ(right.passwordRequests, 1);
    EXPECT_EQ(right.ip.toStdString(), "127.0.0.1");

    const OnlineOutcome wrong = bringOnline(client, address, "4321", receiver);
    EXPECT_FALSE(wrong.ok);
    EXPECT_EQ(wrong.text, QStringLiteral("密码不正确"));
    EXPECT_EQ(wrong.passwordRequests, 1);
    EXPECT_TRUE(panel.waitFor([&] { return panel.openConnections() == 0; }, std::chrono::seconds(5)))
        << "a refused password disconnects";
}

// A check that gets no answer (the panel keeps silent past the stub's
// limit, refuses the call, or drops the connection) is a network failure,
// never a wrong password; the client is disconnected all the same.
TEST(DeviceOnlineMsg, APasswordCheckWithoutAnswerIsNoWrongPassword)
{
    struct Case {
        const char* what;
        std::optional<PanelAnswer> answer; // nullopt: the connection drops at the check
    };
    for (const Case& c : {Case{"silent", PanelAnswer::Silent}, Case{"refused", PanelAnswer::Unregistered},
                          Case{"dropped", std::nullopt}}) {
        SCOPED_TRACE(c.what);
        Fake::FakePanelService panel("127.0.0.1");
        Fake::PanelMethodTable table(panel, Fake::PanelMethodTable::deviceMethods());
        table.setResult("projectHasPassword", WireWriter().boolean(true).take());
        table.setResult("projectCheckPassword", WireWriter().boolean(true).take());
        if (c.answer)
            table.setAnswer("projectCheckPassword", *c.answer);
        else
            panel.dropConnectionAfterCalls(1); // "projectHasPassword" answered, the check dropped
        PanelRpcClient client;
        QObject receiver;
        const OnlineOutcome outcome = bringOnline(client, FF::Net::Address(panel.endpoint().c_str()), "1234", receiver);
        EXPECT_FALSE(outcome.ok);
        EXPECT_EQ(outcome.text, QStringLiteral("网络超时"));
        EXPECT_EQ(outcome.passwordRequests, 1);
        EXPECT_FALSE(client.isOnline());
        EXPECT_TRUE(panel.waitFor([&] { return panel.openConnections() == 0; }, std::chrono::seconds(5)));
    }
}

TEST(DeviceOnlineMsg, UnreachablePanelFailsWithoutAPasswordRequest)
{
    FF::Net::Address gone;
    {
        Fake::FakePanelService stopped("127.0.0.1");
        gone = FF::Net::Address(stopped.endpoint().c_str());
    }
    PanelRpcClient client;
    QObject receiver;
    const OnlineOutcome outcome = bringOnline(client, gone, "1234", receiver);
    EXPECT_FALSE(outcome.ok);
    EXPECT_EQ(outcome.text, QStringLiteral("连接失败"));
    EXPECT_EQ(outcome.passwordRequests, 0);
}

TEST(DeviceOnlineMsg, UnprotectedPanelIsOnlineWithoutAPasswordRequest)
{
    Fake::FakePanelService panel("127.0.0.1");
    Fake::PanelMethodTable table(panel, Fake::PanelMethodTable::deviceMethods());
    PanelRpcClient client;
    QObject receiver;
    const OnlineOutcome outcome = bringOnline(client, FF::Net::Address(panel.endpoint().c_str()), "x", receiver);
    EXPECT_TRUE(outcome.ok);
    EXPECT_EQ(outcome.text, QStringLiteral("连接成功"));
    EXPECT_EQ(outcome.passwordRequests, 0);
    EXPECT_TRUE(table.argsOf("projectCheckPassword").empty());
}

TEST_F(DeviceMessages, CancelledPasswordDisconnectsWithoutAsking)
{
    table.setResult("projectHasPassword", WireWriter().boolean(true).take());
    bool done = false;
    QString text;
    auto msg = std::make_unique<DeviceOnlineMsg>(&client, address());
    QObject::connect(msg.get(), &DeviceOnlineMsg::GetPasswd, &receiver,
                     [](DeviceOnlineMsg* asking) { asking->SetPasswd("1234", PasswdMsg::kModeCancel); });
    QObject::connect(msg.get(), &DeviceOnlineMsg::Complete, &receiver, [&](bool ok, QString, QString t) {
        EXPECT_FALSE(ok);
        text = t;
        done = true;
    });
    runToEnd(std::move(msg), [&] { return done; });
    EXPECT_EQ(text, QStringLiteral("取消连接"));
    EXPECT_TRUE(table.argsOf("projectCheckPassword").empty());
    EXPECT_TRUE(panel.waitFor([&] { return panel.openConnections() == 0; }, std::chrono::seconds(5)));
}

namespace {

// Every signal of a NetConfPageReadMsg, as one line each, in arrival order.
QStringList readPage(MsgDispatcher& dispatcher, PanelRpcClient& client, QObject& receiver, const QString& adapterName,
                     const QString& wifiName, int adapter)
{
    QStringList seen;
    bool done = false;
    auto msg = std::make_unique<NetConfPageReadMsg>(&client, adapterName, wifiName, adapter);
    using M = NetConfPageReadMsg;
    QObject::connect(msg.get(), qOverload<bool>(&M::Complete), &receiver, [&](bool ok) {
        seen << QStringLiteral("end %1").arg(ok);
        done = true;
    });
    QObject::connect(msg.get(), qOverload<bool, std::vector<std::pair<std::string, int>>>(&M::Complete), &receiver,
                     [&](bool ok, std::vector<std::pair<std::string, int>> list) {
                         seen << QStringLiteral("list %1 %2").arg(ok).arg(list.size());
                     });
    QObject::connect(msg.get(), qOverload<bool, QString, stAdapterCommonInfo>(&M::Complete), &receiver,
                     [&](bool ok, QString name, stAdapterCommonInfo info) {
                         seen << QStringLiteral("adapter %1 %2 %3").arg(ok).arg(name).arg(info.kind);
                         done = done || info.kind == AdapterPlain;
                     });
    QObject::connect(msg.get(), qOverload<bool, QString, st4GConnectInfo>(&M::Complete), &receiver,
                     [&](bool ok, QString name, st4GConnectInfo info) {
                         seen << QStringLiteral("4g %1 %2 %3").arg(ok).arg(name).arg(info.number);
                         done = true;
                     });
    QObject::connect(msg.get(), qOverload<bool, QString, stWifiHotspotInfo>(&M::Complete), &receiver,
                     [&](bool ok, QString name, stWifiHotspotInfo info) {
                         seen << QStringLiteral("hotspot %1 %2 %3").arg(ok).arg(name).arg(info.value3);
                         done = true;
                     });
    QObject::connect(msg.get(), qOverload<bool, QString, QString, stWifiConnectInfo>(&M::Complete), &receiver,
                     [&](bool ok, QString name, QString wifi, stWifiConnectInfo info) {
                         seen << QStringLiteral("wifi %1 %2 %3 %4").arg(ok).arg(name, wifi).arg(info.number);
                         done = true;
                     });
    dispatcher.post(std::move(msg));
    EXPECT_TRUE(PanelTest::waitUntil([&] { return done; }, 20000));
    PanelTest::settle(100);
    return seen;
}

std::vector<int> adapterNumbers(const Fake::PanelMethodTable& table, const char* method)
{
    std::vector<int> numbers;
    for (const auto& call : table.argsOf(method))
        numbers.push_back(call.at(0).integer());
    return numbers;
}

} // namespace

TEST_F(DeviceMessages, NetConfReadOfAWifiClientAdapterTakesTheFirstNetwork)
{
    table.setResult("GetNetworkAdapters", WireWriter().u32(2).string("wlan0").i32(7).string("eth0").i32(1).take());
    table.setResult("GetNetworkAdapterCommonInfo", adapterRecord(AdapterWifi, "w"));
    table.setResult("Get_Wifi_WorkMode", WireWriter().i32(WifiModeClient).take());
    table.setResult("GetWifiAdapters", WireWriter().u32(2).string("home").string("office").take());
    WireWriter wifi;
    wifi.i32(1).i32(2);
    PanelTest::f64(wifi, 1.5).string("a").string("b").string("c");
    table.setResult("GetWifiConnectInfo", wifi.take());

    const QStringList seen = readPage(dispatcher, client, receiver, QString(), QString(), -5);
    EXPECT_EQ(seen, (QStringList{"list 1 2", "adapter 1 wlan0 2", "wifi 1 wlan0 home 1.5"}));
    for (const char* method : {"GetNetworkAdapterCommonInfo", "Get_Wifi_WorkMode", "GetWifiConnectInfo"})
        EXPECT_EQ(adapterNumbers(table, method), std::vector<int>{7}) << method;
    EXPECT_EQ(table.argsOf("GetWifiAdapters").size(), 1u);
    EXPECT_TRUE(table.argsOf("GetWifiAdapters")[0].empty()) << "the Wi-Fi list takes no argument";
}

TEST_F(DeviceMessages, NetConfReadOfA4GAdapter)
{
    table.setResult("GetNetworkAdapters", WireWriter().u32(1).string("usb0").i32(3).take());
    table.setResult("GetNetworkAdapterCommonInfo", adapterRecord(Adapter4G, "g"));
    WireWriter g4;
    g4.i32(1).i32(2);
    PanelTest::f64(g4, 2.25).string("").string("").string("").string("").string("");
    table.setResult("Get4GConnectInfo", g4.take());
    const QStringList seen = readPage(dispatcher, client, receiver, QString(), QString(), 0);
    EXPECT_EQ(seen, (QStringList{"list 1 1", "adapter 1 usb0 1", "4g 1 usb0 2.25"}));
    EXPECT_EQ(adapterNumbers(table, "GetNetworkAdapterCommonInfo"), std::vector<int>{3});
    EXPECT_EQ(adapterNumbers(table, "Get4GConnectInfo"), std::vector<int>{3});
}

TEST_F(DeviceMessages, NetConfReadOfAPlainNamedAdapterAndOfAHotspot)
{
    table.setResult("GetNetworkAdapterCommonInfo", adapterRecord(AdapterPlain, "p"));
    QStringList seen = readPage(dispatcher, client, receiver, QStringLiteral("eth0"), QString(), 4);
    EXPECT_EQ(seen, (QStringList{"adapter 1 eth0 0"}));
    EXPECT_TRUE(table.argsOf("GetNetworkAdapters").empty()) << "a named adapter needs no list";
    EXPECT_EQ(adapterNumbers(table, "GetNetworkAdapterCommonInfo"), std::vector<int>{4});

    table.setResult("GetNetworkAdapterCommonInfo", adapterRecord(AdapterWifi, "w"));
    table.setResult("Get_Wifi_WorkMode", WireWriter().i32(WifiModeHotspot).take());
    table.setResult("Get_WifiHotspotInfo", WireWriter().i32(1).i32(2).i32(33).string("").string("").string("").take());
    seen = readPage(dispatcher, client, receiver, QStringLiteral("wlan1"), QString(), 8);
    EXPECT_EQ(seen, (QStringList{"adapter 1 wlan1 2", "hotspot 1 wlan1 33"}));
    EXPECT_EQ(adapterNumbers(table, "Get_WifiHotspotInfo"), std::vector<int>{8});
}

TEST_F(DeviceMessages, NetConfReadStopsAtAFailedStep)
{
    table.setResult("GetNetworkAdapters", WireWriter().u32(1).string("usb0").i32(3).take());
    table.setResult("GetNetworkAdapterCommonInfo", adapterRecord(Adapter4G, "g"));
    table.setAnswer("Get4GConnectInfo", PanelAnswer::Short);
    const QStringList seen = readPage(dispatcher, client, receiver, QString(), QString(), 0);
    EXPECT_EQ(seen, (QStringList{"list 1 1", "adapter 1 usb0 1", "end 0"}));
}

TEST_F(DeviceMessages, NetConfWriteOfA4GAdapterKeepsTheCommonSettings)
{
    stAdapterCommonInfo adapter;
    adapter.kind = Adapter4G;
    table.setResult("Set4GConnectInfo", WireWriter().i32(0).take());
    const auto [ok, text] = runToOutcome(std::make_unique<NetConfPageWriteMsg>(
        &client, adapter, st4GConnectInfo(), stWifiConnectInfo(), stWifiHotspotInfo(), 6, 0));
    EXPECT_TRUE(ok);
    EXPECT_EQ(text, QStringLiteral("保存成功"));
    EXPECT_TRUE(table.argsOf("SetNetworkAdapterCommonInfo").empty());
    EXPECT_EQ(adapterNumbers(table, "Set4GConnectInfo"), std::vector<int>{6});
}

TEST_F(DeviceMessages, NetConfWriteOfAPlainAdapterThatThePanelRefuses)
{
    table.setResult("SetNetworkAdapterCommonInfo", WireWriter().i32(3).take());
    stAdapterCommonInfo adapter;
    adapter.kind = AdapterPlain;
    const auto [ok, text] = runToOutcome(std::make_unique<NetConfPageWriteMsg>(
        &client, adapter, st4GConnectInfo(), stWifiConnectInfo(), stWifiHotspotInfo(), 2, 0));
    EXPECT_FALSE(ok);
    EXPECT_EQ(text, QStringLiteral("保存失败"));
    EXPECT_TRUE(table.argsOf("SetWifiConnectInfo").empty());
}

TEST_F(DeviceMessages, DeviceInfoReadStopsAtAFailedSystemRead)
{
    table.setResult("GetRunTimeInfo",
                    WireWriter().string("r1").string("").string("").string("").string("").string("r6").take());
    table.setAnswer("GetSysInfo", PanelAnswer::WrongType);
    bool done = false;
    bool ok = true;
    stConfInfo info;
    auto msg = std::make_unique<DeviceInfoReadMsg>(&client);
    QObject::connect(msg.get(), &DeviceInfoReadMsg::Complete, &receiver, [&](bool b, stConfInfo i) {
        ok = b;
        info = i;
        done = true;
    });
    runToEnd(std::move(msg), [&] { return done; });
    EXPECT_FALSE(ok);
    EXPECT_EQ(info.runTime.text6, "r6");
    EXPECT_EQ(info.sys.text1, "");
    EXPECT_EQ(info.space.value1, -1);
    EXPECT_TRUE(table.argsOf("GetSpaceInfo").empty());
}

#include "devicemessages_test.moc"
