#pragma once

#include <QNetworkReply>
#include <QVariant>

// Each run of a VPN sequence has a number; its requests carry it, so that a
// reply of a run that a later Start superseded is recognised and dropped.
namespace SequenceRun {

inline const char* propertyName() { return "twSequenceRun"; }

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

} // namespace SequenceRun
