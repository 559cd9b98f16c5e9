// The program's end, in network namespaces of the test's own: the panel's
// side (its bridge service, an OpenVPN server) runs in the panel's namespace;
// Tarnwick, with a local forwarding to that panel or with a cloud login and
// a VPN tunnel to it, runs in the PC's namespace as a child of this same test
// started again inside it, and is ended by SIGTERM or by the loss of its X
// display. The machine's own routes are compared before and after.

#include "testing/vpnharness/netnslabtest.h"

#include "tarnwick/ui/mainwindow/tests/mainwindowtesthelpers.h"
#include "testing/fakecloud/fakecloud.h"
#include "testing/main/eventwait.h"
#include "testing/vpnharness/openvpntestserver.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTemporaryDir>

#include <iostream>
#include <memory>

#include <csignal>

namespace {

const QString kLanAddress = QStringLiteral("192.168.79.25");
constexpr quint16 kEchoPort = 7007;

class TarnwickSignalNetnsTest : public NetnsLabTest {
protected:
    void startPeers() override { startPanelSide(kLanAddress, kEchoPort); }
};

QByteArray bridgeSwitches()
{
    return readWholeFile(QDir(NetnsLabTest::innerDir()).filePath(QStringLiteral("control.calls")));
}

// An X server of the test's own, on a display number that it finds free itself.
class OwnXServer {
public:
    ~OwnXServer() { kill(); }

    // Empty when it runs; otherwise why not.
    QString start()
    {
        const QString xvfb = QStandardPaths::findExecutable(QStringLiteral("Xvfb"));
        if (xvfb.isEmpty())
            return QStringLiteral("Xvfb is not installed");
        m_process.start(xvfb, {QStringLiteral("-displayfd"), QStringLiteral("1"), QStringLiteral("-screen"),
                               QStringLiteral("0"), QStringLiteral("1024x768x24"), QStringLiteral("-nolisten"),
                               QStringLiteral("tcp")});
        if (!m_process.waitForStarted(10000))
            return QStringLiteral("Xvfb does not start");
        // It writes the number once it takes connections.
        QByteArray out;
        waitUntil(
            [&] {
                m_process.waitForReadyRead(50);
                out += m_process.readAllStandardOutput();
                return out.contains('\n') || m_process.state() != QProcess::Running;
            },
            30000);
        bool ok = false;
        const int number = out.trimmed().toInt(&ok);
        if (!ok)
            return QStringLiteral("Xvfb gave no display: ") + QString::fromLocal8Bit(m_process.readAllStandardError());
        m_display = QStringLiteral(":%1").arg(number);
        return QString();
    }

    QString display() const { return m_display; }

    void kill()
    {
        if (m_process.state() == QProcess::NotRunning)
            return;
        m_process.kill();
        m_process.waitForFinished(10000);
    }

private:
    QProcess m_process;
    QString m_display;
};

// The index of the first line at or after from that holds needle; -1 when none.
int lineIndex(const QStringList& lines, const QString& needle, int from = 0)
{
    for (int i = qMax(from, 0); i < lines.size(); ++i)
        if (lines.at(i).contains(needle))
            return i;
    return -1;
}

// Tarnwick with a local forwarding to the test's panel, in the PC's namespace.
class ForwardingTarnwick {
public:
    ForwardingTarnwick()
    {
        EXPECT_TRUE(m_home.isValid());
        for (const char* sub : {"config", "data", "runtime"})
            EXPECT_TRUE(QDir().mkpath(m_home.filePath(QString::fromLatin1(sub))));
        QFile::setPermissions(m_home.filePath(QStringLiteral("runtime")),
                              QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
    }

    // Starts the program on display (offscreen when empty); true once the forwarding stands.
    bool start(const QString& display)
    {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        if (display.isEmpty()) {
            env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
        } else {
            env.insert(QStringLiteral("DISPLAY"), display);
            env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("xcb"));
            env.insert(QStringLiteral("QT_XCB_GL_INTEGRATION"), QStringLiteral("none"));
        }
        env.insert(QStringLiteral("XDG_CONFIG_HOME"), m_home.filePath(QStringLiteral("config")));
        env.insert(QStringLiteral("XDG_DATA_HOME"), m_home.filePath(QStringLiteral("data")));
        env.insert(QStringLiteral("XDG_RUNTIME_DIR"), m_home.filePath(QStringLiteral("runtime")));
        m_program.setProcessEnvironment(env);
        m_program.setProcessChannelMode(QProcess::SeparateChannels);
        m_program.start(QStringLiteral(FORWARDING_TARNWICK), {NetnsLab::panelAddress(), kLanAddress});
        if (!m_program.waitForStarted(10000))
            return false;
        waitUntil(
            [&] {
                m_program.waitForReadyRead(50);
                m_out += m_program.readAllStandardOutput();
                return m_out.contains("forwarding\n") || m_program.state() != QProcess::Running;
            },
            60000);
        return m_out.contains("forwarding\n");
    }

