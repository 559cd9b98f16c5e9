#include "tarnwick/cloud/vpnmanager.h"

#include "cloudtesthelpers.h"
#include "platform/process/recordingcommandrunner.h"
#include "tarnwick/core/programpath.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QTimer>

#include <csignal>
#include <thread>

#include <sys/stat.h>

using VPN_Android::InterfaceAddress;
using VPN_Android::VpnManager;
using VPN_Android::VpnRunStatus;

namespace {

const QString kServer = QStringLiteral("127.31.0.9");

struct StatusSignal {
    QString state;
    QString ip;
};

// Every test runs in a folder of its own with a fake openvpn under the VPN
// folder, so that the system's openvpn is never started here.
class VpnManagerTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(m_dir.isValid());
        m_oldCwd = QDir::currentPath();
        m_oldPath = qgetenv("PATH");
        ASSERT_TRUE(QDir::setCurrent(m_dir.path()));
        // The fake openvpn is "installed" beside the program, which is here too.
        ProgramPath::setBaseDir(m_dir.path());
        ASSERT_TRUE(QDir().mkpath(QStringLiteral("vpn/x64/config")));
        writeFakeOpenvpn(QStringLiteral("#!/bin/sh\nprintf '%s\\n' \"$@\" > '%1'\nexec sleep 1000\n")
                             .arg(m_dir.filePath(QStringLiteral("args.txt"))));
        writeConfig(QByteArray("client\ndev tun\nproto udp\nblock-outside-dns\n"));

        m_manager.setCommandRunner(&m_runner);
        m_manager.setWaitTiming(30, 10);
        m_manager.setAddressLister([this] { return m_addresses; });
        QObject::connect(&m_manager, &VpnManager::signalVPNStatus, [this](QString state, QString ip) {
            m_status.push_back({state, ip});
        });
        QObject::connect(&m_manager, &VpnManager::signalRunStatus,
                         [this](VpnRunStatus state) { m_runStatus.push_back(state); });
        m_addresses = {{QStringLiteral("lo"), QStringLiteral("127.0.0.1")},
                       {QStringLiteral("eth0"), QStringLiteral("192.0.2.2")}};
    }

    void TearDown() override
    {
        m_manager.quit(false);
        ProgramPath::setBaseDir(QString());
        QDir::setCurrent(m_oldCwd);
        qputenv("PATH", m_oldPath);
    }

    void writeFakeOpenvpn(const QString& script)
    {
        QFile f(QStringLiteral("vpn/x64/openvpn"));
        ASSERT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
        f.write(script.toUtf8());
        f.close();
        f.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    }

    void writeConfig(const QByteArray& text)
    {
        QFile f(QStringLiteral("vpn/x64/config/box.ovpn"));
        ASSERT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
        f.write(text);
    }

    bool start(const QString& server = kServer, int port = 1194, const QString& user = QStringLiteral("box-user"))
    {
        return m_manager.startVPN(QStringLiteral("vpn/x64/"), QStringLiteral("vpn/x64/config/box.ovpn"), server, port,
                                  user, QStringLiteral("s3cret pass"));
    }

    QStringList childArguments()
    {
        QFile f(m_dir.filePath(QStringLiteral("args.txt")));
        QStringList args;
        TestWait::waitUntil(
            [&] {
                if (!f.open(QIODevice::ReadOnly))
                    return false;
                const QString text = QString::fromUtf8(f.readAll());
                f.close();
                if (!text.endsWith(QLatin1Char('\n')) || !text.contains(QStringLiteral("--script-security\n1\n")))
                    return false;
                args = text.split(QLatin1Char('\n'), Qt::SkipEmptyParts);
                return true;
            },
            10000);
        return args;
    }

    bool argsFileWritten() const { return QFile::exists(m_dir.filePath(QStringLiteral("args.txt"))); }

    static bool alive(qint64 pid) { return pid > 0 && kill(static_cast<pid_t>(pid), 0) == 0; }

    QTemporaryDir m_dir;
    QString m_oldCwd;
    QByteArray m_oldPath;
    // Everything the manager's handlers touch outlives it.
    RecordingCommandRunner m_runner;
    QVector<InterfaceAddress> m_addresses;
    std::vector<StatusSignal> m_status;
    std::vector<VpnRunStatus> m_runStatus;
    VpnManager m_manager;
};

