// The viewer widget and its window: key map, pointer mapping, pictures
// before and after a connection, titles, the quality menu and the password
// dialog, against the fake server.

#include "tarnwick/vnc/vncviewer.h"

#include "platform/fd/uniquefd.h"
#include "tarnwick/vnc/vncpassworddialog.h"
#include "tarnwick/vnc/vncviewerwindow.h"
#include "testing/fakerfb/fakerfbserver.h"
#include "testing/main/eventwait.h"
#include "testing/main/logcapture.h"
#include "testing/vpnharness/netnslab.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QElapsedTimer>
#include <QLineEdit>
#include <QMenu>
#include <QMouseEvent>
#include <QScreen>
#include <QTimer>
#include <QVBoxLayout>

#include <fcntl.h>
#include <sched.h>
#include <sys/resource.h>
#include <unistd.h>

#include <cmath>
#include <functional>
#include <map>
#include <memory>
#include <utility>

using namespace VNC;
using FakeRfb::FakeRfbServer;
using FakeRfb::Fault;
using FakeRfb::ServerConfig;
using FakeRfb::vncAuthConfig;

namespace {

using TestWait::waitUntil;

void sendMouse(QWidget& widget, QEvent::Type type, QPointF position, Qt::MouseButton button, Qt::MouseButtons buttons)
{
    QMouseEvent event(type, position, widget.mapToGlobal(position.toPoint()), button, buttons, Qt::NoModifier);
    QApplication::sendEvent(&widget, &event);
}

void sendKey(QWidget& widget, QEvent::Type type, int key, Qt::KeyboardModifiers modifiers, quint32 scanCode = 0)
{
    QKeyEvent event(type, key, modifiers, scanCode, 0, 0);
    QApplication::sendEvent(&widget, &event);
}

QStringList keyEventsOf(const FakeRfb::ClientRecord& record)
{
    QStringList keys;
    for (const QByteArray& e : record.keyEvents)
        keys << QString::fromLatin1(e.toHex());
    return keys;
}

using TestLog::LogCapture;

const QString kDisconnected = QStringLiteral("-已断开");

bool showsDisconnected(VncViewerWindow& window)
{
    return window.windowTitle().endsWith(kDisconnected);
}

// The viewer's picture in the middle of the window.
QColor shownColour(VncViewerWindow& window)
{
    auto* viewer = window.findChild<VncViewer*>();
    const QImage shot = viewer->grab().toImage();
    return QColor(shot.pixel(shot.width() / 2, shot.height() / 2));
}

// Runs make with the calling thread inside the network namespace ns, and
// takes it back out: threads started meanwhile (the viewer's worker) stay in
// the namespace, and so do the sockets they open.
void inNamespace(const QString& ns, const std::function<void()>& make)
{
    const platform::UniqueFd own(::open("/proc/self/ns/net", O_RDONLY | O_CLOEXEC));
    const platform::UniqueFd target(::open(("/var/run/netns/" + ns.toLocal8Bit()).constData(), O_RDONLY | O_CLOEXEC));
    ASSERT_TRUE(own.valid());
    ASSERT_TRUE(target.valid()) << ns.toStdString();
    ASSERT_EQ(::setns(target.get(), CLONE_NEWNET), 0);
    make();
    ASSERT_EQ(::setns(own.get(), CLONE_NEWNET), 0);
}

// Windows opened on servers that do not answer as a server should, and the
// time each took to show the disconnected state.
struct FailedConnect {
    FailedConnect(const char* name, QString address, quint16 port, QString logged)
        : name(name)
        , address(std::move(address))
        , port(port)
        , logged(std::move(logged))
    {
    }

