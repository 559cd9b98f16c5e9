#include "tarnwick/core/panelrpc/localdeviceobject.h"

#include "framework/utils/leftrunning.h"
#include "tarnwick/core/tests/paneltesthelpers.h"
#include "testing/fakepanel/fakepanelservice.h"
#include "testing/main/heapinuse.h"
#include "testing/main/logcapture.h"
#include "testing/panelservices/panelmethodtable.h"

#include <gtest/gtest.h>

#include <QElapsedTimer>

#include <atomic>
#include <cstdio>
#include <memory>
#include <vector>

using Fake::PanelAnswer;
using Fake::WireWriter;

namespace {

// A panel's session and service ports on one address of the test's own.
struct Panel {
    explicit Panel(const std::string& ip)
        : session(ip, 9059)
        , service(ip, 9009)
        , sessionTable(session, Fake::PanelMethodTable::sessionMethods())
        , serviceTable(service, Fake::PanelMethodTable::serviceMethods())
    {
        sessionTable.setResult("getICCID", WireWriter().string("8986001").take());
        serviceTable.setResult("getProductSn", WireWriter().string("SN-42").take());
        serviceTable.setResult(
            "getDeviceVPNInfo",
            WireWriter().i32(1).string("x").i32(0).string("车间一号屏").string("vpn-two").i32(0).take());
        serviceTable.setResult("getVpnState", WireWriter().i32(5).take());
    }

    Fake::FakePanelService session;
    Fake::FakePanelService service;
    Fake::PanelMethodTable sessionTable;
    Fake::PanelMethodTable serviceTable;
};

// What the owner sees of the object's signals.
struct Seen {
    int bindResults = 0;
    bool bindOk = false;
    int bindErr = -1;
    int updates = 0;
    int disconnects = 0;

    void watch(LocalDeviceObject& object, QObject& receiver)
    {
        QObject::connect(&object, &LocalDeviceObject::signalBindFinished, &receiver, [this](bool ok, int err) {
            ++bindResults;
            bindOk = ok;
            bindErr = err;
        });
        QObject::connect(&object, &LocalDeviceObject::signalDataUpdated, &receiver, [this] { ++updates; });
        QObject::connect(&object, &LocalDeviceObject::signalDisconnected, &receiver, [this] { ++disconnects; });
    }
};

} // namespace

TEST(LocalDeviceObject, BindRefusesMalformedAddresses)
{
    LocalDeviceObject object;
    EXPECT_FALSE(object.bindDevice(QStringLiteral("300.1.1.1")));
    EXPECT_FALSE(object.bindDevice(QStringLiteral("010.1.1.1")));
    EXPECT_FALSE(object.bindDevice(QStringLiteral("1.2.3")));
    EXPECT_EQ(object.bindState(), LocalDeviceObject::Idle);
}

TEST(LocalDeviceObject, BindReadsThePanelAndALostMethodDisconnects)
{
    Panel panel("127.70.0.10");
    LocalDeviceObject object;
    QObject receiver;
    Seen seen;
    seen.watch(object, receiver);

    ASSERT_TRUE(object.bindDevice(QStringLiteral("127.70.0.10")));
    ASSERT_TRUE(PanelTest::waitUntil([&] { return seen.bindResults == 1; }, 20000));
    EXPECT_TRUE(seen.bindOk);
    EXPECT_EQ(seen.bindErr, 0);
    EXPECT_EQ(object.bindState(), LocalDeviceObject::Bound);
    EXPECT_EQ(object.iccid(), QStringLiteral("8986001"));
    EXPECT_EQ(object.productSn(), QStringLiteral("SN-42"));
    EXPECT_EQ(object.vpnInfoText1(), QStringLiteral("车间一号屏")) << "panel texts are UTF-8";
    EXPECT_EQ(object.vpnInfoText2(), QStringLiteral("vpn-two"));
    EXPECT_EQ(object.vpnState(), 5);
    EXPECT_TRUE(object.bindDevice(QStringLiteral("127.70.0.11"))) << "valid, but ignored while bound";
    EXPECT_EQ(object.deviceIp(), QStringLiteral("127.70.0.10"));

    panel.serviceTable.setAnswer("getVpnState", PanelAnswer::Unregistered);
    ASSERT_TRUE(PanelTest::waitUntil([&] { return seen.disconnects == 1; }, 15000));
    EXPECT_EQ(object.iccid(), QString());
    EXPECT_EQ(object.productSn(), QString());
    EXPECT_EQ(object.vpnInfoText1(), QString());
    EXPECT_EQ(object.vpnState(), 1);
    EXPECT_EQ(object.deviceIp(), QStringLiteral("127.70.0.10")) << "the address stays";
    EXPECT_TRUE(panel.service.waitFor([&] { return panel.service.openConnections() == 0; }, std::chrono::seconds(5)));

    // Dropped: a manual refresh does nothing until an unbind and a new bind.
    const size_t snReads = panel.serviceTable.argsOf("getProductSn").size();
    const int updates = seen.updates;
    object.manualRefresh();
    PanelTest::settle(300);
    EXPECT_EQ(panel.serviceTable.argsOf("getProductSn").size(), snReads);
    EXPECT_EQ(seen.updates, updates);
    EXPECT_EQ(seen.disconnects, 1);
}

