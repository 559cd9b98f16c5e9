// Hextile decoding of VncPixelFormat. Reading is separate from drawing: a tile's
// bytes are gathered whole first (any read failure raises, so the stream never
// loses its place), then drawn from those bytes alone.

#include "tarnwick/vnc/vncpixelformat.h"

#include "tarnwick/vnc/vncconstants.h"
#include "tarnwick/vnc/vncexception.h"
#include "tarnwick/vnc/vncframedraw.h"

#include <QDebug>
#include <QImage>

#include <algorithm>
#include <cstring>

namespace VNC {

namespace {

using namespace Constants;

[[noreturn]] void readFailed(const char* text)
{
    qDebug() << text;
    throw VncProException("FrameBufferUpdate", text);
}

// Background and foreground of the rectangle, as raw pixels of the format.
// A background never given is black (all zero in every format).
struct TileColours
{
    uchar background[4] = {};
    uchar foreground[4] = {};
    bool foregroundGiven = false;
};

// Draws straight into the locked frame buffer.
class DirectSink
{
public:
    DirectSink(QImage& image, const VncPixelFormat& format, int bytesPerPixel)
        : m_image(image)
        , m_view(image)
        , m_format(format)
        , m_bytesPerPixel(size_t(bytesPerPixel))
    {
    }
    void fill(const uchar* pixel, int x, int y, int w, int h)
    {
        // Plain subrectangles repeat one colour: convert it once.
        if (!m_cached || std::memcmp(pixel, m_cachedPixel, m_bytesPerPixel) != 0) {
            std::memcpy(m_cachedPixel, pixel, m_bytesPerPixel);
            m_format.convertPixels(pixel, &m_cachedRgba, 1);
            m_cached = true;
        }
        m_view.fill(x, y, w, h, m_cachedRgba);
    }
    void pixels(const uchar* data, int x, int y, int w, int h)
    {
        quint32 rgba[kHextileTileSize * kHextileTileSize];
        m_format.convertPixels(data, rgba, w * h);
        putPixelsClipped(m_image, x, y, w, h, rgba);
    }

private:
    QImage& m_image;
    FrameView m_view;
    const VncPixelFormat& m_format;
    size_t m_bytesPerPixel;
    bool m_cached = false;
    uchar m_cachedPixel[4] = {};
    quint32 m_cachedRgba = 0;
};

// One image per fill and raw tile, through the frame callback.
class ImageSink
{
public:
    ImageSink(VncPixelFormat& format, int bytesPerPixel)
        : m_format(format)
        , m_bytesPerPixel(bytesPerPixel)
    {
    }
    void fill(const uchar* pixel, int x, int y, int w, int h)
    {
        m_format.imageFromColour(QByteArray(reinterpret_cast<const char*>(pixel), m_bytesPerPixel), x, y, w, h);
    }
    void pixels(const uchar* data, int x, int y, int w, int h)
    {
        m_format.imageFromPixels(QByteArray(reinterpret_cast<const char*>(data), w * h * m_bytesPerPixel), x, y, w, h);
    }

private:
    VncPixelFormat& m_format;
    int m_bytesPerPixel;
};

// Draws one tile from its gathered bytes; readTile has made sure every byte
// read here is present.
template <typename Sink>
void drawTile(const uchar* p, int bpp, int tx, int ty, int tw, int th, TileColours& colours, Sink& sink)
{
    const quint8 subencoding = *p++;
    if (subencoding & kHextileRaw) {
        sink.pixels(p, tx, ty, tw, th);
        return;
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
        return;
    const int count = *p++;
    const bool coloured = subencoding & kHextileSubrectsColoured;
    if (!coloured && !colours.foregroundGiven) {
        // The bytes are consumed all the same, so the next tile starts in
        // the right place.
        qDebug() << "fg color is incrrect!";
        return;
    }
    for (int i = 0; i < count; ++i) {
        const uchar* pixel = colours.foreground;
        if (coloured) {
            pixel = p;
            p += bpp;
        }
        const int xy = p[0];
        const int wh = p[1];
        p += 2;
        // Not clipped to the tile: a subrectangle may reach past it.
        sink.fill(pixel, tx + (xy >> 4), ty + (xy & 15), (wh >> 4) + 1, (wh & 15) + 1);
    }
}

// Locks the target for one tile.
class TargetLock
{
public:
    explicit TargetLock(VncFrameTarget* target)
        : m_target(target)
        , m_image(target->beginDraw())
    {
    }
    ~TargetLock() { m_target->endDraw(); }
    QImage* image() const { return m_image; }

private:
    VncFrameTarget* m_target;
    QImage* m_image;
};

} // namespace

void VncPixelFormat::readTile(int tw, int th, QByteArray& tile, QByteArray& part)
{
    const int bpp = m_bitsPerPixel / 8;
    tile.clear();
    if (!readFunction(1, part))
        readFailed("read image frame buffer failed!");
    tile.append(part);
    const quint8 subencoding = quint8(part[0]);
    if (subencoding & kHextileRaw) {
        if (!readFunction(unsigned(tw * th * bpp), part))
            readFailed("read image frame buffer failed!");
        tile.append(part);
        return;
    }
    const int colourBytes = ((subencoding & kHextileBackgroundSpecified) ? bpp : 0)
                            + ((subencoding & kHextileForegroundSpecified) ? bpp : 0);
    if (colourBytes > 0) {
        if (!readFunction(unsigned(colourBytes), part))
            readFailed("read image frame buffer failed!");
        tile.append(part);
    }
    if (!(subencoding & kHextileAnySubrects))
        return;
    if (!readFunction(1, part))
        readFailed("read subrectData failed!");
    tile.append(part);
    const int count = quint8(part[0]);
    // A count of 0 means no subrectangles, nothing more to read.
    if (count == 0)
        return;
    const int each = (subencoding & kHextileSubrectsColoured) ? bpp + 2 : 2;
    if (!readFunction(unsigned(count * each), part))
        readFailed("read subRectStruct failed!");
    tile.append(part);
}

void VncPixelFormat::decodeHextile(const VncRectHeader& rect)
{
    const int bpp = m_bitsPerPixel / 8;
    TileColours colours;
    QByteArray tile;
    QByteArray part;
    tile.reserve(1 + kHextileTileSize * kHextileTileSize * 4);
    const int right = rect.x + rect.width;
    const int bottom = rect.y + rect.height;
    for (int ty = rect.y; ty < bottom; ty += kHextileTileSize) {
        const int th = std::min(kHextileTileSize, bottom - ty);
        for (int tx = rect.x; tx < right; tx += kHextileTileSize) {
            const int tw = std::min(kHextileTileSize, right - tx);
            readTile(tw, th, tile, part);
            const uchar* bytes = reinterpret_cast<const uchar*>(tile.constData());
            if (m_frameTarget) {
                TargetLock lock(m_frameTarget);
                if (lock.image()) {
                    DirectSink sink(*lock.image(), *this, bpp);
                    drawTile(bytes, bpp, tx, ty, tw, th, colours, sink);
                }
            } else {
                ImageSink sink(*this, bpp);
                drawTile(bytes, bpp, tx, ty, tw, th, colours, sink);
            }
        }
    }
}

void VncPixelFormat::decodeRect(const VncRectHeader& rect, bool last)
{
    decodeHextile(rect);
    if (last)
        frameCallback(nullptr, 0, 0, true);
}

} // namespace VNC
