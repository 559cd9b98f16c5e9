// The direct connection of the main window to one panel, against the fake
// panel services on 127.110.0.2 (session port 9059, service port 9009).

#include "tarnwick/ui/mainwindow/mainframe.h"

#include "tarnwick/core/panelrpc/localdeviceobject.h"
#include "tarnwick/core/programpath.h"
#include "tarnwick/ui/mainwindow/deviceview.h"
#include "tarnwick/ui/mainwindow/tests/mainwindowtesthelpers.h"
#include "tarnwick/ui/mainwindow/tests/testhome.h"
#include "tarnwick/ui/mainwindow/widgetlogin.h"
#include "tarnwick/widgets/menuitem.h"
#include "tarnwick/widgets/menuitemgroup.h"
#include "tarnwick/widgets/tableview.h"
#include "tarnwick/widgets/tests/dialogdriver.h"
#include "tarnwick/widgets/widgettitle.h"
#include "testing/fakepanel/fakepanelservice.h"
#include "testing/panelservices/panelmethodtable.h"

#include <gtest/gtest.h>

#include <QFile>
#include <QTemporaryDir>
#include <QTimer>

#include <memory>

using Fake::WireWriter;

namespace {

const char* const kPanelIp = "127.110.0.2";

struct Panel {
    Panel()
        : session(kPanelIp, 9059)
        , service(kPanelIp, 9009)
        , sessionTable(session, Fake::PanelMethodTable::sessionMethods())
        , serviceTable(service, Fake::PanelMethodTable::serviceMethods())
    {
        sessionTable.setResult("getICCID", WireWriter().string("8986001").take());
        setSn("30300042");
        serviceTable.setResult(
            "getDeviceVPNInfo",
            WireWriter().i32(1).string("x").i32(0).string("panel one").string("vpn-two").i32(0).take());
        serviceTable.setResult("getVpnState", WireWriter().i32(5).take());
    }
    void setSn(const std::string& sn) { serviceTable.setResult("getProductSn", WireWriter().string(sn).take()); }

    Fake::FakePanelService session;
    Fake::FakePanelService service;
    Fake::PanelMethodTable sessionTable;
    Fake::PanelMethodTable serviceTable;
};

class DirectConnectionTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() { useTemporaryHome(); }
    void SetUp() override
    {
        panel = std::make_unique<Panel>();
        frame = std::make_unique<MainFrame>();
    }
    void TearDown() override
    {
        frame.reset();
        panel.reset();
    }

    TableView* table() const { return frame->devicePage()->table(); }
    bool enabled(int action) const
    {
        MenuItem* item = frame->devicePage()->menuGroup()->item(action);
        return item != nullptr && !item->isItemDisabled();
    }

    // Binds through the login form's address field.
    void connectPanel()
    {
        frame->onLoginAction(QString::fromLatin1(kPanelIp), QString(), Tarnwick::MainWindow::LocalMode);
        ASSERT_TRUE(waitUntil([&] { return frame->currentPageIndex() == MainFrame::CloudPage; }, 20000));
        ASSERT_EQ(table()->rowCount(), 1);
    }

    DialogDriver driver;
    std::unique_ptr<Panel> panel;
    std::unique_ptr<MainFrame> frame;
};

} // namespace

TEST_F(DirectConnectionTest, OneRowRewrittenInPlaceAndDirectMenu)
{
    connectPanel();
    EXPECT_EQ(frame->loginModeValue(), Tarnwick::MainWindow::LocalMode);
    EXPECT_EQ(frame->loginStateValue(), MainFrame::LoggedOut);
    EXPECT_EQ(table()->cellValue(0, 3).toString(), "30300042");
    EXPECT_EQ(table()->cellValue(0, 4).toString(), "vpn-two");
    EXPECT_EQ(table()->cellValue(0, 6).toString(), QString::fromLatin1(kPanelIp));
    EXPECT_EQ(table()->cellValue(0, 7).toString(), "8986001");
    EXPECT_FALSE(enabled(1));
    EXPECT_TRUE(enabled(3));
    EXPECT_TRUE(enabled(4));
    EXPECT_FALSE(enabled(8));
    EXPECT_TRUE(frame->loginPage()->isReady());
    MenuItem* setting = frame->title()->findChild<MenuItem*>();
    ASSERT_NE(setting, nullptr);
    EXPECT_TRUE(setting->isHidden());

    // The next refresh of the device object rewrites row 0.
    panel->setSn("30300043");
    ASSERT_TRUE(waitUntil([&] { return table()->cellValue(0, 3).toString() == "30300043"; }, 15000));
    EXPECT_EQ(table()->rowCount(), 1);
}

