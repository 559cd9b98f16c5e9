#include "tarnwick/core/forwarding/localnetforwardmanager.h"

#include "tarnwick/core/constants.h"
#include "tarnwick/core/forwarding/devicectrlstate.h"
#include "tarnwick/core/messages/uimsg.h"
#include "tarnwick/core/messages/vpnrpcobject.h"
#include "tarnwick/core/panelrpc/panelconstants.h"
#include "tarnwick/core/panelrpc/panelrecords.h"

#include "framework/net/exception.h"
#include "framework/net/tcpclient.h"
#include "framework/rpc/dispatchclient.h"
#include "framework/rpc/syncproxy.h"
#include "framework/rpc/typedcall.h"
#include "platform/exceptionlog/exceptionlog.h"
#include "platform/route/routecommand.h"
#include "platform/settings/registrysettings.h"

#include <QDebug>
#include <QMetaObject>
#include <QRegularExpression>

#include <memory>

namespace {

enum class Outcome { Done, Busy, Refused, Unreachable, Unsupported, Lost, Failed };

bool isUnsupported(const FF::Net::Exception& e)
{
    return e.info() == "NoRegisteredFunction";
}

} // namespace

const char LocalNetForwardManager::kStatePending[] = "pending";
const char LocalNetForwardManager::kStateStart[] = "start";
const char LocalNetForwardManager::kStateStop[] = "stop";

LocalNetForwardManager::LocalNetForwardManager(QObject* parent)
    : QObject(parent)
    , m_port(Tarnwick::PanelConstants::kServicePort)
{
    init();
}

LocalNetForwardManager::LocalNetForwardManager(CommandRunner* runner, QObject* parent)
    : QObject(parent)
    , m_runner(runner ? runner : &m_ownRunner)
    , m_port(Tarnwick::PanelConstants::kServicePort)
{
    init();
}

void LocalNetForwardManager::init()
{
    m_beatTimer.setInterval(kBeatIntervalMs);
    auto stop = std::make_unique<DeviceStopState>(this);
    m_state = stop.get();
    m_states[QString::fromLatin1(kStatePending)] = std::make_unique<DeviceCtrlState>();
    m_states[QString::fromLatin1(kStateStart)] = std::make_unique<DeviceStartState>(this);
    m_states[QString::fromLatin1(kStateStop)] = std::move(stop);
    connect(&m_beatTimer, &QTimer::timeout, this, [this]() { m_state->beat(); });

    // A removal left behind by an earlier run is carried out once.
    _cleanupForward(loadRouteDelCmd(), nullptr);
}

LocalNetForwardManager::~LocalNetForwardManager()
{
    _stopNetForward(false);
    _cleanupForward(m_routeDelCmd, std::move(m_client));
    m_state = nullptr;
    m_states.clear();
}

QString LocalNetForwardManager::deviceIp() const
{
    return m_deviceIp;
}

void LocalNetForwardManager::startNetForward(const QString& deviceAccessIP, const QString& deviceLanIP)
{
    m_state->start(deviceAccessIP, deviceLanIP);
}

void LocalNetForwardManager::stopNetForward(bool emitSignal)
{
    m_state->stop(emitSignal);
}

void LocalNetForwardManager::stopNetForwardSilently()
{
    _stopNetForward(false);
}

void LocalNetForwardManager::dropRouteNow()
{
    ++m_session;
    m_beatTimer.stop();
    m_deviceIp.clear();
    // The panel's connection is left as it is: a call of the dispatcher
    // thread may still be using it.
    const QString routeDelCmd = m_routeDelCmd;
    m_routeDelCmd.clear();
    _cleanupForward(routeDelCmd, nullptr);
}

QString LocalNetForwardManager::clientId() const
{
    return Tarnwick::Constants::kClientId;
}

void LocalNetForwardManager::setServicePort(quint16 port)
{
    m_port = port;
}

void LocalNetForwardManager::setBeatInterval(int ms)
{
    m_beatTimer.setInterval(ms);
}

QString LocalNetForwardManager::stateName() const
{
    for (const auto& entry : m_states) {
        if (entry.second.get() == m_state)
            return entry.first;
    }
    return QString();
}

bool LocalNetForwardManager::parseRouteDelCmd(const QString& text, QString* network, QString* gateway)
{
    const QStringList parts = text.split(QLatin1Char(' '));
    if (parts.size() != 4 || parts[0] != QLatin1String("route") || parts[1] != QLatin1String("delete")
        || !VPNRpcObject::isIpv4Address(parts[2]) || !VPNRpcObject::isIpv4Address(parts[3]))
        return false;
    *network = parts[2];
    *gateway = parts[3];
    return true;
}

