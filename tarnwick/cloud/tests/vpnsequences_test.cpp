// The VPN connect and disconnect sequences against the fake cloud service.

#include "tarnwick/cloud/vpnconnmsg.h"
#include "tarnwick/cloud/vpndisconnmsg.h"

#include "tarnwick/cloud/tests/cloudtesthelpers.h"
#include "testing/fakecloud/fakecloud.h"

#include <gtest/gtest.h>

#include <QNetworkAccessManager>
#include <QNetworkReply>

namespace {

struct Completion {
    bool ok = false;
    stVpnClientData data;
    QString msg;
};

class VpnSequences : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(fake.start());
        fake.setServerPassword(QStringLiteral("srv"));
        fake.addUser(QStringLiteral("alice"), QStringLiteral("pw123456"));
        FakeCloudDevice online;
        online.sn = QStringLiteral("SN1");
        online.alias = QStringLiteral("line one");
        online.ip = QStringLiteral("192.168.7.1");
        online.serverIP = QStringLiteral("127.30.0.9");
        online.serverPort = 1201;
        online.bind = QStringLiteral("bound-1");
        fake.addDevice(online);
        FakeCloudDevice offline = online;
        offline.sn = QStringLiteral("SN2");
        offline.online = false;
        fake.addDevice(offline);
        FakeCloudDevice other = online;
        other.sn = QStringLiteral("SN3");
        other.serverPort = 1203;
        fake.addDevice(other);

        session.bLogin = true;
        session.login.strServerAddr = fake.host();
        session.login.strServerPswd = QStringLiteral("srv");
        session.login.strDevicePswd = QStringLiteral("alicepw123456");
        session.strToken = loginToken();
        ASSERT_FALSE(session.strToken.isEmpty());
        fake.clearRequests();

        QObject::connect(&conn, &VPNConnMsg::Complete, [this](bool ok, stVpnClientData data, QString msg) {
            completions.append({ok, data, msg});
        });
        QObject::connect(&disconn, &VPNDisconnMsg::Complete, [this](bool ok, stVpnClientData data, QString msg) {
            completions.append({ok, data, msg});
        });
    }

    QString loginToken()
    {
        QNetworkAccessManager manager;
        VPNHttpProtocol http;
        QNetworkReply* reply = http.requestLogin(&manager, session.login);
        EXPECT_TRUE(waitUntil([&] { return reply->isFinished(); }, 10000));
        stLoginResult result;
        QString msg;
        http.parseLoginReply(reply, result, msg);
        return result.token;
    }

    bool waitForCompletions(int count, int timeoutMs = 10000)
    {
        return waitUntil([&] { return completions.size() >= count; }, timeoutMs);
    }

    QList<QString> paths() const
    {
        QList<QString> result;
        for (const FakeCloudRequest& request : fake.requests())
            result.append(request.path);
        return result;
    }

    QString digest() const { return FakeCloud::md5(session.login.strDevicePswd); }

    stVpnClientData withBox(const QString& sn)
    {
        stVpnClientData data = session;
        data.box.sn = sn;
        data.box.devicePassword = session.login.strDevicePswd;
        return data;
    }

    FakeCloud fake;
    stVpnClientData session;
    VPNConnMsg conn;
    VPNDisconnMsg disconn;
    QList<Completion> completions;
};

} // namespace

TEST_F(VpnSequences, ConnectSendsTheInstructionThenReadsTheStatus)
{
    conn.Start(session, QStringLiteral("SN1"), session.login.strDevicePswd);
    ASSERT_TRUE(waitForCompletions(1));
    const Completion& done = completions[0];
    EXPECT_TRUE(done.ok);
    EXPECT_EQ(done.msg, u8("设备组网成功"));
    EXPECT_TRUE(done.data.bLogin);
    // From the instruction reply...
    EXPECT_EQ(done.data.box.openvpnUser, QStringLiteral("vpnuser"));
    EXPECT_EQ(done.data.box.openvpnPassword, QStringLiteral("vpn-secret-pass"));
    // ...and from the status reply, which the fake answers after the VPN went on.
    EXPECT_TRUE(done.data.box.vpn);
    EXPECT_EQ(done.data.box.serverIP, QStringLiteral("127.30.0.9"));
    EXPECT_EQ(done.data.box.serverPort, 1201);
    EXPECT_EQ(done.data.box.bind, QStringLiteral("bound-1"));
    EXPECT_EQ(done.data.box.ip, QStringLiteral("192.168.7.1"));
    EXPECT_EQ(done.data.box.sn, QStringLiteral("SN1"));

    const QByteArray token = session.strToken.toLatin1();
    const QByteArray key = digest().toLatin1();
    const QList<QByteArray> expected = {
        "/user/device/instruct/vpn?token=" + token + "&sn=SN1&devicePassword=" + key + "&vpn=true",
        "/user/device/status?token=" + token + "&sn=SN1&devicePassword=" + key,
    };
    EXPECT_EQ(fake.targets(), expected);
    EXPECT_TRUE(fake.device(QStringLiteral("SN1")).vpn);
    spin(200);
    EXPECT_EQ(completions.size(), 1);
}

