#include "tarnwick/ui/localdevicemodel.h"

#include "tarnwick/core/constants.h"
#include "tarnwick/core/messages/uimsg.h"
#include "testing/fakelocalpanel/fakelocalpanel.h"
#include "testing/main/eventwait.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QThread>
#include <QTimer>

#include <chrono>

namespace C = Tarnwick::Constants;

namespace {

const QString kClientId = QStringLiteral("{6f1c2a3b-aaaa-4bbb-8ccc-0123456789ab}");

int openDescriptors()
{
    return QDir(QStringLiteral("/proc/self/fd")).entryList(QDir::NoDotAndDotDot | QDir::AllEntries).size();
}

struct LocalDeviceProbe : ::testing::Test {
    LocalDeviceModel model;
    LocalDeviceProbe() { model.setClientId(kClientId); }

    stLocalDeviceInfo record(const QString& ip)
    {
        stLocalDeviceInfo info;
        info.ip = ip;
        info.lanIp = QStringLiteral("10.1.2.3");
        info.state = 1;
        info.deviceNo = QStringLiteral("old-no");
        info.deviceName = QStringLiteral("old-name");
        return info;
    }
};

} // namespace

TEST_F(LocalDeviceProbe, FreeBridgeConfirmsThePanelOnline)
{
    FakeLocalPanel panel(FakeLocalPanel::address(2), "SN-0002", "面板二");
    stLocalDeviceInfo info = record(FakeLocalPanel::address(2));
    ASSERT_TRUE(model.GetDeviceInfo(info));
    EXPECT_EQ(info.state, C::StatusOnline);
    EXPECT_EQ(info.deviceNo, "SN-0002");
    EXPECT_EQ(info.deviceName, QString::fromUtf8("面板二"));
    EXPECT_EQ(info.ip, FakeLocalPanel::address(2));
    EXPECT_EQ(info.lanIp, "10.1.2.3");
    // Three calls, none with arguments.
    ASSERT_EQ(panel.service().calls().size(), 3u);
    EXPECT_EQ(panel.service().calls()[0].method, "getDeviceVPNInfo");
    EXPECT_EQ(panel.service().calls()[1].method, "getProductSn");
    EXPECT_EQ(panel.service().calls()[2].method, "bridgeStatus");
    for (const auto& call : panel.service().calls())
        EXPECT_EQ(call.args, std::vector<uint8_t>({0, 0, 0, 0}));
}

TEST_F(LocalDeviceProbe, HolderEqualToOurIdInOtherCaseIsLinkedAnyOtherIsOccupied)
{
    FakeLocalPanel panel(FakeLocalPanel::address(2), "SN-0002", "P2");
    FakeLocalPanel other(FakeLocalPanel::address(3), "SN-0003", "P3");
    panel.setBridge(1, kClientId.toUpper().toStdString());
    other.setBridge(1, "{11111111-2222-3333-4444-555555555555}");

    stLocalDeviceInfo linked = record(FakeLocalPanel::address(2));
    ASSERT_TRUE(model.GetDeviceInfo(linked));
    EXPECT_EQ(linked.state, C::StatusLinked);

    stLocalDeviceInfo occupied = record(FakeLocalPanel::address(3));
    ASSERT_TRUE(model.GetDeviceInfo(occupied));
    EXPECT_EQ(occupied.state, C::StatusOccupied);
}

TEST_F(LocalDeviceProbe, UnregisteredBridgeStatusStillConfirmsWithStateOnline)
{
    FakeLocalPanel panel(FakeLocalPanel::address(2), "SN-0002", "P2");
    panel.removeBridgeStatus();
    stLocalDeviceInfo info = record(FakeLocalPanel::address(2));
    ASSERT_TRUE(model.GetDeviceInfo(info));
    EXPECT_EQ(info.state, C::StatusOnline);
    EXPECT_EQ(info.deviceNo, "SN-0002");
}

TEST_F(LocalDeviceProbe, UnreadableVpnInfoFailsAndLeavesTheRecord)
{
    FakeLocalPanel panel(FakeLocalPanel::address(2), "SN-0002", "P2");
    panel.setVpnInfoTypeName("DeviceVPNInf");
    stLocalDeviceInfo info = record(FakeLocalPanel::address(2));
    EXPECT_FALSE(model.GetDeviceInfo(info));
    EXPECT_EQ(info.deviceName, "old-name");
    EXPECT_EQ(info.deviceNo, "old-no");
    EXPECT_EQ(info.state, 1);

    panel.setVpnInfoTypeName("DeviceVPNInfo");
    panel.setVpnInfoShort(true);
    EXPECT_FALSE(model.GetDeviceInfo(info));
    EXPECT_EQ(info.deviceName, "old-name");
}

