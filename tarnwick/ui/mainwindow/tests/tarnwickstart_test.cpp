#include "tarnwick/ui/mainwindow/tarnwickstart.h"

#include "platform/instancelock/instancelock.h"
#include "tarnwick/ui/mainwindow/tests/mainwindowtesthelpers.h"
#include "tarnwick/ui/mainwindow/tests/testhome.h"
#include "testing/fakepanel/fakepanelservice.h"
#include "testing/panelservices/panelmethodtable.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QLabel>
#include <QMessageBox>
#include <QProcess>
#include <QPushButton>
#include <QRegularExpression>
#include <QThread>
#include <QTimer>

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <thread>

#include <signal.h>
#include <sys/stat.h>
#include <sys/types.h>

namespace {

// Answers the start's critical boxes (Qt's own) and records their texts.
class CriticalBoxWatcher {
public:
    CriticalBoxWatcher()
    {
        QObject::connect(&m_timer, &QTimer::timeout, [this] {
            for (QWidget* w : QApplication::topLevelWidgets()) {
                auto* box = qobject_cast<QMessageBox*>(w);
                if (box == nullptr || !box->isVisible())
                    continue;
                titles << box->windowTitle();
                texts << box->text();
                box->done(QMessageBox::Ok);
            }
        });
        m_timer.start(10);
    }
    QStringList titles;
    QStringList texts;

private:
    QTimer m_timer;
};

QString lockProbe()
{
    Platform::InstanceLock probe("Global/Tarnwick", QFile::encodeName(TarnwickStart::dataFolder()).toStdString());
    switch (probe.acquire()) {
    case Platform::LockResult::Acquired: return QStringLiteral("free");
    case Platform::LockResult::HeldElsewhere: return QStringLiteral("held");
    default: return QStringLiteral("error");
    }
}

QProcessEnvironment childEnvironment()
{
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    for (const char* name : {"XDG_CONFIG_HOME", "XDG_DATA_HOME", "XDG_RUNTIME_DIR"})
        env.insert(QString::fromLatin1(name), qEnvironmentVariable(name));
    return env;
}

class TarnwickStartTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() { useTemporaryHome(); }
};

} // namespace

TEST_F(TarnwickStartTest, SecondStartIsRefusedAndTheFirstRunsOn)
{
    QProcess first;
    first.setProcessEnvironment(childEnvironment());
    first.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    first.start(QStringLiteral(TARNWICK_PROGRAM), QStringList());
    ASSERT_TRUE(first.waitForStarted(10000));
    ASSERT_TRUE(waitUntil([] { return lockProbe() == QStringLiteral("held"); }, 60000));

    CriticalBoxWatcher boxes;
    {
        TarnwickStart second;
        EXPECT_EQ(second.start(), -1);
    }
    ASSERT_EQ(boxes.texts.size(), 1);
    EXPECT_EQ(boxes.titles.at(0), QStringLiteral("错误"));
    EXPECT_EQ(boxes.texts.at(0), QStringLiteral("启动失败，不能启动多个实例"));
    spin(300);
    EXPECT_EQ(first.state(), QProcess::Running);
    EXPECT_EQ(lockProbe(), QStringLiteral("held"));

    // Killed, the first instance leaves no lock behind.
    first.kill();
    ASSERT_TRUE(first.waitForFinished(10000));
    TarnwickStart third;
    EXPECT_EQ(third.start(), 0);
    EXPECT_EQ(boxes.texts.size(), 1);
}

TEST_F(TarnwickStartTest, ADetachedChildOfAKilledHolderDoesNotKeepTheLock)
{
    QProcess holder;
    holder.setProcessEnvironment(childEnvironment());
    holder.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    holder.start(QStringLiteral(LOCK_HOLDER_PROGRAM), QStringList());
    ASSERT_TRUE(holder.waitForStarted(10000));
    ASSERT_TRUE(waitUntil([&] { return holder.canReadLine() || holder.state() != QProcess::Running; }, 60000));
    const QByteArray line = holder.readLine().trimmed();
    ASSERT_TRUE(line.startsWith("ready ")) << line.constData();
    const pid_t child = pid_t(line.mid(6).toLongLong());
    ASSERT_GT(child, 0);
    EXPECT_EQ(lockProbe(), QStringLiteral("held"));

    holder.kill();
    ASSERT_TRUE(holder.waitForFinished(10000));
    EXPECT_EQ(::kill(child, 0), 0) << "the detached child should still run";
    CriticalBoxWatcher boxes;
    {
        TarnwickStart next;
        EXPECT_EQ(next.start(), 0);
    }
    EXPECT_TRUE(boxes.texts.isEmpty());
    ::kill(child, SIGKILL);
}