TEST_F(VpnSequences, ConnectRefusedWithCodeOneEndsTheLogin)
{
    fake.failToken(session.strToken);
    conn.Start(session, QStringLiteral("SN1"), session.login.strDevicePswd);
    ASSERT_TRUE(waitForCompletions(1));
    EXPECT_FALSE(completions[0].ok);
    EXPECT_EQ(completions[0].msg, u8("设备组网失败，连接超时"));
    EXPECT_FALSE(completions[0].data.bLogin);
    EXPECT_EQ(fake.requestCount(), 1);
}

TEST_F(VpnSequences, ConnectOfAnOfflineDeviceReportsTheService)
{
    conn.Start(session, QStringLiteral("SN2"), session.login.strDevicePswd);
    ASSERT_TRUE(waitForCompletions(1));
    EXPECT_FALSE(completions[0].ok);
    EXPECT_EQ(completions[0].msg, u8("设备组网失败，设备不在线"));
    EXPECT_TRUE(completions[0].data.bLogin);
}

TEST_F(VpnSequences, ConnectWithoutLoginOrSerialSendsNothing)
{
    stVpnClientData loggedOut = session;
    loggedOut.bLogin = false;
    conn.Start(loggedOut, QStringLiteral("SN1"), session.login.strDevicePswd);
    conn.Start(session, QString(), session.login.strDevicePswd);
    ASSERT_EQ(completions.size(), 2);
    EXPECT_FALSE(completions[0].ok);
    EXPECT_EQ(completions[0].msg, u8("客户端掉线"));
    EXPECT_FALSE(completions[1].ok);
    EXPECT_EQ(completions[1].msg, u8("连接的设备SN无效"));
    spin(200);
    EXPECT_EQ(fake.requestCount(), 0);
}

TEST_F(VpnSequences, ConnectWhoseStatusTimesOutFailsWithTheDefaultText)
{
    FakeCloudScript held;
    held.delayMs = 6000;
    fake.script(QStringLiteral("/user/device/status"), held);
    conn.Start(session, QStringLiteral("SN1"), session.login.strDevicePswd);
    ASSERT_TRUE(waitForCompletions(1, 9000));
    EXPECT_FALSE(completions[0].ok);
    EXPECT_EQ(completions[0].msg, u8("拉取设备状态信息失败，未知错误"));
    EXPECT_TRUE(completions[0].data.bLogin);
}

TEST_F(VpnSequences, ASecondStartSupersedesTheRunStillWaiting)
{
    FakeCloudScript slow;
    slow.delayMs = 1500;
    slow.matchKey = QStringLiteral("sn");
    slow.matchValue = QStringLiteral("SN1");
    fake.script(QStringLiteral("/user/device/instruct/vpn"), slow);

    conn.Start(session, QStringLiteral("SN1"), session.login.strDevicePswd);
    ASSERT_TRUE(waitUntil([&] { return fake.requestCount() == 1; }, 5000));
    conn.Start(session, QStringLiteral("SN3"), session.login.strDevicePswd);
    ASSERT_TRUE(waitForCompletions(1));
    // The first run's late answer must neither complete nor drive the new run.
    ASSERT_TRUE(waitUntil([&] { return fake.requestCount() >= 3; }, 5000));
    spin(2500);
    ASSERT_EQ(completions.size(), 1);
    EXPECT_TRUE(completions[0].ok);
    EXPECT_EQ(completions[0].data.box.sn, QStringLiteral("SN3"));
    EXPECT_EQ(completions[0].data.box.serverPort, 1203);
    EXPECT_EQ(fake.requestCount(QStringLiteral("/user/device/status")), 1);
}

TEST_F(VpnSequences, DisconnectOfAnOfflineDeviceAsksOnlyTheList)
{
    disconn.Start(withBox(QStringLiteral("SN2")));
    ASSERT_TRUE(waitForCompletions(1));
    EXPECT_TRUE(completions[0].ok);
    EXPECT_EQ(completions[0].msg, u8("拉取设备列表成功"));
    EXPECT_FALSE(completions[0].data.box.online);
    EXPECT_EQ(paths(), QList<QString>({QStringLiteral("/user/device/list")}));
}

