#include "tarnwick/core/discovery/scanthread.h"

#include "testing/fakediscovery/fakediscoveryresponder.h"

#include <gtest/gtest.h>

#include <QElapsedTimer>
#include <QEventLoop>
#include <QThread>

#include <algorithm>
#include <memory>
#include <vector>

namespace {

using Config = FakeDiscoveryResponder::Config;

QNetworkAddressEntry loopbackEntry()
{
    QNetworkAddressEntry e;
    e.setIp(QHostAddress(QStringLiteral("127.0.0.1")));
    e.setPrefixLength(8);
    e.setBroadcast(QHostAddress(QStringLiteral("127.255.255.255")));
    return e;
}

Config panel(const char* source)
{
    Config c;
    c.sourceAddress = source;
    return c;
}

// Runs a scan to its end and returns what its one signal carried.
struct ScanResult {
    int signalCount = 0;
    QVector<stDeviceInfoEx> devices;
    qint64 elapsedMs = 0;
};

ScanResult scan(const QList<QNetworkAddressEntry>& entries, quint16 port, int stopAfterMs = -1)
{
    ScanResult result;
    ScanThread thread(nullptr, entries, port);
    QObject::connect(
        &thread, &ScanThread::UpdateDeviceList, &thread,
        [&result](const QVector<stDeviceInfoEx>& devices) {
            ++result.signalCount;
            result.devices = devices;
        },
        Qt::DirectConnection);
    QElapsedTimer t;
    t.start();
    thread.start();
    if (stopAfterMs >= 0) {
        QThread::msleep(static_cast<unsigned long>(stopAfterMs));
        QElapsedTimer stopTimer;
        stopTimer.start();
        thread.stop(true);
        EXPECT_LT(stopTimer.elapsed(), 50); // stop returns at once
        t.restart();
    }
    EXPECT_TRUE(thread.wait(20000));
    result.elapsedMs = t.elapsed();
    return result;
}

const stDeviceInfoEx* find(const QVector<stDeviceInfoEx>& devices, const char* ip)
{
    for (const stDeviceInfoEx& d : devices) {
        if (d.ip == ip)
            return &d;
    }
    return nullptr;
}

} // namespace

TEST(DiscoveryDatagram, ProbeBytesAndId)
{
    EXPECT_EQ(DiscoveryDatagram::probe(0x12345678), QByteArray::fromHex("78563412"
                                                                        "01"
                                                                        "00000000"));
    EXPECT_EQ(DiscoveryDatagram::idFor(0x100000000LL), 1u);
    EXPECT_EQ(DiscoveryDatagram::idFor(0x1ABCDEF01LL), 0xABCDEF01u);
}

TEST(DiscoveryDatagram, ReplyAcceptRules)
{
    const quint32 id = 0x01020304;
    const QByteArray header = QByteArray::fromHex("04030201"
                                                  "01");
    auto reply = [&](const QByteArray& payload, qint64 lengthField = -1) {
        QByteArray len = QByteArray::fromHex("00000000");
        const quint32 n = lengthField < 0 ? static_cast<quint32>(payload.size()) : static_cast<quint32>(lengthField);
        for (int i = 0; i < 4; ++i)
            len[i] = static_cast<char>((n >> (8 * i)) & 0xFF);
        return header + len + payload;
    };
    const QByteArray good = QByteArray::fromHex("02000000") + "ab" + QByteArray::fromHex("03000000") + "1.2"
                            + QByteArray::fromHex("2a000000");
    stDeviceInfo info;
    QByteArray d = reply(good);
    ASSERT_TRUE(DiscoveryDatagram::parseReply(d.constData(), d.size(), id, info));
    EXPECT_EQ(info.text, "ab");
    EXPECT_EQ(info.ip, "1.2");
    EXPECT_EQ(info.value, 42u);

    d = reply(good + "trailing");
    EXPECT_TRUE(DiscoveryDatagram::parseReply(d.constData(), d.size(), id, info));

    const std::vector<QByteArray> rejected = {
        reply(good).mid(0, 8),          // short
        reply(good, good.size() + 1),   // length field too big
        reply(good + "x", good.size()), // length field too small
        QByteArray::fromHex("05030201"
                            "01")
            + reply(good).mid(5), // other id
        QByteArray::fromHex("04030201"
                            "02")
            + reply(good).mid(5),                                    // other kind
        reply(QByteArray::fromHex("00000080") + "ab" + good.mid(6)), // count with the high bit
        reply(QByteArray::fromHex("ffffffff") + good.mid(4)),
        reply(QByteArray::fromHex("02000000") + "ab" + QByteArray::fromHex("04000000")
              + "1.2"),                       // address count past the end
        reply(good.left(good.size() - 4)),    // value missing
        reply(good.left(good.size() - 1)),    // value cut short
        reply(QByteArray::fromHex("000000")), // no room for a count
        reply(QByteArray()),
    };
    for (size_t i = 0; i < rejected.size(); ++i) {
        stDeviceInfo untouched;
        untouched.text = "keep";
        EXPECT_FALSE(DiscoveryDatagram::parseReply(rejected[i].constData(), rejected[i].size(), id, untouched)) << i;
        EXPECT_EQ(untouched.text, "keep") << i;
    }
}

