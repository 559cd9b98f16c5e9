#include "tarnwick/ui/mainwindow/mainframe.h"

#include "tarnwick/cloud/vpnclient.h"
#include "tarnwick/cloud/vpnmanager.h"
#include "tarnwick/core/globalconfig.h"
#include "tarnwick/core/panelrpc/localdeviceobject.h"
#include "tarnwick/ui/localdebugview.h"
#include "tarnwick/ui/mainwindow/deviceview.h"
#include "tarnwick/ui/mainwindow/tests/cloudframetest.h"
#include "tarnwick/ui/mainwindow/widgetlogin.h"
#include "tarnwick/vnc/vncviewerwindow.h"
#include "tarnwick/widgets/menuitem.h"
#include "tarnwick/widgets/pixmaplineedit.h"
#include "tarnwick/widgets/tableview.h"
#include "tarnwick/widgets/tests/dialogdriver.h"
#include "tarnwick/widgets/widgettitle.h"
#include "testing/main/eventwait.h"

#include <QEventLoop>
#include <QNetworkReply>
#include <QPointer>
#include <QTimer>

#include <gtest/gtest.h>

#include <algorithm>
#include <memory>

// The window's states keep the numbers its logs and the login form use.
static_assert(MainFrame::LoggedOut == 0 && MainFrame::LoggedIn == 2);
static_assert(Tarnwick::MainWindow::CloudMode == 0 && Tarnwick::MainWindow::LocalMode == 1);
static_assert(MainFrame::LoginPage == 0 && MainFrame::CloudPage == 1 && MainFrame::LocalPage == 2);

namespace {

class MainFrameTest : public CloudFrameTest {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(startAccountCloud(fake));
        for (const char* sn : {"30300001", "30200002", "AAAA3003"}) {
            FakeCloudDevice device;
            device.sn = QString::fromLatin1(sn);
            device.alias = QStringLiteral("\\u8f66\\u95f4");
            device.state = 1;
            fake.addDevice(device);
        }
        frame = std::make_unique<MainFrame>();
    }

    void TearDown() override
    {
        frame.reset();
        // The logout the window sends on its way out is answered while the
        // event loop runs, as at the program's own end. Left running at the
        // process's exit, the network access manager's thread is torn down
        // under its request and LeakSanitizer finds Qt's objects left behind.
        EXPECT_TRUE(TestWait::waitUntil(
            [] {
                const auto replies = VPNClient::instance().findChildren<QNetworkReply*>();
                return std::none_of(replies.begin(), replies.end(),
                                    [](const QNetworkReply* reply) { return reply->isRunning(); });
            },
            10000));
        spin(20);
    }

    // The fake answers every logout with an error code.
    void failLogout()
    {
        FakeCloudScript failing;
        failing.reply = FakeCloudScript::Reply::ErrorCode;
        failing.errorCode = 2;
        fake.script(QStringLiteral("/user/logout"), failing);
    }

    bool settingVisible() const
    {
        MenuItem* item = frame->title()->findChild<MenuItem*>();
        return item != nullptr && !item->isHidden();
    }

    DialogDriver driver;
};

stBoxData box(const QString& sn, int state, const QString& ip = QStringLiteral("192.168.1.9"))
{
    stBoxData b;
    b.sn = sn;
    b.state = state;
    b.ip = ip;
    return b;
}

} // namespace

