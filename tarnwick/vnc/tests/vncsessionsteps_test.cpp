// The RFB steps driven over a real loopback socket, one byte arrival at a
// time where it matters: exact bytes on the wire, refusals and their texts.

#include "tarnwick/vnc/vncprotocoldispatcher.h"

#include "tarnwick/vnc/vncexception.h"
#include "tarnwick/vnc/vncinputbuffer.h"
#include "tarnwick/vnc/vncviewerclient.h"
#include "testing/fakerfb/hextileencoder.h"
#include "testing/main/eventwait.h"

#include <gtest/gtest.h>

#include <QElapsedTimer>
#include <QImage>
#include <QTcpServer>
#include <QTcpSocket>
#include <QThread>

#include <algorithm>
#include <atomic>
#include <memory>
#include <thread>

using namespace VNC;
using FakeRfb::HextileEncoder;
using FakeRfb::PixelFormat;

namespace {

QByteArray be16(int v)
{
    QByteArray b;
    b.append(char((v >> 8) & 0xFF));
    b.append(char(v & 0xFF));
    return b;
}

QByteArray be32(quint32 v)
{
    return be16(int(v >> 16)) + be16(int(v & 0xFFFF));
}

QByteArray serverInit(int w, int h, const QByteArray& name)
{
    return be16(w) + be16(h) + PixelFormat().toBytes() + be32(quint32(name.size())) + name;
}

const QByteArray kSetEncodings = QByteArray::fromHex("0200000100000005");

QByteArray setPixelFormat(VncImageQuality q)
{
    switch (q) {
    case LowQuality: return QByteArray::fromHex("0000000008080001000300070007060300000000");
    case MiddleQuality: return QByteArray::fromHex("0000000010100001001f003f001f0b0500000000");
    default: return QByteArray::fromHex("000000001818000100ff00ff00ff100800000000");
    }
}

QByteArray fullRequest(int w, int h, bool incremental)
{
    return QByteArray::fromHex(incremental ? "0301" : "0300") + be16(0) + be16(0) + be16(w) + be16(h);
}

// A client socket and the server's end of it, both in the test's thread; the
// steps run on the client end exactly as in the worker.
class Wire {
public:
    explicit Wire(VncImageQuality quality = MiddleQuality, VncViewerClient* client = nullptr)
        : dispatcher([this] { ++updatesDone; }, quality, client)
    {
        server.listen(QHostAddress::LocalHost, 0);
        socket.connectToHost(QHostAddress::LocalHost, server.serverPort());
        socket.waitForConnected(5000);
        server.waitForNewConnection(5000);
        peer.reset(server.nextPendingConnection());
        dispatcher.start(&socket);
    }

    // The server sends bytes; returns once the client has them buffered.
    void serverSends(const QByteArray& bytes)
    {
        sentTotal += quint64(bytes.size());
        peer->write(bytes);
        peer->waitForBytesWritten(5000);
        // Qt's buffer takes no more than its read buffer size; the rest
        // waits in the kernel for the reader.
        qint64 want = socket.bytesAvailable() + bytes.size();
        if (socket.readBufferSize() > 0)
            want = std::min(want, socket.readBufferSize());
        TestWait::waitUntil([&] { return socket.bytesAvailable() >= want; }, 10000);
    }

    // What the client wrote since the last call; waits for at least
    // `atLeast` bytes (a short look when 0).
    QByteArray clientSent(int atLeast = 0)
    {
        socket.flush();
        if (atLeast == 0)
            peer->waitForReadyRead(30);
        TestWait::waitUntil(
            [&] {
                received.append(peer->readAll());
                return received.size() >= atLeast;
            },
            10000);
        const QByteArray out = received;
        received.clear();
        return out;
    }