    bool waitForEnd()
    {
        const bool ended = m_program.waitForFinished(60000);
        m_err += m_program.readAllStandardError();
        return ended;
    }

    QString log() const
    {
        return QString::fromUtf8(readWholeFile(m_home.filePath(QStringLiteral("data/Tarnwick/data/log.txt"))));
    }

    std::string output() const { return (m_out + "\n--- errors ---\n" + m_err.right(4000)).toStdString(); }

    // Each line of the log carries one time stamp.
    void expectWholeLines() const
    {
        static const QRegularExpression oneStamp(
            QStringLiteral("^\\[\\d{4}/\\d{2}/\\d{2} \\d{2}:\\d{2}:\\d{2}\\] (?!\\[\\d)"));
        const QStringList lines = log().split(QStringLiteral("\r\n"), Qt::SkipEmptyParts);
        ASSERT_FALSE(lines.isEmpty());
        for (const QString& line : lines)
            EXPECT_TRUE(oneStamp.match(line).hasMatch()) << line.toStdString();
    }

    QTemporaryDir m_home;
    QProcess m_program;
    QByteArray m_out;
    QByteArray m_err;
};

const QString kForwardRoute = QStringLiteral("192.168.79.0/24");

TEST_F(TarnwickSignalNetnsTest, SigtermTakesTheRouteAndTheBridgeBackAndKeepsTheLog)
{
    if (NetnsLab::isInner()) {
        ForwardingTarnwick pc;
        ASSERT_TRUE(pc.start(QString())) << pc.output();
        const QString route = kForwardRoute + QStringLiteral(" via ") + NetnsLab::panelAddress();
        EXPECT_TRUE(NetnsLab::ownRoutes().contains(route)) << NetnsLab::ownRoutes().toStdString();
        EXPECT_EQ(bridgeSwitches(), QByteArray("on\n"));

        ASSERT_EQ(::kill(static_cast<pid_t>(pc.m_program.processId()), SIGTERM), 0);
        ASSERT_TRUE(pc.waitForEnd()) << pc.output();
        EXPECT_EQ(pc.m_program.exitStatus(), QProcess::NormalExit) << pc.output();
        EXPECT_EQ(pc.m_program.exitCode(), 0) << pc.output();

        // The route through the panel is gone and the panel switched its bridge off.
        EXPECT_FALSE(NetnsLab::ownRoutes().contains(kForwardRoute)) << NetnsLab::ownRoutes().toStdString();
        EXPECT_EQ(bridgeSwitches(), QByteArray("on\noff\n"));

        // The log holds the run up to its last lines, each with one time stamp.
        const QString log = pc.log();
        const QStringList lines = log.split(QStringLiteral("\r\n"), Qt::SkipEmptyParts);
        for (const QString& needle : {QStringLiteral("forwarding stands"), QStringLiteral("end requested by signal 15"),
                                      QStringLiteral("MainFrame::~MainFrame end")})
            EXPECT_EQ(lines.filter(needle).size(), 1) << needle.toStdString() << "\n" << log.right(3000).toStdString();
        pc.expectWholeLines();
        return;
    }
    runInner();
}

TEST_F(TarnwickSignalNetnsTest, LostDisplayTakesTheRouteBackAndKeepsTheLog)
{
    if (NetnsLab::isInner()) {
        OwnXServer x;
        const QString why = x.start();
        ASSERT_TRUE(why.isEmpty()) << why.toStdString();
        ForwardingTarnwick pc;
        ASSERT_TRUE(pc.start(x.display())) << pc.output();
        EXPECT_TRUE(NetnsLab::ownRoutes().contains(kForwardRoute)) << NetnsLab::ownRoutes().toStdString();

        x.kill();
        ASSERT_TRUE(pc.waitForEnd()) << pc.output();
        EXPECT_EQ(pc.m_program.exitStatus(), QProcess::NormalExit) << pc.output();
        EXPECT_EQ(pc.m_program.exitCode(), 1) << pc.output();
        EXPECT_FALSE(pc.m_err.contains("runtime error")) << pc.output();

        // The route through the panel is gone; with no event loop left the
        // panel is not told, its bridge goes off when the heart-beats stop.
        EXPECT_FALSE(NetnsLab::ownRoutes().contains(kForwardRoute))
            << NetnsLab::ownRoutes().toStdString() << pc.output();
        EXPECT_EQ(bridgeSwitches(), QByteArray("on\n"));

        const QStringList lines = pc.log().split(QStringLiteral("\r\n"), Qt::SkipEmptyParts);
        const int broke = lineIndex(lines, QStringLiteral("The X11 connection broke"));
        const int ends = lineIndex(lines, QStringLiteral("Tarnwick ends at once"), broke);
        const int ended = lineIndex(lines, QStringLiteral("Tarnwick ended at once"), ends);
        EXPECT_TRUE(broke >= 0 && ends > broke && ended > ends) << pc.log().right(3000).toStdString();
        EXPECT_EQ(lines.filter(QStringLiteral("route not removed")).size(), 0) << pc.log().right(3000).toStdString();
        pc.expectWholeLines();
        return;
    }
    if (QStandardPaths::findExecutable(QStringLiteral("Xvfb")).isEmpty())
        GTEST_SKIP() << "Xvfb is not installed";
    runInner();
}

// The panel behind the VPN: its LAN address lies in the network the test's
// OpenVPN server pushes as a route.
const QString kTunnelLan = QStringLiteral("10.77.0.25");
const QString kPanelSn = QStringLiteral("30300078");
constexpr int kServerPort = 1194;
// The program is gone within this after its end was asked for or its display lost.
constexpr qint64 kEndBoundMs = 5000;

class TarnwickVpnEndNetnsTest : public NetnsLabTest {
protected:
    void startPeers() override
    {
        QString error;
        ASSERT_TRUE(m_server.makePki(&error)) << error.toStdString();
        startPanelSide(kTunnelLan, kEchoPort);
        if (HasFatalFailure())
            return;
        ASSERT_TRUE(m_server.start(m_lab.panel(), NetnsLab::panelAddress(), kServerPort, &error))
            << error.toStdString();
    }
    void stopPeers() override { m_server.stop(); }
    QString diagnostics() const override { return QStringLiteral("\n--- server log ---\n") + m_server.log(); }

