// The program's end by SIGTERM, in network namespaces of the test's own: the
// panel's bridge service runs in the panel's namespace; Tarnwick, with a
// local forwarding to that panel, runs in the PC's namespace as a child of
// this same test started again inside it. The machine's own routes are
// compared before and after.

#include "testing/vpnharness/netnslabtest.h"

#include "testing/main/eventwait.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>

#include <csignal>

using TestWait::waitUntil;

namespace {

const QString kLanAddress = QStringLiteral("192.168.79.25");
constexpr quint16 kEchoPort = 7007;

class TarnwickSignalNetnsTest : public NetnsLabTest {
protected:
    void startPeers() override { startPanelSide(kLanAddress, kEchoPort); }
};

QByteArray readWholeFile(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

QByteArray bridgeSwitches()
{
    return readWholeFile(QDir(NetnsLabTest::innerDir()).filePath(QStringLiteral("control.calls")));
}

TEST_F(TarnwickSignalNetnsTest, SigtermTakesTheRouteAndTheBridgeBackAndKeepsTheLog)
{
    if (NetnsLab::isInner()) {
        QTemporaryDir home;
        ASSERT_TRUE(home.isValid());
        for (const char* sub : {"config", "data", "runtime"})
            ASSERT_TRUE(QDir().mkpath(home.filePath(QString::fromLatin1(sub))));
        QFile::setPermissions(home.filePath(QStringLiteral("runtime")),
                              QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
        env.insert(QStringLiteral("XDG_CONFIG_HOME"), home.filePath(QStringLiteral("config")));
        env.insert(QStringLiteral("XDG_DATA_HOME"), home.filePath(QStringLiteral("data")));
        env.insert(QStringLiteral("XDG_RUNTIME_DIR"), home.filePath(QStringLiteral("runtime")));
        const QString route = QStringLiteral("192.168.79.0/24 via %1").arg(NetnsLab::panelAddress());

        QProcess program;
        program.setProcessEnvironment(env);
        program.setProcessChannelMode(QProcess::SeparateChannels);
        program.start(QStringLiteral(FORWARDING_TARNWICK), {NetnsLab::panelAddress(), kLanAddress});
        ASSERT_TRUE(program.waitForStarted(10000));
        QByteArray out;
        const bool standing = waitUntil(
            [&] {
                program.waitForReadyRead(50);
                out += program.readAllStandardOutput();
                return out.contains("forwarding\n") || program.state() != QProcess::Running;
            },
            60000);
        ASSERT_TRUE(standing && out.contains("forwarding\n"))
            << out.constData() << program.readAllStandardError().right(4000).constData();
        EXPECT_TRUE(NetnsLab::ownRoutes().contains(route)) << NetnsLab::ownRoutes().toStdString();
        EXPECT_EQ(bridgeSwitches(), QByteArray("on\n"));

        ASSERT_EQ(::kill(static_cast<pid_t>(program.processId()), SIGTERM), 0);
        const bool ended = program.waitForFinished(60000);
        const QByteArray err = program.readAllStandardError();
        ASSERT_TRUE(ended) << err.right(4000).constData();
        EXPECT_EQ(program.exitStatus(), QProcess::NormalExit) << err.right(4000).constData();
        EXPECT_EQ(program.exitCode(), 0) << err.right(4000).constData();

        // The route through the panel is gone and the panel switched its bridge off.
        EXPECT_FALSE(NetnsLab::ownRoutes().contains(QStringLiteral("192.168.79.0/24")))
            << NetnsLab::ownRoutes().toStdString();
        EXPECT_EQ(bridgeSwitches(), QByteArray("on\noff\n"));

        // The log holds the run up to its last lines, each with one time stamp.
        const QString log = QString::fromUtf8(
            readWholeFile(home.filePath(QStringLiteral("data/Tarnwick/data/log.txt"))));
        const QStringList lines = log.split(QStringLiteral("\r\n"), Qt::SkipEmptyParts);
        ASSERT_FALSE(lines.isEmpty());
        for (const QString& needle : {QStringLiteral("forwarding stands"), QStringLiteral("end requested by signal 15"),
                                      QStringLiteral("MainFrame::~MainFrame end")})
            EXPECT_EQ(lines.filter(needle).size(), 1) << needle.toStdString() << "\n" << log.right(3000).toStdString();
        static const QRegularExpression oneStamp(
            QStringLiteral("^\\[\\d{4}/\\d{2}/\\d{2} \\d{2}:\\d{2}:\\d{2}\\] (?!\\[\\d)"));
        for (const QString& line : lines)
            EXPECT_TRUE(oneStamp.match(line).hasMatch()) << line.toStdString();
        return;
    }
    runInner();
}

} // namespace
