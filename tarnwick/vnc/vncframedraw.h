#pragma once

// Drawing into a 32-bit frame buffer image, clipped to the image.

#include <QImage>
#include <QtGlobal>

#include <algorithm>

namespace VNC {

// The pixels of a 32-bit image, taken once for many small draws.
struct FrameView
{
    explicit FrameView(QImage& image)
        : bits(image.depth() == 32 ? image.bits() : nullptr)
        , stride(image.bytesPerLine())
        , width(image.depth() == 32 ? image.width() : 0)
        , height(image.depth() == 32 ? image.height() : 0)
    {
    }

    void fill(int x, int y, int w, int h, quint32 pixel) const
    {
        // 64-bit sums: a far-off rectangle from the wire must not overflow.
        const int x0 = std::max(x, 0);
        const int y0 = std::max(y, 0);
        const int x1 = int(std::min<qint64>(qint64(x) + std::max(w, 0), width));
        const int y1 = int(std::min<qint64>(qint64(y) + std::max(h, 0), height));
        for (int row = y0; row < y1; ++row) {
            quint32* line = reinterpret_cast<quint32*>(bits + row * stride);
            std::fill(line + x0, line + x1, pixel);
        }
    }

    uchar* bits;
    qsizetype stride;
    int width;
    int height;
};

void fillRectClipped(QImage& image, int x, int y, int w, int h, quint32 pixel);
// pixels holds w * h words, row after row.
void putPixelsClipped(QImage& image, int x, int y, int w, int h, const quint32* pixels);

} // namespace VNC
