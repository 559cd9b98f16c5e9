#include "testing/vpnharness/netnslab.h"

#include "platform/route/routecommand.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QFileInfo>
#include <QRegularExpression>

#include <atomic>
#include <cerrno>
#include <csignal>

#include <unistd.h>

namespace {

const char kRoleVariable[] = "TW_VPNHARNESS_ROLE";
const char kValuePrefix[] = "TW_VPNHARNESS_";

QString executable(const char* path)
{
    const QFileInfo info(QString::fromLatin1(path));
    return info.isFile() && info.isExecutable() ? info.filePath() : QString();
}

} // namespace

QString NetnsLab::unavailableReason()
{
    if (geteuid() != 0)
        return QStringLiteral("network namespaces and tunnels need root");
    if (!QFileInfo::exists(QStringLiteral("/dev/net/tun")))
        return QStringLiteral("/dev/net/tun is missing (no tun driver in this machine)");
    if (executable("/usr/sbin/openvpn").isEmpty())
        return QStringLiteral("openvpn is not installed at /usr/sbin/openvpn");
    if (executable("/usr/bin/openssl").isEmpty())
        return QStringLiteral("openssl is not installed at /usr/bin/openssl");
    return namespaceUnavailableReason();
}

QString NetnsLab::namespaceUnavailableReason()
{
    if (geteuid() != 0)
        return QStringLiteral("network namespaces need root");
    if (!QFileInfo(RouteCommand::ipProgram()).isExecutable())
        return QStringLiteral("iproute2's ip is not installed");
    const QString probe = QStringLiteral("twvpn%1probe").arg(getpid());
    const CommandResult add = ip({QStringLiteral("netns"), QStringLiteral("add"), probe});
    if (!add.succeeded())
        return QStringLiteral("cannot create a network namespace: ") + QString::fromLocal8Bit(add.output).trimmed();
    // Entering one needs a mount namespace too ("ip netns exec" and "ip -n"
    // remount /), which a chroot whose root is no mount point refuses.
    const CommandResult enter = ip({QStringLiteral("-n"), probe, QStringLiteral("link"), QStringLiteral("set"),
                                    QStringLiteral("lo"), QStringLiteral("up")});
    ip({QStringLiteral("netns"), QStringLiteral("del"), probe});
    if (!enter.succeeded())
        return QStringLiteral("cannot enter a network namespace: ") + QString::fromLocal8Bit(enter.output).trimmed();
    return QString();
}

NetnsLab::NetnsLab()
{
    static std::atomic<int> serial{0};
    const QString base = QStringLiteral("twvpn%1x%2").arg(getpid()).arg(++serial);
    m_pc = base + QStringLiteral("pc");
    m_panel = base + QStringLiteral("pn");
}

NetnsLab::~NetnsLab()
{
    destroy();
}

CommandResult NetnsLab::ip(const QStringList& args, int timeoutMs)
{
    ProcessCommandRunner runner;
    return runner.run(RouteCommand::ipProgram(), args, timeoutMs);
}

CommandResult NetnsLab::inNamespace(const QString& ns, const QString& program, const QStringList& args, int timeoutMs)
{
    QStringList all{QStringLiteral("netns"), QStringLiteral("exec"), ns, program};
    all << args;
    return ip(all, timeoutMs);
}

bool NetnsLab::must(const QString& ns, const QStringList& args, QString* error)
{
    QStringList all{QStringLiteral("-n"), ns};
    all << args;
    const CommandResult r = ip(all);
    if (!r.succeeded() && error)
        *error =
            QStringLiteral("ip %1: %2").arg(all.join(QLatin1Char(' ')), QString::fromLocal8Bit(r.output).trimmed());
    return r.succeeded();
}

void NetnsLab::removeOrphans()
{
    // Labs of test programs that were killed before they could clean up:
    // "twvpn<pid>x<n>pc|pn" whose pid no longer runs.
    static const QRegularExpression name(QStringLiteral("^(twvpn(\\d+)x\\d+(?:pc|pn))\\b"));
    const CommandResult list = ip({QStringLiteral("netns"), QStringLiteral("list")});
    for (const QString& line : QString::fromLocal8Bit(list.output).split(QLatin1Char('\n'), Qt::SkipEmptyParts)) {
        const QRegularExpressionMatch m = name.match(line);
        if (!m.hasMatch())
            continue;
        const int owner = m.captured(2).toInt();
        if (owner <= 0 || owner == getpid() || kill(owner, 0) == 0 || errno != ESRCH)
            continue;
        for (const QString& pid : namespacePids(m.captured(1))) {
            const int value = pid.trimmed().toInt();
            if (value > 1 && value != getpid())
                kill(value, SIGKILL);
        }
        ip({QStringLiteral("netns"), QStringLiteral("del"), m.captured(1)});
    }
}