TEST_F(MainFrameTest, LoginChecksComeInOrderAndSendNothing)
{
    GlobalConfig* config = GlobalConfig::instance();
    struct Case {
        int port;
        QString user;
        QString pswd;
        QString text;
    };
    const QString noPort = QStringLiteral("请先设置服务端口!");
    const QString badUser = QStringLiteral("用户名错误：必须字母组合，长度为6~32位!");
    const QString badPswd = QStringLiteral("密码错误：必须字母、数字组合，长度为6~32位!");
    const QList<Case> cases{
        {0, kUser, kPassword, noPort},
        {65536, kUser, kPassword, noPort},
        {int(fake.port()), QStringLiteral("abcde"), kPassword, badUser},
        {int(fake.port()), QString(33, QLatin1Char('a')), kPassword, badUser},
        {int(fake.port()), QStringLiteral("abcde1f"), kPassword, badUser},
        // Both wrong: only the user name is reported.
        {int(fake.port()), QStringLiteral("ab"), QStringLiteral("x"), badUser},
        {int(fake.port()), kUser, QStringLiteral("pass word"), badPswd},
        {int(fake.port()), kUser, QString(33, QLatin1Char('1')), badPswd},
        {int(fake.port()), kUser, QStringLiteral("密码密码密码"), badPswd},
    };
    for (const Case& c : cases) {
        config->setServerPort(c.port);
        driver.answerBox(DialogDriver::kButton1);
        const int before = driver.boxes().size();
        frame->onLoginAction(c.user, c.pswd, Tarnwick::MainWindow::CloudMode);
        ASSERT_EQ(driver.boxes().size(), before + 1) << c.user.toStdString();
        EXPECT_EQ(driver.boxes().last().title, QStringLiteral("登录失败"));
        EXPECT_EQ(driver.boxes().last().text, c.text) << c.user.toStdString() << " " << c.port;
        EXPECT_TRUE(frame->loginPage()->isReady());
    }
    config->setServer(QString());
    driver.answerBox(DialogDriver::kButton1);
    frame->onLoginAction(kUser, kPassword, Tarnwick::MainWindow::CloudMode);
    EXPECT_EQ(driver.boxes().last().text, QStringLiteral("请先设置服务器地址!"));
    spin(100);
    EXPECT_EQ(fake.requestCount(), 0);

    // 32 digits are a valid password: the request goes out (and is refused).
    config->setServer(QStringLiteral("127.0.0.1"));
    config->setServerPort(fake.port());
    driver.answerBox(DialogDriver::kButton1);
    frame->onLoginAction(kUser, QString(32, QLatin1Char('7')), Tarnwick::MainWindow::CloudMode);
    ASSERT_TRUE(waitUntil([&] { return fake.requestCount(QStringLiteral("/user/login")) == 1; }, 5000));
    ASSERT_TRUE(waitUntil([&] { return driver.pendingAnswers() == 0; }, 10000));
    EXPECT_EQ(frame->loginStateValue(), MainFrame::LoggedOut);
    EXPECT_EQ(frame->loginModeValue(), Tarnwick::MainWindow::CloudMode);
}

TEST_F(MainFrameTest, PortLimitIsAcceptedAndGoesOut)
{
    GlobalConfig::instance()->setServerPort(65535);
    driver.answerBox(DialogDriver::kButton1); // the failure that follows
    typeCredentials(*frame, kUser, kPassword);
    frame->loginPage()->onRemoteDebugLogin();
    EXPECT_TRUE(driver.boxes().isEmpty());
    EXPECT_FALSE(frame->loginPage()->isReady());
    ASSERT_TRUE(waitUntil([&] { return frame->loginPage()->isReady(); }, 15000));
    ASSERT_EQ(driver.boxes().size(), 1);
    EXPECT_NE(driver.boxes().at(0).text, QStringLiteral("请先设置服务端口!"));
}

TEST_F(MainFrameTest, RefusedLoginShowsTheServiceText)
{
    typeCredentials(*frame, kUser, QStringLiteral("wrongpass1"));
    driver.answerBox(DialogDriver::kButton1);
    frame->loginPage()->onRemoteDebugLogin();
    ASSERT_TRUE(waitUntil([&] { return driver.boxes().size() == 1; }, 10000));
    EXPECT_EQ(driver.boxes().at(0).title, QStringLiteral("登录失败"));
    EXPECT_FALSE(driver.boxes().at(0).text.isEmpty());
    EXPECT_NE(driver.boxes().at(0).text, QStringLiteral("请先设置服务端口!"));
    EXPECT_EQ(frame->loginStateValue(), MainFrame::LoggedOut);
    EXPECT_EQ(frame->currentPageIndex(), MainFrame::LoginPage);
    EXPECT_TRUE(frame->loginPage()->isReady());
}

