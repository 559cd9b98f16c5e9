#include "tarnwick/ui/mainwindow/mainframe.h"

#include "tarnwick/cloud/vpnclient.h"
#include "tarnwick/cloud/vpnmanager.h"
#include "tarnwick/core/globalconfig.h"
#include "tarnwick/core/logger.h"
#include "tarnwick/core/programpath.h"
#include "tarnwick/ui/mainwindow/deviceview.h"
#include "tarnwick/ui/mainwindow/tests/cloudframetest.h"
#include "tarnwick/ui/mainwindow/widgetlogin.h"
#include "tarnwick/widgets/messagebox.h"
#include "tarnwick/widgets/pixmaplineedit.h"
#include "tarnwick/widgets/tableview.h"
#include "tarnwick/widgets/tests/dialogdriver.h"

#include <QApplication>
#include <QImage>
#include <QTemporaryDir>
#include <QTimer>

#include <gtest/gtest.h>

#include <memory>

namespace {

const QString kLinked = QStringLiteral("30300001");    // online, reports a LAN address
const QString kNoAddress = QStringLiteral("30300003"); // online, never a LAN address
const QString kBusy = QStringLiteral("30300004");      // already connected elsewhere (state 3)
const QString kVpnUser = QStringLiteral("vpnuser");
const QString kVpnPassword = QStringLiteral("SecretVpnPw1");

class MainFrameVpnTest : public CloudFrameTest {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(startAccountCloud(fake));
        fake.setVpnCredentials(kVpnUser, kVpnPassword);
        fake.addDevice(cloudDevice(kLinked, kLinked, QStringLiteral("127.140.0.5"), 1));
        fake.addDevice(cloudDevice(kNoAddress, kNoAddress, QString(), 1));
        fake.addDevice(cloudDevice(kBusy, kBusy, QStringLiteral("127.140.0.7"), 3));

        // A stand-in for the VPN client program: it only waits to be ended.
        ASSERT_TRUE(tools.isValid());
        ProgramPath::setBaseDir(tools.path());
        const QString openvpn = tools.path() + QLatin1Char('/') + VPNClient::GetVpnDirectory()
                                + QStringLiteral("/openvpn");
        ASSERT_TRUE(writeExecutable(openvpn, "#!/bin/sh\nexec sleep 30\n"));
        // The stand-in never brings a tunnel up, and the start waits for one
        // inside the connect reply's slot: at the program's pace (eleven
        // seconds) that wait would swallow the test's own waits.
        VPN_Android::VpnManager::instance()->setWaitTiming(20, 10);

        frame = std::make_unique<MainFrame>();
        // The steps are driven by the test.
        frame->setStepInterval(3600 * 1000);
    }

    void TearDown() override
    {
        frame.reset();
        VPN_Android::VpnManager::instance()->quit(false);
        ProgramPath::setBaseDir(QString());
        spin(20);
    }

    // True when some cell of the device's row shows text.
    bool rowShows(const QString& sn, const QString& text) const
    {
        const int row = rowOf(sn);
        for (int column = 0; row >= 0 && column < 12; ++column)
            if (frame->devicePage()->cellValue(row, column).toString() == text)
                return true;
        return false;
    }

    // One step; when it asks for the panel's status, waits for the answer.
    void step()
    {
        const int replies = LogCapture::count(QStringLiteral("Querty Box "));
        const int asked = fake.requestCount(QStringLiteral("/user/device/status"));
        frame->onTimerDevice();
        if (waitUntil([&] { return fake.requestCount(QStringLiteral("/user/device/status")) > asked; }, 300)) {
            ASSERT_TRUE(waitUntil([&] { return LogCapture::count(QStringLiteral("Querty Box ")) > replies; }, 10000));
        }
    }