    QTcpServer server;
    QTcpSocket socket;
    std::unique_ptr<QTcpSocket> peer;
    VncProtocolDispatcher dispatcher;
    QByteArray received;
    quint64 sentTotal = 0;
    int updatesDone = 0;
};

// Runs the current step as the worker does: again as more bytes arrive
// while it waits, until it has taken every byte the server sent (a few
// seconds at most); it may then wait for bytes the server never sends.
std::string failureOf(Wire& wire)
{
    try {
        wire.dispatcher.runCurrentStep();
        TestWait::waitUntil(
            [&] {
                VncInputBuffer& input = wire.dispatcher.input();
                if (!input.waiting() || input.consumedTotal() == wire.sentTotal)
                    return true;
                wire.dispatcher.runCurrentStep();
                return false;
            },
            10000);
    } catch (const VncProException& e) {
        return e.what();
    } catch (const std::exception& e) {
        return std::string("other: ") + e.what();
    }
    return "no exception";
}

// The server's bytes arrive in two parts, split at every position; whatever
// the split, the client writes exactly `expected` and nothing before the
// whole greeting. The update request at the end carries the size it read.
void expectExactAtEverySplit(const QByteArray& server, const QByteArray& expected, VncImageQuality quality,
                             VncViewerClient* client = nullptr)
{
    for (int split = 1; split < server.size(); ++split) {
        SCOPED_TRACE(split);
        Wire wire(quality, client);
        wire.serverSends(server.left(split));
        wire.dispatcher.runCurrentStep();
        const QByteArray first = wire.clientSent();
        if (split < 12) {
            EXPECT_TRUE(first.isEmpty()) << "answered an incomplete greeting";
        }
        wire.serverSends(server.mid(split));
        wire.dispatcher.runCurrentStep();
        EXPECT_EQ((first + wire.clientSent(expected.size() - first.size())).toHex(), expected.toHex());
    }
}

} // namespace

TEST(VncSession, HandshakeWithoutSecurityIsExactAtEverySplit)
{
    expectExactAtEverySplit(QByteArray("RFB 003.008\n") + be32(1) + serverInit(640, 480, "panel"),
                            QByteArray("RFB 003.003\n") + QByteArray(1, '\x01') + kSetEncodings
                                + setPixelFormat(MiddleQuality) + fullRequest(640, 480, false),
                            MiddleQuality);
}

TEST(VncSession, HandshakeWithVncAuthenticationIsExactAtEverySplit)
{
    VncViewerClient client;
    client.providePassword("s3cret");
    const QByteArray challenge = QByteArray::fromHex("000102030405060708090a0b0c0d0e0f");
    const QByteArray server = QByteArray("RFB 003.007\n") + be32(2) + challenge + be32(0)
                              + serverInit(33, 17, "a desktop");
    const QByteArray expected = QByteArray("RFB 003.003\n") + QByteArray::fromHex("fc9a2bb8546a63388eb45b530d3a6337")
                                + QByteArray(1, '\x01') + kSetEncodings + setPixelFormat(LowQuality)
                                + fullRequest(33, 17, false);
    expectExactAtEverySplit(server, expected, LowQuality, &client);
}

TEST(VncSession, SupportedAndRefusedVersions)
{
    for (const char* greeting : {"RFB 003.003\n", "RFB 003.007\n", "RFB 003.008\n", "rfb 003.008\n", "RFB 003.008X"}) {
        SCOPED_TRACE(greeting);
        Wire wire;
        wire.serverSends(greeting);
        EXPECT_EQ(failureOf(wire), "no exception");
        EXPECT_EQ(wire.clientSent(12), "RFB 003.003\n");
    }
    for (const char* greeting : {"RFB 003.005\n", "RFB 003.889\n", "RFB 004.000\n", "HTTP/1.1 200"}) {
        SCOPED_TRACE(greeting);
        Wire wire;
        wire.serverSends(greeting);
        EXPECT_EQ(failureOf(wire), "VncVersionHandShake:unsupported version");
        EXPECT_TRUE(wire.clientSent().isEmpty());
    }
}

TEST(VncSession, RefusedSecurityTypes)
{
    for (quint32 type : {0u, 5u, 16u}) {
        SCOPED_TRACE(type);
        Wire wire;
        wire.serverSends(QByteArray("RFB 003.008\n") + be32(type));
        EXPECT_EQ(failureOf(wire), "VncAuthentication:unsupport type");
    }
}

