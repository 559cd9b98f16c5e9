// The connection worker against the fake server on loopback: reconnection,
// protocol errors, quality changes, passwords, stalls and whole updates.

#include "tarnwick/vnc/vncviewerclient.h"

#include "tarnwick/vnc/vncviewer.h"
#include "testing/fakerfb/fakerfbserver.h"
#include "testing/main/eventwait.h"
#include "testing/main/logcapture.h"

#include <gtest/gtest.h>

#include <QElapsedTimer>
#include <QPainter>
#include <QThread>

#include <algorithm>
#include <atomic>
#include <memory>
#include <utility>

using namespace VNC;
using FakeRfb::FakeRfbServer;
using FakeRfb::Fault;
using FakeRfb::HextileEncoder;
using FakeRfb::PixelFormat;
using FakeRfb::ServerConfig;
using FakeRfb::vncAuthConfig;
using TestLog::LogCapture;

namespace {

const QByteArray kS3cretResponse = QByteArray::fromHex("fc9a2bb8546a63388eb45b530d3a6337");

// A reconnect interval for the tests that wait for reconnection, or for its
// absence: a reconnect that should not come would have come within a few.
constexpr int kReconnectMs = 300;
constexpr int kSeveralReconnectsMs = 6 * kReconnectMs;

// The client in a worker thread of its own, as the viewer runs it, with
// counters of its signals.
class Worker {
public:
    explicit Worker(quint16 port)
    {
        client.setPort(port);
        client.moveToThread(&thread);
        QObject::connect(&thread, &QThread::finished, &client, &VncViewerClient::releaseResources,
                         Qt::DirectConnection);
        QObject::connect(&client, &VncViewerClient::updateScreen, [this] { ++updates; });
        QObject::connect(&client, &VncViewerClient::vncServerDisconnected, [this] {
            qint64 none = -1;
            if (firstLossAt.compare_exchange_strong(none, FakeRfb::nowMs()))
                stateAtFirstLoss = client.connectionState();
            ++losses;
        });
        QObject::connect(&client, &VncViewerClient::vncPasswdIncorrect, [this] { ++passwordIncorrect; });
        QObject::connect(&client, &VncViewerClient::vncPasswdNeeded, [this] { ++passwordNeeded; });
        thread.start();
    }
    ~Worker()
    {
        client.requestDisconnect();
        thread.quit();
        client.wakeAll();
        thread.wait();
    }

    QThread thread;
    VncViewerClient client;
    std::atomic<int> updates{0};
    std::atomic<int> losses{0};
    std::atomic<int> passwordIncorrect{0};
    std::atomic<int> passwordNeeded{0};
    // When the first loss was reported (FakeRfb::nowMs()); -1 before.
    std::atomic<qint64> firstLossAt{-1};
    std::atomic<ConnectionState> stateAtFirstLoss{ConnectionState::Connected};
};

QImage picture(QSize size, QRgb base)
{
    QImage image(size, QImage::Format_RGB32);
    image.fill(base);
    QPainter painter(&image);
    painter.fillRect(QRect(5, 5, size.width() / 3, size.height() / 2), qRgb(255, 255, 255));
    painter.fillRect(QRect(size.width() / 2, 3, 9, 17), qRgb(250, 0, 130));
    for (int i = 0; i < size.width(); i += 3)
        image.setPixel(i, size.height() - 1 - (i % size.height()), qRgb(i * 7 % 256, 90, 255 - i % 256));
    return image;
}

using TestWait::waitUntil;

QByteArray handshakeBytes(const QByteArray& setPixelFormat, int w, int h)
{
    QByteArray request = QByteArray::fromHex("03000000000000000000");
    request[6] = char(w >> 8);
    request[7] = char(w & 0xFF);
    request[8] = char(h >> 8);
    request[9] = char(h & 0xFF);
    return QByteArray("RFB 003.003\n") + QByteArray(1, '\x01') + QByteArray::fromHex("0200000100000005")
           + setPixelFormat + request;
}

} // namespace

