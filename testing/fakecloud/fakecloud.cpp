#include "testing/fakecloud/fakecloud.h"

#include "testing/fakecloud/fakecloudgzip.h"

#include <QCryptographicHash>
#include <QElapsedTimer>
#include <QFile>
#include <QHash>
#include <QMap>
#include <QPointer>
#include <QSet>
#include <QTcpServer>
#include <QTcpSocket>
#include <QThread>
#include <QTimer>
#include <QUrl>
#include <QUrlQuery>

#include <nlohmann/json.hpp>

#include <algorithm>
#include <memory>
#include <mutex>

using Json = nlohmann::ordered_json;

namespace {

// A copy of a list that the server's thread goes on appending to, with
// storage of its own. A plain copy would share the storage: the append's
// check of the share count (a relaxed read in Qt 5) is not ordered after the
// caller's reads of its copy and the copy's release on the caller's thread.
template <typename List>
List unshared(const List& list)
{
    List copy;
    copy.reserve(list.size());
    for (const auto& item : list)
        copy.append(item);
    return copy;
}

std::string utf8(const QString& text)
{
    return text.toStdString();
}

// Requests larger than this in their head are refused; the fake is not a
// target for hostile clients, but a test must not hang on garbage.
constexpr int kMaxHead = 64 * 1024;

// A streamed answer keeps no more than this waiting in the socket.
constexpr qint64 kStreamChunk = 64 * 1024;
constexpr qint64 kStreamAhead = 4 * kStreamChunk;
// How far before a marked byte a stream waits for the client to take what
// was sent, and how long it waits at most.
constexpr qint64 kStreamSlowDown = 256 * 1024;
constexpr qint64 kStreamSettleMs = 3000;

// True when neither end of the loopback TCP connection between the two
// ports holds unsent or unread bytes in the kernel.
bool loopbackQueuesEmpty(quint16 localPort, quint16 peerPort)
{
    QFile table(QStringLiteral("/proc/net/tcp"));
    if (!table.open(QIODevice::ReadOnly))
        return true;
    for (const QByteArray& line : table.readAll().split('\n')) {
        // "sl local_address rem_address st tx_queue:rx_queue ..."
        const QList<QByteArray> fields = line.simplified().split(' ');
        if (fields.size() < 5)
            continue;
        const quint16 local = quint16(fields[1].mid(fields[1].indexOf(':') + 1).toUInt(nullptr, 16));
        const quint16 remote = quint16(fields[2].mid(fields[2].indexOf(':') + 1).toUInt(nullptr, 16));
        const bool ours = local == localPort && remote == peerPort;
        const bool theirs = local == peerPort && remote == localPort;
        if (!ours && !theirs)
            continue;
        const QList<QByteArray> queues = fields[4].split(':');
        if (queues.size() != 2 || queues[0].toULongLong(nullptr, 16) != 0 || queues[1].toULongLong(nullptr, 16) != 0)
            return false;
    }
    return true;
}

} // namespace

QString FakeCloudRequest::query(const QString& key) const
{
    const int question = target.indexOf('?');
    if (question < 0)
        return QString();
    const QUrlQuery q(QString::fromUtf8(target.mid(question + 1)));
    return q.queryItemValue(key, QUrl::FullyDecoded);
}

struct FakeCloud::State {
    struct User {
        QString digest; // MD5 of user + password
        int auth = 1;
        int permission = 7;
    };
    struct ScriptEntry {
        QString path;
        FakeCloudScript script;
    };

    mutable std::mutex mutex;
    QString serverPasswordDigest = FakeCloud::md5(QString());
    QList<User> users;
    QString configName = QStringLiteral("tarnwick-client.ovpn");
    QByteArray configText = QByteArrayLiteral("client\ndev tun\nproto udp\nremote 127.30.0.1 1194\nnobind\n"
                                              "auth-user-pass\nverb 3\n");
    QString vpnUser = QStringLiteral("vpnuser");
    QString vpnPassword = QStringLiteral("vpn-secret-pass");
    QMap<QString, FakeCloudDevice> devices;
    QList<QString> deviceOrder;
    QHash<QString, QString> tokens; // live token -> account digest
    QStringList issued;
    QSet<QString> failedTokens;
    QList<ScriptEntry> scripts;
    QList<FakeCloudRequest> requests;
    QList<qint64> streamMarks;
    QList<qint64> streamBytesPastMark;
    int tokenCounter = 0;