bool LocalNetForwardManager::_startNetForward(const QString& deviceAccessIP, const QString& deviceLanIP)
{
    _stopNetForward(false);
    if (deviceAccessIP.isEmpty() || deviceLanIP.isEmpty() || !VPNRpcObject::isIpv4Address(deviceAccessIP)
        || !VPNRpcObject::isIpv4Address(deviceLanIP)) {
        emit deviceConnectComplete(deviceAccessIP, false);
        return false;
    }
    const QString network = RouteCommand::network24(deviceLanIP);
    m_deviceIp = deviceAccessIP;
    const quint64 session = ++m_session;

    struct StartResult {
        Outcome outcome = Outcome::Failed;
        std::unique_ptr<FF::RPC::DispatchClient> client;
    };
    auto result = std::make_shared<StartResult>();
    const QByteArray address = deviceAccessIP.toUtf8();
    const quint16 port = m_port;
    const std::string id = clientId().toStdString();
    UiMsg::postAndWait([result, address, port, id](UiMsg*) -> int {
        try {
            const FF::Net::Address target(address.constData(), port);
            if (!FF::Net::TCPClient::CheckConnection(target, kReachWindowMs)) {
                result->outcome = Outcome::Unreachable;
                return -1;
            }
            result->client = std::make_unique<FF::RPC::DispatchClient>(target, FF::Net::TCPClient::NewFactory());
            FF::RPC::SyncProxy proxy(result->client.get());
            const int answer = FF::RPC::call<int>(proxy, kCallTimeoutMs, "bridgeControl", FF::utils::String(id), true);
            result->outcome = answer == 0 ? Outcome::Done : answer == 1 ? Outcome::Busy : Outcome::Refused;
        } catch (const FF::Net::Exception& e) {
            result->outcome = isUnsupported(e) ? Outcome::Unsupported : Outcome::Failed;
        } catch (...) {
            platform::reportEscapedException("LocalNetForwardManager bridge on");
            result->outcome = Outcome::Failed;
        }
        return result->outcome == Outcome::Done ? 0 : -1;
    });
    if (session != m_session) {
        // A stop during the wait ended this start: the bridge it may have
        // switched on goes off again, and the client is ours to drop.
        if (result->outcome == Outcome::Done)
            bridgeOff(result->client.get());
        _cleanupForward(QString(), std::move(result->client));
        return false;
    }
    m_client = std::move(result->client);
    const QString ip = deviceAccessIP;

    if (result->outcome == Outcome::Done) {
        RouteCommand route(*m_runner);
        const CommandResult added = route.addNet24(network, deviceAccessIP, kRouteTimeoutMs);
        if (added.succeeded()) {
            m_routeDelCmd = QStringLiteral("route delete %1 %2").arg(network, deviceAccessIP);
            m_beatTimer.start();
            saveRouteDelCmd(m_routeDelCmd);
            emitLater([this, ip]() { emit deviceConnectComplete(ip, true); });
            return true;
        }
        // No route, no forwarding: the bridge goes off again.
        qWarning().noquote() << "LocalNetForwardManager: route not added:"
                             << QString::fromLocal8Bit(added.output).trimmed().left(200);
        bridgeOff(m_client.get());
        emitLater([this, ip]() { emit deviceConnectComplete(ip, false); });
    } else if (result->outcome == Outcome::Busy) {
        emitLater([this, ip]() { emit deviceBusy(ip); });
    } else if (result->outcome == Outcome::Unsupported) {
        emitLater([this, ip]() { emit unsupport(ip); });
    } else {
        emitLater([this, ip]() { emit deviceConnectComplete(ip, false); });
    }
    _cleanupForward(m_routeDelCmd, std::move(m_client));
    clearForward();
    return false;
}

void LocalNetForwardManager::_stopNetForward(bool emitSignal)
{
    ++m_session;
    const QString ip = m_deviceIp;
    m_beatTimer.stop();
    m_deviceIp.clear();
    // Posted even with nothing forwarded: it also waits for any work still queued.
    bridgeOff(m_client.get());
    if (emitSignal && !ip.isEmpty())
        emitLater([this, ip]() { emit deviceOfflineline(ip); });
    _cleanupForward(m_routeDelCmd, std::move(m_client));
    clearForward();
}