// With the program's interval of 5000 ms.
TEST(VncViewerClient, ReconnectsAfterServerRestartAndUpdatesAgain)
{
    FakeRfbServer server;
    server.setPicture(picture(QSize(64, 48), qRgb(10, 20, 30)));
    ASSERT_TRUE(server.start());
    Worker worker(server.port());
    worker.client.requestConnect("127.0.0.1", QString(), MiddleQuality);
    ASSERT_TRUE(waitUntil([&] { return worker.updates >= 1; }, 10000));
    EXPECT_EQ(worker.client.connectionState(), ConnectionState::Connected);

    QElapsedTimer sinceLoss;
    ASSERT_TRUE(server.restart());
    sinceLoss.start();
    ASSERT_TRUE(waitUntil([&] { return worker.losses >= 1; }, 5000));
    EXPECT_EQ(worker.client.connectionState(), ConnectionState::ReconnectPending) << "a reconnect should be pending";
    ASSERT_TRUE(waitUntil([&] { return worker.updates >= 2; }, 12000));
    const qint64 elapsed = sinceLoss.elapsed();
    EXPECT_GE(elapsed, 4500);
    EXPECT_LE(elapsed, 8000) << "reconnect expected 5 s after the loss";
    EXPECT_EQ(server.connectionCount(), 2);
    EXPECT_EQ(worker.client.connectionState(), ConnectionState::Connected);
    EXPECT_EQ(worker.passwordNeeded, 0) << "a server without security asks no password";
}

TEST(VncViewerClient, ProtocolErrorClosesTheSocketAtOnce)
{
    for (Fault fault : {Fault::UnknownMessage, Fault::Garbage}) {
        FakeRfbServer server;
        ServerConfig config;
        config.fault = fault;
        server.setConfig(config);
        ASSERT_TRUE(server.start());
        Worker worker(server.port());
        worker.client.requestConnect("127.0.0.1", QString(), MiddleQuality);
        ASSERT_TRUE(waitUntil([&] { return server.record(0).updateRequests.size() >= 1; }, 10000));
        QElapsedTimer t;
        t.start();
        ASSERT_TRUE(waitUntil([&] { return server.record(0).closed; }, 5000)) << "the client kept the socket open";
        EXPECT_LT(t.elapsed(), 1500);
        EXPECT_TRUE(waitUntil([&] { return worker.losses >= 1; }, 2000)) << "the loss was not reported";
        EXPECT_EQ(worker.updates, 0);
        EXPECT_EQ(worker.client.connectionState(), ConnectionState::Disconnected)
            << "no reconnect before a first complete update";
    }
}

TEST(VncViewerClient, QualityChangeReconnectsWithTheNewPixelFormatOnce)
{
    FakeRfbServer server;
    ServerConfig config;
    config.size = QSize(40, 30);
    server.setConfig(config);
    server.setPicture(picture(QSize(40, 30), qRgb(0, 0, 0)));
    ASSERT_TRUE(server.start());
    Worker worker(server.port());
    worker.client.setReconnectInterval(kReconnectMs);
    worker.client.requestConnect("127.0.0.1", QString(), MiddleQuality);
    ASSERT_TRUE(waitUntil([&] { return worker.updates >= 1; }, 10000));

    const struct {
        VncImageQuality quality;
        const char* setPixelFormat;
    } changes[] = {
        {LowQuality, "0000000008080001000300070007060300000000"},
        {HighQuality, "000000001818000100ff00ff00ff100800000000"},
        {MiddleQuality, "0000000010100001001f003f001f0b0500000000"},
    };
    int expectedUpdates = 1;
    int connection = 0;
    for (const auto& change : changes) {
        worker.client.requestConnect("127.0.0.1", QString(), change.quality);
        ++connection;
        ++expectedUpdates;
        ASSERT_TRUE(waitUntil([&] { return worker.updates >= expectedUpdates; }, 10000));
        const QByteArray expected = handshakeBytes(QByteArray::fromHex(change.setPixelFormat), 40, 30);
        EXPECT_EQ(server.record(connection).bytes.left(expected.size()).toHex().toStdString(),
                  expected.toHex().toStdString());
        EXPECT_EQ(server.record(connection).setPixelFormats.size(), 1);
        EXPECT_TRUE(waitUntil([&] { return server.record(connection - 1).closed; }, 3000));
    }
    // No timer or doubled signal starts a further connection.
    EXPECT_FALSE(waitUntil([&] { return server.connectionCount() > 4; }, kSeveralReconnectsMs));
    EXPECT_EQ(server.connectionCount(), 4);
    EXPECT_EQ(server.openConnectionCount(), 1);
    EXPECT_EQ(worker.client.connectionState(), ConnectionState::Connected);
}