TEST_F(TarnwickStartTest, RuntimeFolderThatIsAFileIsRefused)
{
    const QString file = QDir::current().absoluteFilePath(QStringLiteral("not-a-folder"));
    {
        QFile f(file);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    }
    const QByteArray previous = qgetenv("XDG_RUNTIME_DIR");
    qputenv("XDG_RUNTIME_DIR", QFile::encodeName(file));
    CriticalBoxWatcher boxes;
    {
        TarnwickStart start;
        EXPECT_EQ(start.start(), -1);
    }
    qputenv("XDG_RUNTIME_DIR", previous);
    ASSERT_EQ(boxes.texts.size(), 1);
    EXPECT_EQ(boxes.titles.at(0), QStringLiteral("错误"));
    EXPECT_EQ(boxes.texts.at(0), QStringLiteral("启动失败，请以管理员身份启动"));
}

TEST_F(TarnwickStartTest, DebugLinesReachTheLogFileInTheDataFolder)
{
    const QString folder = TarnwickStart::dataFolder();
    EXPECT_EQ(folder, qEnvironmentVariable("XDG_DATA_HOME") + QStringLiteral("/Tarnwick"));
    {
        TarnwickStart start;
        ASSERT_EQ(start.start(), 0);
        EXPECT_EQ(QDir::currentPath(), QFileInfo(folder).canonicalFilePath());
        struct stat info {};
        ASSERT_EQ(::stat(QFile::encodeName(folder + QStringLiteral("/data")).constData(), &info), 0);
        EXPECT_EQ(info.st_mode & 0777, 0700u);
        ASSERT_EQ(::stat(QFile::encodeName(folder).constData(), &info), 0);
        EXPECT_EQ(info.st_mode & 0777, 0700u);
        // The help text shipped beside the program is copied in once.
        QFile help(folder + QStringLiteral("/data/help_pc.txt"));
        ASSERT_TRUE(help.open(QIODevice::ReadOnly));
        EXPECT_GT(help.size(), 0);
        qDebug() << "marker line 4711";
        // The log's buffer reaches the file by itself while the program runs.
        const QString logFile = folder + QStringLiteral("/data/log.txt");
        EXPECT_TRUE(waitUntil([&] { return readWholeFile(logFile).contains("marker line 4711"); }, 10000));
        qDebug() << "marker line 4712";
    }
    QFile log(folder + QStringLiteral("/data/log.txt"));
    ASSERT_TRUE(log.open(QIODevice::ReadOnly));
    const QString text = QString::fromUtf8(log.readAll());
    // Each line carries one time stamp, the log's own, then the message; the
    // last one reached the file at the end.
    static const QRegularExpression line(
        QStringLiteral("(^|\\n)\\[\\d{4}/\\d{2}/\\d{2} \\d{2}:\\d{2}:\\d{2}\\] marker line 471([12])\\r(?=\\n)"));
    QStringList found;
    for (QRegularExpressionMatchIterator it = line.globalMatch(text); it.hasNext();)
        found << it.next().captured(2);
    EXPECT_EQ(found, QStringList({QStringLiteral("1"), QStringLiteral("2")})) << text.toStdString();
}

