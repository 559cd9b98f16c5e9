#pragma once

// The RPC session with the one panel the user works on: bound to a panel's
// address it opens clients to the panel's ports 9059 and 9009, reads the
// panel's identity and VPN data and refreshes it every 3000 ms after the
// previous refresh ended; a failed refresh drops the session and reports
// signalDisconnected(). All RPC work runs on a thread of its own, in the
// session object that lives there; the owner uses the public operations and
// the read-locked getters.

#include <QObject>
#include <QString>

#include <memory>

class QThread;

class LocalDeviceObject : public QObject {
    Q_OBJECT
public:
    enum BindState { Binding = 0, Bound = 1, Idle = 2 };

    LocalDeviceObject();
    // Unbinds and ends the thread, waiting for a slot that is running (a
    // bind, a refresh) at most endLimitMs (kSessionEndLimitMs unless set).
    // One that runs longer is logged and left running with what it uses;
    // nothing reaches this object from it any more. Not to be called on the
    // session's thread.
    ~LocalDeviceObject() override;

    // False for a text that is not a dotted IPv4 address. A valid address
    // starts a bind only while idle.
    bool bindDevice(const QString& ip);
    void unbindDevice();
    void manualRefresh();

    QString deviceIp() const;
    QString iccid() const;
    QString productSn() const;
    QString vpnInfoText1() const;
    QString vpnInfoText2() const;
    int vpnState() const;
    int bindState() const;

    // How long the destructor waits for the session's end.
    void setEndLimitMs(int ms) { m_endLimitMs = ms; }

    static bool isValidAddress(const QString& ip);

signals:
    void signalBindFinished(bool ret, int err);
    void signalDataUpdated();
    void signalDisconnected();

    void signalBindDevice(const QString& ip);
    void signalUnBindDevice();
    void signalManualRefresh();
    void signalThreadSafetyStop();

private:
    struct Shared;
    class Session;

    // The panel data and the bind state, shared with the session: it may
    // outlive this object.
    std::shared_ptr<Shared> m_shared;
    std::unique_ptr<QThread> m_thread;
    std::unique_ptr<Session> m_session; // lives on m_thread
    int m_endLimitMs;
};