    // Connect through the menu, then the first step: the preparation and the connect request.
    void startConnect(const QString& sn)
    {
        choose(sn);
        frame->onOperActioned(QString(), 1);
        ASSERT_EQ(frame->vpnOperationValue(), Tarnwick::MainWindow::VpnConnecting);
        EXPECT_TRUE(rowShows(sn, QStringLiteral("联机中")));
        EXPECT_TRUE(frame->stepTimer()->isActive());
        EXPECT_FALSE(frame->listTimer()->isActive());
        const int before = vpnInstructions(fake, sn, true);
        frame->onTimerDevice();
        ASSERT_TRUE(waitUntil([&] { return vpnInstructions(fake, sn, true) == before + 1; }, 10000));
        ASSERT_TRUE(waitUntil([&] { return LogCapture::count(QStringLiteral("onConnectSignal ")) > 0; }, 10000));
    }

    LogCapture log;
    QTemporaryDir tools;
};

} // namespace

TEST_F(MainFrameVpnTest, LanAddressAndConnectedTunnelLinkThePanelAndPollingResumes)
{
    login();
    DialogDriver driver;
    startConnect(kLinked);
    step();
    EXPECT_EQ(frame->vpnDeviceStateValue(), Tarnwick::MainWindow::DeviceWithLanIp);
    EXPECT_EQ(frame->vpnOperationValue(), Tarnwick::MainWindow::VpnConnecting);
    EXPECT_TRUE(frame->connectedDevice().isEmpty());

    // The panel now counts as connected in the list too.
    fake.addDevice(cloudDevice(kLinked, kLinked, QStringLiteral("127.140.0.5"), 3));
    emit VPN_Android::VpnManager::instance()->signalVPNStatus(QStringLiteral("CONNECTED"), QStringLiteral("10.8.0.6"));
    driver.answerBox(DialogDriver::kButton1);
    const int lists = fake.requestCount(QStringLiteral("/user/device/list"));
    const int rebuilds = LogCapture::count(QStringLiteral("Update device list..."));
    step();
    ASSERT_EQ(driver.boxes().size(), 1);
    EXPECT_EQ(driver.boxes().at(0).title, QStringLiteral("联机"));
    EXPECT_EQ(driver.boxes().at(0).text, QStringLiteral("设备联机成功!"));
    EXPECT_EQ(frame->connectedDevice(), kLinked);
    EXPECT_EQ(frame->vpnOperationValue(), Tarnwick::MainWindow::VpnIdle);
    EXPECT_TRUE(frame->listTimer()->isActive());
    EXPECT_EQ(frame->listTimer()->interval(), 5000);
    ASSERT_TRUE(waitUntil([&] { return fake.requestCount(QStringLiteral("/user/device/list")) > lists; }, 10000));
    ASSERT_TRUE(
        waitUntil([&] { return LogCapture::count(QStringLiteral("Update device list...")) > rebuilds; }, 10000));
    ASSERT_TRUE(waitUntil([&] { return frame->tableRecords().size() == 3; }, 10000));
    QStringList cells;
    for (int column = 0; column < 12; ++column)
        cells << frame->devicePage()->cellValue(rowOf(kLinked), column).toString();
    EXPECT_TRUE(rowShows(kLinked, QStringLiteral("联  机"))) << cells.join('|').toStdString();

    // The log of the whole connect holds the user but never the password.
    EXPECT_EQ(LogCapture::lines().filter(kVpnPassword).size(), 0)
        << LogCapture::lines().filter(kVpnPassword).join('\n').toStdString();
    EXPECT_GE(LogCapture::count(QStringLiteral("onConnectSignal true127.30.0.1") + kVpnUser + QStringLiteral("******")),
              1);
    EXPECT_EQ(driver.unexpectedBoxes(), 0);
}

