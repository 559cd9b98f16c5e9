// The cloud session against the fake cloud service.

#include "tarnwick/cloud/vpnclient.h"

#include "tarnwick/cloud/tests/cloudtesthelpers.h"
#include "testing/fakecloud/fakecloud.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSignalSpy>
#include <QSysInfo>
#include <QTcpServer>
#include <QTemporaryDir>
#include <QTimer>

#include <sys/stat.h>

#include <thread>

namespace {

class VpnClientTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(workDir.isValid());
        previousDir = QDir::currentPath();
        ASSERT_TRUE(QDir::setCurrent(workDir.path()));
        ASSERT_TRUE(fake.start());
        fake.setServerPassword(QStringLiteral("srvpass"));
        fake.addUser(QStringLiteral("alice"), QStringLiteral("pw123456"), 2, 6);
        FakeCloudDevice online;
        online.sn = QStringLiteral("SN1");
        online.alias = QStringLiteral("press 1");
        online.iccid = QStringLiteral("8986(mobile)");
        fake.addDevice(online);
        FakeCloudDevice offline = online;
        offline.sn = QStringLiteral("SN2");
        offline.online = false;
        fake.addDevice(offline);
        fake.setConfig(QStringLiteral("office.ovpn"), QByteArray("client\nremote 127.30.0.1 1194\n\0tail", 35));

        login.strUser = QStringLiteral("alice");
        login.strServerPswd = QStringLiteral("srvpass");
        login.strDevicePswd = QStringLiteral("alicepw123456");
        login.strServerAddr = fake.host();
    }

    void TearDown() override { QDir::setCurrent(previousDir); }

    void loginOk()
    {
        QSignalSpy spy(&client, &VPNClient::LoginSignal);
        const int before = spy.count();
        client.Login(login);
        ASSERT_TRUE(waitUntil([&] { return spy.count() > before; }, 10000));
        ASSERT_TRUE(spy.last().at(0).toBool()) << spy.last().at(3).toString().toStdString();
    }

    QTimer* heartbeatTimer()
    {
        for (QTimer* timer : client.findChildren<QTimer*>()) {
            if (timer->interval() == 20000)
                return timer;
        }
        return nullptr;
    }

    // One heartbeat, as the timer would send it; waits for its answer to be handled.
    void beat()
    {
        const int before = fake.requestCount(QStringLiteral("/user/beats"));
        LogCapture log;
        const int linesBefore = LogCapture::lines().size();
        QMetaObject::invokeMethod(&client, "SendHeartBeats");
        ASSERT_TRUE(waitUntil([&] { return fake.requestCount(QStringLiteral("/user/beats")) > before; }, 5000));
        ASSERT_TRUE(waitUntil(
            [&] { return LogCapture::lines().mid(linesBefore).filter(QStringLiteral("http recv: ")).size() > 0; },
            8000));
        spin(50);
    }

    QString configPath() const
    {
        return VPNClient::GetVpnDirectory() + QStringLiteral("/config/") + QStringLiteral("office.ovpn");
    }

    QTemporaryDir workDir;
    QString previousDir;
    FakeCloud fake;
    stLoginData login;
    VPNClient client;
};

} // namespace

TEST_F(VpnClientTest, VpnFolderFollowsTheRunningCpu)
{
    const QString arch = QSysInfo::currentCpuArchitecture();
    const bool wide = arch == QLatin1String("x86_64") || arch == QLatin1String("ia64");
    EXPECT_EQ(VPNClient::GetVpnDirectory(), wide ? QStringLiteral("vpn/x64/") : QStringLiteral("vpn/x86/"));
}