TEST(VncSession, RejectedPasswordRaisesPasswordIncorrect)
{
    VncViewerClient client;
    client.providePassword("wrong");
    Wire wire(MiddleQuality, &client);
    wire.serverSends(QByteArray("RFB 003.008\n") + be32(2) + QByteArray(16, '\x07') + be32(1));
    try {
        wire.dispatcher.runCurrentStep();
        FAIL() << "no exception";
    } catch (const VncPasswdIncorrect& e) {
        EXPECT_STREQ(e.what(), "password is incorrect");
    }
    // Version and response, but no ClientInit.
    EXPECT_EQ(wire.clientSent(28).size(), 28);
}

TEST(VncSession, CancelledPasswordSendsNoResponse)
{
    VncViewerClient client;
    Wire wire(MiddleQuality, &client);
    std::atomic<bool> asked{false};
    QObject::connect(&client, &VncViewerClient::vncPasswdNeeded, [&] { asked = true; });
    wire.serverSends(QByteArray("RFB 003.008\n") + be32(2) + QByteArray(16, '\x07'));
    // The user cancels the dialog that the request for the password shows:
    // after the request, as a cancel before it belongs to no request.
    std::thread dialog([&client, &asked] {
        QElapsedTimer waited;
        waited.start();
        while (!asked && waited.elapsed() < 30000)
            QThread::msleep(10);
        client.cancelPassword();
    });
    const std::string failure = failureOf(wire);
    dialog.join();
    EXPECT_TRUE(asked);
    EXPECT_EQ(failure, "VncAuthentication:password input cancelled");
    EXPECT_EQ(wire.clientSent(12), "RFB 003.003\n") << "a response was sent for a cancelled dialog";
}

TEST(VncSession, ServerInitRefusesAbsurdSizesAndNames)
{
    struct Case {
        QByteArray init;
        const char* failure;
    };
    const Case cases[] = {
        {be16(0) + be16(480) + PixelFormat().toBytes() + be32(0), "VncInit:read buffer width failed!"},
        {be16(640) + be16(0) + PixelFormat().toBytes() + be32(0), "VncInit:read buffer height failed!"},
        {be16(8193) + be16(480) + PixelFormat().toBytes() + be32(0), "VncInit:frame buffer too large!"},
        {be16(640) + be16(8193) + PixelFormat().toBytes() + be32(0), "VncInit:frame buffer too large!"},
        {be16(16384) + be16(16384) + PixelFormat().toBytes() + be32(0), "VncInit:frame buffer too large!"},
        {be16(65535) + be16(65535) + PixelFormat().toBytes() + be32(0), "VncInit:frame buffer too large!"},
        // Each side allowed, but more than 16 Mi pixels in all.
        {be16(8192) + be16(2049) + PixelFormat().toBytes() + be32(0), "VncInit:frame buffer too large!"},
        {be16(640) + be16(480) + PixelFormat().toBytes() + be32(1024 * 1024 + 1), "VncInit:read name failed!"},
        {be16(640) + be16(480) + PixelFormat().toBytes() + be32(0xFFFFFFFFu), "VncInit:read name failed!"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.failure);
        Wire wire;
        wire.serverSends(QByteArray("RFB 003.008\n") + be32(1) + c.init);
        EXPECT_EQ(failureOf(wire), c.failure);
        if (std::string(c.failure) == "VncInit:frame buffer too large!") {
            EXPECT_EQ(wire.dispatcher.width(), 1024) << "a refused size was taken";
            EXPECT_EQ(wire.dispatcher.height(), 600);
        }
    }
    // The largest sizes that are allowed pass.
    for (const QSize size : {QSize(8192, 2048), QSize(2048, 8192), QSize(4096, 4096)}) {
        Wire wire;
        wire.serverSends(QByteArray("RFB 003.008\n") + be32(1)
                         + serverInit(size.width(), size.height(), QByteArray(1024 * 1024, 'n')));
        EXPECT_EQ(failureOf(wire), "no exception");
        EXPECT_EQ(wire.dispatcher.width(), size.width());
        EXPECT_EQ(wire.dispatcher.height(), size.height());
    }
}