TEST(ScanThread, AcceptsOnlyWellFormedRepliesToItsOwnProbe)
{
    Config good = panel("127.20.0.21");
    good.text = "HMI-1";
    good.reportedAddress = "192.168.10.21";
    good.value = 77;
    FakeDiscoveryResponder first(good);
    ASSERT_TRUE(first.isListening());
    const quint16 port = first.port();

    Config trailing = panel("127.20.0.22");
    trailing.reportedAddress = "10.0.0.22";
    trailing.trailing = "ignored bytes";
    Config wrongId = panel("127.20.0.23");
    wrongId.idDelta = 1;
    Config wrongKind = panel("127.20.0.24");
    wrongKind.kind = 2;
    Config lengthMismatch = panel("127.20.0.25");
    lengthMismatch.payloadLength = 3;
    Config hugeCount = panel("127.20.0.26");
    hugeCount.textCount = 0x80000000u;
    Config noValue = panel("127.20.0.27");
    noValue.omitValue = true;
    std::vector<std::unique_ptr<FakeDiscoveryResponder>> others;
    for (const Config& c : {trailing, wrongId, wrongKind, lengthMismatch, hugeCount, noValue}) {
        others.push_back(std::make_unique<FakeDiscoveryResponder>(c, port));
        ASSERT_TRUE(others.back()->isListening());
    }

    const ScanResult r = scan({loopbackEntry()}, port);
    EXPECT_EQ(r.signalCount, 1);
    ASSERT_EQ(r.devices.size(), 2);
    const stDeviceInfoEx* a = find(r.devices, "127.20.0.21");
    ASSERT_NE(a, nullptr);
    EXPECT_EQ(a->lanIp, "192.168.10.21");
    EXPECT_EQ(a->text, "HMI-1");
    EXPECT_EQ(a->value, 77u);
    const stDeviceInfoEx* b = find(r.devices, "127.20.0.22");
    ASSERT_NE(b, nullptr);
    EXPECT_EQ(b->lanIp, "10.0.0.22");
    for (const auto& o : others)
        EXPECT_GE(o->repliesSent(), 1);

    // The probe that went out.
    const QByteArray probe = first.lastProbe();
    ASSERT_EQ(probe.size(), 9);
    EXPECT_EQ(probe.mid(4), QByteArray::fromHex("0100000000"));
}

TEST(ScanThread, FastRepeatingPanelIsListedOnceAndTheScanStillEnds)
{
    Config c = panel("127.20.0.31");
    c.repeatIntervalMs = 50;
    FakeDiscoveryResponder responder(c);
    ASSERT_TRUE(responder.isListening());
    // Two entries of one interface: the panel answers on both.
    const ScanResult r = scan({loopbackEntry(), loopbackEntry()}, responder.port());
    EXPECT_EQ(r.signalCount, 1);
    ASSERT_EQ(r.devices.size(), 1);
    EXPECT_EQ(r.devices[0].ip, "127.20.0.31");
    EXPECT_GE(responder.repliesSent(), 40);
    EXPECT_GE(r.elapsedMs, 2 * 3000 - 200);
    EXPECT_LT(r.elapsedMs, 2 * 3000 + 2500);
}

TEST(ScanThread, SilenceResendsTheProbeAndEndsEmptyAfterAboutThreeSeconds)
{
    Config c = panel("127.20.0.32");
    c.silent = true;
    FakeDiscoveryResponder responder(c);
    ASSERT_TRUE(responder.isListening());
    const ScanResult r = scan({loopbackEntry()}, responder.port());
    EXPECT_EQ(r.signalCount, 1);
    EXPECT_TRUE(r.devices.isEmpty());
    EXPECT_GE(r.elapsedMs, 2900);
    EXPECT_LT(r.elapsedMs, 5500);
    EXPECT_GE(responder.probesSeen(), 3);
    EXPECT_LE(responder.probesSeen(), 4);
}

TEST(ScanThread, StopEndsTheScanWithinAPollInterval)
{
    Config c = panel("127.20.0.33");
    FakeDiscoveryResponder responder(c);
    ASSERT_TRUE(responder.isListening());
    // Stopped during the last entry: the signal carries what was found.
    ScanResult r = scan({loopbackEntry()}, responder.port(), 400);
    EXPECT_LT(r.elapsedMs, 1000);
    EXPECT_EQ(r.signalCount, 1);
    EXPECT_EQ(r.devices.size(), 1);
    // Stopped with an entry still to come: no signal.
    r = scan({loopbackEntry(), loopbackEntry()}, responder.port(), 400);
    EXPECT_LT(r.elapsedMs, 1000);
    EXPECT_EQ(r.signalCount, 0);
}

TEST(ScanThread, EntriesWithoutBroadcastAndIpv6AreSkipped)
{
    QNetworkAddressEntry noBroadcast;
    noBroadcast.setIp(QHostAddress(QStringLiteral("127.0.0.1")));
    noBroadcast.setPrefixLength(32);
    noBroadcast.setBroadcast(QHostAddress());
    QNetworkAddressEntry v6;
    v6.setIp(QHostAddress(QStringLiteral("::1")));
    v6.setPrefixLength(128);
    const ScanResult r = scan({noBroadcast, v6}, 9);
    EXPECT_EQ(r.signalCount, 1);
    EXPECT_TRUE(r.devices.isEmpty());
    EXPECT_LT(r.elapsedMs, 1000);
}

TEST(ScanThread, SignalCrossesToTheGuiThread)
{
    FakeDiscoveryResponder responder(panel("127.20.0.34"));
    ASSERT_TRUE(responder.isListening());
    ScanThread thread(nullptr, {loopbackEntry()}, responder.port());
    QVector<stDeviceInfoEx> got;
    int count = 0;
    QEventLoop loop;
    QObject::connect(&thread, &ScanThread::UpdateDeviceList, &loop, [&](const QVector<stDeviceInfoEx>& d) {
        got = d;
        ++count;
        loop.quit();
    });
    thread.start();
    loop.exec();
    EXPECT_EQ(count, 1);
    ASSERT_EQ(got.size(), 1);
    EXPECT_EQ(got[0].ip, "127.20.0.34");
}