TEST_F(DirectConnectionTest, LostPanelDeclinedReturnsToTheLoginPage)
{
    connectPanel();
    driver.answerBox(DialogDriver::kButton2);
    panel->service.stop();
    panel->session.stop();
    ASSERT_TRUE(waitUntil([&] { return frame->currentPageIndex() == MainFrame::LoginPage; }, 20000));
    ASSERT_EQ(driver.boxes().size(), 1);
    EXPECT_EQ(driver.boxes().at(0).title, QStringLiteral("设备断开"));
    EXPECT_EQ(driver.boxes().at(0).text, QStringLiteral("是否重新连接?"));
    EXPECT_EQ(frame->loginStateValue(), MainFrame::LoggedOut);
    EXPECT_EQ(frame->deviceObject()->bindState(), LocalDeviceObject::Idle);
}

TEST_F(DirectConnectionTest, LostPanelConfirmedBindsTheSameAddressAgain)
{
    connectPanel();
    const int accepted = panel->service.acceptedConnections();
    driver.answerBox(DialogDriver::kButton1);
    panel->service.stop();
    ASSERT_TRUE(waitUntil([&] { return driver.boxes().size() == 1; }, 20000));
    panel->service.restart();
    ASSERT_TRUE(waitUntil([&] { return panel->service.acceptedConnections() > accepted; }, 20000));
    EXPECT_EQ(frame->deviceObject()->deviceIp(), QString::fromLatin1(kPanelIp));
}

TEST_F(DirectConnectionTest, CloudActionsAreRefusedWhileBoundDirectly)
{
    connectPanel();
    frame->devicePage()->selectRow(0);
    ASSERT_EQ(frame->devicePage()->currentRow(), 0);
    for (int i = 0; i < 3; ++i)
        driver.answerBox(DialogDriver::kButton1);
    frame->onOperActioned(QString(), 1);
    frame->onOperActioned(QString(), 2);
    // The page's single row has no cloud record.
    frame->onOperActioned(QString(), 14);
    ASSERT_EQ(driver.boxes().size(), 3);
    EXPECT_EQ(driver.boxes().at(0).title, QStringLiteral("错误"));
    EXPECT_EQ(driver.boxes().at(0).text, QStringLiteral("当前模式下，此功能不支持!"));
    EXPECT_EQ(driver.boxes().at(1).text, QStringLiteral("当前模式下，此功能不支持!"));
    EXPECT_EQ(driver.boxes().at(2).text, QStringLiteral("请先选择一个设备!"));
    EXPECT_EQ(frame->vpnOperationValue(), Tarnwick::MainWindow::VpnIdle);
    EXPECT_FALSE(frame->stepTimer()->isActive());
}

TEST_F(DirectConnectionTest, PassThroughStartsTheToolWithTheBoundPanelsAddressOnly)
{
    QTemporaryDir tools;
    ASSERT_TRUE(tools.isValid());
    const QString out = tools.path() + QStringLiteral("/pass.out");
    ASSERT_TRUE(writeRecordingTool(tools.path() + QStringLiteral("/Quillet"), out));
    ProgramPath::setBaseDir(tools.path());
    connectPanel();
    frame->devicePage()->selectRow(0);
    ASSERT_EQ(frame->devicePage()->currentRow(), 0);
    // The page's row has no cloud record: the address is the bound panel's.
    frame->onOperActioned(QString(), 4);
    const bool started = waitUntil([&] { return QFile::exists(out); }, 10000);
    ProgramPath::setBaseDir(QString());
    ASSERT_TRUE(started);
    EXPECT_EQ(readWholeFile(out), QByteArray("1\n") + kPanelIp + "\n");
    EXPECT_TRUE(driver.boxes().isEmpty());
    EXPECT_EQ(driver.unexpectedBoxes(), 0);
}