    const char* name;
    QString address;
    quint16 port;
    QString logged; // the reason the log gives
    std::unique_ptr<VncViewerWindow> window;
    qint64 shownAfter = -1;
    qint64 reportedAfter = -1;
};

void openAndWaitForTheDisconnectedState(std::vector<FailedConnect>& cases, const QString& ns = QString())
{
    QElapsedTimer clock;
    auto open = [&] {
        clock.start();
        for (FailedConnect& c : cases) {
            c.window = std::make_unique<VncViewerWindow>(c.address, c.port);
            QObject::connect(c.window.get(), &QWidget::windowTitleChanged, [&clock, &c](const QString& title) {
                if (title.endsWith(kDisconnected) && c.shownAfter < 0)
                    c.shownAfter = clock.elapsed();
            });
            c.window->show();
        }
    };
    if (ns.isEmpty())
        open();
    else
        inNamespace(ns, open);
    waitUntil(
        [&] {
            for (const FailedConnect& c : cases)
                if (c.shownAfter < 0)
                    return false;
            return true;
        },
        20000);
}

// The viewer reports the state within 6 s of its connection attempt (the
// time the window then takes to show it depends on how busy the machine is),
// and the log says why.
void expectTheDisconnectedStateWithin6s(std::vector<FailedConnect>& cases, const LogCapture& log)
{
    for (FailedConnect& c : cases) {
        SCOPED_TRACE(c.name);
        ASSERT_GE(c.shownAfter, 0) << "the window never showed the disconnected state";
        const qint64 attempt = log.timeOf(QStringLiteral("connecting to %1:%2").arg(c.address).arg(c.port));
        ASSERT_GE(attempt, 0) << log.all();
        const qint64 reported = log.timeOf(c.logged, attempt);
        ASSERT_GE(reported, 0) << c.logged.toStdString() << " not in the log:\n" << log.all();
        c.reportedAfter = reported - attempt;
        EXPECT_LE(c.reportedAfter, 6000);
        EXPECT_EQ(c.window->windowTitle(), QStringLiteral("VNC-%1-已断开").arg(c.address));
        EXPECT_EQ(c.window->findChild<VncViewer*>()->connectionState(), ConnectionState::Disconnected)
            << "a reconnect is pending";
        EXPECT_EQ(shownColour(*c.window).name(), QColor(Qt::gray).name());
    }
}

} // namespace

TEST(VncKeyMap, LettersFollowShiftAndCapsLock)
{
    EXPECT_EQ(VncViewer::keysymFor(Qt::Key_A, Qt::NoModifier, false), 0x61u);
    EXPECT_EQ(VncViewer::keysymFor(Qt::Key_A, Qt::ShiftModifier, false), 0x41u);
    EXPECT_EQ(VncViewer::keysymFor(Qt::Key_A, Qt::NoModifier, true), 0x41u);
    EXPECT_EQ(VncViewer::keysymFor(Qt::Key_A, Qt::ShiftModifier, true), 0x61u);
    EXPECT_EQ(VncViewer::keysymFor(Qt::Key_Z, Qt::ControlModifier, false), 0x7Au);
}

TEST(VncKeyMap, SpecialAndUnmappedKeys)
{
    EXPECT_EQ(VncViewer::keysymFor(Qt::Key_Enter, Qt::KeypadModifier, false), 0xFF0Du);
    EXPECT_EQ(VncViewer::keysymFor(Qt::Key_Return, Qt::NoModifier, false), 0xFF0Du);
    EXPECT_EQ(VncViewer::keysymFor(Qt::Key_F1, Qt::NoModifier, false), 0xFFBEu);
    EXPECT_EQ(VncViewer::keysymFor(Qt::Key_F35, Qt::NoModifier, false), 0xFFE0u);
    EXPECT_EQ(VncViewer::keysymFor(Qt::Key_Shift, Qt::ShiftModifier, false), 0xFFE2u);
    EXPECT_EQ(VncViewer::keysymFor(Qt::Key_Delete, Qt::NoModifier, false), 0xFFFFu);
    EXPECT_EQ(VncViewer::keysymFor(Qt::Key_Space, Qt::NoModifier, false), 0x20u);
    EXPECT_EQ(VncViewer::keysymFor(Qt::Key_BracketLeft, Qt::NoModifier, false), 0x5Bu);
    EXPECT_EQ(VncViewer::keysymFor(Qt::Key_AsciiTilde, Qt::NoModifier, false), 0x7Eu);
    EXPECT_EQ(VncViewer::keysymFor(0xAE, Qt::NoModifier, false), 0xAEu);
    EXPECT_EQ(VncViewer::keysymFor(0xBB, Qt::NoModifier, false), 0xBBu);
    for (int key :
         {int(Qt::Key_Backtab), int(Qt::Key_Menu), 0xAF, 0xBA, 0xBC, 0xFF, int(Qt::Key_Hyper_L), int(Qt::Key_unknown)})
        EXPECT_EQ(VncViewer::keysymFor(key, Qt::NoModifier, false), 5000u) << std::hex << key;
}

