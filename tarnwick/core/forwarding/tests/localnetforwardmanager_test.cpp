#include "tarnwick/core/forwarding/localnetforwardmanager.h"

#include "tarnwick/core/constants.h"
#include "tarnwick/core/messages/msgdispatcher.h"
#include "tarnwick/core/messages/uimsg.h"
#include "tarnwick/core/tests/paneltesthelpers.h"

#include "platform/process/recordingcommandrunner.h"
#include "platform/settings/registrysettings.h"
#include "testing/fakepanel/fakepanelservice.h"
#include "testing/main/logcapture.h"
#include "testing/panelservices/panelmethodtable.h"

#include <gtest/gtest.h>

#include <QDeadlineTimer>
#include <QElapsedTimer>
#include <QFile>
#include <QSemaphore>
#include <QTemporaryDir>
#include <QTimer>

#include <memory>

using Fake::PanelAnswer;
using Fake::WireWriter;
using PanelTest::settle;
using PanelTest::waitUntil;

namespace {

const QString kPanel = QStringLiteral("127.0.0.1");
const QString kLan = QStringLiteral("192.168.1.25");

QStringList list(std::initializer_list<const char*> items)
{
    QStringList out;
    for (const char* s : items)
        out << QString::fromLatin1(s);
    return out;
}

std::vector<uint8_t> bridgeStatus(int status)
{
    return WireWriter().i32(status).string("{holder}").take();
}

class LocalNetForwardTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(m_config.isValid());
        qputenv("XDG_CONFIG_HOME", QFile::encodeName(m_config.path()));
        m_table.setResult("bridgeControl", WireWriter().i32(0).take());
        m_table.setResult("bridgeBeat", bridgeStatus(1));
    }

    void TearDown() override
    {
        m_manager.reset();
        qunsetenv("XDG_CONFIG_HOME");
    }

    void makeManager()
    {
        m_manager = std::make_unique<LocalNetForwardManager>(&m_runner);
        m_manager->setServicePort(m_panel.port());
        LocalNetForwardManager* m = m_manager.get();
        QObject::connect(m, &LocalNetForwardManager::deviceOfflineline,
                         [this](QString ip) { m_signals << QStringLiteral("offline ") + ip; });
        QObject::connect(m, &LocalNetForwardManager::deviceDropline,
                         [this](QString ip) { m_signals << QStringLiteral("dropline ") + ip; });
        QObject::connect(m, &LocalNetForwardManager::deviceBusy,
                         [this](QString ip) { m_signals << QStringLiteral("busy ") + ip; });
        QObject::connect(m, &LocalNetForwardManager::deviceConnectComplete, [this](QString ip, bool ok) {
            m_signals << QStringLiteral("complete %1 %2").arg(ip, ok ? "true" : "false");
        });
        QObject::connect(m, &LocalNetForwardManager::unsupport,
                         [this](QString ip) { m_signals << QStringLiteral("unsupport ") + ip; });
        QObject::connect(m, &LocalNetForwardManager::stateChanged, [this, m](QString state) {
            EXPECT_EQ(m->stateName(), state);
            m_states << state;
        });
    }

    static QString stored()
    {
        RegistrySettings settings(Tarnwick::Constants::kSettingsPath);
        return settings.value(Tarnwick::Constants::kKeyLocalNetRouteDelCmd).toString();
    }

    static void store(const QString& text)
    {
        RegistrySettings settings(Tarnwick::Constants::kSettingsPath);
        settings.setValue(Tarnwick::Constants::kKeyLocalNetRouteDelCmd, text);
        settings.sync();
    }

    // The bridge switch calls the panel received, as "on"/"off".
    std::vector<std::string> bridgeSwitches() const
    {
        std::vector<std::string> out;
        for (const auto& args : m_table.argsOf("bridgeControl")) {
            EXPECT_EQ(args.at(0).text(), Tarnwick::Constants::kClientId.toStdString());
            out.push_back(args.at(1).boolean() ? "on" : "off");
        }
        return out;
    }

    bool startForwarding()
    {
        m_manager->startNetForward(kPanel, kLan);
        return waitUntil([this] { return !m_signals.isEmpty(); }, 10000);
    }

    QTemporaryDir m_config;
    Fake::FakePanelService m_panel{"127.0.0.1"};
    Fake::PanelMethodTable m_table{m_panel, Fake::PanelMethodTable::serviceMethods()};
    RecordingCommandRunner m_runner;
    QStringList m_signals;
    QStringList m_states; // every state change, in order
    std::unique_ptr<LocalNetForwardManager> m_manager;
};

