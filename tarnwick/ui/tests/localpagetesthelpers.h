#pragma once

// Shared pieces of the local page tests: waiting with events running, the
// loopback interface on which the scan finds the fake panels, saved panels,
// the model's rows by address and whole files.

#include "tarnwick/core/devicedatas.h"
#include "tarnwick/core/discovery/scanthread.h"
#include "tarnwick/ui/localdevicemodel.h"
#include "testing/fakelocalpanel/fakelocalpanel.h"
#include "testing/main/eventwait.h"

#include <QAbstractItemModel>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QHostAddress>
#include <QMap>
#include <QNetworkAddressEntry>
#include <QStringList>
#include <QThread>

#include <functional>

using TestWait::waitUntil;

// Host 1 of the process's own loopback network (FakeLocalPanel::address),
// 127.x.y.1/8, broadcasting to 127.255.255.255: the panels on 127.x.y.n
// answer the scan on it.
inline QNetworkAddressEntry loopbackEntry()
{
    QNetworkAddressEntry entry;
    entry.setIp(QHostAddress(QString(FakeLocalPanel::address(1))));
    entry.setNetmask(QHostAddress(QStringLiteral("255.0.0.0")));
    entry.setBroadcast(QHostAddress(QStringLiteral("127.255.255.255")));
    return entry;
}

// A scan over the loopback entry towards the discovery responders on port.
inline LocalDeviceModel::ScanFactory loopbackScan(quint16 port)
{
    return [port](QObject* parent, const QNetworkInterface&) {
        return new ScanThread(parent, QList<QNetworkAddressEntry>({loopbackEntry()}), port);
    };
}

// A panel of the saved list.
inline stDeviceData savedPanel(const QString& no, const QString& name, const QString& ip)
{
    stDeviceData d;
    d.deviceNo = no;
    d.deviceName = name;
    d.ipAddress = ip;
    return d;
}

// Each row's cells from the device number on, keyed by its address.
inline QMap<QString, QStringList> rowsByIp(const QAbstractItemModel* model)
{
    QMap<QString, QStringList> rows;
    for (int r = 0; r < model->rowCount(); ++r) {
        QStringList cells;
        for (int c = 1; c < 6; ++c)
            cells << model->index(r, c).data().toString();
        rows[cells.at(3)] = cells;
    }
    return rows;
}

inline QByteArray readAll(const QString& path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}
