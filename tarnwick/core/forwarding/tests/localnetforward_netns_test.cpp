// Local network forwarding end to end in network namespaces of the test's
// own: the panel's bridge service and an echo listener on the network behind
// the panel run in the panel's namespace; the manager runs with the real `ip`
// in the PC's namespace, as this same test started again inside it. The
// machine's own routes are compared before and after.

#include "tarnwick/core/forwarding/localnetforwardmanager.h"

#include "tarnwick/core/constants.h"
#include "tarnwick/core/tests/paneltesthelpers.h"

#include "platform/settings/registrysettings.h"
#include "testing/vpnharness/netnslabtest.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

using PanelTest::waitUntil;

namespace {

const QString kLanAddress = QStringLiteral("192.168.77.25");
constexpr quint16 kEchoPort = 7007;

class ForwardNetnsTest : public NetnsLabTest {
protected:
    // The network behind the panel, with the echo listener on it.
    void startPeers() override { startPanelSide(kLanAddress, kEchoPort); }
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

TEST_F(ForwardNetnsTest, RouteThroughThePanelCarriesTrafficAndGoesWithTheBridge)
{
    if (NetnsLab::isInner()) {
        QTemporaryDir config;
        qputenv("XDG_CONFIG_HOME", QFile::encodeName(config.path()));
        const QString route =
            QStringLiteral("192.168.77.0/24 via %1 dev %2").arg(NetnsLab::panelAddress(), NetnsLab::pcInterface());
        // Without the forwarding the network behind the panel is out of reach.
        EXPECT_TRUE(echo(kLanAddress, kEchoPort, "nothing\n").isEmpty());

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
        EXPECT_EQ(echo(kLanAddress, kEchoPort, "through the panel\n"), QByteArray("through the panel\n"));

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
        EXPECT_TRUE(echo(kLanAddress, kEchoPort, "gone\n").isEmpty());
        return;
    }
    runInner();
}

} // namespace
