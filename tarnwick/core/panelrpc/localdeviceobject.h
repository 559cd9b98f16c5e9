#pragma once

// The RPC session with the one panel the user works on: bound to a panel's
// address it opens clients to the panel's ports 9059 and 9009, reads the
// panel's identity and VPN data and refreshes it every 3000 ms after the
// previous refresh ended; a failed refresh drops the session and reports
// signalDisconnected(). All RPC work runs on the object's own thread; the
// owner uses the public operations and the read-locked getters.

#include <QMutex>
#include <QObject>
#include <QReadWriteLock>
#include <QString>
#include <QThread>

#include <cstdint>
#include <memory>

class QTimer;

namespace FF {
namespace RPC {
class DispatchClient;
}
} // namespace FF

class LocalDeviceObject : public QObject {
    Q_OBJECT
public:
    enum BindState { Binding = 0, Bound = 1, Idle = 2 };

    LocalDeviceObject();
    // Unbinds and stops the thread; returns once a slot that is running
    // (a bind, a refresh) has ended. Not to be called on the object's thread.
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

    static bool isValidAddress(const QString& ip);

signals:
    void signalBindFinished(bool ret, int err);
    void signalDataUpdated();
    void signalDisconnected();

    void signalBindDevice(const QString& ip);
    void signalUnBindDevice();
    void signalManualRefresh();
    void signalThreadSafetyStop();

private slots:
    void slotBindDevice(const QString& ip);
    void slotUnBindDevice();
    void slotThreadStarted();
    void slotThreadSafetyStop();
    void slotRefreshTimeout();
    void slotManualRefresh();

private:
    bool refreshData();
    void clearData();
    void closeClients();
    // The unbind steps: stop the timer, clear the panel data, close the clients.
    void dropSession();

    QThread m_thread;
    mutable QReadWriteLock m_dataLock;
    std::unique_ptr<FF::RPC::DispatchClient> m_client9059;
    std::unique_ptr<FF::RPC::DispatchClient> m_client9009;
    std::unique_ptr<QTimer> m_refreshTimer; // made and dropped on the object's thread
    QString m_deviceIp;
    QString m_iccid;
    QString m_productSn;
    QString m_vpnText1;
    QString m_vpnText2;
    int m_vpnState = 1;
    int m_bindState = Idle;
    mutable QMutex m_stateMutex;
    std::uint64_t m_bindGeneration = 0;
};
