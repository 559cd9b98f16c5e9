#pragma once

// Hextile encoding of a picture for a client's pixel format, as a server
// would send it: raw tiles, background and foreground with plain or coloured
// subrectangles, colours reused from the previous tile.

#include <QByteArray>
#include <QImage>
#include <QRect>

namespace FakeRfb {

// The true-colour pixel format a client asked for with SetPixelFormat.
struct PixelFormat {
    int bitsPerPixel = 32;
    int depth = 24;
    bool bigEndian = false;
    int redMax = 255, greenMax = 255, blueMax = 255;
    int redShift = 16, greenShift = 8, blueShift = 0;

    // The 16-byte PIXEL_FORMAT record.
    QByteArray toBytes() const;
    static PixelFormat fromBytes(const QByteArray& sixteen);
    // The viewer's three qualities.
    static PixelFormat low();
    static PixelFormat middle();
    static PixelFormat high();
};

struct HextileOptions {
    enum Style {
        Auto,          // the smaller of raw and subrectangles per tile
        Raw,           // every tile raw
        Subrects,      // background and row runs of other colours
        PixelSubrects, // background from the top-left pixel, one 1x1 subrectangle per other pixel
    };
    Style style = Auto;
    bool reuseColours = true;       // omit background and foreground equal to the previous ones
    bool emptySubrectCount = false; // single-colour tiles announce subrectangles with a count of 0
};

class HextileEncoder {
public:
    // The pixel value of an RGB colour, channels truncated to the format.
    static quint32 pixelValue(QRgb colour, const PixelFormat& format);
    static QByteArray pixelBytes(quint32 value, const PixelFormat& format);
    static void appendPixel(QByteArray& out, quint32 value, const PixelFormat& format);
    // What a client of that format shows for the picture: every channel cut
    // to the format's bits (low bits zero), opaque.
    static QImage truncated(const QImage& picture, const PixelFormat& format);
    static QRgb truncated(QRgb colour, const PixelFormat& format);
    // The Hextile data of one rectangle of the picture (no rectangle header).
    static QByteArray encodeRect(const QImage& picture, const QRect& rect, const PixelFormat& format,
                                 const HextileOptions& options = HextileOptions());
    // A rectangle header: x, y, width, height, encoding.
    static QByteArray rectHeader(const QRect& rect, qint32 encoding = 5);
    // A Hextile rectangle (with its header) whose first tile is a background
    // and one subrectangle, of the foreground or of its own colour, packed as
    // the bytes xy (offsets) and wh (sizes less one); as a server that lies
    // may send it, the subrectangle can reach past the tile. The rectangle
    // should be one tile.
    static QByteArray oneSubrectTile(const QRect& rect, const PixelFormat& format, QRgb background, QRgb colour,
                                     bool coloured, quint8 xy, quint8 wh);
    // Where that subrectangle lies.
    static QRect subrectArea(const QRect& rect, quint8 xy, quint8 wh);
};

} // namespace FakeRfb
