#pragma once

// Two network namespaces of a test's own, "PC" and "panel", joined by a veth
// pair, so that tests can raise tunnels, add routes and run servers without
// touching the machine's own interfaces and routes. A test runs in two roles:
// the outer one (in the machine's namespace) builds the lab and runs the same
// test again inside the PC namespace through `ip netns exec`; the inner one
// (isInner()) does the PC side. Everything lives under names that start with
// "twvpn" and is removed, with the processes inside, when the lab goes.

#include "platform/process/commandrunner.h"

#include <QMap>
#include <QString>
#include <QStringList>

class NetnsLab {
public:
    // The veth pair and its private addresses; they never leave the namespaces.
    static QString pcInterface() { return QStringLiteral("vpc0"); }
    static QString panelInterface() { return QStringLiteral("vpanel0"); }
    static QString pcAddress() { return QStringLiteral("172.31.77.2"); }
    static QString panelAddress() { return QStringLiteral("172.31.77.1"); }

    // Empty when this machine can run the lab (root, /dev/net/tun, ip,
    // openvpn, openssl, namespaces); otherwise the reason why not.
    static QString unavailableReason();
    // The namespace part of that alone (root, ip, a namespace that can be
    // made and entered), for tests that need no tunnel.
    static QString namespaceUnavailableReason();

    NetnsLab();
    ~NetnsLab(); // destroy()
    NetnsLab(const NetnsLab&) = delete;
    NetnsLab& operator=(const NetnsLab&) = delete;

    // Both namespaces with loopback up and the veth pair addressed.
    bool create(QString* error);
    // Kills what still runs inside, removes both namespaces.
    void destroy();

    QString pc() const { return m_pc; }
    QString panel() const { return m_panel; }

    // `ip ARGS` from the machine's namespace (use "-n NS" to reach inside).
    static CommandResult ip(const QStringList& args, int timeoutMs = 10000);
    // Runs a program inside a namespace.
    static CommandResult inNamespace(const QString& ns, const QString& program, const QStringList& args,
                                     int timeoutMs = 10000);
    // An `ip` command inside a namespace that must succeed; false with its output in *error otherwise.
    bool must(const QString& ns, const QStringList& args, QString* error);

    // Runs the current test again inside the namespace in the inner role, with
    // the given values in its environment; its output comes back in the result.
    CommandResult rerunCurrentTestInside(const QString& ns, const QMap<QString, QString>& values, int timeoutMs);
    static bool isInner();
    // A value the outer role handed to the inner one.
    static QString innerValue(const QString& name);

    // The machine's main IPv4 and IPv6 route tables as text.
    static QString machineRoutes();
    // The IPv4 main table of the namespace this process runs in.
    static QString ownRoutes();

private:
    static QStringList namespacePids(const QString& ns);
    static void removeOrphans();

    QString m_pc;
    QString m_panel;
    bool m_created = false;
};