TEST_F(VpnClientTest, LoginWritesTheConfigurationForItsOwnerOnly)
{
    QSignalSpy logins(&client, &VPNClient::LoginSignal);
    client.Login(login);
    ASSERT_TRUE(waitUntil([&] { return logins.count() == 1; }, 10000));
    EXPECT_TRUE(logins[0][0].toBool());
    EXPECT_EQ(logins[0][1].toInt(), 2);
    EXPECT_EQ(logins[0][2].toInt(), 6);
    EXPECT_EQ(logins[0][3].toString(), u8("服务器登录成功"));
    EXPECT_TRUE(client.IsLogin());
    EXPECT_EQ(client.GetToken(), fake.issuedTokens().value(0));

    // The folder did not exist: it is made, and the text is cut at its first NUL.
    EXPECT_EQ(client.GetConfigName(), configPath());
    QFile file(configPath());
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    EXPECT_EQ(file.readAll(), QByteArray("client\nremote 127.30.0.1 1194\n"));
    struct stat info {};
    ASSERT_EQ(::stat(QFile::encodeName(configPath()).constData(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0600u);
    // The text itself is kept whole.
    EXPECT_EQ(client.GetConfigData(), QString::fromUtf8("client\nremote 127.30.0.1 1194\n\0tail", 35));

    QTimer* timer = heartbeatTimer();
    ASSERT_NE(timer, nullptr);
    EXPECT_TRUE(timer->isActive());
    EXPECT_EQ(client.GetBeatsUrl(), QStringLiteral("http://") + fake.host() + "/user/beats?token=" + client.GetToken());
}

TEST_F(VpnClientTest, ALoginReplacesAnExistingConfigurationAndItsMode)
{
    ASSERT_TRUE(QDir().mkpath(VPNClient::GetVpnDirectory() + "/config"));
    {
        QFile old(configPath());
        ASSERT_TRUE(old.open(QIODevice::WriteOnly));
        old.write(QByteArray(500, 'x'));
    }
    ::chmod(QFile::encodeName(configPath()).constData(), 0644);
    loginOk();
    QFile file(configPath());
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    EXPECT_EQ(file.readAll(), QByteArray("client\nremote 127.30.0.1 1194\n"));
    struct stat info {};
    ASSERT_EQ(::stat(QFile::encodeName(configPath()).constData(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0600u);
}

TEST_F(VpnClientTest, AConfigurationNameThatIsNoPlainFileNameWritesNothing)
{
    fake.setConfig(QStringLiteral("../../x"), QByteArray("escaped"));
    loginOk();
    EXPECT_TRUE(client.IsLogin());
    EXPECT_TRUE(client.GetConfigName().isEmpty());
    EXPECT_FALSE(QFileInfo::exists(QStringLiteral("x")));
    EXPECT_FALSE(QFileInfo::exists(QStringLiteral("vpn/x")));
    EXPECT_FALSE(QFileInfo::exists(QDir(workDir.path()).absoluteFilePath(QStringLiteral("../x"))));
    const QDir config(VPNClient::GetVpnDirectory() + "/config");
    EXPECT_TRUE(!config.exists() || config.entryList(QDir::NoDotAndDotDot | QDir::AllEntries).isEmpty());
}

// It has no lock: a call from a thread other than its own stops the program
// before it touches anything.
TEST(VpnClientThread, ACallFromAnotherThreadStopsTheProgram)
{
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    VPNClient client;
    EXPECT_FALSE(client.IsLogin());
    EXPECT_DEATH(
        {
            std::thread other([&client] { client.IsLogin(); });
            other.join();
        },
        "VPNClient: called from a thread it does not live on");
}

TEST(VpnClientNames, PlainFileNamesOnly)
{
    EXPECT_TRUE(VPNClient::isPlainFileName(QStringLiteral("a.ovpn")));
    EXPECT_TRUE(VPNClient::isPlainFileName(QStringLiteral("...")));
    EXPECT_TRUE(VPNClient::isPlainFileName(QString(255, QLatin1Char('n'))));
    EXPECT_TRUE(VPNClient::isPlainFileName(QString(85, QChar(0x4E2D))));  // 255 bytes of UTF-8
    EXPECT_FALSE(VPNClient::isPlainFileName(QString(86, QChar(0x4E2D)))); // 258 bytes
    EXPECT_FALSE(VPNClient::isPlainFileName(QString(256, QLatin1Char('n'))));
    EXPECT_FALSE(VPNClient::isPlainFileName(QString()));
    EXPECT_FALSE(VPNClient::isPlainFileName(QStringLiteral(".")));
    EXPECT_FALSE(VPNClient::isPlainFileName(QStringLiteral("..")));
    EXPECT_FALSE(VPNClient::isPlainFileName(QStringLiteral("a/b")));
    EXPECT_FALSE(VPNClient::isPlainFileName(QStringLiteral("a\\b")));
    EXPECT_FALSE(VPNClient::isPlainFileName(QStringLiteral("a") + QChar(0) + QStringLiteral("b")));
}

TEST_F(VpnClientTest, AFailedLoginReportsTheServiceMessage)
{
    login.strServerPswd = QStringLiteral("wrong");
    QSignalSpy logins(&client, &VPNClient::LoginSignal);
    client.Login(login);
    ASSERT_TRUE(waitUntil([&] { return logins.count() == 1; }, 10000));
    EXPECT_FALSE(logins[0][0].toBool());
    EXPECT_EQ(logins[0][1].toInt(), 0);
    EXPECT_EQ(logins[0][3].toString(), u8("服务器密码无效！"));
    EXPECT_FALSE(client.IsLogin());
    EXPECT_FALSE(QFileInfo::exists(configPath()));
}

TEST_F(VpnClientTest, ThreeHeartbeatsWithoutUsableBodyDropTheSessionOnce)
{
    loginOk();
    const QString token = client.GetToken();
    FakeCloudScript broken;
    broken.reply = FakeCloudScript::Reply::NotJson;
    fake.script(QStringLiteral("/user/beats"), broken);
    QSignalSpy drops(&client, &VPNClient::DropLineSignal);
    beat();
    beat();
    EXPECT_EQ(drops.count(), 0);
    EXPECT_TRUE(client.IsLogin());
    beat();
    EXPECT_EQ(drops.count(), 1);
    EXPECT_FALSE(client.IsLogin());
    EXPECT_EQ(client.GetToken(), token);
    EXPECT_FALSE(heartbeatTimer()->isActive());
}

TEST_F(VpnClientTest, AUsableHeartbeatResetsTheFailureCount)
{
    loginOk();
    FakeCloudScript broken;
    broken.reply = FakeCloudScript::Reply::NotJson;
    broken.times = 2;
    fake.script(QStringLiteral("/user/beats"), broken);
    QSignalSpy drops(&client, &VPNClient::DropLineSignal);
    beat();
    beat();
    beat(); // a good one
    broken.times = 3;
    fake.script(QStringLiteral("/user/beats"), broken);
    beat();
    beat();
    EXPECT_EQ(drops.count(), 0);
    EXPECT_TRUE(client.IsLogin());
    beat();
    EXPECT_EQ(drops.count(), 1);
    EXPECT_EQ(fake.requestCount(QStringLiteral("/user/beats")), 6);
}

TEST_F(VpnClientTest, TheFailureCountStartsAgainWithANewSession)
{
    loginOk();
    FakeCloudScript broken;
    broken.reply = FakeCloudScript::Reply::NotJson;
    broken.times = 2;
    fake.script(QStringLiteral("/user/beats"), broken);
    QSignalSpy drops(&client, &VPNClient::DropLineSignal);
    beat();
    beat();
    loginOk();
    broken.times = 2;
    fake.script(QStringLiteral("/user/beats"), broken);
    beat();
    beat();
    EXPECT_EQ(drops.count(), 0);
    EXPECT_TRUE(client.IsLogin());
}

TEST_F(VpnClientTest, TheServerDroppingTheSessionEndsItAtOnce)
{
    loginOk();
    fake.failToken(client.GetToken());
    QSignalSpy drops(&client, &VPNClient::DropLineSignal);
    beat();
    EXPECT_EQ(drops.count(), 1);
    EXPECT_FALSE(client.IsLogin());
}

TEST_F(VpnClientTest, AnOldTokensHeartbeatAfterReconnectLeavesTheNewSessionAlone)
{
    loginOk();
    const QString oldToken = client.GetToken();
    FakeCloudScript late;
    late.delayMs = 1500;
    late.matchKey = QStringLiteral("token");
    late.matchValue = oldToken;
    late.reply = FakeCloudScript::Reply::ErrorCode;
    late.errorCode = 1;
    fake.script(QStringLiteral("/user/beats"), late);

    QSignalSpy drops(&client, &VPNClient::DropLineSignal);
    QSignalSpy logins(&client, &VPNClient::LoginSignal);
    LogCapture log;
    QMetaObject::invokeMethod(&client, "SendHeartBeats");
    ASSERT_TRUE(waitUntil([&] { return fake.requestCount(QStringLiteral("/user/beats")) == 1; }, 5000));
    client.Reconnect();
    ASSERT_TRUE(waitUntil([&] { return logins.count() == 1; }, 10000));
    ASSERT_TRUE(waitUntil(
        [&] {
            return LogCapture::lines()
                       .filter(QStringLiteral("/user/beats"))
                       .filter(QStringLiteral("http recv: "))
                       .size()
                   == 1;
        },
        8000));
    spin(100);
    EXPECT_TRUE(logins[0][0].toBool());
    EXPECT_EQ(drops.count(), 0);
    EXPECT_TRUE(client.IsLogin());
    EXPECT_NE(client.GetToken(), oldToken);
    EXPECT_EQ(client.GetToken(), fake.issuedTokens().value(1));
    EXPECT_FALSE(fake.tokenLive(oldToken));
    EXPECT_TRUE(heartbeatTimer()->isActive());
}

TEST_F(VpnClientTest, ALateLogoutAnswerForTheReplacedTokenLeavesTheNewSessionAlone)
{
    loginOk();
    const QString oldToken = client.GetToken();
    FakeCloudScript late;
    late.delayMs = 1000;
    fake.script(QStringLiteral("/user/logout"), late);
    QSignalSpy logins(&client, &VPNClient::LoginSignal);
    QSignalSpy logouts(&client, &VPNClient::LogoutSignal);
    client.Reconnect();
    ASSERT_TRUE(waitUntil([&] { return logins.count() == 1; }, 10000));
    ASSERT_TRUE(waitUntil([&] { return !fake.tokenLive(oldToken); }, 5000));
    spin(1500);
    EXPECT_EQ(logouts.count(), 0);
    EXPECT_TRUE(client.IsLogin());
    EXPECT_EQ(client.GetToken(), fake.issuedTokens().value(1));
    EXPECT_TRUE(heartbeatTimer()->isActive());
}

TEST_F(VpnClientTest, LogoutWithoutTokenAnswersAtOnce)
{
    QSignalSpy logouts(&client, &VPNClient::LogoutSignal);
    client.Logout();
    ASSERT_EQ(logouts.count(), 1);
    EXPECT_TRUE(logouts[0][0].toBool());
    EXPECT_EQ(logouts[0][1].toString(), u8("服务器注销成功"));
    client.Logout(QString(), fake.host());
    client.Logout(QStringLiteral("tok"), QString());
    spin(200);
    EXPECT_EQ(fake.requestCount(), 0);
}

TEST_F(VpnClientTest, LogoutRevokesTheTokenAndEndsTheSession)
{
    loginOk();
    const QString token = client.GetToken();
    QSignalSpy logouts(&client, &VPNClient::LogoutSignal);
    client.Logout();
    EXPECT_FALSE(heartbeatTimer()->isActive());
    EXPECT_TRUE(client.IsLogin()); // until the answer
    ASSERT_TRUE(waitUntil([&] { return logouts.count() == 1; }, 10000));
    EXPECT_TRUE(logouts[0][0].toBool());
    EXPECT_EQ(logouts[0][1].toString(), u8("用户注销成功"));
    EXPECT_FALSE(client.IsLogin());
    EXPECT_TRUE(client.IsTokenEmpty());
    EXPECT_FALSE(fake.tokenLive(token));
    EXPECT_TRUE(client.GetBeatsUrl().isEmpty());
}

TEST_F(VpnClientTest, LogoutOfANamedSessionSendsWithoutWaiting)
{
    loginOk();
    const QString token = client.GetToken();
    client.Logout(token, fake.host());
    EXPECT_FALSE(heartbeatTimer()->isActive());
    ASSERT_TRUE(waitUntil([&] { return !fake.tokenLive(token); }, 5000));
    spin(100);
    EXPECT_TRUE(client.IsLogin());
    EXPECT_EQ(client.GetToken(), token);
}

TEST_F(VpnClientTest, OperationsWithoutLoginDropTheLineAndSendNothing)
{
    QSignalSpy drops(&client, &VPNClient::DropLineSignal);
    stBoxData box;
    box.sn = QStringLiteral("SN1");
    client.QueryBoxList();
    client.QueryBoxInfo(box);
    client.Connect(box);
    client.Disconnect(box);
    QMetaObject::invokeMethod(&client, "SendHeartBeats");
    EXPECT_EQ(drops.count(), 5);
    spin(200);
    EXPECT_EQ(fake.requestCount(), 0);
}

TEST_F(VpnClientTest, DeviceListAndStatus)
{
    loginOk();
    QSignalSpy lists(&client, &VPNClient::QueryBoxListSignal);
    client.QueryBoxList();
    ASSERT_TRUE(waitUntil([&] { return lists.count() == 1; }, 10000));
    EXPECT_TRUE(lists[0][0].toBool());
    const auto boxes = lists[0][1].value<QVector<stBoxData>>();
    ASSERT_EQ(boxes.size(), 2);
    EXPECT_EQ(boxes[0].sn, QStringLiteral("SN1"));
    EXPECT_EQ(boxes[0].iccid, QStringLiteral("8986"));
    EXPECT_EQ(boxes[0].iccidNote, QStringLiteral("mobile"));
    EXPECT_FALSE(boxes[1].online);
    EXPECT_EQ(lists[0][2].toString(), u8("拉取设备列表状态相关信息成功"));

    QSignalSpy infos(&client, &VPNClient::QueryBoxInfoSignal);
    stBoxData box;
    box.sn = QStringLiteral("SN1");
    client.QueryBoxInfo(box);
    ASSERT_TRUE(waitUntil([&] { return infos.count() == 1; }, 10000));
    EXPECT_TRUE(infos[0][0].toBool());
    EXPECT_EQ(infos[0][1].value<stBoxData>().sn, QStringLiteral("SN1"));
    EXPECT_EQ(infos[0][2].toString(), u8("拉取设备状态信息成功"));
    // The status request proves the account key.
    EXPECT_EQ(fake.requests().last().query(QStringLiteral("devicePassword")), FakeCloud::md5(login.strDevicePswd));
}

TEST_F(VpnClientTest, ConnectAndDisconnectReportThroughTheSession)
{
    loginOk();
    QSignalSpy connects(&client, &VPNClient::ConnectSignal);
    stBoxData box;
    box.sn = QStringLiteral("SN1");
    client.Connect(box);
    ASSERT_TRUE(waitUntil([&] { return connects.count() == 1; }, 10000));
    EXPECT_TRUE(connects[0][0].toBool());
    const stBoxData connected = connects[0][1].value<stBoxData>();
    EXPECT_EQ(connected.openvpnUser, QStringLiteral("vpnuser"));
    EXPECT_EQ(connected.openvpnPassword, QStringLiteral("vpn-secret-pass"));
    EXPECT_EQ(connected.serverIP, QStringLiteral("127.30.0.1"));
    EXPECT_EQ(connected.serverPort, 1194);
    EXPECT_EQ(connects[0][2].toString(), u8("设备组网成功"));

    QSignalSpy disconnects(&client, &VPNClient::DisconnectSignal);
    client.Disconnect(connected);
    ASSERT_TRUE(waitUntil([&] { return disconnects.count() == 1; }, 10000));
    EXPECT_TRUE(disconnects[0][0].toBool());
    EXPECT_EQ(disconnects[0][1].toString(), QStringLiteral("SN1"));
    EXPECT_EQ(disconnects[0][2].toString(), u8("设备断开联机成功"));
    EXPECT_FALSE(fake.device(QStringLiteral("SN1")).vpn);
    EXPECT_TRUE(client.IsLogin());
}

TEST_F(VpnClientTest, AConnectThatOutlivesItsSessionChangesNothing)
{
    loginOk();
    const QString oldToken = client.GetToken();
    FakeCloudScript slow;
    slow.delayMs = 1500;
    fake.script(QStringLiteral("/user/device/instruct/vpn"), slow);
    QSignalSpy connects(&client, &VPNClient::ConnectSignal);
    QSignalSpy drops(&client, &VPNClient::DropLineSignal);
    QSignalSpy logins(&client, &VPNClient::LoginSignal);
    stBoxData box;
    box.sn = QStringLiteral("SN1");
    client.Connect(box);
    ASSERT_TRUE(waitUntil([&] { return fake.requestCount(QStringLiteral("/user/device/instruct/vpn")) == 1; }, 5000));
    client.Reconnect();
    ASSERT_TRUE(waitUntil([&] { return logins.count() == 1; }, 10000));
    // The old run goes on with the revoked token and fails with code 1.
    ASSERT_TRUE(waitUntil([&] { return fake.requestCount(QStringLiteral("/user/device/status")) == 1; }, 8000));
    spin(500);
    EXPECT_EQ(connects.count(), 0);
    EXPECT_EQ(drops.count(), 0);
    EXPECT_TRUE(client.IsLogin());
    EXPECT_NE(client.GetToken(), oldToken);
    EXPECT_TRUE(heartbeatTimer()->isActive());
}

TEST_F(VpnClientTest, ADisconnectThatOutlivesALogoutDoesNotRestoreTheSession)
{
    loginOk();
    FakeCloudScript slow;
    slow.delayMs = 1500;
    fake.script(QStringLiteral("/user/device/list"), slow);
    QSignalSpy disconnects(&client, &VPNClient::DisconnectSignal);
    QSignalSpy logouts(&client, &VPNClient::LogoutSignal);
    stBoxData box;
    box.sn = QStringLiteral("SN1");
    client.Disconnect(box);
    ASSERT_TRUE(waitUntil([&] { return fake.requestCount(QStringLiteral("/user/device/list")) == 1; }, 5000));
    client.Logout();
    ASSERT_TRUE(waitUntil([&] { return logouts.count() == 1; }, 10000));
    spin(2500);
    EXPECT_EQ(disconnects.count(), 0);
    EXPECT_FALSE(client.IsLogin());
    EXPECT_TRUE(client.IsTokenEmpty());
}

TEST_F(VpnClientTest, TestServerAnswersForReachableAndUnreachableServers)
{
    EXPECT_TRUE(client.TestServer(fake.host()));
    FakeCloudScript refuse;
    refuse.reply = FakeCloudScript::Reply::SucceedFalse;
    refuse.times = 1;
    fake.script(QStringLiteral("/device/test/url"), refuse);
    EXPECT_FALSE(client.TestServer(fake.host()));

    QTcpServer closed;
    ASSERT_TRUE(closed.listen(QHostAddress::LocalHost));
    const QString unreachable = QStringLiteral("127.0.0.1:%1").arg(closed.serverPort());
    closed.close();
    QElapsedTimer clock;
    clock.start();
    EXPECT_FALSE(client.TestServer(unreachable));
    EXPECT_LT(clock.elapsed(), 10500);
}

TEST_F(VpnClientTest, RecordChecksNameTheirFirstFailedRule)
{
    QString msg;
    stBoxData box;
    box.alias = QStringLiteral("press");
    box.sn = QStringLiteral("ABC123");
    EXPECT_TRUE(client.CheckBoxData(box, msg));
    struct BoxRow {
        QString alias, sn, remark;
        const char* msg;
    };
    const BoxRow boxRows[] = {
        {QString(), QStringLiteral("A"), QString(), "设备名不能为空!"},
        {QString(33, 'a'), QStringLiteral("A"), QString(), "设备名称太长!"},
        {QStringLiteral("a"), QString(), QString(), "序列号不能为空!"},
        {QStringLiteral("a"), QStringLiteral("AB-1"), QString(), "序列号非法!"},
        {QStringLiteral("a"), QStringLiteral("AB1"), QString(251, 'r'), "注释不能太长!"},
    };
    for (const BoxRow& row : boxRows) {
        box.alias = row.alias;
        box.sn = row.sn;
        box.remark = row.remark;
        EXPECT_FALSE(client.CheckBoxData(box, msg));
        EXPECT_EQ(msg, u8(row.msg));
    }
    box.remark = QString(250, 'r');
    box.alias = QString(32, 'a');
    EXPECT_TRUE(client.CheckBoxData(box, msg));

    struct UserRow {
        QString name, password, remark;
        bool required;
        const char* msg;
    };
    const UserRow userRows[] = {
        {QString(), QStringLiteral("abcdefgh"), QString(), true, "用户名称不能为空!"},
        {QString(33, 'u'), QStringLiteral("abcdefgh"), QString(), true, "用户名太长!"},
        {QStringLiteral("u"), QString(21, 'p'), QString(), true, "用户密码太长!"},
        {QStringLiteral("u"), QStringLiteral("short"), QString(), true, "用户密码太短!"},
        {QStringLiteral("u"), QString(), QString(), true, "用户密码不能为空!"},
        {QStringLiteral("u"), QStringLiteral("abcd efgh"), QString(), true, "用户密码只能为字母和数字!"},
        {QStringLiteral("u"), QStringLiteral("abcdefgh"), QString(251, 'r'), true, "用户备注太长!"},
    };
    for (const UserRow& row : userRows) {
        msg.clear();
        EXPECT_FALSE(client.CheckUserData({row.name, row.password, row.remark}, msg, row.required));
        EXPECT_EQ(msg, u8(row.msg));
    }
    EXPECT_TRUE(client.CheckUserData({QStringLiteral("u"), QString(), QString()}, msg, false));
    EXPECT_TRUE(client.CheckUserData({QStringLiteral("u"), QStringLiteral("abcdefgh1"), QString()}, msg, true));

    QSignalSpy logins(&client, &VPNClient::LoginSignal);
    stLoginData data = login;
    EXPECT_TRUE(client.CheckLoginData(data));
    data.strServerPswd = QString(21, 'p');
    EXPECT_FALSE(client.CheckLoginData(data));
    data.strServerAddr.clear();
    EXPECT_FALSE(client.CheckLoginData(data));
    ASSERT_EQ(logins.count(), 2);
    EXPECT_EQ(logins[0][3].toString(), u8("用户密码太长"));
    EXPECT_EQ(logins[1][3].toString(), u8("登录服务器未指定"));
    EXPECT_FALSE(logins[1][0].toBool());
}

TEST_F(VpnClientTest, CheckClientOnlineSpendsItsBudgetOfThree)
{
    loginOk();
    const QString bad = QStringLiteral(R"({"succeed":false,"info":"","error":1})");
    const QString good = QStringLiteral(R"({"succeed":true,"info":"","error":0})");
    EXPECT_TRUE(client.CheckClientOnline(bad));
    EXPECT_TRUE(client.CheckClientOnline(bad));
    EXPECT_TRUE(client.CheckClientOnline(good)); // budget back to 3
    EXPECT_TRUE(client.CheckClientOnline(bad));
    EXPECT_TRUE(client.CheckClientOnline(QString()));
    EXPECT_TRUE(client.IsLogin());
    EXPECT_FALSE(client.CheckClientOnline(bad));
    EXPECT_FALSE(client.IsLogin());
}

TEST_F(VpnClientTest, AWholeRunLogsNoSecret)
{
    LogCapture log;
    loginOk();
    const QString token = client.GetToken();
    QSignalSpy lists(&client, &VPNClient::QueryBoxListSignal);
    client.QueryBoxList();
    ASSERT_TRUE(waitUntil([&] { return lists.count() == 1; }, 10000));
    QSignalSpy connects(&client, &VPNClient::ConnectSignal);
    stBoxData box;
    box.sn = QStringLiteral("SN1");
    client.Connect(box);
    ASSERT_TRUE(waitUntil([&] { return connects.count() == 1; }, 10000));
    QSignalSpy disconnects(&client, &VPNClient::DisconnectSignal);
    client.Disconnect(connects[0][1].value<stBoxData>());
    ASSERT_TRUE(waitUntil([&] { return disconnects.count() == 1; }, 10000));
    beat();
    QSignalSpy logouts(&client, &VPNClient::LogoutSignal);
    client.Logout();
    ASSERT_TRUE(waitUntil([&] { return logouts.count() == 1; }, 10000));

    const QString all = LogCapture::all();
    // The run did log its requests and replies...
    EXPECT_GE(LogCapture::lines().filter(QStringLiteral("http get: ")).size(), 8);
    EXPECT_TRUE(all.contains(QStringLiteral("/user/logout?token=***")));
    EXPECT_TRUE(all.contains(QStringLiteral("VPNClient::Logout()")));
    EXPECT_TRUE(all.contains(QStringLiteral("connect complete true")));
    // ...without any secret.
    for (const QString& secret :
         {token, FakeCloud::md5(login.strServerPswd), FakeCloud::md5(login.strDevicePswd), login.strServerPswd,
          login.strDevicePswd, QStringLiteral("vpn-secret-pass"), QStringLiteral("remote 127.30.0.1 1194")})
        EXPECT_FALSE(all.contains(secret)) << secret.toStdString();
}