TEST_F(MainFrameTest, AcceptedLoginShowsRowsAndPolls)
{
    LogCapture log;
    login();
    EXPECT_EQ(frame->currentPageIndex(), MainFrame::CloudPage);
    EXPECT_FALSE(settingVisible());
    EXPECT_TRUE(frame->listTimer()->isActive());
    EXPECT_EQ(frame->listTimer()->interval(), 5000);
    // Aliases are decoded, rows sorted by device number.
    EXPECT_EQ(table()->cellValue(0, 3).toString(), "30200002");
    EXPECT_EQ(table()->cellValue(0, 4).toString(), QStringLiteral("车间"));
    EXPECT_EQ(table()->cellValue(0, 1).toString(), "Zel");
    EXPECT_EQ(table()->cellValue(0, 2).toString(), "4G");

    const int lists = fake.requestCount(QStringLiteral("/user/device/list"));
    frame->onTimerRefresh();
    ASSERT_TRUE(waitUntil([&] { return fake.requestCount(QStringLiteral("/user/device/list")) == lists + 1; }, 5000));
    ASSERT_TRUE(waitUntil([&] { return LogCapture::count(QStringLiteral("QueryBoxList noChange")) >= 1; }, 5000));
    EXPECT_GE(LogCapture::count(QStringLiteral("Login to [")), 1);
}

TEST_F(MainFrameTest, LogoutReturnsToTheLoginPage)
{
    login();
    driver.answerBox(DialogDriver::kButton1);
    frame->onOperActioned(QStringLiteral("menuDevice"), 0);
    ASSERT_TRUE(waitUntil([&] { return frame->currentPageIndex() == MainFrame::LoginPage; }, 10000));
    EXPECT_EQ(frame->loginStateValue(), MainFrame::LoggedOut);
    EXPECT_FALSE(frame->listTimer()->isActive());
    EXPECT_EQ(table()->rowCount(), 0);
    EXPECT_TRUE(settingVisible());
    EXPECT_EQ(fake.requestCount(QStringLiteral("/user/logout")), 1);
    EXPECT_EQ(driver.boxes().size(), 1); // the question only
}

TEST_F(MainFrameTest, CancelledCloseKeepsEverything)
{
    login();
    driver.answerBox(DialogDriver::kButton2);
    EXPECT_FALSE(frame->close());
    EXPECT_EQ(frame->loginStateValue(), MainFrame::LoggedIn);
    EXPECT_EQ(frame->currentPageIndex(), MainFrame::CloudPage);
    EXPECT_TRUE(frame->listTimer()->isActive());
    ASSERT_EQ(driver.boxes().size(), 1);
    EXPECT_EQ(driver.boxes().at(0).title, QStringLiteral("程序关闭"));
    EXPECT_EQ(driver.boxes().at(0).text, QStringLiteral("确定要退出程序吗?"));
    spin(200);
    EXPECT_EQ(fake.requestCount(QStringLiteral("/user/logout")), 0);
}

TEST_F(MainFrameTest, ConfirmedCloseLogsOutAndEndsTheLoopWithoutLogoutBox)
{
    login();
    failLogout();
    driver.answerBox(DialogDriver::kButton1);
    QEventLoop loop;
    bool ended = false;
    QTimer::singleShot(0, frame.get(), [&] { frame->close(); });
    QTimer::singleShot(20000, &loop, [&] { loop.exit(7); });
    ended = loop.exec() == 0;
    EXPECT_TRUE(ended);
    ASSERT_TRUE(waitUntil([&] { return frame->loginStateValue() == MainFrame::LoggedOut; }, 10000));
    EXPECT_EQ(fake.requestCount(QStringLiteral("/user/logout")), 1);
    spin(100);
    // The failed logout shows no box while quitting.
    ASSERT_EQ(driver.boxes().size(), 1);
    EXPECT_EQ(driver.unexpectedBoxes(), 0);
}

TEST_F(MainFrameTest, FailedLogoutOutsideQuittingIsReported)
{
    login();
    failLogout();
    driver.answerBox(DialogDriver::kButton1);
    driver.answerBox(DialogDriver::kButton1);
    frame->onOperActioned(QStringLiteral("menuDevice"), 0);
    ASSERT_TRUE(waitUntil([&] { return driver.boxes().size() == 2; }, 10000));
    EXPECT_EQ(driver.boxes().at(1).title, QStringLiteral("注销失败"));
    EXPECT_EQ(driver.boxes().at(1).text, QStringLiteral("网络异常, 注销失败!"));
    ASSERT_TRUE(waitUntil([&] { return frame->currentPageIndex() == MainFrame::LoginPage; }, 5000));
}