TEST_F(MainFrameVpnTest, TunnelNeverConnectedGivesUpAfterTwentyOneStepsAndDisconnects)
{
    login();
    DialogDriver driver;
    startConnect(kLinked);
    driver.answerBox(DialogDriver::kButton1);
    for (int i = 0; i < 20; ++i) {
        step();
        ASSERT_EQ(frame->vpnOperationValue(), Tarnwick::MainWindow::VpnConnecting) << i;
    }
    EXPECT_TRUE(driver.boxes().isEmpty());
    EXPECT_EQ(vpnInstructions(fake, kLinked, false), 0);
    step();
    ASSERT_EQ(driver.boxes().size(), 1);
    EXPECT_EQ(driver.boxes().at(0).title, QStringLiteral("联机"));
    EXPECT_EQ(driver.boxes().at(0).text, QStringLiteral("本地组网失败, 请检查重试!"));
    EXPECT_EQ(frame->vpnOperationValue(), Tarnwick::MainWindow::VpnStoppingAfterFailure);
    EXPECT_TRUE(rowShows(kLinked, QStringLiteral("停止中")));
    ASSERT_TRUE(waitUntil([&] { return vpnInstructions(fake, kLinked, false) == 1; }, 10000));

    // The panel still reports its address: the stop runs its five steps, then the finish.
    for (int i = 0; i < 5; ++i) {
        frame->onTimerDevice();
        ASSERT_EQ(frame->vpnOperationValue(), Tarnwick::MainWindow::VpnStoppingAfterFailure) << i;
        EXPECT_TRUE(rowShows(kLinked, QStringLiteral("停止中")));
    }
    frame->onTimerDevice();
    EXPECT_EQ(frame->vpnOperationValue(), Tarnwick::MainWindow::VpnIdle);
    EXPECT_TRUE(frame->listTimer()->isActive());
    EXPECT_TRUE(frame->connectedDevice().isEmpty());
    ASSERT_TRUE(waitUntil([&] { return frame->tableRecords().size() == 3; }, 10000));
    EXPECT_FALSE(rowShows(kLinked, QStringLiteral("停止中")));
    EXPECT_EQ(driver.unexpectedBoxes(), 0);
}

TEST_F(MainFrameVpnTest, VpnClientEndingAtOnceFailsTheConnectAtTheNextStepAndTellsWhy)
{
    const QString openvpn = tools.path() + QLatin1Char('/') + VPNClient::GetVpnDirectory() + QStringLiteral("/openvpn");
    ASSERT_TRUE(writeExecutable(openvpn, "#!/bin/sh\n"
                                         "echo 'Options error: You must define CA file (--ca) or a PKCS#12 file'\n"
                                         "exit 1\n"));
    login();
    DialogDriver driver;
    startConnect(kLinked);
    ASSERT_TRUE(waitUntil([&] { return LogCapture::count(QStringLiteral("openvpn ended by itself")) == 1; }, 10000));
    EXPECT_EQ(LogCapture::count(QStringLiteral("VpnManager: openvpn ended by itself with exit status 1")), 1);
    EXPECT_EQ(LogCapture::count(QStringLiteral("VpnManager: openvpn: Options error: You must define CA file")), 1);
    EXPECT_TRUE(driver.boxes().isEmpty());
    // The panel's answer to the first step's status query is in.
    ASSERT_TRUE(
        waitUntil([&] { return frame->vpnDeviceStateValue() == Tarnwick::MainWindow::DeviceWithLanIp; }, 10000));

    // The next step gives up, not the twenty-first.
    driver.answerBox(DialogDriver::kButton1);
    step();
    ASSERT_EQ(driver.boxes().size(), 1);
    EXPECT_EQ(driver.boxes().at(0).title, QStringLiteral("联机"));
    EXPECT_EQ(driver.boxes().at(0).text, QStringLiteral("本地组网失败, 请检查重试!"));
    EXPECT_EQ(frame->vpnOperationValue(), Tarnwick::MainWindow::VpnStoppingAfterFailure);
    ASSERT_TRUE(waitUntil([&] { return vpnInstructions(fake, kLinked, false) == 1; }, 10000));
    EXPECT_EQ(driver.unexpectedBoxes(), 0);
}

