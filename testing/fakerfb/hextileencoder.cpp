#include "testing/fakerfb/hextileencoder.h"

#include <QHash>

#include <algorithm>
#include <optional>
#include <vector>

namespace FakeRfb {

namespace {

int bitsOf(int max)
{
    int bits = 0;
    while (max > 0) {
        ++bits;
        max >>= 1;
    }
    return bits;
}

int truncateChannel(int value, int max)
{
    const int bits = bitsOf(max);
    return bits >= 8 ? value : (value >> (8 - bits)) << (8 - bits);
}

void put16(QByteArray& out, int v)
{
    out.append(char((v >> 8) & 0xFF));
    out.append(char(v & 0xFF));
}

} // namespace

QByteArray PixelFormat::toBytes() const
{
    QByteArray b;
    b.append(char(bitsPerPixel));
    b.append(char(depth));
    b.append(char(bigEndian ? 1 : 0));
    b.append(char(1));
    put16(b, redMax);
    put16(b, greenMax);
    put16(b, blueMax);
    b.append(char(redShift));
    b.append(char(greenShift));
    b.append(char(blueShift));
    b.append(QByteArray(3, '\0'));
    return b;
}

PixelFormat PixelFormat::fromBytes(const QByteArray& b)
{
    PixelFormat f;
    if (b.size() < 16)
        return f;
    auto u16 = [&b](int at) { return (quint8(b[at]) << 8) | quint8(b[at + 1]); };
    f.bitsPerPixel = quint8(b[0]);
    f.depth = quint8(b[1]);
    f.bigEndian = b[2] != 0;
    f.redMax = u16(4);
    f.greenMax = u16(6);
    f.blueMax = u16(8);
    f.redShift = quint8(b[10]);
    f.greenShift = quint8(b[11]);
    f.blueShift = quint8(b[12]);
    return f;
}

PixelFormat PixelFormat::low()
{
    PixelFormat f;
    f.bitsPerPixel = 8;
    f.depth = 8;
    f.redMax = 3;
    f.greenMax = 7;
    f.blueMax = 7;
    f.redShift = 6;
    f.greenShift = 3;
    f.blueShift = 0;
    return f;
}

PixelFormat PixelFormat::middle()
{
    PixelFormat f;
    f.bitsPerPixel = 16;
    f.depth = 16;
    f.redMax = 31;
    f.greenMax = 63;
    f.blueMax = 31;
    f.redShift = 11;
    f.greenShift = 5;
    f.blueShift = 0;
    return f;
}

PixelFormat PixelFormat::high()
{
    PixelFormat f;
    f.bitsPerPixel = 24;
    f.depth = 24;
    return f;
}

quint32 HextileEncoder::pixelValue(QRgb colour, const PixelFormat& f)
{
    const quint32 r = quint32(qRed(colour)) >> (8 - std::min(8, bitsOf(f.redMax)));
    const quint32 g = quint32(qGreen(colour)) >> (8 - std::min(8, bitsOf(f.greenMax)));
    const quint32 b = quint32(qBlue(colour)) >> (8 - std::min(8, bitsOf(f.blueMax)));
    return (r << f.redShift) | (g << f.greenShift) | (b << f.blueShift);
}

QByteArray HextileEncoder::pixelBytes(quint32 value, const PixelFormat& f)
{
    QByteArray out;
    appendPixel(out, value, f);
    return out;
}

void HextileEncoder::appendPixel(QByteArray& out, quint32 value, const PixelFormat& f)
{
    const int n = f.bitsPerPixel / 8;
    for (int i = 0; i < n; ++i) {
        const int shift = 8 * (f.bigEndian ? n - 1 - i : i);
        out.append(char((value >> shift) & 0xFF));
    }
}

QImage HextileEncoder::truncated(const QImage& picture, const PixelFormat& f)
{
    QImage out = picture.convertToFormat(QImage::Format_RGBA8888);
    for (int y = 0; y < out.height(); ++y) {
        for (int x = 0; x < out.width(); ++x) {
            out.setPixel(x, y, truncated(out.pixel(x, y), f));
        }
    }
    return out;
}

QRgb HextileEncoder::truncated(QRgb c, const PixelFormat& f)
{
    return qRgb(truncateChannel(qRed(c), f.redMax), truncateChannel(qGreen(c), f.greenMax),
                truncateChannel(qBlue(c), f.blueMax));
}

QByteArray HextileEncoder::oneSubrectTile(const QRect& rect, const PixelFormat& f, QRgb background, QRgb colour,
                                          bool coloured, quint8 xy, quint8 wh)
{
    enum : quint8 { Background = 2, Foreground = 4, AnySubrects = 8, Coloured = 16 };
    QByteArray out = rectHeader(rect);
    out.append(char(coloured ? (Background | AnySubrects | Coloured) : (Background | Foreground | AnySubrects)));
    out.append(pixelBytes(pixelValue(background, f), f));
    if (!coloured)
        out.append(pixelBytes(pixelValue(colour, f), f));
    out.append(char(1));
    if (coloured)
        out.append(pixelBytes(pixelValue(colour, f), f));
    out.append(char(xy));
    out.append(char(wh));
    return out;
}

QRect HextileEncoder::subrectArea(const QRect& rect, quint8 xy, quint8 wh)
{
    return QRect(rect.x() + (xy >> 4), rect.y() + (xy & 15), (wh >> 4) + 1, (wh & 15) + 1);
}

QByteArray HextileEncoder::rectHeader(const QRect& r, qint32 encoding)
{
    QByteArray out;
    put16(out, r.x());
    put16(out, r.y());
    put16(out, r.width());
    put16(out, r.height());
    out.append(char((encoding >> 24) & 0xFF));
    out.append(char((encoding >> 16) & 0xFF));
    out.append(char((encoding >> 8) & 0xFF));
    out.append(char(encoding & 0xFF));
    return out;
}

QByteArray HextileEncoder::encodeRect(const QImage& picture, const QRect& rect, const PixelFormat& f,
                                      const HextileOptions& options)
{
    enum : quint8 { Raw = 1, Background = 2, Foreground = 4, AnySubrects = 8, Coloured = 16 };
    struct Subrect {
        quint32 colour;
        int x, y, w, h;
    };
    std::optional<quint32> lastBackground;
    std::optional<quint32> lastForeground;
    QByteArray out;
    for (int ty = rect.y(); ty < rect.y() + rect.height(); ty += 16) {
        const int th = std::min(16, rect.y() + rect.height() - ty);
        for (int tx = rect.x(); tx < rect.x() + rect.width(); tx += 16) {
            const int tw = std::min(16, rect.x() + rect.width() - tx);
            std::vector<quint32> pixels(size_t(tw * th));
            for (int y = 0; y < th; ++y)
                for (int x = 0; x < tw; ++x)
                    pixels[size_t(y * tw + x)] = pixelValue(picture.pixel(tx + x, ty + y), f);

            // Built only where it is sent: a large picture has millions of
            // pixels, and most of its tiles are of one colour.
            auto appendRaw = [&out, &pixels, &f] {
                out.reserve(out.size() + 1 + int(pixels.size()) * (f.bitsPerPixel / 8));
                out.append(char(Raw));
                for (quint32 p : pixels)
                    appendPixel(out, p, f);
            };
            const int rawSize = 1 + int(pixels.size()) * (f.bitsPerPixel / 8);
            if (options.style == HextileOptions::Raw) {
                appendRaw();
                continue;
            }

            quint32 background = pixels[0];
            const bool oneColour = std::all_of(pixels.begin(), pixels.end(),
                                               [&pixels](quint32 p) { return p == pixels[0]; });
            if (options.style != HextileOptions::PixelSubrects && !oneColour) {
                QHash<quint32, int> counts;
                int best = 0;
                for (quint32 p : pixels) {
                    const int c = ++counts[p];
                    if (c > best) {
                        best = c;
                        background = p;
                    }
                }
            }
            std::vector<Subrect> subrects;
            for (int y = 0; y < th; ++y) {
                int x = 0;
                while (x < tw) {
                    const quint32 p = pixels[size_t(y * tw + x)];
                    if (p == background) {
                        ++x;
                        continue;
                    }
                    int run = 1;
                    if (options.style != HextileOptions::PixelSubrects) {
                        while (x + run < tw && pixels[size_t(y * tw + x + run)] == p)
                            ++run;
                    }
                    subrects.push_back({p, x, y, run, 1});
                    x += run;
                }
            }
            bool plain = true;
            for (const Subrect& s : subrects)
                plain = plain && s.colour == subrects.front().colour;

            quint8 subencoding = 0;
            QByteArray body;
            if (!options.reuseColours || !lastBackground || *lastBackground != background) {
                subencoding |= Background;
                body.append(pixelBytes(background, f));
            }
            if (!subrects.empty()) {
                subencoding |= AnySubrects;
                if (plain) {
                    if (!options.reuseColours || !lastForeground || *lastForeground != subrects.front().colour) {
                        subencoding |= Foreground;
                        body.append(pixelBytes(subrects.front().colour, f));
                    }
                } else {
                    subencoding |= Coloured;
                }
                body.append(char(subrects.size() & 0xFF));
                for (const Subrect& s : subrects) {
                    if (!plain)
                        body.append(pixelBytes(s.colour, f));
                    body.append(char((s.x << 4) | s.y));
                    body.append(char(((s.w - 1) << 4) | (s.h - 1)));
                }
            } else if (options.emptySubrectCount) {
                subencoding |= AnySubrects;
                body.append(char(0));
            }
            const bool tooMany = subrects.size() > 255;
            const bool rawIsSmaller = options.style == HextileOptions::Auto && rawSize <= body.size() + 1;
            if (tooMany || rawIsSmaller) {
                appendRaw();
                continue;
            }
            out.append(char(subencoding));
            out.append(body);
            lastBackground = background;
            if (subencoding & Foreground)
                lastForeground = subrects.front().colour;
        }
    }
    return out;
}

} // namespace FakeRfb
