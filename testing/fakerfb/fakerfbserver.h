#pragma once

// A scriptable RFB 3.3 server on loopback, running in a thread of its own so
// that a client blocking in its own thread (or the test's) can talk to it.
// It greets with any version text, offers no security or VNC authentication
// (checking the response against an expected one), sends ServerInit of any
// size and name, answers update requests with Hextile updates of its picture
// in the client's pixel format (or with scripted updates of any content),
// records every byte the client sends, and can misbehave on request.

#include "testing/fakerfb/hextileencoder.h"

#include <QByteArray>
#include <QHostAddress>
#include <QImage>
#include <QList>
#include <QMutex>
#include <QObject>
#include <QRect>
#include <QThread>

#include <chrono>
#include <memory>

class QTcpServer;
class QTcpSocket;

namespace FakeRfb {

enum class Fault {
    None,
    StallMidRect,     // send the first half of an update's first rectangle, then nothing
    TruncateAndClose, // send the first half of it, then close
    CloseAfterUpdate, // close once the update has been sent
    Garbage,          // answer a request with bytes that are no server message
    UnknownMessage,   // answer a request with a Bell (type 2)
    CloseOnAccept,    // close every connection as soon as it is accepted, before the greeting
    // Servers that fall silent (and keep the connection open):
    SilentOnAccept,          // send nothing at all, not even the greeting
    SilentAfterGreeting,     // greet, then send nothing more
    SilentAfterSecurityType, // send the security type alone: no challenge, or (type 1) no ServerInit
    SilentAfterChallenge,    // send the challenge, then no result
    SilentBeforeServerInit,  // complete the security step, then send no ServerInit
    SilentInServerInit,      // send the first faultBytes bytes of ServerInit, then nothing
    IgnoreRequests,          // answer no update request (after faultAfterUpdates updates)
    StallInUpdate,           // send the first faultBytes bytes of an update, then nothing
};

struct ServerConfig {
    QByteArray greeting = "RFB 003.008\n";
    quint32 securityType = 1; // 0 failure, 1 none, 2 VNC authentication, other: sent as is
    QByteArray challenge = QByteArray::fromHex("000102030405060708090a0b0c0d0e0f");
    QByteArray expectedResponse; // type 2: the response that passes
    QSize size = QSize(64, 48);
    QSize announcedSize; // when valid, ServerInit says this instead of size (the picture keeps size)
    QByteArray name = "fake panel";
    quint32 nameLengthOverride = 0; // when set, sent instead of the name's length (the name is not sent)
    QByteArray serverPixelFormat = PixelFormat().toBytes();
    HextileOptions hextile;
    QList<QRect> rects;                // how a full update splits the picture; empty: one rectangle
    QList<QByteArray> scriptedUpdates; // whole FramebufferUpdate messages sent as they are, as the answers to
                                       // a connection's first requests; the picture's updates follow
    Fault fault = Fault::None;
    int faultAfterUpdates = 0; // updates sent normally on a connection before the fault
    int faultBytes = 0;        // SilentInServerInit, StallInUpdate: how much is sent
};

// The monotonic clock in ms, as the records and the tests compare times.
inline qint64 nowMs()
{
    return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

// A server that asks for VNC authentication and lets only expectedResponse
// (to its fixed challenge) pass.
inline ServerConfig vncAuthConfig(const QByteArray& expectedResponse)
{
    ServerConfig config;
    config.securityType = 2;
    config.expectedResponse = expectedResponse;
    return config;
}

// What one connection's client sent, parsed.
struct ClientRecord {
    QByteArray bytes; // everything, in order
    QByteArray version;
    QByteArray response;
    int clientInit = -1;
    QList<QByteArray> setPixelFormats; // the 20-byte messages
    QList<QByteArray> setEncodings;
    QList<QByteArray> updateRequests; // the 10-byte messages
    QList<QByteArray> keyEvents;      // the 8-byte messages
    QList<QByteArray> pointerEvents;  // the 6-byte messages
    int updatesSent = 0;
    bool closed = false;
    // When the server last wrote to the connection (nowMs()); 0 while it has
    // written nothing.
    qint64 lastSentAt = 0;
};

class FakeRfbServer : public QObject {
    Q_OBJECT

public:
    FakeRfbServer();
    ~FakeRfbServer() override;

    void setConfig(const ServerConfig& config);
    ServerConfig config() const;
    void setPicture(const QImage& picture); // also answers a pending incremental request
    QImage picture() const;

    // Listens on the address (port 0: an ephemeral one). False when it cannot.
    bool start(const QHostAddress& address = QHostAddress::LocalHost, quint16 port = 0);
    void stop();
    // Closes the listener and every connection, then listens on the same
    // port again.
    bool restart();
    // Closes every connection, keeps listening.
    void dropConnections();
    quint16 port() const;
    QHostAddress address() const;

    int connectionCount() const;
    int openConnectionCount() const;
    ClientRecord record(int connection) const;

private:
    struct Connection;
    void onNewConnection();
    void onReadyRead(Connection* c);
    void handleRequest(Connection* c, bool incremental);
    void sendUpdate(Connection* c);
    void send(Connection* c, const QByteArray& bytes);
    QByteArray fullUpdate(const Connection* c) const;
    void doStop();
    bool doListen(const QHostAddress& address, quint16 port);

    QThread m_thread;
    QObject* m_context = nullptr; // lives in m_thread; owns the server and the sockets
    QTcpServer* m_server = nullptr;
    mutable QMutex m_mutex;
    ServerConfig m_config;
    QImage m_picture;
    std::vector<std::unique_ptr<Connection>> m_connections;
    QList<ClientRecord> m_records;
    QHostAddress m_address;
    quint16 m_port = 0;
};

} // namespace FakeRfb