TEST(VncViewerClient, WrongPasswordIsReportedOnceWithoutReconnect)
{
    FakeRfbServer server;
    server.setConfig(vncAuthConfig(kS3cretResponse));
    ASSERT_TRUE(server.start());
    Worker worker(server.port());
    worker.client.setReconnectInterval(kReconnectMs);
    worker.client.requestConnect("127.0.0.1", "wrong", MiddleQuality);
    ASSERT_TRUE(waitUntil([&] { return worker.passwordIncorrect >= 1; }, 10000));
    ASSERT_TRUE(waitUntil([&] { return server.record(0).closed; }, 5000));
    EXPECT_FALSE(
        waitUntil([&] { return server.connectionCount() > 1 || worker.passwordIncorrect > 1; }, kSeveralReconnectsMs));
    EXPECT_EQ(worker.passwordIncorrect, 1);
    EXPECT_EQ(server.connectionCount(), 1);
    EXPECT_EQ(worker.client.connectionState(), ConnectionState::Disconnected);
    EXPECT_EQ(worker.passwordNeeded, 0);
}

TEST(VncViewerClient, AutomaticReconnectReusesTheStoredPassword)
{
    FakeRfbServer server;
    server.setConfig(vncAuthConfig(kS3cretResponse));
    ASSERT_TRUE(server.start());
    Worker worker(server.port());
    worker.client.setReconnectInterval(kReconnectMs);
    worker.client.requestConnect("127.0.0.1", "s3cret", MiddleQuality);
    ASSERT_TRUE(waitUntil([&] { return worker.updates >= 1; }, 10000));
    EXPECT_EQ(server.record(0).response.toHex(), kS3cretResponse.toHex());
    ASSERT_TRUE(server.restart());
    ASSERT_TRUE(waitUntil([&] { return worker.updates >= 2; }, 10000));
    EXPECT_EQ(server.record(1).response.toHex(), kS3cretResponse.toHex());
    EXPECT_EQ(worker.passwordNeeded, 0) << "asked the user again for a stored password";
}

TEST(VncViewerClient, PointerAndKeyEventsReachTheServer)
{
    FakeRfbServer server;
    server.setConfig([] {
        ServerConfig c;
        c.size = QSize(400, 300);
        return c;
    }());
    ASSERT_TRUE(server.start());
    Worker worker(server.port());
    EXPECT_EQ(worker.client.frameBufferWidth(), 800);
    EXPECT_EQ(worker.client.frameBufferHeight(), 480);
    worker.client.requestConnect("127.0.0.1", QString(), HighQuality);
    ASSERT_TRUE(waitUntil([&] { return worker.updates >= 1; }, 10000));
    EXPECT_EQ(worker.client.frameBufferWidth(), 400);
    EXPECT_TRUE(worker.client.sendPointerSync(1, 300, 200));
    EXPECT_TRUE(worker.client.sendKeySync(0xFF0D, true));
    EXPECT_TRUE(worker.client.sendKeySync(0xFF0D, false));
    ASSERT_TRUE(waitUntil([&] { return server.record(0).keyEvents.size() == 2; }, 5000));
    const FakeRfb::ClientRecord record = server.record(0);
    ASSERT_EQ(record.pointerEvents.size(), 1);
    EXPECT_EQ(record.pointerEvents[0].toHex(), "0501012c00c8");
    EXPECT_EQ(record.keyEvents[0].toHex(), "040100000000ff0d");
    EXPECT_EQ(record.keyEvents[1].toHex(), "040000000000ff0d");
    worker.client.requestDisconnect();
    ASSERT_TRUE(waitUntil([&] { return worker.client.frameBufferWidth() == 800; }, 5000));
}

class VncViewerPipeline : public ::testing::TestWithParam<int> {
protected:
    struct Quality {
        VncImageQuality quality;
        PixelFormat format;
    };
    static Quality quality(int index)
    {
        const Quality qualities[] = {{LowQuality, PixelFormat::low()},
                                     {MiddleQuality, PixelFormat::middle()},
                                     {HighQuality, PixelFormat::high()}};
        return qualities[index];
    }
};

