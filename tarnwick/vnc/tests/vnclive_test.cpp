// The viewer against real VNC servers on loopback: x11vnc sharing an Xvfb
// display (no password) and TigerVNC's Xvnc (VNC authentication). The
// decoded frame at the low and middle qualities must equal a grab of the
// display cut to the quality's channel bits. Both servers refuse 24 bits
// per pixel with Hextile, so the high quality is checked against the fake
// server only.

#include "tarnwick/vnc/vncviewer.h"

#include "tarnwick/vnc/vncdes.h"
#include "testing/fakerfb/fakerfbserver.h"
#include "testing/main/eventwait.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QSet>
#include <QStandardPaths>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QThread>

#include <memory>

using namespace VNC;
using FakeRfb::FakeRfbServer;
using FakeRfb::HextileEncoder;
using FakeRfb::PixelFormat;

namespace {

const QString kAddress = QStringLiteral("127.40.0.1");
const QSize kScreen(320, 200);

using TestWait::waitUntil;

// A child process that is always stopped when the guard goes, also when a
// check fails half-way.
class Child {
public:
    Child(const QString& program, const QStringList& args,
          const QProcessEnvironment& env = QProcessEnvironment::systemEnvironment())
    {
        m_process.setProcessEnvironment(env);
        m_process.setProgram(program);
        m_process.setArguments(args);
        m_process.start();
        m_process.waitForStarted(5000);
    }
    ~Child()
    {
        if (m_process.state() == QProcess::NotRunning)
            return;
        m_process.terminate();
        if (!m_process.waitForFinished(3000)) {
            m_process.kill();
            m_process.waitForFinished(3000);
        }
    }
    bool running() const { return m_process.state() == QProcess::Running; }
    QProcess& process() { return m_process; }
    QString output()
    {
        m_output += QString::fromLocal8Bit(m_process.readAllStandardOutput());
        return m_output;
    }
    QString errors() { return QString::fromLocal8Bit(m_process.readAllStandardError()); }

private:
    QProcess m_process;
    QString m_output;
};

QString tool(const char* name)
{
    return QStandardPaths::findExecutable(QString::fromLatin1(name));
}

QProcessEnvironment displayEnvironment(int display)
{
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("DISPLAY", QStringLiteral(":%1").arg(display));
    env.insert("QT_QPA_PLATFORM", "xcb");
    env.insert("ASAN_OPTIONS", "detect_leaks=0");
    env.remove("XAUTHORITY");
    return env;
}

bool portOpen(quint16 port)
{
    QTcpSocket socket;
    socket.connectToHost(kAddress, port);
    const bool open = socket.waitForConnected(200);
    socket.abort();
    return open;
}

// A display number of ours (140 to 149) that no X server holds, from `first`
// on; another test run on the machine may hold the first ones.
int freeDisplay(int first)
{
    for (int n = first; n < 150; ++n) {
        if (!QFile::exists(QStringLiteral("/tmp/.X%1-lock").arg(n))
            && !QFile::exists(QStringLiteral("/tmp/.X11-unix/X%1").arg(n)))
            return n;
    }
    return -1;
}

bool displayUp(int display)
{
    return QFile::exists(QStringLiteral("/tmp/.X11-unix/X%1").arg(display));
}

// Shows the known picture on the display and returns a grab of it.
QImage showAndGrab(int display, std::unique_ptr<Child>& picture, const QTemporaryDir& dir)
{
    picture = std::make_unique<Child>(TW_LIVE_PICTURE_PROGRAM, QStringList{"show"}, displayEnvironment(display));
    if (!waitUntil([&] { return picture->output().contains("shown"); }, 15000)) {
        ADD_FAILURE() << "picture not shown: " << picture->errors().toStdString();
        return QImage();
    }
    const QString file = dir.filePath(QStringLiteral("grab%1.png").arg(display));
    QProcess grab;
    grab.setProcessEnvironment(displayEnvironment(display));
    grab.start(TW_LIVE_PICTURE_PROGRAM, {"grab", file});
    if (!grab.waitForFinished(15000) || grab.exitCode() != 0) {
        ADD_FAILURE() << "grab failed: " << grab.readAllStandardError().toStdString();
        return QImage();
    }
    const QImage image = QImage(file).convertToFormat(QImage::Format_RGB32);
    // The known picture, not an empty screen, is what the servers share.
    QSet<QRgb> colours;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            colours.insert(image.pixel(x, y));
    EXPECT_GT(colours.size(), 30);
    return image;
}

// Connects a viewer in each quality and compares its frame with the grab.
void expectViewerSeesGrab(quint16 port, const QImage& grab, const QString& password)
{
    const struct {
        VncImageQuality quality;
        PixelFormat format;
        const char* name;
    } qualities[] = {{LowQuality, PixelFormat::low(), "low"}, {MiddleQuality, PixelFormat::middle(), "middle"}};
    for (const auto& q : qualities) {
        SCOPED_TRACE(q.name);
        VncViewer viewer;
        viewer.setPort(port);
        viewer.connectServer(kAddress, q.quality, password);
        ASSERT_TRUE(waitUntil([&] { return viewer.connectionState() == ConnectionState::Connected; }, 20000))
            << "no complete update";
        const QImage expected = HextileEncoder::truncated(grab, q.format).convertToFormat(QImage::Format_RGB32);
        QImage frame;
        const bool same = waitUntil(
            [&] {
                frame = viewer.frameBufferImage().convertToFormat(QImage::Format_RGB32);
                return frame == expected;
            },
            10000);
        if (!same) {
            ASSERT_EQ(frame.size(), expected.size());
            int differing = 0;
            QString first;
            for (int y = 0; y < frame.height(); ++y)
                for (int x = 0; x < frame.width(); ++x)
                    if (frame.pixel(x, y) != expected.pixel(x, y) && differing++ == 0)
                        first = QStringLiteral("(%1,%2) %3 vs %4")
                                    .arg(x)
                                    .arg(y)
                                    .arg(QColor(frame.pixel(x, y)).name(), QColor(expected.pixel(x, y)).name());
            ADD_FAILURE() << differing << " pixels differ, first " << first.toStdString();
        }
        if (q.quality == LowQuality) {
            EXPECT_NE(frame, grab) << "the low quality should have cut channel bits";
        }
        viewer.disconnectServer();
    }
}

} // namespace

