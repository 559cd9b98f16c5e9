#include "tarnwick/core/globalconfig.h"

#include "platform/dispatch/nestedwait.h"
#include "platform/settings/registrysettings.h"
#include "tarnwick/core/constants.h"

#include <QDateTime>
#include <QDebug>
#include <QHostAddress>
#include <QHostInfo>

#include <memory>

namespace C = Tarnwick::Constants;

GlobalConfig* GlobalConfig::instance()
{
    static GlobalConfig config;
    return &config;
}

GlobalConfig::GlobalConfig(QObject* parent)
    : QObject(parent)
{
    load();
}

GlobalConfig::~GlobalConfig()
{
    save();
}

void GlobalConfig::load()
{
    RegistrySettings settings(C::kSettingsPath);
    m_keepPswd = settings.value(C::kKeyKeepPswd, false).toBool();
    m_keepIp = settings.value(C::kKeyKeepIp, false).toBool();
    m_userName = settings.value(C::kKeyUserName, C::kEmptyText).toString();
    m_password = settings.value(C::kKeyPassword, C::kEmptyText).toString();
    m_deviceIp = settings.value(C::kKeyDeviceIp, C::kEmptyText).toString();
    m_importTime = settings.value(C::kKeyImportTime, C::kEmptyText).toString();
    m_custom = settings.value(C::kKeyCustom, false).toBool();
    m_server = settings.value(C::kKeyServer, C::kEmptyText).toString();
    m_serverPswd = settings.value(C::kKeyServerPswd, C::kEmptyText).toString();
    bool ok = false;
    const int port = settings.value(C::kKeyServerPort, C::kDefaultServerPort).toInt(&ok);
    m_serverPort = ok ? port : C::kDefaultServerPort;
}

bool GlobalConfig::save()
{
    RegistrySettings settings(C::kSettingsPath);
    settings.setValue(C::kKeyKeepPswd, m_keepPswd);
    settings.setValue(C::kKeyKeepIp, m_keepIp);
    settings.setValue(C::kKeyUserName, m_keepPswd ? m_userName : C::kEmptyText);
    settings.setValue(C::kKeyPassword, m_keepPswd ? m_password : C::kEmptyText);
    settings.setValue(C::kKeyDeviceIp, m_keepIp ? m_deviceIp : C::kEmptyText);
    settings.setValue(C::kKeyImportTime, m_importTime);
    settings.setValue(C::kKeyCustom, m_custom);
    settings.setValue(C::kKeyServer, m_server);
    settings.setValue(C::kKeyServerPswd, m_serverPswd);
    settings.setValue(C::kKeyServerPort, m_serverPort);
    return settings.sync();
}

void GlobalConfig::setServer(const QString& server)
{
    m_server = server;
    m_serverIp = resolveHost(m_server);
}

QString GlobalConfig::server() const
{
    return m_server.isNull() ? C::kEmptyText : m_server;
}

QString GlobalConfig::serverIp()
{
    if (m_serverIp.isEmpty())
        m_serverIp = resolveHost(server());
    return m_serverIp.isEmpty() ? server() : m_serverIp;
}

QString GlobalConfig::lookupServerIp()
{
    return resolveHost(server());
}

void GlobalConfig::updateImportTime()
{
    m_importTime = QDateTime::currentDateTime().toString(QStringLiteral("yyyy/MM/dd hh:mm:ss"));
}

void GlobalConfig::setLogged(bool logged)
{
    if (m_logged == logged)
        return;
    m_logged = logged;
    emit onLogChanged(logged);
}

QString GlobalConfig::resolveHost(const QString& host)
{
    QHostAddress address;
    if (address.setAddress(host)) {
        qDebug().noquote().nospace() << "host is ip, need not to trans!" << host;
        return host;
    }
    if (host.isEmpty())
        return QString();

    // The lookup may answer after this call gave up. Its receiver lives until
    // the answer comes (Qt 5.15 leaks the functor of a lookup whose receiver
    // died or that was aborted), and the state it writes is shared, marked
    // abandoned when the call returns, so a late answer touches nothing else.
    struct Lookup {
        QString result;
        bool abandoned = false;
    };
    auto lookup = std::make_shared<Lookup>();
    platform::NestedWait wait;
    QObject* receiver = new QObject;
    QHostInfo::lookupHost(host, receiver, [lookup, receiver, host, waker = wait.waker()](const QHostInfo& info) {
        receiver->deleteLater();
        if (lookup->abandoned)
            return;
        const QList<QHostAddress> addresses = info.addresses();
        if (addresses.isEmpty()) {
            qDebug().noquote().nospace() << "transe server " << host << " error!";
        } else {
            // Callers build "http://%1/..." from the result: an IPv4 text
            // comes first.
            lookup->result = addresses.first().toString();
            for (const QHostAddress& a : addresses) {
                if (a.protocol() == QAbstractSocket::IPv4Protocol) {
                    lookup->result = a.toString();
                    break;
                }
            }
        }
        waker.wake();
    });
    wait.exec(C::kResolveTimeoutMs);
    lookup->abandoned = true;
    return lookup->result;
}