TEST_F(MainFrameVpnTest, PanelWithoutLanAddressReportsDeviceNetworkingFailure)
{
    login();
    DialogDriver driver;
    startConnect(kNoAddress);
    // Even a connected tunnel does not help a panel without an address.
    emit VPN_Android::VpnManager::instance()->signalVPNStatus(QStringLiteral("CONNECTED"), QStringLiteral("10.8.0.6"));
    driver.answerBox(DialogDriver::kButton1);
    for (int i = 0; i < 21; ++i)
        step();
    ASSERT_EQ(driver.boxes().size(), 1);
    EXPECT_EQ(driver.boxes().at(0).text, QStringLiteral("设备组网失败, 请检查重试!"));
    EXPECT_EQ(frame->vpnDeviceStateValue(), Tarnwick::MainWindow::DeviceWithoutLanIp);
    // Not connected: the next step finishes.
    frame->onTimerDevice();
    EXPECT_EQ(frame->vpnOperationValue(), Tarnwick::MainWindow::VpnIdle);
}

TEST_F(MainFrameVpnTest, FailedConnectReplyPreparesAgainAndAsksAgain)
{
    login();
    FakeCloudScript refuse;
    refuse.reply = FakeCloudScript::Reply::ErrorCode;
    refuse.errorCode = 5;
    refuse.times = 1;
    fake.script(QStringLiteral("/user/device/instruct/vpn"), refuse);
    startConnect(kLinked);
    ASSERT_TRUE(
        waitUntil([&] { return LogCapture::count(QStringLiteral("onConnectSignal ret=false error:")) == 1; }, 10000));
    EXPECT_EQ(vpnInstructions(fake, kLinked, true), 1);
    step();
    ASSERT_TRUE(waitUntil([&] { return vpnInstructions(fake, kLinked, true) == 2; }, 10000));
    EXPECT_EQ(frame->vpnOperationValue(), Tarnwick::MainWindow::VpnConnecting);
}

TEST_F(MainFrameVpnTest, SecondPanelFirstEndsTheConnectedOneAndForeignRepliesChangeNothing)
{
    login();
    frame->setConnectedSn(kBusy);
    choose(kLinked);
    frame->onOperActioned(QString(), 1);
    ASSERT_TRUE(waitUntil([&] { return vpnInstructions(fake, kBusy, false) == 1; }, 10000));
    EXPECT_EQ(frame->vpnOperationValue(), Tarnwick::MainWindow::VpnConnecting);

    stBoxData other;
    other.sn = kBusy;
    other.ip = QStringLiteral("127.140.0.7");
    frame->onQueryBoxInfoSignal(true, other, QString());
    EXPECT_EQ(frame->vpnDeviceStateValue(), Tarnwick::MainWindow::DeviceNotReported);
    stBoxData own = other;
    own.sn = kLinked;
    frame->onQueryBoxInfoSignal(true, own, QString());
    EXPECT_EQ(frame->vpnDeviceStateValue(), Tarnwick::MainWindow::DeviceWithLanIp);
    frame->onQueryBoxInfoSignal(false, own, QStringLiteral("x"));
    EXPECT_EQ(frame->vpnDeviceStateValue(), Tarnwick::MainWindow::DeviceNotReported);
}

TEST_F(MainFrameVpnTest, ConnectedPanelAndNoChoiceAreRefused)
{
    DialogDriver driver;
    driver.answerBox(DialogDriver::kButton1);
    driver.answerBox(DialogDriver::kButton1);
    frame->onOperActioned(QString(), 1);
    frame->onOperActioned(QString(), 2);
    ASSERT_EQ(driver.boxes().size(), 2);
    EXPECT_EQ(driver.boxes().at(0).text, QStringLiteral("请先选择一个设备!"));
    EXPECT_EQ(driver.boxes().at(1).text, QStringLiteral("请先选择一个设备!"));

    login();
    choose(kBusy);
    driver.answerBox(DialogDriver::kButton1);
    frame->onOperActioned(QString(), 1);
    ASSERT_EQ(driver.boxes().size(), 3);
    EXPECT_EQ(driver.boxes().at(2).title, QStringLiteral("消息"));
    EXPECT_EQ(driver.boxes().at(2).text, QStringLiteral("离线或者联机状态下不能联机!"));
    EXPECT_EQ(frame->vpnOperationValue(), Tarnwick::MainWindow::VpnIdle);
    spin(200);
    EXPECT_EQ(fake.requestCount(QStringLiteral("/user/device/instruct/vpn")), 0);
}