    // Picks the script for a request, counting its use.
    bool takeScript(const FakeCloudRequest& request, FakeCloudScript& out)
    {
        for (int i = scripts.size() - 1; i >= 0; --i) {
            ScriptEntry& entry = scripts[i];
            if (entry.path != request.path || entry.script.times == 0)
                continue;
            if (!entry.script.matchKey.isEmpty() && request.query(entry.script.matchKey) != entry.script.matchValue)
                continue;
            if (entry.script.times > 0)
                --entry.script.times;
            out = entry.script;
            return true;
        }
        return false;
    }

    static Json failure(int code, const char* info)
    {
        Json reply;
        reply["succeed"] = false;
        reply["info"] = info;
        reply["error"] = code;
        return reply;
    }

    static Json success()
    {
        Json reply;
        reply["succeed"] = true;
        reply["info"] = "ok";
        reply["error"] = 0;
        return reply;
    }

    // The service's own answer; the status code goes to `status`.
    Json answer(const FakeCloudRequest& request, int& status)
    {
        status = 200;
        const QString token = request.query(QStringLiteral("token"));
        if (!token.isEmpty() && failedTokens.contains(token))
            return failure(1, "token invalid");

        if (request.path == QLatin1String("/user/login")) {
            if (request.query(QStringLiteral("domain")) != QLatin1String("vexa"))
                return failure(1, "bad domain");
            if (request.query(QStringLiteral("adminPassword")) != serverPasswordDigest)
                return failure(7, "bad server password");
            const QString digest = request.query(QStringLiteral("devicePassword"));
            for (const User& user : qAsConst(users)) {
                if (user.digest != digest)
                    continue;
                const int serial = ++tokenCounter;
                const QByteArray salt = QCryptographicHash::hash(QByteArray::number(serial) + digest.toUtf8(),
                                                                 QCryptographicHash::Sha1)
                                            .toHex()
                                            .left(16);
                const QString issuedToken = QStringLiteral("tok%1x%2").arg(serial).arg(QString::fromLatin1(salt));
                tokens.insert(issuedToken, digest);
                issued.append(issuedToken);
                Json reply = success();
                reply["auth"] = user.auth;
                reply["token"] = utf8(issuedToken);
                reply["ca-name"] = utf8(configName);
                reply["ca-text"] = configText.toStdString();
                reply["ver"] = "2.0.1";
                reply["permission"] = user.permission;
                return reply;
            }
            return failure(1, "bad user or password");
        }
        if (request.path == QLatin1String("/device/test/url")) {
            Json reply;
            reply["succeed"] = true;
            reply["info"] = "cloud";
            return reply;
        }

        const bool knownPath = request.path == QLatin1String("/user/logout")
                               || request.path == QLatin1String("/user/beats")
                               || request.path == QLatin1String("/user/device/list")
                               || request.path == QLatin1String("/user/device/status")
                               || request.path == QLatin1String("/user/device/instruct/vpn");
        if (!knownPath) {
            status = 404;
            return failure(404, "no such path");
        }
        if (!tokens.contains(token))
            return failure(1, "not logged in");
        const QString account = tokens.value(token);

        if (request.path == QLatin1String("/user/logout")) {
            tokens.remove(token);
            return success();
        }
        if (request.path == QLatin1String("/user/beats"))
            return success();
        if (request.path == QLatin1String("/user/device/list")) {
            Json reply = success();
            Json list = Json::array();
            for (const QString& sn : qAsConst(deviceOrder)) {
                const FakeCloudDevice& d = devices[sn];
                Json element;
                element["sn"] = utf8(d.sn);
                element["alias"] = utf8(d.alias);
                element["online"] = d.online;
                element["vpn"] = d.vpn;
                element["remark"] = utf8(d.remark);
                element["ip"] = utf8(d.ip);
                element["serverIP"] = utf8(d.serverIP);
                element["state"] = d.state;
                element["iccid"] = utf8(d.iccid);
                list.push_back(element);
            }
            reply["devices"] = list;
            return reply;
        }

        // Device status and VPN instruction name one device of the account.
        if (request.query(QStringLiteral("devicePassword")) != account)
            return failure(2, "no right");
        const QString sn = request.query(QStringLiteral("sn"));
        if (!devices.contains(sn))
            return failure(3, "no such device");
        FakeCloudDevice& d = devices[sn];
        if (request.path == QLatin1String("/user/device/status")) {
            Json reply = success();
            reply["vpn"] = d.vpn;
            reply["bind"] = utf8(d.bind);
            reply["ip"] = utf8(d.ip);
            reply["serverIP"] = utf8(d.serverIP);
            reply["serverPort"] = d.serverPort;
            return reply;
        }
        const bool on = request.query(QStringLiteral("vpn")) == QLatin1String("true");
        if (on && !d.online)
            return failure(5, "device offline");
        d.vpn = on;
        Json reply = success();
        reply["serverIP"] = utf8(d.serverIP);
        reply["serverPort"] = d.serverPort;
        reply["openvpn-user"] = utf8(vpnUser);
        reply["openvpn-password"] = utf8(vpnPassword);
        return reply;
    }
};