TEST(LocalDeviceObject, AFailedBindClearsWhatItReadButKeepsTheAddress)
{
    Panel panel("127.70.0.12");
    panel.serviceTable.setAnswer("getVpnState", PanelAnswer::WrongType);
    LocalDeviceObject object;
    QObject receiver;
    Seen seen;
    seen.watch(object, receiver);
    // A receiver on the object's own thread that reads the state: the result
    // must be emitted with the state mutex released, or this deadlocks.
    std::atomic<int> stateSeenByDirectReceiver{-1};
    QObject::connect(
        &object, &LocalDeviceObject::signalBindFinished, &object,
        [&](bool, int) { stateSeenByDirectReceiver = object.bindState(); }, Qt::DirectConnection);
    ASSERT_TRUE(object.bindDevice(QStringLiteral("127.70.0.12")));
    ASSERT_TRUE(PanelTest::waitUntil([&] { return seen.bindResults == 1; }, 20000));
    EXPECT_FALSE(seen.bindOk);
    EXPECT_EQ(seen.bindErr, 1);
    EXPECT_EQ(object.bindState(), LocalDeviceObject::Idle);
    EXPECT_EQ(stateSeenByDirectReceiver, LocalDeviceObject::Idle);
    EXPECT_EQ(object.iccid(), QString()) << "read before the failure, cleared after it";
    EXPECT_EQ(object.productSn(), QString());
    EXPECT_EQ(object.deviceIp(), QStringLiteral("127.70.0.12"));
    EXPECT_TRUE(panel.session.waitFor([&] { return panel.session.openConnections() == 0; }, std::chrono::seconds(5)))
        << "both clients are closed";
}

TEST(LocalDeviceObject, AMissingServicePortFailsTheBind)
{
    Fake::FakePanelService session("127.70.0.13", 9059);
    Fake::PanelMethodTable table(session, Fake::PanelMethodTable::sessionMethods());
    LocalDeviceObject object;
    QObject receiver;
    Seen seen;
    seen.watch(object, receiver);
    ASSERT_TRUE(object.bindDevice(QStringLiteral("127.70.0.13")));
    ASSERT_TRUE(PanelTest::waitUntil([&] { return seen.bindResults == 1; }, 20000));
    EXPECT_FALSE(seen.bindOk);
    EXPECT_TRUE(session.waitFor([&] { return session.openConnections() == 0; }, std::chrono::seconds(5)));
}

TEST(LocalDeviceObject, UnbindDuringABindOnASilentPortLeavesNoResultAndNoThread)
{
    const int threadsBefore = PanelTest::threadCount();
    Seen seen;
    QObject receiver;
    {
        Fake::FakePanelService silent("127.70.0.14", 9059);
        silent.setInitSilent(true);
        {
            LocalDeviceObject object;
            seen.watch(object, receiver);
            ASSERT_TRUE(object.bindDevice(QStringLiteral("127.70.0.14")));
            ASSERT_TRUE(silent.waitFor([&] { return silent.initRequests() == 1; }, std::chrono::seconds(10)));
            object.unbindDevice();
            EXPECT_EQ(object.bindState(), LocalDeviceObject::Idle);
            // The destructor returns once the bind under way has given up.
        }
        PanelTest::settle(300);
    }
    EXPECT_EQ(seen.bindResults, 0);
    EXPECT_TRUE(PanelTest::waitUntil([&] { return PanelTest::threadCount() <= threadsBefore; }, 5000))
        << PanelTest::threadCount() << " threads, " << threadsBefore << " before";
}