TEST(VncPointerMap, ScaledWidgetToFrameBufferWithinBounds)
{
    const QSize widget(1536, 900); // 1024 x 600 at 144 dpi
    const QSize frame(1024, 600);
    EXPECT_EQ(VncViewer::mapToFrameBuffer({768, 450}, widget, frame), QPoint(512, 300));
    EXPECT_EQ(VncViewer::mapToFrameBuffer({1, 1}, widget, frame), QPoint(1, 1));
    EXPECT_EQ(VncViewer::mapToFrameBuffer({0.4, 0.5}, widget, frame), QPoint(0, 1));
    EXPECT_EQ(VncViewer::mapToFrameBuffer({1535.6, 899.6}, widget, frame), QPoint(1023, 599));
    EXPECT_EQ(VncViewer::mapToFrameBuffer({-40, -3}, widget, frame), QPoint(0, 0));
    EXPECT_EQ(VncViewer::mapToFrameBuffer({5000, 2000}, widget, frame), QPoint(1023, 599));
    EXPECT_EQ(VncViewer::mapToFrameBuffer({10, 10}, QSize(0, 0), frame), QPoint(0, 0));
    EXPECT_EQ(VncViewer::mapToFrameBuffer({10, 10}, widget, QSize(0, 0)), QPoint(0, 0));
}

TEST(VncViewerWidget, DarkGreyBeforeTheFirstImage)
{
    VncViewer viewer;
    viewer.resize(50, 30);
    const QImage shot = viewer.grab().toImage();
    EXPECT_EQ(QColor(shot.pixel(25, 15)).name(), QColor(Qt::darkGray).name());
    EXPECT_EQ(viewer.connectionState(), ConnectionState::Disconnected);
}

TEST(VncViewerWidget, InputAt144DpiReachesTheServer)
{
    FakeRfbServer server;
    ServerConfig config;
    config.size = QSize(1024, 600);
    server.setConfig(config);
    ASSERT_TRUE(server.start());
    VncViewer viewer;
    viewer.setLogicalDpi(144);
    viewer.setPort(server.port());
    QSize announced;
    QObject::connect(&viewer, &VncViewer::vncServerConnected, [&](int w, int h) { announced = QSize(w, h); });
    viewer.connectServer("127.0.0.1", LowQuality, QString());
    // The first update of 1024 x 600 takes seconds with the sanitizers; many
    // times that on a loaded machine.
    ASSERT_TRUE(waitUntil([&] { return viewer.connectionState() == ConnectionState::Connected && announced.isValid(); },
                          30000));
    EXPECT_EQ(announced, QSize(1536, 900));
    EXPECT_EQ(viewer.scaledFrameBufferWidth(), 1536);
    viewer.resize(1536, 900);

    sendMouse(viewer, QEvent::MouseButtonPress, {768, 450}, Qt::LeftButton, Qt::LeftButton);
    sendMouse(viewer, QEvent::MouseMove, {-20, 950}, Qt::NoButton, Qt::LeftButton);
    sendMouse(viewer, QEvent::MouseButtonPress, {3, 3}, Qt::BackButton, Qt::LeftButton | Qt::BackButton);
    sendMouse(viewer, QEvent::MouseButtonRelease, {1536, 0}, Qt::LeftButton, Qt::NoButton);
    sendMouse(viewer, QEvent::MouseButtonPress, {3, 3}, Qt::RightButton, Qt::RightButton);
    sendKey(viewer, QEvent::KeyPress, Qt::Key_A, Qt::ShiftModifier);
    sendKey(viewer, QEvent::KeyRelease, Qt::Key_A, Qt::ShiftModifier);
    sendKey(viewer, QEvent::KeyPress, Qt::Key_Menu, Qt::NoModifier);
    ASSERT_TRUE(waitUntil([&] { return server.record(0).keyEvents.size() == 3; }, 5000));
    const FakeRfb::ClientRecord record = server.record(0);
    QStringList pointers;
    for (const QByteArray& e : record.pointerEvents)
        pointers << QString::fromLatin1(e.toHex());
    // Left press in the middle, a drag that left the widget (clamped), the
    // fourth button swallowed, release at the right edge, right press.
    EXPECT_EQ(pointers.join(' ').toStdString(), "05010200012c 050100000257 050003ff0000 050400020002");
    QStringList keys;
    for (const QByteArray& e : record.keyEvents)
        keys << QString::fromLatin1(e.toHex());
    EXPECT_EQ(keys.join(' ').toStdString(), "0401000000000041 0400000000000041 0401000000001388");
}