TEST_F(TarnwickStartTest, QtsOwnDialogsAndButtonsSpeakTheProgramsLanguage)
{
    TarnwickStart start;
    ASSERT_EQ(start.start(), 0);
    QMessageBox box(QMessageBox::Critical, QStringLiteral("错误"), QStringLiteral("x"),
                    QMessageBox::Ok | QMessageBox::Cancel);
    EXPECT_EQ(box.button(QMessageBox::Ok)->text(), QStringLiteral("确定"));
    EXPECT_EQ(box.button(QMessageBox::Cancel)->text(), QStringLiteral("取消"));

    QFileDialog dialog;
    dialog.setOption(QFileDialog::DontUseNativeDialog);
    auto* lookIn = dialog.findChild<QLabel*>(QStringLiteral("lookInLabel"));
    auto* fileName = dialog.findChild<QLabel*>(QStringLiteral("fileNameLabel"));
    ASSERT_NE(lookIn, nullptr);
    ASSERT_NE(fileName, nullptr);
    EXPECT_EQ(lookIn->text(), QStringLiteral("查找范围："));
    EXPECT_TRUE(fileName->text().startsWith(QStringLiteral("文件名称"))) << fileName->text().toStdString();
}

namespace {

// The program dealing with a panel: bound directly to it, forwarding to it
// or probing it, and its end. Each test has a panel address of its own.
class DirectTarnwick {
public:
    static constexpr const char* kAddress = "127.110.0.3";
    static constexpr const char* kLan = "192.168.77.25";

    // No arguments: bound directly to the panel on kAddress.
    explicit DirectTarnwick(const QStringList& arguments = {})
    {
        m_program.setProcessEnvironment(childEnvironment());
        m_program.setProcessChannelMode(QProcess::MergedChannels);
        m_program.start(QStringLiteral(DIRECT_TARNWICK),
                        arguments.isEmpty() ? QStringList{QString::fromLatin1(kAddress)} : arguments);
        EXPECT_TRUE(m_program.waitForStarted(10000));
    }
    // The arguments of a forwarding to the panel at address and of a probe of it.
    static QStringList forwarding(const char* address)
    {
        return {QStringLiteral("forward"), QString::fromLatin1(address), QString::fromLatin1(kLan)};
    }
    static QStringList probing(const char* address) { return {QStringLiteral("probe"), QString::fromLatin1(address)}; }
    ~DirectTarnwick()
    {
        if (m_program.state() != QProcess::NotRunning) {
            m_program.kill();
            m_program.waitForFinished(5000);
        }
    }

    bool waitForOutput(const QString& text, int ms)
    {
        return waitUntil(
            [&] {
                m_program.waitForReadyRead(20);
                m_output += QString::fromUtf8(m_program.readAll());
                return m_output.contains(text);
            },
            ms);
    }

    // SIGTERM, as a confirmed close of the window: ms until the process
    // ended, -1 when it did not within 30 s.
    qint64 end()
    {
        QElapsedTimer clock;
        clock.start();
        if (::kill(static_cast<pid_t>(m_program.processId()), SIGTERM) != 0)
            return -1;
        return waitForEnd(clock);
    }

    // The window's close, confirmed: ms until the process ended, -1 when it
    // did not within 30 s; *hiddenMs: until the window hid (-1: it did not).
    qint64 closeWindow(qint64* hiddenMs)
    {
        QElapsedTimer clock;
        clock.start();
        *hiddenMs = -1;
        m_output += QString::fromUtf8(m_program.readAll());
        if (m_program.write("close\n") != 6)
            return -1;
        if (waitForOutput(QStringLiteral("hidden"), 30000)) {
            *hiddenMs = clock.elapsed();
            std::printf("[ figures  ] the window hid %lld ms after the close\n", static_cast<long long>(*hiddenMs));
        }
        return waitForEnd(clock);
    }

    bool endedCleanly() const { return m_program.exitStatus() == QProcess::NormalExit && m_program.exitCode() == 0; }
    const QString& output() const { return m_output; }
    std::string tail() const { return m_output.right(4000).toStdString(); }

private:
    qint64 waitForEnd(const QElapsedTimer& clock)
    {
        const bool ended = m_program.state() == QProcess::NotRunning
                           || m_program.waitForFinished(int(std::max<qint64>(1, 30000 - clock.elapsed())));
        const qint64 took = clock.elapsed();
        m_output += QString::fromUtf8(m_program.readAll());
        return ended ? took : -1;
    }

    QProcess m_program;
    QString m_output;
};

} // namespace

