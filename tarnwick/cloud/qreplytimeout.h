#pragma once

#include <QObject>

class QNetworkReply;
class QTimer;

// Watchdog of one network reply: aborts the reply when it has not finished
// within the given time. It is the reply's child and goes with it.
class QReplyTimeout : public QObject {
    Q_OBJECT
public:
    QReplyTimeout(QNetworkReply* reply, int milliseconds);
    ~QReplyTimeout() override;

signals:
    void Timeout();

private slots:
    void TimeoutWork();

private:
    QTimer* m_timer = nullptr; // owned through Qt's parent chain
};
