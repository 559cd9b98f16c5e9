#pragma once

// LAN discovery of one network interface: for every IPv4 address entry a
// probe goes to the entry's broadcast address and replies are collected for
// kScanMs; the panels found come out in one UpdateDeviceList signal.

#include "tarnwick/core/discovery/discoverydatagram.h"

#include <QList>
#include <QNetworkAddressEntry>
#include <QNetworkInterface>
#include <QThread>
#include <QVector>

#include <atomic>

class ScanThread : public QThread {
    Q_OBJECT
public:
    static constexpr int kScanMs = 3000;   // per address entry
    static constexpr int kResendMs = 1000; // silence before the probe goes again
    static constexpr int kWaitMs = 100;    // one receive wait

    ScanThread(QObject* parent, const QNetworkInterface& iface);
    // Scans the given entries and sends to `port`: tests run the scan on
    // loopback with their own responder's port.
    ScanThread(QObject* parent, const QList<QNetworkAddressEntry>& entries, quint16 port);
    ~ScanThread() override; // waits for the thread

    // Ends the scan at the next check (within about kWaitMs).
    void stop(bool abort);

signals:
    void UpdateDeviceList(QVector<stDeviceInfoEx> devices);

protected:
    void run() override;

private:
    void scanEntry(const QNetworkAddressEntry& entry);

    QList<QNetworkAddressEntry> m_entries;
    quint16 m_port;
    QVector<stDeviceInfoEx> m_devices;
    std::atomic<bool> m_abort{false};
};