    OpenVpnTestServer m_server{m_dir.path()};
};

// The PC's side: the cloud fake with one online panel behind the test's VPN
// server, and Tarnwick on the test's X server, logged in to the fake and
// connected to the panel through a real openvpn.
class VpnTarnwick {
public:
    VpnTarnwick()
    {
        EXPECT_TRUE(m_home.isValid());
        for (const char* sub : {"config", "data", "runtime"})
            EXPECT_TRUE(QDir().mkpath(m_home.filePath(QString::fromLatin1(sub))));
        QFile::setPermissions(m_home.filePath(QStringLiteral("runtime")),
                              QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
        QFile config(QDir(NetnsLabTest::innerDir()).filePath(QStringLiteral("client.ovpn")));
        EXPECT_TRUE(config.open(QIODevice::ReadOnly));
        EXPECT_TRUE(m_cloud.start());
        m_cloud.setServerPassword(kServerPassword);
        m_cloud.addUser(kUser, kPassword);
        m_cloud.setConfig(QStringLiteral("box.ovpn"), config.readAll());
        m_cloud.setVpnCredentials(OpenVpnTestServer::user(), OpenVpnTestServer::password());
        m_cloud.addDevice(panel(1));
    }

    ~VpnTarnwick()
    {
        if (m_program.state() != QProcess::NotRunning) {
            m_program.kill();
            m_program.waitForFinished(10000);
        }
    }

    static FakeCloudDevice panel(int state)
    {
        FakeCloudDevice d;
        d.sn = kPanelSn;
        d.alias = QStringLiteral("remote panel");
        d.ip = kTunnelLan;
        d.state = state;
        d.serverIP = NetnsLab::panelAddress();
        d.serverPort = kServerPort;
        return d;
    }

    QProcessEnvironment environment() const
    {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("XDG_CONFIG_HOME"), m_home.filePath(QStringLiteral("config")));
        env.insert(QStringLiteral("XDG_DATA_HOME"), m_home.filePath(QStringLiteral("data")));
        env.insert(QStringLiteral("XDG_RUNTIME_DIR"), m_home.filePath(QStringLiteral("runtime")));
        return env;
    }

