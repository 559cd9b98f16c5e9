#include "platform/process/win32process.h"

#include "platform/process/childspawn.h"
#include "testing/main/eventwait.h"
#include "testing/main/logcapture.h"
#include "testing/main/opendescriptors.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>
#include <QThread>

#include <csignal>

#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

// Orphans of this test program come back to it, so that a test can see how
// a grandchild ended.
class Win32ProcessTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() { prctl(PR_SET_CHILD_SUBREAPER, 1); }

    static QString readWhenThere(const QString& path, int timeoutMs)
    {
        QByteArray text;
        TestWait::waitUntil(
            [&] {
                QFile f(path);
                if (f.open(QIODevice::ReadOnly))
                    text = f.readAll().trimmed();
                return !text.isEmpty();
            },
            timeoutMs);
        return text.isEmpty() ? QString() : QString::fromLatin1(text);
    }

    static bool alive(pid_t pid) { return kill(pid, 0) == 0; }

    QTemporaryDir m_dir;
};

TEST_F(Win32ProcessTest, StubbornChildAndItsGrandchildEndAfterTheGraceTime)
{
    const QString pidFile = m_dir.filePath(QStringLiteral("grandchild"));
    Win32Process process;
    ASSERT_TRUE(process.start(
        QStringLiteral("/bin/sh"),
        {QStringLiteral("-c"), QStringLiteral("trap '' INT; sleep 1000 & echo $! > '%1'; wait").arg(pidFile)}));
    const pid_t child = process.pid();
    ASSERT_GT(child, 0);
    const pid_t grandchild = readWhenThere(pidFile, 10000).toInt();
    ASSERT_GT(grandchild, 0);

    QElapsedTimer clock;
    clock.start();
    process.stop();
    const qint64 took = clock.elapsed();
    EXPECT_GE(took, Win32Process::kStopGraceMs - 100);
    EXPECT_LT(took, Win32Process::kStopGraceMs + 5000);

    EXPECT_FALSE(process.running());
    EXPECT_EQ(process.pid(), -1);
    // The child was reaped by stop(): no zombie left, not ours any more.
    EXPECT_FALSE(alive(child));
    EXPECT_EQ(waitpid(child, nullptr, WNOHANG), -1);
    // The grandchild was killed with the group and came back to this program.
    int status = 0;
    ASSERT_TRUE(ChildSpawn::reap(grandchild, 5000, &status));
    EXPECT_TRUE(WIFSIGNALED(status));
    EXPECT_EQ(WTERMSIG(status), SIGKILL);
}

TEST_F(Win32ProcessTest, CooperativeChildEndsAtTheInterrupt)
{
    Win32Process process;
    ASSERT_TRUE(process.start(QStringLiteral("/bin/sleep"), {QStringLiteral("1000")}));
    const pid_t child = process.pid();
    QElapsedTimer clock;
    clock.start();
    process.stop();
    EXPECT_LT(clock.elapsed(), 2500);
    EXPECT_FALSE(alive(child));
}

TEST_F(Win32ProcessTest, MissingProgramIsReportedAndLeavesTheLauncherIdle)
{
    Win32Process process;
    const int before = TestDescriptors::openDescriptorCount();
    {
        TestLog::LogCapture log;
        EXPECT_FALSE(process.start(QStringLiteral("/nonexistent/openvpn"), {QStringLiteral("--version")}));
        EXPECT_TRUE(log.contains("Win32Process: cannot start /nonexistent/openvpn: No such file or directory"))
            << log.all();
    }
    EXPECT_FALSE(process.running());
    EXPECT_EQ(process.pid(), -1);
    // A file that is not executable is refused as well.
    const QString plain = m_dir.filePath(QStringLiteral("plain"));
    QFile f(plain);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write("#!/bin/sh\n");
    f.close();
    EXPECT_FALSE(process.start(plain, {}));
    EXPECT_FALSE(process.running());
    // The output pipes of both failed starts are closed again.
    EXPECT_EQ(TestDescriptors::openDescriptorCount(), before);
}

TEST_F(Win32ProcessTest, SecondStartIsRefusedAndStopOnIdleReturnsAtOnce)
{
    Win32Process process;
    QElapsedTimer clock;
    clock.start();
    process.stop();
    EXPECT_LT(clock.elapsed(), 500);
    ASSERT_TRUE(process.start(QStringLiteral("/bin/sleep"), {QStringLiteral("1000")}));
    const pid_t first = process.pid();
    EXPECT_FALSE(process.start(QStringLiteral("/bin/sleep"), {QStringLiteral("1000")}));
    EXPECT_EQ(process.pid(), first);
    EXPECT_FALSE(process.hasExited());
}

