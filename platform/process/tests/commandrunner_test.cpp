#include "platform/process/commandrunner.h"

#include "platform/process/recordingcommandrunner.h"
#include "testing/main/opendescriptors.h"

#include <gtest/gtest.h>

#include <QElapsedTimer>

namespace {

const QString kSh = QStringLiteral("/bin/sh");

TEST(ProcessCommandRunner, ArgumentsReachTheProgramUnchangedWithoutAShell)
{
    ProcessCommandRunner runner;
    const CommandResult r = runner.run(QStringLiteral("/bin/echo"),
                                       {QStringLiteral("a b"), QStringLiteral("$(id)"), QStringLiteral(";"),
                                        QStringLiteral("`x`"), QStringLiteral("*")},
                                       5000);
    ASSERT_TRUE(r.started);
    EXPECT_FALSE(r.timedOut);
    EXPECT_EQ(r.exitCode, 0);
    EXPECT_EQ(r.output, QByteArray("a b $(id) ; `x` *\n"));
}

TEST(ProcessCommandRunner, ExitCodeAndBothOutputStreams)
{
    ProcessCommandRunner runner;
    const int before = TestDescriptors::openDescriptorCount();
    const CommandResult r = runner.run(kSh, {QStringLiteral("-c"), QStringLiteral("echo out; echo err >&2; exit 3")},
                                       5000);
    ASSERT_TRUE(r.started);
    EXPECT_EQ(r.exitCode, 3);
    EXPECT_FALSE(r.succeeded());
    EXPECT_TRUE(r.output.contains("out\n"));
    EXPECT_TRUE(r.output.contains("err\n"));
    // Neither end of the output pipe nor the start's own pipe stays open.
    EXPECT_EQ(TestDescriptors::openDescriptorCount(), before);
}

TEST(ProcessCommandRunner, MissingProgramDoesNotStart)
{
    ProcessCommandRunner runner;
    const int before = TestDescriptors::openDescriptorCount();
    const CommandResult r = runner.run(QStringLiteral("/nonexistent/tw-no-such-program"), {}, 5000);
    EXPECT_FALSE(r.started);
    EXPECT_EQ(r.exitCode, -1);
    EXPECT_FALSE(r.succeeded());
    EXPECT_EQ(TestDescriptors::openDescriptorCount(), before);
}

TEST(ProcessCommandRunner, AGivenWorkingFolderIsTheChildsAndAMissingOneFailsTheStart)
{
    ProcessCommandRunner inRoot(QStringLiteral("/"));
    const CommandResult r = inRoot.run(QStringLiteral("/bin/pwd"), {}, 5000);
    ASSERT_TRUE(r.started);
    EXPECT_EQ(r.output, QByteArray("/\n"));

    ProcessCommandRunner nowhere(QStringLiteral("/nonexistent/tw-no-such-folder"));
    const CommandResult none = nowhere.run(QStringLiteral("/bin/pwd"), {}, 5000);
    EXPECT_FALSE(none.started);
    EXPECT_TRUE(none.output.isEmpty());
}

TEST(ProcessCommandRunner, TimeLimitKillsTheChild)
{
    ProcessCommandRunner runner;
    QElapsedTimer clock;
    clock.start();
    const CommandResult r = runner.run(QStringLiteral("/bin/sleep"), {QStringLiteral("30")}, 300);
    EXPECT_TRUE(r.started);
    EXPECT_TRUE(r.timedOut);
    EXPECT_EQ(r.exitCode, -1);
    EXPECT_LT(clock.elapsed(), 10000);
}

TEST(ProcessCommandRunner, BackgroundLeftoverHoldingTheOutputDoesNotStallTheRun)
{
    ProcessCommandRunner runner;
    QElapsedTimer clock;
    clock.start();
    const CommandResult r = runner.run(kSh, {QStringLiteral("-c"), QStringLiteral("sleep 30 & echo done; exit 0")},
                                       20000);
    EXPECT_TRUE(r.started);
    EXPECT_FALSE(r.timedOut);
    EXPECT_EQ(r.exitCode, 0);
    EXPECT_EQ(r.output, QByteArray("done\n"));
    EXPECT_LT(clock.elapsed(), 10000);
}

TEST(ProcessCommandRunner, OutputIsBounded)
{
    ProcessCommandRunner runner;
    const CommandResult r = runner.run(QStringLiteral("/usr/bin/head"),
                                       {QStringLiteral("-c"), QStringLiteral("3000000"), QStringLiteral("/dev/zero")},
                                       20000);
    EXPECT_EQ(r.exitCode, 0);
    EXPECT_EQ(r.output.size(), CommandRunner::kMaxOutputBytes);
}

TEST(ProcessCommandRunner, StandardInputIsEmpty)
{
    ProcessCommandRunner runner;
    const CommandResult r = runner.run(QStringLiteral("/usr/bin/wc"), {QStringLiteral("-c")}, 5000);
    EXPECT_EQ(r.exitCode, 0);
    EXPECT_EQ(r.output.trimmed(), QByteArray("0"));
}

TEST(RecordingCommandRunner, RecordsCallsAndAnswersQueueThenDefault)
{
    RecordingCommandRunner runner;
    runner.queueResult(RecordingCommandRunner::exitResult(2, "no"));
    runner.setDefaultResult(RecordingCommandRunner::exitResult(0, "yes"));
    EXPECT_EQ(runner.run(QStringLiteral("/p"), {QStringLiteral("a"), QStringLiteral("b")}, 7).exitCode, 2);
    EXPECT_EQ(runner.run(QStringLiteral("/q"), {}, 8).output, QByteArray("yes"));
    ASSERT_EQ(runner.callCount(), 2);
    EXPECT_EQ(runner.calls()[0].program, QStringLiteral("/p"));
    EXPECT_EQ(runner.calls()[0].timeoutMs, 7);
    EXPECT_EQ(runner.argumentLines(), QStringList({QStringLiteral("a b"), QString()}));
    runner.setResponder(
        [](const RecordedCommand& c) { return RecordingCommandRunner::exitResult(c.arguments.size()); });
    EXPECT_EQ(
        runner.run(QStringLiteral("/r"), {QStringLiteral("x"), QStringLiteral("y"), QStringLiteral("z")}, 1).exitCode,
        3);
}

} // namespace
