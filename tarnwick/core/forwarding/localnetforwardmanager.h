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
// manager's fields are only ever touched on the GUI thread. The panel's
// connection is the work items' own: they share it (see Link in the source),
// make, use and close it on the dispatcher thread, so that a wait that gives
// up (the program's end) leaves nothing an item uses to be freed under it.
// Signals are delivered queued, after the manager has settled its state.

#include "platform/process/commandrunner.h"

#include <QDeadlineTimer>
#include <QObject>
#include <QString>
#include <QTimer>

#include <functional>
#include <map>
#include <memory>

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
    // The silent stop of the program's end: like stopNetForwardSilently,
    // but this wait for the panel and every later one of the manager last
    // until `deadline` at most (an earlier deadline of an earlier call
    // stands). Past it the log names what was given up and the dispatcher
    // carries it on: the bridge goes off when the panel answers while the
    // program still runs, or when the heart-beats stop. The route goes in
    // any case.
    void endNetForward(QDeadlineTimer deadline);
    // For a program that ends from inside exit(), where no event may run:
    // removes the route at once and forgets the forwarding, without a word
    // to the panel (its bridge goes off when the heart-beats stop) and
    // without a signal. Bounded by kRouteTimeoutMs.
    void dropRouteNow();
    QString clientId() const;

    // Seams for tests: the bridge service's port, the heart-beat interval,
    // the runner of the route commands (not owned; null: the manager's own)
    // and the state's name.
    void setServicePort(quint16 port);
    void setCommandRunner(CommandRunner* runner) { m_runner = runner ? runner : &m_ownRunner; }
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
    struct Link;
    enum class SwitchOff { No, IfOn };

    void init();
    // Runs the route removal (when there is one) and empties the stored value.
    void _cleanupForward(const QString& routeDelCmd);
    void saveRouteDelCmd(const QString& cmd);
    QString loadRouteDelCmd();
    // The work item that ends a link, queued behind whatever uses it: with
    // IfOn it switches the bridge off when the start switched it on and the
    // client is online (failures are swallowed), then it closes the client.
    // Waited for within waitLimit(). Without a link it makes no call.
    void endLink(std::shared_ptr<Link> link, SwitchOff switchOff, const QString& ip);
    // How long a wait for the panel may last: none until the program's end,
    // then what is left until its deadline.
    int waitLimit() const;
    void clearForward();
    void emitLater(std::function<void()> emission);

    QString m_deviceIp;
    QString m_routeDelCmd;
    QTimer m_beatTimer;
    std::shared_ptr<Link> m_link; // of the forwarding, from its start's post on
    std::map<QString, std::unique_ptr<DeviceCtrlState>> m_states;
    DeviceCtrlState* m_state = nullptr; // one of m_states

    ProcessCommandRunner m_ownRunner;
    CommandRunner* m_runner = &m_ownRunner;
    quint16 m_port;
    bool m_beatBusy = false;
    quint64 m_session = 0; // changes at every start and stop: older waits then report nothing
    bool m_ending = false; // endNetForward was called: every wait ends by m_endDeadline
    QDeadlineTimer m_endDeadline;
};