TEST_P(VncViewerPipeline, DecodedFrameEqualsThePicture)
{
    const Quality q = quality(GetParam());
    FakeRfbServer server;
    ServerConfig config;
    config.size = QSize(99, 70);
    config.rects = {QRect(0, 0, 33, 17), QRect(33, 0, 66, 17), QRect(0, 17, 99, 53)};
    server.setConfig(config);
    const QImage first = picture(config.size, qRgb(30, 160, 90));
    server.setPicture(first);
    ASSERT_TRUE(server.start());
    VncViewer viewer;
    viewer.setPort(server.port());
    viewer.setLogicalDpi(96);
    QObject::connect(&viewer, &VncViewer::vncServerConnected, [&](int w, int h) {
        EXPECT_EQ(w, 99);
        EXPECT_EQ(h, 70);
    });
    viewer.connectServer("127.0.0.1", q.quality, QString());
    ASSERT_TRUE(waitUntil(
        [&] { return server.record(0).updatesSent >= 1 && viewer.connectionState() == ConnectionState::Connected; },
        10000));
    ASSERT_TRUE(
        waitUntil([&] { return viewer.frameBufferImage() == HextileEncoder::truncated(first, q.format); }, 5000));
    // A changed picture arrives as the answer to the incremental request.
    const QImage second = picture(config.size, qRgb(200, 10, 250)).mirrored(true, false);
    server.setPicture(second);
    EXPECT_TRUE(
        waitUntil([&] { return viewer.frameBufferImage() == HextileEncoder::truncated(second, q.format); }, 5000));
}

// A server announcing 40x24 that sends rectangles partly and wholly outside
// it, raw tiles and subrectangles past the right and bottom edges, then a
// normal update: nothing is written outside the frame buffer (the sanitizers
// would stop the test), the visible parts are drawn, the stream stays in
// step, and the following update draws the whole picture.
TEST_P(VncViewerPipeline, RectanglesBeyondTheFrameBufferAreClippedAndTheStreamKeepsItsPlace)
{
    const Quality q = quality(GetParam());
    const QSize frame(40, 24);
    const QImage beyond = picture(QSize(96, 64), qRgb(40, 200, 120));
    const QRgb red = qRgb(255, 0, 0);
    const QRgb blue = qRgb(0, 0, 255);
    const QRgb white = qRgb(255, 255, 255);

    QImage expected = HextileEncoder::truncated(beyond, q.format).copy(QRect(QPoint(0, 0), frame));
    QByteArray rects;
    int count = 0;
    auto encoded = [&](const QRect& r, FakeRfb::HextileOptions::Style style) {
        rects += HextileEncoder::rectHeader(r) + HextileEncoder::encodeRect(beyond, r, q.format, {style});
        ++count;
    };
    encoded(QRect(0, 0, 48, 16), FakeRfb::HextileOptions::Subrects); // past the right edge
    encoded(QRect(48, 0, 48, 64), FakeRfb::HextileOptions::Auto);    // wholly right of it
    encoded(QRect(0, 16, 48, 48), FakeRfb::HextileOptions::Raw);     // raw tiles past the bottom
    encoded(QRect(16, 32, 32, 32), FakeRfb::HextileOptions::Raw);    // raw tiles wholly below
    QPainter painter(&expected);
    auto handMade = [&](const QRect& r, QRgb background, QRgb colour, bool coloured, quint8 xy, quint8 wh) {
        rects += HextileEncoder::oneSubrectTile(r, q.format, background, colour, coloured, xy, wh);
        ++count;
        painter.fillRect(r, QColor(HextileEncoder::truncated(background, q.format)));
        painter.fillRect(HextileEncoder::subrectArea(r, xy, wh), QColor(HextileEncoder::truncated(colour, q.format)));
    };
    handMade(QRect(32, 0, 8, 8), red, white, false, (4 << 4) | 2, (15 << 4) | 2); // 16 wide: past the right edge
    handMade(QRect(0, 16, 16, 8), blue, red, true, (3 << 4) | 5, (4 << 4) | 15);  // 16 high: past the bottom
    handMade(QRect(32, 16, 8, 8), white, blue, true, 0x00, 0xFF);                 // 16x16: past the corner
    handMade(QRect(200, 3, 16, 16), red, blue, false, 0x00, 0xFF);                // a tile far to the right
    handMade(QRect(65530, 65530, 16, 16), blue, red, true, 0xFF, 0xFF);           // reaching past 65535
    painter.end();
    const QByteArray hostile = QByteArray::fromHex("0000") + QByteArray(1, char(count >> 8))
                               + QByteArray(1, char(count & 0xFF)) + rects;

    FakeRfbServer server;
    ServerConfig config;
    config.size = frame;
    config.scriptedUpdates = {hostile};
    server.setConfig(config);
    const QImage second = picture(frame, qRgb(200, 10, 250)).mirrored(true, false);
    server.setPicture(second);
    ASSERT_TRUE(server.start());
    VncViewer viewer;
    viewer.setPort(server.port());
    int losses = 0;
    QObject::connect(&viewer, &VncViewer::vncServerDisconnected, [&] { ++losses; });
    viewer.connectServer("127.0.0.1", q.quality, QString());

    // The hostile update was read to its end: the next request follows it.
    ASSERT_TRUE(waitUntil([&] { return server.record(0).updateRequests.size() >= 2; }, 10000));
    const QImage afterHostile = viewer.frameBufferImage();
    ASSERT_EQ(afterHostile.size(), frame);
    for (int y = 0; y < frame.height(); ++y)
        for (int x = 0; x < frame.width(); ++x)
            ASSERT_EQ(QColor(afterHostile.pixel(x, y)).name(), QColor(expected.pixel(x, y)).name()) << x << "," << y;

    // The next update is drawn whole: the stream kept its place.
    server.setPicture(second.mirrored(false, true));
    EXPECT_TRUE(waitUntil(
        [&] { return viewer.frameBufferImage() == HextileEncoder::truncated(second.mirrored(false, true), q.format); },
        5000));
    EXPECT_EQ(losses, 0);
    EXPECT_EQ(viewer.connectionState(), ConnectionState::Connected);
    EXPECT_EQ(server.connectionCount(), 1);
}

