// The local page on a real broadcast interface: a network namespace of the
// test's own ("twlp<pid>") with a veth pair, the panels' addresses on one end
// and the page scanning the other. The test builds the namespace, runs itself
// again inside it (the inner role does the work) and removes it.

#include "tarnwick/ui/localdebugview.h"

#include "tarnwick/core/constants.h"
#include "tarnwick/ui/localdevicemodel.h"
#include "tarnwick/ui/tests/localpagetesthelpers.h"
#include "testing/fakediscovery/fakediscoveryresponder.h"
#include "testing/fakelocalpanel/fakelocalpanel.h"
#include "testing/vpnharness/netnslab.h"

#include <gtest/gtest.h>

#include <QAbstractItemModel>
#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTimer>

#include "tarnwick/core/forwarding/localnetforwardmanager.h"
#include "tarnwick/widgets/menuitem.h"
#include "tarnwick/widgets/menuitemgroup.h"
#include "tarnwick/widgets/messagebox.h"
#include "tarnwick/widgets/pixmaplabel.h"
#include "tarnwick/widgets/tests/dialogdriver.h"
#include "testing/fakepanel/wirewriter.h"

#include <QApplication>
#include <QPushButton>
#include <QTableView>
#include <QTest>

#include <atomic>
#include <chrono>
#include <mutex>
#include <thread>
#include <vector>

#include <fcntl.h>
#include <sched.h>
#include <unistd.h>

namespace C = Tarnwick::Constants;

namespace {

const char kInnerVariable[] = "TWLP_NETNS_INNER";
const char kPanelNsVariable[] = "TWLP_NETNS_PANEL";
const QString kScanInterface = QStringLiteral("twlpa");
const QString kPanelInterface = QStringLiteral("twlpb");

QString u8(const char* text)
{
    return QString::fromUtf8(text);
}

bool isInner()
{
    return qEnvironmentVariableIsSet(kInnerVariable);
}

struct Run {
    int code = -1;
    QString output;
};

Run run(const QString& program, const QStringList& args, int timeoutMs = 10000)
{
    QProcess process;
    process.setProcessChannelMode(QProcess::MergedChannels);
    process.start(program, args);
    Run result;
    if (!process.waitForFinished(timeoutMs)) {
        process.kill();
        process.waitForFinished(1000);
        result.output = QStringLiteral("timed out: ") + QString::fromLocal8Bit(process.readAll());
        return result;
    }
    result.output = QString::fromLocal8Bit(process.readAll());
    result.code = process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
    return result;
}

// The namespace of one test run, removed with everything inside.
class Namespace {
public:
    Namespace()
        : m_name(QStringLiteral("twlp%1").arg(getpid()))
        , m_panel(m_name + QStringLiteral("p"))
    {
    }
    ~Namespace()
    {
        if (m_created)
            run(QStringLiteral("ip"), {"netns", "del", m_name});
        if (m_panelCreated)
            run(QStringLiteral("ip"), {"netns", "del", m_panel});
    }

    // Moves the panel end of the pair into a namespace of its own, so that
    // the panels are real neighbours that a route can go through.
    bool splitPanel(QString* error)
    {
        const Run add = run(QStringLiteral("ip"), {"netns", "add", m_panel});
        if (add.code != 0) {
            *error = add.output;
            return false;
        }
        m_panelCreated = true;
        const QList<QPair<QString, QStringList>> steps = {
            {m_name, {"link", "set", kPanelInterface, "netns", m_panel}},
            {m_panel, {"link", "set", "lo", "up"}},
            {m_panel, {"addr", "add", "10.77.0.2/24", "brd", "+", "dev", kPanelInterface}},
            {m_panel, {"link", "set", kPanelInterface, "up"}},
        };
        for (const auto& step : steps) {
            const Run r = run(QStringLiteral("ip"), QStringList({"-n", step.first}) + step.second);
            if (r.code != 0) {
                *error = step.second.join(' ') + ": " + r.output;
                return false;
            }
        }
        qputenv(kPanelNsVariable, m_panel.toUtf8());
        return true;
    }

