#include "tarnwick/vnc/vncviewerwindow.h"

#include "platform/windowfit/windowfit.h"
#include "tarnwick/vnc/vncviewer.h"

#include <QActionGroup>
#include <QCloseEvent>
#include <QContextMenuEvent>
#include <QDebug>
#include <QGuiApplication>
#include <QMenu>
#include <QScreen>
#include <QThread>
#include <QVBoxLayout>

#include <algorithm>
#include <cmath>

namespace {

qreal primaryLogicalDpi()
{
    QScreen* screen = QGuiApplication::primaryScreen();
    return screen ? screen->logicalDotsPerInch() : 96.0;
}

QSize availableScreenSize()
{
    QScreen* screen = QGuiApplication::primaryScreen();
    return screen ? screen->availableSize() : QSize(1024, 768);
}

} // namespace

VncViewerWindow::VncViewerWindow(const QString& h, quint16 port)
    : QWidget(nullptr)
    , host(h)
{
    setObjectName(QStringLiteral("VncViewerWindow"));
    setStyleSheet(QStringLiteral("QWidget#VncViewerWindow{background-color:\"#616161\"}"));
    viewer = new VNC::VncViewer(this);
    viewer->setPort(port);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    layout->addWidget(viewer, 1, Qt::AlignCenter);

    quality = MiddleQuality;
    setWindowFlags(Qt::Dialog | Qt::WindowTitleHint | Qt::WindowMinimizeButtonHint | Qt::WindowMaximizeButtonHint
                   | Qt::CustomizeWindowHint | Qt::WindowCloseButtonHint);
    connect(viewer, &VNC::VncViewer::vncServerDisconnected, this, &VncViewerWindow::vncClientDisconnected);
    connect(viewer, &VNC::VncViewer::vncServerConnected, this, &VncViewerWindow::vncClientConnected);
    connect(viewer, &VNC::VncViewer::rejectPasswdInput, this, &QWidget::close, Qt::QueuedConnection);

    setWindowTitle(titleFor("连接中"));
    const qreal d = primaryLogicalDpi() / 96.0;
    resize(int(std::ceil(800 * d)), int(std::ceil(480 * d)));
    // Within its screen, frame included, and centred there.
    Platform::WindowFit::fitAndCentre(this);

    viewer->connectServer(host, quality, QString());
}

VncViewerWindow::~VncViewerWindow()
{
    qDebug() << "VncViewerWindow::~VncViewerWindow(), thread:" << QThread::currentThread();
    disconnect(viewer, &VNC::VncViewer::vncServerDisconnected, this, &VncViewerWindow::vncClientDisconnected);
    disconnect(viewer, &VNC::VncViewer::vncServerConnected, this, &VncViewerWindow::vncClientConnected);
    if (viewer->connectionState() != VNC::ConnectionState::Disconnected)
        viewer->disconnectServer();
    qDebug() << "VncViewerWindow::~VncViewerWindow() end, thread:" << QThread::currentThread();
}

QString VncViewerWindow::titleFor(const char* state) const
{
    return QStringLiteral("VNC-%1-").arg(host) + QString::fromUtf8(state);
}

void VncViewerWindow::vncClientDisconnected()
{
    setWindowTitle(titleFor("已断开"));
    viewShown = false;
}

void VncViewerWindow::vncClientConnected(int w, int h)
{
    setWindowTitle(titleFor("已连接"));
    const QSize available = availableScreenSize();
    const int aw = available.width();
    const int ah = available.height();
    if (w > 0 && h > 0 && (aw - 100 <= w || ah - 100 <= h)) {
        const double s = std::min(double(aw - 100) / w, double(ah - 100) / h);
        w = int(std::ceil(w * s));
        h = int(std::ceil(h * s));
    }
    resize(w, h);
    // Centred on the screen, as the design has it, but with the window
    // manager's frame counted and the screen's panels left free: the whole
    // window, title bar included, stays on the screen.
    Platform::WindowFit::fitAndCentre(this);
    qDebug() << "frameBuffer:" << w << h;
    // The frame buffer's shape, in what room the window got.
    _adjustView(w, h);
    viewShown = true;
}

void VncViewerWindow::changeQuality(VncImageQuality newQuality)
{
    quality = newQuality;
    if (viewer->connectionState() == VNC::ConnectionState::Connected) {
        setWindowTitle(titleFor("连接中"));
        viewer->connectServer(host, quality, QString());
    }
}

void VncViewerWindow::_setPixelFormat8Bit()
{
    changeQuality(LowQuality);
}

void VncViewerWindow::_setPixelFormat16Bit()
{
    changeQuality(MiddleQuality);
}

void VncViewerWindow::_setPixelFormat24Bit()
{
    changeQuality(HighQuality);
}

void VncViewerWindow::_adjustView(int w, int h)
{
    const int W = width();
    const int H = height();
    if (w <= 0 || h <= 0) {
        viewer->setGeometry(0, 0, W, H);
        return;
    }
    const double s = std::min(double(W) / w, double(H) / h);
    const int vw = int(std::ceil(w * s));
    const int vh = int(std::ceil(h * s));
    viewer->setGeometry((W - vw) / 2, (H - vh) / 2, vw, vh);
}

void VncViewerWindow::resizeEvent(QResizeEvent* event)
{
    QWidget::resizeEvent(event);
    if (viewShown)
        _adjustView(viewer->scaledFrameBufferWidth(), viewer->scaledFrameBufferHeight());
    else
        _adjustView(width(), height());
}

void VncViewerWindow::showEvent(QShowEvent* event)
{
    QWidget::showEvent(event);
}

void VncViewerWindow::closeEvent(QCloseEvent* event)
{
    viewer->disconnectServer();
    QWidget::closeEvent(event);
    viewShown = false;
}

QMenu* VncViewerWindow::createQualityMenu(QWidget* parent)
{
    auto* menu = new QMenu(parent);
    auto* group = new QActionGroup(menu);
    struct Entry {
        const char* text;
        VncImageQuality quality;
        void (VncViewerWindow::*slot)();
    };
    const Entry entries[] = {
        {"低画质 (8位)", LowQuality, &VncViewerWindow::_setPixelFormat8Bit},
        {"中画质 (16位)", MiddleQuality, &VncViewerWindow::_setPixelFormat16Bit},
        {"高画质 (24位)", HighQuality, &VncViewerWindow::_setPixelFormat24Bit},
    };
    for (const Entry& entry : entries) {
        QAction* action = menu->addAction(QString::fromUtf8(entry.text));
        action->setCheckable(true);
        action->setChecked(entry.quality == quality);
        action->setData(int(entry.quality));
        group->addAction(action);
        connect(action, &QAction::triggered, this, entry.slot);
    }
    return menu;
}

void VncViewerWindow::contextMenuEvent(QContextMenuEvent* event)
{
    QMenu* menu = createQualityMenu(this);
    menu->setAttribute(Qt::WA_DeleteOnClose);
    menu->popup(event->globalPos());
}
