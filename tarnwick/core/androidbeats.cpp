#include "tarnwick/core/androidbeats.h"

#include <QPointer>

AndroidBeats::AndroidBeats(QObject* parent)
    : QObject(parent)
{
}

AndroidBeats* AndroidBeats::instance(QObject* parent)
{
    // Owned by its parent when one was given; a later call after the parent
    // deleted it makes a new one instead of handing out a dangling pointer.
    static QPointer<AndroidBeats> beats;
    if (beats.isNull())
        beats = new AndroidBeats(parent);
    return beats.data();
}

bool AndroidBeats::isApkInstalled(const QString& package)
{
    Q_UNUSED(package);
    return true;
}
