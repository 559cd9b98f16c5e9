#include "tarnwick/ui/localdebugview.h"

#include "tarnwick/core/constants.h"
#include "tarnwick/core/devicedatas.h"
#include "tarnwick/core/discovery/scanthread.h"
#include "tarnwick/core/forwarding/localnetforwardmanager.h"
#include "tarnwick/core/programpath.h"
#include "tarnwick/ui/localdevicefiltermodel.h"
#include "tarnwick/ui/localdevicemodel.h"
#include "tarnwick/ui/tests/localpagetesthelpers.h"
#include "tarnwick/vnc/vncviewerwindow.h"
#include "tarnwick/widgets/menuitem.h"
#include "tarnwick/widgets/menuitemgroup.h"
#include "tarnwick/widgets/pixmaplabel.h"
#include "tarnwick/widgets/pixmaplineedit.h"
#include "tarnwick/widgets/tests/dialogdriver.h"
#include "testing/fakediscovery/fakediscoveryresponder.h"
#include "testing/fakelocalpanel/fakelocalpanel.h"
#include "testing/main/filesizelimit.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QHeaderView>
#include <QInputMethodEvent>
#include <QLineEdit>
#include <QPointer>
#include <QRegExp>
#include <QTableView>
#include <QTemporaryDir>
#include <QTest>
#include <QThread>

namespace C = Tarnwick::Constants;

namespace {

// The page with its protected slots in reach.
struct Page : LocalDebugView {
    using LocalDebugView::OnActionTriggered;
    using LocalDebugView::onDeviceSelectChange;
    using LocalDebugView::onFileOperate;
    using LocalDebugView::onFilterChange;
    using LocalDebugView::onImportDevice;
    using LocalDebugView::onSaveDevice;
    using LocalDebugView::onStartTransparent;
    using LocalDebugView::onStartVNC;
    using LocalDebugView::onStartVPN;
};

QString u8(const char* text)
{
    return QString::fromUtf8(text);
}

void writeFile(const QString& path, const QByteArray& bytes, bool executable = false)
{
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
    f.write(bytes);
    f.close();
    if (executable)
        f.setPermissions(f.permissions() | QFileDevice::ExeOwner);
}

// A working folder with "data/", the tools beside a program folder of the
// test's own (recording scripts), two panels found by discovery (host 2
// free, host 3 held by another client, on this process's own loopback network) and saved panels.
struct PageTest : ::testing::Test {
    QTemporaryDir dir;
    QString oldDir = QDir::currentPath();
    FakeLocalPanel free{FakeLocalPanel::address(2), "SN-0002", "Press"};
    FakeLocalPanel held{FakeLocalPanel::address(3), "SN-0003", "Lathe"};
    std::unique_ptr<FakeDiscoveryResponder> first;
    std::unique_ptr<FakeDiscoveryResponder> second;
    std::unique_ptr<Page> page;
    DialogDriver driver;

    void SetUp() override
    {
        ASSERT_TRUE(dir.isValid());
        QDir::setCurrent(dir.path());
        QDir().mkpath(QStringLiteral("data"));
        ProgramPath::setBaseDir(dir.filePath(QStringLiteral("bin")));
        for (const char* tool : {"bin/fileoperate/Brellfin", "bin/Quillet"}) {
            const QString path = dir.filePath(QString::fromLatin1(tool));
            writeFile(path, QStringLiteral("#!/bin/sh\nprintf '%s\\n' \"$#\" \"$@\" > '%1.args'\n").arg(path).toUtf8(),
                      true);
        }
        held.setBridge(1, "{another-client}");
        FakeDiscoveryResponder::Config a;
        a.sourceAddress = FakeLocalPanel::address(2);
        a.reportedAddress = "192.168.1.50";
        first = std::make_unique<FakeDiscoveryResponder>(a);
        FakeDiscoveryResponder::Config b = a;
        b.sourceAddress = FakeLocalPanel::address(3);
        b.reportedAddress = "192.168.1.51";
        second = std::make_unique<FakeDiscoveryResponder>(b, first->port());
        page = std::make_unique<Page>();
        page->resize(1000, 600);
        page->deviceModel()->setScanFactory(loopbackScan(first->port()));
        const QVector<stDeviceData> saved = {savedPanel("SN-9", u8("铣床, \"9\""), FakeLocalPanel::address(9))};
        page->deviceModel()->setSavedProbeFactory(
            [saved](QObject* parent) { return new LoadLocalDevice(saved, 1, parent); });
    }

