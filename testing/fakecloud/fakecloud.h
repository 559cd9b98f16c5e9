#pragma once

// A fake of the cloud service for tests: a real HTTP server on a loopback
// port, on a thread of its own. It parses each request, records its raw
// target, keeps users, the server password, tokens (issued at login,
// revoked at logout) and devices, answers the service's JSON, and can be
// scripted per path to misbehave.

#include <QByteArray>
#include <QHostAddress>
#include <QList>
#include <QString>
#include <QStringList>

#include <memory>

// One device of the fake's account.
struct FakeCloudDevice {
    QString sn;
    QString alias;
    QString remark;
    QString ip = QStringLiteral("192.168.1.10");
    QString serverIP = QStringLiteral("127.30.0.1");
    int serverPort = 1194;
    QString bind = QStringLiteral("bound");
    QString iccid;
    int state = 0;
    bool online = true;
    bool vpn = false;
};

// One request as the fake received it.
struct FakeCloudRequest {
    QByteArray method;
    QByteArray target; // the raw request target, e.g. "/user/beats?token=..."
    QString path;      // decoded path
    QByteArray head;   // request line and headers as received
    // A query value, percent-decoded ('+' stays '+').
    QString query(const QString& key) const;
};

// How the fake answers requests to one path.
struct FakeCloudScript {
    enum class Reply {
        Normal,             // the service's own answer
        ErrorCode,          // "succeed" false with `errorCode`
        SucceedFalse,       // the normal answer with "succeed" false
        MissingMember,      // the normal answer without `member`
        NotJson,            // a body that is not JSON
        Http500,            // the normal JSON body with status 500
        CloseWithoutAnswer, // the connection closes, nothing sent
        Body,               // `body` as it is, status 200
        Stream,             // `streamBytes` blanks without a length or in chunks, then the connection closes
    };
    Reply reply = Reply::Normal;
    int errorCode = 0;
    QString member;
    QByteArray body;
    QByteArray contentEncoding; // sent as Content-Encoding when set
    qint64 streamBytes = 0;     // of a Stream; below 0 it never ends: blanks go out until the client leaves
    bool chunked = false;       // a Stream goes out in chunks (Transfer-Encoding: chunked)
    qint64 markStreamAt = -1;   // when a Stream's body has passed this many bytes, the moment is noted
    int delayMs = 0;            // wait this long before answering (or closing)
    QString matchKey;           // when set, only requests whose query has matchKey=matchValue
    QString matchValue;
    int times = -1; // requests it applies to; -1 for all
};

class FakeCloud {
public:
    FakeCloud();
    ~FakeCloud();
    FakeCloud(const FakeCloud&) = delete;
    FakeCloud& operator=(const FakeCloud&) = delete;

    // Listens on the address (ephemeral port unless given); false on failure.
    bool start(const QHostAddress& address = QHostAddress(QHostAddress::LocalHost), quint16 port = 0);
    quint16 port() const;
    // "address:port", as the client's server address.
    QString host() const;

    // The server password whose MD5 the login's "adminPassword" must carry.
    void setServerPassword(const QString& password);
    // A user; the login's "devicePassword" is the MD5 of user + password.
    void addUser(const QString& user, const QString& password, int auth = 1, int permission = 7);
    // The OpenVPN configuration of the login reply ("ca-name", "ca-text").
    void setConfig(const QString& name, const QByteArray& text);
    QString configName() const;
    QByteArray configText() const;
    // The credentials of the VPN instruction reply.
    void setVpnCredentials(const QString& user, const QString& password);

    void addDevice(const FakeCloudDevice& device);
    FakeCloudDevice device(const QString& sn) const;

    // Scripts the answers to a path; later scripts are tried first.
    void script(const QString& path, const FakeCloudScript& script);
    void clearScripts();
    // Every request carrying this token is answered with error 1.
    void failToken(const QString& token);

    QStringList issuedTokens() const;
    bool tokenLive(const QString& token) const;

    QList<FakeCloudRequest> requests() const;
    QList<QByteArray> targets() const;
    // The moments (QElapsedTimer::msecsSinceReference) at which streams
    // handed their body's byte number markStreamAt + 1 to the kernel.
    QList<qint64> streamMarks() const;
    // For each stream that passed its mark: how many bytes past the marked
    // one the kernel had taken when the client left, framing included. The
    // client can have had no more than these when it cut the answer off.
    QList<qint64> streamBytesPastMark() const;
    int requestCount(const QString& path = QString()) const;
    void clearRequests();

    // Upper-case MD5 hex of the text's UTF-8 bytes, as the client sends it.
    static QString md5(const QString& text);
    // A valid gzip stream that inflates to `size` zero bytes, about 160
    // times smaller than that; made without holding the inflated bytes.
    static QByteArray gzipOfZeros(qint64 size);

private:
    class Server;
    struct State;
    std::shared_ptr<State> m_state;
    std::unique_ptr<class QThread> m_thread;
    Server* m_server = nullptr; // lives on m_thread
    quint16 m_port = 0;
    QHostAddress m_address;
};