INSTANTIATE_TEST_SUITE_P(Qualities, VncViewerPipeline, ::testing::Values(0, 1, 2));

TEST(VncViewerLoss, TruncatedRectangleDisconnectsAndLeavesGrey)
{
    FakeRfbServer server;
    ServerConfig config;
    config.size = QSize(64, 32);
    config.fault = Fault::TruncateAndClose;
    config.faultAfterUpdates = 1;
    server.setConfig(config);
    server.setPicture(picture(config.size, qRgb(0, 0, 255)));
    ASSERT_TRUE(server.start());
    VncViewer viewer;
    viewer.setPort(server.port());
    int losses = 0;
    QObject::connect(&viewer, &VncViewer::vncServerDisconnected, [&] { ++losses; });
    viewer.connectServer("127.0.0.1", MiddleQuality, QString());
    ASSERT_TRUE(waitUntil([&] { return viewer.connectionState() == ConnectionState::Connected; }, 10000));
    server.setPicture(picture(config.size, qRgb(255, 0, 0)));
    ASSERT_TRUE(waitUntil([&] { return losses >= 1; }, 5000));
    const QImage frame = viewer.frameBufferImage();
    for (int y = 0; y < frame.height(); ++y)
        for (int x = 0; x < frame.width(); ++x)
            ASSERT_EQ(QColor(frame.pixel(x, y)).name(), QColor(Qt::gray).name()) << x << "," << y;
    EXPECT_FALSE(viewer.isFrameBufferReady());
    EXPECT_EQ(viewer.connectionState(), ConnectionState::ReconnectPending)
        << "a reconnect should be pending after a lost connection";
}

TEST(VncViewerLoss, ClosingAViewerOfAStalledServerIsQuick)
{
    FakeRfbServer server;
    ServerConfig config;
    config.size = QSize(320, 200);
    config.fault = Fault::StallMidRect;
    config.hextile.style = FakeRfb::HextileOptions::Raw;
    server.setConfig(config);
    server.setPicture(picture(config.size, qRgb(9, 9, 9)));
    ASSERT_TRUE(server.start());
    auto viewer = std::make_unique<VncViewer>();
    viewer->setPort(server.port());
    viewer->connectServer("127.0.0.1", HighQuality, QString());
    // The first tiles are drawn: the worker now waits inside the rectangle.
    ASSERT_TRUE(waitUntil([&] { return viewer->isFrameBufferReady(); }, 10000));
    QElapsedTimer t;
    t.start();
    viewer.reset();
    EXPECT_LT(t.elapsed(), 1500);
    EXPECT_TRUE(waitUntil([&] { return server.record(0).closed; }, 3000));
}

