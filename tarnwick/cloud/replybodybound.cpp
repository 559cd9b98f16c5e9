#include "tarnwick/cloud/replybodybound.h"

#include <QNetworkReply>
#include <QNetworkRequest>

ReplyBodyBound::ReplyBodyBound(QNetworkReply* reply, qint64 maxBytes)
    : QObject(reply)
    , m_reply(reply)
    , m_maxBytes(maxBytes)
{
    connect(reply, &QNetworkReply::readyRead, this, &ReplyBodyBound::drain);
    connect(reply, &QNetworkReply::metaDataChanged, this, &ReplyBodyBound::checkAnnouncedLength);
}

ReplyBodyBound::~ReplyBodyBound() = default;

QByteArray ReplyBodyBound::takeBody(QNetworkReply* reply)
{
    if (reply == nullptr || !reply->isOpen())
        return QByteArray();
    auto* bound = reply->findChild<ReplyBodyBound*>(QString(), Qt::FindDirectChildrenOnly);
    if (bound == nullptr)
        return reply->readAll();
    if (bound->m_cutOff)
        return QByteArray();
    bound->drain();
    if (bound->m_cutOff)
        return QByteArray();
    QByteArray body;
    if (bound->m_pieces.size() == 1) {
        body = bound->m_pieces.first();
    } else {
        body.reserve(int(bound->m_size));
        for (const QByteArray& piece : qAsConst(bound->m_pieces))
            body += piece;
    }
    bound->m_pieces.clear();
    bound->m_size = 0;
    return body;
}

void ReplyBodyBound::drain()
{
    if (m_cutOff || !m_reply->isOpen())
        return;
    // Reading everything out keeps Qt's buffer empty, so its network thread
    // goes on reading and every byte that arrives is counted here.
    const qint64 waiting = m_reply->bytesAvailable();
    if (waiting <= 0)
        return;
    if (waiting > m_maxBytes - m_size) {
        cutOff();
        return;
    }
    m_pieces.append(m_reply->read(waiting));
    m_size += m_pieces.last().size();
}

void ReplyBodyBound::checkAnnouncedLength()
{
    const QVariant length = m_reply->header(QNetworkRequest::ContentLengthHeader);
    if (length.isValid() && length.toLongLong() > m_maxBytes)
        cutOff();
}

void ReplyBodyBound::cutOff()
{
    m_cutOff = true;
    m_pieces.clear();
    m_size = 0;
    // The abort finishes the reply at once; its owner handles it as a reply
    // without a body.
    if (m_reply->isRunning())
        m_reply->abort();
}
