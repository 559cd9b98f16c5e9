#include "tarnwick/vnc/vnchextiledecoder.h"

#include "tarnwick/vnc/vncconstants.h"
#include "tarnwick/vnc/vncexception.h"
#include "tarnwick/vnc/vncframedraw.h"
#include "tarnwick/vnc/vncinputbuffer.h"
#include "tarnwick/vnc/vncpixelformat.h"

#include <QDebug>
#include <QImage>

#include <algorithm>
#include <climits>
#include <cstring>

namespace VNC {

namespace {

using namespace Constants;

const char kTileReadFailed[] = "read image frame buffer failed!";
const char kCountReadFailed[] = "read subrectData failed!";
const char kSubrectsReadFailed[] = "read subRectStruct failed!";

// Where a tile's bytes end, or how many are needed to know more.
struct TileExtent {
    qint64 length;       // the whole tile, or the bytes needed to go on
    const char* failure; // what is missing when the bytes cannot be had
    bool whole;          // length bytes are held: the tile is complete
};

TileExtent tileExtent(const uchar* p, qint64 held, int tw, int th, int bpp)
{
    if (held < 1)
        return {1, kTileReadFailed, false};
    const quint8 subencoding = p[0];
    if (subencoding & kHextileRaw) {
        const qint64 length = 1 + qint64(tw) * th * bpp;
        return {length, kTileReadFailed, held >= length};
    }
    const qint64 colours = 1 + ((subencoding & kHextileBackgroundSpecified) ? bpp : 0)
                           + ((subencoding & kHextileForegroundSpecified) ? bpp : 0);
    if (!(subencoding & kHextileAnySubrects))
        return {colours, kTileReadFailed, held >= colours};
    if (held < colours + 1)
        return {colours + 1, held < colours ? kTileReadFailed : kCountReadFailed, false};
    // A count of 0 means no subrectangles: nothing more to read.
    const int each = (subencoding & kHextileSubrectsColoured) ? bpp + 2 : 2;
    const qint64 length = colours + 1 + qint64(p[colours]) * each;
    return {length, kSubrectsReadFailed, held >= length};
}

// Draws straight into the target's frame buffer, locked for a batch of
// tiles; without a target, or outside its image and the frame, nothing.
class FrameSink {
public:
    FrameSink(VncFrameTarget* target, const VncPixelFormat& format, const QSize& frame)
        : m_target(target)
        , m_format(format)
        , m_bytesPerPixel(format.bitsPerPixel() / 8)
        , m_frame(frame)
    {
    }

    void begin()
    {
        m_drawn = kNothingDrawn;
        QImage* image = m_target ? m_target->beginDraw() : nullptr;
        m_view = image ? FrameView(*image) : FrameView();
        if (m_frame.isValid()) {
            m_view.width = std::min(m_view.width, m_frame.width());
            m_view.height = std::min(m_view.height, m_frame.height());
        }
    }
    void end()
    {
        if (m_target)
            m_target->endDraw(m_drawn.empty()
                                  ? QRect()
                                  : QRect(m_drawn.x0, m_drawn.y0, m_drawn.x1 - m_drawn.x0, m_drawn.y1 - m_drawn.y0));
    }

    // A pixel of the format as an RGBA8888 word. Tiles repeat their
    // colours: the last one is kept converted.
    quint32 colour(const uchar* pixel)
    {
        quint32 key = pixel[0];
        if (m_bytesPerPixel > 1)
            key |= quint32(pixel[1]) << 8;
        if (m_bytesPerPixel > 2)
            key |= quint32(pixel[2]) << 16;
        if (!m_cached || key != m_cachedKey) {
            m_cachedKey = key;
            m_format.convertPixels(pixel, &m_cachedRgba, 1);
            m_cached = true;
        }
        return m_cachedRgba;
    }

    void fill(const uchar* pixel, int x, int y, int w, int h) { fill(colour(pixel), x, y, w, h); }

    void fill(quint32 rgba, int x, int y, int w, int h)
    {
        const FrameClip c = m_view.clip(x, y, w, h);
        if (c.empty())
            return;
        for (int row = c.y0; row < c.y1; ++row) {
            quint32* line = m_view.line(row);
            std::fill(line + c.x0, line + c.x1, rgba);
        }
        note(c);
    }

    // The count subrectangles of the tile at (tx, ty) that p holds: each a
    // pixel of its own (without a foreground) and its x-y and w-h nibbles.
    // A subrectangle may reach 15 pixels past its tile; a tile that far
    // inside the frame buffer has them drawn without clipping each, the
    // usual case and the one most of the decoding time goes to.
    void subrects(const uchar* p, int count, const uchar* foreground, int tx, int ty)
    {
        const int reach = kHextileTileSize + 15;
        const bool inside = tx >= 0 && ty >= 0 && tx + reach <= m_view.width && ty + reach <= m_view.height;
        const quint32 plain = foreground ? colour(foreground) : 0;
        int right = tx;
        int bottom = ty;
        for (int i = 0; i < count; ++i) {
            quint32 rgba = plain;
            if (!foreground) {
                rgba = colour(p);
                p += m_bytesPerPixel;
            }
            const int x = tx + (p[0] >> 4);
            const int y = ty + (p[0] & 15);
            const int w = (p[1] >> 4) + 1;
            const int h = (p[1] & 15) + 1;
            p += 2;
            if (!inside) {
                fill(rgba, x, y, w, h);
                continue;
            }
            quint32* line = m_view.line(y) + x;
            if (w == 1 && h == 1) {
                *line = rgba;
            } else {
                for (int row = 0; row < h; ++row, line += m_view.stride / 4)
                    std::fill(line, line + w, rgba);
            }
            right = std::max(right, x + w);
            bottom = std::max(bottom, y + h);
        }
        if (inside && count > 0)
            note({tx, ty, right, bottom});
    }