    // Starts the program on display; true once the window counts the panel
    // connected through the tunnel.
    bool connect(const QString& display)
    {
        QProcessEnvironment env = environment();
        env.insert(QStringLiteral("DISPLAY"), display);
        env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("xcb"));
        env.insert(QStringLiteral("QT_XCB_GL_INTEGRATION"), QStringLiteral("none"));
        // The leak check after the end is no part of the program's end, and
        // on a loaded machine it alone can take seconds.
        env.insert(QStringLiteral("ASAN_OPTIONS"),
                   env.value(QStringLiteral("ASAN_OPTIONS")) + QStringLiteral(":detect_leaks=0"));
        m_program.setProcessEnvironment(env);
        m_program.start(QStringLiteral(VPN_TARNWICK), {QStringLiteral("127.0.0.1"), QString::number(m_cloud.port()),
                                                       kServerPassword, kUser, kPassword, kPanelSn});
        if (!m_program.waitForStarted(10000))
            return false;
        waitUntil(
            [&] {
                m_program.waitForReadyRead(50);
                m_out += m_program.readAllStandardOutput();
                m_err += m_program.readAllStandardError();
                static const QRegularExpression tunnel(QStringLiteral("tunnel (\\d+)\\n"));
                const QRegularExpressionMatch m = tunnel.match(QString::fromLocal8Bit(m_out));
                if (m.hasMatch() && m_openvpn <= 0) {
                    m_openvpn = m.captured(1).toLongLong();
                    // The service counts the panel connected once its tunnel is up.
                    m_cloud.addDevice(panel(3));
                }
                return m_out.contains("connected\n") || m_program.state() != QProcess::Running;
            },
            90000);
        return m_out.contains("connected\n") && m_openvpn > 0;
    }

    // Waits for the program's end with the cloud fake answering; the time it took.
    qint64 waitForEnd()
    {
        QElapsedTimer clock;
        clock.start();
        waitUntil(
            [&] {
                m_program.waitForFinished(20);
                return m_program.state() == QProcess::NotRunning;
            },
            60000);
        const qint64 took = clock.elapsed();
        m_out += m_program.readAllStandardOutput();
        m_err += m_program.readAllStandardError();
        std::cout << "the program ended after " << took << " ms" << std::endl;
        return took;
    }

    QStringList logLines() const
    {
        const QString log = QString::fromUtf8(
            readWholeFile(m_home.filePath(QStringLiteral("data/Tarnwick/data/log.txt"))));
        return log.split(QStringLiteral("\r\n"), Qt::SkipEmptyParts);
    }