TEST(VncSession, EmptyNameAndLateNameBothComplete)
{
    {
        Wire wire;
        wire.serverSends(QByteArray("RFB 003.008\n") + be32(1) + serverInit(100, 50, ""));
        wire.dispatcher.runCurrentStep();
        EXPECT_EQ(wire.clientSent(13 + 38).right(38).toHex(),
                  (kSetEncodings + setPixelFormat(MiddleQuality) + fullRequest(100, 50, false)).toHex());
    }
    Wire wire;
    const QByteArray init = serverInit(100, 50, "late name");
    wire.serverSends(QByteArray("RFB 003.008\n") + be32(1) + init.left(24));
    wire.dispatcher.runCurrentStep();
    EXPECT_EQ(wire.clientSent(13).size(), 13);
    wire.serverSends(init.mid(24));
    wire.dispatcher.runCurrentStep();
    EXPECT_EQ(wire.clientSent(38).size(), 38);
}

// A server that stops anywhere the session waits for it (inside the
// handshake, before the answer to the first request, inside a message):
// once it has been silent for the limit, the step that waits fails its read
// with its own text.
TEST(VncSession, SilenceFailsTheWaitingReadWithItsStepsText)
{
    const QByteArray greeting("RFB 003.008\n");
    const QByteArray challenge = QByteArray::fromHex("000102030405060708090a0b0c0d0e0f");
    const QByteArray init = serverInit(40, 20, "panel");
    const struct {
        QByteArray server;
        const char* failure;
    } cases[] = {
        {"", "VncVersionHandShake:read version"},
        {"RFB 003.0", "VncVersionHandShake:read version"},
        {greeting, "VncAuthentication:read securityType failed"},
        {greeting + be16(0), "VncAuthentication:read securityType failed"},
        {greeting + be32(2), "VncAuthentication:vnc auth read challenge failed"},
        {greeting + be32(2) + challenge.left(9), "VncAuthentication:vnc auth read challenge failed"},
        {greeting + be32(2) + challenge, "VncAuthentication:vnc auth read result failed"},
        {greeting + be32(2) + challenge + be32(0), "VncInit:read buffer width failed!"},
        {greeting + be32(1), "VncInit:read buffer width failed!"},
        {greeting + be32(1) + init.left(1), "VncInit:read buffer width failed!"},
        {greeting + be32(1) + init.left(3), "VncInit:read buffer height failed!"},
        {greeting + be32(1) + init.left(10), "VncInit:read pix format failed!"},
        {greeting + be32(1) + init.left(21), "VncInit:read name failed!"},
        {greeting + be32(1) + init.left(26), "VncInit:read name failed!"},
        {greeting + be32(1) + init, "FrameBufferUpdate:get msg type failed"},
        {greeting + be32(1) + init + QByteArray(1, '\0'), "FrameBufferUpdate:update frame buffer: get padding failed!"},
        {greeting + be32(1) + init + QByteArray(2, '\0'),
         "FrameBufferUpdate:update frame buffer: get retangle number failed!"},
        {greeting + be32(1) + init + QByteArray::fromHex("00000001") + be16(0) + be16(0),
         "FrameBufferUpdate:read frame buffer head failed!"},
    };
    const int limitMs = 300;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.failure);
        SCOPED_TRACE(c.server.size());
        VncViewerClient client;
        client.providePassword("s3cret");
        Wire wire(MiddleQuality, &client);
        wire.dispatcher.input().setSilenceLimit(limitMs);
        QElapsedTimer sinceSent;
        sinceSent.start();
        if (!c.server.isEmpty())
            wire.serverSends(c.server);
        std::string failure = "no exception";
        TestWait::waitUntil(
            [&] {
                try {
                    wire.dispatcher.runCurrentStep();
                } catch (const std::exception& e) {
                    failure = e.what();
                    return true;
                }
                return false;
            },
            10000);
        EXPECT_EQ(failure, c.failure);
        EXPECT_GE(sinceSent.elapsed(), limitMs);
    }
}

