#include "tarnwick/cloud/vpnmanager.h"

#include "platform/dispatch/nestedwait.h"
#include "platform/fd/privatefile.h"
#include "platform/route/routecommand.h"
#include "tarnwick/cloud/guithread.h"
#include "tarnwick/cloud/openvpnconfigfilter.h"
#include "tarnwick/core/constants.h"
#include "tarnwick/core/programpath.h"

#include <QCoreApplication>
#include <QDebug>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QNetworkInterface>
#include <QProcess>
#include <QRegularExpression>
#include <QSignalBlocker>
#include <QSysInfo>
#include <QTimer>

#include <cstdlib>

#include <sys/wait.h>

using Tarnwick::Cloud::assertGuiThread;

namespace VPN_Android {

namespace {

const char kSystemOpenvpn[] = "/usr/sbin/openvpn";

QString baselineKey(const InterfaceAddress& a)
{
    return a.interfaceName + QLatin1Char(' ') + a.address;
}

QString describeExit(int status)
{
    if (status >= 0 && WIFEXITED(status))
        return QStringLiteral("exit status %1").arg(WEXITSTATUS(status));
    if (status >= 0 && WIFSIGNALED(status))
        return QStringLiteral("signal %1").arg(WTERMSIG(status));
    return QStringLiteral("an unknown status");
}

// A line of the child's output for the log: control characters shown as '?'.
QString logLine(const QByteArray& bytes)
{
    QString line = QString::fromUtf8(bytes);
    for (QChar& c : line) {
        if (c.category() == QChar::Other_Control && c != QLatin1Char('\t'))
            c = QLatin1Char('?');
    }
    return line;
}

} // namespace

VpnManager* VpnManager::instance()
{
    static VpnManager manager;
    return &manager;
}

VpnManager::VpnManager(QObject* parent)
    : QObject(parent)
{
    connect(&m_watch, &QTimer::timeout, this, [this] {
        assertGuiThread(this, "VpnManager");
        checkChild();
    });
}

VpnManager::~VpnManager()
{
    qDebug() << "VpnManager::~VpnManager";
    ++m_generation;
    endWait();
    m_watch.stop();
    m_process.stop();
    removeUserFile();
}

bool VpnManager::startVPN(QString vpnDir, QString configName, QString server, int port, QString user, QString password)
{
    assertGuiThread(this, "VpnManager");
    const quint64 generation = ++m_generation;
    endWait();
    m_watch.stop();
    noticeChildEnd();
    m_process.stop();
    m_childEnded = false;
    removeUserFile();
    m_tunnelDev.clear();

    if (!isServerText(server) || port < 1 || port > 65535) {
        qWarning().noquote() << "VpnManager: server address refused:" << server.left(64) << port;
        failStart();
        return false;
    }
    const QString configPath = QDir::cleanPath(QDir::current().absoluteFilePath(configName));
    QFile config(configPath);
    if (!config.open(QIODevice::ReadOnly) || config.size() > kMaxConfigBytes) {
        qWarning().noquote() << "VpnManager: configuration not readable:" << configPath;
        failStart();
        return false;
    }
    const OpenVpnConfigFilter::Verdict verdict = OpenVpnConfigFilter::check(config.read(kMaxConfigBytes));
    if (!verdict.allowed) {
        qWarning().noquote() << QStringLiteral("VpnManager: configuration refused at line %1 (%2): %3")
                                    .arg(verdict.line)
                                    .arg(OpenVpnConfigFilter::printable(verdict.text), verdict.reason);
        failStart();
        return false;
    }
    config.close();

    if (!writeUserFile(user, password)) {
        qDebug() << "File write vpn key file failed!";
        return false;
    }
    const QString portText = QString("%1").arg(port);
    // The VPN programs are installed beside Tarnwick; the configuration the
    // session wrote at login lies in the data folder (the working folder).
    QString folder = ProgramPath::resolve(vpnDir);
    if (!folder.endsWith(QLatin1Char('/')))
        folder += QLatin1Char('/');
    addVpnFolderToPath(folder);

    const QStringList arguments = openvpnArguments(configPath, server, portText);
    const QString program = openvpnProgram(vpnDir);
    m_vpnIp.clear();
    m_baseline.clear();
    for (const InterfaceAddress& a : addresses())
        m_baseline.insert(baselineKey(a));

    if (!m_process.start(program, arguments)) {
        m_process.stop();
        removeUserFile();
        failStart();
        return false;
    }
    m_runStatus = VpnRunStatus::Started;
    emit signalRunStatus(VpnRunStatus::Started);

    // The wait runs this thread's events: a quit (or a newer start) from the
    // GUI meanwhile ends it, and it then reports nothing.
    platform::NestedWait wait;
    const platform::NestedWait::Waker waker = wait.waker();
    m_wait = waker;
    QTimer timer;
    timer.setInterval(m_tickMs);
    int countdown = m_ticks;
    connect(&timer, &QTimer::timeout, &timer, [&]() {
        // A tick between the wake and the loop's end changes nothing.
        if (wait.ended())
            return;
        if (generation != m_generation) {
            waker.wake();
            return;
        }
        checkChild();
        if (m_childEnded) {
            waker.wake();
            return;
        }
        InterfaceAddress found;
        if (findNewTunnelAddress(&found)) {
            m_vpnIp = found.address;
            m_tunnelDev = found.interfaceName;
            waker.wake();
        }
        if (--countdown < 0)
            waker.wake();
    });
    timer.start();
    wait.exec();
    timer.stop();

    if (generation != m_generation)
        return true;
    m_wait = {};
    const bool connected = !m_childEnded && !m_vpnIp.isEmpty();
    onVpnState(connected ? QStringLiteral("CONNECTED") : QString(), m_vpnIp);
    m_runStatus = VpnRunStatus::Prepared;
    if (!m_childEnded) {
        m_watch.setInterval(m_tickMs);
        m_watch.start();
    }
    return true;
}

void VpnManager::quit(bool)
{
    qDebug() << "VpnManager::quit";
    assertGuiThread(this, "VpnManager");
    ++m_generation;
    endWait();
    stopChild();
    m_runStatus = VpnRunStatus::Stopped;
}

void VpnManager::shutdown()
{
    const QSignalBlocker silent(this);
    quit(false);
}

bool VpnManager::prepareVpn()
{
    assertGuiThread(this, "VpnManager");
    m_runStatus = VpnRunStatus::Prepared;
    emit signalRunStatus(VpnRunStatus::Prepared);
    return true;
}

void VpnManager::setConfigData(const QString& text)
{
    assertGuiThread(this, "VpnManager");
    m_configData = text;
}

bool VpnManager::startTransparent(const QString& ip)
{
    // Beside the program, as the tools are installed; never the working
    // folder, which is the user's data folder. The address is the only
    // argument, passed without a shell.
    QProcess::startDetached(ProgramPath::resolve(QStringLiteral("Quillet")), {ip});
    return true;
}

bool VpnManager::startVncViewer(const QString& arg)
{
    const QString arch = QSysInfo::currentCpuArchitecture();
    const QString folder = (arch == QLatin1String("x86_64") || arch == QLatin1String("ia64"))
                               ? QStringLiteral("vnc/x64/")
                               : QStringLiteral("vnc/x86/");
    QProcess::startDetached(ProgramPath::resolve(folder + QStringLiteral("vncviewer")), {arg});
    return true;
}

VpnRunStatus VpnManager::runStatus()
{
    assertGuiThread(this, "VpnManager");
    return m_runStatus;
}

QString VpnManager::vpnIp()
{
    assertGuiThread(this, "VpnManager");
    return m_vpnIp;
}

bool VpnManager::hasChildEnded()
{
    assertGuiThread(this, "VpnManager");
    checkChild();
    return m_childEnded;
}

bool VpnManager::isVpnSupported()
{
    return true;
}

bool VpnManager::isVpnReady()
{
    assertGuiThread(this, "VpnManager");
    return true;
}

void VpnManager::setCommandRunner(CommandRunner* runner)
{
    assertGuiThread(this, "VpnManager");
    m_runner = runner ? runner : &m_ownRunner;
}

void VpnManager::setAddressLister(AddressLister lister)
{
    assertGuiThread(this, "VpnManager");
    m_lister = std::move(lister);
}

void VpnManager::setWaitTiming(int tickMs, int ticks)
{
    assertGuiThread(this, "VpnManager");
    m_tickMs = tickMs;
    m_ticks = ticks;
}

qint64 VpnManager::childPid() const
{
    return m_process.pid();
}

QString VpnManager::openvpnProgram(const QString& vpnDir)
{
    const QFileInfo own(ProgramPath::resolve(vpnDir + QStringLiteral("/openvpn")));
    if (own.isFile() && own.isExecutable())
        return QDir::cleanPath(own.absoluteFilePath());
    return QString::fromLatin1(kSystemOpenvpn);
}

QStringList VpnManager::windowsOnlyOptions()
{
    return {QStringLiteral("block-outside-dns"), QStringLiteral("dhcp-renew"),   QStringLiteral("dhcp-release"),
            QStringLiteral("dhcp-pre-release"),  QStringLiteral("register-dns"), QStringLiteral("ip-win32"),
            QStringLiteral("tap-sleep"),         QStringLiteral("win-sys"),      QStringLiteral("show-net-up"),
            QStringLiteral("windows-driver"),    QStringLiteral("service")};
}

QStringList VpnManager::ignoredPushes()
{
    return {QStringLiteral("redirect-gateway"), QStringLiteral("redirect-private"), QStringLiteral("route-ipv6")};
}

QStringList VpnManager::openvpnArguments(const QString& configPath, const QString& server, const QString& portText)
{
    // The ignore list must come before the configuration it applies to; the
    // script level after it, so that the configuration cannot raise it.
    QStringList args{QStringLiteral("--ignore-unknown-option")};
    args << windowsOnlyOptions();
    // openvpn takes the first filter that matches a pushed option: these come
    // before anything the configuration could bring.
    for (const QString& option : ignoredPushes())
        args << QStringLiteral("--pull-filter") << QStringLiteral("ignore") << option;
    args << QStringLiteral("--config") << configPath << QStringLiteral("--remote") << server << portText
         << QStringLiteral("--auth-user-pass") << Tarnwick::Constants::kVpnKeyFile
         << QStringLiteral("--script-security") << QStringLiteral("1");
    return args;
}

bool VpnManager::isServerText(const QString& server)
{
    if (RouteCommand::isStrictIpv4(server))
        return true;
    // A host name: dot-separated labels of letters, digits and hyphens, none
    // starting or ending with a hyphen, at most 253 characters.
    static const QRegularExpression host(
        QStringLiteral("\\A(?=.{1,253}\\z)[A-Za-z0-9](?:[A-Za-z0-9-]{0,61}[A-Za-z0-9])?"
                       "(?:\\.[A-Za-z0-9](?:[A-Za-z0-9-]{0,61}[A-Za-z0-9])?)*\\z"));
    // Dotted numbers that are not an IPv4 address are no host name either.
    static const QRegularExpression numeric(QStringLiteral("\\A[0-9.]+\\z"));
    return host.match(server).hasMatch() && !numeric.match(server).hasMatch();
}

bool VpnManager::isTunnelAddress(const QString& address)
{
    return address.startsWith(QLatin1String("10.8.")) || address.startsWith(QLatin1String("10.9."))
           || address.startsWith(QLatin1String("10.10."));
}

QVector<InterfaceAddress> VpnManager::systemAddresses()
{
    QVector<InterfaceAddress> list;
    const QList<QNetworkInterface> interfaces = QNetworkInterface::allInterfaces();
    for (const QNetworkInterface& iface : interfaces) {
        for (const QNetworkAddressEntry& entry : iface.addressEntries()) {
            if (entry.ip().protocol() == QAbstractSocket::IPv4Protocol)
                list.append({iface.name(), entry.ip().toString()});
        }
    }
    return list;
}

void VpnManager::onVpnState(const QString& state, const QString&)
{
    assertGuiThread(this, "VpnManager");
    if (state == QLatin1String("CONNECTED") && !m_tunnelDev.isEmpty()) {
        // The tunnel's address now; a tunnel that lost it keeps the last one.
        bool still = false;
        QString first;
        for (const InterfaceAddress& a : addresses()) {
            if (a.interfaceName != m_tunnelDev || !isTunnelAddress(a.address))
                continue;
            if (first.isEmpty())
                first = a.address;
            still = still || a.address == m_vpnIp;
        }
        if (!still && !first.isEmpty())
            m_vpnIp = first;
    }
    emit signalVPNStatus(state, m_vpnIp);
}

void VpnManager::checkChild()
{
    if (!noticeChildEnd())
        return;
    m_watch.stop();
    // A wait in progress reports the state itself when it ends.
    if (m_wait)
        m_wait.wake();
    else
        onVpnState(QString(), m_vpnIp);
}

bool VpnManager::noticeChildEnd()
{
    int status = -1;
    if (m_childEnded || !m_process.hasExited(&status))
        return false;
    m_childEnded = true;
    const QList<QByteArray> lines = m_process.lastOutput();
    qWarning().noquote() << QStringLiteral("VpnManager: openvpn ended by itself with %1").arg(describeExit(status))
                                + (lines.isEmpty() ? QStringLiteral(", without a word")
                                                   : QStringLiteral("; its last lines:"));
    for (const QByteArray& line : lines)
        qWarning().noquote() << QStringLiteral("VpnManager: openvpn: ") + logLine(line);
    return true;
}

void VpnManager::stopChild()
{
    qDebug() << "stop openvpn process ";
    m_watch.stop();
    // A child that ended unnoticed still has its say in the log.
    noticeChildEnd();
    cleanupRoutes();
    m_process.stop();
    m_childEnded = false;
    removeUserFile();
    onVpnState(QString(), QString());
    m_tunnelDev.clear();
}

void VpnManager::cleanupRoutes()
{
    if (m_tunnelDev.isEmpty() || m_vpnIp.isEmpty())
        return;
    // Only while the tunnel still carries its address: a vanished tunnel took
    // its routes with it, and a new interface of the same name is not ours.
    bool present = false;
    for (const InterfaceAddress& a : addresses())
        present = present || (a.interfaceName == m_tunnelDev && a.address == m_vpnIp);
    if (!present)
        return;
    RouteCommand route(*m_runner);
    bool ok = false;
    const QVector<RouteEntry> table = route.table(&ok, kRouteReadTimeoutMs);
    if (!ok) {
        qWarning() << "VpnManager: route table not readable";
        return;
    }
    QElapsedTimer clock;
    clock.start();
    for (const RouteEntry& r : table) {
        if (r.dev != m_tunnelDev || r.gateway.isEmpty())
            continue;
        const qint64 left = kRouteDeleteTimeoutMs - clock.elapsed();
        if (left <= 0)
            break;
        const CommandResult result = route.deleteRoute(r, static_cast<int>(left));
        if (!result.succeeded())
            qWarning().noquote() << "VpnManager: route not removed:" << r.dst << r.gateway << r.dev;
    }
}

void VpnManager::endWait()
{
    m_wait.wake();
    m_wait = {};
}

QVector<InterfaceAddress> VpnManager::addresses() const
{
    return m_lister ? m_lister() : systemAddresses();
}

bool VpnManager::findNewTunnelAddress(InterfaceAddress* found) const
{
    for (const InterfaceAddress& a : addresses()) {
        if (isTunnelAddress(a.address) && !m_baseline.contains(baselineKey(a))) {
            *found = a;
            return true;
        }
    }
    return false;
}

bool VpnManager::writeUserFile(const QString& user, const QString& password)
{
    // A line break would shift the password into the wrong line.
    static const QRegularExpression breaks(QStringLiteral("[\\r\\n\\x{0}]"));
    if (breaks.match(user).hasMatch() || breaks.match(password).hasMatch()) {
        qWarning() << "VpnManager: user name or password holds a line break";
        return false;
    }
    const QString path = Tarnwick::Constants::kVpnKeyFile;
    const QFileInfo info(path);
    if (!QDir().mkpath(info.path()))
        return false;
    // Written in full to a private temporary file that then replaces the old one.
    if (!platform::writePrivateFile(QFile::encodeName(path).toStdString(),
                                    (user.toUtf8() + '\n' + password.toUtf8()).toStdString()))
        return false;
    m_userFileWritten = true;
    return true;
}

void VpnManager::removeUserFile()
{
    if (!m_userFileWritten)
        return;
    QFile::remove(Tarnwick::Constants::kVpnKeyFile);
    m_userFileWritten = false;
}

void VpnManager::addVpnFolderToPath(const QString& folder)
{
    const QString path = QString::fromLocal8Bit(qgetenv("PATH"));
    if (path.contains(folder))
        return;
    qputenv("PATH", (folder + QStringLiteral("depends:") + path).toLocal8Bit());
}

void VpnManager::failStart()
{
    m_runStatus = VpnRunStatus::Prepared;
    emit signalRunStatus(VpnRunStatus::Stopped);
}

} // namespace VPN_Android