TEST_F(MainFrameTest, BurstOfDropsGivesOneNotice)
{
    login();
    driver.answerBox(DialogDriver::kButton1);
    for (int i = 0; i < 3; ++i)
        QTimer::singleShot(0, frame.get(), [this] { emit VPNClient::instance().DropLineSignal(); });
    ASSERT_TRUE(waitUntil([&] { return frame->currentPageIndex() == MainFrame::LoginPage; }, 10000));
    spin(100);
    ASSERT_EQ(driver.boxes().size(), 1);
    EXPECT_EQ(driver.boxes().at(0).title, QStringLiteral("掉线"));
    EXPECT_EQ(driver.boxes().at(0).text, QStringLiteral("客户端已掉线，请重新登录!"));
    EXPECT_EQ(driver.unexpectedBoxes(), 0);
    EXPECT_FALSE(MainFrame::isDropNoticeShowing());
}

TEST_F(MainFrameTest, DropOnTheLoginPageOnlyChangesTheState)
{
    frame->onDropLineSignal();
    spin(50);
    EXPECT_TRUE(driver.boxes().isEmpty());
    EXPECT_EQ(frame->currentPageIndex(), MainFrame::LoginPage);
    EXPECT_EQ(frame->loginStateValue(), MainFrame::LoggedOut);
}

TEST_F(MainFrameTest, DestroyingTheWindowWithAViewerOpenEndsBoth)
{
    frame->startVnc(QStringLiteral("127.110.0.9"));
    QPointer<VncViewerWindow> viewer = frame->viewerWindow();
    ASSERT_FALSE(viewer.isNull());
    // A second viewer replaces the first.
    frame->startVnc(QStringLiteral("127.110.0.10"));
    QPointer<VncViewerWindow> second = frame->viewerWindow();
    spin(50);
    EXPECT_TRUE(viewer.isNull());
    QPointer<LocalDeviceObject> device = frame->deviceObject();
    frame.reset();
    EXPECT_TRUE(second.isNull());
    EXPECT_TRUE(device.isNull());
}

TEST_F(MainFrameTest, MalformedAddressBindsNothing)
{
    driver.answerBox(DialogDriver::kButton1);
    driver.answerBox(DialogDriver::kButton1);
    frame->onLoginAction(QStringLiteral("1.2.3"), QString(), Tarnwick::MainWindow::LocalMode);
    frame->onLoginAction(QString(), QString(), Tarnwick::MainWindow::LocalMode);
    ASSERT_EQ(driver.boxes().size(), 2);
    EXPECT_EQ(driver.boxes().at(0).title, QStringLiteral("连接失败"));
    EXPECT_EQ(driver.boxes().at(0).text, QStringLiteral("IP地址格式错误!"));
    EXPECT_EQ(driver.boxes().at(1).text, QStringLiteral("IP地址不能为空!"));
    EXPECT_EQ(frame->deviceObject()->bindState(), LocalDeviceObject::Idle);
    EXPECT_TRUE(frame->loginPage()->isReady());
    EXPECT_EQ(frame->currentPageIndex(), MainFrame::LoginPage);
}

// --- The list ---------------------------------------------------------------------

TEST_F(MainFrameTest, IdenticalRepliesRebuildOnce)
{
    LogCapture log;
    const QVector<stBoxData> reply{box("A0001", 1), box("B0002", 2)};
    frame->onQueryBoxListSignal(true, reply, QString());
    frame->onQueryBoxListSignal(true, reply, QString());
    EXPECT_EQ(LogCapture::count(QStringLiteral("Update device list...")), 1);
    EXPECT_EQ(LogCapture::count(QStringLiteral("QueryBoxList noChange")), 1);
    // State 2 shows an empty LAN cell.
    ASSERT_EQ(table()->rowCount(), 2);
    EXPECT_EQ(table()->cellValue(1, 3).toString(), "B0002");
    EXPECT_EQ(table()->cellValue(1, 6).toString(), QString());
    EXPECT_EQ(table()->cellValue(0, 6).toString(), "192.168.1.9");
    // One more entry rebuilds.
    frame->onQueryBoxListSignal(true, reply + QVector<stBoxData>{box("C0003", 1)}, QString());
    EXPECT_EQ(LogCapture::count(QStringLiteral("Update device list...")), 2);
    EXPECT_EQ(table()->rowCount(), 3);
}

