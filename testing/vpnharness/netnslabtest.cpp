#include "testing/vpnharness/netnslabtest.h"

#include "platform/route/routecommand.h"
#include "testing/main/eventwait.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QTcpSocket>
#include <QThread>

#include <iostream>

void NetnsLabTest::SetUp()
{
    if (NetnsLab::isInner())
        return;
    const QString reason = NetnsLab::unavailableReason();
    if (!reason.isEmpty())
        GTEST_SKIP() << "namespace test skipped: " << reason.toStdString();
    m_routesBefore = NetnsLab::machineRoutes();
    ASSERT_TRUE(m_dir.isValid());
    QString error;
    ASSERT_TRUE(m_lab.create(&error)) << error.toStdString();
    startPeers();
}

void NetnsLabTest::TearDown()
{
    if (NetnsLab::isInner() || m_routesBefore.isEmpty())
        return;
    stopPeers();
    m_panel.stop();
    m_lab.destroy();
    EXPECT_EQ(NetnsLab::machineRoutes(), m_routesBefore);
}

void NetnsLabTest::runInner()
{
    const CommandResult r = m_lab.rerunCurrentTestInside(m_lab.pc(), {{QStringLiteral("DIR"), m_dir.path()}},
                                                         kInnerTimeoutMs);
    const std::string output = QString::fromLocal8Bit(r.output).toStdString();
    std::cout << "--- inside " << m_lab.pc().toStdString() << " ---\n" << output << "--- end ---" << std::endl;
    EXPECT_TRUE(r.succeeded()) << output << diagnostics().toStdString();
    EXPECT_NE(output.find("[  PASSED  ] 1 test"), std::string::npos) << output;
}

QString NetnsLabTest::innerDir()
{
    return NetnsLab::innerValue(QStringLiteral("DIR"));
}

void NetnsLabTest::startPanelSide(const QString& lanAddress, quint16 echoPort)
{
    QString error;
    ASSERT_TRUE(m_lab.must(m_lab.panel(), {"link", "add", "lan0", "type", "veth", "peer", "name", "lan1"}, &error))
        << error.toStdString();
    ASSERT_TRUE(m_lab.must(m_lab.panel(), {"addr", "add", lanAddress + "/24", "dev", "lan0"}, &error))
        << error.toStdString();
    ASSERT_TRUE(m_lab.must(m_lab.panel(), {"link", "set", "lan0", "up"}, &error)) << error.toStdString();
    ASSERT_TRUE(m_lab.must(m_lab.panel(), {"link", "set", "lan1", "up"}, &error)) << error.toStdString();

    const QString ready = m_dir.filePath(QStringLiteral("panel.ready"));
    ASSERT_TRUE(
        m_panel.start(RouteCommand::ipProgram(),
                      {QStringLiteral("netns"), QStringLiteral("exec"), m_lab.panel(),
                       QStringLiteral(TW_VPNHARNESS_PANEL), NetnsLab::panelAddress(), QStringLiteral("9009"),
                       lanAddress, QString::number(echoPort), m_dir.filePath(QStringLiteral("control")), ready}));
    TestWait::waitUntil([&] { return QFile::exists(ready) || m_panel.hasExited(); }, 20000);
    ASSERT_TRUE(QFile::exists(ready)) << "the panel side did not come up";
}

QByteArray NetnsLabTest::echo(const QString& address, quint16 port, const QByteArray& line)
{
    QTcpSocket socket;
    socket.connectToHost(address, port);
    if (!socket.waitForConnected(3000))
        return QByteArray();
    socket.write(line);
    QByteArray answer;
    TestWait::waitUntil(
        [&] {
            // Reads without an event loop too: a plain test main has none.
            if (socket.bytesAvailable() > 0 || socket.waitForReadyRead(100))
                answer += socket.readAll();
            return answer.size() >= line.size();
        },
        10000);
    return answer;
}
