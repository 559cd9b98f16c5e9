#pragma once

// The IPv4 route table through iproute2's `ip`, found at its system path (a
// user's PATH may lack /usr/sbin). Only validated addresses and names ever
// reach the command line; every run is bounded in time. The results are the
// runner's: a refused change (no privilege, route already there) comes back
// as a failed CommandResult.

#include "platform/process/commandrunner.h"

#include <QString>
#include <QVector>

struct RouteEntry {
    QString dst;     // "default", "a.b.c.d" or "a.b.c.d/len"
    QString gateway; // empty for a route without "via"
    QString dev;
    QString protocol;
    QString scope;
};

class RouteCommand {
public:
    static constexpr int kDefaultTimeoutMs = 5000;

    explicit RouteCommand(CommandRunner& runner);

    // `ip -4 route add NET/24 via GW`; refuses (started false) what is not
    // a strict dotted IPv4 address.
    CommandResult addNet24(const QString& network, const QString& gateway, int timeoutMs = kDefaultTimeoutMs);
    // `ip -4 route del NET/24 via GW` (without "/24" ip would look for a /32).
    CommandResult deleteNet24(const QString& network, const QString& gateway, int timeoutMs = kDefaultTimeoutMs);
    // `ip -4 route del DST via GW dev DEV`, for a route read from the table.
    CommandResult deleteRoute(const RouteEntry& route, int timeoutMs = kDefaultTimeoutMs);
    // `ip -4 -j route show`; *ok false when it could not be read.
    QVector<RouteEntry> table(bool* ok, int timeoutMs = kDefaultTimeoutMs);

    static QString ipProgram();
    // Four decimal numbers 0-255 without leading zeros, dot-separated, nothing else.
    static bool isStrictIpv4(const QString& text);
    // The /24 network of a strict IPv4 address as dotted text; empty otherwise.
    static QString network24(const QString& address);
    // "default", a strict IPv4 address, or one with "/0".."/32".
    static bool isRouteDestination(const QString& text);
    // A Linux interface name: 1-15 of [A-Za-z0-9_.:@-], not starting with '-'.
    static bool isInterfaceName(const QString& text);
    // The JSON of `ip -j route show`; entries with unusable fields are dropped.
    static QVector<RouteEntry> parseTable(const QByteArray& json, bool* ok);

private:
    CommandResult refused() const;

    CommandRunner& m_runner;
};