// The silence limit counts the server's time only: a password the user took
// longer than the limit to type does not fail the read of the result that
// follows the response.
TEST(VncSession, TimeSpentOnThePasswordIsNoServerSilence)
{
    const int limitMs = 1000;
    VncViewerClient client;
    Wire wire(MiddleQuality, &client);
    wire.dispatcher.input().setSilenceLimit(limitMs);
    std::atomic<bool> asked{false};
    QObject::connect(&client, &VncViewerClient::vncPasswdNeeded, [&] { asked = true; });
    wire.serverSends(QByteArray("RFB 003.008\n") + be32(2) + QByteArray::fromHex("000102030405060708090a0b0c0d0e0f"));
    std::thread dialog([&client, &asked, limitMs] {
        QElapsedTimer waited;
        waited.start();
        while (!asked && waited.elapsed() < 30000)
            QThread::msleep(10);
        QThread::msleep(2 * limitMs);
        client.providePassword("s3cret");
    });
    EXPECT_EQ(failureOf(wire), "no exception");
    dialog.join();
    EXPECT_EQ(wire.clientSent(28).mid(12).toHex(), "fc9a2bb8546a63388eb45b530d3a6337");
    wire.serverSends(be32(0) + serverInit(40, 20, "x"));
    EXPECT_EQ(failureOf(wire), "no exception");
    EXPECT_EQ(wire.clientSent(1 + 38).right(10).toHex(), fullRequest(40, 20, false).toHex());
}

class VncUpdates : public ::testing::Test {
protected:
    // A session past the handshake, at 40x20 in the middle quality.
    void SetUp() override
    {
        wire.serverSends(QByteArray("RFB 003.008\n") + be32(1) + serverInit(40, 20, "x"));
        wire.dispatcher.runCurrentStep();
        ASSERT_EQ(wire.clientSent(13 + 38).size(), 13 + 38);
    }
    Wire wire;
};

TEST_F(VncUpdates, EmptyUpdateIsAnsweredWithOneIncrementalRequest)
{
    wire.serverSends(QByteArray::fromHex("00000000"));
    wire.dispatcher.runCurrentStep();
    EXPECT_EQ(wire.clientSent(10).toHex(), fullRequest(40, 20, true).toHex());
    EXPECT_EQ(wire.updatesDone, 0);
}

// After an incremental request the server owes nothing: a screen that does
// not change may stay silent far longer than the limit.
TEST_F(VncUpdates, SilenceAfterAnIncrementalRequestIsNoFailure)
{
    const int limitMs = 100;
    wire.dispatcher.input().setSilenceLimit(limitMs);
    wire.serverSends(QByteArray::fromHex("00000000"));
    wire.dispatcher.runCurrentStep();
    EXPECT_EQ(wire.clientSent(10).toHex(), fullRequest(40, 20, true).toHex());
    QElapsedTimer silent;
    silent.start();
    EXPECT_FALSE(TestWait::waitUntil(
        [&] {
            wire.dispatcher.runCurrentStep();
            return wire.dispatcher.input().waiting();
        },
        6 * limitMs));
    EXPECT_GE(silent.elapsed(), 6 * limitMs);
    // The next message's first byte starts the limit for the rest of it.
    wire.serverSends(QByteArray::fromHex("00"));
    EXPECT_EQ(failureOf(wire), "no exception");
    EXPECT_TRUE(wire.dispatcher.input().waiting());
    EXPECT_TRUE(TestWait::waitUntil(
        [&] {
            try {
                wire.dispatcher.runCurrentStep();
            } catch (const VncProException& e) {
                EXPECT_STREQ(e.what(), "FrameBufferUpdate:update frame buffer: get padding failed!");
                return true;
            }
            return false;
        },
        10000));
}