    static QString unavailableReason() { return NetnsLab::namespaceUnavailableReason(); }

    bool create(QString* error)
    {
        const Run add = run(QStringLiteral("ip"), {"netns", "add", m_name});
        if (add.code != 0) {
            *error = add.output;
            return false;
        }
        m_created = true;
        const QList<QStringList> steps = {
            {"link", "set", "lo", "up"},
            {"link", "add", kScanInterface, "type", "veth", "peer", "name", kPanelInterface},
            {"addr", "add", "10.77.0.1/24", "brd", "+", "dev", kScanInterface},
            {"addr", "add", "10.77.0.2/24", "brd", "+", "dev", kPanelInterface},
            {"addr", "add", "10.77.0.3/24", "brd", "+", "dev", kPanelInterface},
            {"addr", "add", "10.77.0.4/24", "brd", "+", "dev", kPanelInterface},
            {"link", "set", kScanInterface, "up"},
            {"link", "set", kPanelInterface, "up"},
        };
        for (const QStringList& step : steps) {
            const Run r = run(QStringLiteral("ip"), QStringList({"-n", m_name}) + step);
            if (r.code != 0) {
                *error = step.join(' ') + ": " + r.output;
                return false;
            }
        }
        return true;
    }

    // The current test again, inside the namespace.
    Run rerunInside(int timeoutMs)
    {
        const ::testing::TestInfo* info = ::testing::UnitTest::GetInstance()->current_test_info();
        qputenv(kInnerVariable, "1");
        const Run r = run(QStringLiteral("ip"),
                          {"netns", "exec", m_name, QCoreApplication::applicationFilePath(),
                           QStringLiteral("--gtest_filter=%1.%2").arg(info->test_suite_name(), info->name())},
                          timeoutMs);
        qunsetenv(kInnerVariable);
        return r;
    }

private:
    QString m_name;
    QString m_panel;
    bool m_created = false;
    bool m_panelCreated = false;
};

// Set when the machine cannot give the test a namespace; the test skips.
std::string g_skipReason;

// Runs the test body inside a namespace of its own; true in the inner role.
bool enterNamespace(bool splitPanel = false)
{
    if (isInner())
        return true;
    const QString reason = Namespace::unavailableReason();
    if (!reason.isEmpty()) {
        g_skipReason = reason.toStdString();
        return false;
    }
    Namespace ns;
    QString error;
    if (!ns.create(&error) || (splitPanel && !ns.splitPanel(&error))) {
        ADD_FAILURE() << "cannot build the namespace: " << error.toStdString();
        return false;
    }
    // The settings (where the forwarding keeps its route removal) stay in a
    // folder of the run's own.
    QTemporaryDir config;
    const QByteArray oldConfig = qgetenv("XDG_CONFIG_HOME");
    qputenv("XDG_CONFIG_HOME", config.path().toUtf8());
    const Run inner = ns.rerunInside(60000);
    if (oldConfig.isEmpty())
        qunsetenv("XDG_CONFIG_HOME");
    else
        qputenv("XDG_CONFIG_HOME", oldConfig);
    qunsetenv(kPanelNsVariable);
    EXPECT_EQ(inner.code, 0) << inner.output.toStdString();
    EXPECT_TRUE(inner.output.contains("[  PASSED  ] 1 test")) << inner.output.toStdString();
    return false;
}

// The panels: 10.77.0.2 with a free bridge, 10.77.0.3 held by another client,
// 10.77.0.4 held by this program; each answers the broadcast from its own
// address and reports a LAN address.
struct Panels {
    FakeLocalPanel free{"10.77.0.2", "SN-0002", "Press"};
    FakeLocalPanel held{"10.77.0.3", "SN-0003", "Lathe"};
    FakeLocalPanel linked{"10.77.0.4", "SN-0004", "Drill"};
    std::unique_ptr<FakeDiscoveryResponder> first;
    std::unique_ptr<FakeDiscoveryResponder> second;
    std::unique_ptr<FakeDiscoveryResponder> third;

