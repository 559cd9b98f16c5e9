// The cloud client's requests and replies through real sockets, against the fake cloud service.

#include "tarnwick/cloud/vpnhttpprotocol.h"

#include "tarnwick/cloud/cloudconstants.h"
#include "tarnwick/cloud/tests/cloudtesthelpers.h"
#include "testing/fakecloud/fakecloud.h"

#include <gtest/gtest.h>

#include <QElapsedTimer>
#include <QFile>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QPointer>
#include <QThread>

#include <algorithm>
#include <cstdio>
#include <memory>

namespace {

// The peak resident size of this process in KiB (VmHWM), -1 when unknown.
qint64 peakResidentKiB()
{
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray& line : status.readAll().split('\n')) {
        if (line.startsWith("VmHWM:"))
            return line.mid(6).trimmed().split(' ').value(0).toLongLong();
    }
    return -1;
}

// Lowers the peak to what the process holds now, so that what earlier work
// needed does not hide a later peak.
bool resetPeakResident()
{
    QFile refs(QStringLiteral("/proc/self/clear_refs"));
    return refs.open(QIODevice::WriteOnly) && refs.write("5") == 1;
}

// The watchdog of tests about the size bound: long enough that only the
// bound can end their requests, even on a machine too busy to move 16 MiB
// within the real 5000 ms.
constexpr int kLongWatchdogMs = 120000;

// The most the kernel gives a TCP socket's receive buffer, in bytes; -1 when unknown.
qint64 largestReceiveBuffer()
{
    QFile limits(QStringLiteral("/proc/sys/net/ipv4/tcp_rmem"));
    if (!limits.open(QIODevice::ReadOnly))
        return -1;
    const QList<QByteArray> fields = limits.readAll().simplified().split(' ');
    return fields.size() == 3 ? fields[2].toLongLong() : -1;
}

class VPNHttpProtocolWire : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(fake.start());
        fake.setServerPassword(QString());
        fake.addUser(QStringLiteral("ab"), QStringLiteral("c")); // account key "abc"
        login.strServerAddr = fake.host();
        login.strServerPswd = QString();
        login.strDevicePswd = QStringLiteral("abc");
    }

    // Waits for the reply to finish; it stays alive until the test ends.
    QNetworkReply* finish(QNetworkReply* reply, int timeoutMs = 10000)
    {
        EXPECT_NE(reply, nullptr);
        QPointer<QNetworkReply> guard(reply);
        EXPECT_TRUE(waitUntil([&] { return guard.isNull() || guard->isFinished(); }, timeoutMs));
        // The watchdog frees the reply it aborts; what it left is no reply.
        EXPECT_FALSE(guard.isNull()) << "the reply was aborted and freed by the watchdog";
        return guard.data();
    }

    // A login read where its owner reads it, as the session does: the
    // watchdog may free the reply it aborts. busyMs keeps the program's own
    // thread busy while the answer pours in.
    bool loginOnce(stLoginResult& result, QString& msg, int busyMs = 0)
    {
        bool finished = false;
        bool ok = true;
        const QMetaObject::Connection reading = QObject::connect(&manager, &QNetworkAccessManager::finished,
                                                                 [&](QNetworkReply* reply) {
                                                                     ok = http.parseLoginReply(reply, result, msg);
                                                                     finished = true;
                                                                     reply->deleteLater();
                                                                 });
        http.requestLogin(&manager, login);
        if (busyMs > 0) {
            EXPECT_TRUE(waitUntil([&] { return fake.requestCount() > 0; }, 10000));
            QThread::msleep(busyMs);
        }
        // Within the watchdog's time, with room for a busy machine.
        EXPECT_TRUE(waitUntil([&] { return finished; }, kLongWatchdogMs / 2));
        QObject::disconnect(reading);
        return finished && ok;
    }

    QString loginToken()
    {
        stLoginResult result;
        QString msg;
        EXPECT_TRUE(http.parseLoginReply(finish(http.requestLogin(&manager, login)), result, msg)) << msg.toStdString();
        return result.token;
    }

    FakeCloud fake;
    QNetworkAccessManager manager;
    VPNHttpProtocol http;
    stLoginData login;
};

} // namespace