TEST_F(LocalNetForwardTest, StartAddsTheRouteAfterTheBridgeAndStopTakesBothBack)
{
    makeManager();
    ASSERT_TRUE(startForwarding());
    EXPECT_EQ(m_signals, QStringList({QStringLiteral("complete 127.0.0.1 true")}));
    EXPECT_EQ(bridgeSwitches(), std::vector<std::string>({"on"}));
    ASSERT_EQ(m_runner.callCount(), 1);
    EXPECT_EQ(m_runner.calls()[0].arguments, list({"-4", "route", "add", "192.168.1.0/24", "via", "127.0.0.1"}));
    EXPECT_EQ(stored(), QStringLiteral("route delete 192.168.1.0 127.0.0.1"));
    EXPECT_EQ(m_manager->stateName(), QStringLiteral("start"));
    EXPECT_EQ(m_states, list({"pending", "start"}));
    EXPECT_EQ(m_manager->deviceIp(), kPanel);

    // The same panel again changes nothing.
    m_manager->startNetForward(kPanel, kLan);
    settle(100);
    EXPECT_EQ(m_runner.callCount(), 1);
    EXPECT_EQ(bridgeSwitches().size(), 1u);

    m_manager->stopNetForward(true);
    ASSERT_TRUE(waitUntil([this] { return m_signals.size() == 2; }, 5000));
    EXPECT_EQ(m_signals.last(), QStringLiteral("offline 127.0.0.1"));
    EXPECT_EQ(bridgeSwitches(), std::vector<std::string>({"on", "off"}));
    ASSERT_EQ(m_runner.callCount(), 2);
    EXPECT_EQ(m_runner.calls()[1].arguments, list({"-4", "route", "del", "192.168.1.0/24", "via", "127.0.0.1"}));
    EXPECT_EQ(stored(), QString());
    EXPECT_EQ(m_manager->stateName(), QStringLiteral("stop"));
    EXPECT_EQ(m_states, list({"pending", "start", "pending", "stop"}));
    EXPECT_EQ(m_manager->deviceIp(), QString());

    // In "stop" a stop does nothing.
    m_manager->stopNetForward(true);
    settle(100);
    EXPECT_EQ(m_runner.callCount(), 2);
    EXPECT_EQ(m_signals.size(), 2);
    EXPECT_EQ(m_states.size(), 4);
}

TEST_F(LocalNetForwardTest, HeartbeatWithoutBridgeDropsTheForward)
{
    makeManager();
    m_manager->setBeatInterval(100);
    ASSERT_TRUE(startForwarding());
    m_table.setResult("bridgeBeat", bridgeStatus(0));
    ASSERT_TRUE(waitUntil([this] { return m_signals.size() == 2; }, 10000));
    EXPECT_EQ(m_signals.last(), QStringLiteral("dropline 127.0.0.1"));
    EXPECT_EQ(m_runner.argumentLines().last(), QStringLiteral("-4 route del 192.168.1.0/24 via 127.0.0.1"));
    EXPECT_EQ(stored(), QString());
    EXPECT_EQ(m_manager->stateName(), QStringLiteral("stop"));
    EXPECT_EQ(m_states, list({"pending", "start", "stop"}));
    EXPECT_EQ(m_manager->deviceIp(), QString());
    const size_t beats = m_table.argsOf("bridgeBeat").size();
    settle(400);
    EXPECT_EQ(m_table.argsOf("bridgeBeat").size(), beats); // the timer is off
}

