// The VPN end to end in network namespaces of the test's own: a real OpenVPN
// server on the panel side, the fake cloud and Tarnwick's session and VPN
// classes on the PC side, which runs as this same test started again inside
// the PC namespace. The machine's own routes are compared before and after.

#include "tarnwick/cloud/vpnclient.h"
#include "tarnwick/cloud/vpnmanager.h"

#include "cloudtesthelpers.h"
#include "testing/fakecloud/fakecloud.h"
#include "testing/vpnharness/netnslabtest.h"
#include "testing/vpnharness/openvpntestserver.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QDirIterator>
#include <QElapsedTimer>
#include <QFile>
#include <QNetworkInterface>
#include <QSignalSpy>
#include <QTcpSocket>
#include <QTemporaryDir>

#include <csignal>

using VPN_Android::VpnManager;

namespace {

constexpr int kServerPort = 1194;

struct Status {
    QString state;
    QString ip;
};

class VpnNetnsTest : public NetnsLabTest {
protected:
    void stopPeers() override { m_server.stop(); }
    QString diagnostics() const override { return QStringLiteral("\n--- server log ---\n") + m_server.log(); }

    void prepareServerFiles()
    {
        QString error;
        ASSERT_TRUE(m_server.makePki(&error)) << error.toStdString();
    }

    OpenVpnTestServer m_server{m_dir.path()};
};

// The PC side: log in to the fake cloud, connect the device, start the VPN
// with what the session hands over, as the main window does.
class PcSide {
public:
    PcSide()
    {
        EXPECT_TRUE(m_work.isValid());
        QDir::setCurrent(m_work.path());
        QFile config(QDir(NetnsLabTest::innerDir()).filePath(QStringLiteral("client.ovpn")));
        EXPECT_TRUE(config.open(QIODevice::ReadOnly));
        EXPECT_TRUE(m_cloud.start());
        m_cloud.setServerPassword(QStringLiteral("srvpass"));
        m_cloud.addUser(QStringLiteral("alice"), QStringLiteral("pw123456"));
        m_cloud.setConfig(QStringLiteral("box.ovpn"), config.readAll());
        m_cloud.setVpnCredentials(OpenVpnTestServer::user(), OpenVpnTestServer::password());
        FakeCloudDevice device;
        device.sn = QStringLiteral("SN1");
        device.serverIP = NetnsLab::panelAddress();
        device.serverPort = kServerPort;
        m_cloud.addDevice(device);
        QObject::connect(&m_manager, &VpnManager::signalVPNStatus, [this](QString state, QString ip) {
            m_status.push_back({state, ip});
        });
    }

    ~PcSide() { QDir::setCurrent(QDir::rootPath()); }

    stBoxData loginAndConnect()
    {
        stLoginData login;
        login.strUser = QStringLiteral("alice");
        login.strServerPswd = QStringLiteral("srvpass");
        login.strDevicePswd = QStringLiteral("alicepw123456");
        login.strServerAddr = m_cloud.host();
        QSignalSpy logins(&m_client, &VPNClient::LoginSignal);
        m_client.Login(login);
        EXPECT_TRUE(waitUntil([&] { return logins.count() == 1; }, 10000));
        EXPECT_TRUE(logins.count() == 1 && logins[0][0].toBool());
        QSignalSpy connects(&m_client, &VPNClient::ConnectSignal);
        stBoxData box;
        box.sn = QStringLiteral("SN1");
        m_client.Connect(box);
        EXPECT_TRUE(waitUntil([&] { return connects.count() == 1; }, 10000));
        if (connects.count() != 1 || !connects[0][0].toBool())
            return stBoxData();
        return connects[0][1].value<stBoxData>();
    }

    bool startVpn(const stBoxData& box)
    {
        m_manager.setConfigData(m_client.GetConfigData());
        return m_manager.startVPN(VPNClient::GetVpnDirectory(), m_client.GetConfigName(), box.serverIP, box.serverPort,
                                  box.openvpnUser, box.openvpnPassword);
    }

    // Connects to a closed port of the server's tunnel address: a refusal
    // means the packets went through the tunnel and the server's side answered.
    static QAbstractSocket::SocketError probeThroughTheTunnel()
    {
        QTcpSocket socket;
        socket.connectToHost(OpenVpnTestServer::tunnelGateway(), 9);
        if (socket.waitForConnected(3000))
            return QAbstractSocket::UnknownSocketError;
        return socket.error();
    }