// A panel frozen as by SIGSTOP while the program binds to it directly: its
// kernel takes the connections, nothing answers the client's first request.
TEST_F(TarnwickStartTest, TheEndDuringABindToAFrozenPanelTakesLessThanFiveSeconds)
{
    Fake::FakePanelService session(DirectTarnwick::kAddress, 9059);
    Fake::FakePanelService service(DirectTarnwick::kAddress, 9009);
    session.setReading(false);
    service.setReading(false);
    DirectTarnwick program;
    // The probe's connection, then the client's, whose init is never answered.
    ASSERT_TRUE(session.waitFor([&] { return session.acceptedConnections() >= 2; }, std::chrono::seconds(60)));
    QThread::msleep(300);

    const qint64 took = program.end();
    ASSERT_GE(took, 0) << program.tail();
    EXPECT_LT(took, 5000) << "ms from SIGTERM to the program's end";
    EXPECT_TRUE(program.endedCleanly()) << program.tail();
    EXPECT_TRUE(
        program.output().contains(QStringLiteral("LocalDeviceObject: the session with 127.110.0.3 still works")))
        << program.tail();
    EXPECT_FALSE(program.output().contains(QStringLiteral("bound"))) << program.tail();
}

namespace {

// Ends the test's program within 5 s of the end's request and checks it
// ended cleanly, naming in its log each of what it gave up on.
void expectEndWithinFiveSeconds(DirectTarnwick& program, qint64 took, const QStringList& givenUp)
{
    ASSERT_GE(took, 0) << program.tail();
    EXPECT_LT(took, 5000) << "ms from the end's request to the program's end";
    EXPECT_TRUE(program.endedCleanly()) << program.tail();
    for (const QString& text : givenUp)
        EXPECT_TRUE(program.output().contains(text)) << text.toStdString() << "\n" << program.tail();
    std::printf("[ figures  ] the program ended %lld ms after the end's request\n", static_cast<long long>(took));
}

// The bridge switches that a method table's panel received, as "on"/"off".
QStringList bridgeSwitches(const Fake::PanelMethodTable& table)
{
    QStringList out;
    for (const auto& args : table.argsOf("bridgeControl"))
        out << QString::fromLatin1(args.at(1).boolean() ? "on" : "off");
    return out;
}

} // namespace

// A forwarding's start to a panel frozen as by SIGSTOP: its kernel takes the
// connections, nothing answers the client's first request.
TEST_F(TarnwickStartTest, TheEndDuringAForwardingStartToAFrozenPanelTakesLessThanFiveSeconds)
{
    const char* const panel = "127.110.0.4";
    Fake::FakePanelService service(panel, 9009);
    service.setReading(false);
    DirectTarnwick program(DirectTarnwick::forwarding(panel));
    // The reachability check's connection, then the client's.
    ASSERT_TRUE(service.waitFor([&] { return service.acceptedConnections() >= 2; }, std::chrono::seconds(60)));
    QThread::msleep(300);

    const qint64 took = program.end();
    expectEndWithinFiveSeconds(program, took, {QStringLiteral("\"bridge on %1\"").arg(QLatin1String(panel))});
    EXPECT_FALSE(program.output().contains(QStringLiteral("route:"))) << program.tail();
    EXPECT_FALSE(program.output().contains(QStringLiteral("forwarding\n"))) << program.tail();
}

// A panel that answers pings but holds the start's call: the window goes at
// once, the process within 5 s.
TEST_F(TarnwickStartTest, TheWindowsCloseDuringAForwardingStartHeldByThePanelTakesLessThanFiveSeconds)
{
    const char* const panel = "127.110.0.5";
    Fake::FakePanelService service(panel, 9009);
    Fake::PanelMethodTable table(service, Fake::PanelMethodTable::serviceMethods());
    table.setAnswer("bridgeControl", Fake::PanelAnswer::Silent);
    DirectTarnwick program(DirectTarnwick::forwarding(panel));
    ASSERT_TRUE(service.waitFor([&] { return !table.argsOf("bridgeControl").empty(); }, std::chrono::seconds(60)));
    QThread::msleep(300);

    qint64 hidden = -1;
    const qint64 took = program.closeWindow(&hidden);
    EXPECT_GE(hidden, 0) << program.tail();
    EXPECT_LT(hidden, 1000) << "ms from the close to the window's hiding";
    expectEndWithinFiveSeconds(program, took, {QStringLiteral("\"bridge on %1\"").arg(QLatin1String(panel))});
    EXPECT_EQ(bridgeSwitches(table), QStringList({QStringLiteral("on")}));
    EXPECT_FALSE(program.output().contains(QStringLiteral("route:"))) << program.tail();
}

