#pragma once

// Drawing into a 32-bit frame buffer image, clipped to the image.

#include <QImage>
#include <QtGlobal>

#include <algorithm>

namespace VNC {

// The pixels of a 32-bit image, taken once for many small draws. Without an
// image (or with one of another depth) it has no pixels and draws nothing.
struct FrameView {
    FrameView() = default;
    explicit FrameView(QImage& image)
        : bits(image.depth() == 32 ? image.bits() : nullptr)
        , stride(image.bytesPerLine())
        , width(image.depth() == 32 ? image.width() : 0)
        , height(image.depth() == 32 ? image.height() : 0)
    {
    }

    quint32* line(int row) const { return reinterpret_cast<quint32*>(bits + row * stride); }

    // Fills the part of the rectangle that lies inside; a rectangle wholly
    // outside (also one beyond the right or bottom edge) fills nothing.
    void fill(int x, int y, int w, int h, quint32 pixel) const
    {
        // 64-bit sums: a far-off rectangle from the wire must not overflow.
        const int x0 = std::max(x, 0);
        const int y0 = std::max(y, 0);
        const int x1 = int(std::min<qint64>(qint64(x) + std::max(w, 0), width));
        const int y1 = int(std::min<qint64>(qint64(y) + std::max(h, 0), height));
        if (x0 >= x1 || y0 >= y1)
            return;
        for (int row = y0; row < y1; ++row) {
            quint32* start = line(row);
            std::fill(start + x0, start + x1, pixel);
        }
    }

    uchar* bits = nullptr;
    qsizetype stride = 0;
    int width = 0;
    int height = 0;
};

} // namespace VNC
