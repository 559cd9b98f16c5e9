#include "tarnwick/vnc/vncviewer.h"

#include "platform/keyboard/capslock.h"
#include "tarnwick/vnc/vncconstants.h"
#include "tarnwick/vnc/vncpassworddialog.h"

#include <QContextMenuEvent>
#include <QDebug>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QMessageBox>
#include <QMouseEvent>
#include <QPaintEvent>
#include <QPainter>
#include <QPushButton>
#include <QScreen>

#include <algorithm>
#include <cmath>
#include <memory>
#include <utility>

namespace VNC {

VncViewer::VncViewer(QWidget* parent)
    : QWidget(parent)
{
    if (QScreen* screen = QGuiApplication::primaryScreen())
        m_logicalDpi = screen->logicalDotsPerInch();
    client.setViewer(this);
    client.moveToThread(&workerThread);
    // The connection's socket, timer and dispatcher go with the thread, in it.
    connect(&workerThread, &QThread::finished, &client, &VncViewerClient::releaseResources, Qt::DirectConnection);
    workerThread.start(QThread::HighPriority);
    setAttribute(Qt::WA_MouseTracking);
    // Every pixel is painted: nothing beneath needs painting first.
    setAttribute(Qt::WA_OpaquePaintEvent);
    setFocusPolicy(Qt::StrongFocus);
    connect(&client, &VncViewerClient::vncServerDisconnected, this, &VncViewer::serverDisconnected);
    connect(&client, &VncViewerClient::vncPasswdNeeded, this, &VncViewer::passwordDlgShow, Qt::QueuedConnection);
    connect(&client, &VncViewerClient::vncPasswdIncorrect, this, &VncViewer::passwordIncorrect, Qt::QueuedConnection);
    connect(&client, &VncViewerClient::updateScreen, this, &VncViewer::updateScreen, Qt::QueuedConnection);
    connect(&client, &VncViewerClient::unexpectedError, this, &VncViewer::showUnexpectedError, Qt::QueuedConnection);
}

VncViewer::~VncViewer()
{
    client.requestDisconnect();
    client.disconnect(this);
    workerThread.quit();
    client.wakeAll();
    workerThread.wait();
}

void VncViewer::connectServer(const QString& h, VncImageQuality q, const QString& password)
{
    releaseHeldKeys();
    host = h;
    quality = q;
    client.requestConnect(h, password, q);
}

void VncViewer::disconnectServer()
{
    releaseHeldKeys();
    client.requestDisconnect();
}

ConnectionState VncViewer::connectionState() const
{
    return client.connectionState();
}

int VncViewer::scaledFrameBufferWidth() const
{
    return int(std::ceil(client.frameBufferWidth() * m_logicalDpi / 96.0));
}

int VncViewer::scaledFrameBufferHeight() const
{
    return int(std::ceil(client.frameBufferHeight() * m_logicalDpi / 96.0));
}

void VncViewer::prepareFrameBufferLocked()
{
    if (frameBufferReady.load())
        return;
    frameBufferReady.store(true);
    frameBuffer = QImage(client.frameBufferWidth(), client.frameBufferHeight(), QImage::Format_RGBA8888);
    frameBuffer.fill(Qt::black);
    changedRegion = QRegion(frameBuffer.rect());
    emit vncServerConnected(scaledFrameBufferWidth(), scaledFrameBufferHeight());
}

QImage* VncViewer::beginDraw()
{
    frameMutex.lock();
    prepareFrameBufferLocked();
    return &frameBuffer;
}

void VncViewer::endDraw(const QRect& drawn)
{
    if (!drawn.isEmpty())
        changedRegion += drawn;
    frameMutex.unlock();
}

QRegion VncViewer::takeChangesLocked()
{
    const QRegion changed = std::exchange(changedRegion, QRegion());
    return changed.isEmpty() ? QRegion() : frameCopy.take(frameBuffer, changed);
}

QImage VncViewer::frameBufferImage() const
{
    QMutexLocker locker(&frameMutex);
    return frameBuffer.copy();
}

void VncViewer::updateScreen()
{
    QRegion changed;
    {
        QMutexLocker locker(&frameMutex);
        changed = takeChangesLocked();
    }
    // Only what shows the change is repainted (and scaled).
    if (!changed.isEmpty())
        update(frameCopy.shownRegion(changed, size(), devicePixelRatioF()));
}

void VncViewer::serverDisconnected()
{
    {
        QMutexLocker locker(&frameMutex);
        frameBufferReady.store(false);
        // Also a connection that never stood shows the disconnected picture.
        if (frameBuffer.isNull())
            frameBuffer = QImage(std::max(width(), 1), std::max(height(), 1), QImage::Format_RGBA8888);
        frameBuffer.fill(Qt::gray);
        changedRegion = QRegion(frameBuffer.rect());
        takeChangesLocked();
    }
    buttonMask = 0;
    // Nothing is held on a server that is gone.
    heldKeys.clear();
    repaint();
    emit vncServerDisconnected();
}

void VncViewer::passwordDlgShow()
{
    VncPasswordDialog dialog(nullptr);
    if (dialog.exec() == QDialog::Accepted) {
        client.providePassword(dialog.password());
        return;
    }
    client.cancelPassword();
    client.requestDisconnect();
    emit rejectPasswdInput();
}

void VncViewer::passwordIncorrect()
{
    QMessageBox box(this);
    box.setText(QStringLiteral("VNC密码错误!"));
    box.setWindowTitle(QStringLiteral("警告"));
    box.setIcon(QMessageBox::Warning);
    box.addButton(QStringLiteral("确定"), QMessageBox::AcceptRole);
    box.setWindowFlags(Qt::Dialog | Qt::WindowTitleHint | Qt::CustomizeWindowHint | Qt::WindowCloseButtonHint);
    box.setStyleSheet(QStringLiteral("QMessageBox{background-color: rgb(240, 240, 240);}"));
    box.exec();
    client.requestConnect(host, QString(), quality);
}

void VncViewer::showUnexpectedError(const QString& text)
{
    QMessageBox::warning(nullptr, QStringLiteral("warning"), text, QMessageBox::Ok);
}

void VncViewer::paintEvent(QPaintEvent* event)
{
    {
        QMutexLocker locker(&frameMutex);
        if (frameBuffer.isNull()) {
            frameBuffer = QImage(std::max(width(), 1), std::max(height(), 1), QImage::Format_RGBA8888);
            frameBuffer.fill(Qt::darkGray);
        }
        // A copy of another size is no picture of this frame buffer: a
        // whole one now. What changed stays noted, for the update that
        // repaints it.
        if (frameCopy.image().size() != frameBuffer.size())
            frameCopy.take(frameBuffer, QRegion(frameBuffer.rect()));
    }
    // The frame buffer smooth-scaled over the whole widget, outside the
    // lock, as far as the region to repaint needs it; the window's backing
    // store keeps the rest.
    QPainter painter(this);
    frameCopy.paint(painter, size(), devicePixelRatioF(), event->region());
}

QPoint VncViewer::mapToFrameBuffer(const QPointF& position, const QSize& widgetSize, const QSize& frameBufferSize)
{
    if (widgetSize.width() <= 0 || widgetSize.height() <= 0 || frameBufferSize.width() <= 0
        || frameBufferSize.height() <= 0)
        return QPoint(0, 0);
    const int wx = qRound(position.x());
    const int wy = qRound(position.y());
    const int fx = int(std::ceil(frameBufferSize.width() * (double(wx) / widgetSize.width())));
    const int fy = int(std::ceil(frameBufferSize.height() * (double(wy) / widgetSize.height())));
    // Outside the widget (a drag that left it) the pointer stays on the edge;
    // a negative value would wrap to the far side on the wire.
    return QPoint(std::clamp(fx, 0, frameBufferSize.width() - 1), std::clamp(fy, 0, frameBufferSize.height() - 1));
}

void VncViewer::sendPointer(const QPointF& position)
{
    const QSize frameBufferSize(client.frameBufferWidth(), client.frameBufferHeight());
    const QPoint p = mapToFrameBuffer(position, size(), frameBufferSize);
    client.sendPointerSync(quint8(buttonMask & 0xFF), p.x(), p.y());
}

int VncViewer::buttonBit(Qt::MouseButton button)
{
    switch (button) {
    case Qt::LeftButton: return 1;
    case Qt::MiddleButton: return 2;
    case Qt::RightButton: return 4;
    default: return 0;
    }
}

void VncViewer::mousePressEvent(QMouseEvent* event)
{
    if (!frameBufferReady.load()) {
        QWidget::mousePressEvent(event);
        return;
    }
    const int bit = buttonBit(event->button());
    if (bit == 0)
        return;
    buttonMask |= bit;
    sendPointer(event->localPos());
    QWidget::mousePressEvent(event);
}

void VncViewer::mouseReleaseEvent(QMouseEvent* event)
{
    if (!frameBufferReady.load()) {
        QWidget::mouseReleaseEvent(event);
        return;
    }
    const int bit = buttonBit(event->button());
    if (bit == 0)
        return;
    buttonMask &= ~bit;
    sendPointer(event->localPos());
    QWidget::mouseReleaseEvent(event);
}

void VncViewer::mouseMoveEvent(QMouseEvent* event)
{
    if (!frameBufferReady.load()) {
        QWidget::mouseMoveEvent(event);
        return;
    }
    sendPointer(event->localPos());
    QWidget::mouseMoveEvent(event);
}

quint64 VncViewer::physicalKey(const QKeyEvent* event)
{
    if (event->nativeScanCode() != 0)
        return (quint64(1) << 32) | event->nativeScanCode();
    return quint32(event->key());
}

void VncViewer::keyPressEvent(QKeyEvent* event)
{
    if (frameBufferReady.load()) {
        const bool capsLock = Platform::capsLockFromNativeModifiers(event->nativeModifiers());
        const quint32 keysym = keysymFor(event->key(), event->modifiers(), capsLock);
        heldKeys.insert(physicalKey(event), keysym);
        client.sendKeySync(keysym, true);
    }
    QWidget::keyPressEvent(event);
}

void VncViewer::keyReleaseEvent(QKeyEvent* event)
{
    if (frameBufferReady.load()) {
        // The modifiers may have changed since the press (Shift let go
        // first): the keysym of the press is the one the server holds.
        const auto held = heldKeys.constFind(physicalKey(event));
        quint32 keysym = 0;
        if (held != heldKeys.constEnd()) {
            keysym = held.value();
            heldKeys.erase(held);
        } else {
            const bool capsLock = Platform::capsLockFromNativeModifiers(event->nativeModifiers());
            keysym = keysymFor(event->key(), event->modifiers(), capsLock);
        }
        client.sendKeySync(keysym, false);
    }
    QWidget::keyReleaseEvent(event);
}

void VncViewer::focusOutEvent(QFocusEvent* event)
{
    // Releases that would come while another window has the keyboard never
    // reach us: the server must not keep those keys pressed.
    releaseHeldKeys();
    QWidget::focusOutEvent(event);
}

void VncViewer::releaseHeldKeys()
{
    const QHash<quint64, quint32> held = std::exchange(heldKeys, {});
    if (!frameBufferReady.load())
        return;
    for (const quint32 keysym : held)
        client.sendKeySync(keysym, false);
}

void VncViewer::contextMenuEvent(QContextMenuEvent* event)
{
    // The right button belongs to the remote screen; only Ctrl with it asks
    // the window for its menu.
    if (event->modifiers() & Qt::ControlModifier)
        event->ignore();
    else
        event->accept();
}

quint32 VncViewer::keysymFor(int key, Qt::KeyboardModifiers modifiers, bool capsLock)
{
    if (key >= Qt::Key_A && key <= Qt::Key_Z) {
        const bool shift = modifiers & Qt::ShiftModifier;
        return (shift != capsLock) ? quint32(key) : quint32(key + 0x20);
    }
    if ((key >= 0x20 && key <= 0x40) || (key >= 0x5B && key <= 0x60) || (key >= 0x7B && key <= 0x7E)
        || (key >= 0xA0 && key <= 0xAE) || key == 0xBB)
        return quint32(key);
    if (key >= Qt::Key_F1 && key <= Qt::Key_F35)
        return 0xFFBE + quint32(key - Qt::Key_F1);
    switch (key) {
    case Qt::Key_Escape: return 0xFF1B;
    case Qt::Key_Tab: return 0xFF09;
    case Qt::Key_Backspace: return 0xFF08;
    case Qt::Key_Return: return 0xFF0D;
    case Qt::Key_Enter: return 0xFF0D;
    case Qt::Key_Insert: return 0xFF63;
    case Qt::Key_Delete: return 0xFFFF;
    case Qt::Key_Pause: return 0xFF13;
    case Qt::Key_Print: return 0xFF61;
    case Qt::Key_SysReq: return 0xFF15;
    case Qt::Key_Clear: return 0xFF0B;
    case Qt::Key_Home: return 0xFF50;
    case Qt::Key_End: return 0xFF57;
    case Qt::Key_Left: return 0xFF51;
    case Qt::Key_Up: return 0xFF52;
    case Qt::Key_Right: return 0xFF53;
    case Qt::Key_Down: return 0xFF54;
    case Qt::Key_PageUp: return 0xFF55;
    case Qt::Key_PageDown: return 0xFF56;
    case Qt::Key_Shift: return 0xFFE2;
    case Qt::Key_Control: return 0xFFE4;
    case Qt::Key_Meta: return 0xFFE8;
    case Qt::Key_Alt: return 0xFFEA;
    case Qt::Key_CapsLock: return 0xFFE5;
    case Qt::Key_NumLock: return 0xFF7F;
    case Qt::Key_ScrollLock: return 0xFF14;
    case Qt::Key_Super_L: return 0xFFEB;
    case Qt::Key_Super_R: return 0xFFEC;
    case Qt::Key_Help: return 0xFF6A;
    case Qt::Key_Mode_switch: return 0xFF7E;
    default: return Constants::kUnmappedKeysym;
    }
}

} // namespace VNC