// A panel frozen as by SIGSTOP: connections are taken, nothing is answered.
TEST(LocalDeviceObject, ItsEndDuringABindOnAFrozenPanelReturnsWithinItsLimitAndNamesThePanel)
{
    const int threadsBefore = PanelTest::threadCount();
    Seen seen;
    QObject receiver;
    {
        Panel panel("127.70.0.15");
        panel.session.setReading(false);
        panel.service.setReading(false);
        {
            auto object = std::make_unique<LocalDeviceObject>();
            seen.watch(*object, receiver);
            ASSERT_TRUE(object->bindDevice(QStringLiteral("127.70.0.15")));
            // The probe's connection, then the client's, whose init is never answered.
            ASSERT_TRUE(panel.session.waitFor([&] { return panel.session.acceptedConnections() >= 2; },
                                              std::chrono::seconds(10)));
            TestLog::LogCapture log;
            QElapsedTimer clock;
            clock.start();
            object.reset();
            const qint64 took = clock.elapsed();
            EXPECT_GE(took, 1400);
            EXPECT_LT(took, 4000) << "the end waited for the bind";
            EXPECT_TRUE(log.contains("LocalDeviceObject: the session with 127.70.0.15 still works 1500 ms after its "
                                     "end was asked (a bind or a refresh): left running"))
                << log.all();
        }
        // The bind it left gives up with the panel, reporting to nobody.
    }
    EXPECT_TRUE(PanelTest::waitUntil([&] { return PanelTest::threadCount() <= threadsBefore; }, 10000))
        << PanelTest::threadCount() << " threads, " << threadsBefore << " before";
    PanelTest::settle(200);
    EXPECT_EQ(seen.bindResults, 0);
}

namespace {

// Binds `count` objects to a panel that never answers the init, ends each
// while its bind waits, then lets the panel go and waits for the count; each
// object plants a leak of `plantBytes`.
TestMemory::GivenUpRound endDuringBinds(const std::string& ip, int count, std::size_t plantBytes = 0)
{
    TestMemory::GivenUpRound round;
    round.atStart(FF::utils::LeftRunning::count());
    auto panel = std::make_unique<Fake::FakePanelService>(ip, 9059);
    panel->setInitSilent(true);
    std::vector<std::unique_ptr<LocalDeviceObject>> objects;
    // Every object, with its thread, is made first; then all binds start
    // together, so that the last one asks for its init well within the
    // first one's wait for the answer, however slowly a loaded machine
    // starts 200 threads.
    for (int i = 0; i < count; ++i) {
        round.plant(plantBytes);
        objects.push_back(std::make_unique<LocalDeviceObject>());
        objects.back()->setEndLimitMs(1);
    }
    for (auto& object : objects)
        object->bindDevice(QString::fromStdString(ip));
    round.held = panel->waitFor([&] { return panel->initRequests() == count; }, std::chrono::seconds(30));
    {
        TestLog::LogCapture log;
        objects.clear();
        round.atPeak(FF::utils::LeftRunning::count(), log.all(), "left running");
    }
    // The panel goes: every init wait ends with its connection, every bind
    // fails, reporting to nobody, and every session's thread ends.
    panel.reset();
    round.freed = PanelTest::waitUntil([&] { return FF::utils::LeftRunning::count() == round.keptBefore; }, 60000);
    round.atEnd(FF::utils::LeftRunning::count());
    return round;
}

} // namespace

// Objects ended while their binds wait leave their sessions running: each
// session's thread and the session stay until the thread has ended, and
// go then, all of them; a second round leaves the heap where the first
// did, and a third that keeps a few KiB an object is seen as a leak.
TEST(LocalDeviceObject, TwoHundredEndedDuringTheirBindsAreAllFreedOnceTheirSessionsEnd)
{
    constexpr int kObjects = 200;
    const int threadsBefore = PanelTest::threadCount();
    const TestMemory::GivenUpRound first = endDuringBinds("127.70.0.16", kObjects);
    first.print("200 objects ended during their binds, first round");
    const TestMemory::GivenUpRound second = endDuringBinds("127.70.0.17", kObjects);
    second.print("200 objects ended during their binds, second round");
    const TestMemory::GivenUpRound planted = endDuringBinds("127.70.0.18", kObjects,
                                                            TestMemory::kPlantedBytesPerObject);
    planted.print("200 objects ended during their binds, a planted leak");
    TestMemory::expectFreedAndFlat(first, second, planted, kObjects, kObjects);
    EXPECT_TRUE(PanelTest::waitUntil([&] { return PanelTest::threadCount() <= threadsBefore; }, 10000))
        << PanelTest::threadCount() << " threads, " << threadsBefore << " before";
}