TEST(VncViewerClient, InputHandOverDoesNotWaitOnAWorkerAskingForAPassword)
{
    FakeRfbServer server;
    server.setConfig(vncAuthConfig(kS3cretResponse));
    ASSERT_TRUE(server.start());
    Worker worker(server.port());
    worker.client.requestConnect("127.0.0.1", QString(), MiddleQuality);
    ASSERT_TRUE(waitUntil([&] { return worker.passwordNeeded >= 1; }, 10000));
    // The worker now blocks in the password wait; the GUI must not hang on it.
    QElapsedTimer t;
    t.start();
    worker.client.sendKeySync(0x41, true);
    worker.client.sendPointerSync(0, 1, 1);
    worker.client.sendKeySync(0x41, false);
    EXPECT_LT(t.elapsed(), 2500);
    worker.client.providePassword("s3cret");
    ASSERT_TRUE(waitUntil([&] { return worker.updates >= 1; }, 10000));
    EXPECT_EQ(server.record(0).response.toHex().toStdString(), kS3cretResponse.toHex().toStdString());
    EXPECT_TRUE(server.record(0).keyEvents.isEmpty()) << "events were written into the handshake";
    EXPECT_TRUE(server.record(0).pointerEvents.isEmpty());
}

TEST(VncViewerClient, ViewerGoingAwayEndsAPasswordWait)
{
    FakeRfbServer server;
    ServerConfig config;
    config.securityType = 2;
    server.setConfig(config);
    ASSERT_TRUE(server.start());
    auto viewer = std::make_unique<VncViewer>();
    viewer->setPort(server.port());
    viewer->connectServer("127.0.0.1", LowQuality, QString());
    // The dialog is shown by a queued call that never runs here: the worker
    // waits for the password the whole time.
    ASSERT_TRUE(waitUntil([&] { return server.record(0).version.size() == 12; }, 10000));
    QThread::msleep(200);
    QElapsedTimer t;
    t.start();
    viewer.reset();
    EXPECT_LT(t.elapsed(), 1500);
    EXPECT_TRUE(server.record(0).response.isEmpty());
}

TEST(VncViewerClient, KeepsTryingWhileTheServerStaysDown)
{
    FakeRfbServer server;
    ASSERT_TRUE(server.start());
    const quint16 port = server.port();
    Worker worker(port);
    worker.client.setReconnectInterval(kReconnectMs);
    worker.client.requestConnect("127.0.0.1", QString(), MiddleQuality);
    ASSERT_TRUE(waitUntil([&] { return worker.updates >= 1; }, 10000));
    server.stop();
    ASSERT_TRUE(waitUntil([&] { return worker.losses >= 1; }, 5000));
    // The attempts after the loss find nobody listening, and each is
    // reported as a loss of its own.
    ASSERT_TRUE(waitUntil([&] { return worker.losses >= 3; }, 10000));
    EXPECT_EQ(worker.client.connectionState(), ConnectionState::ReconnectPending);
    ASSERT_TRUE(server.start(QHostAddress::LocalHost, port));
    ASSERT_TRUE(waitUntil([&] { return worker.updates >= 2; }, 10000)) << "gave up after a failed attempt";
    EXPECT_EQ(worker.client.connectionState(), ConnectionState::Connected);
}