    std::string output() const { return (m_out + "\n--- errors ---\n" + m_err.right(6000)).toStdString(); }

    // openvpn gone with its route, nothing the sanitizers found.
    void expectEverythingEnded() const
    {
        EXPECT_NE(::kill(static_cast<pid_t>(m_openvpn), 0), 0) << "openvpn still runs";
        const QString routes = NetnsLab::ownRoutes();
        EXPECT_FALSE(routes.contains(QStringLiteral("10.77.0.0/24"))) << routes.toStdString();
        EXPECT_FALSE(routes.contains(QStringLiteral("tun"))) << routes.toStdString();
        for (const char* report : {"runtime error", "ERROR: AddressSanitizer"})
            EXPECT_FALSE(m_err.contains(report)) << output();
    }

    // The program starts again (the instance lock is free), shows its window
    // and ends on SIGTERM with 0.
    void expectSecondStartRuns() const
    {
        const int windowsBefore = logLines().filter(QStringLiteral("MainFrame::MainFrame")).size();
        QProcessEnvironment env = environment();
        env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
        // The program itself carries no leak suppressions for Qt's plugins.
        env.insert(QStringLiteral("ASAN_OPTIONS"),
                   env.value(QStringLiteral("ASAN_OPTIONS")) + QStringLiteral(":detect_leaks=0"));
        QProcess second;
        second.setProcessEnvironment(env);
        second.start(QStringLiteral(TARNWICK_PROGRAM), QStringList());
        ASSERT_TRUE(second.waitForStarted(10000));
        const auto windows = [&] { return logLines().filter(QStringLiteral("MainFrame::MainFrame")).size(); };
        EXPECT_TRUE(waitUntil([&] { return windows() > windowsBefore || second.state() != QProcess::Running; }, 60000));
        EXPECT_EQ(windows(), windowsBefore + 1) << logLines().join(QLatin1Char('\n')).right(3000).toStdString();
        ASSERT_EQ(::kill(static_cast<pid_t>(second.processId()), SIGTERM), 0);
        EXPECT_TRUE(waitUntil(
            [&] {
                second.waitForFinished(20);
                return second.state() == QProcess::NotRunning;
            },
            60000));
        EXPECT_EQ(second.exitStatus(), QProcess::NormalExit);
        EXPECT_EQ(second.exitCode(), 0) << second.readAllStandardError().right(4000).constData();
    }

    QTemporaryDir m_home;
    FakeCloud m_cloud;
    QProcess m_program;
    QByteArray m_out;
    QByteArray m_err;
    qint64 m_openvpn = -1;
};

TEST_F(TarnwickVpnEndNetnsTest, LostDisplayStopsOpenvpnWritesTheLogAndFreesTheNextStart)
{
    if (NetnsLab::isInner()) {
        OwnXServer x;
        const QString why = x.start();
        ASSERT_TRUE(why.isEmpty()) << why.toStdString();
        VpnTarnwick pc;
        ASSERT_TRUE(pc.connect(x.display())) << pc.output();
        EXPECT_TRUE(NetnsLab::ownRoutes().contains(QStringLiteral("10.77.0.0/24 via 10.8.0.1 dev tun")));
        EXPECT_EQ(echo(kTunnelLan, kEchoPort, "through the tunnel\n"), QByteArray("through the tunnel\n"));

        x.kill();
        const qint64 took = pc.waitForEnd();
        ASSERT_EQ(pc.m_program.state(), QProcess::NotRunning) << pc.output();
        EXPECT_LT(took, kEndBoundMs);
        // Qt ends the process itself when its display is gone.
        EXPECT_EQ(pc.m_program.exitStatus(), QProcess::NormalExit) << pc.output();
        EXPECT_EQ(pc.m_program.exitCode(), 1) << pc.output();
        pc.expectEverythingEnded();
        EXPECT_TRUE(echo(kTunnelLan, kEchoPort, "gone\n").isEmpty());

        // The log holds the end: the broken connection, then the VPN's stop.
        const QStringList lines = pc.logLines();
        const int broke = lineIndex(lines, QStringLiteral("The X11 connection broke"));
        const int ends = lineIndex(lines, QStringLiteral("Tarnwick ends at once"), broke);
        const int stop = lineIndex(lines, QStringLiteral("stop openvpn process"), ends);
        const int ended = lineIndex(lines, QStringLiteral("Tarnwick ended at once"), stop);
        EXPECT_TRUE(broke >= 0 && ends > broke && stop > ends && ended > stop)
            << lines.join(QLatin1Char('\n')).right(4000).toStdString();
        // Nothing reached the window from then on (it logs every VPN state it hears).
        EXPECT_EQ(lineIndex(lines, QStringLiteral("Vpn State:"), qMax(broke, 0)), -1)
            << lines.join(QLatin1Char('\n')).right(4000).toStdString();
        pc.expectSecondStartRuns();
        return;
    }
    if (QStandardPaths::findExecutable(QStringLiteral("Xvfb")).isEmpty())
        GTEST_SKIP() << "Xvfb is not installed";
    runInner();
}