    void TearDown() override
    {
        page.reset();
        ProgramPath::setBaseDir(QString());
        QDir::setCurrent(oldDir);
    }

    int proxyRowOf(const QString& ip) const
    {
        QAbstractItemModel* proxy = page->deviceTable()->model();
        for (int r = 0; r < proxy->rowCount(); ++r) {
            if (proxy->index(r, 4).data().toString() == ip)
                return r;
        }
        return -1;
    }

    void select(const QString& ip)
    {
        const int row = proxyRowOf(ip);
        ASSERT_GE(row, 0) << ip.toStdString();
        const QModelIndex index = page->deviceTable()->model()->index(row, 1);
        page->deviceTable()->setCurrentIndex(index);
        page->onDeviceSelectChange(index);
    }

    MenuItem* item(int action) const { return page->menu()->item(action); }
    QString itemText(int action) const { return item(action)->label()->text(); }
    bool toolsDisabled() const
    {
        return item(3)->isItemDisabled() && item(14)->isItemDisabled() && item(4)->isItemDisabled();
    }
    bool toolsEnabled() const
    {
        return !item(3)->isItemDisabled() && !item(14)->isItemDisabled() && !item(4)->isItemDisabled();
    }

    void refresh()
    {
        page->setNetIntf(QStringLiteral("lo"));
        ASSERT_EQ(page->deviceModel()->rowCount(), 3);
    }
};

} // namespace

TEST(LocalDebugViewRules, ForwardingNeedsTwoDistinctUsableAddresses)
{
    struct Case {
        const char* ip;
        const char* lan;
        bool forwardable;
    } cases[] = {
        {"192.168.1.20", "10.0.0.20", true},
        {"192.168.1.20", "192.168.1.20", false},
        {"192.168.1.20", "", false},
        {"", "10.0.0.20", false},
        {"192.168.1.20", "0.0.0.0", false},
        {"0.0.0.0", "10.0.0.20", false},
        {"192.168.1.20", "127.0.0.1", false},
        {FakeLocalPanel::address(2), "10.0.0.20", false},
        {"192.168.1.20", "255.255.255.255", false},
        {"192.168.1.20", "not an address", false},
        {"192.168.1.20", "::ffff:10.0.0.20", true},
        {"192.168.1.20", "::ffff:192.168.1.20", false},
    };
    for (const Case& c : cases)
        EXPECT_EQ(LocalDebugView::isForwardablePair(c.ip, c.lan), c.forwardable) << c.ip << " / " << c.lan;
}

TEST_F(PageTest, ConstructionBuildsTheActionRowAndTheTable)
{
    EXPECT_EQ(page->menu()->itemIds(), QList<int>({0, 1, 3, 4, 8, 9, 14}));
    EXPECT_EQ(itemText(1), u8("联机"));
    EXPECT_TRUE(item(1)->isItemDisabled());
    EXPECT_EQ(page->deviceTable()->objectName(), "DeviceTable");
    EXPECT_EQ(page->menu()->name(), "menuDevice");
    EXPECT_TRUE(page->deviceTable()->isColumnHidden(5));
    EXPECT_EQ(page->deviceTable()->horizontalHeader()->sortIndicatorSection(), 1);
    EXPECT_FALSE(page->isRefreshTimerRunning());
}