TEST(VncViewerWindow, TitlesFollowConnectAndLoss)
{
    FakeRfbServer server;
    ServerConfig config;
    config.size = QSize(320, 200);
    server.setConfig(config);
    ASSERT_TRUE(server.start());
    VncViewerWindow window("127.0.0.1", server.port());
    window.findChild<VncViewer*>()->setReconnectInterval(300);
    const qreal d = QGuiApplication::primaryScreen()->logicalDotsPerInch() / 96.0;
    EXPECT_EQ(window.size(), QSize(int(std::ceil(800 * d)), int(std::ceil(480 * d))));
    EXPECT_EQ(window.windowTitle(), QStringLiteral("VNC-127.0.0.1-连接中"));
    window.show();
    ASSERT_TRUE(waitUntil([&] { return window.windowTitle() == QStringLiteral("VNC-127.0.0.1-已连接"); }, 10000));
    auto* viewer = window.findChild<VncViewer*>();
    ASSERT_NE(viewer, nullptr);
    // The view keeps the frame buffer's aspect ratio inside the window.
    EXPECT_NEAR(double(viewer->width()) / viewer->height(), 320.0 / 200.0, 0.02);
    server.dropConnections();
    ASSERT_TRUE(waitUntil([&] { return window.windowTitle() == QStringLiteral("VNC-127.0.0.1-已断开"); }, 5000));
    // Pending, or already back on a busy machine that showed the title late.
    EXPECT_NE(viewer->connectionState(), ConnectionState::Disconnected) << "no reconnect is pending";
    ASSERT_TRUE(waitUntil([&] { return window.windowTitle() == QStringLiteral("VNC-127.0.0.1-已连接"); }, 10000));
    window.close();
    EXPECT_TRUE(waitUntil([&] { return server.openConnectionCount() == 0; }, 5000));
}

TEST(VncViewerWindow, QualityMenuReconnectsOnlyWhileConnected)
{
    FakeRfbServer server;
    ASSERT_TRUE(server.start());
    VncViewerWindow window("127.0.0.1", server.port());
    std::unique_ptr<QMenu> menu(window.createQualityMenu(nullptr));
    const QList<QAction*> actions = menu->actions();
    ASSERT_EQ(actions.size(), 3);
    EXPECT_TRUE(actions[1]->isChecked()) << "the window starts in the middle quality";
    ASSERT_TRUE(waitUntil([&] { return window.windowTitle() == QStringLiteral("VNC-127.0.0.1-已连接"); }, 10000));
    actions[0]->trigger();
    EXPECT_EQ(window.imageQuality(), LowQuality);
    EXPECT_EQ(window.windowTitle(), QStringLiteral("VNC-127.0.0.1-连接中"));
    ASSERT_TRUE(waitUntil([&] { return server.record(1).setPixelFormats.size() == 1; }, 10000));
    EXPECT_EQ(server.record(1).setPixelFormats[0].toHex().toStdString(), "0000000008080001000300070007060300000000");
    ASSERT_TRUE(waitUntil([&] { return window.windowTitle() == QStringLiteral("VNC-127.0.0.1-已连接"); }, 10000));

    // Disconnected: the choice is kept, nothing connects.
    server.stop();
    ASSERT_TRUE(waitUntil([&] { return window.windowTitle() == QStringLiteral("VNC-127.0.0.1-已断开"); }, 5000));
    actions[2]->trigger();
    EXPECT_EQ(window.imageQuality(), HighQuality);
    EXPECT_EQ(window.windowTitle(), QStringLiteral("VNC-127.0.0.1-已断开"));
}

