#pragma once

// The PC's end of the VPN tunnel to a remote panel: writes the OpenVPN user
// file, starts openvpn as a supervised child, waits until a new address of
// the tunnel's networks appears, reports the tunnel state by signals, and on
// quit removes the routes through the tunnel and stops the child. It also
// starts the serial pass-through tool for a panel. One per process, on the
// GUI thread.
//
// The configuration comes from the cloud over plain HTTP, so it is not
// trusted: openvpn runs it with "--script-security 1" given after it (no
// scripts), only a configuration made of the directives the service's
// configurations hold is run (OpenVpnConfigFilter), the server must be a
// host name or an IPv4 address with a port 1-65535, and the server's pushes
// that would take over the PC's default routes are ignored. A child that ends by
// itself is noticed at the next tick: its exit status and last output lines
// go to the log and the tunnel state turns empty. The user file holds the
// password readable by its owner only and is removed when the child stops;
// the password is never on a command line or in a log.

#include "platform/dispatch/nestedwait.h"
#include "platform/process/commandrunner.h"
#include "platform/process/win32process.h"

#include <QObject>
#include <QSet>
#include <QString>
#include <QStringList>
#include <QTimer>
#include <QVector>

#include <functional>

namespace VPN_Android {

// One IPv4 address of one network interface of the PC.
struct InterfaceAddress {
    QString interfaceName;
    QString address;
};

// The manager's run status, as runStatus() holds it and signalRunStatus
// reports it. Stopped: at construction and after quit; as a signal, a start
// whose child did not start. Started: the child started. Prepared: after
// prepareVpn and after a start's wait; held (not signalled) after a start
// whose child did not start.
enum class VpnRunStatus : int { Stopped = 0, Started = 1, Prepared = 2 };

class VpnManager : public QObject {
    Q_OBJECT
public:
    using AddressLister = std::function<QVector<InterfaceAddress>()>;

    static constexpr int kWaitTickMs = 1000;
    static constexpr int kWaitTicks = 10; // the wait ends after the eleventh tick
    static constexpr int kRouteReadTimeoutMs = 2000;
    static constexpr int kRouteDeleteTimeoutMs = 3000;
    static constexpr qint64 kMaxConfigBytes = 1024 * 1024;

    // The process-wide manager, built on first use.
    static VpnManager* instance();

    explicit VpnManager(QObject* parent = nullptr);
    // Stops the child and removes the user file, nothing more: no signal, no
    // route command (it may run at process exit, after the window and the
    // application). The program ends the tunnel before, with shutdown().
    ~VpnManager() override;

    // Starts the tunnel; true when the child started. Waits (in a nested event
    // loop) up to about eleven seconds for the tunnel address before it returns.
    bool startVPN(QString vpnDir, QString configName, QString server, int port, QString user, QString password);
    // Removes the routes through the tunnel, stops the child, reports the empty state.
    void quit(bool);
    // quit() without any signal, for the program's end: nothing is told to a
    // window that may be going or gone. Needs no event loop.
    void shutdown();
    bool prepareVpn();
    void setConfigData(const QString& text);
    // Starts the pass-through tool detached for the panel; always true.
    bool startTransparent(const QString& ip);
    // Starts an outside VNC viewer detached; always true.
    bool startVncViewer(const QString& arg);
    VpnRunStatus runStatus();
    QString vpnIp();
    // True when the child of the last start has ended by itself (not by quit
    // or a newer start); noticing it here logs it and reports the empty state.
    bool hasChildEnded();
    static bool isVpnSupported();
    bool isVpnReady();

    // Seams for tests and for the namespace harness.
    // Runs the route commands (not owned); null returns to the manager's own runner.
    void setCommandRunner(CommandRunner* runner);
    // Lists the PC's addresses; empty returns to the system's interfaces.
    void setAddressLister(AddressLister lister);
    void setWaitTiming(int tickMs, int ticks);
    // The child's pid while one runs, else -1.
    qint64 childPid() const;

    // The openvpn under the VPN folder when there is one, else the system's.
    static QString openvpnProgram(const QString& vpnDir);
    // The command line after the program.
    static QStringList openvpnArguments(const QString& configPath, const QString& server, const QString& portText);
    // A host name or a dotted IPv4 address, not starting with '-'.
    static bool isServerText(const QString& server);
    // An address of the tunnel's networks: it starts with "10.8.", "10.9." or "10.10.".
    static bool isTunnelAddress(const QString& address);
    static QVector<InterfaceAddress> systemAddresses();
    // Options of the Windows build that openvpn on this system does not know.
    static QStringList windowsOnlyOptions();
    // What the server may push but openvpn is told to ignore: the tunnel
    // leads to one panel and the network behind it, never the PC's default
    // routes (IPv4 or IPv6). Pushed routes to the panel's networks stay.
    static QStringList ignoredPushes();

signals:
    void signalVPNStatus(QString state, QString ip);
    void signalRunStatus(VPN_Android::VpnRunStatus state);

private:
    void onVpnState(const QString& state, const QString& ip);
    // A child that ended by itself ends the wait or reports the empty state.
    void checkChild();
    // True the first time the child is found ended by itself, which is then
    // logged with its status and last lines.
    bool noticeChildEnd();
    // Route clean-up, child stopped, user file removed, empty state.
    void stopChild();
    void cleanupRoutes();
    void endWait();
    QVector<InterfaceAddress> addresses() const;
    // The first tunnel address that was not there at the start.
    bool findNewTunnelAddress(InterfaceAddress* found) const;
    bool writeUserFile(const QString& user, const QString& password);
    void removeUserFile();
    void addVpnFolderToPath(const QString& folder);
    void failStart();

    Win32Process m_process; // first member: destroyed last
    VpnRunStatus m_runStatus = VpnRunStatus::Stopped;
    QString m_configData;
    QString m_vpnIp;
    QString m_tunnelDev;                // the interface that carries m_vpnIp
    QSet<QString> m_baseline;           // "interface address" pairs present at the start
    quint64 m_generation = 0;           // changes at every start and quit
    platform::NestedWait::Waker m_wait; // of the start waiting for its tunnel, if one waits
    bool m_userFileWritten = false;
    bool m_childEnded = false;
    QTimer m_watch; // looks after the child once the wait is over
    ProcessCommandRunner m_ownRunner;
    CommandRunner* m_runner = &m_ownRunner;
    AddressLister m_lister;
    int m_tickMs = kWaitTickMs;
    int m_ticks = kWaitTicks;
};

} // namespace VPN_Android