// A panel that answers in time: the window's close still switches the bridge
// off that the start switched on, and no route is ever added.
TEST_F(TarnwickStartTest, TheWindowsCloseDuringAForwardingStartSwitchesTheBridgeOffWhenThePanelAnswersInTime)
{
    const char* const panel = "127.110.0.6";
    Fake::FakePanelService service(panel, 9009);
    Fake::PanelMethodTable table(service, Fake::PanelMethodTable::serviceMethods());
    table.setResponder("bridgeControl", [](const std::vector<Fake::PanelArg>& args) {
        if (args.at(1).boolean())
            std::this_thread::sleep_for(std::chrono::milliseconds(1000));
        return Fake::WireWriter().i32(0).take();
    });
    DirectTarnwick program(DirectTarnwick::forwarding(panel));
    ASSERT_TRUE(service.waitFor([&] { return service.callCount() >= 1; }, std::chrono::seconds(60)));

    qint64 hidden = -1;
    const qint64 took = program.closeWindow(&hidden);
    EXPECT_GE(hidden, 0) << program.tail();
    EXPECT_LT(hidden, 1000) << "ms from the close to the window's hiding";
    expectEndWithinFiveSeconds(program, took, {});
    EXPECT_TRUE(service.waitFor([&] { return bridgeSwitches(table).size() >= 2; }, std::chrono::seconds(1)));
    EXPECT_EQ(bridgeSwitches(table), QStringList({QStringLiteral("on"), QStringLiteral("off")})) << program.tail();
    EXPECT_FALSE(program.output().contains(QStringLiteral("not waited for"))) << program.tail();
    EXPECT_FALSE(program.output().contains(QStringLiteral("left running"))) << program.tail();
    EXPECT_FALSE(program.output().contains(QStringLiteral("route:"))) << program.tail();
}

// The local page's probe of a frozen panel, ended by the window's close.
TEST_F(TarnwickStartTest, TheWindowsCloseDuringAProbeOfAFrozenPanelTakesLessThanFiveSeconds)
{
    const char* const panel = "127.110.0.7";
    Fake::FakePanelService service(panel, 9009);
    service.setReading(false);
    DirectTarnwick program(DirectTarnwick::probing(panel));
    ASSERT_TRUE(service.waitFor([&] { return service.acceptedConnections() >= 2; }, std::chrono::seconds(60)));
    QThread::msleep(300);

    qint64 hidden = -1;
    const qint64 took = program.closeWindow(&hidden);
    EXPECT_GE(hidden, 0) << program.tail();
    EXPECT_LT(hidden, 1000) << "ms from the close to the window's hiding";
    expectEndWithinFiveSeconds(program, took, {QStringLiteral("\"probe %1\"").arg(QLatin1String(panel))});
}

// The probe of a panel that answers pings, each call late and the last one
// never, ended by SIGTERM.
TEST_F(TarnwickStartTest, TheEndDuringAProbeHeldByThePanelTakesLessThanFiveSeconds)
{
    const char* const panel = "127.110.0.8";
    Fake::FakePanelService service(panel, 9009);
    Fake::PanelMethodTable table(service, Fake::PanelMethodTable::serviceMethods());
    service.setReplyDelay(std::chrono::milliseconds(1500));
    table.setAnswer("bridgeStatus", Fake::PanelAnswer::Silent);
    DirectTarnwick program(DirectTarnwick::probing(panel));
    ASSERT_TRUE(service.waitFor([&] { return service.callCount() >= 1; }, std::chrono::seconds(60)));
    QThread::msleep(300);

    const qint64 took = program.end();
    expectEndWithinFiveSeconds(program, took, {QStringLiteral("\"probe %1\"").arg(QLatin1String(panel))});
}