TEST_F(PageTest, RowsFromDiscoveryAndTheSavedListWithTheirStates)
{
    refresh();
    EXPECT_TRUE(page->isRefreshTimerRunning());
    const QMap<QString, QStringList> rows = rowsByIp(page->deviceModel());
    EXPECT_EQ(rows[FakeLocalPanel::address(2)],
              QStringList({"SN-0002", "Press", u8("在  线"), FakeLocalPanel::address(2), "192.168.1.50"}));
    EXPECT_EQ(rows[FakeLocalPanel::address(3)],
              QStringList({"SN-0003", "Lathe", u8("占  用"), FakeLocalPanel::address(3), "192.168.1.51"}));
    EXPECT_EQ(rows[FakeLocalPanel::address(9)],
              QStringList({"SN-9", u8("铣床, \"9\""), u8("离  线"), FakeLocalPanel::address(9), ""}));
    // Nothing selected: the tools are disabled after the first reset.
    EXPECT_TRUE(toolsDisabled());
    page->setNetIntf(QString());
    EXPECT_FALSE(page->isRefreshTimerRunning());
}

TEST_F(PageTest, SelectionEnablesToolsByStateAndKeepsConnectDisabledOnLoopback)
{
    refresh();
    select(FakeLocalPanel::address(2));
    EXPECT_TRUE(toolsEnabled());
    EXPECT_EQ(page->selectedAddress(), FakeLocalPanel::address(2));
    EXPECT_EQ(page->selectedLanAddress(), "192.168.1.50");
    // The access address is a loopback one: the strict check refuses it.
    EXPECT_TRUE(item(1)->isItemDisabled());
    EXPECT_EQ(item(1)->label()->icon(), ":/pics/pic/vpn_disable.png");
    select(FakeLocalPanel::address(3));
    EXPECT_TRUE(toolsDisabled());
    select(FakeLocalPanel::address(9));
    EXPECT_TRUE(toolsDisabled());
}

TEST_F(PageTest, ConnectOnEqualAddressesDoesNothing)
{
    // Nothing selected: both addresses are empty.
    page->onStartVPN();
    // A panel that reports the address it is reached at.
    FakeDiscoveryResponder::Config same;
    same.sourceAddress = FakeLocalPanel::address(2);
    same.reportedAddress = FakeLocalPanel::address(2);
    FakeDiscoveryResponder responder(same);
    page->deviceModel()->setScanFactory(loopbackScan(responder.port()));
    page->setNetIntf(QStringLiteral("lo"));
    select(FakeLocalPanel::address(2));
    ASSERT_EQ(page->selectedLanAddress(), FakeLocalPanel::address(2));
    page->onStartVPN();
    waitUntil([] { return false; }, 300);
    EXPECT_EQ(page->netForwardManager()->deviceIp(), QString());
    EXPECT_TRUE(driver.boxes().isEmpty());
    EXPECT_TRUE(item(1)->isItemDisabled());
}

TEST_F(PageTest, FilterHidingTheSelectionDisablesConnectAndNumbersTheRows)
{
    refresh();
    select(FakeLocalPanel::address(3));
    // Hosts 2 and 9 of the process's own loopback network.
    const QString host2 = FakeLocalPanel::address(2);
    page->onFilterChange(QRegExp::escape(host2.left(host2.size() - 1)) + "[29]");
    QAbstractItemModel* proxy = page->deviceTable()->model();
    ASSERT_EQ(proxy->rowCount(), 2);
    EXPECT_EQ(proxy->index(0, 0).data().toString(), "1");
    EXPECT_EQ(proxy->index(1, 0).data().toString(), "2");
    EXPECT_TRUE(item(1)->isItemDisabled());
    EXPECT_EQ(itemText(1), u8("联机"));
    EXPECT_EQ(page->selectedAddress(), FakeLocalPanel::address(3)); // the selection itself stays
    page->onFilterChange("192\\.168\\.1\\.51");                     // only the hidden LAN column matches
    ASSERT_EQ(proxy->rowCount(), 1);
    EXPECT_EQ(proxy->index(0, 4).data().toString(), FakeLocalPanel::address(3));
    EXPECT_EQ(page->deviceTable()->currentIndex().row(), 0);
    page->onFilterChange(u8("在线"));
    EXPECT_EQ(proxy->rowCount(), 0);
    page->onFilterChange(QString());
    EXPECT_EQ(proxy->rowCount(), 3);
}