TEST_F(MainFrameVpnTest, StopReportsSuccessAtItsFirstStep)
{
    login();
    frame->setConnectedSn(kLinked);
    choose(kLinked);
    frame->onOperActioned(QString(), 2);
    EXPECT_TRUE(frame->connectedDevice().isEmpty());
    EXPECT_EQ(frame->vpnOperationValue(), Tarnwick::MainWindow::VpnStopping);
    EXPECT_TRUE(rowShows(kLinked, QStringLiteral("停止中")));
    ASSERT_TRUE(waitUntil([&] { return vpnInstructions(fake, kLinked, false) == 1; }, 10000));
    DialogDriver driver;
    driver.answerBox(DialogDriver::kButton1);
    frame->onTimerDevice();
    ASSERT_EQ(driver.boxes().size(), 1);
    EXPECT_EQ(driver.boxes().at(0).title, QStringLiteral("停止"));
    EXPECT_EQ(driver.boxes().at(0).text, QStringLiteral("设备停止成功!"));
    EXPECT_EQ(frame->vpnOperationValue(), Tarnwick::MainWindow::VpnIdle);
    EXPECT_TRUE(frame->listTimer()->isActive());
}

// The end of an operation empties the table's records; the reply that
// rebuilds them must keep the device that was chosen, not jump to row 1.
TEST_F(MainFrameVpnTest, TheChosenDeviceStaysChosenWhenTheNextReplyRebuildsTheTable)
{
    login();
    frame->setConnectedSn(kBusy);
    choose(kBusy);
    const int row = rowOf(kBusy);
    ASSERT_GT(row, 0);
    frame->onSelectedRow(row); // as the table reports the user's choice
    frame->onOperActioned(QString(), 2);
    ASSERT_TRUE(waitUntil([&] { return vpnInstructions(fake, kBusy, false) == 1; }, 10000));
    DialogDriver driver;
    driver.answerBox(DialogDriver::kButton1);
    frame->onTimerDevice();
    ASSERT_EQ(frame->vpnOperationValue(), Tarnwick::MainWindow::VpnIdle);
    ASSERT_TRUE(waitUntil([&] { return !frame->tableRecords().isEmpty(); }, 10000));
    EXPECT_EQ(rowOf(kBusy), row);
    EXPECT_EQ(frame->selectedRowValue(), row);
    EXPECT_EQ(frame->devicePage()->currentRow(), row);
}

TEST_F(MainFrameVpnTest, StopWhileThePanelKeepsItsAddressWarnsAfterTwentyOneSteps)
{
    login();
    startConnect(kLinked);
    step();
    ASSERT_EQ(frame->vpnDeviceStateValue(), Tarnwick::MainWindow::DeviceWithLanIp);
    // The user stops while the connect's status query is on its way; its
    // answer, and every later one, still shows the panel in the network.
    const int replies = LogCapture::count(QStringLiteral("Querty Box "));
    const int asked = fake.requestCount(QStringLiteral("/user/device/status"));
    frame->onTimerDevice();
    frame->onOperActioned(QString(), 2);
    ASSERT_EQ(frame->vpnOperationValue(), Tarnwick::MainWindow::VpnStopping);
    ASSERT_EQ(frame->vpnDeviceStateValue(), Tarnwick::MainWindow::DeviceNotReported);
    ASSERT_TRUE(waitUntil([&] { return fake.requestCount(QStringLiteral("/user/device/status")) > asked; }, 10000));
    ASSERT_TRUE(waitUntil([&] { return LogCapture::count(QStringLiteral("Querty Box ")) > replies; }, 10000));
    ASSERT_EQ(frame->vpnDeviceStateValue(), Tarnwick::MainWindow::DeviceWithLanIp);
    ASSERT_TRUE(waitUntil([&] { return vpnInstructions(fake, kLinked, false) == 1; }, 10000));

    DialogDriver driver;
    driver.answerBox(DialogDriver::kButton1);
    for (int i = 0; i < 20; ++i) {
        step();
        ASSERT_EQ(frame->vpnOperationValue(), Tarnwick::MainWindow::VpnStopping) << i;
        ASSERT_TRUE(driver.boxes().isEmpty()) << i;
    }
    EXPECT_TRUE(rowShows(kLinked, QStringLiteral("停止中")));
    step();
    ASSERT_EQ(driver.boxes().size(), 1);
    EXPECT_EQ(driver.boxes().at(0).title, QStringLiteral("停止"));
    EXPECT_EQ(driver.boxes().at(0).text, QStringLiteral("设备停止失败, 请检查重试!"));
    EXPECT_EQ(frame->vpnOperationValue(), Tarnwick::MainWindow::VpnIdle);
    EXPECT_TRUE(frame->connectedDevice().isEmpty());
    EXPECT_TRUE(frame->listTimer()->isActive());
    EXPECT_EQ(driver.unexpectedBoxes(), 0);
}

