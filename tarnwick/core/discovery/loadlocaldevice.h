#pragma once

// Which saved panels are reachable now: a non-blocking TCP connect to port
// 127 of every panel of the saved local list at once, decided by poll or
// given up after about two seconds; one updateLocalDevice signal at the end.

#include "tarnwick/core/devicedatas.h"

#include <QMetaType>
#include <QString>
#include <QThread>
#include <QVector>

#include <atomic>

// One row of the local device list.
struct stLocalDeviceInfo {
    int state = 0;
    QString deviceNo;
    QString deviceName;
    bool reachable = false; // port 127 accepted the connection
    QString ip;
    QString lanIp;
};
Q_DECLARE_METATYPE(stLocalDeviceInfo)
Q_DECLARE_METATYPE(QVector<stLocalDeviceInfo>)

class LoadLocalDevice : public QThread {
    Q_OBJECT
public:
    static constexpr int kPollMs = 100;
    static constexpr int kGiveUpSeconds = 2; // whole seconds since the connect started

    // Copies the saved local list of DeviceDatas now, on the calling (GUI)
    // thread; the probe thread works on that copy.
    explicit LoadLocalDevice(QObject* parent = nullptr);
    // Probes the given panels on `port`: tests use loopback listeners.
    LoadLocalDevice(const QVector<stDeviceData>& saved, quint16 port, QObject* parent = nullptr);
    ~LoadLocalDevice() override; // waits for the thread

    void cancel(bool cancelled);

    // The probe itself, on the calling thread: rows in the order the outcomes
    // were decided; after a cancel the rows decided until then.
    void probe(QVector<stLocalDeviceInfo>& out);

signals:
    void updateLocalDevice(QVector<stLocalDeviceInfo> deviceList);

protected:
    void run() override;

private:
    QVector<stDeviceData> m_saved;
    quint16 m_port;
    std::atomic<bool> m_cancel{false};
};