TEST_F(VpnManagerTest, OpenvpnGetsPlainArgumentsPushFiltersAndTheScriptLevelAfterTheConfiguration)
{
    ASSERT_TRUE(start());
    const QStringList args = childArguments();
    QStringList expected{QStringLiteral("--ignore-unknown-option")};
    expected << VpnManager::windowsOnlyOptions();
    // The server's takeover of the PC's default routes is ignored, before the
    // configuration could bring filters of its own.
    for (const char* pushed : {"redirect-gateway", "redirect-private", "route-ipv6"})
        expected << QStringLiteral("--pull-filter") << QStringLiteral("ignore") << QString::fromLatin1(pushed);
    expected << QStringLiteral("--config") << m_dir.filePath(QStringLiteral("vpn/x64/config/box.ovpn"))
             << QStringLiteral("--remote") << kServer << QStringLiteral("1194") << QStringLiteral("--auth-user-pass")
             << QStringLiteral("data/vpnkey.txt") << QStringLiteral("--script-security") << QStringLiteral("1");
    EXPECT_EQ(args, expected);
    for (const QString& a : args) {
        EXPECT_FALSE(a.contains(QLatin1Char('"'))) << a.toStdString();
        EXPECT_FALSE(a.contains(QStringLiteral("s3cret"))) << a.toStdString();
    }
    EXPECT_FALSE(args.contains(QStringLiteral("--dhcp-renew")));
    EXPECT_FALSE(args.contains(QStringLiteral("--dhcp-pre-release")));
    EXPECT_EQ(m_runStatus, std::vector<VpnRunStatus>({VpnRunStatus::Started}));
}