TEST_F(LocalNetForwardTest, PanelWithoutBridgeMethodsIsUnsupported)
{
    makeManager();
    m_manager->setBeatInterval(100);
    ASSERT_TRUE(startForwarding());
    m_table.setAnswer("bridgeBeat", PanelAnswer::Unregistered);
    ASSERT_TRUE(waitUntil([this] { return m_signals.size() == 2; }, 10000));
    EXPECT_EQ(m_signals.last(), QStringLiteral("unsupport 127.0.0.1"));
    EXPECT_EQ(stored(), QString());

    m_signals.clear();
    m_table.setAnswer("bridgeControl", PanelAnswer::Unregistered);
    ASSERT_TRUE(startForwarding());
    EXPECT_EQ(m_signals, QStringList({QStringLiteral("unsupport 127.0.0.1")}));
    EXPECT_EQ(m_runner.callCount(), 2); // the add and delete of the first forwarding only
}

TEST_F(LocalNetForwardTest, BeatTicksAreSkippedWhileOneWaits)
{
    makeManager();
    ASSERT_TRUE(startForwarding());
    m_panel.setReplyDelay(std::chrono::milliseconds(1500));
    m_manager->setBeatInterval(100);
    settle(1200);
    EXPECT_EQ(m_table.argsOf("bridgeBeat").size(), 1u);
    m_panel.setReplyDelay(std::chrono::milliseconds(0));
    ASSERT_TRUE(waitUntil([this] { return m_table.argsOf("bridgeBeat").size() >= 3; }, 10000));
    EXPECT_EQ(m_manager->stateName(), QStringLiteral("start"));
}

TEST_F(LocalNetForwardTest, RefusedRouteTurnsTheBridgeOffAndReportsFailure)
{
    m_runner.setDefaultResult(RecordingCommandRunner::exitResult(2, "RTNETLINK answers: Operation not permitted"));
    makeManager();
    ASSERT_TRUE(startForwarding());
    EXPECT_EQ(m_signals, QStringList({QStringLiteral("complete 127.0.0.1 false")}));
    EXPECT_EQ(bridgeSwitches(), std::vector<std::string>({"on", "off"}));
    EXPECT_EQ(m_runner.argumentLines(), QStringList({QStringLiteral("-4 route add 192.168.1.0/24 via 127.0.0.1")}));
    EXPECT_EQ(stored(), QString());
    EXPECT_EQ(m_manager->stateName(), QStringLiteral("stop"));
    EXPECT_EQ(m_manager->deviceIp(), QString());
}

TEST_F(LocalNetForwardTest, BadAddressesEndBeforeAnyPanelCallOrCommand)
{
    makeManager();
    for (const auto& [access, lan] :
         std::vector<std::pair<QString, QString>>{{QStringLiteral("127.0.0.1 extra"), kLan},
                                                  {kPanel, QStringLiteral("192.168.1.25; reboot")},
                                                  {QStringLiteral("127.0.0.01"), kLan},
                                                  {QString(), kLan},
                                                  {kPanel, QString()}}) {
        m_signals.clear();
        m_manager->startNetForward(access, lan);
        settle(50);
        EXPECT_EQ(m_signals, QStringList({QStringLiteral("complete %1 false").arg(access)})) << access.toStdString();
        EXPECT_EQ(m_manager->stateName(), QStringLiteral("stop"));
    }
    EXPECT_EQ(m_panel.callCount(), 0u);
    EXPECT_EQ(m_runner.callCount(), 0);
}

TEST_F(LocalNetForwardTest, BusyAndRefusedBridgeAddNoRoute)
{
    makeManager();
    m_table.setResult("bridgeControl", WireWriter().i32(1).take());
    ASSERT_TRUE(startForwarding());
    EXPECT_EQ(m_signals, QStringList({QStringLiteral("busy 127.0.0.1")}));
    m_signals.clear();
    m_table.setResult("bridgeControl", WireWriter().i32(7).take());
    ASSERT_TRUE(startForwarding());
    EXPECT_EQ(m_signals, QStringList({QStringLiteral("complete 127.0.0.1 false")}));
    EXPECT_EQ(m_runner.callCount(), 0);
    EXPECT_EQ(stored(), QString());
}

