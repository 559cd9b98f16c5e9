#pragma once

// Shared pieces of the local page tests: waiting with events running, and
// the loopback interface on which the scan finds the fake panels.

#include "testing/main/eventwait.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QHostAddress>
#include <QNetworkAddressEntry>
#include <QThread>

#include <functional>

using TestWait::waitUntil;

// 127.100.0.1/8, broadcasting to 127.255.255.255: the panels on 127.100.0.x
// answer the scan on it.
inline QNetworkAddressEntry loopbackEntry()
{
    QNetworkAddressEntry entry;
    entry.setIp(QHostAddress(QStringLiteral("127.100.0.1")));
    entry.setNetmask(QHostAddress(QStringLiteral("255.0.0.0")));
    entry.setBroadcast(QHostAddress(QStringLiteral("127.255.255.255")));
    return entry;
}
