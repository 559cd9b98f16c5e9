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

#include <algorithm>
#include <memory>

namespace {

enum class Outcome { Done, Busy, Refused, Unreachable, Unsupported, Lost, Failed };

bool isUnsupported(const FF::Net::Exception& e)
{
    return e.info() == "NoRegisteredFunction";
}

} // namespace

// The panel's connection of one forwarding, shared by the manager and the
// dispatcher's work items. The start's item makes the client and writes the
// outcome; the items after it (the dispatcher runs them one at a time, in
// posting order) use the client, and the link's end closes it, all on the
// dispatcher thread. The GUI thread reads the outcome only once the start's
// item is over, and never touches the client.
struct LocalNetForwardManager::Link {
    Outcome outcome = Outcome::Failed;
    std::unique_ptr<FF::RPC::DispatchClient> client;
};

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
    _cleanupForward(loadRouteDelCmd());
}

LocalNetForwardManager::~LocalNetForwardManager()
{
    _stopNetForward(false);
    _cleanupForward(m_routeDelCmd);
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

void LocalNetForwardManager::endNetForward(QDeadlineTimer deadline)
{
    if (!m_ending || deadline < m_endDeadline)
        m_endDeadline = deadline;
    m_ending = true;
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
    _cleanupForward(routeDelCmd);
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
    // The manager holds the link from the post on: a stop during the wait
    // ends it behind the start, whatever the start still does.
    auto link = std::make_shared<Link>();
    m_link = link;
    const QByteArray address = deviceAccessIP.toUtf8();
    const quint16 port = m_port;
    const std::string id = clientId().toStdString();
    auto msg = std::make_unique<UiMsg>([link, address, port, id](UiMsg*) -> int {
        try {
            const FF::Net::Address target(address.constData(), port);
            if (!FF::Net::TCPClient::CheckConnection(target, kReachWindowMs)) {
                link->outcome = Outcome::Unreachable;
                return -1;
            }
            link->client = std::make_unique<FF::RPC::DispatchClient>(target, FF::Net::TCPClient::NewFactory());
            FF::RPC::SyncProxy proxy(link->client.get());
            const int answer = FF::RPC::call<int>(proxy, kCallTimeoutMs, "bridgeControl", FF::utils::String(id), true);
            link->outcome = answer == 0 ? Outcome::Done : answer == 1 ? Outcome::Busy : Outcome::Refused;
        } catch (const FF::Net::Exception& e) {
            link->outcome = isUnsupported(e) ? Outcome::Unsupported : Outcome::Failed;
        } catch (...) {
            platform::reportEscapedException("LocalNetForwardManager bridge on");
            link->outcome = Outcome::Failed;
        }
        return link->outcome == Outcome::Done ? 0 : -1;
    });
    msg->setObjectName(QStringLiteral("bridge on ") + deviceAccessIP);
    const UiMsg::Waited waited = UiMsg::postAndWaitWithin(std::move(msg), waitLimit());
    if (session != m_session) {
        // A stop during the wait took the link over: its end, queued behind
        // the start, switches off what the start may have switched on.
        return false;
    }
    if (!waited.over) {
        // Only the program's end gives up on a start (its deadline, the
        // application's quit), and a stop follows: the link stays for it.
        return false;
    }
    const QString ip = deviceAccessIP;
    const Outcome outcome = link->outcome;

    if (outcome == Outcome::Done) {
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
    }
    m_link.reset();
    m_deviceIp.clear();
    endLink(std::move(link), SwitchOff::IfOn, ip);
    // A start or stop inside that wait has dealt with the fields already.
    if (session == m_session) {
        _cleanupForward(m_routeDelCmd);
        clearForward();
    }
    if (outcome == Outcome::Busy)
        emitLater([this, ip]() { emit deviceBusy(ip); });
    else if (outcome == Outcome::Unsupported)
        emitLater([this, ip]() { emit unsupport(ip); });
    else
        emitLater([this, ip]() { emit deviceConnectComplete(ip, false); });
    return false;
}

void LocalNetForwardManager::_stopNetForward(bool emitSignal)
{
    const quint64 session = ++m_session;
    const QString ip = m_deviceIp;
    m_beatTimer.stop();
    m_deviceIp.clear();
    std::shared_ptr<Link> link = std::move(m_link);
    // Posted even with nothing forwarded, so that the stop comes after the
    // work queued before it; not once the program's end has begun, when
    // there is nothing left to wait for.
    if (link || !m_ending)
        endLink(std::move(link), SwitchOff::IfOn, ip);
    if (emitSignal && !ip.isEmpty())
        emitLater([this, ip]() { emit deviceOfflineline(ip); });
    // A start or stop inside that wait has dealt with the route already.
    if (session == m_session) {
        _cleanupForward(m_routeDelCmd);
        clearForward();
    }
}

bool LocalNetForwardManager::_sendHeartbeats()
{
    if (m_deviceIp.isEmpty() || !m_link)
        return false;
    if (m_beatBusy)
        return true; // the previous beat still waits for its answer
    m_beatBusy = true;
    const quint64 session = m_session;
    auto outcome = std::make_shared<Outcome>(Outcome::Failed);
    const std::shared_ptr<Link> link = m_link;
    const std::string id = clientId().toStdString();
    auto msg = std::make_unique<UiMsg>([outcome, link, id](UiMsg*) -> int {
        if (!link->client || !link->client->online()) {
            *outcome = Outcome::Lost;
            return -1;
        }
        try {
            FF::RPC::SyncProxy proxy(link->client.get());
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
    msg->setObjectName(QStringLiteral("bridge beat ") + m_deviceIp);
    const UiMsg::Waited waited = UiMsg::postAndWaitWithin(std::move(msg), waitLimit());
    m_beatBusy = false;
    if (session != m_session || !waited.over)
        return true; // a stop or a new start took over meanwhile, or the program ends
    const bool ok = *outcome == Outcome::Done;
    qDebug() << "sendheartbeats" << (ok ? "true" : "false");
    if (!ok) {
        const QString ip = m_deviceIp;
        const quint64 ending = ++m_session;
        m_beatTimer.stop();
        m_deviceIp.clear();
        std::shared_ptr<Link> ended = std::move(m_link);
        endLink(std::move(ended), SwitchOff::No, ip);
        // A start or stop inside that wait has dealt with the route already.
        if (ending == m_session) {
            _cleanupForward(m_routeDelCmd);
            clearForward();
        }
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

void LocalNetForwardManager::_cleanupForward(const QString& routeDelCmd)
{
    if (routeDelCmd.isEmpty())
        return;
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

void LocalNetForwardManager::endLink(std::shared_ptr<Link> link, SwitchOff switchOff, const QString& ip)
{
    const std::string id = clientId().toStdString();
    auto msg = std::make_unique<UiMsg>([link, switchOff, id](UiMsg*) -> int {
        if (!link || !link->client)
            return 0;
        if (switchOff == SwitchOff::IfOn && link->outcome == Outcome::Done && link->client->online()) {
            try {
                FF::RPC::SyncProxy proxy(link->client.get());
                FF::RPC::call<int>(proxy, kCallTimeoutMs, "bridgeControl", FF::utils::String(id), false);
            } catch (...) {
                platform::reportEscapedException("LocalNetForwardManager bridge off");
            }
        }
        try {
            if (link->client->online())
                link->client->stop();
        } catch (...) {
            platform::reportEscapedException("LocalNetForwardManager client stop");
        }
        link->client.reset();
        return 0;
    });
    msg->setObjectName((switchOff == SwitchOff::IfOn ? QStringLiteral("bridge off ") : QStringLiteral("link end "))
                       + ip);
    UiMsg::postAndWaitWithin(std::move(msg), waitLimit());
}

int LocalNetForwardManager::waitLimit() const
{
    if (!m_ending)
        return -1;
    return int(std::max<qint64>(0, m_endDeadline.remainingTime()));
}

void LocalNetForwardManager::clearForward()
{
    m_deviceIp.clear();
    m_link.reset();
    m_routeDelCmd.clear();
}

void LocalNetForwardManager::emitLater(std::function<void()> emission)
{
    QMetaObject::invokeMethod(this, std::move(emission), Qt::QueuedConnection);
}
