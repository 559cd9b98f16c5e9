#pragma once

// A real OpenVPN 2.6 server for tests, run inside a namespace of the test:
// a throw-away CA and server certificate made with openssl at test time,
// clients without certificates admitted by user name and password (checked
// by a small script), a subnet of 10.8.0.0/24 and one pushed route.

#include "platform/process/win32process.h"

#include <QByteArray>
#include <QString>

class OpenVpnTestServer {
public:
    static QString user() { return QStringLiteral("tw-user"); }
    static QString password() { return QStringLiteral("tw-pass-7"); }
    static QString tunnelGateway() { return QStringLiteral("10.8.0.1"); }
    // Pushed to every client as a route through the tunnel.
    static QString pushedNetwork() { return QStringLiteral("10.77.0.0"); }

    // Files go to dir, which must exist.
    explicit OpenVpnTestServer(const QString& dir);
    ~OpenVpnTestServer(); // stop()
    OpenVpnTestServer(const OpenVpnTestServer&) = delete;
    OpenVpnTestServer& operator=(const OpenVpnTestServer&) = delete;

    // The CA and the server's key and certificate, and clientConfig() as
    // "client.ovpn" beside them.
    bool makePki(QString* error);
    // The client configuration a cloud would hand out: the CA inline, no
    // remote (the command line brings it) and lines of the Windows build.
    QByteArray clientConfig() const;

    // Also pushes what a server that wants all of the client's traffic
    // pushes: redirect-gateway (IPv4 and IPv6), redirect-private and a route
    // to every global IPv6 address; the tunnel then carries IPv6 as well
    // (tunnelNetwork6()). Before start().
    void pushTakeover() { m_takeover = true; }
    static QString tunnelNetwork6() { return QStringLiteral("fd00:77::/64"); }

    // Starts the server inside the namespace, listening on address:port (UDP),
    // and waits until it is ready.
    bool start(const QString& ns, const QString& address, int port, QString* error, int timeoutMs = 30000);
    void stop();
    QString log() const;

private:
    QString path(const QString& name) const;

    QString m_dir;
    Win32Process m_process;
    bool m_takeover = false;
};
