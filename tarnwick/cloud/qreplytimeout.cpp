#include "tarnwick/cloud/qreplytimeout.h"

#include "tarnwick/cloud/cloudlogmask.h"

#include <QDebug>
#include <QNetworkReply>
#include <QTimer>

QReplyTimeout::QReplyTimeout(QNetworkReply* reply, int milliseconds)
    : QObject(reply)
{
    if (reply == nullptr || !reply->isRunning())
        return;
    m_timer = new QTimer(this);
    m_timer->setSingleShot(true);
    // A coarse timer may fire 5 % early; the limit is meant to the millisecond.
    m_timer->setTimerType(Qt::PreciseTimer);
    connect(m_timer, &QTimer::timeout, this, &QReplyTimeout::TimeoutWork);
    m_timer->start(milliseconds);
}

QReplyTimeout::~QReplyTimeout() = default;

void QReplyTimeout::TimeoutWork()
{
    auto* reply = qobject_cast<QNetworkReply*>(parent());
    if (reply == nullptr || !reply->isRunning())
        return;
    qDebug().noquote() << "Timeout: http[" + CloudLogMask::url(reply->url()) + "]";
    // The abort finishes the reply at once, so its owner handles it as a
    // reply without a body.
    reply->abort();
    reply->deleteLater();
    emit Timeout();
}