// The listening socket and its connections, on the fake's own thread.
class FakeCloud::Server : public QTcpServer {
public:
    explicit Server(std::shared_ptr<State> state)
        : m_state(std::move(state))
    {
        connect(this, &QTcpServer::newConnection, this, &Server::acceptAll);
    }

private:
    struct Connection {
        QByteArray buffer;
        bool busy = false;
    };

    void acceptAll()
    {
        while (QTcpSocket* socket = nextPendingConnection()) {
            socket->setParent(this);
            m_connections.insert(socket, Connection());
            connect(socket, &QTcpSocket::readyRead, this, [this, socket] { serve(socket); });
            connect(socket, &QTcpSocket::disconnected, this, [this, socket] {
                m_connections.remove(socket);
                socket->deleteLater();
            });
        }
    }

    void serve(QTcpSocket* socket)
    {
        auto it = m_connections.find(socket);
        if (it == m_connections.end())
            return;
        it->buffer += socket->readAll();
        if (it->busy)
            return;
        const int end = it->buffer.indexOf("\r\n\r\n");
        if (end < 0) {
            if (it->buffer.size() > kMaxHead)
                socket->abort();
            return;
        }
        const QByteArray head = it->buffer.left(end + 4);
        int bodyLength = 0;
        for (const QByteArray& line : head.split('\n')) {
            if (line.toLower().startsWith("content-length:"))
                bodyLength = line.mid(15).trimmed().toInt();
        }
        if (it->buffer.size() < end + 4 + bodyLength)
            return;
        it->buffer.remove(0, end + 4 + bodyLength);

        FakeCloudRequest request;
        request.head = head;
        const QList<QByteArray> words = head.left(head.indexOf("\r\n")).split(' ');
        request.method = words.value(0);
        request.target = words.value(1);
        const int question = request.target.indexOf('?');
        request.path = QUrl::fromPercentEncoding(question < 0 ? request.target : request.target.left(question));

        FakeCloudScript script;
        bool scripted = false;
        int status = 200;
        QByteArray body;
        {
            std::lock_guard<std::mutex> lock(m_state->mutex);
            m_state->requests.append(request);
            scripted = m_state->takeScript(request, script);
            const auto reply = scripted ? script.reply : FakeCloudScript::Reply::Normal;
            Json object;
            switch (reply) {
            case FakeCloudScript::Reply::ErrorCode: object = State::failure(script.errorCode, "scripted"); break;
            case FakeCloudScript::Reply::NotJson:
                body = QByteArrayLiteral("<html><body>gateway says no</body></html>");
                break;
            case FakeCloudScript::Reply::Body: body = script.body; break;
            case FakeCloudScript::Reply::CloseWithoutAnswer:
            case FakeCloudScript::Reply::Stream: break;
            default:
                object = m_state->answer(request, status);
                if (reply == FakeCloudScript::Reply::SucceedFalse)
                    object["succeed"] = false;
                if (reply == FakeCloudScript::Reply::MissingMember)
                    object.erase(utf8(script.member));
                if (reply == FakeCloudScript::Reply::Http500)
                    status = 500;
                break;
            }
            if (!object.is_null())
                body = QByteArray::fromStdString(
                    object.dump(-1, ' ', false, nlohmann::detail::error_handler_t::replace));
        }
        const bool close = scripted && script.reply == FakeCloudScript::Reply::CloseWithoutAnswer;
        const bool streamed = scripted && script.reply == FakeCloudScript::Reply::Stream;
        QByteArray response;
        if (!close) {
            const QByteArray reason = status == 200 ? "OK" : status == 404 ? "Not Found" : "Internal Server Error";
            response = "HTTP/1.1 " + QByteArray::number(status) + ' ' + reason
                       + "\r\nContent-Type: application/json;charset=UTF-8\r\n";
            if (scripted && !script.contentEncoding.isEmpty())
                response += "Content-Encoding: " + script.contentEncoding + "\r\n";
            if (streamed && script.chunked)
                response += "Transfer-Encoding: chunked\r\n";
            if (streamed)
                response += "Connection: close\r\n\r\n";
            else
                response += "Content-Length: " + QByteArray::number(body.size()) + "\r\nConnection: keep-alive\r\n\r\n"
                            + body;
        }
        it->busy = true;
        const int delay = scripted ? script.delayMs : 0;
        QPointer<QTcpSocket> guarded(socket);
        QTimer::singleShot(delay, Qt::PreciseTimer, this, [this, guarded, response, close, streamed, script] {
            if (guarded.isNull())
                return;
            if (close) {
                guarded->abort();
                return;
            }
            guarded->write(response);
            if (streamed) {
                stream(guarded.data(), script);
                return;
            }
            auto again = m_connections.find(guarded.data());
            if (again == m_connections.end())
                return;
            again->busy = false;
            if (!again->buffer.isEmpty())
                serve(guarded.data());
        });
    }