TEST_F(VpnManagerTest, UserFileIsOwnerOnlyWhileRunningAndGoneAfterQuit)
{
    ASSERT_TRUE(start());
    const qint64 child = m_manager.childPid();
    ASSERT_TRUE(alive(child));
    struct stat st {};
    ASSERT_EQ(stat("data/vpnkey.txt", &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0600u);
    QFile key(QStringLiteral("data/vpnkey.txt"));
    ASSERT_TRUE(key.open(QIODevice::ReadOnly));
    EXPECT_EQ(key.readAll(), QByteArray("box-user\ns3cret pass"));
    key.close();

    m_manager.quit(false);
    EXPECT_FALSE(QFile::exists(QStringLiteral("data/vpnkey.txt")));
    EXPECT_FALSE(alive(child));
    EXPECT_EQ(m_manager.childPid(), -1);
    EXPECT_EQ(m_manager.runStatus(), VpnRunStatus::Stopped);
}

TEST_F(VpnManagerTest, NewTunnelAddressMeansConnected)
{
    // Present before the start, so not the tunnel's.
    m_addresses.append({QStringLiteral("eth1"), QStringLiteral("10.8.5.5")});
    QTimer::singleShot(60, &m_manager, [this] {
        m_addresses.append({QStringLiteral("tun0"), QStringLiteral("10.1.0.6")});
        m_addresses.append({QStringLiteral("tun0"), QStringLiteral("10.80.0.6")});
        m_addresses.append({QStringLiteral("tun0"), QStringLiteral("10.10.0.6")});
    });
    QElapsedTimer clock;
    clock.start();
    ASSERT_TRUE(start());
    EXPECT_LT(clock.elapsed(), 5000);
    ASSERT_EQ(m_status.size(), 1u);
    EXPECT_EQ(m_status[0].state, QStringLiteral("CONNECTED"));
    EXPECT_EQ(m_status[0].ip, QStringLiteral("10.10.0.6"));
    EXPECT_EQ(m_manager.vpnIp(), QStringLiteral("10.10.0.6"));
    EXPECT_EQ(m_manager.runStatus(), VpnRunStatus::Prepared);
}

TEST_F(VpnManagerTest, QuitRemovesOnlyGatewayRoutesOnTheTunnel)
{
    QTimer::singleShot(40, &m_manager, [this] {
        m_addresses.append({QStringLiteral("tun0"), QStringLiteral("10.8.0.6")});
    });
    ASSERT_TRUE(start());
    ASSERT_EQ(m_manager.vpnIp(), QStringLiteral("10.8.0.6"));
    m_runner.queueResult(RecordingCommandRunner::exitResult(
        0, R"([{"dst":"default","gateway":"192.0.2.1","dev":"eth0"},)"
           R"({"dst":"10.200.0.0/24","gateway":"10.66.0.1","dev":"eth1"},)"
           R"({"dst":"10.8.0.0/24","dev":"tun0","protocol":"kernel","scope":"link","prefsrc":"10.8.0.6"},)"
           R"({"dst":"10.77.0.0/24","gateway":"10.8.0.1","dev":"tun0"},)"
           R"({"dst":"0.0.0.0/1","gateway":"10.8.0.1","dev":"tun0"}])"));
    m_manager.quit(false);
    EXPECT_EQ(m_runner.argumentLines(), QStringList({QStringLiteral("-4 -j route show"),
                                                     QStringLiteral("-4 route del 10.77.0.0/24 via 10.8.0.1 dev tun0"),
                                                     QStringLiteral("-4 route del 0.0.0.0/1 via 10.8.0.1 dev tun0")}));
    ASSERT_FALSE(m_status.empty());
    EXPECT_EQ(m_status.back().state, QString());
    EXPECT_EQ(m_status.back().ip, QStringLiteral("10.8.0.6"));
}

TEST_F(VpnManagerTest, ShutdownEndsTheTunnelLikeQuitButTellsNobody)
{
    QTimer::singleShot(40, &m_manager, [this] {
        m_addresses.append({QStringLiteral("tun0"), QStringLiteral("10.8.0.6")});
    });
    ASSERT_TRUE(start());
    ASSERT_EQ(m_status.size(), 1u);
    const qint64 child = m_manager.childPid();
    ASSERT_TRUE(alive(child));
    m_runner.queueResult(
        RecordingCommandRunner::exitResult(0, R"([{"dst":"10.77.0.0/24","gateway":"10.8.0.1","dev":"tun0"}])"));

    m_manager.shutdown();
    EXPECT_EQ(m_runner.argumentLines(),
              QStringList({QStringLiteral("-4 -j route show"),
                           QStringLiteral("-4 route del 10.77.0.0/24 via 10.8.0.1 dev tun0")}));
    EXPECT_FALSE(alive(child));
    EXPECT_FALSE(QFile::exists(QStringLiteral("data/vpnkey.txt")));
    EXPECT_EQ(m_manager.runStatus(), VpnRunStatus::Stopped);
    QCoreApplication::processEvents();
    EXPECT_EQ(m_status.size(), 1u);
    EXPECT_EQ(m_runStatus, std::vector<VpnRunStatus>({VpnRunStatus::Started}));
    // Signals are not blocked for good.
    m_manager.quit(false);
    EXPECT_EQ(m_status.size(), 2u);
}

TEST_F(VpnManagerTest, DestructorStopsItsChildAndReachesNobody)
{
    auto manager = std::make_unique<VpnManager>();
    manager->setCommandRunner(&m_runner);
    manager->setWaitTiming(30, 3);
    manager->setAddressLister([this] { return m_addresses; });
    QTimer::singleShot(40, manager.get(), [this] {
        m_addresses.append({QStringLiteral("tun0"), QStringLiteral("10.8.0.6")});
    });
    ASSERT_TRUE(manager->startVPN(QStringLiteral("vpn/x64/"), QStringLiteral("vpn/x64/config/box.ovpn"), kServer, 1194,
                                  QStringLiteral("box-user"), QStringLiteral("s3cret pass")));
    const qint64 child = manager->childPid();
    ASSERT_TRUE(alive(child));
    int heard = 0;
    QObject::connect(manager.get(), &VpnManager::signalVPNStatus, [&] { ++heard; });
    QObject::connect(manager.get(), &VpnManager::signalRunStatus, [&] { ++heard; });

    manager.reset();
    EXPECT_EQ(heard, 0);
    EXPECT_EQ(m_runner.callCount(), 0);
    EXPECT_FALSE(alive(child));
    EXPECT_FALSE(QFile::exists(QStringLiteral("data/vpnkey.txt")));
}

TEST_F(VpnManagerTest, NoTunnelAddressMeansNoConnectedAndNoRouteTouched)
{
    m_addresses.append({QStringLiteral("dummy0"), QStringLiteral("10.10.5.2")});
    ASSERT_TRUE(start());
    ASSERT_EQ(m_status.size(), 1u);
    EXPECT_EQ(m_status[0].state, QString());
    EXPECT_EQ(m_status[0].ip, QString());
    m_manager.quit(false);
    EXPECT_EQ(m_runner.callCount(), 0);
    EXPECT_EQ(m_status.back().state, QString());
}

TEST_F(VpnManagerTest, QuitDuringTheWaitEndsItSilently)
{
    m_manager.setWaitTiming(50, 100);
    QTimer::singleShot(150, &m_manager, [this] { m_manager.quit(false); });
    QTimer::singleShot(300, &m_manager, [this] {
        m_addresses.append({QStringLiteral("tun0"), QStringLiteral("10.8.0.6")});
    });
    QElapsedTimer clock;
    clock.start();
    EXPECT_TRUE(start());
    EXPECT_LT(clock.elapsed(), 3000);
    QCoreApplication::processEvents();
    ASSERT_EQ(m_status.size(), 1u); // only the quit's empty state
    EXPECT_EQ(m_status[0].state, QString());
    EXPECT_EQ(m_manager.runStatus(), VpnRunStatus::Stopped);
    EXPECT_EQ(m_manager.childPid(), -1);
}

TEST_F(VpnManagerTest, NewerStartEndsTheOlderWaitWhichReportsNothing)
{
    m_manager.setWaitTiming(50, 100);
    qint64 firstChild = -1;
    bool second = false;
    QTimer::singleShot(150, &m_manager, [&] {
        firstChild = m_manager.childPid();
        second = start();
    });
    QTimer::singleShot(400, &m_manager, [this] {
        m_addresses.append({QStringLiteral("tun0"), QStringLiteral("10.8.0.6")});
    });
    EXPECT_TRUE(start());
    EXPECT_TRUE(second);
    EXPECT_FALSE(alive(firstChild));
    ASSERT_EQ(m_status.size(), 1u);
    EXPECT_EQ(m_status[0].state, QStringLiteral("CONNECTED"));
    EXPECT_EQ(m_status[0].ip, QStringLiteral("10.8.0.6"));
    EXPECT_EQ(m_runStatus, std::vector<VpnRunStatus>({VpnRunStatus::Started, VpnRunStatus::Started}));
    EXPECT_TRUE(alive(m_manager.childPid()));
}

TEST_F(VpnManagerTest, HostileServerPortOrConfigurationStartsNothing)
{
    for (const QString& server :
         {QStringLiteral("-x"), QStringLiteral("--up"), QStringLiteral("a b"), QStringLiteral(""),
          QStringLiteral("1.2.3.4.5"), QStringLiteral("host;id"), QStringLiteral("-host.example")}) {
        EXPECT_FALSE(start(server)) << server.toStdString();
    }
    EXPECT_FALSE(start(kServer, 0));
    EXPECT_FALSE(start(kServer, 65536));
    EXPECT_FALSE(start(kServer, 1194, QStringLiteral("user\nother")));
    LogCapture log;
    writeConfig(QByteArray("client\n  plugin /tmp/evil.so\n"));
    EXPECT_FALSE(start());
    EXPECT_TRUE(LogCapture::contains(
        QStringLiteral("VpnManager: configuration refused at line 2 (  plugin /tmp/evil.so): directive \"plugin\"")))
        << LogCapture::all().toStdString();
    writeConfig(QByteArray("client\n<ca>\nMIIB\n</ca> 'log' /etc/important\n"));
    EXPECT_FALSE(start());
    EXPECT_TRUE(LogCapture::contains(QStringLiteral(
        "VpnManager: configuration refused at line 4 (</ca> 'log' /etc/important): \"'log'\" follows the end")))
        << LogCapture::all().toStdString();
    EXPECT_FALSE(argsFileWritten());
    EXPECT_FALSE(QFile::exists(QStringLiteral("data/vpnkey.txt")));
    EXPECT_EQ(m_manager.childPid(), -1);
    EXPECT_EQ(m_runStatus.back(), VpnRunStatus::Stopped);

    writeConfig(QByteArray("client\n# plugin in a comment\nremote-cert-tls server\n"));
    EXPECT_TRUE(start(QStringLiteral("vpn.example.com"), 65535));
}

TEST_F(VpnManagerTest, ChildThatCannotStartIsReported)
{
    writeFakeOpenvpn(QStringLiteral("#!/nonexistent/interpreter\n"));
    EXPECT_FALSE(start());
    EXPECT_EQ(m_runStatus, std::vector<VpnRunStatus>({VpnRunStatus::Stopped}));
    EXPECT_EQ(m_manager.runStatus(), VpnRunStatus::Prepared);
    EXPECT_FALSE(QFile::exists(QStringLiteral("data/vpnkey.txt")));
    EXPECT_TRUE(m_status.empty());
}

TEST_F(VpnManagerTest, VpnFolderJoinsThePathOnce)
{
    ASSERT_TRUE(start());
    const QByteArray once = qgetenv("PATH");
    EXPECT_TRUE(once.startsWith(QFile::encodeName(m_dir.filePath(QStringLiteral("vpn/x64/depends:")))));
    ASSERT_TRUE(start());
    EXPECT_EQ(qgetenv("PATH"), once);
}

TEST_F(VpnManagerTest, ChildEndingAtOnceIsLoggedAndEndsTheWaitAtTheNextTick)
{
    writeFakeOpenvpn(QStringLiteral("#!/bin/sh\n"
                                    "echo 'Options error: You must define CA file (--ca) or a PKCS#12 file'\n"
                                    "echo 'Use --help for more information.' >&2\n"
                                    "exit 1\n"));
    // The full wait would take a minute; the child's end cuts it short.
    m_manager.setWaitTiming(30, 2000);
    LogCapture log;
    QElapsedTimer clock;
    clock.start();
    ASSERT_TRUE(start());
    EXPECT_LT(clock.elapsed(), 30000);
    ASSERT_EQ(m_status.size(), 1u);
    EXPECT_EQ(m_status[0].state, QString());
    EXPECT_EQ(m_status[0].ip, QString());
    EXPECT_EQ(m_runStatus, std::vector<VpnRunStatus>({VpnRunStatus::Started}));
    EXPECT_EQ(m_manager.runStatus(), VpnRunStatus::Prepared);
    EXPECT_TRUE(m_manager.hasChildEnded());

    const QStringList lines = LogCapture::lines().filter(QStringLiteral("VpnManager: openvpn"));
    EXPECT_EQ(lines,
              QStringList({QStringLiteral("VpnManager: openvpn ended by itself with exit status 1; its last lines:"),
                           QStringLiteral("VpnManager: openvpn: Options error: You must define CA file (--ca) "
                                          "or a PKCS#12 file"),
                           QStringLiteral("VpnManager: openvpn: Use --help for more information.")}));
    // Said once, however often it is asked.
    EXPECT_TRUE(m_manager.hasChildEnded());
    spin(100);
    EXPECT_EQ(LogCapture::lines().filter(QStringLiteral("ended by itself")).size(), 1);
    EXPECT_EQ(m_status.size(), 1u);

    m_manager.quit(false);
    EXPECT_FALSE(m_manager.hasChildEnded());
    EXPECT_EQ(m_manager.childPid(), -1);
}

TEST_F(VpnManagerTest, ChildEndingAfterTheTunnelCameUpTurnsTheStateEmpty)
{
    const QString release = m_dir.filePath(QStringLiteral("release"));
    writeFakeOpenvpn(QStringLiteral("#!/bin/sh\n"
                                    "while [ ! -e '%1' ]; do sleep 0.02; done\n"
                                    "printf 'Exiting due to fatal error\\033[0m\\n'\n"
                                    "exit 7\n")
                         .arg(release));
    QTimer::singleShot(40, &m_manager, [this] {
        m_addresses.append({QStringLiteral("tun0"), QStringLiteral("10.8.0.6")});
    });
    LogCapture log;
    ASSERT_TRUE(start());
    ASSERT_EQ(m_status.size(), 1u);
    EXPECT_EQ(m_status[0].state, QStringLiteral("CONNECTED"));
    EXPECT_FALSE(m_manager.hasChildEnded());

    QFile(release).open(QIODevice::WriteOnly);
    ASSERT_TRUE(waitUntil([&] { return m_status.size() == 2; }, 20000));
    EXPECT_EQ(m_status[1].state, QString());
    EXPECT_EQ(m_status[1].ip, QStringLiteral("10.8.0.6"));
    EXPECT_TRUE(m_manager.hasChildEnded());
    EXPECT_TRUE(LogCapture::contains(QStringLiteral("VpnManager: openvpn ended by itself with exit status 7")));
    // The terminal's control characters do not reach the log.
    EXPECT_TRUE(LogCapture::contains(QStringLiteral("VpnManager: openvpn: Exiting due to fatal error?[0m")))
        << LogCapture::all().toStdString();
}

TEST(VpnManagerChecks, ServerTextAndTunnelAddressRules)
{
    EXPECT_TRUE(VpnManager::isServerText(QStringLiteral("10.0.0.1")));
    EXPECT_TRUE(VpnManager::isServerText(QStringLiteral("vpn-1.example.com")));
    EXPECT_FALSE(VpnManager::isServerText(QStringLiteral("1.2.3.256")));
    EXPECT_FALSE(VpnManager::isServerText(QStringLiteral("host-")));
    EXPECT_TRUE(VpnManager::isTunnelAddress(QStringLiteral("10.9.1.1")));
    EXPECT_FALSE(VpnManager::isTunnelAddress(QStringLiteral("10.90.1.1")));
    EXPECT_FALSE(VpnManager::isTunnelAddress(QStringLiteral("110.8.1.1")));
}

// It has no lock: a call from a thread other than its own stops the program
// before it touches anything.
TEST(VpnManagerThread, ACallFromAnotherThreadStopsTheProgram)
{
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    VpnManager manager;
    EXPECT_EQ(manager.runStatus(), VpnRunStatus::Stopped);
    EXPECT_DEATH(
        {
            std::thread other([&manager] { manager.runStatus(); });
            other.join();
        },
        "VpnManager: called from a thread it does not live on");
}

} // namespace