TEST_F(MainFrameTest, ConnectedPanelGoneGivesOneNoticeAndStopsTheVpn)
{
    VPN_Android::VpnManager::instance()->prepareVpn();
    ASSERT_EQ(VPN_Android::VpnManager::instance()->runStatus(), VPN_Android::VpnRunStatus::Prepared);
    frame->onQueryBoxListSignal(true, {box("A0001", 3)}, QString());
    frame->setConnectedSn(QStringLiteral("A0001"));
    frame->startVnc(QStringLiteral("127.110.0.9"));
    QPointer<VncViewerWindow> viewer = frame->viewerWindow();
    frame->onQueryBoxListSignal(true, {box("A0001", 3)}, QString());
    EXPECT_TRUE(driver.boxes().isEmpty());
    driver.answerBox(DialogDriver::kButton1);
    frame->onQueryBoxListSignal(true, {box("A0001", 1)}, QString());
    frame->onQueryBoxListSignal(true, {box("A0001", 1)}, QString());
    ASSERT_EQ(driver.boxes().size(), 1);
    EXPECT_EQ(driver.boxes().at(0).title, QStringLiteral("提示"));
    EXPECT_EQ(driver.boxes().at(0).text, QStringLiteral("设备联机已断开!"));
    EXPECT_EQ(VPN_Android::VpnManager::instance()->runStatus(), VPN_Android::VpnRunStatus::Stopped);
    EXPECT_TRUE(frame->connectedDevice().isEmpty());
    spin(50);
    EXPECT_TRUE(viewer.isNull());
}

TEST_F(MainFrameTest, DropAfterAMinuteOfFailedReplies)
{
    LogCapture log;
    qint64 now = 1000000;
    frame->setClock([&now] { return now; });
    login();
    // Only the test's own replies from here on: polling stops, and every list
    // request already sent is answered first (a late success would reset the
    // failure time).
    frame->listTimer()->stop();
    ASSERT_TRUE(waitUntil(
        [&] {
            return LogCapture::count(QStringLiteral("QueryBoxList true size"))
                       + LogCapture::count(QStringLiteral("QueryBoxList false size"))
                   >= fake.requestCount(QStringLiteral("/user/device/list"));
        },
        10000));
    frame->onQueryBoxListSignal(false, {}, QStringLiteral("err"));
    EXPECT_EQ(frame->listFailSinceValue(), 1000000);
    now += 60000;
    frame->onQueryBoxListSignal(false, {}, QStringLiteral("err"));
    now -= 120000; // a clock that went back does not drop
    frame->onQueryBoxListSignal(false, {}, QStringLiteral("err"));
    EXPECT_TRUE(driver.boxes().isEmpty());
    EXPECT_EQ(frame->loginStateValue(), MainFrame::LoggedIn);
    EXPECT_EQ(table()->rowCount(), 3);
    now += 120001;
    driver.answerBox(DialogDriver::kButton1);
    frame->onQueryBoxListSignal(false, {}, QStringLiteral("err"));
    ASSERT_EQ(driver.boxes().size(), 1);
    EXPECT_EQ(driver.boxes().at(0).title, QStringLiteral("掉线"));
    EXPECT_EQ(frame->currentPageIndex(), MainFrame::LoginPage);
    // The first failure's time outlives the logout.
    EXPECT_EQ(frame->listFailSinceValue(), 1000000);
}

TEST_F(MainFrameTest, SearchKeepsTheChosenDeviceAndTheBusyRow)
{
    const QVector<stBoxData> reply{box("A0001", 1), box("B0002", 1), box("B0003", 1), box("C0004", 1)};
    frame->onQueryBoxListSignal(true, reply, QString());
    ASSERT_EQ(table()->rowCount(), 4);
    DeviceDatas::instance()->setSearchText(QStringLiteral("B"));
    ASSERT_EQ(table()->rowCount(), 2);
    // Choose the second shown row (B0003), make it the VPN target.
    frame->devicePage()->selectRow(1);
    frame->onSelectedRow(1);
    frame->setVpnTarget(QStringLiteral("B0003"), Tarnwick::MainWindow::VpnConnecting);
    // A changed reply rebuilds the table.
    QVector<stBoxData> changed = reply;
    changed[0].alias = QStringLiteral("renamed");
    frame->onQueryBoxListSignal(true, changed, QString());
    ASSERT_EQ(table()->rowCount(), 2);
    EXPECT_EQ(frame->selectedRowValue(), 1);
    EXPECT_EQ(table()->cellValue(frame->selectedRowValue(), 3).toString(), "B0003");
    EXPECT_EQ(table()->currentRow(), 1);
    EXPECT_EQ(table()->cellValue(1, 5).toString(), QStringLiteral("联机中"));
    EXPECT_EQ(table()->cellValue(0, 5).toString(), QStringLiteral("在  线"));
    stDeviceData chosen;
    ASSERT_TRUE(frame->recordOfRow(frame->selectedRowValue(), chosen));
    EXPECT_EQ(chosen.deviceNo, "B0003");
    DeviceDatas::instance()->setSearchText(QString());
    EXPECT_EQ(table()->rowCount(), 4);
    EXPECT_EQ(table()->cellValue(frame->selectedRowValue(), 3).toString(), "B0003");
}

