#include "tarnwick/ui/mainwindow/tarnwickstart.h"

#include "platform/instancelock/instancelock.h"
#include "tarnwick/ui/mainwindow/tests/mainwindowtesthelpers.h"
#include "tarnwick/ui/mainwindow/tests/testhome.h"
#include "testing/fakepanel/fakepanelservice.h"

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

// The program connected directly to a panel on 127.110.0.3, and its end.
class DirectTarnwick {
public:
    static constexpr const char* kAddress = "127.110.0.3";

    DirectTarnwick()
    {
        m_program.setProcessEnvironment(childEnvironment());
        m_program.setProcessChannelMode(QProcess::MergedChannels);
        m_program.start(QStringLiteral(DIRECT_TARNWICK), {QString::fromLatin1(kAddress)});
        EXPECT_TRUE(m_program.waitForStarted(10000));
    }
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
        const bool ended = m_program.waitForFinished(30000);
        const qint64 took = clock.elapsed();
        m_output += QString::fromUtf8(m_program.readAll());
        return ended ? took : -1;
    }

    bool endedCleanly() const { return m_program.exitStatus() == QProcess::NormalExit && m_program.exitCode() == 0; }
    const QString& output() const { return m_output; }
    std::string tail() const { return m_output.right(4000).toStdString(); }

private:
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