namespace {

// How long after the server's last byte (or, when it sent none, after the
// connect request) the worker reported the connection lost.
qint64 givenUpAfter(const Worker& worker, const FakeRfbServer& server, qint64 requestedAt)
{
    return worker.firstLossAt - std::max(requestedAt, server.record(0).lastSentAt);
}

// A server that falls silent where the session waits for it: at any step of
// the handshake, before it answers the first request, or inside a message it
// has begun. The read that waits fails once the server has been silent for
// the limit (not before, and within a second after), logs the step's own
// text, and the session ends as a lost connection does: disconnected, or
// with a reconnect pending after a complete update.
struct Silence {
    const char* name;
    Fault fault;
    quint32 securityType;
    int faultBytes;
    const char* logged;
    const char* failure;
    quint32 nameLengthOverride = 0;
    int faultAfterUpdates = 0;
};

const Silence kSilences[] = {
    {"Accepted", Fault::SilentOnAccept, 1, 0, "version read failed!", "VncVersionHandShake:read version"},
    {"Greeted", Fault::SilentAfterGreeting, 1, 0, "read securityType failed",
     "VncAuthentication:read securityType failed"},
    {"SecurityTypeVncAuth", Fault::SilentAfterSecurityType, 2, 0, "vnc auth read challenge failed",
     "VncAuthentication:vnc auth read challenge failed"},
    {"SecurityTypeNone", Fault::SilentAfterSecurityType, 1, 0, "read buffer width failed!",
     "VncInit:read buffer width failed!"},
    {"Challenge", Fault::SilentAfterChallenge, 2, 0, "vnc auth read result failed!",
     "VncAuthentication:vnc auth read result failed"},
    {"SecurityResult", Fault::SilentBeforeServerInit, 2, 0, "read buffer width failed!",
     "VncInit:read buffer width failed!"},
    {"InsideServerInit", Fault::SilentInServerInit, 1, 10, "read pix format failed!",
     "VncInit:read pix format failed!"},
    {"BeforeTheName", Fault::None, 1, 0, "read name data failed", "VncInit:read name failed!", 9},
    {"ServerInit", Fault::IgnoreRequests, 1, 0, "get msg type failed", "FrameBufferUpdate:get msg type failed"},
    {"UpdateType", Fault::StallInUpdate, 1, 1, "update frame buffer: get padding failed!",
     "FrameBufferUpdate:update frame buffer: get padding failed!"},
    {"RectangleHeader", Fault::StallInUpdate, 1, 4 + 5, "read frame buffer head failed",
     "FrameBufferUpdate:read frame buffer head failed!"},
    {"SecondUpdatesRectangle", Fault::StallMidRect, 1, 0, "read image frame buffer failed!",
     "FrameBufferUpdate:read image frame buffer failed!", 0, 1},
};

void PrintTo(const Silence& silence, std::ostream* out)
{
    *out << silence.name;
}

class VncViewerSilence : public ::testing::TestWithParam<Silence> {};

} // namespace

TEST_P(VncViewerSilence, WaitingReadFailsAfterTheLimitWithItsStepsText)
{
    const Silence& silence = GetParam();
    FakeRfbServer server;
    ServerConfig config = vncAuthConfig(kS3cretResponse);
    config.securityType = silence.securityType;
    config.fault = silence.fault;
    config.faultBytes = silence.faultBytes;
    config.faultAfterUpdates = silence.faultAfterUpdates;
    config.nameLengthOverride = silence.nameLengthOverride;
    config.hextile.style = FakeRfb::HextileOptions::Raw;
    server.setConfig(config);
    server.setPicture(picture(config.size, qRgb(9, 90, 9)));
    ASSERT_TRUE(server.start());
    LogCapture log;
    const int limitMs = 1500;
    Worker worker(server.port());
    worker.client.setReadTimeout(limitMs);
    worker.client.setReconnectInterval(kReconnectMs);
    const qint64 requestedAt = FakeRfb::nowMs();
    worker.client.requestConnect("127.0.0.1", "s3cret", MiddleQuality);
    if (silence.faultAfterUpdates > 0) {
        ASSERT_TRUE(waitUntil([&] { return worker.updates >= silence.faultAfterUpdates; }, 10000));
        server.setPicture(picture(config.size, qRgb(200, 0, 9)));
    }
    ASSERT_TRUE(waitUntil([&] { return worker.losses >= 1; }, 20000)) << "the worker waits on";
    const qint64 givenUp = givenUpAfter(worker, server, requestedAt);
    EXPECT_GE(givenUp, limitMs);
    EXPECT_LE(givenUp, limitMs + 1000);
    EXPECT_TRUE(waitUntil([&] { return server.record(0).closed; }, 5000)) << "the socket stays open";
    EXPECT_TRUE(log.contains(silence.logged)) << log.all();
    EXPECT_TRUE(log.contains(QStringLiteral("catch unexpected exception: ") + silence.failure)) << log.all();
    if (silence.faultAfterUpdates == 0) {
        // No reconnect before a first complete update.
        EXPECT_EQ(worker.stateAtFirstLoss, ConnectionState::Disconnected);
        EXPECT_FALSE(waitUntil([&] { return server.connectionCount() > 1; }, kSeveralReconnectsMs));
        EXPECT_EQ(worker.client.connectionState(), ConnectionState::Disconnected);
        EXPECT_EQ(worker.losses, 1);
        EXPECT_EQ(worker.updates, 0);
    } else {
        EXPECT_EQ(worker.stateAtFirstLoss, ConnectionState::ReconnectPending);
        EXPECT_TRUE(waitUntil([&] { return worker.updates > silence.faultAfterUpdates; }, 10000))
            << "no reconnect after a lost connection";
    }
}

