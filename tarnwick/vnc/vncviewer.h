#pragma once

// The widget that shows the remote screen: owns the worker thread and the
// connection client, keeps the frame buffer the worker draws into, paints it
// scaled over the widget and turns mouse and keyboard input into RFB events.
// The worker notes what it drew; the GUI thread takes only those pixels under
// the lock and scales and paints them after it.

#include "tarnwick/vnc/framecopy.h"
#include "tarnwick/vnc/vncimagequality.h"
#include "tarnwick/vnc/vncpixelformat.h"
#include "tarnwick/vnc/vncviewerclient.h"

#include <QHash>
#include <QImage>
#include <QMutex>
#include <QPoint>
#include <QRegion>
#include <QThread>
#include <QWidget>

#include <atomic>

namespace VNC {

class VncViewer : public QWidget, public VncFrameTarget {
    Q_OBJECT

public:
    explicit VncViewer(QWidget* parent = nullptr);
    ~VncViewer() override;

    void connectServer(const QString& host, VncImageQuality quality, const QString& password);
    void disconnectServer();
    ConnectionState connectionState() const;
    int scaledFrameBufferWidth() const;
    int scaledFrameBufferHeight() const;
    // The server's port (5900 unless set).
    void setPort(quint16 port) { client.setPort(port); }
    // The time between a lost connection and each attempt to reconnect
    // (5000 ms unless set).
    void setReconnectInterval(int ms) { client.setReconnectInterval(ms); }

    // Worker thread: direct drawing into the frame buffer.
    QImage* beginDraw() override;
    void endDraw(const QRect& drawn) override;

    // A copy of the frame buffer as it stands.
    QImage frameBufferImage() const;
    bool isFrameBufferReady() const { return frameBufferReady.load(); }

    // The X11 keysym for a Qt key; keys without a mapping give 5000.
    static quint32 keysymFor(int key, Qt::KeyboardModifiers modifiers, bool capsLock);
    // A widget position in frame buffer coordinates, within the frame buffer.
    static QPoint mapToFrameBuffer(const QPointF& position, const QSize& widgetSize, const QSize& frameBufferSize);

    // The logical DPI the sizes are scaled with; read once from the primary
    // screen when the widget is made.
    qreal logicalDpi() const { return m_logicalDpi; }
    void setLogicalDpi(qreal dpi) { m_logicalDpi = dpi; }

signals:
    void vncServerDisconnected();
    void vncServerConnected(int frameBufferWidth, int frameBufferHeight);
    void rejectPasswdInput();

private slots:
    void serverDisconnected();
    void passwordDlgShow();
    void passwordIncorrect();
    void updateScreen();
    void showUnexpectedError(const QString& text);

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void keyReleaseEvent(QKeyEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;
    void contextMenuEvent(QContextMenuEvent* event) override;

private:
    void prepareFrameBufferLocked();
    // Copies what the worker drew since the last time into frameCopy and
    // returns that region; frameMutex held.
    QRegion takeChangesLocked();
    void sendPointer(const QPointF& position);
    static int buttonBit(Qt::MouseButton button);
    // The physical key of an event: its scan code where the platform gives
    // one, else its Qt key.
    static quint64 physicalKey(const QKeyEvent* event);
    // Sends the release of every key whose press went out and whose release
    // has not, and forgets them.
    void releaseHeldKeys();

    QThread workerThread;
    VncViewerClient client;
    QImage frameBuffer;
    int buttonMask = 0;
    // Keys pressed on the server and not yet released there, each with the
    // keysym its press sent: the release sends the same one, whatever the
    // modifiers are by then.
    QHash<quint64, quint32> heldKeys;
    std::atomic<bool> frameBufferReady{false};
    QString host;
    VncImageQuality quality = MiddleQuality;
    // The frame buffer's pixels drawn and not yet taken by the GUI thread.
    QRegion changedRegion;
    mutable QMutex frameMutex;
    qreal m_logicalDpi = 96.0;
    // What the GUI thread paints from, without the lock (GUI thread only).
    FrameCopy frameCopy;
};

} // namespace VNC