    // Sends the script's blanks as the socket drains, then closes, or goes on
    // until the client leaves; the answer is never held whole.
    void stream(QTcpSocket* socket, const FakeCloudScript& script)
    {
        struct Progress {
            qint64 left = 0;        // body bytes still to send; below 0: no end
            qint64 sent = 0;        // body bytes queued
            qint64 queued = 0;      // bytes of the answer queued, framing included
            qint64 written = 0;     // of them, what the kernel took
            qint64 markOffset = -1; // where the marked byte lies in the answer
            bool settled = false;   // the client had taken all before the last stretch
            QElapsedTimer settling; // since when it waits for that
            bool done = false;
        };
        auto progress = std::make_shared<Progress>();
        progress->left = script.streamBytes;
        progress->queued = socket->bytesToWrite(); // the head, not yet written
        const bool chunked = script.chunked;
        const qint64 mark = script.markStreamAt;
        std::shared_ptr<State> state = m_state;
        auto* settling = new QTimer(socket);
        settling->setInterval(2);
        auto topUp = [socket, progress, chunked, mark, settling] {
            static const QByteArray blanks(kStreamChunk, ' ');
            while (!progress->done && socket->bytesToWrite() < kStreamAhead) {
                // Before the last stretch to the mark the stream waits until
                // the client has taken everything sent, and then goes on
                // with a small send buffer: what is under way between the
                // two ends stays small, so the mark tells when the client can
                // have the byte. Before that the answer goes out at full speed.
                if (mark >= 0 && !progress->settled && progress->sent + kStreamSlowDown > mark) {
                    if (!progress->settling.isValid())
                        progress->settling.start();
                    const bool drained = socket->bytesToWrite() == 0
                                         && loopbackQueuesEmpty(socket->localPort(), socket->peerPort());
                    if (!drained && !progress->settling.hasExpired(kStreamSettleMs)) {
                        settling->start();
                        return;
                    }
                    settling->stop();
                    progress->settled = true;
                    socket->setSocketOption(QAbstractSocket::SendBufferSizeSocketOption, int(kStreamChunk));
                }
                const bool endless = progress->left < 0;
                const qint64 n = endless ? kStreamChunk : std::min(progress->left, kStreamChunk);
                if (n == 0) {
                    if (chunked)
                        progress->queued += socket->write("0\r\n\r\n");
                    progress->done = true;
                    socket->disconnectFromHost();
                    break;
                }
                if (chunked)
                    progress->queued += socket->write(QByteArray::number(n, 16) + "\r\n");
                if (mark >= 0 && progress->sent <= mark && progress->sent + n > mark)
                    progress->markOffset = progress->queued + (mark - progress->sent);
                progress->queued += socket->write(blanks.constData(), n);
                if (chunked)
                    progress->queued += socket->write("\r\n");
                progress->sent += n;
                if (!endless)
                    progress->left -= n;
            }
        };
        connect(settling, &QTimer::timeout, socket, topUp);
        connect(socket, &QTcpSocket::disconnected, socket, [progress, state] {
            if (progress->markOffset < 0 || progress->written <= progress->markOffset)
                return;
            std::lock_guard<std::mutex> lock(state->mutex);
            state->streamBytesPastMark.append(progress->written - progress->markOffset - 1);
        });
        connect(socket, &QTcpSocket::bytesWritten, socket, [progress, state, topUp](qint64 bytes) {
            const qint64 before = progress->written;
            progress->written += bytes;
            if (progress->markOffset >= before && progress->markOffset < progress->written) {
                QElapsedTimer now;
                now.start();
                std::lock_guard<std::mutex> lock(state->mutex);
                state->streamMarks.append(now.msecsSinceReference());
            }
            topUp();
        });
        topUp();
    }