TEST_F(VPNHttpProtocolWire, TheSevenRequestsArriveWithTheirExactTargets)
{
    const QString token = loginToken();
    ASSERT_FALSE(token.isEmpty());
    stBoxData box;
    box.sn = QStringLiteral("SN1");
    box.devicePassword = QStringLiteral("abc");
    stVpnInstruction on;
    on.on = true;
    on.sn = QStringLiteral("SN1");
    on.accountKey = QString();
    stVpnInstruction off = on;
    off.on = false;
    off.accountKey = QStringLiteral("abc");

    finish(http.requestLogout(&manager, fake.host(), token));
    finish(http.requestDeviceList(&manager, fake.host(), token));
    finish(http.requestHeartbeat(&manager, fake.host(), token));
    finish(http.requestDeviceStatus(&manager, fake.host(), token, box));
    finish(http.requestVpnInstruction(&manager, fake.host(), token, on));
    finish(http.requestVpnInstruction(&manager, fake.host(), token, off));
    finish(http.requestServerTest(&manager, fake.host()));

    const QByteArray t = token.toLatin1();
    const QList<QByteArray> expected = {
        "/user/login?domain=vexa&adminPassword=D41D8CD98F00B204E9800998ECF8427E"
        "&devicePassword=900150983CD24FB0D6963F7D28E17F72&ver=2.0.1",
        "/user/logout?token=" + t,
        "/user/device/list?token=" + t,
        "/user/beats?token=" + t,
        "/user/device/status?token=" + t + "&sn=SN1&devicePassword=900150983CD24FB0D6963F7D28E17F72",
        "/user/device/instruct/vpn?token=" + t + "&sn=SN1&devicePassword=D41D8CD98F00B204E9800998ECF8427E&vpn=true",
        "/user/device/instruct/vpn?token=" + t + "&sn=SN1&devicePassword=900150983CD24FB0D6963F7D28E17F72&vpn=false",
        "/device/test/url",
    };
    EXPECT_EQ(fake.targets(), expected);
    for (const FakeCloudRequest& request : fake.requests())
        EXPECT_EQ(request.method, QByteArray("GET"));
}

TEST_F(VPNHttpProtocolWire, ValuesThatWouldChangeTheRequestArePercentEncoded)
{
    const QString hostile = QString::fromUtf8("a&sn=x#y%z+w v中");
    login.strVersion = hostile;
    finish(http.requestLogin(&manager, login));
    QNetworkReply* beat = finish(http.requestHeartbeat(&manager, fake.host(), hostile));
    stBoxData box;
    box.sn = hostile;
    finish(http.requestDeviceStatus(&manager, fake.host(), QStringLiteral("tok"), box));

    const QList<FakeCloudRequest> requests = fake.requests();
    ASSERT_EQ(requests.size(), 3);
    const QByteArray encoded = "a%26sn%3Dx%23y%25z%2Bw%20v%E4%B8%AD";
    EXPECT_TRUE(requests[0].target.endsWith("&ver=" + encoded)) << requests[0].target.constData();
    EXPECT_EQ(requests[1].target, "/user/beats?token=" + encoded);
    EXPECT_EQ(requests[2].target,
              "/user/device/status?token=tok&sn=" + encoded + "&devicePassword=D41D8CD98F00B204E9800998ECF8427E");
    // The service reads back exactly what was meant, and so do the parsers.
    EXPECT_EQ(requests[0].query(QStringLiteral("ver")), hostile);
    EXPECT_EQ(requests[2].query(QStringLiteral("sn")), hostile);
    QString token;
    bool dropped = false;
    QString msg;
    http.parseHeartbeatReply(beat, token, dropped, msg);
    EXPECT_EQ(token, hostile);
}

