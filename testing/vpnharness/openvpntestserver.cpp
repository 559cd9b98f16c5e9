#include "testing/vpnharness/openvpntestserver.h"

#include "platform/process/commandrunner.h"
#include "platform/route/routecommand.h"
#include "testing/main/eventwait.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QThread>

namespace {

bool writeText(const QString& path, const QByteArray& text, QFile::Permissions permissions)
{
    QFile f(path);
    if (!f.open(QIODevice::WriteOnly | QIODevice::Truncate))
        return false;
    const bool ok = f.write(text) == text.size();
    f.close();
    return ok && f.setPermissions(permissions);
}

QByteArray readText(const QString& path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

} // namespace

OpenVpnTestServer::OpenVpnTestServer(const QString& dir)
    : m_dir(dir)
{
}

OpenVpnTestServer::~OpenVpnTestServer()
{
    stop();
}

QString OpenVpnTestServer::path(const QString& name) const
{
    return QDir(m_dir).filePath(name);
}

bool OpenVpnTestServer::makePki(QString* error)
{
    ProcessCommandRunner runner;
    const QString openssl = QStringLiteral("/usr/bin/openssl");
    const QStringList ec{QStringLiteral("-newkey"), QStringLiteral("ec"), QStringLiteral("-pkeyopt"),
                         QStringLiteral("ec_paramgen_curve:prime256v1"), QStringLiteral("-nodes")};
    if (!writeText(path(QStringLiteral("server.ext")),
                   "basicConstraints=CA:FALSE\nkeyUsage=digitalSignature,keyAgreement\nextendedKeyUsage=serverAuth\n",
                   QFile::ReadOwner | QFile::WriteOwner)) {
        if (error)
            *error = QStringLiteral("cannot write the certificate extensions");
        return false;
    }
    const QList<QStringList> steps{
        QStringList{QStringLiteral("req"), QStringLiteral("-x509")} + ec
            + QStringList{QStringLiteral("-keyout"), path(QStringLiteral("ca.key")), QStringLiteral("-out"),
                          path(QStringLiteral("ca.crt")), QStringLiteral("-days"), QStringLiteral("2"),
                          QStringLiteral("-subj"), QStringLiteral("/CN=twvpn test CA")},
        QStringList{QStringLiteral("req")} + ec
            + QStringList{QStringLiteral("-keyout"), path(QStringLiteral("server.key")), QStringLiteral("-out"),
                          path(QStringLiteral("server.csr")), QStringLiteral("-subj"),
                          QStringLiteral("/CN=twvpn-server")},
        QStringList{QStringLiteral("x509"), QStringLiteral("-req"), QStringLiteral("-in"),
                    path(QStringLiteral("server.csr")), QStringLiteral("-CA"), path(QStringLiteral("ca.crt")),
                    QStringLiteral("-CAkey"), path(QStringLiteral("ca.key")), QStringLiteral("-CAcreateserial"),
                    QStringLiteral("-out"), path(QStringLiteral("server.crt")), QStringLiteral("-days"),
                    QStringLiteral("2"), QStringLiteral("-extfile"), path(QStringLiteral("server.ext"))},
    };
    for (const QStringList& step : steps) {
        const CommandResult r = runner.run(openssl, step, 30000);
        if (!r.succeeded()) {
            if (error)
                *error = QStringLiteral("openssl %1: %2").arg(step.first(), QString::fromLocal8Bit(r.output));
            return false;
        }
    }
    if (!writeText(path(QStringLiteral("client.ovpn")), clientConfig(), QFile::ReadOwner | QFile::WriteOwner)) {
        if (error)
            *error = QStringLiteral("cannot write client.ovpn");
        return false;
    }
    return true;
}

QByteArray OpenVpnTestServer::clientConfig() const
{
    QByteArray text = "client\n"
                      "dev tun\n"
                      "proto udp\n"
                      "nobind\n"
                      "remote-cert-tls server\n"
                      "connect-retry 1\n"
                      "verb 3\n"
                      "# lines of the Windows build that openvpn here does not know\n"
                      "block-outside-dns\n"
                      "register-dns\n"
                      "<ca>\n";
    text += readText(path(QStringLiteral("ca.crt")));
    text += "</ca>\n";
    return text;
}

bool OpenVpnTestServer::start(const QString& ns, const QString& address, int port, QString* error, int timeoutMs)
{
    const QString check = path(QStringLiteral("check-user.sh"));
    const QByteArray script = QStringLiteral("#!/bin/sh\n"
                                             "# openvpn hands over a file: the user name, then the password.\n"
                                             "{ IFS= read -r u; IFS= read -r p; } < \"$1\"\n"
                                             "[ \"$u\" = '%1' ] && [ \"$p\" = '%2' ]\n")
                                  .arg(user(), password())
                                  .toUtf8();
    const QByteArray config = QStringLiteral("dev tun\n"
                                             "proto udp\n"
                                             "local %1\n"
                                             "port %2\n"
                                             "topology subnet\n"
                                             "server 10.8.0.0 255.255.255.0\n"
                                             "push \"route %3 255.255.255.0\"\n"
                                             "ca %4\ncert %5\nkey %6\n"
                                             "dh none\n"
                                             "verify-client-cert none\n"
                                             "username-as-common-name\n"
                                             "script-security 2\n"
                                             "auth-user-pass-verify %7 via-file\n"
                                             "tmp-dir %8\n"
                                             "keepalive 2 10\n"
                                             "verb 3\n"
                                             "log %9\n")
                                  .arg(address)
                                  .arg(port)
                                  .arg(pushedNetwork(), path(QStringLiteral("ca.crt")),
                                       path(QStringLiteral("server.crt")), path(QStringLiteral("server.key")), check,
                                       m_dir, path(QStringLiteral("server.log")))
                                  .toUtf8();
    const QByteArray takeover = QStringLiteral("server-ipv6 %1\n"
                                               "push \"redirect-gateway def1 ipv6\"\n"
                                               "push \"redirect-private def1\"\n"
                                               "push \"route-ipv6 2000::/3\"\n")
                                    .arg(tunnelNetwork6())
                                    .toUtf8();
    QFile::remove(path(QStringLiteral("server.log")));
    if (!writeText(check, script, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner)
        || !writeText(path(QStringLiteral("server.conf")), m_takeover ? config + takeover : config,
                      QFile::ReadOwner | QFile::WriteOwner)) {
        if (error)
            *error = QStringLiteral("cannot write the server files");
        return false;
    }
    if (!m_process.start(RouteCommand::ipProgram(),
                         {QStringLiteral("netns"), QStringLiteral("exec"), ns, QStringLiteral("/usr/sbin/openvpn"),
                          QStringLiteral("--config"), path(QStringLiteral("server.conf"))})) {
        if (error)
            *error = QStringLiteral("cannot start openvpn");
        return false;
    }
    const auto up = [this] { return log().contains(QStringLiteral("Initialization Sequence Completed")); };
    if (TestWait::waitUntil([&] { return up() || m_process.hasExited(); }, timeoutMs) && up())
        return true;
    if (error)
        *error = QStringLiteral("the server did not come up:\n") + log();
    stop();
    return false;
}

void OpenVpnTestServer::stop()
{
    m_process.stop();
}

QString OpenVpnTestServer::log() const
{
    return QString::fromLocal8Bit(readText(QDir(m_dir).filePath(QStringLiteral("server.log"))));
}
