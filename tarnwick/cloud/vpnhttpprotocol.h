#pragma once

#include "tarnwick/cloud/cloudconstants.h"
#include "tarnwick/cloud/cloudrecords.h"

#include <QByteArray>
#include <QObject>
#include <QString>
#include <QUrl>
#include <QVector>

class QNetworkAccessManager;
class QNetworkReply;

// The argument of a VPN instruction: raise (on) or drop the VPN of device `sn`.
struct stVpnInstruction {
    bool on = false;
    QString sn;
    QString accountKey;
};

// The client side of the cloud service's HTTP API: builds and sends each
// request on the caller's network manager (every reply gets a 5000 ms
// watchdog) and turns each finished reply into a result, a record and a
// message for the user. Holds no state but its watchdog's time.
class VPNHttpProtocol : public QObject {
    Q_OBJECT
public:
    VPNHttpProtocol();
    ~VPNHttpProtocol() override;

    // MD5 of the text's UTF-8 bytes as 32 upper-case hexadecimal digits.
    static QString md5Hex(const QString& text);

    // The watchdog's time of every request sent from now on, 5000 ms unless
    // a test that is about other limits sets a longer one.
    void setReplyTimeoutMs(int milliseconds);

    // Sends "http://<host><pathWithQuery>" as a GET with its watchdog and
    // its size bound; the reply belongs to the manager's owner.
    QNetworkReply* sendGet(QNetworkAccessManager* manager, const QString& host, const QString& pathWithQuery) const;

    // The requests; each returns the reply that will arrive through the
    // manager's finished() signal.
    QNetworkReply* requestLogin(QNetworkAccessManager* manager, const stLoginData& login) const;
    QNetworkReply* requestLogout(QNetworkAccessManager* manager, const QString& host, const QString& token) const;
    QNetworkReply* requestDeviceList(QNetworkAccessManager* manager, const QString& host, const QString& token) const;
    QNetworkReply* requestHeartbeat(QNetworkAccessManager* manager, const QString& host, const QString& token) const;
    QNetworkReply* requestServerTest(QNetworkAccessManager* manager, const QString& host) const;
    QNetworkReply* requestDeviceStatus(QNetworkAccessManager* manager, const QString& host, const QString& token,
                                       const stBoxData& box) const;
    QNetworkReply* requestVpnInstruction(QNetworkAccessManager* manager, const QString& host, const QString& token,
                                         const stVpnInstruction& instruction) const;

    // The parsers of finished replies; each answers whether the reply counts
    // as a success, and the message is meaningful either way.
    bool parseLoginReply(QNetworkReply* reply, stLoginResult& result, QString& msg) const;
    bool parseLogoutReply(QNetworkReply* reply, QString& msg) const;
    bool parseHeartbeatReply(QNetworkReply* reply, QString& token, bool& dropped, QString& msg) const;
    bool parseDeviceListReply(QNetworkReply* reply, QVector<stBoxData>& boxes, bool& dropped, QString& msg) const;
    bool parseDeviceStatusReply(QNetworkReply* reply, stBoxData& box, bool& dropped, QString& msg) const;
    bool parseVpnInstructionReply(QNetworkReply* reply, stBoxData& box, bool& dropped, QString& msg) const;
    bool parseServerTestReply(QNetworkReply* reply, QString& msg) const;
    static bool isOnlineReply(const QString& body);

    // What the parsers above decide, from the reply's own request URL and
    // its body; usable without a network.
    static bool parseLoginBody(const QUrl& url, const QByteArray& body, stLoginResult& result, QString& msg);
    static bool parseLogoutBody(const QUrl& url, const QByteArray& body, QString& msg);
    static bool parseHeartbeatBody(const QUrl& url, const QByteArray& body, QString& token, bool& dropped,
                                   QString& msg);
    static bool parseDeviceListBody(const QUrl& url, const QByteArray& body, QVector<stBoxData>& boxes, bool& dropped,
                                    QString& msg);
    static bool parseDeviceStatusBody(const QUrl& url, const QByteArray& body, stBoxData& box, bool& dropped,
                                      QString& msg);
    static bool parseVpnInstructionBody(const QUrl& url, const QByteArray& body, stBoxData& box, bool& dropped,
                                        QString& msg);
    static bool parseServerTestBody(const QByteArray& body, QString& msg);

    // The body of a finished reply: empty when it was aborted or outgrew the size bound.
    static QByteArray readBody(QNetworkReply* reply);
    // A query value of a request URL, fully decoded.
    static QString queryValue(const QUrl& url, const QString& key);
    // A query value as it goes on the wire: letters, digits and "._~-" as
    // they are, every other byte of its UTF-8 form percent-encoded.
    static QString encodeQueryValue(const QString& value);

private:
    int m_replyTimeoutMs = Tarnwick::Cloud::kReplyTimeoutMs;
};
