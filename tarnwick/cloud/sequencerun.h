#pragma once

#include "tarnwick/cloud/cloudrecords.h"

#include <QMap>
#include <QNetworkReply>
#include <QVariant>

// What the two VPN sequences share. Each run of a sequence has a number; its
// requests carry it, so that a reply of a run that a later Start superseded
// is recognised and dropped.
namespace SequenceRun {

inline const char* propertyName()
{
    return "twSequenceRun";
}

inline void tag(QNetworkReply* reply, quint64 run)
{
    if (reply != nullptr)
        reply->setProperty(propertyName(), QVariant::fromValue(run));
}

inline bool belongsTo(const QNetworkReply* reply, quint64 run)
{
    const QVariant value = reply->property(propertyName());
    return value.isValid() && value.value<quint64>() == run;
}

// Calls on `owner` the member that `table` holds for `key`, with `args`;
// false when the table holds none (a step or a route the sequence lacks).
template <typename Owner, typename Key, typename Member, typename... Args>
bool call(Owner* owner, const QMap<Key, Member>& table, const Key& key, Args... args)
{
    const auto it = table.constFind(key);
    if (it == table.constEnd())
        return false;
    (owner->*it.value())(args...);
    return true;
}

// Takes into `box` what a device status reply reports of the device.
inline void takeDeviceStatus(stBoxData& box, const stBoxData& reported)
{
    box.vpn = reported.vpn;
    box.serverPort = reported.serverPort;
    box.bind = reported.bind;
    box.serverIP = reported.serverIP;
    box.sn = reported.sn;
    box.ip = reported.ip;
}

} // namespace SequenceRun
