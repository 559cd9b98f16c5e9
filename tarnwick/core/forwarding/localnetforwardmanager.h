#pragma once

// Local network forwarding: lets the PC reach the network behind a panel on
// the LAN. The panel's bridge service switches its bridge on for this running
// program, a route for the panel's /24 network goes through the panel's
// access address, a heart-beat keeps the bridge alive, and a stop switches it
// off and removes the route. The removal is also stored in the settings, so
// that a route left behind by a run that ended without stopping is removed
// when the next run creates the manager.
//
// Panel calls run as work items on the dispatcher thread while the GUI thread
// waits in a local event loop; the work hands its results back, and the
// manager's fields are only ever touched on the GUI thread. Signals are
// delivered queued, after the manager has settled its state.

#include "platform/process/commandrunner.h"

#include <QObject>
#include <QString>
#include <QTimer>

#include <functional>
#include <map>
#include <memory>

namespace FF {
namespace RPC {
class DispatchClient;
}
} // namespace FF

class DeviceCtrlState;

class LocalNetForwardManager : public QObject {
    Q_OBJECT
    friend class DeviceStartState;
    friend class DeviceStopState;
    friend class DeviceCtrlState;

public:
    static constexpr int kBeatIntervalMs = 10000;
    static constexpr unsigned int kReachWindowMs = 3000;
    static constexpr unsigned int kCallTimeoutMs = 5000;
    static constexpr int kRouteTimeoutMs = 5000;
    static const char kStatePending[];
    static const char kStateStart[];
    static const char kStateStop[];

    explicit LocalNetForwardManager(QObject* parent = nullptr);
    // Runs the route commands through runner (not owned; it must outlive the manager).
    explicit LocalNetForwardManager(CommandRunner* runner, QObject* parent = nullptr);
    ~LocalNetForwardManager() override;

    QString deviceIp() const;
    void startNetForward(const QString& deviceAccessIP, const QString& deviceLanIP);
    void stopNetForward(bool emitSignal);
    void stopNetForwardSilently();
    // For a program that ends from inside exit(), where no event may run:
    // removes the route at once and forgets the forwarding, without a word
    // to the panel (its bridge goes off when the heart-beats stop) and
    // without a signal. Bounded by kRouteTimeoutMs.
    void dropRouteNow();
    QString clientId() const;

    // Seams for tests: the bridge service's port, the heart-beat interval and the state's name.
    void setServicePort(quint16 port);
    void setBeatInterval(int ms);
    QString stateName() const;

    // The one form of a stored removal that is carried out:
    // "route delete <IPv4> <IPv4>", nothing more.
    static bool parseRouteDelCmd(const QString& text, QString* network, QString* gateway);

signals:
    void deviceOfflineline(QString ip);
    void deviceDropline(QString ip);
    void deviceBusy(QString ip);
    void deviceConnectComplete(QString ip, bool bSuc);
    void unsupport(QString ip);
    // The state changed ("pending", "start" or "stop"): while a start or
    // stop is pending every request is ignored, so a page shows its control
    // as unavailable until the next change.
    void stateChanged(QString state);

protected slots:
    bool _startNetForward(const QString& deviceAccessIP, const QString& deviceLanIP);
    void _stopNetForward(bool emitSignal);
    bool _sendHeartbeats();
    void _setState(const QString& state);

private:
    void init();
    void _cleanupForward(const QString& routeDelCmd, std::unique_ptr<FF::RPC::DispatchClient> client);
    void saveRouteDelCmd(const QString& cmd);
    QString loadRouteDelCmd();
    // Switches the bridge off through client when it is online; failures are swallowed.
    void bridgeOff(FF::RPC::DispatchClient* client);
    void clearForward();
    void emitLater(std::function<void()> emission);

    QString m_deviceIp;
    QString m_routeDelCmd;
    QTimer m_beatTimer;
    std::unique_ptr<FF::RPC::DispatchClient> m_client;
    std::map<QString, std::unique_ptr<DeviceCtrlState>> m_states;
    DeviceCtrlState* m_state = nullptr; // one of m_states

    ProcessCommandRunner m_ownRunner;
    CommandRunner* m_runner = &m_ownRunner;
    quint16 m_port;
    bool m_beatBusy = false;
    quint64 m_session = 0; // changes at every start and stop: older waits then report nothing
};