    explicit Panels(bool silent = false)
    {
        held.setBridge(1, "{another-client}");
        linked.setBridge(1, C::kClientId.toLower().toStdString());
        FakeDiscoveryResponder::Config a;
        a.sourceAddress = "10.77.0.2";
        a.reportedAddress = "192.168.1.50";
        a.silent = silent;
        first = std::make_unique<FakeDiscoveryResponder>(a, C::kDiscoveryPort);
        FakeDiscoveryResponder::Config b = a;
        b.sourceAddress = "10.77.0.3";
        b.reportedAddress = "192.168.1.51";
        second = std::make_unique<FakeDiscoveryResponder>(b, C::kDiscoveryPort);
        FakeDiscoveryResponder::Config c = a;
        c.sourceAddress = "10.77.0.4";
        c.reportedAddress = "192.168.1.52";
        third = std::make_unique<FakeDiscoveryResponder>(c, C::kDiscoveryPort);
    }
};

// A working folder whose saved list holds an unreachable panel, one already
// found by its address, one by its device number and one by the LAN address
// of a linked panel.
struct WorkingFolder {
    QTemporaryDir dir;
    WorkingFolder()
    {
        QDir::setCurrent(dir.path());
        QDir().mkpath(QStringLiteral("data"));
        QFile f(QStringLiteral("data/LocalDeviceList.csv"));
        if (f.open(QIODevice::WriteOnly))
            f.write(u8("\xEF\xBB\xBF序号,设备编号,设备名称,IP地址\n"
                       "1,'SN-9','Mill','10.77.0.9'\n"
                       "2,'SN-X','same address','10.77.0.2'\n"
                       "3,'SN-0003','same number','10.77.0.30'\n"
                       "4,'SN-L','linked LAN','192.168.1.52'\n")
                        .toUtf8());
    }
};

} // namespace

TEST(LocalPageNetns, RefreshOnTheVethListsPanelsByTheirOwnAddresses)
{
    if (!enterNamespace()) {
        if (!g_skipReason.empty())
            GTEST_SKIP() << g_skipReason;
        return;
    }
    WorkingFolder folder;
    Panels panels;
    ASSERT_TRUE(panels.first->isListening() && panels.second->isListening());
    LocalDebugView page;
    QElapsedTimer timer;
    timer.start();
    page.setNetIntf(kScanInterface);
    EXPECT_LT(timer.elapsed(), 7500);

    const QMap<QString, QStringList> rows = rowsByIp(page.deviceModel());
    EXPECT_EQ(rows.size(), 4) << rows.keys().join(' ').toStdString();
    EXPECT_EQ(rows["10.77.0.2"], QStringList({"SN-0002", "Press", u8("在  线"), "10.77.0.2", "192.168.1.50"}));
    EXPECT_EQ(rows["10.77.0.3"], QStringList({"SN-0003", "Lathe", u8("占  用"), "10.77.0.3", "192.168.1.51"}));
    EXPECT_EQ(rows["10.77.0.4"], QStringList({"SN-0004", "Drill", u8("联  机"), "10.77.0.4", "192.168.1.52"}));
    EXPECT_EQ(rows["10.77.0.9"], QStringList({"SN-9", "Mill", u8("离  线"), "10.77.0.9", ""}));
    page.exitPage();
}

TEST(LocalPageNetns, CancelDuringTheScanKeepsTheOldRows)
{
    if (!enterNamespace()) {
        if (!g_skipReason.empty())
            GTEST_SKIP() << g_skipReason;
        return;
    }
    WorkingFolder folder;
    Panels panels;
    LocalDebugView page;
    page.setNetIntf(kScanInterface);
    ASSERT_EQ(page.deviceModel()->rowCount(), 4);

    QSignalSpy cancelled(&page, &LocalDebugView::cancelComplete);
    QSignalSpy resets(page.deviceModel(), &QAbstractItemModel::modelReset);
    QTimer::singleShot(500, &page, [&page] { page.cancelRefresh(); });
    QElapsedTimer timer;
    timer.start();
    page.deviceModel()->RefreshDevice();
    EXPECT_LT(timer.elapsed(), 2500);
    EXPECT_EQ(cancelled.count(), 1);
    EXPECT_EQ(resets.count(), 0);
    EXPECT_EQ(page.deviceModel()->rowCount(), 4);
    page.exitPage();
}

