// The remote connection of the main window end to end, in network namespaces
// of the test's own. The panel's namespace runs a real OpenVPN server and an
// echo listener on the panel's LAN address, inside the network the server
// pushes to its clients; the PC's namespace runs the main window, the fake
// cloud and the real openvpn client, as this same test started again inside
// it. The machine's own routes are compared before and after.

#include "tarnwick/ui/mainwindow/mainframe.h"

#include "tarnwick/cloud/vpnmanager.h"
#include "tarnwick/core/programpath.h"
#include "tarnwick/ui/mainwindow/deviceview.h"
#include "tarnwick/ui/mainwindow/tests/cloudframetest.h"
#include "tarnwick/widgets/tests/dialogdriver.h"

#include "testing/fakecloud/fakecloud.h"
#include "testing/vpnharness/netnslabtest.h"
#include "testing/vpnharness/openvpntestserver.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QNetworkInterface>
#include <QTemporaryDir>

#include <iostream>
#include <memory>

#include <csignal>

namespace {

const QString kSn = QStringLiteral("30300077");
// The panel's LAN address lies in the network the server pushes as a route.
const QString kLanAddress = QStringLiteral("10.77.0.25");
constexpr quint16 kEchoPort = 7007;
constexpr int kServerPort = 1194;
constexpr int kConnectBoundMs = 60000;

class MainFrameVpnNetnsTest : public NetnsLabTest {
protected:
    void startPeers() override
    {
        QString error;
        ASSERT_TRUE(m_server.makePki(&error)) << error.toStdString();

        // The network behind the panel, with the echo listener on it.
        startPanelSide(kLanAddress, kEchoPort);
        if (HasFatalFailure())
            return;

        ASSERT_TRUE(m_server.start(m_lab.panel(), NetnsLab::panelAddress(), kServerPort, &error))
            << error.toStdString();
    }

    void stopPeers() override { m_server.stop(); }
    QString diagnostics() const override { return QStringLiteral("\n--- server log ---\n") + m_server.log(); }

    OpenVpnTestServer m_server{m_dir.path()};
};

bool hasTunnelAddress()
{
    for (const QHostAddress& a : QNetworkInterface::allAddresses())
        if (a.toString().startsWith(QStringLiteral("10.8.0.")))
            return true;
    return false;
}

// The PC side: the fake cloud with one online panel behind the test's VPN
// server, and the main window logged in to it with the program's own step
// length.
class PcSide {
public:
    PcSide()
    {
        useTemporaryHome();
        EXPECT_TRUE(m_tools.isValid());
        // Nothing is installed beside the program: the system's openvpn runs.
        ProgramPath::setBaseDir(m_tools.path());
        QFile config(QDir(NetnsLabTest::innerDir()).filePath(QStringLiteral("client.ovpn")));
        EXPECT_TRUE(config.open(QIODevice::ReadOnly));
        EXPECT_TRUE(startAccountCloud(m_cloud));
        m_cloud.setConfig(QStringLiteral("box.ovpn"), config.readAll());
        m_cloud.setVpnCredentials(OpenVpnTestServer::user(), OpenVpnTestServer::password());
        m_cloud.addDevice(panel(1));
        m_frame = std::make_unique<MainFrame>();
        // The service counts the panel connected once its tunnel is up.
        QObject::connect(VPN_Android::VpnManager::instance(), &VPN_Android::VpnManager::signalVPNStatus, m_frame.get(),
                         [this](QString state, QString) {
                             if (state == QLatin1String("CONNECTED"))
                                 m_cloud.addDevice(panel(3));
                         });
    }

    ~PcSide()
    {
        m_frame.reset();
        VPN_Android::VpnManager::instance()->quit(false);
        ProgramPath::setBaseDir(QString());
    }

    static FakeCloudDevice panel(int state)
    {
        FakeCloudDevice d = cloudDevice(kSn, QStringLiteral("remote panel"), kLanAddress, state);
        d.serverIP = NetnsLab::panelAddress();
        d.serverPort = kServerPort;
        return d;
    }

    void login() { loginThroughForm(*m_frame, 1, 15000); }

