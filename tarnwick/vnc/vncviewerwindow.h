#pragma once

// The top-level window in which one panel's screen is watched and operated:
// hosts the viewer, names the panel and the connection state in its title,
// sizes itself to the remote frame buffer within the screen, and offers the
// three image qualities in its context menu.

#include "tarnwick/vnc/vncconstants.h"
#include "tarnwick/vnc/vncimagequality.h"

#include <QWidget>

class QMenu;

namespace VNC {
class VncViewer;
}

class VncViewerWindow : public QWidget {
    Q_OBJECT

public:
    explicit VncViewerWindow(const QString& host, quint16 port = VNC::Constants::kServerPort);
    ~VncViewerWindow() override;

    VncImageQuality imageQuality() const { return quality; }
    // The context menu of the window: the three image qualities.
    QMenu* createQualityMenu(QWidget* parent);

private slots:
    void vncClientDisconnected();
    void vncClientConnected(int frameBufferWidth, int frameBufferHeight);
    void _setPixelFormat8Bit();
    void _setPixelFormat16Bit();
    void _setPixelFormat24Bit();
    void _adjustView(int w, int h);

protected:
    void resizeEvent(QResizeEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void contextMenuEvent(QContextMenuEvent* event) override;

private:
    void changeQuality(VncImageQuality newQuality);
    QString titleFor(const char* state) const;

    VNC::VncViewer* viewer = nullptr;
    VncImageQuality quality = MiddleQuality;
    QString host;
    bool viewShown = false;
};