    // The service's own configuration, as the cloud hands it out.
    static QByteArray ownConfig()
    {
        QFile config(QDir(NetnsLabTest::innerDir()).filePath(QStringLiteral("client.ovpn")));
        return config.open(QIODevice::ReadOnly) ? config.readAll() : QByteArray();
    }

    // Whether a process of the machine has the text among its arguments.
    static bool processWithArgument(const QByteArray& text)
    {
        QDirIterator it(QStringLiteral("/proc"), QDir::Dirs | QDir::NoDotAndDotDot);
        while (it.hasNext()) {
            QFile cmdline(it.next() + QStringLiteral("/cmdline"));
            if (cmdline.open(QIODevice::ReadOnly) && cmdline.readAll().split('\0').contains(text))
                return true;
        }
        return false;
    }

    static bool hasAddressStarting(const QString& prefix)
    {
        for (const QHostAddress& a : QNetworkInterface::allAddresses()) {
            if (a.toString().startsWith(prefix))
                return true;
        }
        return false;
    }

    QTemporaryDir m_work;
    FakeCloud m_cloud;
    std::vector<Status> m_status;
    VPNClient m_client;
    VpnManager m_manager;
};

TEST_F(VpnNetnsTest, LoginConnectAndStartRaiseTheTunnelAndQuitTakesItDown)
{
    if (NetnsLab::isInner()) {
        PcSide pc;
        const stBoxData box = pc.loginAndConnect();
        ASSERT_EQ(box.openvpnUser, OpenVpnTestServer::user());
        QElapsedTimer clock;
        clock.start();
        ASSERT_TRUE(pc.startVpn(box));
        EXPECT_LT(clock.elapsed(), 9000);
        ASSERT_FALSE(pc.m_status.empty());
        EXPECT_EQ(pc.m_status.back().state, QStringLiteral("CONNECTED"));
        EXPECT_TRUE(pc.m_status.back().ip.startsWith(QStringLiteral("10.8.0."))) << pc.m_status.back().ip.toStdString();
        const QString up = NetnsLab::ownRoutes();
        EXPECT_TRUE(up.contains(QStringLiteral("10.77.0.0/24 via 10.8.0.1 dev tun"))) << up.toStdString();
        EXPECT_TRUE(QFile::exists(QStringLiteral("data/vpnkey.txt")));
        EXPECT_EQ(PcSide::probeThroughTheTunnel(), QAbstractSocket::ConnectionRefusedError);
        const qint64 child = pc.m_manager.childPid();
        ASSERT_GT(child, 0);

        pc.m_manager.quit(false);
        EXPECT_NE(kill(static_cast<pid_t>(child), 0), 0);
        EXPECT_FALSE(PcSide::hasAddressStarting(QStringLiteral("10.8.0.")));
        const QString down = NetnsLab::ownRoutes();
        EXPECT_FALSE(down.contains(QStringLiteral("10.77.0.0/24"))) << down.toStdString();
        EXPECT_FALSE(down.contains(QStringLiteral("tun"))) << down.toStdString();
        // A route with a 10.x gateway on another interface is not the tunnel's.
        EXPECT_TRUE(down.contains(QStringLiteral("10.200.0.0/24 via 10.66.0.1 dev vpc0"))) << down.toStdString();
        EXPECT_FALSE(QFile::exists(QStringLiteral("data/vpnkey.txt")));
        EXPECT_NE(PcSide::probeThroughTheTunnel(), QAbstractSocket::ConnectionRefusedError);
        EXPECT_EQ(pc.m_status.back().state, QString());
        return;
    }
    prepareServerFiles();
    QString error;
    ASSERT_TRUE(m_server.start(m_lab.panel(), NetnsLab::panelAddress(), kServerPort, &error)) << error.toStdString();
    ASSERT_TRUE(m_lab.must(m_lab.pc(), {"addr", "add", "10.66.0.2/24", "dev", NetnsLab::pcInterface()}, &error))
        << error.toStdString();
    ASSERT_TRUE(m_lab.must(m_lab.pc(), {"route", "add", "10.200.0.0/24", "via", "10.66.0.1"}, &error))
        << error.toStdString();
    runInner();
}

TEST_F(VpnNetnsTest, RefusedConfigurationsStartNoOpenvpn)
{
    if (NetnsLab::isInner()) {
        PcSide pc;
        const QByteArray own = PcSide::ownConfig();
        ASSERT_TRUE(own.contains("</ca>"));
        const QByteArray written = QDir(pc.m_work.path()).filePath(QStringLiteral("written")).toUtf8();
        const QByteArray plugin = "/usr/lib/x86_64-linux-gnu/openvpn/plugins/openvpn-plugin-down-root.so";
        const struct {
            const char* what;
            QByteArray text;
        } hostile[] = {
            {"single-quoted log", own + "'log' " + written + "\n"},
            {"quoted management after a byte-order mark", "\xEF\xBB\xBF\"management\" 127.0.0.1 7505\n" + own},
            {"plugin on the closing line", QByteArray(own).replace("</ca>", "</ca> plugin " + plugin + " /bin/true")},
            {"replay-persist", own + "--replay-persist " + written + "\n"},
            {"quoted status", own + "\"status\" " + written + " 1\n"},
        };
        for (const auto& c : hostile) {
            SCOPED_TRACE(c.what);
            QFile::remove(QString::fromUtf8(written));
            pc.m_cloud.setConfig(QStringLiteral("box.ovpn"), c.text);
            const stBoxData box = pc.loginAndConnect();
            ASSERT_EQ(box.openvpnUser, OpenVpnTestServer::user());
            LogCapture log;
            EXPECT_FALSE(pc.startVpn(box));
            EXPECT_TRUE(LogCapture::contains(QStringLiteral("VpnManager: configuration refused at line ")));
            EXPECT_EQ(pc.m_manager.childPid(), -1);
            const QString config = QDir::cleanPath(QDir::current().absoluteFilePath(pc.m_client.GetConfigName()));
            EXPECT_FALSE(PcSide::processWithArgument(QFile::encodeName(config)));
            EXPECT_FALSE(QFile::exists(QString::fromUtf8(written)));
            EXPECT_FALSE(QFile::exists(QStringLiteral("data/vpnkey.txt")));
            QTcpSocket management;
            management.connectToHost(QStringLiteral("127.0.0.1"), 7505);
            EXPECT_FALSE(management.waitForConnected(1000));
        }
        return;
    }
    prepareServerFiles();
    runInner();
}

TEST_F(VpnNetnsTest, OpenvpnRefusingItsConfigurationIsLoggedAndEndsTheWait)
{
    if (NetnsLab::isInner()) {
        PcSide pc;
        // Without its CA the service's configuration is one openvpn will not run.
        const QByteArray own = PcSide::ownConfig();
        const int ca = own.indexOf("<ca>");
        ASSERT_GT(ca, 0);
        pc.m_cloud.setConfig(QStringLiteral("box.ovpn"), own.left(ca));
        const stBoxData box = pc.loginAndConnect();
        ASSERT_EQ(box.openvpnUser, OpenVpnTestServer::user());
        // The whole wait would take ten minutes; openvpn's end cuts it short.
        pc.m_manager.setWaitTiming(1000, 600);
        LogCapture log;
        QElapsedTimer clock;
        clock.start();
        EXPECT_TRUE(pc.startVpn(box));
        EXPECT_LT(clock.elapsed(), 60000);
        ASSERT_EQ(pc.m_status.size(), 1u);
        EXPECT_EQ(pc.m_status[0].state, QString());
        EXPECT_TRUE(pc.m_manager.hasChildEnded());
        EXPECT_TRUE(LogCapture::contains(QStringLiteral("VpnManager: openvpn ended by itself with exit status 1")))
            << LogCapture::all().toStdString();
        EXPECT_TRUE(LogCapture::contains(QStringLiteral("VpnManager: openvpn: Options error: You must define CA file")))
            << LogCapture::all().toStdString();
        pc.m_manager.quit(false);
        EXPECT_FALSE(PcSide::hasAddressStarting(QStringLiteral("10.8.")));
        return;
    }
    prepareServerFiles();
    QString error;
    ASSERT_TRUE(m_server.start(m_lab.panel(), NetnsLab::panelAddress(), kServerPort, &error)) << error.toStdString();
    runInner();
}

TEST_F(VpnNetnsTest, ServerDownAndATenTenAddressElsewhereMeanNoConnectedAndNoRouteDeleted)
{
    if (NetnsLab::isInner()) {
        PcSide pc;
        const stBoxData box = pc.loginAndConnect();
        ASSERT_EQ(box.openvpnUser, OpenVpnTestServer::user());
        const QString before = NetnsLab::ownRoutes();
        ASSERT_TRUE(before.contains(QStringLiteral("10.201.0.0/24 via 10.10.5.1 dev side0"))) << before.toStdString();
        ASSERT_TRUE(pc.startVpn(box));
        ASSERT_EQ(pc.m_status.size(), 1u);
        EXPECT_EQ(pc.m_status[0].state, QString());
        EXPECT_EQ(pc.m_status[0].ip, QString());
        pc.m_manager.quit(false);
        for (const Status& s : pc.m_status)
            EXPECT_NE(s.state, QStringLiteral("CONNECTED"));
        EXPECT_EQ(NetnsLab::ownRoutes(), before);
        return;
    }
    prepareServerFiles();
    QString error;
    // Another interface of the PC (a veth pair of its own) holds a 10.10.x address.
    ASSERT_TRUE(m_lab.must(m_lab.pc(), {"link", "add", "side0", "type", "veth", "peer", "name", "side1"}, &error))
        << error.toStdString();
    ASSERT_TRUE(m_lab.must(m_lab.pc(), {"addr", "add", "10.10.5.2/24", "dev", "side0"}, &error)) << error.toStdString();
    ASSERT_TRUE(m_lab.must(m_lab.pc(), {"link", "set", "side0", "up"}, &error)) << error.toStdString();
    ASSERT_TRUE(m_lab.must(m_lab.pc(), {"link", "set", "side1", "up"}, &error)) << error.toStdString();
    ASSERT_TRUE(m_lab.must(m_lab.pc(), {"route", "add", "10.201.0.0/24", "via", "10.10.5.1"}, &error))
        << error.toStdString();
    runInner();
}

// The IPv4 and IPv6 routes of this namespace that do not lead through a tun device.
QStringList routesBesideTheTunnel(const QString& table)
{
    QStringList kept;
    for (const QString& line : table.split(QLatin1Char('\n'), Qt::SkipEmptyParts))
        if (!line.contains(QStringLiteral(" dev tun")))
            kept << line.trimmed();
    return kept;
}

std::string lines(const QStringList& list)
{
    return list.join(QLatin1Char('\n')).toStdString();
}

// The destinations of the routes through a tun device, sorted.
QStringList tunnelRoutes(const QString& table)
{
    QStringList destinations;
    for (const QString& line : table.split(QLatin1Char('\n'), Qt::SkipEmptyParts))
        if (line.contains(QStringLiteral(" dev tun")))
            destinations << line.section(QLatin1Char(' '), 0, 0);
    destinations.sort();
    return destinations;
}

// The way the PC would send a packet to address.
QString routeTo(const QString& address)
{
    return QString::fromLocal8Bit(NetnsLab::ip({QStringLiteral("route"), QStringLiteral("get"), address}).output);
}

QString ownRoutes6()
{
    return QString::fromLocal8Bit(
        NetnsLab::ip({QStringLiteral("-6"), QStringLiteral("route"), QStringLiteral("show")}).output);
}

TEST_F(VpnNetnsTest, ServerTakingOverTheDefaultRoutesIsIgnoredWhileThePanelsRouteWorks)
{
    const QString lan = QStringLiteral("10.77.0.25");
    constexpr quint16 echoPort = 7007;
    if (NetnsLab::isInner()) {
        PcSide pc;
        const QString before4 = NetnsLab::ownRoutes();
        const QString before6 = ownRoutes6();
        ASSERT_TRUE(before4.contains(QStringLiteral("default via 172.31.77.1 dev vpc0"))) << before4.toStdString();
        ASSERT_TRUE(before6.contains(QStringLiteral("default via fd00:31::1 dev vpc0"))) << before6.toStdString();
        const stBoxData box = pc.loginAndConnect();
        ASSERT_EQ(box.openvpnUser, OpenVpnTestServer::user());
        ASSERT_TRUE(pc.startVpn(box));
        ASSERT_FALSE(pc.m_status.empty());
        ASSERT_EQ(pc.m_status.back().state, QStringLiteral("CONNECTED"));

        // The server did push the takeover (its log shows the reply)...
        QFile serverLogFile(QDir(NetnsLabTest::innerDir()).filePath(QStringLiteral("server.log")));
        ASSERT_TRUE(serverLogFile.open(QIODevice::ReadOnly));
        const QString serverLog = QString::fromLocal8Bit(serverLogFile.readAll());
        EXPECT_TRUE(serverLog.contains(QStringLiteral("redirect-gateway def1 ipv6"))) << serverLog.toStdString();
        EXPECT_TRUE(serverLog.contains(QStringLiteral("route-ipv6 2000::/3"))) << serverLog.toStdString();
        // ...and the PC's own routes stand as they were: no half of the IPv4
        // space and no IPv6 route through the tunnel but its own network.
        const QString up4 = NetnsLab::ownRoutes();
        const QString up6 = ownRoutes6();
        EXPECT_EQ(lines(routesBesideTheTunnel(up4)), lines(routesBesideTheTunnel(before4)));
        EXPECT_EQ(lines(routesBesideTheTunnel(up6)), lines(routesBesideTheTunnel(before6)));
        EXPECT_EQ(lines(tunnelRoutes(up4)), "10.77.0.0/24\n10.8.0.0/24");
        const QStringList tunnel6 = tunnelRoutes(up6);
        EXPECT_TRUE(tunnel6.contains(OpenVpnTestServer::tunnelNetwork6())) << up6.toStdString();
        for (const QString& destination : tunnel6)
            EXPECT_TRUE(destination == OpenVpnTestServer::tunnelNetwork6()
                        || destination == QStringLiteral("fe80::/64"))
                << up6.toStdString();
        // Any other destination still leaves by the PC's own way.
        for (const char* elsewhere : {"203.0.113.9", "2001:db8::9"}) {
            const QString way = routeTo(QString::fromLatin1(elsewhere));
            EXPECT_TRUE(way.contains(QStringLiteral(" dev vpc0 "))) << way.toStdString();
        }
        EXPECT_TRUE(routeTo(lan).contains(QStringLiteral(" dev tun"))) << routeTo(lan).toStdString();
        // The pushed route to the panel's network is there and carries traffic.
        EXPECT_TRUE(up4.contains(QStringLiteral("10.77.0.0/24 via 10.8.0.1 dev tun"))) << up4.toStdString();
        EXPECT_EQ(echo(lan, echoPort, "to the panel\n"), QByteArray("to the panel\n"));

        pc.m_manager.quit(false);
        EXPECT_EQ(NetnsLab::ownRoutes(), before4);
        EXPECT_EQ(lines(routesBesideTheTunnel(ownRoutes6())), lines(routesBesideTheTunnel(before6)));
        EXPECT_FALSE(ownRoutes6().contains(QStringLiteral(" dev tun"))) << ownRoutes6().toStdString();
        return;
    }
    prepareServerFiles();
    m_server.pushTakeover();
    QString error;
    // The PC has default routes of its own (IPv4 and IPv6) through the panel's side.
    ASSERT_TRUE(m_lab.must(m_lab.pc(), {"route", "add", "default", "via", NetnsLab::panelAddress()}, &error))
        << error.toStdString();
    ASSERT_TRUE(m_lab.must(m_lab.panel(),
                           {"-6", "addr", "add", "fd00:31::1/64", "dev", NetnsLab::panelInterface(), "nodad"}, &error))
        << error.toStdString();
    ASSERT_TRUE(
        m_lab.must(m_lab.pc(), {"-6", "addr", "add", "fd00:31::2/64", "dev", NetnsLab::pcInterface(), "nodad"}, &error))
        << error.toStdString();
    ASSERT_TRUE(m_lab.must(m_lab.pc(), {"-6", "route", "add", "default", "via", "fd00:31::1"}, &error))
        << error.toStdString();
    startPanelSide(lan, echoPort);
    ASSERT_FALSE(HasFatalFailure());
    ASSERT_TRUE(m_server.start(m_lab.panel(), NetnsLab::panelAddress(), kServerPort, &error)) << error.toStdString();
    runInner();
}

} // namespace