TEST(VncViewerWindow, CancelledPasswordDialogClosesTheWindowAndSendsNoResponse)
{
    FakeRfbServer server;
    server.setConfig(vncAuthConfig(QByteArray::fromHex("fc9a2bb8546a63388eb45b530d3a6337")));
    ASSERT_TRUE(server.start());
    VncViewerWindow window("127.0.0.1", server.port());
    window.show();
    int dialogs = 0;
    QTimer answer;
    QObject::connect(&answer, &QTimer::timeout, [&] {
        if (auto* dialog = qobject_cast<VncPasswordDialog*>(QApplication::activeModalWidget())) {
            ++dialogs;
            EXPECT_EQ(dialog->windowTitle(), QStringLiteral("登录校验"));
            dialog->reject();
        }
    });
    answer.start(20);
    ASSERT_TRUE(waitUntil([&] { return !window.isVisible(); }, 10000)) << "the window stayed open";
    EXPECT_EQ(dialogs, 1);
    EXPECT_TRUE(waitUntil([&] { return server.record(0).closed; }, 5000));
    EXPECT_TRUE(server.record(0).response.isEmpty()) << "a response was sent for a cancelled dialog";
}

TEST(VncViewerWindow, AcceptedPasswordConnects)
{
    FakeRfbServer server;
    server.setConfig(vncAuthConfig(QByteArray::fromHex("fc9a2bb8546a63388eb45b530d3a6337")));
    ASSERT_TRUE(server.start());
    VncViewerWindow window("127.0.0.1", server.port());
    QTimer answer;
    QObject::connect(&answer, &QTimer::timeout, [&] {
        if (auto* dialog = qobject_cast<VncPasswordDialog*>(QApplication::activeModalWidget())) {
            dialog->findChild<QLineEdit*>("passwdLineEdit")->setText("s3cret");
            dialog->accept();
        }
    });
    answer.start(20);
    ASSERT_TRUE(waitUntil([&] { return window.windowTitle() == QStringLiteral("VNC-127.0.0.1-已连接"); }, 10000));
    EXPECT_EQ(server.record(0).response.toHex().toStdString(), "fc9a2bb8546a63388eb45b530d3a6337");
}

TEST(VncViewerWindow, LargeFrameBufferIsScaledToTheAvailableScreen)
{
    const QSize available = QGuiApplication::primaryScreen()->availableSize();
    FakeRfbServer server;
    ServerConfig config;
    config.size = QSize(available.width() * 2, available.width() * 3 / 2); // 4:3, larger than the screen
    server.setConfig(config);
    ASSERT_TRUE(server.start());
    VncViewerWindow window("127.0.0.1", server.port());
    // The fake encodes a picture of twice the screen for the first update.
    ASSERT_TRUE(waitUntil([&] { return window.windowTitle() == QStringLiteral("VNC-127.0.0.1-已连接"); }, 30000));
    EXPECT_LE(window.width(), available.width() - 100 + 1);
    EXPECT_LE(window.height(), available.height() - 100 + 1);
    EXPECT_TRUE(window.width() >= available.width() - 101 || window.height() >= available.height() - 101)
        << "scaled further than needed";
    EXPECT_NEAR(double(window.width()) / window.height(), 4.0 / 3.0, 0.02);
}

TEST(VncViewerWidget, KeyReleaseSendsTheKeysymOfItsPress)
{
    FakeRfbServer server;
    ASSERT_TRUE(server.start());
    VncViewer viewer;
    viewer.setPort(server.port());
    viewer.connectServer("127.0.0.1", LowQuality, QString());
    ASSERT_TRUE(waitUntil(
        [&] { return viewer.connectionState() == ConnectionState::Connected && viewer.isFrameBufferReady(); }, 10000));

    // Shift down, a down, Shift up, a up: the release of a is that of "A".
    sendKey(viewer, QEvent::KeyPress, Qt::Key_Shift, Qt::ShiftModifier);
    sendKey(viewer, QEvent::KeyPress, Qt::Key_A, Qt::ShiftModifier);
    sendKey(viewer, QEvent::KeyRelease, Qt::Key_Shift, Qt::NoModifier);
    sendKey(viewer, QEvent::KeyRelease, Qt::Key_A, Qt::NoModifier);
    // With scan codes (X11 key codes): Shift+1 gives "!", whose release
    // comes as the key 1 once Shift is up.
    sendKey(viewer, QEvent::KeyPress, Qt::Key_Shift, Qt::ShiftModifier, 50);
    sendKey(viewer, QEvent::KeyPress, Qt::Key_Exclam, Qt::ShiftModifier, 10);
    sendKey(viewer, QEvent::KeyRelease, Qt::Key_Shift, Qt::NoModifier, 50);
    sendKey(viewer, QEvent::KeyRelease, Qt::Key_1, Qt::NoModifier, 10);
    // The next press of a, without Shift, is a again.
    sendKey(viewer, QEvent::KeyPress, Qt::Key_A, Qt::NoModifier, 38);
    sendKey(viewer, QEvent::KeyRelease, Qt::Key_A, Qt::ShiftModifier, 38);
    ASSERT_TRUE(waitUntil([&] { return server.record(0).keyEvents.size() == 10; }, 5000));
    EXPECT_EQ(keyEventsOf(server.record(0)).join(' ').toStdString(),
              "040100000000ffe2 0401000000000041 040000000000ffe2 0400000000000041 "
              "040100000000ffe2 0401000000000021 040000000000ffe2 0400000000000021 "
              "0401000000000061 0400000000000061");
}