TEST_F(LocalDeviceProbe, FailingSerialNumberFails)
{
    FakeLocalPanel panel(FakeLocalPanel::address(2), "SN-0002", "P2");
    panel.setSerialFails(true);
    stLocalDeviceInfo info = record(FakeLocalPanel::address(2));
    EXPECT_FALSE(model.GetDeviceInfo(info));
    EXPECT_EQ(info.deviceNo, "old-no");
}

TEST_F(LocalDeviceProbe, RefusedPortFailsAtTheEndOfTheProbeWindow)
{
    stLocalDeviceInfo info = record(FakeLocalPanel::address(4)); // nothing listens there
    QElapsedTimer timer;
    timer.start();
    EXPECT_FALSE(model.GetDeviceInfo(info));
    // A refusal is tried again until the 3000 ms window has passed (the
    // service may be starting); no RPC follows.
    EXPECT_GE(timer.elapsed(), 2900);
    EXPECT_LT(timer.elapsed(), 10000);
    EXPECT_EQ(info.deviceName, "old-name");
}

TEST_F(LocalDeviceProbe, EmptyOrUnparsableAddressFails)
{
    stLocalDeviceInfo empty = record(QString());
    EXPECT_FALSE(model.GetDeviceInfo(empty));
    stLocalDeviceInfo bad = record("127.100.0.999");
    EXPECT_FALSE(model.GetDeviceInfo(bad));
    EXPECT_EQ(bad.deviceName, "old-name");
}

TEST_F(LocalDeviceProbe, NoDescriptorLeaksOverManyProbes)
{
    FakeLocalPanel panel(FakeLocalPanel::address(2), "SN-0002", "P2");
    FakeLocalPanel broken(FakeLocalPanel::address(3), "SN-0003", "P3");
    broken.setSerialFails(true);
    stLocalDeviceInfo warm = record(FakeLocalPanel::address(2));
    ASSERT_TRUE(model.GetDeviceInfo(warm)); // the dispatcher thread now exists
    QThread::msleep(100);
    const int before = openDescriptors();
    for (int i = 0; i < 15; ++i) {
        stLocalDeviceInfo ok = record(FakeLocalPanel::address(2));
        ASSERT_TRUE(model.GetDeviceInfo(ok));
        stLocalDeviceInfo failing = record(FakeLocalPanel::address(3));
        ASSERT_FALSE(model.GetDeviceInfo(failing));
        // A refused probe retries for its whole 3 s window (many sockets
        // opened and closed), so fewer of them keep the test short.
        if (i % 5 == 0) {
            stLocalDeviceInfo refused = record(FakeLocalPanel::address(4));
            ASSERT_FALSE(model.GetDeviceInfo(refused));
        }
    }
    // Closed connections may linger on the service's side for a moment.
    TestWait::waitUntil([&] { return openDescriptors() <= before; }, 10000);
    EXPECT_LE(openDescriptors(), before);
}

// Quitting the application ends every nested loop, the probe's wait too,
// which gives the probe up within its limit after the quit: the record is
// left as it was, then and after the probe has ended on its own copy.
TEST_F(LocalDeviceProbe, AQuitDuringTheWaitGivesTheProbeUpAndLeavesTheRecord)
{
    FakeLocalPanel panel(FakeLocalPanel::address(2), "SN-0002", "P2");
    panel.service().setReplyDelay(std::chrono::milliseconds(800));
    stLocalDeviceInfo info = record(FakeLocalPanel::address(2));
    bool ok = true;
    qint64 afterQuit = -1;
    QTimer::singleShot(0, [&] {
        QElapsedTimer clock;
        QTimer::singleShot(100, [&] {
            clock.start();
            QCoreApplication::exit(0);
        });
        ok = model.GetDeviceInfo(info);
        afterQuit = clock.elapsed();
    });
    QCoreApplication::exec();
    EXPECT_FALSE(ok);
    EXPECT_LT(afterQuit, 2000) << "ms from the quit to the probe's return";
    EXPECT_EQ(info.deviceName, "old-name");
    EXPECT_EQ(info.deviceNo, "old-no");
    // The probe goes on by itself to its end (a message queued behind it
    // runs after it); the caller's record stays.
    EXPECT_EQ(UiMsg::postAndWait([](UiMsg*) { return 0; }), 0);
    EXPECT_EQ(panel.calls(), 3);
    EXPECT_EQ(info.deviceName, "old-name");
    EXPECT_EQ(info.state, 1);
}