TEST_F(VPNHttpProtocolWire, WatchdogAbortsAReplyHeldTooLong)
{
    FakeCloudScript held;
    held.delayMs = 6000;
    fake.script(QStringLiteral("/user/login"), held);
    LogCapture log;
    // The watchdog frees the reply it aborts, so it is read where its owner
    // would read it: in the manager's finished().
    bool finished = false;
    bool ok = true;
    QString msg;
    QNetworkReply::NetworkError error = QNetworkReply::NoError;
    QObject::connect(&manager, &QNetworkAccessManager::finished, [&](QNetworkReply* reply) {
        stLoginResult result;
        error = reply->error();
        ok = http.parseLoginReply(reply, result, msg);
        finished = true;
    });
    QElapsedTimer clock;
    clock.start();
    http.requestLogin(&manager, login);
    ASSERT_TRUE(waitUntil([&] { return finished; }, 10000));
    const qint64 elapsed = clock.elapsed();
    EXPECT_GE(elapsed, 4900);
    EXPECT_LT(elapsed, 5900);
    EXPECT_EQ(error, QNetworkReply::OperationCanceledError);
    EXPECT_FALSE(ok);
    EXPECT_EQ(msg, QString::fromUtf8("网络异常, 请检查重试!"));
    EXPECT_TRUE(LogCapture::contains(QStringLiteral("Timeout: http[http://") + fake.host() + "/user/login?"));
}

TEST_F(VPNHttpProtocolWire, AReplyJustInsideTheWatchdogParses)
{
    FakeCloudScript slow;
    slow.delayMs = 4500;
    fake.script(QStringLiteral("/user/login"), slow);
    QElapsedTimer clock;
    clock.start();
    QNetworkReply* reply = finish(http.requestLogin(&manager, login));
    EXPECT_GE(clock.elapsed(), 4400);
    stLoginResult result;
    QString msg;
    EXPECT_TRUE(http.parseLoginReply(reply, result, msg));
    EXPECT_EQ(msg, QString::fromUtf8("登录成功"));
    EXPECT_FALSE(result.token.isEmpty());
}

TEST_F(VPNHttpProtocolWire, BrokenAnswersFailWithTheDefaultMessage)
{
    struct Case {
        FakeCloudScript::Reply reply;
        bool ok;
    };
    const Case cases[] = {
        {FakeCloudScript::Reply::NotJson, false},
        {FakeCloudScript::Reply::CloseWithoutAnswer, false},
        // The body decides, whatever the status says.
        {FakeCloudScript::Reply::Http500, true},
    };
    for (const Case& c : cases) {
        fake.clearScripts();
        FakeCloudScript script;
        script.reply = c.reply;
        fake.script(QStringLiteral("/user/device/list"), script);
        QVector<stBoxData> boxes;
        bool dropped = true;
        QString msg;
        const bool ok = http.parseDeviceListReply(finish(http.requestDeviceList(&manager, fake.host(), loginToken())),
                                                  boxes, dropped, msg);
        EXPECT_EQ(ok, c.ok) << int(c.reply);
        EXPECT_FALSE(dropped);
        EXPECT_EQ(msg,
                  QString::fromUtf8(c.ok ? "拉取设备列表状态相关信息成功" : "拉取设备列表状态相关信息失败，未知错误"))
            << int(c.reply);
    }
}

TEST_F(VPNHttpProtocolWire, AReplyBeyondSixteenMebibytesIsAbortedAsAFailure)
{
    const QByteArray reply =
        R"({"succeed":true,"info":"","error":0,"token":"T","ca-text":"x","ca-name":"n","ver":"v","permission":1})";
    // A valid answer padded with blanks: only the size can make it fail.
    FakeCloudScript big;
    big.reply = FakeCloudScript::Reply::Body;
    big.body = reply + QByteArray(16 * 1024 * 1024, ' ');
    big.times = 1;
    fake.script(QStringLiteral("/user/login"), big);
    http.setReplyTimeoutMs(kLongWatchdogMs);
    stLoginResult result;
    QString msg;
    EXPECT_FALSE(loginOnce(result, msg));
    EXPECT_EQ(msg, QString::fromUtf8("网络异常, 请检查重试!"));

    FakeCloudScript fits = big;
    fits.body = reply + QByteArray(1024 * 1024, ' ');
    fake.script(QStringLiteral("/user/login"), fits);
    EXPECT_TRUE(loginOnce(result, msg)) << msg.toStdString();
}

