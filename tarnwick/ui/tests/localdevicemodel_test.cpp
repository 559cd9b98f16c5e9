#include "tarnwick/ui/localdevicemodel.h"

#include "tarnwick/core/constants.h"
#include "tarnwick/core/devicedatas.h"
#include "tarnwick/core/discovery/scanthread.h"
#include "tarnwick/ui/tests/localpagetesthelpers.h"
#include "testing/fakediscovery/fakediscoveryresponder.h"
#include "testing/fakelocalpanel/fakelocalpanel.h"
#include "testing/main/filesizelimit.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTimer>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <thread>

namespace C = Tarnwick::Constants;

namespace {

QString state(const LocalDeviceModel& model, int row)
{
    return model.data(model.index(row, LocalDeviceModel::kStateColumn)).toString();
}

// The model filled from a saved list alone: no scan, and the saved panels are
// probed on port 1, where nothing answers (refused at once): every row offline.
void fillFromSaved(LocalDeviceModel& model, const QVector<stDeviceData>& list)
{
    model.setScanFactory([](QObject* parent, const QNetworkInterface&) {
        return new ScanThread(parent, QList<QNetworkAddressEntry>(), 1);
    });
    model.setSavedProbeFactory([list](QObject* parent) { return new LoadLocalDevice(list, 1, parent); });
    model.setNetIntf(QStringLiteral("lo"));
    model.RefreshDevice();
}

struct InTempDir : ::testing::Test {
    QTemporaryDir dir;
    QString old = QDir::currentPath();
    InTempDir() { QDir::setCurrent(dir.path()); }
    ~InTempDir() override { QDir::setCurrent(old); }
};

} // namespace

TEST(LocalDeviceModel, HeadersAlignmentAndStateColours)
{
    LocalDeviceModel model;
    EXPECT_EQ(model.columnCount(), 6);
    QStringList headers;
    for (int c = 0; c < 6; ++c)
        headers << model.headerData(c, Qt::Horizontal).toString();
    EXPECT_EQ(headers, QString::fromUtf8("序号,设备编号,设备名称,状态,IP地址,LAN IP地址").split(','));
    EXPECT_FALSE(model.headerData(0, Qt::Horizontal, Qt::InitialSortOrderRole).isValid());
    EXPECT_EQ(model.headerData(1, Qt::Horizontal, Qt::InitialSortOrderRole).toInt(), int(Qt::AscendingOrder));
    EXPECT_FALSE(model.headerData(6, Qt::Horizontal).isValid());
    EXPECT_FALSE(model.headerData(1, Qt::Vertical).isValid());

    fillFromSaved(model, {savedPanel("SN-1", "A", FakeLocalPanel::address(20))});
    ASSERT_EQ(model.rowCount(), 1);
    EXPECT_EQ(model.data(model.index(0, 2), Qt::TextAlignmentRole).toInt(), int(Qt::AlignCenter));
    EXPECT_EQ(state(model, 0), QString::fromUtf8("离  线"));
    EXPECT_EQ(model.data(model.index(0, 3), Qt::ForegroundRole).value<QColor>(), QColor(170, 170, 170));
    EXPECT_FALSE(model.data(model.index(0, 2), Qt::ForegroundRole).isValid());
    EXPECT_EQ(model.data(model.index(0, 0)).toString(), "1");
}

TEST_F(InTempDir, RefreshOnLoopbackWithEmptySavedListAlwaysReturns)
{
    // A scan over an interface without IPv4 entries and an empty saved list:
    // both workers report at once, often before the waits start.
    ASSERT_TRUE(DeviceDatas::instance()->localDevices().isEmpty());
    std::mutex mutex;
    std::condition_variable wake;
    bool finished = false;
    std::thread watchdog([&] {
        std::unique_lock<std::mutex> lock(mutex);
        if (!wake.wait_for(lock, std::chrono::seconds(120), [&] { return finished; })) {
            fprintf(stderr, "RefreshDevice hung\n");
            std::abort();
        }
    });
    LocalDeviceModel model;
    model.setScanFactory([](QObject* parent, const QNetworkInterface&) {
        return new ScanThread(parent, QList<QNetworkAddressEntry>(), C::kDiscoveryPort);
    });
    model.setNetIntf(QStringLiteral("lo"));
    QSignalSpy resets(&model, &QAbstractItemModel::modelReset);
    for (int i = 0; i < 200; ++i)
        model.RefreshDevice();
    EXPECT_EQ(resets.count(), 200);
    EXPECT_EQ(model.rowCount(), 0);
    {
        std::lock_guard<std::mutex> lock(mutex);
        finished = true;
    }
    wake.notify_all();
    watchdog.join();
}

