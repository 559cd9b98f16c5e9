#pragma once

// The frame buffer as the viewer widget paints it: a copy of the frame
// buffer's pixels, taken rectangle by rectangle as they change, from which
// the widget paints (and smooth-scales) without holding the frame buffer's
// lock. What has been painted stays in the window's backing store, so a
// paint scales only the region it repaints. Used by the GUI thread alone;
// whoever owns the frame buffer holds its lock while take() reads it, and
// only then.

#include "tarnwick/vnc/framescaler.h"

#include <QImage>
#include <QRegion>
#include <QSize>

class QPainter;

namespace VNC {

class FrameCopy {
public:
    // Copies the changed part of frame; all of it when the frame's size is
    // new. Returns the part copied.
    QRegion take(const QImage& frame, const QRegion& changed);

    // Paints the copy stretched over a widget of size (from its origin) at
    // the device pixel ratio, smooth-scaled, where region (the region to
    // repaint, which the painter's clip must not exceed) needs it: whole
    // rows of it, which the painter's clip cuts to the region. Rows that the
    // region holds from edge to edge may be written straight into the
    // painter's device.
    void paint(QPainter& painter, const QSize& size, qreal devicePixelRatio, const QRegion& region);

    // The part of a widget of size at the device pixel ratio that shows the
    // frame's changed region. Scaled, it is whole rows of the widget: each
    // repainted row is then smoothed from the widget's left edge, exactly as
    // in a repaint of the whole widget, so repainted and kept parts meet
    // without a seam; every pixel whose smoothing reads a changed pixel is
    // inside.
    QRegion shownRegion(const QRegion& changed, const QSize& size, qreal devicePixelRatio) const;

    // The image a painter paints on, when paint() may write rows of a widget
    // of size straight into it: a raster image of 32-bit pixels in which an
    // opaque pixel is an RGB32 pixel (a window's backing store), painted
    // on pixel for pixel, moved by whole pixels only, opaque, the widget
    // inside it. origin is where the widget's origin lands. Null for any
    // other device: rows then go through a band the painter copies.
    static QImage* directDevice(QPainter& painter, const QSize& size, QPoint* origin);

    // The copy (RGB32, the frame buffer's size); null before the first take.
    const QImage& image() const { return m_copy; }

    // Whether paint() may scale with FrameScaler where it can (on unless
    // turned off); off, the painter's smooth transformation scales.
    void setFastScaling(bool on) { m_fastScaling = on; }

private:
    QImage m_copy;
    bool m_fastScaling = true;
    FrameScaler m_scaler;
    QImage m_band; // rows scaled by m_scaler on their way to the painter
};

} // namespace VNC
