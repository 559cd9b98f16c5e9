#pragma once

// Drawing into a 32-bit frame buffer image, clipped to the image: the one
// place where what is drawn is cut to the frame buffer.

#include <QImage>
#include <QtGlobal>

#include <algorithm>

namespace VNC {

// The visible part of a rectangle, x1 and y1 exclusive.
struct FrameClip {
    int x0, y0, x1, y1;
    bool empty() const { return x0 >= x1 || y0 >= y1; }
};

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

    // The part of the rectangle that lies inside (width and height may have
    // been narrowed to the server's frame); empty for a rectangle wholly
    // outside, also one beyond the right or bottom edge. The sums stay in
    // int: a rectangle comes from 16-bit wire coordinates and sizes plus at
    // most a tile's reach, far from overflowing.
    FrameClip clip(int x, int y, int w, int h) const
    {
        return {std::max(x, 0), std::max(y, 0), std::min(x + w, width), std::min(y + h, height)};
    }

    uchar* bits = nullptr;
    qsizetype stride = 0;
    int width = 0;
    int height = 0;
};

} // namespace VNC