TEST_F(VPNHttpProtocolWire, AnswersInflatingOrStreamingPastTheBoundFailWithoutTheirMemory)
{
    constexpr qint64 kGiB = 1024LL * 1024 * 1024;
    // Far below the gigabyte either way. ThreadSanitizer's run-time keeps
    // shadow memory beside every block the program touches (about twice
    // its size), which the resident peak counts too: there the client's
    // own ~50 MiB come to ~100 MiB. AddressSanitizer holds every freed
    // block back for a while (its quarantine, up to 256 MiB) before it
    // reuses it: each piece of the answer is copied and freed a few times
    // on its way (socket, Qt's reply buffers, the bound), and on a loaded
    // machine, where the abort comes later, the peak reached 137 MiB.
#if defined(__SANITIZE_THREAD__) || defined(__SANITIZE_ADDRESS__)
    constexpr qint64 kAllowedGrowthKiB = 300 * 1024;
#else
    constexpr qint64 kAllowedGrowthKiB = 100 * 1024;
#endif
    struct Case {
        const char* what;
        FakeCloudScript script;
        int busyMs = 0;
    };
    Case cases[2];
    // Some 6.5 MiB on the wire: within the bound as sent.
    cases[0].what = "gzip inflating to 1 GiB";
    cases[0].script.reply = FakeCloudScript::Reply::Body;
    cases[0].script.body = FakeCloud::gzipOfZeros(kGiB);
    cases[0].script.contentEncoding = "gzip";
    // No length announced: only the bytes themselves can tell.
    cases[1].what = "1 GiB without a length";
    cases[1].script.reply = FakeCloudScript::Reply::Stream;
    cases[1].script.streamBytes = kGiB;
    cases[1].busyMs = 2000;

    for (Case& c : cases) {
        SCOPED_TRACE(c.what);
        fake.clearScripts();
        fake.clearRequests();
        c.script.times = 1;
        fake.script(QStringLiteral("/user/login"), c.script);
        ASSERT_TRUE(resetPeakResident());
        const qint64 before = peakResidentKiB();
        ASSERT_GT(before, 0);

        stLoginResult result;
        QString msg;
        EXPECT_FALSE(loginOnce(result, msg, c.busyMs));
        EXPECT_EQ(msg, QString::fromUtf8("网络异常, 请检查重试!"));
        EXPECT_TRUE(result.token.isEmpty());
        const qint64 growth = peakResidentKiB() - before;
        EXPECT_LT(growth, kAllowedGrowthKiB) << "peak grew by " << growth << " KiB";

        ASSERT_FALSE(fake.requests().isEmpty());
        EXPECT_TRUE(fake.requests().first().head.toLower().contains("\r\naccept-encoding: identity\r\n"))
            << fake.requests().first().head.constData();
        // The session carries on with the next answer.
        EXPECT_TRUE(loginOnce(result, msg, 0)) << msg.toStdString();
        EXPECT_FALSE(result.token.isEmpty());
    }
}