TEST_F(PageTest, ToolsFollowTheSelectedRowThroughEveryFilterChange)
{
    refresh();
    QLineEdit* search = page->findChild<PixmapLineEdit*>(QStringLiteral("searchEdit"))->lineEdit();
    QTableView* table = page->deviceTable();
    QAbstractItemModel* proxy = table->model();
    const QString online = FakeLocalPanel::address(2);
    const QString offline = FakeLocalPanel::address(9);
    const auto currentAddress = [&] {
        const QModelIndex current = table->currentIndex();
        return current.isValid() ? proxy->index(current.row(), 4).data().toString() : QString();
    };
    const auto clickVnc = [&] { QTest::mouseClick(item(3), Qt::LeftButton, Qt::NoModifier, item(3)->rect().center()); };
    page->show();
    select(online);
    ASSERT_TRUE(toolsEnabled());

    // Typed through the input method: only the saved panel, offline, is left.
    QInputMethodEvent typed;
    typed.setCommitString(u8("铣床"));
    QApplication::sendEvent(search, &typed);
    ASSERT_EQ(proxy->rowCount(), 1);
    ASSERT_EQ(proxy->index(0, 3).data().toString(), u8("离  线"));
    EXPECT_TRUE(toolsDisabled());
    EXPECT_TRUE(item(1)->isItemDisabled());
    // The hidden row stays the selection; the offline one does not stand in for it.
    EXPECT_EQ(page->selectedAddress(), online);
    EXPECT_EQ(currentAddress(), QString());
    EXPECT_FALSE(table->selectionModel()->hasSelection());
    clickVnc();
    EXPECT_EQ(page->viewerWindow(), nullptr) << "VNC opened on a row the user cannot use";
    // So it stays through a refresh under the filter.
    page->deviceModel()->RefreshDevice();
    ASSERT_EQ(proxy->rowCount(), 1);
    EXPECT_TRUE(toolsDisabled());
    EXPECT_EQ(currentAddress(), QString());
    EXPECT_EQ(page->selectedAddress(), online);

    // Cleared: the selected online row is back, and so are its tools.
    search->clear();
    ASSERT_EQ(proxy->rowCount(), 3);
    EXPECT_TRUE(toolsEnabled());
    EXPECT_EQ(currentAddress(), online);
    EXPECT_TRUE(table->selectionModel()->isRowSelected(table->currentIndex().row(), QModelIndex()));

    // A filter that keeps the selected row keeps its tools.
    QTest::keyClicks(search, QStringLiteral("Pre"));
    ASSERT_EQ(proxy->rowCount(), 1);
    EXPECT_TRUE(toolsEnabled());
    EXPECT_EQ(currentAddress(), online);

    // With the offline row selected, a filter that shows only an online row
    // leaves the tools off.
    search->clear();
    select(offline);
    ASSERT_TRUE(toolsDisabled());
    search->setText(QStringLiteral("Press"));
    ASSERT_EQ(proxy->rowCount(), 1);
    EXPECT_TRUE(toolsDisabled());
    EXPECT_EQ(currentAddress(), QString());
    search->clear();
    EXPECT_TRUE(toolsDisabled());
    EXPECT_EQ(currentAddress(), offline);
    EXPECT_EQ(page->viewerWindow(), nullptr);
}