    std::shared_ptr<State> m_state;
    QHash<QTcpSocket*, Connection> m_connections;
};

FakeCloud::FakeCloud()
    : m_state(std::make_shared<State>())
{
}

FakeCloud::~FakeCloud()
{
    if (m_thread) {
        m_thread->quit();
        m_thread->wait();
    }
}

bool FakeCloud::start(const QHostAddress& address, quint16 port)
{
    if (m_thread)
        return false;
    m_thread = std::make_unique<QThread>();
    m_thread->setObjectName(QStringLiteral("FakeCloud"));
    m_server = new Server(m_state);
    m_server->moveToThread(m_thread.get());
    // The server and its connections are deleted on their own thread as it
    // finishes: no event has to be delivered, so this also works after the
    // application object is gone. Connected before the start, so the thread
    // sees the connection without any further order.
    Server* server = m_server;
    QObject::connect(m_thread.get(), &QThread::finished, [server] { delete server; });
    m_thread->start();
    bool listening = false;
    QMetaObject::invokeMethod(
        server, [server, address, port, &listening] { listening = server->listen(address, port); },
        Qt::BlockingQueuedConnection);
    if (listening) {
        m_port = m_server->serverPort();
        m_address = address;
    }
    return listening;
}

quint16 FakeCloud::port() const
{
    return m_port;
}

QString FakeCloud::host() const
{
    return m_address.toString() + QLatin1Char(':') + QString::number(m_port);
}

void FakeCloud::setServerPassword(const QString& password)
{
    std::lock_guard<std::mutex> lock(m_state->mutex);
    m_state->serverPasswordDigest = md5(password);
}