TEST_F(Win32ProcessTest, ArgumentsArePassedAsTheyAreAndStandardInputIsEmpty)
{
    const QString out = m_dir.filePath(QStringLiteral("out"));
    Win32Process process;
    // $1 holds blanks and quotes; stdin is /dev/null, so cat ends at once.
    ASSERT_TRUE(process.start(QStringLiteral("/bin/sh"),
                              {QStringLiteral("-c"), QStringLiteral("printf '%s|' \"$1\" > \"$2\"; cat >> \"$2\""),
                               QStringLiteral("sh"), QStringLiteral("a \"b\" 'c'"), out}));
    EXPECT_TRUE(TestWait::waitUntil([&] { return process.hasExited(); }, 10000));
    EXPECT_TRUE(process.running()); // until stop()
    process.stop();
    QFile f(out);
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    EXPECT_EQ(f.readAll(), QByteArray("a \"b\" 'c'|"));
}

namespace {

// Waits for the child to end by itself; its status, or -1.
int statusWhenEnded(const Win32Process& process, int timeoutMs)
{
    int status = -1;
    TestWait::waitUntil([&] { return process.hasExited(&status); }, timeoutMs);
    return status;
}

} // namespace

TEST_F(Win32ProcessTest, ChildThatEndsByItselfLeavesItsStatusAndLastLines)
{
    Win32Process process;
    ASSERT_TRUE(process.start(
        QStringLiteral("/bin/sh"),
        {QStringLiteral("-c"), QStringLiteral("i=1; while [ $i -le 30 ]; do echo \"line $i\"; i=$((i+1)); done; "
                                              "printf '%0600d\\r\\n' 0; echo 'to stderr' >&2; printf unfinished; "
                                              "exit 3")}));
    const int status = statusWhenEnded(process, 10000);
    ASSERT_TRUE(WIFEXITED(status)) << status;
    EXPECT_EQ(WEXITSTATUS(status), 3);

    QList<QByteArray> expected;
    for (int i = 13; i <= 30; ++i)
        expected << "line " + QByteArray::number(i);
    // The long line is cut after its first bytes; the rest of it is dropped.
    expected << QByteArray(OutputTail::kMaxLineBytes, '0') << "to stderr"
             << "unfinished";
    EXPECT_EQ(process.lastOutput(), expected);
    process.stop();
    EXPECT_EQ(process.lastOutput(), expected);
}

TEST_F(Win32ProcessTest, ChildWritingMoreThanAPipeHoldsNeverWaitsForAReader)
{
    Win32Process process;
    ASSERT_TRUE(process.start(
        QStringLiteral("/bin/sh"),
        {QStringLiteral("-c"), QStringLiteral("head -c 3000000 /dev/zero | tr '\\000' x; echo; echo done")}));
    const int status = statusWhenEnded(process, 30000);
    ASSERT_TRUE(WIFEXITED(status)) << status;
    EXPECT_EQ(WEXITSTATUS(status), 0);
    const QList<QByteArray> lines = process.lastOutput();
    ASSERT_EQ(lines.size(), 2);
    EXPECT_EQ(lines[0], QByteArray(OutputTail::kMaxLineBytes, 'x'));
    EXPECT_EQ(lines[1], QByteArray("done"));
}

TEST_F(Win32ProcessTest, ChildKilledBySignalTellsTheSignalAndTheNextStartForgetsTheOldLines)
{
    Win32Process process;
    ASSERT_TRUE(
        process.start(QStringLiteral("/bin/sh"), {QStringLiteral("-c"), QStringLiteral("echo bye; kill -KILL $$")}));
    const int status = statusWhenEnded(process, 10000);
    ASSERT_TRUE(WIFSIGNALED(status)) << status;
    EXPECT_EQ(WTERMSIG(status), SIGKILL);
    EXPECT_EQ(process.lastOutput(), QList<QByteArray>({"bye"}));
    process.stop();

    ASSERT_TRUE(process.start(QStringLiteral("/bin/sleep"), {QStringLiteral("1000")}));
    EXPECT_TRUE(process.lastOutput().isEmpty());
    EXPECT_FALSE(process.hasExited());
}

TEST_F(Win32ProcessTest, ChildDiesWithTheProgramThatLaunchedIt)
{
    const QString helper = QStringLiteral(TW_PROCESS_TEST_HELPER);
    const QString pidFile = m_dir.filePath(QStringLiteral("child"));
    int error = 0;
    const pid_t launcher = ChildSpawn::spawn(helper, {pidFile, QStringLiteral("/bin/sleep"), QStringLiteral("1000")},
                                             ChildSpawn::Options(), &error);
    ASSERT_GT(launcher, 0) << error;
    const pid_t child = readWhenThere(pidFile, 20000).toInt();
    ASSERT_GT(child, 0);
    ASSERT_TRUE(alive(child));

    kill(launcher, SIGKILL);
    ASSERT_TRUE(ChildSpawn::reap(launcher, 5000, nullptr));
    int status = 0;
    ASSERT_TRUE(ChildSpawn::reap(child, 5000, &status));
    EXPECT_TRUE(WIFSIGNALED(status));
    EXPECT_EQ(WTERMSIG(status), SIGKILL);
}

} // namespace
