#pragma once

// The rows of the local debugging page: one per panel found on the chosen
// network interface. A refresh scans the interface, confirms every panel
// over its RPC service, re-checks the panels shown before and merges the
// saved local list; the model keeps each panel's state code and writes its
// rows to a CSV file.

#include "tarnwick/core/discovery/discoverydatagram.h"
#include "tarnwick/core/discovery/loadlocaldevice.h"

#include <QAbstractTableModel>
#include <QMap>
#include <QNetworkInterface>
#include <QString>
#include <QVector>

#include <functional>

class ScanThread;

class LocalDeviceModel : public QAbstractTableModel {
    Q_OBJECT
public:
    static constexpr int kColumnCount = 6;
    static constexpr int kStateColumn = 3;
    static constexpr int kIpColumn = 4;
    static constexpr int kLanIpColumn = 5;
    // A request to setDeviceState: probe the panel again; never stored.
    static constexpr int kStateProbeAgain = 6;
    static constexpr int kProbeTimeOutMs = 3000;

    // Seams of the two worker threads; tests scan their own loopback
    // responders and probe their own saved lists.
    using ScanFactory = std::function<ScanThread*(QObject* parent, const QNetworkInterface& iface)>;
    using SavedProbeFactory = std::function<LoadLocalDevice*(QObject* parent)>;

    explicit LocalDeviceModel(QObject* parent = nullptr);
    ~LocalDeviceModel() override;

    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    int columnCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;

    void setNetIntf(const QString& name);
    void setClientId(const QString& id);
    QString netIntfName() const { return netIntf; }
    void cancel();

    // Rebuilds the rows; returns when done or cancelled, running the event
    // loop meanwhile. A refresh started inside the wait of another one
    // (nested) takes over: only the newest sets the rows.
    void RefreshDevice();
    bool isRefreshing() const { return m_refreshDepth > 0; }
    void mergeSavedDevices(QVector<stLocalDeviceInfo>& rows);
    void setDeviceState(const QString& ip, int code);
    // Confirms one panel over its RPC service on port 9009 (runs on the
    // dispatcher thread while this thread waits); fills name, number and state.
    bool GetDeviceInfo(stLocalDeviceInfo& info);
    // Writes every row (BOM, header, number, device number, name, address);
    // false when the file cannot be opened or any write fails.
    bool SaveData(const QString& path);

    // The rows as shown (tests and the page's lookups).
    const QVector<stLocalDeviceInfo>& deviceRows() const { return rows; }
    int stateOf(const QString& ip) const { return stateByIp.value(ip, 0); }

    void setScanFactory(ScanFactory factory);
    void setSavedProbeFactory(SavedProbeFactory factory);

    // The probe itself, on the calling thread; the record is filled in place.
    // 0 when the first two calls were answered, -1 otherwise.
    static int probeDevice(stLocalDeviceInfo& info, const QString& clientId);

signals:
    void CancelSignal();
    void CancelComplete();

private:
    QVector<stDeviceInfoEx> runScan(const QNetworkInterface& iface);
    static bool containsIp(const QVector<stLocalDeviceInfo>& list, const QString& ip);

    QVector<stLocalDeviceInfo> rows;
    QMap<QString, int> stateByIp;
    QString netIntf;
    bool cancelled = false;
    QString clientId;
    QString linkedIp;

    int m_refreshDepth = 0;
    quint64 m_refreshGeneration = 0;
    ScanFactory m_scanFactory;
    SavedProbeFactory m_savedProbeFactory;
};