bool NetnsLab::create(QString* error)
{
    removeOrphans();
    for (const QString& ns : {m_pc, m_panel}) {
        const CommandResult r = ip({QStringLiteral("netns"), QStringLiteral("add"), ns});
        if (!r.succeeded()) {
            if (error)
                *error = QStringLiteral("ip netns add %1: %2").arg(ns, QString::fromLocal8Bit(r.output).trimmed());
            destroy();
            return false;
        }
        m_created = true;
    }
    // The pair is made inside the PC namespace and its other end moved
    // straight into the panel's: the machine's namespace never sees it.
    const bool ok =
        must(m_pc, {QStringLiteral("link"), QStringLiteral("set"), QStringLiteral("lo"), QStringLiteral("up")}, error)
        && must(m_panel, {QStringLiteral("link"), QStringLiteral("set"), QStringLiteral("lo"), QStringLiteral("up")},
                error)
        && must(m_pc,
                {QStringLiteral("link"), QStringLiteral("add"), pcInterface(), QStringLiteral("type"),
                 QStringLiteral("veth"), QStringLiteral("peer"), QStringLiteral("name"), panelInterface(),
                 QStringLiteral("netns"), m_panel},
                error)
        && must(m_pc,
                {QStringLiteral("addr"), QStringLiteral("add"), pcAddress() + QStringLiteral("/24"),
                 QStringLiteral("dev"), pcInterface()},
                error)
        && must(m_panel,
                {QStringLiteral("addr"), QStringLiteral("add"), panelAddress() + QStringLiteral("/24"),
                 QStringLiteral("dev"), panelInterface()},
                error)
        && must(m_pc, {QStringLiteral("link"), QStringLiteral("set"), pcInterface(), QStringLiteral("up")}, error)
        && must(m_panel, {QStringLiteral("link"), QStringLiteral("set"), panelInterface(), QStringLiteral("up")},
                error);
    if (!ok)
        destroy();
    return ok;
}

QStringList NetnsLab::namespacePids(const QString& ns)
{
    const CommandResult r = ip({QStringLiteral("netns"), QStringLiteral("pids"), ns});
    return QString::fromLatin1(r.output).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
}

void NetnsLab::destroy()
{
    if (!m_created)
        return;
    for (const QString& ns : {m_pc, m_panel}) {
        // Only processes inside our own namespaces: what the tests started there.
        for (const QString& pid : namespacePids(ns)) {
            bool ok = false;
            const int value = pid.trimmed().toInt(&ok);
            if (ok && value > 1 && value != getpid())
                kill(value, SIGKILL);
        }
        ip({QStringLiteral("netns"), QStringLiteral("del"), ns});
    }
    m_created = false;
}

CommandResult NetnsLab::rerunCurrentTestInside(const QString& ns, const QMap<QString, QString>& values, int timeoutMs)
{
    const ::testing::TestInfo* info = ::testing::UnitTest::GetInstance()->current_test_info();
    const QString filter = QStringLiteral("--gtest_filter=%1.%2")
                               .arg(QString::fromUtf8(info->test_suite_name()), QString::fromUtf8(info->name()));
    QStringList names;
    qputenv(kRoleVariable, "inner");
    for (auto it = values.begin(); it != values.end(); ++it) {
        const QByteArray name = QByteArray(kValuePrefix) + it.key().toLatin1();
        qputenv(name.constData(), it.value().toLocal8Bit());
        names << QString::fromLatin1(name);
    }
    const CommandResult r = inNamespace(ns, QCoreApplication::applicationFilePath(), {filter}, timeoutMs);
    qunsetenv(kRoleVariable);
    for (const QString& name : names)
        qunsetenv(name.toLatin1().constData());
    return r;
}

bool NetnsLab::isInner()
{
    return qgetenv(kRoleVariable) == "inner";
}

QString NetnsLab::innerValue(const QString& name)
{
    return QString::fromLocal8Bit(qgetenv((QByteArray(kValuePrefix) + name.toLatin1()).constData()));
}

QString NetnsLab::machineRoutes()
{
    const CommandResult v4 = ip({QStringLiteral("-4"), QStringLiteral("route"), QStringLiteral("show"),
                                 QStringLiteral("table"), QStringLiteral("main")});
    const CommandResult v6 = ip({QStringLiteral("-6"), QStringLiteral("route"), QStringLiteral("show"),
                                 QStringLiteral("table"), QStringLiteral("main")});
    return QString::fromLocal8Bit(v4.output) + QStringLiteral("--\n") + QString::fromLocal8Bit(v6.output);
}

QString NetnsLab::ownRoutes()
{
    return QString::fromLocal8Bit(ip({QStringLiteral("-4"), QStringLiteral("route"), QStringLiteral("show")}).output);
}