TEST_F(VncUpdates, SplitRectangleHeaderAndLastFlag)
{
    QImage picture(40, 20, QImage::Format_RGB32);
    picture.fill(qRgb(255, 0, 0));
    const QRect a(0, 0, 40, 10);
    const QRect b(0, 10, 40, 10);
    const QByteArray update = QByteArray::fromHex("00000002") + HextileEncoder::rectHeader(a)
                              + HextileEncoder::encodeRect(picture, a, PixelFormat::middle())
                              + HextileEncoder::rectHeader(b)
                              + HextileEncoder::encodeRect(picture, b, PixelFormat::middle());
    const int secondHeader = 4 + 12 + HextileEncoder::encodeRect(picture, a, PixelFormat::middle()).size();
    wire.serverSends(update.left(secondHeader + 5));
    wire.dispatcher.runCurrentStep();
    EXPECT_EQ(wire.updatesDone, 0);
    EXPECT_TRUE(wire.clientSent().isEmpty());
    wire.serverSends(update.mid(secondHeader + 5));
    wire.dispatcher.runCurrentStep();
    EXPECT_EQ(wire.updatesDone, 1);
    EXPECT_EQ(wire.clientSent(10).toHex(), fullRequest(40, 20, true).toHex());
}

TEST_F(VncUpdates, RawEncodingIsRefused)
{
    wire.serverSends(QByteArray::fromHex("00000001") + HextileEncoder::rectHeader(QRect(0, 0, 2, 2), 0));
    EXPECT_EQ(failureOf(wire), "FrameBufferUpdate:encoding type is incorrect!");
}

TEST_F(VncUpdates, BellEndsTheConnectionAttempt)
{
    wire.serverSends(QByteArray::fromHex("02"));
    EXPECT_EQ(failureOf(wire), "FrameBufferUpdate:get msg is unknown");
}

TEST_F(VncUpdates, TruncatedRectangleRaisesInsteadOfDrawing)
{
    QImage picture(40, 20, QImage::Format_RGB32);
    picture.fill(qRgb(0, 0, 255));
    const QByteArray data = HextileEncoder::encodeRect(picture, QRect(0, 0, 40, 20), PixelFormat::middle(),
                                                       {FakeRfb::HextileOptions::Raw});
    wire.serverSends(QByteArray::fromHex("00000001") + HextileEncoder::rectHeader(QRect(0, 0, 40, 20))
                     + data.left(data.size() / 2));
    wire.peer->disconnectFromHost();
    QElapsedTimer t;
    t.start();
    EXPECT_EQ(failureOf(wire), "FrameBufferUpdate:read image frame buffer failed!");
    EXPECT_LT(t.elapsed(), 5000);
    EXPECT_EQ(wire.updatesDone, 0);
}

TEST_F(VncUpdates, PointerAndKeyEventBytes)
{
    wire.dispatcher.sendPointer(1, 300, 200);
    wire.dispatcher.sendKey(0xFF0D, 1);
    wire.dispatcher.sendKey(0xFF0D, 0);
    // Negative or oversized values keep their low 16 bits on the wire.
    wire.dispatcher.sendPointer(0x104, 0x12345, -1);
    EXPECT_EQ(wire.clientSent(6 + 8 + 8 + 6).toHex(), "050101"
                                                      "2c00c8"
                                                      "0401000000"
                                                      "00ff0d"
                                                      "0400000000"
                                                      "00ff0d"
                                                      "0504"
                                                      "2345"
                                                      "ffff");
}

TEST(VncSession, EventsBeforeAnyConnectionAreDropped)
{
    VncProtocolDispatcher dispatcher([] {}, HighQuality, nullptr);
    dispatcher.sendPointer(1, 2, 3);
    dispatcher.sendKey(0x41, 1);
    EXPECT_EQ(dispatcher.input().held(), 0);
    EXPECT_EQ(dispatcher.width(), 1024);
    EXPECT_EQ(dispatcher.height(), 600);
}
