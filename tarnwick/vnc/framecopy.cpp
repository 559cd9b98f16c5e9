#include "tarnwick/vnc/framecopy.h"

#include <QPaintEngine>
#include <QPainter>

#include <algorithm>
#include <cmath>

namespace VNC {

namespace {

// Rows scaled at a time: a band that stays in the processor's cache on its
// way from the scaler to the painter.
constexpr int kBandRows = 16;

QSize deviceSize(const QSize& size, qreal ratio)
{
    return QSize(int(std::ceil(size.width() * ratio)), int(std::ceil(size.height() * ratio)));
}

// The widget's rows (in device pixels) whose smoothing reads frame rows
// first..end (end exclusive) when `scale` device rows show one frame row. A
// device row d samples the frame at (d + 0.5) / scale - 0.5 and reads the
// two rows around it, so the reach is a row wider than the scaled span on
// each side (two where the frame is scaled down); one more takes up the
// rounding of the painter's fixed-point steps.
void reachAlong(int first, int end, qreal scale, int limit, int* from, int* to)
{
    *from = std::clamp(int(std::floor((first - 1) * scale)) - 1, 0, limit);
    *to = std::clamp(int(std::ceil((end + 1) * scale)) + 1, 0, limit);
}

} // namespace

QImage* FrameCopy::directDevice(QPainter& painter, const QSize& size, QPoint* origin)
{
    QPaintEngine* engine = painter.paintEngine();
    if (!engine || engine->type() != QPaintEngine::Raster || !engine->paintDevice()
        || engine->paintDevice()->devType() != QInternal::Image || painter.opacity() != 1.0
        || (painter.compositionMode() != QPainter::CompositionMode_SourceOver
            && painter.compositionMode() != QPainter::CompositionMode_Source))
        return nullptr;
    auto* image = static_cast<QImage*>(engine->paintDevice());
    // Qt's X11 backing store is ARGB32_Premultiplied even on a window
    // without alpha; the scaler writes into it as into RGB32.
    if (!FrameScaler::writesInto(image->format()))
        return nullptr;
    const QTransform transform = painter.deviceTransform();
    if (image->devicePixelRatio() != 1 || transform.type() > QTransform::TxTranslate
        || transform.dx() != std::floor(transform.dx()) || transform.dy() != std::floor(transform.dy()))
        return nullptr;
    const QPoint at(int(transform.dx()), int(transform.dy()));
    if (!image->rect().contains(QRect(at, size)))
        return nullptr;
    *origin = at;
    return image;
}

QRegion FrameCopy::take(const QImage& frame, const QRegion& changed)
{
    if (frame.isNull())
        return QRegion();
    QRegion copied = changed;
    if (m_copy.size() != frame.size()) {
        m_copy = QImage(frame.size(), QImage::Format_RGB32);
        copied = QRegion(m_copy.rect());
    }
    copied &= m_copy.rect();
    // RGB32 is what the scaler and the painter read fastest. The frame
    // buffer's RGBA8888 is turned into it in one pass where the processor
    // can; the painter's own conversion takes two.
    QRegion rest;
    for (const QRect& r : copied)
        if (!FrameScaler::copyRgba(frame, r, m_copy))
            rest += r;
    if (!rest.isEmpty()) {
        QPainter painter(&m_copy);
        painter.setCompositionMode(QPainter::CompositionMode_Source);
        for (const QRect& r : rest)
            painter.drawImage(r.topLeft(), frame, r);
    }
    return copied;
}

void FrameCopy::paint(QPainter& painter, const QSize& size, qreal devicePixelRatio, const QRegion& region)
{
    if (m_copy.isNull() || size.isEmpty())
        return;
    const QRect widget(QPoint(0, 0), size);
    if (deviceSize(size, devicePixelRatio) == m_copy.size()) {
        painter.drawImage(widget, m_copy);
        return;
    }
    if (m_fastScaling && devicePixelRatio == 1 && m_scaler.prepare(m_copy.size(), size)) {
        if (m_band.width() != size.width())
            m_band = QImage(size.width(), kBandRows, QImage::Format_RGB32);
        QPoint origin;
        QImage* device = directDevice(painter, size, &origin);
        QRegion rows;
        for (const QRect& r : region)
            rows += QRect(0, r.top(), size.width(), r.height()) & widget;
        for (const QRect& r : rows) {
            // Rows the region repaints from edge to edge are scaled straight
            // into the painter's device; the painter's clip would let all
            // of them through.
            const bool direct = device && (region & r) == QRegion(r);
            for (int y = r.top(); y <= r.bottom(); y += kBandRows) {
                const int end = std::min(y + kBandRows, r.bottom() + 1);
                if (direct) {
                    m_scaler.scaleRows(m_copy, y, end, *device, origin);
                    continue;
                }
                m_scaler.scaleRows(m_copy, y, end, m_band, QPoint(0, -y));
                painter.drawImage(QPoint(0, y), m_band, QRect(0, 0, size.width(), end - y));
            }
        }
        return;
    }
    painter.setRenderHint(QPainter::SmoothPixmapTransform);
    painter.drawImage(widget, m_copy);
}

QRegion FrameCopy::shownRegion(const QRegion& changed, const QSize& size, qreal devicePixelRatio) const
{
    if (m_copy.isNull() || size.isEmpty())
        return QRegion();
    const QSize device = deviceSize(size, devicePixelRatio);
    if (device == m_copy.size()) {
        // Pixel for pixel: the changed rectangles themselves.
        QRegion shown;
        for (const QRect& r : changed& m_copy.rect()) {
            const int x0 = int(std::floor(r.left() / devicePixelRatio));
            const int y0 = int(std::floor(r.top() / devicePixelRatio));
            const int x1 = int(std::ceil((r.left() + r.width()) / devicePixelRatio));
            const int y1 = int(std::ceil((r.top() + r.height()) / devicePixelRatio));
            shown += QRect(x0, y0, x1 - x0, y1 - y0);
        }
        return shown;
    }
    const qreal scale = size.height() * devicePixelRatio / m_copy.height();
    QRegion rows;
    for (const QRect& r : changed) {
        int top = 0;
        int end = 0;
        reachAlong(r.top(), r.top() + r.height(), scale, device.height(), &top, &end);
        // Device rows to the widget's own, rounded outwards.
        const int y0 = int(std::floor(top / devicePixelRatio));
        const int y1 = int(std::ceil(end / devicePixelRatio));
        if (y1 > y0)
            rows += QRect(0, y0, size.width(), y1 - y0);
    }
    return rows;
}

} // namespace VNC
