#include "tarnwick/vnc/vncviewerclient.h"

#include "tarnwick/vnc/vncconstants.h"
#include "tarnwick/vnc/vncexception.h"
#include "tarnwick/vnc/vncinputbuffer.h"
#include "tarnwick/vnc/vncprotocoldispatcher.h"
#include "tarnwick/vnc/vncviewer.h"

#include <QDebug>
#include <QHostAddress>
#include <QImage>
#include <QTcpSocket>
#include <QThread>
#include <QTimer>

namespace VNC {

VncViewerClient::VncViewerClient(QObject* parent)
    : QObject(parent)
    , m_port(Constants::kServerPort)
    , m_frameBufferWidth(Constants::kIdleWidth)
    , m_frameBufferHeight(Constants::kIdleHeight)
{
    qRegisterMetaType<VncImageQuality>("VncImageQuality");
    qRegisterMetaType<uint8_t>("uint8_t");
    qRegisterMetaType<uint32_t>("uint32_t");
    connect(this, &VncViewerClient::startConnectServer, this, &VncViewerClient::realConnectServer,
            Qt::QueuedConnection);
    connect(this, &VncViewerClient::syncDisconnectServer, this, &VncViewerClient::manualDisconnectServer,
            Qt::QueuedConnection);
    connect(this, &VncViewerClient::sendMouseEventSync, this, &VncViewerClient::doSendMouseEvent, Qt::QueuedConnection);
    connect(this, &VncViewerClient::sendKeyEventSync, this, &VncViewerClient::doSendKeyEvent, Qt::QueuedConnection);
}

VncViewerClient::~VncViewerClient()
{
    releaseResources();
}

void VncViewerClient::releaseResources()
{
    // The dispatcher and its steps refer to the socket: they go first.
    dispatcher.reset();
    if (socket) {
        socket->disconnect(this);
        socket->abort();
    }
    socket.reset();
    reconnectTimer.reset();
    connectTimer.reset();
    readTimer.reset();
    m_connecting = false;
}

// GUI thread ---------------------------------------------------------------------

void VncViewerClient::requestConnect(const QString& h, const QString& password, VncImageQuality q)
{
    ++m_requests;
    emit startConnectServer(h, password, q);
}

void VncViewerClient::requestDisconnect()
{
    ++m_requests;
    emit syncDisconnectServer();
}

bool VncViewerClient::waitHandOver(QSemaphore& semaphore)
{
    if (m_handOverStalled.load())
        return false;
    if (semaphore.tryAcquire(1, Constants::kInputHandOverTimeoutMs))
        return true;
    m_handOverStalled.store(true);
    return false;
}

bool VncViewerClient::sendPointerSync(quint8 buttons, int x, int y)
{
    emit sendMouseEventSync(buttons, x, y);
    return waitHandOver(pointerSemaphore);
}

bool VncViewerClient::sendKeySync(quint32 keysym, bool isPress)
{
    emit sendKeyEventSync(keysym, isPress);
    return waitHandOver(keySemaphore);
}

void VncViewerClient::providePassword(const QString& text)
{
    QMutexLocker locker(&passwordMutex);
    storedPassword = text;
    m_passwordCancelled.store(false);
    if (passwordSemaphore.available() == 0)
        passwordSemaphore.release();
}

void VncViewerClient::cancelPassword()
{
    QMutexLocker locker(&passwordMutex);
    m_passwordCancelled.store(true);
    if (passwordSemaphore.available() == 0)
        passwordSemaphore.release();
}

void VncViewerClient::wakeAll()
{
    m_exiting.store(true);
    m_passwordCancelled.store(true);
    ++m_requests;
    passwordSemaphore.release();
    pointerSemaphore.release();
    keySemaphore.release();
}

ConnectionState VncViewerClient::connectionState() const
{
    if (connected.load())
        return ConnectionState::Connected;
    return autoReconnect.load() ? ConnectionState::ReconnectPending : ConnectionState::Disconnected;
}

// Worker thread ------------------------------------------------------------------

QString VncViewerClient::password()
{
    QMutexLocker locker(&passwordMutex);
    if (!storedPassword.isEmpty())
        return storedPassword;
    if (m_exiting.load()) {
        m_passwordCancelled.store(true);
        return QString();
    }
    m_passwordCancelled.store(false);
    passwordSemaphore.tryAcquire(passwordSemaphore.available());
    locker.unlock();
    // A GUI thread waiting for an input event to leave must not wait on us
    // while we wait on it.
    if (pointerSemaphore.available() == 0)
        pointerSemaphore.release();
    if (keySemaphore.available() == 0)
        keySemaphore.release();
    emit vncPasswdNeeded();
    while (!passwordSemaphore.tryAcquire(1, Constants::kWaitSliceMs)) {
        if (m_exiting.load()) {
            m_passwordCancelled.store(true);
            break;
        }
    }
    locker.relock();
    return storedPassword;
}

void VncViewerClient::noteFrameBufferSize(int width, int height)
{
    m_frameBufferWidth.store(width);
    m_frameBufferHeight.store(height);
}

void VncViewerClient::frameArrived()
{
    // The tiles are in the viewer's frame buffer already.
    connected.store(true);
    autoReconnect.store(true);
    emit updateScreen();
}

void VncViewerClient::realConnectServer(const QString& ip, const QString& passwd, VncImageQuality q)
{
    // A requested connection replaces any pending reconnection.
    if (reconnectTimer)
        reconnectTimer->stop();
    connectToServer(ip, passwd, q);
}

void VncViewerClient::connectToServer(const QString& ip, const QString& passwd, VncImageQuality q)
{
    host = ip;
    quality = q;
    {
        QMutexLocker locker(&passwordMutex);
        storedPassword = passwd;
    }
    if (!socket) {
        socket = std::make_unique<QTcpSocket>();
        reconnectTimer = std::make_unique<QTimer>();
        connectTimer = std::make_unique<QTimer>();
        connectTimer->setSingleShot(true);
        connect(connectTimer.get(), &QTimer::timeout, this, &VncViewerClient::connectTimedOut);
        readTimer = std::make_unique<QTimer>();
        readTimer->setSingleShot(true);
        readTimer->setTimerType(Qt::PreciseTimer);
        connect(readTimer.get(), &QTimer::timeout, this, &VncViewerClient::handleServerMsg);
    }
    readTimer->stop();
    // The dispatcher of an earlier connection ends here.
    dispatcher = std::make_unique<VncProtocolDispatcher>([this] { frameArrived(); }, quality, this);
    dispatcher->setFrameTarget(viewer);
    dispatcher->input().setSilenceLimit(m_readTimeoutMs.load());
    const quint64 request = m_requests.load();
    dispatcher->setCancelCheck([this, request] { return m_requests.load() != request; });
    noteFrameBufferSize(dispatcher->width(), dispatcher->height());

    // A socket still closing would ignore the new connect: drop it at once.
    // (Dropping a live connection arms the reconnect timer; a requested
    // connection stops it again below.)
    const bool reconnecting = reconnectTimer->isActive();
    m_connecting = false;
    if (socket->state() != QAbstractSocket::UnconnectedState)
        socket->abort();
    if (!reconnecting)
        reconnectTimer->stop();
    connect(socket.get(), &QTcpSocket::connected, this, &VncViewerClient::serverConnected, Qt::UniqueConnection);
    connect(socket.get(), &QTcpSocket::disconnected, this, &VncViewerClient::serverDisconnected, Qt::UniqueConnection);
    connect(socket.get(), &QTcpSocket::errorOccurred, this, &VncViewerClient::connectFailed, Qt::UniqueConnection);
    // A refused or unreachable server reports an error; one that never
    // answers only this timer does.
    m_connecting = true;
    qDebug().noquote() << "connecting to" << QStringLiteral("%1:%2").arg(host).arg(m_port.load());
    connectTimer->start(Constants::kConnectTimeoutMs);
    socket->connectToHost(QHostAddress(ip), m_port.load(), QIODevice::ReadWrite);
}

void VncViewerClient::connectFailed(QAbstractSocket::SocketError)
{
    // Errors of a connection that stands end in disconnected().
    if (!m_connecting || !socket)
        return;
    qDebug().noquote() << "connect to" << QStringLiteral("%1:%2").arg(host).arg(m_port.load())
                       << "failed:" << socket->errorString();
    m_connecting = false;
    connectTimer->stop();
    if (socket->state() != QAbstractSocket::UnconnectedState)
        socket->abort();
    reportLoss();
}

void VncViewerClient::connectTimedOut()
{
    if (!m_connecting || !socket)
        return;
    qDebug().noquote() << "connect to" << QStringLiteral("%1:%2").arg(host).arg(m_port.load())
                       << "failed: no answer within" << Constants::kConnectTimeoutMs << "ms";
    m_connecting = false;
    socket->abort();
    reportLoss();
}

void VncViewerClient::serverConnected()
{
    m_connecting = false;
    connectTimer->stop();
    connect(socket.get(), &QTcpSocket::readyRead, this, &VncViewerClient::handleServerMsg, Qt::UniqueConnection);
    dispatcher->start(socket.get());
    handleServerMsg();
}

void VncViewerClient::abortConnection()
{
    // The failed step stays current until a reconnect builds a fresh chain;
    // closing the socket lets the normal disconnect rules run.
    connected.store(false);
    if (readTimer)
        readTimer->stop();
    if (socket && socket->state() != QAbstractSocket::UnconnectedState)
        socket->abort();
}

void VncViewerClient::handleServerMsg()
{
    if (m_inHandler || !socket || !dispatcher)
        return;
    if (reconnectTimer->isActive())
        reconnectTimer->stop();
    m_inHandler = true;
    VncInputBuffer& input = dispatcher->input();
    try {
        // A run ends with each update's request; the bytes of a following
        // message that came with it are held already and bring no readyRead
        // of their own. So the steps run again while they make progress.
        quint64 consumed = 0;
        do {
            consumed = input.consumedTotal();
            dispatcher->runCurrentStep();
        } while (input.consumedTotal() != consumed && input.available() > 0);
    } catch (const VncPasswdIncorrect&) {
        m_inHandler = false;
        autoReconnect.store(false);
        connected.store(false);
        emit vncPasswdIncorrect();
        abortConnection();
        return;
    } catch (const VncProException& e) {
        m_inHandler = false;
        qDebug() << "catch unexpected exception:" << e.what();
        abortConnection();
        reconnectTimer->start(m_reconnectIntervalMs.load());
        return;
    } catch (const std::exception& e) {
        m_inHandler = false;
        qDebug() << "catch unexpected exception:" << e.what();
        emit unexpectedError(QString::fromLocal8Bit(e.what()));
        abortConnection();
        return;
    }
    m_inHandler = false;
    // A step that waits for server bytes (any of the handshake, the answer
    // to the first request, the rest of a message that has begun) fails its
    // read once the server has been silent for the read time limit; the
    // timer runs it again then. It is armed for the time that is left, and
    // precise: a coarse timer may fire early, find the read not yet failed
    // and wait a whole limit more.
    const qint64 left = input.waiting() ? input.silenceLeftMs() : -1;
    if (left >= 0)
        readTimer->start(int(left));
    else
        readTimer->stop();
}

void VncViewerClient::serverDisconnected()
{
    qDebug() << "server/network disconnected!";
    reportLoss();
}

void VncViewerClient::reportLoss()
{
    connected.store(false);
    emit vncServerDisconnected();
    if (autoReconnect.load() && reconnectTimer) {
        qDebug() << "ready to reconnect:" << host;
        connect(reconnectTimer.get(), &QTimer::timeout, this, &VncViewerClient::timeToReconnect, Qt::UniqueConnection);
        reconnectTimer->start(m_reconnectIntervalMs.load());
    }
}

void VncViewerClient::timeToReconnect()
{
    if (!connected.load() && autoReconnect.load()) {
        qDebug() << "do reconnect server:" << host;
        // The stored password is reused; the user is asked only when the
        // server wants a password and none is stored.
        QString passwd;
        {
            QMutexLocker locker(&passwordMutex);
            passwd = storedPassword;
        }
        // The timer keeps running: a server still down is tried again after
        // the same interval.
        connectToServer(host, passwd, quality);
    } else if (reconnectTimer) {
        reconnectTimer->stop();
    }
}

void VncViewerClient::manualDisconnectServer()
{
    qDebug() << "void VncViewerClient::manualDisconnectServer()";
    autoReconnect.store(false);
    connected.store(false);
    m_connecting = false;
    if (socket && socket->state() != QAbstractSocket::UnconnectedState) {
        // Events handed over before the request (the release of a held
        // key) still leave; the abort below would drop them.
        socket->flush();
        socket->disconnectFromHost();
        if (socket->state() != QAbstractSocket::UnconnectedState)
            socket->abort();
    }
    // None of the socket's signals is running: it can go at once.
    releaseResources();
    noteFrameBufferSize(Constants::kIdleWidth, Constants::kIdleHeight);
}

void VncViewerClient::doSendMouseEvent(uint8_t type, int x, int y)
{
    if (dispatcher)
        dispatcher->sendPointer(type, x, y);
    m_handOverStalled.store(false);
    if (pointerSemaphore.available() == 0)
        pointerSemaphore.release();
}

void VncViewerClient::doSendKeyEvent(uint32_t key, bool isPress)
{
    if (dispatcher)
        dispatcher->sendKey(key, isPress ? 1 : 0);
    m_handOverStalled.store(false);
    if (keySemaphore.available() == 0)
        keySemaphore.release();
}

} // namespace VNC
