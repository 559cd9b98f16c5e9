#include "testing/fakerfb/fakerfbserver.h"

#include <QMutexLocker>
#include <QTcpServer>
#include <QTcpSocket>

namespace FakeRfb {

namespace {

void put32(QByteArray& out, quint32 v)
{
    out.append(char((v >> 24) & 0xFF));
    out.append(char((v >> 16) & 0xFF));
    out.append(char((v >> 8) & 0xFF));
    out.append(char(v & 0xFF));
}

void put16(QByteArray& out, int v)
{
    out.append(char((v >> 8) & 0xFF));
    out.append(char(v & 0xFF));
}

// Copies of what the server's thread goes on appending to, with storage of
// their own. A plain copy would share the storage: the append's check of the
// share count (a relaxed read in Qt 5) is not ordered after the caller's
// reads of its copy and the copy's release on the caller's thread.
QByteArray unshared(const QByteArray& bytes)
{
    return QByteArray(bytes.constData(), bytes.size());
}

QList<QByteArray> unshared(const QList<QByteArray>& list)
{
    QList<QByteArray> copy;
    copy.reserve(list.size());
    for (const QByteArray& item : list)
        copy.append(unshared(item));
    return copy;
}

ClientRecord unshared(const ClientRecord& record)
{
    ClientRecord copy = record;
    copy.bytes = unshared(record.bytes);
    copy.version = unshared(record.version);
    copy.response = unshared(record.response);
    copy.setPixelFormats = unshared(record.setPixelFormats);
    copy.setEncodings = unshared(record.setEncodings);
    copy.updateRequests = unshared(record.updateRequests);
    copy.keyEvents = unshared(record.keyEvents);
    copy.pointerEvents = unshared(record.pointerEvents);
    return copy;
}

} // namespace

struct FakeRfbServer::Connection {
    enum Stage { Version, Response, ClientInit, Messages, Silent, Dead };
    QTcpSocket* socket = nullptr;
    int index = 0;
    Stage stage = Version;
    QByteArray buffer;
    PixelFormat format;
    bool pendingIncremental = false;
    bool pictureChanged = false; // since the last update sent
    bool stalled = false;
};

FakeRfbServer::FakeRfbServer()
{
    m_picture = QImage(m_config.size, QImage::Format_RGB32);
    m_picture.fill(Qt::black);
    m_context = new QObject;
    m_context->moveToThread(&m_thread);
    m_thread.start();
}

FakeRfbServer::~FakeRfbServer()
{
    stop();
    QMetaObject::invokeMethod(
        m_context, [this] { delete m_context; }, Qt::BlockingQueuedConnection);
    m_thread.quit();
    m_thread.wait();
}

void FakeRfbServer::setConfig(const ServerConfig& config)
{
    QMutexLocker locker(&m_mutex);
    m_config = config;
    if (m_picture.size() != config.size) {
        m_picture = QImage(config.size, QImage::Format_RGB32);
        m_picture.fill(Qt::black);
    }
}

ServerConfig FakeRfbServer::config() const
{
    QMutexLocker locker(&m_mutex);
    return m_config;
}

void FakeRfbServer::setPicture(const QImage& picture)
{
    {
        QMutexLocker locker(&m_mutex);
        m_picture = picture.convertToFormat(QImage::Format_RGB32);
    }
    QMetaObject::invokeMethod(
        m_context,
        [this] {
            for (auto& c : m_connections) {
                if (c->stage != Connection::Messages || c->stalled)
                    continue;
                if (c->pendingIncremental) {
                    c->pendingIncremental = false;
                    sendUpdate(c.get());
                } else {
                    c->pictureChanged = true;
                }
            }
        },
        Qt::BlockingQueuedConnection);
}

QImage FakeRfbServer::picture() const
{
    QMutexLocker locker(&m_mutex);
    return m_picture;
}

bool FakeRfbServer::start(const QHostAddress& address, quint16 port)
{
    bool ok = false;
    QMetaObject::invokeMethod(
        m_context, [&] { ok = doListen(address, port); }, Qt::BlockingQueuedConnection);
    return ok;
}

bool FakeRfbServer::doListen(const QHostAddress& address, quint16 port)
{
    delete m_server;
    m_server = new QTcpServer(m_context);
    if (!m_server->listen(address, port))
        return false;
    QObject::connect(m_server, &QTcpServer::newConnection, m_context, [this] { onNewConnection(); });
    QMutexLocker locker(&m_mutex);
    m_address = address;
    m_port = m_server->serverPort();
    return true;
}

void FakeRfbServer::doStop()
{
    if (m_server) {
        m_server->close();
        delete m_server;
        m_server = nullptr;
    }
    for (auto& c : m_connections) {
        if (c->socket) {
            c->socket->disconnect(m_context);
            c->socket->abort();
            delete c->socket;
            c->socket = nullptr;
        }
        c->stage = Connection::Dead;
        QMutexLocker locker(&m_mutex);
        m_records[c->index].closed = true;
    }
    m_connections.clear();
}

void FakeRfbServer::stop()
{
    QMetaObject::invokeMethod(
        m_context, [this] { doStop(); }, Qt::BlockingQueuedConnection);
}

bool FakeRfbServer::restart()
{
    bool ok = false;
    QMetaObject::invokeMethod(
        m_context,
        [&] {
            const QHostAddress address = m_address;
            const quint16 port = m_port;
            doStop();
            ok = doListen(address, port);
        },
        Qt::BlockingQueuedConnection);
    return ok;
}

void FakeRfbServer::dropConnections()
{
    QMetaObject::invokeMethod(
        m_context,
        [this] {
            for (auto& c : m_connections) {
                if (c->socket)
                    c->socket->abort();
            }
        },
        Qt::BlockingQueuedConnection);
}

quint16 FakeRfbServer::port() const
{
    QMutexLocker locker(&m_mutex);
    return m_port;
}

QHostAddress FakeRfbServer::address() const
{
    QMutexLocker locker(&m_mutex);
    return m_address;
}

int FakeRfbServer::connectionCount() const
{
    QMutexLocker locker(&m_mutex);
    return m_records.size();
}

int FakeRfbServer::openConnectionCount() const
{
    QMutexLocker locker(&m_mutex);
    int open = 0;
    for (const ClientRecord& r : m_records)
        open += r.closed ? 0 : 1;
    return open;
}

ClientRecord FakeRfbServer::record(int connection) const
{
    QMutexLocker locker(&m_mutex);
    return connection >= 0 && connection < m_records.size() ? unshared(m_records[connection]) : ClientRecord();
}

void FakeRfbServer::onNewConnection()
{
    while (QTcpSocket* socket = m_server->nextPendingConnection()) {
        auto c = std::make_unique<Connection>();
        c->socket = socket;
        socket->setParent(nullptr);
        ServerConfig config;
        {
            QMutexLocker locker(&m_mutex);
            c->index = m_records.size();
            m_records.append(ClientRecord());
            config = m_config;
        }
        Connection* raw = c.get();
        QObject::connect(socket, &QTcpSocket::readyRead, m_context, [this, raw] { onReadyRead(raw); });
        QObject::connect(socket, &QTcpSocket::disconnected, m_context, [this, raw] {
            QMutexLocker locker(&m_mutex);
            m_records[raw->index].closed = true;
            raw->stage = Connection::Dead;
        });
        m_connections.push_back(std::move(c));
        if (config.fault == Fault::CloseOnAccept) {
            socket->disconnectFromHost();
            continue;
        }
        if (config.fault == Fault::SilentOnAccept) {
            raw->stage = Connection::Silent;
            continue;
        }
        send(raw, config.greeting);
    }
}

void FakeRfbServer::onReadyRead(Connection* c)
{
    const QByteArray data = c->socket->readAll();
    ServerConfig config;
    {
        QMutexLocker locker(&m_mutex);
        m_records[c->index].bytes.append(data);
        config = m_config;
    }
    c->buffer.append(data);
    for (;;) {
        QByteArray& b = c->buffer;
        switch (c->stage) {
        case Connection::Version: {
            if (b.size() < 12)
                return;
            const QByteArray version = b.left(12);
            b.remove(0, 12);
            {
                QMutexLocker locker(&m_mutex);
                m_records[c->index].version = version;
            }
            if (config.fault == Fault::SilentAfterGreeting) {
                c->stage = Connection::Silent;
                break;
            }
            QByteArray out;
            put32(out, config.securityType);
            if (config.securityType == 0) {
                const QByteArray reason = "refused by the fake";
                put32(out, quint32(reason.size()));
                out.append(reason);
                send(c, out);
                c->socket->disconnectFromHost();
                c->stage = Connection::Dead;
                return;
            }
            if (config.fault == Fault::SilentAfterSecurityType) {
                c->stage = Connection::Silent;
            } else if (config.securityType == 2) {
                out.append(config.challenge);
                c->stage = Connection::Response;
            } else {
                c->stage = Connection::ClientInit;
            }
            send(c, out);
            break;
        }
        case Connection::Response: {
            if (b.size() < 16)
                return;
            const QByteArray response = b.left(16);
            b.remove(0, 16);
            {
                QMutexLocker locker(&m_mutex);
                m_records[c->index].response = response;
            }
            if (config.fault == Fault::SilentAfterChallenge) {
                c->stage = Connection::Silent;
                break;
            }
            const bool ok = response == config.expectedResponse;
            QByteArray out;
            put32(out, ok ? 0 : 1);
            send(c, out);
            if (!ok) {
                c->socket->disconnectFromHost();
                c->stage = Connection::Dead;
                return;
            }
            c->stage = Connection::ClientInit;
            break;
        }
        case Connection::ClientInit: {
            if (b.size() < 1)
                return;
            const int shared = quint8(b[0]);
            b.remove(0, 1);
            {
                QMutexLocker locker(&m_mutex);
                m_records[c->index].clientInit = shared;
            }
            if (config.fault == Fault::SilentBeforeServerInit) {
                c->stage = Connection::Silent;
                break;
            }
            QByteArray out;
            const QSize announced = config.announcedSize.isValid() ? config.announcedSize : config.size;
            put16(out, announced.width());
            put16(out, announced.height());
            out.append(config.serverPixelFormat.left(16).leftJustified(16, '\0'));
            if (config.nameLengthOverride) {
                put32(out, config.nameLengthOverride);
            } else {
                put32(out, quint32(config.name.size()));
                out.append(config.name);
            }
            if (config.fault == Fault::SilentInServerInit) {
                send(c, out.left(config.faultBytes));
                c->stage = Connection::Silent;
                break;
            }
            send(c, out);
            c->stage = Connection::Messages;
            break;
        }
        case Connection::Messages: {
            if (b.isEmpty())
                return;
            const quint8 type = quint8(b[0]);
            int length = 0;
            switch (type) {
            case 0: length = 20; break;
            case 2:
                if (b.size() < 4)
                    return;
                length = 4 + 4 * ((quint8(b[2]) << 8) | quint8(b[3]));
                break;
            case 3: length = 10; break;
            case 4: length = 8; break;
            case 5: length = 6; break;
            default:
                // Not a client message: the stream is lost.
                c->socket->disconnectFromHost();
                c->stage = Connection::Dead;
                return;
            }
            if (b.size() < length)
                return;
            const QByteArray message = b.left(length);
            b.remove(0, length);
            {
                QMutexLocker locker(&m_mutex);
                ClientRecord& r = m_records[c->index];
                switch (type) {
                case 0: r.setPixelFormats.append(message); break;
                case 2: r.setEncodings.append(message); break;
                case 3: r.updateRequests.append(message); break;
                case 4: r.keyEvents.append(message); break;
                case 5: r.pointerEvents.append(message); break;
                }
            }
            if (type == 0)
                c->format = PixelFormat::fromBytes(message.mid(4, 16));
            if (type == 3)
                handleRequest(c, message[1] != 0);
            if (c->stage == Connection::Dead)
                return;
            break;
        }
        case Connection::Silent:
        case Connection::Dead: b.clear(); return;
        }
    }
}

void FakeRfbServer::handleRequest(Connection* c, bool incremental)
{
    if (c->stalled)
        return;
    bool scriptLeft = false;
    {
        QMutexLocker locker(&m_mutex);
        scriptLeft = m_records[c->index].updatesSent < m_config.scriptedUpdates.size();
    }
    if (incremental && !c->pictureChanged && !scriptLeft) {
        // Nothing changed since the last update: answer when the picture does.
        c->pendingIncremental = true;
        return;
    }
    sendUpdate(c);
}

QByteArray FakeRfbServer::fullUpdate(const Connection* c) const
{
    QMutexLocker locker(&m_mutex);
    QList<QRect> rects = m_config.rects;
    if (rects.isEmpty())
        rects.append(QRect(QPoint(0, 0), m_picture.size()));
    QByteArray out;
    out.append(char(0));
    out.append(char(0));
    put16(out, rects.size());
    for (const QRect& r : rects) {
        out.append(HextileEncoder::rectHeader(r));
        out.append(HextileEncoder::encodeRect(m_picture, r, c->format, m_config.hextile));
    }
    return out;
}

void FakeRfbServer::sendUpdate(Connection* c)
{
    c->pictureChanged = false;
    ServerConfig config;
    int sent = 0;
    {
        QMutexLocker locker(&m_mutex);
        config = m_config;
        sent = m_records[c->index].updatesSent;
    }
    const bool faulty = config.fault != Fault::None && sent >= config.faultAfterUpdates;
    if (faulty) {
        switch (config.fault) {
        case Fault::Garbage: send(c, QByteArray::fromHex("ff13a7c0de00badbeef0")); return;
        case Fault::UnknownMessage: send(c, QByteArray(1, char(2))); return;
        case Fault::IgnoreRequests: return;
        case Fault::StallMidRect:
        case Fault::StallInUpdate:
        case Fault::TruncateAndClose: {
            const QByteArray update = fullUpdate(c);
            // By default the update header, the first rectangle header and
            // half its data.
            const int firstRect = 4 + 12;
            const int length = config.fault == Fault::StallInUpdate ? config.faultBytes
                                                                    : firstRect + (update.size() - firstRect) / 2;
            send(c, update.left(length));
            c->socket->flush();
            if (config.fault == Fault::TruncateAndClose) {
                c->socket->disconnectFromHost();
                c->stage = Connection::Dead;
            } else {
                c->stalled = true;
            }
            return;
        }
        default: break;
        }
    }
    send(c, sent < config.scriptedUpdates.size() ? config.scriptedUpdates[sent] : fullUpdate(c));
    {
        QMutexLocker locker(&m_mutex);
        ++m_records[c->index].updatesSent;
    }
    if (faulty && config.fault == Fault::CloseAfterUpdate) {
        c->socket->disconnectFromHost();
        c->stage = Connection::Dead;
    }
}

void FakeRfbServer::send(Connection* c, const QByteArray& bytes)
{
    c->socket->write(bytes);
    QMutexLocker locker(&m_mutex);
    m_records[c->index].lastSentAt = nowMs();
}

} // namespace FakeRfb
