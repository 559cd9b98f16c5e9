#include "testing/fakecloud/fakecloud.h"

#include <QCryptographicHash>
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
#include <array>
#include <cstdint>
#include <memory>
#include <mutex>

using Json = nlohmann::ordered_json;

namespace {

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

// Writes a deflate stream least significant bit first, as RFC 1951 packs it.
class BitWriter {
public:
    explicit BitWriter(QByteArray& out)
        : m_out(out)
    {
    }
    void put(std::uint32_t bits, int count)
    {
        m_acc |= static_cast<std::uint64_t>(bits) << m_count;
        m_count += count;
        while (m_count >= 8) {
            m_out.append(static_cast<char>(m_acc & 0xff));
            m_acc >>= 8;
            m_count -= 8;
        }
    }
    // A Huffman code goes most significant bit first.
    void putCode(std::uint32_t code, int length)
    {
        std::uint32_t reversed = 0;
        for (int i = 0; i < length; ++i)
            reversed |= ((code >> i) & 1u) << (length - 1 - i);
        put(reversed, length);
    }
    void flush()
    {
        if (m_count > 0)
            put(0, 8 - m_count);
    }

private:
    QByteArray& m_out;
    std::uint64_t m_acc = 0;
    int m_count = 0;
};

// CRC-32 of `size` zero bytes: the register step of one zero byte is linear,
// so its size-th power is built by squaring.
std::uint32_t crc32OfZeros(qint64 size)
{
    using Matrix = std::array<std::uint32_t, 32>;
    auto apply = [](const Matrix& m, std::uint32_t v) {
        std::uint32_t r = 0;
        for (int i = 0; v != 0; ++i, v >>= 1) {
            if (v & 1u)
                r ^= m[i];
        }
        return r;
    };
    auto times = [&](const Matrix& a, const Matrix& b) {
        Matrix r{};
        for (int i = 0; i < 32; ++i)
            r[i] = apply(a, b[i]);
        return r;
    };
    Matrix step{};
    Matrix power{};
    for (int i = 0; i < 32; ++i) {
        std::uint32_t s = 1u << i;
        for (int k = 0; k < 8; ++k)
            s = (s & 1u) ? (s >> 1) ^ 0xEDB88320u : s >> 1;
        step[i] = s;
        power[i] = 1u << i;
    }
    for (qint64 n = size; n > 0; n >>= 1) {
        if (n & 1)
            power = times(step, power);
        step = times(step, step);
    }
    return apply(power, 0xFFFFFFFFu) ^ 0xFFFFFFFFu;
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
        const qint64 streamed = scripted && script.reply == FakeCloudScript::Reply::Stream ? script.streamBytes : -1;
        QByteArray response;
        if (!close) {
            const QByteArray reason = status == 200 ? "OK" : status == 404 ? "Not Found" : "Internal Server Error";
            response = "HTTP/1.1 " + QByteArray::number(status) + ' ' + reason
                       + "\r\nContent-Type: application/json;charset=UTF-8\r\n";
            if (scripted && !script.contentEncoding.isEmpty())
                response += "Content-Encoding: " + script.contentEncoding + "\r\n";
            if (streamed >= 0)
                response += "Connection: close\r\n\r\n";
            else
                response += "Content-Length: " + QByteArray::number(body.size()) + "\r\nConnection: keep-alive\r\n\r\n"
                            + body;
        }
        it->busy = true;
        const int delay = scripted ? script.delayMs : 0;
        QPointer<QTcpSocket> guarded(socket);
        QTimer::singleShot(delay, Qt::PreciseTimer, this, [this, guarded, response, close, streamed] {
            if (guarded.isNull())
                return;
            if (close) {
                guarded->abort();
                return;
            }
            guarded->write(response);
            if (streamed >= 0) {
                stream(guarded.data(), streamed);
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

    // Sends `size` blanks as the socket drains, then closes; the answer is
    // never held whole.
    static void stream(QTcpSocket* socket, qint64 size)
    {
        auto left = std::make_shared<qint64>(size);
        auto topUp = [socket, left] {
            static const QByteArray chunk(kStreamChunk, ' ');
            while (*left > 0 && socket->bytesToWrite() < kStreamAhead) {
                const qint64 n = std::min(*left, kStreamChunk);
                socket->write(chunk.constData(), n);
                *left -= n;
            }
            if (*left == 0) {
                *left = -1;
                socket->disconnectFromHost();
            }
        };
        connect(socket, &QTcpSocket::bytesWritten, socket, topUp);
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
        // The server and its connections are deleted on their own thread as
        // it finishes: no event has to be delivered, so this also works
        // after the application object is gone.
        Server* server = m_server;
        QObject::connect(m_thread.get(), &QThread::finished, [server] { delete server; });
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
    m_thread->start();
    bool listening = false;
    Server* server = m_server;
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
    return m_state->issued;
}

bool FakeCloud::tokenLive(const QString& token) const
{
    std::lock_guard<std::mutex> lock(m_state->mutex);
    return m_state->tokens.contains(token);
}

QList<FakeCloudRequest> FakeCloud::requests() const
{
    std::lock_guard<std::mutex> lock(m_state->mutex);
    return m_state->requests;
}

QList<QByteArray> FakeCloud::targets() const
{
    std::lock_guard<std::mutex> lock(m_state->mutex);
    QList<QByteArray> result;
    for (const FakeCloudRequest& request : qAsConst(m_state->requests))
        result.append(request.target);
    return result;
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
    // One fixed-Huffman block: a literal zero, then matches of 258 bytes at
    // distance 1 (13 bits each), zero literals for the rest, end of block.
    constexpr std::uint32_t kLiteralZero = 0x30; // 8-bit code of literal 0
    constexpr std::uint32_t kLength258 = 0xC5;   // 8-bit code of length symbol 285
    constexpr std::uint32_t kEndOfBlock = 0;     // 7-bit code of symbol 256
    QByteArray out("\x1f\x8b\x08\x00\x00\x00\x00\x00\x00\xff", 10);
    out.reserve(static_cast<int>(size / 150 + 64));
    BitWriter bits(out);
    bits.put(1, 1); // last block
    bits.put(1, 2); // fixed Huffman codes
    qint64 left = size;
    if (left > 0) {
        bits.putCode(kLiteralZero, 8);
        --left;
    }
    for (; left >= 258; left -= 258) {
        bits.putCode(kLength258, 8);
        bits.putCode(0, 5); // distance 1
    }
    for (; left > 0; --left)
        bits.putCode(kLiteralZero, 8);
    bits.putCode(kEndOfBlock, 7);
    bits.flush();
    const std::uint32_t crc = crc32OfZeros(size);
    const auto isize = static_cast<std::uint32_t>(size);
    for (int i = 0; i < 4; ++i)
        out.append(static_cast<char>((crc >> (8 * i)) & 0xff));
    for (int i = 0; i < 4; ++i)
        out.append(static_cast<char>((isize >> (8 * i)) & 0xff));
    return out;
}

QString FakeCloud::md5(const QString& text)
{
    return QString::fromLatin1(QCryptographicHash::hash(text.toUtf8(), QCryptographicHash::Md5).toHex()).toUpper();
}