TEST(LocalDeviceModel, EmptyInterfaceLeavesNoRows)
{
    LocalDeviceModel model;
    int created = 0;
    model.setSavedProbeFactory([&created](QObject* parent) {
        ++created;
        return new LoadLocalDevice({savedPanel("SN-1", "A", FakeLocalPanel::address(20))}, 1, parent);
    });
    model.RefreshDevice();
    EXPECT_EQ(model.rowCount(), 0);
    EXPECT_EQ(created, 0);
}

TEST(LocalDeviceModel, ScanProbeAndSavedListMakeTheRows)
{
    FakeLocalPanel free(FakeLocalPanel::address(2), "SN-0002", "Press");
    FakeLocalPanel held(FakeLocalPanel::address(3), "SN-0003", "Lathe");
    held.setBridge(1, "{other-client}");
    FakeDiscoveryResponder::Config a;
    a.sourceAddress = FakeLocalPanel::address(2);
    a.reportedAddress = "192.168.1.50";
    FakeDiscoveryResponder first(a);
    ASSERT_TRUE(first.isListening());
    FakeDiscoveryResponder::Config b = a;
    b.sourceAddress = FakeLocalPanel::address(3);
    b.reportedAddress = "192.168.1.51";
    FakeDiscoveryResponder second(b, first.port());
    ASSERT_TRUE(second.isListening());

    LocalDeviceModel model;
    model.setClientId(QStringLiteral("{me}"));
    const quint16 port = first.port();
    model.setScanFactory(loopbackScan(port));
    const QVector<stDeviceData> list = {
        savedPanel("SN-X", "same address", FakeLocalPanel::address(2)),
        savedPanel("SN-0003", "same number", FakeLocalPanel::address(30)),
        savedPanel("SN-9", "Mill", FakeLocalPanel::address(9)),
    };
    model.setSavedProbeFactory([list](QObject* parent) { return new LoadLocalDevice(list, 1, parent); });
    model.setNetIntf(QStringLiteral("lo"));
    QElapsedTimer timer;
    timer.start();
    model.RefreshDevice();
    EXPECT_LT(timer.elapsed(), 9000);

    ASSERT_EQ(model.rowCount(), 3);
    QMap<QString, int> byIp;
    for (int r = 0; r < model.rowCount(); ++r)
        byIp[model.data(model.index(r, 4)).toString()] = r;
    ASSERT_TRUE(byIp.contains(FakeLocalPanel::address(2)));
    ASSERT_TRUE(byIp.contains(FakeLocalPanel::address(3)));
    ASSERT_TRUE(byIp.contains(FakeLocalPanel::address(9)));
    const int r2 = byIp[FakeLocalPanel::address(2)], r3 = byIp[FakeLocalPanel::address(3)],
              r9 = byIp[FakeLocalPanel::address(9)];
    EXPECT_EQ(model.data(model.index(r2, 5)).toString(), "192.168.1.50");
    EXPECT_EQ(model.data(model.index(r3, 5)).toString(), "192.168.1.51");
    EXPECT_EQ(model.data(model.index(r2, 1)).toString(), "SN-0002");
    EXPECT_EQ(model.data(model.index(r2, 2)).toString(), "Press");
    EXPECT_EQ(state(model, r2), QString::fromUtf8("在  线"));
    EXPECT_EQ(state(model, r3), QString::fromUtf8("占  用"));
    EXPECT_EQ(state(model, r9), QString::fromUtf8("离  线"));
    EXPECT_EQ(model.data(model.index(r9, 5)).toString(), "");

    // A panel that stops answering the broadcast but still answers its RPC
    // service stays listed through the re-check.
    model.setScanFactory([](QObject* parent, const QNetworkInterface&) {
        return new ScanThread(parent, QList<QNetworkAddressEntry>(), 1);
    });
    model.setSavedProbeFactory([](QObject* parent) { return new LoadLocalDevice({}, 1, parent); });
    model.RefreshDevice();
    QStringList ips;
    for (int r = 0; r < model.rowCount(); ++r)
        ips << model.data(model.index(r, 4)).toString();
    ips.sort(); // the replies come in either order
    EXPECT_EQ(ips, QStringList({FakeLocalPanel::address(2), FakeLocalPanel::address(3)}));
}