    void choosePanel()
    {
        ASSERT_TRUE(waitUntil([&] { return m_frame->tableRecords().size() == 1; }, 15000));
        ASSERT_EQ(m_frame->devicePage()->cellValue(0, DeviceView::keyColumn()).toString(), kSn);
        m_frame->devicePage()->selectRow(0);
        ASSERT_EQ(m_frame->devicePage()->currentRow(), 0);
    }

    QTemporaryDir m_tools;
    FakeCloud m_cloud;
    std::unique_ptr<MainFrame> m_frame;
};

TEST_F(MainFrameVpnNetnsTest, ConnectReachesThePanelsLanThroughTheTunnelAndStopTakesItDown)
{
    if (NetnsLab::isInner()) {
        PcSide pc;
        ASSERT_NO_FATAL_FAILURE(pc.login());
        // Without the tunnel the panel's LAN is out of reach.
        EXPECT_TRUE(echo(kLanAddress, kEchoPort, "nothing\n").isEmpty());
        EXPECT_FALSE(hasTunnelAddress());

        DialogDriver driver;
        ASSERT_NO_FATAL_FAILURE(pc.choosePanel());
        driver.answerBox(DialogDriver::kButton1);
        QElapsedTimer clock;
        clock.start();
        pc.m_frame->onOperActioned(QString(), 1);
        ASSERT_EQ(pc.m_frame->vpnOperationValue(), Tarnwick::MainWindow::VpnConnecting);
        ASSERT_TRUE(waitUntil([&] { return !driver.boxes().isEmpty(); }, kConnectBoundMs))
            << "no answer to the connect within " << kConnectBoundMs << " ms";
        std::cout << "connect answered after " << clock.elapsed() << " ms" << std::endl;
        ASSERT_EQ(driver.boxes().size(), 1);
        EXPECT_EQ(driver.boxes().at(0).title, QStringLiteral("联机"));
        ASSERT_EQ(driver.boxes().at(0).text, QStringLiteral("设备联机成功!"))
            << driver.boxes().at(0).text.toStdString();
        EXPECT_EQ(pc.m_frame->connectedDevice(), kSn);
        EXPECT_EQ(vpnInstructions(pc.m_cloud, kSn, true), 1);

        const qint64 child = VPN_Android::VpnManager::instance()->childPid();
        ASSERT_GT(child, 0);
        EXPECT_TRUE(hasTunnelAddress());
        const QString up = NetnsLab::ownRoutes();
        EXPECT_TRUE(up.contains(QStringLiteral("10.77.0.0/24 via 10.8.0.1 dev tun"))) << up.toStdString();
        EXPECT_EQ(echo(kLanAddress, kEchoPort, "through the tunnel\n"), QByteArray("through the tunnel\n"));

        // Polling resumed; the list reply shows the panel connected and keeps the tunnel.
        ASSERT_NO_FATAL_FAILURE(pc.choosePanel());
        EXPECT_EQ(pc.m_frame->connectedDevice(), kSn);
        driver.answerBox(DialogDriver::kButton1);
        pc.m_frame->onOperActioned(QString(), 2);
        EXPECT_EQ(pc.m_frame->vpnOperationValue(), Tarnwick::MainWindow::VpnStopping);
        ASSERT_TRUE(waitUntil([&] { return driver.boxes().size() == 2; }, 30000));
        EXPECT_EQ(driver.boxes().at(1).title, QStringLiteral("停止"));
        EXPECT_EQ(driver.boxes().at(1).text, QStringLiteral("设备停止成功!"))
            << driver.boxes().at(1).text.toStdString();
        EXPECT_TRUE(pc.m_frame->connectedDevice().isEmpty());
        EXPECT_EQ(vpnInstructions(pc.m_cloud, kSn, false), 1);

        // The tunnel is gone: the client ended, its address and route removed,
        // the panel's LAN out of reach again.
        EXPECT_NE(kill(static_cast<pid_t>(child), 0), 0);
        EXPECT_FALSE(hasTunnelAddress());
        const QString down = NetnsLab::ownRoutes();
        EXPECT_FALSE(down.contains(QStringLiteral("10.77.0.0/24"))) << down.toStdString();
        EXPECT_FALSE(down.contains(QStringLiteral("tun"))) << down.toStdString();
        EXPECT_TRUE(echo(kLanAddress, kEchoPort, "gone\n").isEmpty());
        EXPECT_EQ(driver.unexpectedBoxes(), 0);
        return;
    }
    runInner();
}

} // namespace
