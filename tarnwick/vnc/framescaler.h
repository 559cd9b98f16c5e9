#pragma once

// Smooth scaling of the frame copy for the viewer widget, a band of rows at
// a time, with the processor's AVX2 instructions. It samples the picture
// exactly where the painter's smooth transformation does (the same 16.16
// fixed-point steps from the left edge, the same pixels clamped at the
// edges, 8-bit weights) and so gives the same picture within a level or two
// per channel, at a third of the painter's cost. Each row depends on the
// source alone: rows scaled apart are the rows of a whole scaling. Only
// for RGB32 pictures widened (not narrowed); elsewhere, and on processors
// without AVX2, ready() is false and the painter scales.

#include <QImage>
#include <QPoint>
#include <QRect>
#include <QSize>

#include <vector>

namespace VNC {

class FrameScaler {
public:
    // Plans the scaling of a source of one size to a target of another;
    // false when this scaler cannot do it (the caller then paints with the
    // painter's smooth transformation).
    bool prepare(const QSize& source, const QSize& target);
    bool ready() const { return m_ready; }

    // Target rows first..end (end exclusive) of the scaled source, each
    // target pixel (x, y) written to out's pixel origin + (x, y); rows that
    // would fall outside out are left out, and nothing is written when a
    // row does not fit across. source must be RGB32 of the planned size,
    // out of a format the scaler writes into (writesInto()). out's pixels are written in place, without detaching
    // it: out may be a painter's own device.
    void scaleRows(const QImage& source, int first, int end, QImage& out, QPoint origin) const;

    // Whether this processor can run the scaler at all.
    static bool available();

    // Whether scaleRows() may write into an image of the format: the scaled
    // pixels are opaque, and an opaque pixel is the same 32 bits in RGB32,
    // ARGB32 and ARGB32_Premultiplied.
    static bool writesInto(QImage::Format format);

    // Copies rect of an RGBA8888 (or RGBX8888) source to the same place in
    // an RGB32 out of the same size, opaque, in one pass with the same
    // instructions; false, with nothing copied, for other formats or sizes
    // and where the scaler is not available (the painter then converts).
    static bool copyRgba(const QImage& source, const QRect& rect, QImage& out);

private:
    // Where a target pixel samples along one axis: the two source pixels
    // and the weight (0-256) of the second.
    struct Samples {
        std::vector<int> low;
        std::vector<int> high;
        std::vector<int> weight;
    };
    // Eight neighbouring target pixels of a row: their left source pixels
    // as offsets from `base` (for an 8-pixel permute; the right ones are the
    // next pixels, the same offsets from base + 1), and their weights in the
    // lane order of the unpacked 16-bit halves.
    struct alignas(32) Group {
        qint32 left[8];
        qint16 weightLow[16];
        qint16 inverseLow[16];
        qint16 weightHigh[16];
        qint16 inverseHigh[16];
        int base = 0;
    };

    void scaleRowsAvx2(const QImage& source, int first, int end, QImage& out, QPoint origin) const;

    bool m_ready = false;
    QSize m_source;
    QSize m_target;
    Samples m_columns;
    Samples m_rows;
    std::vector<Group> m_groups;          // the row's leading whole groups
    mutable std::vector<quint32> m_blend; // one source row blend, reused
};

} // namespace VNC