TEST_F(PageTest, NoticeForAPanelNotSelectedChangesItsCellButNotTheItem)
{
    refresh();
    select(FakeLocalPanel::address(2));
    const QString before = itemText(1);
    driver.answerBox(DialogDriver::kButton1);
    emit page->netForwardManager()->deviceConnectComplete(QString(FakeLocalPanel::address(3)), true);
    ASSERT_TRUE(waitUntil([&] { return driver.boxes().size() == 1 && driver.pendingAnswers() == 0; }, 5000));
    waitUntil([] { return false; }, 100);
    EXPECT_EQ(driver.boxes()[0].title, u8("联机"));
    EXPECT_EQ(driver.boxes()[0].text, u8("设备联机成功!"));
    const int row = proxyRowOf(FakeLocalPanel::address(3));
    EXPECT_EQ(page->deviceTable()->model()->index(row, 3).data().toString(), u8("联  机"));
    EXPECT_EQ(itemText(1), before);
    EXPECT_FALSE(page->isVpnConnected());
}

TEST_F(PageTest, ToolsStartBesideTheProgramWithTheAddressAlone)
{
    refresh();
    const QString ftpArgs = dir.filePath("bin/fileoperate/Brellfin.args");
    const QString passArgs = dir.filePath("bin/Quillet.args");
    // No current row: nothing starts.
    page->onFileOperate();
    page->onStartTransparent();
    QThread::msleep(300);
    EXPECT_FALSE(QFile::exists(ftpArgs));
    EXPECT_FALSE(QFile::exists(passArgs));

    select(FakeLocalPanel::address(2));
    page->onFileOperate();
    ASSERT_TRUE(waitUntil([&] { return readAll(ftpArgs).endsWith('\n'); }, 5000));
    EXPECT_EQ(readAll(ftpArgs), QByteArray("1\n") + FakeLocalPanel::address(2) + "\n");

    select(FakeLocalPanel::address(3));
    page->OnActionTriggered(QStringLiteral("menuDevice"), 4);
    ASSERT_TRUE(waitUntil([&] { return readAll(passArgs).endsWith('\n'); }, 5000));
    EXPECT_EQ(readAll(passArgs), QByteArray("1\n") + FakeLocalPanel::address(3) + "\n");
    EXPECT_FALSE(QFile::exists(QStringLiteral("Quillet.args"))); // nothing from the working folder
}

TEST_F(PageTest, SecondVncLeavesOneWindowForTheSecondAddress)
{
    refresh();
    select(FakeLocalPanel::address(2));
    page->onStartVNC();
    QPointer<VncViewerWindow> firstWindow = page->viewerWindow();
    ASSERT_FALSE(firstWindow.isNull());
    select(FakeLocalPanel::address(9));
    page->onStartVNC();
    // The first window is closed at once and deleted from the event loop.
    EXPECT_FALSE(firstWindow.isNull() ? false : firstWindow->isVisible());
    ASSERT_TRUE(waitUntil(
        [&] {
            QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
            return firstWindow.isNull();
        },
        3000));
    ASSERT_NE(page->viewerWindow(), nullptr);
    EXPECT_TRUE(page->viewerWindow()->windowTitle().contains(FakeLocalPanel::address(9)))
        << page->viewerWindow()->windowTitle().toStdString();
    int windows = 0;
    for (QWidget* w : QApplication::topLevelWidgets())
        windows += qobject_cast<VncViewerWindow*>(w) != nullptr;
    EXPECT_EQ(windows, 1);
}