// The widget's own key handling sees a release as a release: a popup viewer
// closes on the press of Escape, not on its release.
TEST(VncViewerWidget, AKeyReleaseReachesTheWidgetsReleaseHandling)
{
    VncViewer viewer;
    viewer.setWindowFlags(Qt::Popup);
    viewer.resize(50, 30);
    viewer.show();
    ASSERT_TRUE(waitUntil([&] { return viewer.isVisible(); }, 5000));
    sendKey(viewer, QEvent::KeyRelease, Qt::Key_Escape, Qt::NoModifier);
    EXPECT_TRUE(viewer.isVisible()) << "the release was handled as a press";
    sendKey(viewer, QEvent::KeyPress, Qt::Key_Escape, Qt::NoModifier);
    EXPECT_FALSE(viewer.isVisible());
}

TEST(VncViewerWidget, FocusLeavingOrClosingReleasesHeldKeys)
{
    FakeRfbServer server;
    ASSERT_TRUE(server.start());
    QWidget window;
    auto* layout = new QVBoxLayout(&window);
    auto* viewer = new VncViewer(&window);
    auto* other = new QLineEdit(&window);
    layout->addWidget(viewer);
    layout->addWidget(other);
    window.resize(200, 150);
    window.show();
    QApplication::setActiveWindow(&window);
    viewer->setPort(server.port());
    viewer->connectServer("127.0.0.1", LowQuality, QString());
    ASSERT_TRUE(waitUntil(
        [&] { return viewer->connectionState() == ConnectionState::Connected && viewer->isFrameBufferReady(); },
        10000));
    viewer->setFocus();
    ASSERT_TRUE(waitUntil([&] { return viewer->hasFocus(); }, 5000));

    sendKey(*viewer, QEvent::KeyPress, Qt::Key_Control, Qt::ControlModifier, 37);
    sendKey(*viewer, QEvent::KeyPress, Qt::Key_A, Qt::ControlModifier, 38);
    sendKey(*viewer, QEvent::KeyRelease, Qt::Key_A, Qt::ControlModifier, 38); // released in time: not again
    sendKey(*viewer, QEvent::KeyPress, Qt::Key_B, Qt::ControlModifier, 56);
    other->setFocus();
    ASSERT_TRUE(waitUntil([&] { return server.record(0).keyEvents.size() == 6; }, 5000));
    QStringList released = keyEventsOf(server.record(0)).mid(4);
    released.sort();
    EXPECT_EQ(released.join(' ').toStdString(), "0400000000000062 040000000000ffe4");
    QThread::msleep(200);
    EXPECT_EQ(server.record(0).keyEvents.size(), 6) << "a key was released twice";

    // A key held while the viewer goes is released before the connection.
    viewer->setFocus();
    sendKey(*viewer, QEvent::KeyPress, Qt::Key_C, Qt::NoModifier, 54);
    viewer->disconnectServer();
    ASSERT_TRUE(waitUntil([&] { return server.record(0).closed; }, 5000));
    const QStringList keys = keyEventsOf(server.record(0));
    ASSERT_EQ(keys.size(), 8);
    EXPECT_EQ(keys.mid(6).join(' ').toStdString(), "0401000000000063 0400000000000063");
}