TEST_F(LocalNetForwardTest, UnreachablePanelFails)
{
    makeManager();
    m_panel.stop();
    QElapsedTimer clock;
    clock.start();
    ASSERT_TRUE(startForwarding());
    EXPECT_EQ(m_signals, QStringList({QStringLiteral("complete 127.0.0.1 false")}));
    EXPECT_LT(clock.elapsed(), 8000);
    EXPECT_EQ(m_runner.callCount(), 0);
}

TEST_F(LocalNetForwardTest, DestructionEndsTheForwardingSilently)
{
    makeManager();
    ASSERT_TRUE(startForwarding());
    m_signals.clear();
    m_manager.reset();
    EXPECT_EQ(bridgeSwitches(), std::vector<std::string>({"on", "off"}));
    EXPECT_EQ(m_runner.argumentLines().last(), QStringLiteral("-4 route del 192.168.1.0/24 via 127.0.0.1"));
    EXPECT_EQ(stored(), QString());
    settle(50);
    EXPECT_TRUE(m_signals.isEmpty());
}

TEST_F(LocalNetForwardTest, RouteDroppedAtOnceWithoutEventsOrAWordToThePanel)
{
    makeManager();
    ASSERT_TRUE(startForwarding());
    m_signals.clear();
    bool eventRan = false;
    QTimer::singleShot(0, [&] { eventRan = true; });

    m_manager->dropRouteNow();
    EXPECT_FALSE(eventRan);
    EXPECT_EQ(m_runner.argumentLines().last(), QStringLiteral("-4 route del 192.168.1.0/24 via 127.0.0.1"));
    EXPECT_EQ(stored(), QString());
    EXPECT_EQ(m_manager->deviceIp(), QString());
    const int commands = m_runner.callCount();
    m_manager->dropRouteNow();
    EXPECT_EQ(m_runner.callCount(), commands);
    settle(100);
    EXPECT_TRUE(m_signals.isEmpty());
    EXPECT_EQ(bridgeSwitches(), std::vector<std::string>({"on"}));
}

TEST_F(LocalNetForwardTest, StoredRemovalIsCarriedOutOnceAtConstruction)
{
    store(QStringLiteral("route delete 10.1.2.0 10.0.0.5"));
    makeManager();
    EXPECT_EQ(m_runner.argumentLines(), QStringList({QStringLiteral("-4 route del 10.1.2.0/24 via 10.0.0.5")}));
    EXPECT_EQ(stored(), QString());
    m_manager.reset();
    m_runner.clear();
    makeManager();
    EXPECT_EQ(m_runner.callCount(), 0);
}

TEST_F(LocalNetForwardTest, TamperedStoredValuesRunNothingAndAreCleared)
{
    for (const QString& text :
         {QStringLiteral("calc.exe"), QStringLiteral("route delete 1.2.3.4 5.6.7.8 extra"),
          QStringLiteral("route add 1.2.3.0 mask 255.255.255.0 1.2.3.4"),
          QStringLiteral("route delete 1.2.3.4 5.6.7.8; reboot"), QStringLiteral("route  delete 1.2.3.4 5.6.7.8"),
          QStringLiteral("route delete 1.2.3.256 5.6.7.8")}) {
        store(text);
        makeManager();
        EXPECT_EQ(m_runner.callCount(), 0) << text.toStdString();
        EXPECT_EQ(stored(), QString()) << text.toStdString();
        m_manager.reset();
    }
}