TEST_F(VpnSequences, DisconnectOfAnOnlineDeviceTakesItOutOfTheVpn)
{
    FakeCloudDevice device = fake.device(QStringLiteral("SN1"));
    device.vpn = true;
    fake.addDevice(device);
    disconn.Start(withBox(QStringLiteral("SN1")));
    ASSERT_TRUE(waitForCompletions(1));
    EXPECT_TRUE(completions[0].ok);
    EXPECT_EQ(completions[0].msg, u8("设备断开联机成功"));
    EXPECT_FALSE(completions[0].data.box.vpn);
    EXPECT_EQ(completions[0].data.box.serverPort, 0);
    EXPECT_TRUE(completions[0].data.box.serverIP.isEmpty());
    EXPECT_EQ(completions[0].data.box.bind, QStringLiteral("bound-1"));
    EXPECT_EQ(paths(), QList<QString>({QStringLiteral("/user/device/list"), QStringLiteral("/user/device/status"),
                                       QStringLiteral("/user/device/instruct/vpn")}));
    EXPECT_TRUE(fake.targets().last().endsWith("&vpn=false"));
    EXPECT_FALSE(fake.device(QStringLiteral("SN1")).vpn);
}

TEST_F(VpnSequences, DisconnectOfAnUnknownNumber)
{
    disconn.Start(withBox(QStringLiteral("NOPE")));
    ASSERT_TRUE(waitForCompletions(1));
    EXPECT_TRUE(completions[0].ok);
    EXPECT_EQ(completions[0].msg, u8("设备编号不存在"));
    EXPECT_EQ(fake.requestCount(), 1);
}

TEST_F(VpnSequences, DisconnectWithoutDeviceOrLoginSendsNothing)
{
    stVpnClientData noPassword = withBox(QStringLiteral("SN1"));
    noPassword.box.devicePassword.clear();
    disconn.Start(noPassword);
    disconn.Start(withBox(QString()));
    stVpnClientData loggedOut = withBox(QStringLiteral("SN1"));
    loggedOut.bLogin = false;
    disconn.Start(loggedOut);
    ASSERT_EQ(completions.size(), 3);
    EXPECT_TRUE(completions[0].ok);
    EXPECT_EQ(completions[0].msg, u8("设备关闭VPN成功"));
    EXPECT_TRUE(completions[1].ok);
    EXPECT_EQ(completions[1].msg, u8("设备关闭VPN成功"));
    EXPECT_FALSE(completions[2].ok);
    EXPECT_EQ(completions[2].msg, u8("客户端掉线了"));
    spin(200);
    EXPECT_EQ(fake.requestCount(), 0);
}

TEST_F(VpnSequences, ARefusedVpnOffIsAFailureWithTheServiceMessage)
{
    FakeCloudDevice device = fake.device(QStringLiteral("SN1"));
    device.vpn = true;
    fake.addDevice(device);
    FakeCloudScript busy;
    busy.reply = FakeCloudScript::Reply::ErrorCode;
    busy.errorCode = 4;
    fake.script(QStringLiteral("/user/device/instruct/vpn"), busy);
    disconn.Start(withBox(QStringLiteral("SN1")));
    ASSERT_TRUE(waitForCompletions(1));
    EXPECT_FALSE(completions[0].ok);
    EXPECT_EQ(completions[0].msg, u8("设备解除组网失败，设备已占用"));
    // The box keeps the VPN fields of the status.
    EXPECT_TRUE(completions[0].data.box.vpn);
    EXPECT_EQ(completions[0].data.box.serverPort, 1201);
}

TEST_F(VpnSequences, AnUnansweredVpnOffIsAFailure)
{
    FakeCloudScript closed;
    closed.reply = FakeCloudScript::Reply::CloseWithoutAnswer;
    fake.script(QStringLiteral("/user/device/instruct/vpn"), closed);
    disconn.Start(withBox(QStringLiteral("SN1")));
    ASSERT_TRUE(waitForCompletions(1));
    EXPECT_FALSE(completions[0].ok);
    EXPECT_EQ(completions[0].msg, u8("设备解除组网失败，未知错误"));
}

TEST_F(VpnSequences, DisconnectFailuresOfListAndStatus)
{
    fake.failToken(session.strToken);
    disconn.Start(withBox(QStringLiteral("SN1")));
    ASSERT_TRUE(waitForCompletions(1));
    EXPECT_FALSE(completions[0].ok);
    EXPECT_EQ(completions[0].msg, u8("拉取设备列表失败"));
    EXPECT_FALSE(completions[0].data.bLogin);

    FakeCloudScript missing;
    missing.reply = FakeCloudScript::Reply::MissingMember;
    missing.member = QStringLiteral("bind");
    fake.script(QStringLiteral("/user/device/status"), missing);
    stVpnClientData fresh = withBox(QStringLiteral("SN1"));
    fresh.strToken = loginToken();
    disconn.Start(fresh);
    ASSERT_TRUE(waitForCompletions(2));
    EXPECT_FALSE(completions[1].ok);
    EXPECT_EQ(completions[1].msg, u8("拉取设备信息失败"));
    EXPECT_TRUE(completions[1].data.bLogin);
}