INSTANTIATE_TEST_SUITE_P(Steps, VncViewerSilence, ::testing::ValuesIn(kSilences),
                         [](const ::testing::TestParamInfo<Silence>& info) { return std::string(info.param.name); });

// After the incremental request the server owes nothing: a screen that does
// not change stays silent, and connected, for many times the limit.
TEST(VncViewerSilenceLimit, UnchangingScreenStaysConnected)
{
    FakeRfbServer server;
    server.setPicture(picture(QSize(64, 48), qRgb(10, 20, 30)));
    ASSERT_TRUE(server.start());
    const int limitMs = 400;
    Worker worker(server.port());
    worker.client.setReadTimeout(limitMs);
    worker.client.requestConnect("127.0.0.1", QString(), MiddleQuality);
    ASSERT_TRUE(waitUntil([&] { return server.record(0).updateRequests.size() >= 2; }, 10000));
    EXPECT_FALSE(waitUntil([&] { return worker.losses > 0 || server.record(0).closed; }, 12 * limitMs))
        << "a silent server with an unchanging screen was given up";
    EXPECT_EQ(worker.client.connectionState(), ConnectionState::Connected);
    server.setPicture(picture(QSize(64, 48), qRgb(250, 20, 30)));
    EXPECT_TRUE(waitUntil([&] { return worker.updates >= 2; }, 10000));
    EXPECT_EQ(server.connectionCount(), 1);
    EXPECT_EQ(worker.losses, 0);
}

// The program's own limit, beside the other tests: a server that accepts and
// never speaks, and one that stops in the middle of its second update, are
// both given up between 30.0 and 31.0 s after their last byte, every time.
TEST(VncViewerSilenceLimit, ProgramsLimitIsThirtySeconds)
{
    FakeRfbServer mute;
    ServerConfig muteConfig;
    muteConfig.fault = Fault::SilentOnAccept;
    mute.setConfig(muteConfig);
    ASSERT_TRUE(mute.start());
    FakeRfbServer staller;
    ServerConfig stallConfig;
    stallConfig.fault = Fault::StallMidRect;
    stallConfig.faultAfterUpdates = 1;
    staller.setConfig(stallConfig);
    staller.setPicture(picture(stallConfig.size, qRgb(9, 9, 90)));
    ASSERT_TRUE(staller.start());
    Worker muteWorker(mute.port());
    Worker stallWorker(staller.port());
    const qint64 requestedAt = FakeRfb::nowMs();
    muteWorker.client.requestConnect("127.0.0.1", QString(), MiddleQuality);
    stallWorker.client.requestConnect("127.0.0.1", QString(), MiddleQuality);
    ASSERT_TRUE(waitUntil([&] { return stallWorker.updates >= 1; }, 10000));
    staller.setPicture(picture(stallConfig.size, qRgb(90, 9, 9)));
    // Long enough to see a limit that has become twice as long.
    waitUntil([&] { return muteWorker.losses >= 1 && stallWorker.losses >= 1; }, 65000);
    for (const auto& [worker, server] : {std::pair{&stallWorker, &staller}, std::pair{&muteWorker, &mute}}) {
        SCOPED_TRACE(server == &mute ? "silent server" : "stalled update");
        ASSERT_GE(worker->firstLossAt, 0) << "never given up";
        const qint64 givenUp = givenUpAfter(*worker, *server, requestedAt);
        EXPECT_GE(givenUp, 30000);
        EXPECT_LE(givenUp, 31000);
    }
    EXPECT_EQ(muteWorker.stateAtFirstLoss, ConnectionState::Disconnected);
    EXPECT_EQ(stallWorker.stateAtFirstLoss, ConnectionState::ReconnectPending);
}