namespace {

// Makes the sockets of what `make` builds inside the panel namespace: the
// calling thread enters it for the construction and comes back.
template <class Make>
void inPanelNamespace(Make make)
{
    const QByteArray panel = qgetenv(kPanelNsVariable);
    const int own = ::open("/proc/self/ns/net", O_RDONLY | O_CLOEXEC);
    const int target = ::open(("/var/run/netns/" + panel).constData(), O_RDONLY | O_CLOEXEC);
    ASSERT_GE(own, 0);
    ASSERT_GE(target, 0) << panel.constData();
    ASSERT_EQ(::setns(target, CLONE_NEWNET), 0);
    make();
    ASSERT_EQ(::setns(own, CLONE_NEWNET), 0);
    ::close(target);
    ::close(own);
}

QString routeTo(const QString& network)
{
    return run(QStringLiteral("ip"), {"-4", "route", "show", network}).output.trimmed();
}

// The panel 10.77.0.2 in the panel's own namespace, answering the scan with
// its LAN address 192.168.1.50; the saved list is gone.
struct NeighbourPanel {
    std::unique_ptr<FakeLocalPanel> panel;
    std::unique_ptr<FakeDiscoveryResponder> responder;

    NeighbourPanel()
    {
        QFile::remove(QStringLiteral("data/LocalDeviceList.csv"));
        inPanelNamespace([this] {
            panel = std::make_unique<FakeLocalPanel>("10.77.0.2", "SN-0002", "Press");
            FakeDiscoveryResponder::Config c;
            c.sourceAddress = "10.77.0.2";
            c.reportedAddress = "192.168.1.50";
            responder = std::make_unique<FakeDiscoveryResponder>(c, C::kDiscoveryPort);
        });
    }
};

// Scans the veth and chooses its one row, as a click on the row does.
void chooseOnlyRow(LocalDebugView& page)
{
    page.setNetIntf(kScanInterface);
    ASSERT_EQ(page.deviceModel()->rowCount(), 1);
    QTableView* table = page.deviceTable();
    const QModelIndex row = table->model()->index(0, 1);
    table->setCurrentIndex(row);
    QMetaObject::invokeMethod(&page, "onDeviceSelectChange", Q_ARG(QModelIndex, row));
}

} // namespace