TEST_F(MainFrameTest, CancelledLocalSearchKeepsTheLoginPage)
{
    QTimer::singleShot(0, frame.get(), [this] { frame->onLocalDebugActionCancel(); });
    frame->onLocalDebugAction(QStringLiteral("lo"), QString());
    EXPECT_EQ(frame->currentPageIndex(), MainFrame::LoginPage);
    EXPECT_EQ(frame->loginModeValue(), Tarnwick::MainWindow::CloudMode);
    EXPECT_TRUE(frame->loginPage()->isReady());
    EXPECT_TRUE(settingVisible());
}

TEST_F(MainFrameTest, MaximisedWindowCannotBeDragged)
{
    frame->show();
    frame->toggleMaximize();
    spin(100);
    EXPECT_FALSE(frame->isMovable());
    frame->toggleMaximize();
    spin(100);
    EXPECT_TRUE(frame->isMovable());
}

TEST_F(MainFrameTest, AWholeRunLogsNoPassword)
{
    LogCapture log;
    typeCredentials(*frame, kUser, QStringLiteral("wrongpass1"));
    driver.answerBox(DialogDriver::kButton1);
    frame->loginPage()->onRemoteDebugLogin();
    ASSERT_TRUE(waitUntil([&] { return driver.boxes().size() == 1; }, 10000));
    login();
    frame->onTimerRefresh();
    ASSERT_TRUE(waitUntil([&] { return LogCapture::count(QStringLiteral("QueryBoxList")) >= 2; }, 10000));
    driver.answerBox(DialogDriver::kButton1);
    frame->onOperActioned(QStringLiteral("menuDevice"), 0);
    ASSERT_TRUE(waitUntil([&] { return frame->currentPageIndex() == MainFrame::LoginPage; }, 10000));
    frame.reset();
    const QStringList lines = LogCapture::lines();
    EXPECT_GT(lines.size(), 10);
    EXPECT_TRUE(lines.filter(kPassword).isEmpty()) << lines.filter(kPassword).join('\n').toStdString();
    EXPECT_TRUE(lines.filter(QStringLiteral("wrongpass1")).isEmpty());
    EXPECT_EQ(lines.filter(QStringLiteral("Login pswd:[") + kUser + QStringLiteral(":******]")).size(), 2);
}

TEST_F(MainFrameTest, LocalDebuggingHidesTheSettingsItemAndLeavingAsksFirst)
{
    EXPECT_TRUE(settingVisible());
    frame->onLocalDebugAction(QStringLiteral("lo"), QString());
    ASSERT_EQ(frame->currentPageIndex(), MainFrame::LocalPage);
    EXPECT_EQ(frame->loginModeValue(), Tarnwick::MainWindow::LocalMode);
    EXPECT_FALSE(settingVisible());
    driver.answerBox(DialogDriver::kButton2);
    emit frame->localPage()->exitPageSignal();
    EXPECT_EQ(frame->currentPageIndex(), MainFrame::LocalPage);
    driver.answerBox(DialogDriver::kButton1);
    emit frame->localPage()->exitPageSignal();
    EXPECT_EQ(frame->currentPageIndex(), MainFrame::LoginPage);
    EXPECT_TRUE(settingVisible());
    ASSERT_EQ(driver.boxes().size(), 2);
    EXPECT_EQ(driver.boxes().at(0).title, QStringLiteral("退出"));
    EXPECT_EQ(driver.boxes().at(0).text, QStringLiteral("确定退出本地调试吗?"));
}
