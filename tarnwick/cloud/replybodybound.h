#pragma once

#include <QByteArray>
#include <QList>
#include <QObject>

class QNetworkReply;

// Holds a reply's body to a size bound: reads the body out as it arrives,
// whatever Qt would buffer, counts it, and aborts the reply as soon as more
// than the bound has come or a longer body is announced. It is the reply's
// child and goes with it.
class ReplyBodyBound : public QObject {
    Q_OBJECT
public:
    ReplyBodyBound(QNetworkReply* reply, qint64 maxBytes);
    ~ReplyBodyBound() override;

    // The body of a finished reply: what was read out as it came and what
    // is still waiting (all of it for a reply no bound watches). Empty for
    // a reply that was aborted or outgrew its bound.
    static QByteArray takeBody(QNetworkReply* reply);

private:
    void drain();
    void checkAnnouncedLength();
    void cutOff();

    QNetworkReply* m_reply;
    qint64 m_maxBytes;
    // The body as it came, piece by piece: joined once when it is taken, so
    // a growing answer is never copied over and over.
    QList<QByteArray> m_pieces;
    qint64 m_size = 0;
    bool m_cutOff = false;
};