TEST(VncViewerWindow, FailedFirstConnectShowsTheDisconnectedStateAndTheLogSaysWhy)
{
    LogCapture log;
    quint16 closedPort = 0;
    {
        FakeRfbServer probe;
        ASSERT_TRUE(probe.start(QHostAddress("127.41.0.1")));
        closedPort = probe.port();
    }
    FakeRfbServer refusing;
    ServerConfig refusal;
    refusal.securityType = 0;
    refusing.setConfig(refusal);
    ASSERT_TRUE(refusing.start());
    FakeRfbServer closing;
    ServerConfig closeAtOnce;
    closeAtOnce.fault = Fault::CloseOnAccept;
    closing.setConfig(closeAtOnce);
    ASSERT_TRUE(closing.start());

    std::vector<FailedConnect> cases;
    cases.push_back({"closed port", "127.41.0.1", closedPort,
                     QStringLiteral("connect to 127.41.0.1:%1 failed: Connection refused").arg(closedPort)});
    cases.push_back({"refused by the server", "127.0.0.1", refusing.port(), "unsupport type!"});
    cases.push_back({"closed at once", "127.0.0.1", closing.port(), "server/network disconnected!"});
    openAndWaitForTheDisconnectedState(cases);
    expectTheDisconnectedStateWithin6s(cases, log);
}

TEST(VncViewerWindowNetns, SilentAndUnreachableServersShowTheDisconnectedStateWithin6s)
{
    const QString unavailable = NetnsLab::namespaceUnavailableReason();
    if (!unavailable.isEmpty())
        GTEST_SKIP() << unavailable.toStdString();
    NetnsLab lab;
    QString error;
    ASSERT_TRUE(lab.create(&error)) << error.toStdString();
    // A neighbour whose frames nobody takes: the connection attempt gets no
    // answer at all.
    ASSERT_TRUE(lab.must(lab.pc(),
                         {"neigh", "add", "172.31.77.9", "lladdr", "02:00:00:00:00:09", "dev", NetnsLab::pcInterface(),
                          "nud", "permanent"},
                         &error))
        << error.toStdString();
    // A network the namespace's routes call unreachable.
    ASSERT_TRUE(lab.must(lab.pc(), {"route", "add", "unreachable", "10.98.0.0/16"}, &error)) << error.toStdString();
    LogCapture log;
    std::vector<FailedConnect> cases;
    cases.push_back({"silent", "172.31.77.9", 5900, "connect to 172.31.77.9:5900 failed: no answer within 5000 ms"});
    cases.push_back({"host unreachable", "10.98.0.1", 5900, "connect to 10.98.0.1:5900 failed: Host unreachable"});
    cases.push_back(
        {"network unreachable", "10.99.0.1", 5900, "connect to 10.99.0.1:5900 failed: Network unreachable"});
    cases.push_back({"closed port", NetnsLab::panelAddress(), 5900,
                     QStringLiteral("connect to %1:5900 failed: Connection refused").arg(NetnsLab::panelAddress())});
    openAndWaitForTheDisconnectedState(cases, lab.pc());
    expectTheDisconnectedStateWithin6s(cases, log);
    // Given up by the time limit, not before.
    EXPECT_GE(cases[0].reportedAfter, 4500);
    cases.clear(); // the windows go before the namespace
}

TEST(VncViewerWindow, HugeServerInitIsRefusedWithoutTakingTheMemory)
{
    LogCapture log;
    FakeRfbServer server;
    ServerConfig config;
    config.announcedSize = QSize(16384, 16384);
    server.setConfig(config);
    ASSERT_TRUE(server.start());
    rusage before{};
    ::getrusage(RUSAGE_SELF, &before);
    VncViewerWindow window("127.0.0.1", server.port());
    window.show();
    ASSERT_TRUE(waitUntil([&] { return showsDisconnected(window); }, 10000)) << window.windowTitle().toStdString();
    EXPECT_EQ(window.findChild<VncViewer*>()->connectionState(), ConnectionState::Disconnected);
    EXPECT_TRUE(log.contains("frame buffer too large: 16384 x 16384")) << log.all();
    EXPECT_TRUE(log.contains("VncInit:frame buffer too large!")) << log.all();
    EXPECT_TRUE(server.record(0).updateRequests.isEmpty()) << "the client went on after ServerInit";
    rusage after{};
    ::getrusage(RUSAGE_SELF, &after);
    EXPECT_LT(after.ru_maxrss - before.ru_maxrss, 100 * 1024)
        << "peak grew by " << (after.ru_maxrss - before.ru_maxrss) << " KiB";
}