TEST(VncLive, X11vncWithoutPassword)
{
    if (tool("Xvfb").isEmpty() || tool("x11vnc").isEmpty())
        GTEST_SKIP() << "Xvfb or x11vnc is not installed (packages xvfb, x11vnc)";
    const int display = freeDisplay(140);
    ASSERT_GE(display, 140) << "displays :140 to :149 are all taken";
    const quint16 port = quint16(5900 + display);
    QTemporaryDir dir;
    Child xvfb(tool("Xvfb"),
               {QStringLiteral(":%1").arg(display), "-screen", "0",
                QStringLiteral("%1x%2x24").arg(kScreen.width()).arg(kScreen.height()), "-nolisten", "tcp", "-ac"});
    ASSERT_TRUE(waitUntil([&] { return displayUp(display) || !xvfb.running(); }, 10000));
    ASSERT_TRUE(xvfb.running()) << xvfb.errors().toStdString();
    std::unique_ptr<Child> picture;
    const QImage grab = showAndGrab(display, picture, dir);
    ASSERT_EQ(grab.size(), kScreen);
    Child server(tool("x11vnc"),
                 {"-display", QStringLiteral(":%1").arg(display), "-rfbport", QString::number(port), "-listen",
                  kAddress, "-nopw", "-forever", "-shared", "-nocursor", "-noxdamage", "-quiet"},
                 displayEnvironment(display));
    ASSERT_TRUE(waitUntil([&] { return portOpen(port) || !server.running(); }, 15000));
    ASSERT_TRUE(server.running()) << server.errors().toStdString();
    expectViewerSeesGrab(port, grab, QString());
}

TEST(VncLive, TigerVncWithVncAuthentication)
{
    if (tool("Xvnc").isEmpty())
        GTEST_SKIP() << "TigerVNC's Xvnc is not installed (package tigervnc-standalone-server)";
    const int display = freeDisplay(145);
    ASSERT_GE(display, 140) << "displays :145 to :149 are all taken";
    const quint16 port = quint16(5900 + display);
    QTemporaryDir dir;
    // The password file holds the password DES-encrypted under VNC's fixed
    // key, as vncpasswd writes it.
    {
        const uint8_t fixedKey[8] = {23, 82, 107, 6, 35, 78, 88, 7};
        uint8_t block[8] = {'s', '3', 'c', 'r', 'e', 't', 0, 0};
        DesKeySchedule schedule;
        loadDesKey(fixedKey, schedule);
        desTransformBlock(block, block, schedule);
        QFile file(dir.filePath("passwd"));
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(reinterpret_cast<const char*>(block), 8);
    }
    Child xvnc(tool("Xvnc"),
               {QStringLiteral(":%1").arg(display), "-geometry",
                QStringLiteral("%1x%2").arg(kScreen.width()).arg(kScreen.height()), "-depth", "24", "-rfbport",
                QString::number(port), "-interface", kAddress, "-SecurityTypes", "VncAuth", "-PasswordFile",
                dir.filePath("passwd"), "-BlacklistThreshold", "1000", "-nolisten", "tcp", "-ac"});
    ASSERT_TRUE(waitUntil([&] { return (displayUp(display) && portOpen(port)) || !xvnc.running(); }, 15000));
    ASSERT_TRUE(xvnc.running()) << xvnc.errors().toStdString();
    std::unique_ptr<Child> picture;
    const QImage grab = showAndGrab(display, picture, dir);
    ASSERT_EQ(grab.size(), kScreen);
    expectViewerSeesGrab(port, grab, QStringLiteral("s3cret"));
}
