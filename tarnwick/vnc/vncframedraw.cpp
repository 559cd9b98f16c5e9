#include "tarnwick/vnc/vncframedraw.h"

#include <QImage>

#include <algorithm>
#include <cstring>

namespace VNC {

namespace {

struct Clip
{
    int x0, y0, x1, y1; // visible part, x1 and y1 exclusive
    bool empty() const { return x0 >= x1 || y0 >= y1; }
};

Clip clip(const QImage& image, int x, int y, int w, int h)
{
    // 64-bit sums: a far-off rectangle from the wire must not overflow.
    const qint64 right = qint64(x) + std::max(w, 0);
    const qint64 bottom = qint64(y) + std::max(h, 0);
    Clip c;
    c.x0 = std::max(x, 0);
    c.y0 = std::max(y, 0);
    c.x1 = int(std::min<qint64>(right, image.width()));
    c.y1 = int(std::min<qint64>(bottom, image.height()));
    return c;
}

} // namespace

void fillRectClipped(QImage& image, int x, int y, int w, int h, quint32 pixel)
{
    FrameView(image).fill(x, y, w, h, pixel);
}

void putPixelsClipped(QImage& image, int x, int y, int w, int h, const quint32* pixels)
{
    if (image.isNull() || image.depth() != 32 || w <= 0 || h <= 0)
        return;
    const Clip c = clip(image, x, y, w, h);
    if (c.empty())
        return;
    uchar* bits = image.bits();
    const qsizetype stride = image.bytesPerLine();
    for (int row = c.y0; row < c.y1; ++row) {
        quint32* line = reinterpret_cast<quint32*>(bits + row * stride);
        const quint32* source = pixels + qint64(row - y) * w + (c.x0 - x);
        std::memcpy(line + c.x0, source, size_t(c.x1 - c.x0) * sizeof(quint32));
    }
}

} // namespace VNC