void FakeCloud::addUser(const QString& user, const QString& password, int auth, int permission)
{
    std::lock_guard<std::mutex> lock(m_state->mutex);
    m_state->users.append({md5(user + password), auth, permission});
}

void FakeCloud::setConfig(const QString& name, const QByteArray& text)
{
    std::lock_guard<std::mutex> lock(m_state->mutex);
    m_state->configName = name;
    m_state->configText = text;
}

QString FakeCloud::configName() const
{
    std::lock_guard<std::mutex> lock(m_state->mutex);
    return m_state->configName;
}

QByteArray FakeCloud::configText() const
{
    std::lock_guard<std::mutex> lock(m_state->mutex);
    return m_state->configText;
}

void FakeCloud::setVpnCredentials(const QString& user, const QString& password)
{
    std::lock_guard<std::mutex> lock(m_state->mutex);
    m_state->vpnUser = user;
    m_state->vpnPassword = password;
}

void FakeCloud::addDevice(const FakeCloudDevice& device)
{
    std::lock_guard<std::mutex> lock(m_state->mutex);
    if (!m_state->devices.contains(device.sn))
        m_state->deviceOrder.append(device.sn);
    m_state->devices.insert(device.sn, device);
}

FakeCloudDevice FakeCloud::device(const QString& sn) const
{
    std::lock_guard<std::mutex> lock(m_state->mutex);
    return m_state->devices.value(sn);
}

void FakeCloud::script(const QString& path, const FakeCloudScript& script)
{
    std::lock_guard<std::mutex> lock(m_state->mutex);
    m_state->scripts.append({path, script});
}

void FakeCloud::clearScripts()
{
    std::lock_guard<std::mutex> lock(m_state->mutex);
    m_state->scripts.clear();
}

void FakeCloud::failToken(const QString& token)
{
    std::lock_guard<std::mutex> lock(m_state->mutex);
    m_state->failedTokens.insert(token);
}

QStringList FakeCloud::issuedTokens() const
{
    std::lock_guard<std::mutex> lock(m_state->mutex);
    return unshared(m_state->issued);
}

bool FakeCloud::tokenLive(const QString& token) const
{
    std::lock_guard<std::mutex> lock(m_state->mutex);
    return m_state->tokens.contains(token);
}

QList<FakeCloudRequest> FakeCloud::requests() const
{
    std::lock_guard<std::mutex> lock(m_state->mutex);
    return unshared(m_state->requests);
}

QList<QByteArray> FakeCloud::targets() const
{
    std::lock_guard<std::mutex> lock(m_state->mutex);
    QList<QByteArray> result;
    for (const FakeCloudRequest& request : qAsConst(m_state->requests))
        result.append(request.target);
    return result;
}

QList<qint64> FakeCloud::streamMarks() const
{
    std::lock_guard<std::mutex> lock(m_state->mutex);
    return unshared(m_state->streamMarks);
}

QList<qint64> FakeCloud::streamBytesPastMark() const
{
    std::lock_guard<std::mutex> lock(m_state->mutex);
    return unshared(m_state->streamBytesPastMark);
}

int FakeCloud::requestCount(const QString& path) const
{
    std::lock_guard<std::mutex> lock(m_state->mutex);
    int count = 0;
    for (const FakeCloudRequest& request : qAsConst(m_state->requests)) {
        if (path.isEmpty() || request.path == path)
            ++count;
    }
    return count;
}

void FakeCloud::clearRequests()
{
    std::lock_guard<std::mutex> lock(m_state->mutex);
    m_state->requests.clear();
}

QByteArray FakeCloud::gzipOfZeros(qint64 size)
{
    return FakeCloudGzip::ofZeros(size);
}

QString FakeCloud::md5(const QString& text)
{
    return QString::fromLatin1(QCryptographicHash::hash(text.toUtf8(), QCryptographicHash::Md5).toHex()).toUpper();
}