TEST_F(LocalNetForwardTest, SilentStopLeavesTheStateAndAllowsANewStart)
{
    makeManager();
    ASSERT_TRUE(startForwarding());
    m_signals.clear();
    m_manager->stopNetForwardSilently();
    settle(50);
    EXPECT_TRUE(m_signals.isEmpty());
    EXPECT_EQ(stored(), QString());
    EXPECT_EQ(m_manager->stateName(), QStringLiteral("start"));
    ASSERT_TRUE(startForwarding());
    EXPECT_EQ(m_signals, QStringList({QStringLiteral("complete 127.0.0.1 true")}));
    EXPECT_EQ(bridgeSwitches(), std::vector<std::string>({"on", "off", "on"}));
}

// The program's end during a start to a panel that does not answer: the
// end's wait gives up at its deadline and names what holds it. The
// dispatcher carries the stop on: once the panel answers, the bridge that
// the start switched on goes off again. No route is ever added.
TEST_F(LocalNetForwardTest, AnEndDuringAStartGivesUpAtItsDeadlineAndTheBridgeGoesOffLater)
{
    makeManager();
    m_panel.setReading(false);
    TestLog::LogCapture log;
    qint64 endTook = -1;
    QTimer::singleShot(300, [&] {
        QElapsedTimer clock;
        clock.start();
        m_manager->endNetForward(QDeadlineTimer(500));
        endTook = clock.elapsed();
        m_panel.setReading(true);
    });
    m_manager->startNetForward(kPanel, kLan); // returns when the start's own wait ends
    EXPECT_GE(endTook, 450);
    EXPECT_LT(endTook, 3000);
    EXPECT_TRUE(log.contains(QStringLiteral("UiMsg \"bridge off 127.0.0.1\" not done"))) << log.all();
    EXPECT_TRUE(
        log.contains(QStringLiteral("(the dispatcher runs UiMsg \"bridge on 127.0.0.1\"): not waited for any more")))
        << log.all();
    ASSERT_TRUE(waitUntil([this] { return bridgeSwitches().size() == 2; }, 10000));
    EXPECT_EQ(bridgeSwitches(), std::vector<std::string>({"on", "off"}));
    EXPECT_EQ(m_runner.callCount(), 0);
    EXPECT_EQ(m_manager->deviceIp(), QString());
    EXPECT_EQ(m_manager->stateName(), QStringLiteral("stop"));
    settle(50);
    EXPECT_TRUE(m_signals.isEmpty());
}

// The program's end while the panel answers: the bridge goes off and the
// route goes, within the end's deadline, with nothing given up. The end's
// later stops (the page's, the destructor's) then wait for nothing, even
// behind a dispatcher that is held.
TEST_F(LocalNetForwardTest, AnEndWhileThePanelAnswersSwitchesTheBridgeOffAndLaterStopsWaitForNothing)
{
    makeManager();
    ASSERT_TRUE(startForwarding());
    m_signals.clear();
    TestLog::LogCapture log;
    m_manager->endNetForward(QDeadlineTimer(3000));
    EXPECT_EQ(bridgeSwitches(), std::vector<std::string>({"on", "off"}));
    EXPECT_EQ(m_runner.argumentLines().last(), QStringLiteral("-4 route del 192.168.1.0/24 via 127.0.0.1"));
    EXPECT_EQ(stored(), QString());
    EXPECT_EQ(m_manager->deviceIp(), QString());
    EXPECT_FALSE(log.contains(QStringLiteral("not waited for"))) << log.all();

    auto gate = std::make_shared<QSemaphore>();
    MsgDispatcher::instance()->post(std::make_unique<UiMsg>([gate](UiMsg*) {
        gate->tryAcquire(1, 5000); // a stop that waits fails the test, not hangs it
        return 0;
    }));
    QElapsedTimer clock;
    clock.start();
    m_manager->stopNetForwardSilently();
    m_manager.reset();
    EXPECT_LT(clock.elapsed(), 1000);
    gate->release();
    EXPECT_EQ(UiMsg::postAndWait([](UiMsg*) { return 0; }), 0);
    EXPECT_EQ(bridgeSwitches().size(), 2u);
    settle(50);
    EXPECT_TRUE(m_signals.isEmpty());
}

} // namespace