TEST(LocalDeviceModel, CancelDuringTheScanKeepsTheRows)
{
    FakeDiscoveryResponder::Config quiet;
    quiet.silent = true;
    FakeDiscoveryResponder responder(quiet);
    LocalDeviceModel model;
    fillFromSaved(model, {savedPanel("SN-1", "A", FakeLocalPanel::address(20))});
    ASSERT_EQ(model.rowCount(), 1);

    const quint16 port = responder.port();
    model.setScanFactory(loopbackScan(port));
    QSignalSpy complete(&model, &LocalDeviceModel::CancelComplete);
    QSignalSpy resets(&model, &QAbstractItemModel::modelReset);
    QTimer::singleShot(300, &model, [&model] { model.cancel(); });
    QElapsedTimer timer;
    timer.start();
    model.RefreshDevice();
    EXPECT_LT(timer.elapsed(), 2500);
    EXPECT_EQ(complete.count(), 1);
    EXPECT_EQ(resets.count(), 0);
    EXPECT_EQ(model.rowCount(), 1);
}

// The application's quit during the scan stops it as a cancel does: the
// refresh does not wait out the scan's window.
TEST(LocalDeviceModel, AQuitDuringTheScanStopsItAtOnce)
{
    FakeDiscoveryResponder::Config quiet;
    quiet.silent = true;
    FakeDiscoveryResponder responder(quiet);
    LocalDeviceModel model;
    fillFromSaved(model, {});
    model.setScanFactory(loopbackScan(responder.port()));
    qint64 afterQuit = -1;
    QTimer::singleShot(0, &model, [&] {
        QElapsedTimer clock;
        QTimer::singleShot(300, &model, [&] {
            clock.start();
            QCoreApplication::exit(0);
        });
        model.RefreshDevice();
        afterQuit = clock.elapsed();
    });
    QCoreApplication::exec();
    EXPECT_GE(afterQuit, 0);
    EXPECT_LT(afterQuit, ScanThread::kScanMs / 2) << "ms from the quit to the refresh's return";
}

TEST(LocalDeviceModel, NestedRefreshNewestSetsTheRows)
{
    LocalDeviceModel model;
    model.setNetIntf(QStringLiteral("lo"));
    FakeDiscoveryResponder::Config quiet;
    quiet.silent = true;
    FakeDiscoveryResponder responder(quiet);
    const quint16 port = responder.port();
    int refresh = 0;
    // The outer refresh scans for 3 s; inside its wait a second refresh runs
    // against another saved list and finishes first.
    model.setScanFactory([&refresh, port](QObject* parent, const QNetworkInterface&) {
        ++refresh;
        if (refresh == 1)
            return new ScanThread(parent, QList<QNetworkAddressEntry>({loopbackEntry()}), port);
        return new ScanThread(parent, QList<QNetworkAddressEntry>(), 1);
    });
    model.setSavedProbeFactory([&refresh](QObject* parent) {
        const QString ip = refresh == 1 ? QString(FakeLocalPanel::address(21)) : QString(FakeLocalPanel::address(22));
        return new LoadLocalDevice({savedPanel("SN", "x", ip)}, 1, parent);
    });
    bool innerRan = false;
    QTimer::singleShot(200, &model, [&] {
        EXPECT_TRUE(model.isRefreshing());
        model.RefreshDevice();
        innerRan = true;
    });
    model.RefreshDevice();
    ASSERT_TRUE(innerRan);
    EXPECT_FALSE(model.isRefreshing());
    ASSERT_EQ(model.rowCount(), 1);
    EXPECT_EQ(model.data(model.index(0, 4)).toString(), FakeLocalPanel::address(22));
}