TEST(LocalPageNetns, ForwardedPanelFollowsFilterAndEndsWhenARefreshLosesIt)
{
    if (!enterNamespace(true)) {
        if (!g_skipReason.empty())
            GTEST_SKIP() << g_skipReason;
        return;
    }
    WorkingFolder folder;
    NeighbourPanel neighbour;
    std::unique_ptr<FakeLocalPanel>& panel = neighbour.panel;
    std::unique_ptr<FakeDiscoveryResponder>& responder = neighbour.responder;
    panel->service().addMethod("bridgeControl",
                               [](Fake::MethodArgs&, Fake::MethodResult& result) { result.addInt(0); });

    LocalDebugView page;
    DialogDriver driver;
    ASSERT_NO_FATAL_FAILURE(chooseOnlyRow(page));
    QTableView* table = page.deviceTable();
    MenuItem* connectItem = page.menu()->item(1);
    EXPECT_FALSE(connectItem->isItemDisabled());
    EXPECT_EQ(connectItem->label()->text(), u8("联机"));

    // "联机": the bridge goes on, the route goes through the panel, a notice.
    driver.answerBox(DialogDriver::kButton1);
    QMetaObject::invokeMethod(&page, "onStartVPN");
    ASSERT_TRUE(waitUntil([&] { return driver.boxes().size() == 1; }, 10000));
    EXPECT_TRUE(page.isVpnConnected());
    EXPECT_EQ(driver.boxes()[0].text, u8("设备联机成功!"));
    EXPECT_EQ(connectItem->label()->text(), u8("停止"));
    EXPECT_EQ(page.netForwardManager()->deviceIp(), "10.77.0.2");
    EXPECT_TRUE(routeTo("192.168.1.0/24").contains("via 10.77.0.2")) << routeTo("192.168.1.0/24").toStdString();
    EXPECT_EQ(table->model()->index(0, 3).data().toString(), u8("联  机"));

    // A filter that hides the forwarded row gives a disabled "联机"; clearing
    // it brings back "停止".
    QMetaObject::invokeMethod(&page, "onFilterChange", Q_ARG(QString, QStringLiteral("nothing")));
    EXPECT_TRUE(connectItem->isItemDisabled());
    EXPECT_EQ(connectItem->label()->text(), u8("联机"));
    QMetaObject::invokeMethod(&page, "onFilterChange", Q_ARG(QString, QString()));
    EXPECT_FALSE(connectItem->isItemDisabled());
    EXPECT_EQ(connectItem->label()->text(), u8("停止"));

    // The panel goes away; the next refresh no longer lists it: the selection
    // is cleared and the forwarding ends with a notice.
    responder.reset();
    panel.reset();
    driver.answerBox(DialogDriver::kButton1);
    page.deviceModel()->RefreshDevice();
    EXPECT_EQ(page.deviceModel()->rowCount(), 0);
    EXPECT_TRUE(page.selectedAddress().isEmpty());
    ASSERT_TRUE(waitUntil([&] { return driver.boxes().size() == 2; }, 10000));
    EXPECT_EQ(driver.boxes()[1].text, u8("设备联机已断开!"));
    EXPECT_TRUE(page.netForwardManager()->deviceIp().isEmpty());
    EXPECT_TRUE(routeTo("192.168.1.0/24").isEmpty());
    EXPECT_TRUE(connectItem->isItemDisabled());
    page.exitPage();
}