    void pixels(const uchar* data, int x, int y, int w, int h)
    {
        const FrameClip c = m_view.clip(x, y, w, h);
        if (c.empty())
            return;
        for (int row = c.y0; row < c.y1; ++row) {
            const uchar* source = data + (qint64(row - y) * w + (c.x0 - x)) * m_bytesPerPixel;
            m_format.convertPixels(source, m_view.line(row) + c.x0, c.x1 - c.x0);
        }
        note(c);
    }

private:
    // Nothing drawn yet: every part drawn widens it.
    static constexpr FrameClip kNothingDrawn{INT_MAX, INT_MAX, INT_MIN, INT_MIN};

    // Grows the bounds of what the batch drew by a drawn part.
    void note(const FrameClip& c)
    {
        m_drawn.x0 = std::min(m_drawn.x0, c.x0);
        m_drawn.y0 = std::min(m_drawn.y0, c.y0);
        m_drawn.x1 = std::max(m_drawn.x1, c.x1);
        m_drawn.y1 = std::max(m_drawn.y1, c.y1);
    }

    VncFrameTarget* m_target;
    const VncPixelFormat& m_format;
    int m_bytesPerPixel;
    QSize m_frame;
    FrameView m_view;
    bool m_cached = false;
    quint32 m_cachedKey = 0;
    quint32 m_cachedRgba = 0;
    FrameClip m_drawn = kNothingDrawn;
};

// Ends a batch of drawing also when a sink call throws.
class Batch {
public:
    explicit Batch(FrameSink& sink)
        : m_sink(sink)
    {
        m_sink.begin();
    }
    ~Batch() { m_sink.end(); }
    Batch(const Batch&) = delete;
    Batch& operator=(const Batch&) = delete;

private:
    FrameSink& m_sink;
};

// Draws one whole tile and returns where it ends; tileExtent has made sure
// every byte read here is held.
const uchar* drawTile(const uchar* p, int bpp, int tx, int ty, int tw, int th, VncHextileDecoder::Colours& colours,
                      FrameSink& sink)
{
    const quint8 subencoding = *p++;
    if (subencoding & kHextileRaw) {
        sink.pixels(p, tx, ty, tw, th);
        return p + qint64(tw) * th * bpp;
    }
    if (subencoding & kHextileBackgroundSpecified) {
        std::memcpy(colours.background, p, size_t(bpp));
        p += bpp;
    }
    if (subencoding & kHextileForegroundSpecified) {
        std::memcpy(colours.foreground, p, size_t(bpp));
        colours.foregroundGiven = true;
        p += bpp;
    }
    sink.fill(colours.background, tx, ty, tw, th);
    if (!(subencoding & kHextileAnySubrects))
        return p;
    const int count = *p++;
    const bool coloured = subencoding & kHextileSubrectsColoured;
    if (!coloured && !colours.foregroundGiven) {
        // The bytes are consumed all the same, so the next tile starts in
        // the right place.
        qDebug() << "fg color is incrrect!";
        return p + count * 2;
    }
    // Not clipped to the tile: a subrectangle may reach past it. The sink
    // keeps it inside the frame buffer.
    sink.subrects(p, count, coloured ? nullptr : colours.foreground, tx, ty);
    return p + count * (coloured ? bpp + 2 : 2);
}

} // namespace

VncHextileDecoder::VncHextileDecoder(const VncPixelFormat& format)
    : m_format(format)
{
}

bool VncHextileDecoder::decodeRect(VncInputBuffer& in, const VncRectHeader& rect, VncFrameTarget* target,
                                   const QSize& frame)
{
    if (!m_inRect) {
        m_inRect = true;
        m_tileX = rect.x;
        m_tileY = rect.y;
        m_colours = Colours();
    }
    FrameSink sink(target, m_format, frame);
    const int bpp = m_format.bitsPerPixel() / 8;
    const int right = rect.x + rect.width;
    const int bottom = rect.y + rect.height;
    while (m_tileY < bottom) {
        const int th = std::min(kHextileTileSize, bottom - m_tileY);
        while (m_tileX < right) {
            // The whole tiles of this row that are held already.
            const qint64 held = in.held();
            const uchar* p = in.data();
            qint64 used = 0;
            int x = m_tileX;
            TileExtent next{0, kTileReadFailed, true};
            while (x < right) {
                next = tileExtent(p + used, held - used, std::min(kHextileTileSize, right - x), th, bpp);
                if (!next.whole)
                    break;
                used += next.length;
                x += kHextileTileSize;
            }
            if (used == 0) {
                // Not one whole tile: take what has arrived meanwhile, and
                // go on with the tile once the rest of it is here.
                if (in.ensure(next.length))
                    continue;
                if (in.failed()) {
                    m_inRect = false;
                    failStep("FrameBufferUpdate", next.failure, next.failure);
                }
                return false;
            }
            {
                Batch batch(sink);
                const uchar* tile = p;
                for (int drawX = m_tileX; drawX < x; drawX += kHextileTileSize)
                    tile = drawTile(tile, bpp, drawX, m_tileY, std::min(kHextileTileSize, right - drawX), th, m_colours,
                                    sink);
            }
            in.consume(used);
            m_tileX = x;
        }
        m_tileY += kHextileTileSize;
        m_tileX = rect.x;
    }
    m_inRect = false;
    return true;
}

} // namespace VNC