TEST(LocalDeviceModel, DeviceStateFollowsTheNoticesAndForgetsUnknownAddresses)
{
    LocalDeviceModel model;
    fillFromSaved(model, {savedPanel("SN-1", "A", FakeLocalPanel::address(20)),
                          savedPanel("SN-2", "B", FakeLocalPanel::address(21))});
    ASSERT_EQ(model.rowCount(), 2);
    QSignalSpy changed(&model, &QAbstractItemModel::dataChanged);
    model.setDeviceState(FakeLocalPanel::address(20), C::StatusLinked);
    EXPECT_EQ(state(model, 0), QString::fromUtf8("联  机"));
    EXPECT_EQ(changed.count(), 1);
    // Any later call releases the linked panel, even for an unknown address.
    model.setDeviceState("10.0.0.1", C::StatusOccupied);
    EXPECT_EQ(state(model, 0), QString::fromUtf8("在  线"));
    EXPECT_EQ(model.stateOf("10.0.0.1"), 0);
    // Probing again a panel that does not answer shows it offline.
    model.setDeviceState(FakeLocalPanel::address(21), C::StatusOnline);
    model.setDeviceState(FakeLocalPanel::address(21), LocalDeviceModel::kStateProbeAgain);
    EXPECT_EQ(state(model, 1), QString::fromUtf8("离  线"));
}

TEST(LocalDeviceModel, SaveWritesEveryRowByteExact)
{
    QTemporaryDir dir;
    LocalDeviceModel model;
    EXPECT_TRUE(model.SaveData(dir.filePath("empty.csv")));
    EXPECT_EQ(readAll(dir.filePath("empty.csv")),
              QByteArray("\xEF\xBB\xBF") + QString::fromUtf8("序号,设备编号,设备名称,IP地址\n").toUtf8());

    fillFromSaved(model, {savedPanel("SN,1", QString::fromUtf8("压机 \"A\""), "127.100.0.20"),
                          savedPanel("", "plain", "127.100.0.21")});
    const QString path = dir.filePath("sub/list.csv");
    ASSERT_TRUE(model.SaveData(path));
    const QByteArray expected = QByteArray("\xEF\xBB\xBF")
                                + QString::fromUtf8("序号,设备编号,设备名称,IP地址\n"
                                                    "1,\"'SN,1'\",\"'压机 \"\"A\"\"'\",'127.100.0.20'\n"
                                                    "2,,'plain','127.100.0.21'\n")
                                      .toUtf8();
    EXPECT_EQ(QString::fromUtf8(readAll(path)), QString::fromUtf8(expected));

    // The local list's own reader takes the page's file back as it was.
    DeviceDatas store(DeviceDatas::Empty{});
    ASSERT_TRUE(store.loadLocalDevices(path));
    ASSERT_EQ(store.localDevices().size(), 2);
    EXPECT_EQ(store.localDevices().at(0).deviceNo, "SN,1");
    EXPECT_EQ(store.localDevices().at(0).deviceName, QString::fromUtf8("压机 \"A\""));
    EXPECT_EQ(store.localDevices().at(0).ipAddress, "127.100.0.20");
    EXPECT_EQ(store.localDevices().at(1).deviceNo, "");
    EXPECT_EQ(store.localDevices().at(1).ipAddress, "127.100.0.21");
}

TEST(LocalDeviceModel, SaveFailingAfterTheOpenIsReported)
{
    QTemporaryDir dir;
    LocalDeviceModel model;
    QVector<stDeviceData> many;
    for (int i = 0; i < 200; ++i)
        many << savedPanel(QStringLiteral("SN-%1").arg(i), QStringLiteral("panel %1").arg(i),
                           QStringLiteral("127.100.1.%1").arg(i));
    fillFromSaved(model, many);
    ASSERT_EQ(model.rowCount(), 200);
    const QString path = dir.filePath("list.csv");
    ASSERT_TRUE(model.SaveData(path));
    const QByteArray good = readAll(path);

    // A file-size limit far below the list: the open succeeds, the writes fail.
    bool saved = true;
    {
        TestLimits::FileSizeLimit limit(1024);
        ASSERT_TRUE(limit.active());
        saved = model.SaveData(path);
    }
    EXPECT_FALSE(saved);
    EXPECT_EQ(readAll(path), good); // the old file stays whole
}
