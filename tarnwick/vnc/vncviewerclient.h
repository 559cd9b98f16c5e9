#pragma once

// One VNC connection, run in a worker thread of its own: the socket, the
// reconnect timer and the protocol dispatcher. The viewer widget talks to it
// from the GUI thread through queued signals and three semaphores (a key or
// pointer event waits until it has left; the worker waits for the password).

#include "tarnwick/vnc/vncconstants.h"
#include "tarnwick/vnc/vncimagequality.h"

#include <QAbstractSocket>
#include <QMutex>
#include <QObject>
#include <QSemaphore>
#include <QString>

#include <atomic>
#include <cstdint>
#include <memory>

class QTcpSocket;
class QTimer;

namespace VNC {

class VncProtocolDispatcher;
class VncViewer;

// Where a connection stands, as the viewer and its window see it.
enum class ConnectionState : int {
    Connected = 0,
    ReconnectPending = 1, // lost after a complete update; the timer tries again
    Disconnected = 2,
};

class VncViewerClient : public QObject {
    Q_OBJECT

public:
    explicit VncViewerClient(QObject* parent = nullptr);
    ~VncViewerClient() override;

    // Set right after construction, before the worker thread runs.
    void setViewer(VncViewer* v) { viewer = v; }
    // The server's port; the panels listen on 5900.
    void setPort(quint16 port) { m_port.store(port); }
    // How long the server may stay silent while the session waits for its
    // bytes before the read fails (30000 ms in the program); for connections
    // made afterwards.
    void setReadTimeout(int ms) { m_readTimeoutMs.store(ms); }
    // The time between a lost connection and each attempt to reconnect
    // (5000 ms in the program).
    void setReconnectInterval(int ms) { m_reconnectIntervalMs.store(ms); }

    // GUI thread.
    void requestConnect(const QString& host, const QString& password, VncImageQuality quality);
    void requestDisconnect();
    // Hand an event to the worker and wait (bounded) until it has left.
    // False when the wait ran out.
    bool sendPointerSync(quint8 buttons, int x, int y);
    bool sendKeySync(quint32 keysym, bool isPress);
    void providePassword(const QString& text);
    // The password dialog was cancelled: the worker answers no challenge.
    void cancelPassword();
    void wakeAll();
    ConnectionState connectionState() const;
    int frameBufferWidth() const { return m_frameBufferWidth.load(); }
    int frameBufferHeight() const { return m_frameBufferHeight.load(); }

    // Worker thread.
    QString password();
    bool passwordCancelled() const { return m_passwordCancelled.load(); }
    void noteFrameBufferSize(int width, int height);
    // Frees the socket, the timer and the dispatcher; called in the worker
    // thread as it ends, or by the destructor.
    void releaseResources();

signals:
    void vncServerDisconnected();
    void vncPasswdNeeded();
    void vncPasswdIncorrect();
    void updateScreen();
    // A failure that is not the protocol's, for the GUI thread to show.
    void unexpectedError(const QString& text);
    void startConnectServer(const QString& host, const QString& password, VncImageQuality quality);
    void syncDisconnectServer();
    void sendMouseEventSync(uint8_t type, int x, int y);
    void sendKeyEventSync(uint32_t key, bool isPress);

private slots:
    void handleServerMsg();
    void serverDisconnected();
    void timeToReconnect();
    void realConnectServer(const QString& ip, const QString& passwd, VncImageQuality quality);
    void manualDisconnectServer();
    void serverConnected();
    void connectFailed(QAbstractSocket::SocketError error);
    void connectTimedOut();
    void doSendMouseEvent(uint8_t type, int x, int y);
    void doSendKeyEvent(uint32_t key, bool isPress);

private:
    void connectToServer(const QString& ip, const QString& passwd, VncImageQuality quality);
    bool waitHandOver(QSemaphore& semaphore);
    void abortConnection();
    void reportLoss();
    void frameArrived();

    std::unique_ptr<QTcpSocket> socket;
    std::unique_ptr<QTimer> reconnectTimer;
    // Bounds the wait for the server to answer a connection attempt.
    std::unique_ptr<QTimer> connectTimer;
    // Runs the steps again once the server has been silent for the read
    // time limit while a step waits for its bytes.
    std::unique_ptr<QTimer> readTimer;
    std::atomic<bool> autoReconnect{false};
    std::atomic<bool> connected{false};
    QString host;
    QString storedPassword;
    std::unique_ptr<VncProtocolDispatcher> dispatcher;
    VncImageQuality quality = HighQuality;
    VncViewer* viewer = nullptr;
    QMutex passwordMutex{QMutex::Recursive};
    QSemaphore passwordSemaphore{0};
    QSemaphore pointerSemaphore{0};
    QSemaphore keySemaphore{0};

    std::atomic<quint16> m_port;
    std::atomic<int> m_readTimeoutMs{Constants::kReadTimeoutMs};
    std::atomic<int> m_reconnectIntervalMs{Constants::kReconnectIntervalMs};
    // Frame buffer size for the GUI, kept here so that it survives the
    // dispatcher.
    std::atomic<int> m_frameBufferWidth;
    std::atomic<int> m_frameBufferHeight;
    std::atomic<bool> m_passwordCancelled{false};
    // Set when the viewer goes: no password wait may start or last.
    std::atomic<bool> m_exiting{false};
    // Every connect or disconnect request counts up; a wait for an older
    // connection's bytes to leave stops when it sees a newer request.
    std::atomic<quint64> m_requests{0};
    // After a hand-over wait ran out, events are handed over without waiting
    // until the worker has caught up.
    std::atomic<bool> m_handOverStalled{false};
    bool m_inHandler = false;
    // Between connectToHost and the socket's connected() or its failure.
    bool m_connecting = false;
};

} // namespace VNC