bool LocalNetForwardManager::_sendHeartbeats()
{
    if (m_deviceIp.isEmpty() || !m_client)
        return false;
    if (m_beatBusy)
        return true; // the previous beat still waits for its answer
    m_beatBusy = true;
    const quint64 session = m_session;
    auto outcome = std::make_shared<Outcome>(Outcome::Failed);
    FF::RPC::DispatchClient* client = m_client.get(); // stays ours until a stop's wait queued behind this one
    const std::string id = clientId().toStdString();
    UiMsg::postAndWait([outcome, client, id](UiMsg*) -> int {
        if (!client->online()) {
            *outcome = Outcome::Lost;
            return -1;
        }
        try {
            FF::RPC::SyncProxy proxy(client);
            const BridgeStatus status = FF::RPC::call<BridgeStatus>(proxy, kCallTimeoutMs, "bridgeBeat",
                                                                    FF::utils::String(id));
            *outcome = status.status != 0 ? Outcome::Done : Outcome::Lost;
        } catch (const FF::Net::Exception& e) {
            *outcome = isUnsupported(e) ? Outcome::Unsupported : Outcome::Failed;
        } catch (...) {
            platform::reportEscapedException("LocalNetForwardManager bridge beat");
            *outcome = Outcome::Failed;
        }
        return *outcome == Outcome::Done ? 0 : -1;
    });
    m_beatBusy = false;
    if (session != m_session)
        return true; // a stop or a new start took over meanwhile
    const bool ok = *outcome == Outcome::Done;
    qDebug() << "sendheartbeats" << (ok ? "true" : "false");
    if (!ok) {
        const QString ip = m_deviceIp;
        ++m_session;
        _cleanupForward(m_routeDelCmd, std::move(m_client));
        clearForward();
        m_beatTimer.stop();
        if (*outcome == Outcome::Unsupported)
            emitLater([this, ip]() { emit unsupport(ip); });
        else
            emitLater([this, ip]() { emit deviceDropline(ip); });
    }
    return ok;
}

void LocalNetForwardManager::_setState(const QString& state)
{
    const auto found = m_states.find(state);
    if (found == m_states.end() || found->second.get() == m_state)
        return;
    DeviceCtrlState* next = found->second.get();
    m_state = next;
    emit stateChanged(state);
}

void LocalNetForwardManager::_cleanupForward(const QString& routeDelCmd,
                                             std::unique_ptr<FF::RPC::DispatchClient> client)
{
    if (!routeDelCmd.isEmpty()) {
        QString network;
        QString gateway;
        if (parseRouteDelCmd(routeDelCmd, &network, &gateway)) {
            const CommandResult removed = RouteCommand(*m_runner).deleteNet24(network, gateway, kRouteTimeoutMs);
            if (!removed.succeeded())
                qWarning().noquote() << "LocalNetForwardManager: route not removed:"
                                     << QString::fromLocal8Bit(removed.output).trimmed().left(200);
        } else {
            qWarning().noquote() << "LocalNetForwardManager: stored route command not run:" << routeDelCmd.left(120);
        }
        saveRouteDelCmd(QString());
    }
    if (client) {
        try {
            if (client->online())
                client->stop();
        } catch (...) {
            platform::reportEscapedException("LocalNetForwardManager client stop");
        }
        client.reset();
    }
}

void LocalNetForwardManager::saveRouteDelCmd(const QString& cmd)
{
    RegistrySettings settings(Tarnwick::Constants::kSettingsPath);
    settings.setValue(Tarnwick::Constants::kKeyLocalNetRouteDelCmd, cmd);
    if (!settings.sync())
        qWarning() << "LocalNetForwardManager: settings not written";
}

QString LocalNetForwardManager::loadRouteDelCmd()
{
    RegistrySettings settings(Tarnwick::Constants::kSettingsPath);
    return settings.value(Tarnwick::Constants::kKeyLocalNetRouteDelCmd, QString()).toString();
}

void LocalNetForwardManager::bridgeOff(FF::RPC::DispatchClient* client)
{
    const std::string id = clientId().toStdString();
    UiMsg::postAndWait([client, id](UiMsg*) -> int {
        if (client && client->online()) {
            try {
                FF::RPC::SyncProxy proxy(client);
                FF::RPC::call<int>(proxy, kCallTimeoutMs, "bridgeControl", FF::utils::String(id), false);
            } catch (...) {
                platform::reportEscapedException("LocalNetForwardManager bridge off");
            }
        }
        return 0;
    });
}

void LocalNetForwardManager::clearForward()
{
    m_deviceIp.clear();
    m_client.reset();
    m_routeDelCmd.clear();
}

void LocalNetForwardManager::emitLater(std::function<void()> emission)
{
    QMetaObject::invokeMethod(this, std::move(emission), Qt::QueuedConnection);
}