TEST_F(TarnwickVpnEndNetnsTest, SigtermLogsOutStopsOpenvpnWritesTheLogAndFreesTheNextStart)
{
    if (NetnsLab::isInner()) {
        OwnXServer x;
        const QString why = x.start();
        ASSERT_TRUE(why.isEmpty()) << why.toStdString();
        VpnTarnwick pc;
        ASSERT_TRUE(pc.connect(x.display())) << pc.output();
        EXPECT_TRUE(NetnsLab::ownRoutes().contains(QStringLiteral("10.77.0.0/24 via 10.8.0.1 dev tun")));
        ASSERT_EQ(pc.m_cloud.requestCount(QStringLiteral("/user/logout")), 0);

        ASSERT_EQ(::kill(static_cast<pid_t>(pc.m_program.processId()), SIGTERM), 0);
        const qint64 took = pc.waitForEnd();
        ASSERT_EQ(pc.m_program.state(), QProcess::NotRunning) << pc.output();
        EXPECT_LT(took, kEndBoundMs);
        EXPECT_EQ(pc.m_program.exitStatus(), QProcess::NormalExit) << pc.output();
        EXPECT_EQ(pc.m_program.exitCode(), 0) << pc.output();
        pc.expectEverythingEnded();
        EXPECT_TRUE(echo(kTunnelLan, kEchoPort, "gone\n").isEmpty());
        // The session was logged out once, while the program still ran.
        EXPECT_EQ(pc.m_cloud.requestCount(QStringLiteral("/user/logout")), 1);

        const QStringList lines = pc.logLines();
        const int asked = lineIndex(lines, QStringLiteral("end requested by signal 15"));
        const int ends = lineIndex(lines, QStringLiteral("Tarnwick ends: cloud session, VPN, local forwarding, log"),
                                   asked);
        const int stop = lineIndex(lines, QStringLiteral("stop openvpn process"), ends);
        const int ended = lineIndex(lines, QStringLiteral("Tarnwick ended"), stop);
        const int window = lineIndex(lines, QStringLiteral("MainFrame::~MainFrame end"), ended);
        EXPECT_TRUE(asked >= 0 && ends > asked && stop > ends && ended > stop && window > ended)
            << lines.join(QLatin1Char('\n')).right(4000).toStdString();
        EXPECT_EQ(lineIndex(lines, QStringLiteral("Vpn State:"), qMax(ends, 0)), -1)
            << lines.join(QLatin1Char('\n')).right(4000).toStdString();
        pc.expectSecondStartRuns();
        return;
    }
    if (QStandardPaths::findExecutable(QStringLiteral("Xvfb")).isEmpty())
        GTEST_SKIP() << "Xvfb is not installed";
    runInner();
}

} // namespace