TEST_F(VPNHttpProtocolWire, AnEndlessAnswerFailsAsSoonAsItPassesTheBound)
{
    constexpr qint64 kBound = 16 * 1024 * 1024;
    constexpr int kRounds = 10; // of each kind, twenty in all
    // What can be under way past the bound when the client cuts the answer
    // off: what Qt reads ahead of the client, the client's receive buffer
    // (which the kernel may grow to its largest) and the stream's small send
    // buffer. How long that takes is the machine's affair, so the bytes tell:
    // a client that reads on past the bound takes all that an endless answer
    // sends until something else stops it, and one that stops reading below
    // the bound is stopped by nothing but its watchdog, here too long to wait
    // for.
    const qint64 receiveBufferMax = largestReceiveBuffer();
    ASSERT_GT(receiveBufferMax, 0);
    const qint64 allowedPastBound = Tarnwick::Cloud::kReplyReadAheadBytes + receiveBufferMax + 1024 * 1024;
    http.setReplyTimeoutMs(kLongWatchdogMs);
    LogCapture log;
    for (const bool chunked : {false, true}) {
        SCOPED_TRACE(chunked ? "endless chunked body" : "endless body without a length");
        qint64 most = 0;
        qint64 slowest = 0;
        for (int round = 0; round < kRounds; ++round) {
            SCOPED_TRACE(round);
            fake.clearScripts();
            FakeCloudScript endless;
            endless.reply = FakeCloudScript::Reply::Stream;
            endless.streamBytes = -1;
            endless.chunked = chunked;
            endless.markStreamAt = kBound;
            endless.times = 1;
            fake.script(QStringLiteral("/user/login"), endless);
            const int marksBefore = fake.streamMarks().size();
            const int endsBefore = fake.streamBytesPastMark().size();

            bool finished = false;
            bool ok = true;
            qint64 finishedAt = 0;
            QString msg;
            const QMetaObject::Connection reading = QObject::connect(&manager, &QNetworkAccessManager::finished,
                                                                     [&](QNetworkReply* reply) {
                                                                         QElapsedTimer now;
                                                                         now.start();
                                                                         finishedAt = now.msecsSinceReference();
                                                                         stLoginResult result;
                                                                         ok = http.parseLoginReply(reply, result, msg);
                                                                         finished = true;
                                                                         reply->deleteLater();
                                                                     });
            http.requestLogin(&manager, login);
            EXPECT_TRUE(waitUntil([&] { return finished; }, kLongWatchdogMs / 2))
                << "the answer was not cut off at the bound";
            QObject::disconnect(reading);
            ASSERT_TRUE(finished);
            EXPECT_FALSE(ok);
            EXPECT_EQ(msg, QString::fromUtf8("网络异常, 请检查重试!"));
            // The fake service notes on its own thread, which a busy machine
            // may run later than the client's.
            ASSERT_TRUE(waitUntil([&] { return fake.streamMarks().size() == marksBefore + 1; }, 10000))
                << "the answer ended before the bound";
            ASSERT_TRUE(waitUntil([&] { return fake.streamBytesPastMark().size() == endsBefore + 1; }, 10000))
                << "the client did not leave";
            const qint64 past = fake.streamBytesPastMark().last();
            EXPECT_LT(past, allowedPastBound) << "the client took " << past << " bytes past the bound";
            most = std::max(most, past);
            slowest = std::max(slowest, finishedAt - fake.streamMarks().last());
        }
        RecordProperty(chunked ? "mostPastChunkedBytes" : "mostPastUnlengthedBytes", static_cast<int>(most));
        RecordProperty(chunked ? "slowestChunkedMs" : "slowestUnlengthedMs", static_cast<int>(slowest));
        std::printf("%s: at most %lld bytes past the bound, failed at most %lld ms after it\n",
                    chunked ? "chunked" : "without a length", static_cast<long long>(most),
                    static_cast<long long>(slowest));
    }
    EXPECT_FALSE(LogCapture::contains(QStringLiteral("Timeout: http["))) << "the watchdog ended a request";
    // The session carries on with the next answer.
    fake.clearScripts();
    stLoginResult result;
    QString msg;
    EXPECT_TRUE(loginOnce(result, msg)) << msg.toStdString();
}

TEST_F(VPNHttpProtocolWire, DebugLinesKeepTheirFormWithoutSecrets)
{
    LogCapture log;
    const QString token = loginToken();
    stVpnInstruction on;
    on.on = true;
    on.sn = QStringLiteral("SN1");
    on.accountKey = QStringLiteral("abc");
    finish(http.requestVpnInstruction(&manager, fake.host(), token, on));

    const QString all = LogCapture::all();
    EXPECT_TRUE(all.contains(QStringLiteral("http get: http://") + fake.host()
                             + "/user/login?domain=vexa&adminPassword=***&devicePassword=***&ver=2.0.1"));
    EXPECT_TRUE(all.contains(QStringLiteral("http recv: http://") + fake.host() + "/user/login?"));
    EXPECT_TRUE(all.contains(QStringLiteral(" &&&& data: ")));
    EXPECT_TRUE(all.contains(QStringLiteral("/user/device/instruct/vpn?token=***&sn=SN1&devicePassword=***&vpn=true")));
    EXPECT_FALSE(all.contains(token));
    EXPECT_FALSE(all.contains(QStringLiteral("D41D8CD98F00B204E9800998ECF8427E")));
    EXPECT_FALSE(all.contains(QStringLiteral("900150983CD24FB0D6963F7D28E17F72")));
    EXPECT_FALSE(all.contains(QStringLiteral("vpn-secret-pass")));
    EXPECT_FALSE(all.contains(QStringLiteral("auth-user-pass"))); // a line of the configuration text
}
