#include "brellfin/ui/tests/namespacerun.h"

#include <QCoreApplication>
#include <QProcess>
#include <QProcessEnvironment>

#include <unistd.h>

namespace BrellfinTest {

namespace {

// Set for the run inside the namespace, to the network namespace of the
// machine it came from.
constexpr const char* kInsideVariable = "TWBF_INSIDE_NAMESPACE";

// "net:[4026531840]": the link's own text names the namespace.
QString networkNamespace()
{
    char link[128] = {};
    const ssize_t length = ::readlink("/proc/self/ns/net", link, sizeof link - 1);
    return length > 0 ? QString::fromLatin1(link, static_cast<int>(length)) : QString();
}

QString currentTestName()
{
    const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
    return QString::fromLatin1(info->test_suite_name()) + "." + info->name();
}

int run(const QString& program, const QStringList& arguments, QString* output = nullptr, int timeoutMs = 30000)
{
    QProcess process;
    process.setProcessChannelMode(QProcess::MergedChannels);
    process.start(program, arguments);
    if (!process.waitForStarted(5000))
        return -1;
    if (!process.waitForFinished(timeoutMs)) {
        process.kill();
        process.waitForFinished(5000);
        return -2;
    }
    if (output)
        *output = QString::fromLocal8Bit(process.readAll());
    return process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -3;
}

} // namespace

bool insideNamespace()
{
    return !qgetenv(kInsideVariable).isEmpty();
}

QStringList namespaceOptions(QString* why)
{
    static bool probed = false;
    static QStringList found;
    static QString reason;
    if (!probed) {
        probed = true;
        static const QStringList candidates[] = {{"-Urn"}, {"-n"}};
        QString failures;
        for (const QStringList& options : candidates) {
            QString output;
            const int code = run("unshare", options + QStringList{"true"}, &output);
            if (code == 0) {
                found = options;
                break;
            }
            const QString command = "`unshare " + options.join(' ') + " true`";
            failures += code == -1 ? command + " cannot be started; "
                                   : QString("%1 exited %2: %3; ").arg(command).arg(code).arg(output.trimmed());
        }
        if (found.isEmpty())
            reason = "no network namespace can be made here (" + failures
                     + "the test needs a network of its own for a panel's fixed port)";
    }
    if (why)
        *why = reason;
    return found;
}

bool enterNamespace(const QStringList& options, const QStringList& addresses)
{
    if (insideNamespace()) {
        // Never bring addresses up in the machine's own network.
        const QString here = networkNamespace();
        if (here.isEmpty() || here == QString::fromLocal8Bit(qgetenv(kInsideVariable))) {
            ADD_FAILURE() << kInsideVariable << " is set, but this is not a namespace of its own";
            return false;
        }
        QString output;
        EXPECT_EQ(run("ip", {"link", "set", "lo", "up"}, &output), 0) << output.toStdString();
        for (const QString& address : addresses)
            EXPECT_EQ(run("ip", {"addr", "add", address, "dev", "lo"}, &output), 0) << output.toStdString();
        return !::testing::Test::HasFailure();
    }
    QProcess child;
    child.setProcessChannelMode(QProcess::MergedChannels);
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(kInsideVariable, networkNamespace());
    child.setProcessEnvironment(environment);
    child.start(
        "unshare",
        options + QStringList{"--", QCoreApplication::applicationFilePath(), "--gtest_filter=" + currentTestName()});
    const bool finished = child.waitForStarted(5000) && child.waitForFinished(240000);
    if (!finished)
        child.kill();
    child.waitForFinished(5000);
    const QString output = QString::fromLocal8Bit(child.readAll());
    EXPECT_TRUE(finished) << "timed out:\n" << output.toStdString();
    EXPECT_EQ(child.exitCode(), 0) << output.toStdString();
    EXPECT_TRUE(output.contains("[  PASSED  ] 1 test")) << output.toStdString();
    return false;
}

} // namespace BrellfinTest
