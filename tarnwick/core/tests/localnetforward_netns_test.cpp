// Local network forwarding end to end in network namespaces of the test's
// own: the panel's bridge service and an echo listener on the network behind
// the panel run in the panel's namespace; the manager runs with the real `ip`
// in the PC's namespace, as this same test started again inside it. The
// machine's own routes are compared before and after.

#include "tarnwick/core/localnetforwardmanager.h"

#include "tarnwick/core/constants.h"
#include "tarnwick/core/tests/paneltesthelpers.h"

#include "platform/process/win32process.h"
#include "platform/route/routecommand.h"
#include "platform/settings/registrysettings.h"
#include "testing/vpnharness/netnslabtest.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QThread>


using PanelTest::waitUntil;

namespace {

const QString kLanAddress = QStringLiteral("192.168.77.25");
constexpr quint16 kEchoPort = 7007;

class ForwardNetnsTest : public NetnsLabTest
{
protected:
    void SetUp() override
    {
        NetnsLabTest::SetUp();
        if (NetnsLab::isInner() || IsSkipped() || HasFatalFailure())
            return;
        QString error;
        // The network behind the panel: an interface of the panel's own.
        ASSERT_TRUE(m_lab.must(m_lab.panel(), {"link", "add", "lan0", "type", "veth", "peer", "name", "lan1"}, &error))
            << error.toStdString();
        ASSERT_TRUE(m_lab.must(m_lab.panel(), {"addr", "add", kLanAddress + "/24", "dev", "lan0"}, &error))
            << error.toStdString();
        ASSERT_TRUE(m_lab.must(m_lab.panel(), {"link", "set", "lan0", "up"}, &error)) << error.toStdString();
        ASSERT_TRUE(m_lab.must(m_lab.panel(), {"link", "set", "lan1", "up"}, &error)) << error.toStdString();

        const QString ready = m_dir.filePath(QStringLiteral("panel.ready"));
        ASSERT_TRUE(m_panel.start(RouteCommand::ipProgram(),
                                  {QStringLiteral("netns"), QStringLiteral("exec"), m_lab.panel(),
                                   QStringLiteral(TW_VPNHARNESS_PANEL), NetnsLab::panelAddress(),
                                   QStringLiteral("9009"), kLanAddress, QString::number(kEchoPort),
                                   m_dir.filePath(QStringLiteral("control")), ready}));
        QElapsedTimer clock;
        clock.start();
        while (!QFile::exists(ready) && clock.elapsed() < 20000 && !m_panel.hasExited())
            QThread::msleep(20);
        ASSERT_TRUE(QFile::exists(ready)) << "the panel side did not come up";
    }

    void stopPeers() override { m_panel.stop(); }

    Win32Process m_panel;
};

QString storedRemoval()
{
    RegistrySettings settings(Tarnwick::Constants::kSettingsPath);
    return settings.value(Tarnwick::Constants::kKeyLocalNetRouteDelCmd).toString();
}

void setBridge(bool on)
{
    QFile control(QDir(NetnsLabTest::innerDir()).filePath(QStringLiteral("control")));
    ASSERT_TRUE(control.open(QIODevice::WriteOnly | QIODevice::Truncate));
    control.write(on ? "1" : "0");
}

// Sends a line to the echo listener behind the panel; its answer, or empty.
QByteArray echoThroughThePanel(const QByteArray& line)
{
    QTcpSocket socket;
    socket.connectToHost(kLanAddress, kEchoPort);
    if (!socket.waitForConnected(3000))
        return QByteArray();
    socket.write(line);
    QByteArray answer;
    QElapsedTimer clock;
    clock.start();
    while (answer.size() < line.size() && clock.elapsed() < 5000) {
        if (socket.waitForReadyRead(200))
            answer += socket.readAll();
    }
    return answer;
}

TEST_F(ForwardNetnsTest, RouteThroughThePanelCarriesTrafficAndGoesWithTheBridge)
{
    if (NetnsLab::isInner()) {
        QTemporaryDir config;
        qputenv("XDG_CONFIG_HOME", QFile::encodeName(config.path()));
        const QString route = QStringLiteral("192.168.77.0/24 via %1 dev %2")
                                  .arg(NetnsLab::panelAddress(), NetnsLab::pcInterface());
        // Without the forwarding the network behind the panel is out of reach.
        EXPECT_TRUE(echoThroughThePanel("nothing\n").isEmpty());

        QStringList events;
        LocalNetForwardManager manager;
        manager.setBeatInterval(300);
        QObject::connect(&manager, &LocalNetForwardManager::deviceConnectComplete,
                         [&](QString ip, bool ok) { events << QStringLiteral("complete %1 %2").arg(ip).arg(ok); });
        QObject::connect(&manager, &LocalNetForwardManager::deviceDropline,
                         [&](QString ip) { events << QStringLiteral("dropline ") + ip; });
        QObject::connect(&manager, &LocalNetForwardManager::deviceOfflineline,
                         [&](QString ip) { events << QStringLiteral("offline ") + ip; });

        setBridge(true);
        manager.startNetForward(NetnsLab::panelAddress(), kLanAddress);
        ASSERT_TRUE(waitUntil([&] { return !events.isEmpty(); }, 15000));
        ASSERT_EQ(events.last(), QStringLiteral("complete 172.31.77.1 1"));
        EXPECT_TRUE(NetnsLab::ownRoutes().contains(route)) << NetnsLab::ownRoutes().toStdString();
        EXPECT_EQ(storedRemoval(), QStringLiteral("route delete 192.168.77.0 172.31.77.1"));
        EXPECT_EQ(echoThroughThePanel("through the panel\n"), QByteArray("through the panel\n"));

        // The panel lets go of its bridge: the next heart-beat drops the forwarding.
        setBridge(false);
        ASSERT_TRUE(waitUntil([&] { return events.size() == 2; }, 15000));
        EXPECT_EQ(events.last(), QStringLiteral("dropline 172.31.77.1"));
        EXPECT_FALSE(NetnsLab::ownRoutes().contains(QStringLiteral("192.168.77.0/24")));
        EXPECT_EQ(storedRemoval(), QString());
        EXPECT_EQ(manager.stateName(), QStringLiteral("stop"));

        setBridge(true);
        manager.startNetForward(NetnsLab::panelAddress(), kLanAddress);
        ASSERT_TRUE(waitUntil([&] { return events.size() == 3; }, 15000));
        ASSERT_EQ(events.last(), QStringLiteral("complete 172.31.77.1 1"));
        EXPECT_TRUE(NetnsLab::ownRoutes().contains(route));
        manager.stopNetForward(true);
        ASSERT_TRUE(waitUntil([&] { return events.size() == 4; }, 15000));
        EXPECT_EQ(events.last(), QStringLiteral("offline 172.31.77.1"));
        EXPECT_FALSE(NetnsLab::ownRoutes().contains(QStringLiteral("192.168.77.0/24")));
        EXPECT_EQ(storedRemoval(), QString());
        EXPECT_TRUE(echoThroughThePanel("gone\n").isEmpty());
        return;
    }
    runInner();
}

} // namespace