// The "联机"/"停止" item follows the forwarding manager: unavailable while a
// start or stop is pending (the manager ignores requests then, so a click
// there is refused visibly, not lost), and it shows the outcome as soon as
// the manager has it, before the notice box, even when a refresh runs inside
// that box's wait.
TEST(LocalPageNetns, ConnectItemFollowsTheForwardingAndNoClickIsLost)
{
    if (!enterNamespace(true)) {
        if (!g_skipReason.empty())
            GTEST_SKIP() << g_skipReason;
        return;
    }
    WorkingFolder folder;
    NeighbourPanel neighbour;
    std::unique_ptr<FakeLocalPanel>& panel = neighbour.panel;
    // The bridge switch answers once the test opens the gate (well inside
    // the caller's time-out); every switch is noted.
    struct Bridge {
        std::mutex mutex;
        std::vector<bool> switches;
        std::atomic<bool> gateOpen{false};
    };
    auto bridge = std::make_shared<Bridge>();
    panel->service().addMethod("bridgeControl", [bridge](Fake::MethodArgs& args, Fake::MethodResult& result) {
        args.readString();
        const bool on = args.readBool();
        {
            std::lock_guard<std::mutex> lock(bridge->mutex);
            bridge->switches.push_back(on);
        }
        for (int i = 0; i < 300 && !bridge->gateOpen; ++i)
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        result.addInt(0);
    });
    panel->service().addMethod("bridgeBeat", [](Fake::MethodArgs&, Fake::MethodResult& result) {
        result.addRecord("BridgeStatus", Fake::WireWriter().u32(1).string("{test}").take());
    });
    auto switches = [bridge] {
        std::lock_guard<std::mutex> lock(bridge->mutex);
        return bridge->switches;
    };

    LocalDebugView page;
    page.show();
    ASSERT_NO_FATAL_FAILURE(chooseOnlyRow(page));
    LocalNetForwardManager* manager = page.netForwardManager();
    MenuItem* item = page.menu()->item(1);
    ASSERT_FALSE(item->isItemDisabled());
    ASSERT_EQ(item->label()->text(), u8("联机"));
    auto click = [item] { QTest::mouseClick(item, Qt::LeftButton, Qt::NoModifier, item->rect().center()); };

    // While the start waits for the panel: the item cannot be clicked, and a
    // click on it starts nothing more.
    struct Look {
        QString state;
        QString text;
        bool disabled = false;
    };
    auto look = [&] { return Look{manager->stateName(), item->label()->text(), item->isItemDisabled()}; };
    Look duringStart;
    size_t switchesAfterSecondClick = 0;
    QTimer::singleShot(500, &page, [&] {
        duringStart = look();
        page.grab().save(QStringLiteral(LOCALPAGE_PENDING_PNG));
        click();
        switchesAfterSecondClick = switches().size();
        bridge->gateOpen = true;
    });
    click();
    EXPECT_EQ(duringStart.state, QStringLiteral("pending"));
    EXPECT_TRUE(duringStart.disabled);
    EXPECT_EQ(switchesAfterSecondClick, 1u);
    // The start has ended: the item says "停止" before any notice was shown.
    const Look afterStart = look();
    EXPECT_EQ(afterStart.state, QStringLiteral("start"));
    EXPECT_EQ(afterStart.text, u8("停止"));
    EXPECT_FALSE(afterStart.disabled);
    EXPECT_TRUE(routeTo("192.168.1.0/24").contains("via 10.77.0.2")) << routeTo("192.168.1.0/24").toStdString();

    // The success notice: a refresh starts inside its wait, the box is
    // dismissed and "停止" clicked while that refresh still runs.
    QStringList boxTexts;
    QVector<QWidget*> handled;
    Look atFirstBox;
    Look afterStop;
    bool refreshingAtStop = false;
    size_t switchesAtStop = 0;
    QString routeAtStop;
    QTimer poll;
    poll.setInterval(20);
    QObject::connect(&poll, &QTimer::timeout, &page, [&] {
        for (QWidget* w : QApplication::topLevelWidgets()) {
            auto* box = qobject_cast<MessageBox*>(w);
            if (box == nullptr || !box->isVisible() || handled.contains(box))
                continue;
            handled << box;
            boxTexts << DialogDriver::describe(box).text;
            QPushButton* confirm = box->findChildren<QPushButton*>(QString(), Qt::FindDirectChildrenOnly).value(0);
            if (boxTexts.size() > 1) {
                if (confirm)
                    confirm->click();
                continue;
            }
            atFirstBox = look();
            QTimer::singleShot(0, &page, [&, confirm] {
                QTimer::singleShot(300, &page, [confirm] {
                    if (confirm)
                        confirm->click();
                });
                QTimer::singleShot(800, &page, [&] {
                    click();
                    afterStop = look();
                    refreshingAtStop = page.deviceModel()->isRefreshing();
                    switchesAtStop = switches().size();
                    routeAtStop = routeTo("192.168.1.0/24");
                });
                page.deviceModel()->RefreshDevice();
            });
        }
    });
    poll.start();
    ASSERT_TRUE(waitUntil([&] { return boxTexts.size() == 2 && !page.deviceModel()->isRefreshing(); }, 30000))
        << boxTexts.join('|').toStdString();
    poll.stop();
    EXPECT_EQ(boxTexts, QStringList({u8("设备联机成功!"), u8("设备联机已断开!")}));
    EXPECT_EQ(atFirstBox.text, u8("停止"));
    EXPECT_FALSE(atFirstBox.disabled);
    // The stop took effect inside the refresh that ran inside the box.
    EXPECT_TRUE(refreshingAtStop);
    EXPECT_EQ(switchesAtStop, 2u);
    EXPECT_TRUE(routeAtStop.isEmpty()) << routeAtStop.toStdString();
    EXPECT_EQ(afterStop.state, QStringLiteral("stop"));
    EXPECT_EQ(afterStop.text, u8("联机"));
    EXPECT_FALSE(afterStop.disabled);

    EXPECT_EQ(switches(), std::vector<bool>({true, false}));
    EXPECT_EQ(item->label()->text(), u8("联机"));
    EXPECT_FALSE(item->isItemDisabled());
    page.exitPage();
}