TEST_F(MainFrameVpnTest, LoginLostDuringAConnectEndsItAtTheNextStep)
{
    login();
    startConnect(kLinked);
    DialogDriver driver;
    driver.answerBox(DialogDriver::kButton1);
    frame->onOperActioned(QString(), 0);
    ASSERT_TRUE(waitUntil([&] { return frame->loginStateValue() == MainFrame::LoggedOut; }, 10000));
    const int asked = fake.requestCount(QStringLiteral("/user/device/status"));
    const int connects = vpnInstructions(fake, kLinked, true);
    frame->onTimerDevice();
    EXPECT_EQ(frame->vpnOperationValue(), Tarnwick::MainWindow::VpnIdle);
    EXPECT_FALSE(frame->stepTimer()->isActive());
    spin(300);
    EXPECT_EQ(fake.requestCount(QStringLiteral("/user/device/status")), asked);
    EXPECT_EQ(vpnInstructions(fake, kLinked, true), connects);
}

namespace {

// Grabs the first visible box with the title while its loop runs, then closes it.
QImage grabBox(const std::function<void()>& open, const QString& title)
{
    QImage picture;
    int seen = 0;
    BoxWatcher grabber(50, [&](MessageBox* box) {
        if (DialogDriver::describe(box).title != title)
            return;
        // One more tick so the content has laid out.
        if (++seen < 3)
            return;
        picture = box->grab().toImage();
        box->done(MessageBox::Button2);
    });
    open();
    return picture;
}

} // namespace

TEST_F(MainFrameVpnTest, PicturesOfTheConnectingRowTheAboutBoxAndTheLogBox)
{
    frame->resize(1024, 600);
    frame->show();
    login();
    choose(kLinked);
    frame->onOperActioned(QString(), 1);
    ASSERT_TRUE(rowShows(kLinked, QStringLiteral("联机中")));
    spin(100);
    const QImage page = frame->grab().toImage();
    ASSERT_FALSE(page.isNull());
    EXPECT_TRUE(page.save(QStringLiteral(SCREENSHOT_DIR "/cloud_page_connecting.png")));

    const QImage about = grabBox([&] { frame->onSettingClicked(QString(), 12); }, QStringLiteral("关于"));
    ASSERT_FALSE(about.isNull());
    EXPECT_TRUE(about.save(QStringLiteral(SCREENSHOT_DIR "/about_box.png")));

    // The program's log handler is not installed here: the lines go to the log directly.
    for (const QString& line : LogCapture::lines().mid(0, 12))
        Logger::instance()->appendLine(line.left(160));
    Logger::instance()->appendLine(QStringLiteral("a line of the log, <b>shown as text</b>"));
    const QImage logBox = grabBox([&] { frame->onOperActioned(QString(), 13); }, QStringLiteral("调试日志"));
    ASSERT_FALSE(logBox.isNull());
    EXPECT_TRUE(logBox.save(QStringLiteral(SCREENSHOT_DIR "/debug_log_box.png")));
}