TEST_F(PageTest, SaveWithAFilterWritesEveryRowAndReportsAFailedWrite)
{
    refresh();
    page->onFilterChange(QRegExp::escape(FakeLocalPanel::address(2)));
    driver.answerBox(DialogDriver::kButton1);
    driver.answerBox(DialogDriver::kButton1);
    page->onSaveDevice();
    ASSERT_EQ(driver.boxes().size(), 2);
    EXPECT_EQ(driver.boxes()[0].text, u8("将当前设备列表保存至本地, 确认操作吗？"));
    EXPECT_EQ(driver.boxes()[1].text, u8("保存本地列表成功!"));
    const QByteArray written = readAll(QStringLiteral("data/LocalDeviceList.csv"));
    EXPECT_TRUE(written.startsWith("\xEF\xBB\xBF"));
    EXPECT_EQ(written.count('\n'), 4); // header and all three rows
    EXPECT_TRUE(written.contains(u8("'铣床, \"\"9\"\"'").toUtf8()));
    EXPECT_EQ(DeviceDatas::instance()->localDevices().size(), 3);

    {
        TestLimits::FileSizeLimit limit(64);
        ASSERT_TRUE(limit.active());
        driver.answerBox(DialogDriver::kButton1);
        driver.answerBox(DialogDriver::kButton1);
        page->onSaveDevice();
    }
    ASSERT_EQ(driver.boxes().size(), 4);
    EXPECT_EQ(driver.boxes()[3].text, u8("保存本地列表失败!"));
    EXPECT_EQ(readAll(QStringLiteral("data/LocalDeviceList.csv")), written);
}

TEST_F(PageTest, ClashingImportTurnedDownLeavesFileTableAndMemory)
{
    refresh();
    writeFile(QStringLiteral("data/LocalDeviceList.csv"),
              u8("\xEF\xBB\xBF序号,设备编号,设备名称,IP地址\n1,'SN-9','Mill','127.100.0.9'\n").toUtf8());
    ASSERT_TRUE(DeviceDatas::instance()->loadLocalDevices(QStringLiteral("data/LocalDeviceList.csv")));
    const QByteArray fileBefore = readAll(QStringLiteral("data/LocalDeviceList.csv"));
    const int rowsBefore = page->deviceModel()->rowCount();

    const QString clash = dir.filePath("clash.csv");
    writeFile(clash, u8("序号,设备编号,设备名称,IP地址\n1,A,a,10.0.0.1\n2,B,b,10.0.0.1\n3,C,c,10.0.0.3\n").toUtf8());
    driver.answerFileDialog(clash);
    driver.answerBox(DialogDriver::kButton2); // "取消"
    page->onImportDevice();
    ASSERT_EQ(driver.boxes().size(), 1);
    EXPECT_EQ(driver.boxes()[0].title, u8("确认导入"));
    EXPECT_EQ(readAll(QStringLiteral("data/LocalDeviceList.csv")), fileBefore);
    EXPECT_EQ(page->deviceModel()->rowCount(), rowsBefore);
    const QVector<stDeviceData> memory = DeviceDatas::instance()->localDevices();
    ASSERT_EQ(memory.size(), 1);
    EXPECT_EQ(memory[0].ipAddress, "127.100.0.9");
}

TEST_F(PageTest, HeaderOnlyImportWritesAnEmptyListWithSuccess)
{
    const QString headerOnly = dir.filePath("empty.csv");
    writeFile(headerOnly, u8("序号,设备编号,设备名称,IP地址\n").toUtf8());
    driver.answerFileDialog(headerOnly);
    driver.answerBox(DialogDriver::kButton1);
    page->deviceModel()->setSavedProbeFactory([](QObject* parent) { return new LoadLocalDevice({}, 1, parent); });
    page->onImportDevice();
    ASSERT_EQ(driver.boxes().size(), 1);
    EXPECT_EQ(driver.boxes()[0].title, u8("设备导入"));
    EXPECT_EQ(driver.boxes()[0].text, u8("设备导入成功。"));
    EXPECT_TRUE(DeviceDatas::instance()->localDevices().isEmpty());
    const QByteArray written = readAll(QStringLiteral("data/LocalDeviceList.csv"));
    EXPECT_EQ(written.count('\n'), 1);
}

TEST_F(PageTest, ScreenshotOfThePageWithRows)
{
    refresh();
    select(FakeLocalPanel::address(2));
    page->show();
    waitUntil([] { return false; }, 200);
    const QPixmap shot = page->grab();
    ASSERT_FALSE(shot.isNull());
    EXPECT_TRUE(shot.save(QStringLiteral(LOCALPAGE_SCREENSHOT_PNG)));
}
