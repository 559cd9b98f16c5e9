// The Hextile decoder fed from recorded bytes (the fake server's encoder),
// drawing into a plain image, at all three qualities.

#include "tarnwick/vnc/vncpixelformat.h"

#include "tarnwick/vnc/vncexception.h"
#include "tarnwick/vnc/vncinputbuffer.h"
#include "testing/fakerfb/hextileencoder.h"
#include "testing/main/eventwait.h"

#include <gtest/gtest.h>

#include <QElapsedTimer>
#include <QImage>
#include <QPainter>
#include <QRandomGenerator>

#include <cstring>

using namespace VNC;
using FakeRfb::HextileEncoder;
using FakeRfb::HextileOptions;
using FakeRfb::PixelFormat;
using TestWait::waitUntil;

namespace {

// A frame buffer without a lock.
// A frame buffer that checks what each batch of drawing reports: every pixel
// it changed lies inside the rectangle it names, which lies inside the image
// (a viewer repaints only that rectangle; a pixel left out would stay stale).
class ImageTarget : public VncFrameTarget {
public:
    explicit ImageTarget(QSize size)
        : image(size, QImage::Format_RGBA8888)
    {
        image.fill(qRgb(1, 2, 3));
    }
    QImage* beginDraw() override
    {
        before = image.copy();
        return &image;
    }
    void endDraw(const QRect& drawn) override
    {
        ++batches;
        if (!drawn.isEmpty()) {
            EXPECT_TRUE(image.rect().contains(drawn)) << "drawn beyond the image";
        }
        for (int y = 0; y < image.height(); ++y)
            for (int x = 0; x < image.width(); ++x)
                if (image.pixel(x, y) != before.pixel(x, y) && !drawn.contains(x, y)) {
                    ADD_FAILURE() << "pixel " << x << "," << y << " changed outside the drawn rectangle";
                    return;
                }
    }
    QImage image;
    QImage before;
    int batches = 0;
};

// Recorded bytes served as the socket would serve them: those that have
// arrived (all, unless told otherwise), and the end of the stream after the
// last one unless more are still to come.
struct Recording {
    QByteArray bytes;
    int position = 0;
    int arrived = -1;
    bool more = false;

    VncInputBuffer::Source source()
    {
        return [this](char* to, qint64 max) -> qint64 {
            const int end = arrived < 0 ? bytes.size() : arrived;
            const qint64 n = std::min<qint64>(max, end - position);
            if (n == 0 && end == bytes.size() && !more)
                return -1;
            std::memcpy(to, bytes.constData() + position, size_t(n));
            position += int(n);
            return n;
        };
    }
};

// The connection's read-ahead, so that a fill may hold several tiles.
constexpr qint64 kReadAhead = 4096;

struct Quality {
    VncImageQuality quality;
    PixelFormat format;
    const char* name;
};

const Quality kQualities[] = {
    {LowQuality, PixelFormat::low(), "low"},
    {MiddleQuality, PixelFormat::middle(), "middle"},
    {HighQuality, PixelFormat::high(), "high"},
};

VncRectHeader headerOf(const QRect& rect)
{
    VncRectHeader header;
    header.x = quint16(rect.x());
    header.y = quint16(rect.y());
    header.width = quint16(rect.width());
    header.height = quint16(rect.height());
    header.encoding = 5;
    return header;
}

// Decodes rects of the picture (each encoded with the options) into a target.
QImage decode(const QImage& picture, const QList<QRect>& rects, const Quality& q, const HextileOptions& options,
              int* doneCalls = nullptr)
{
    Recording recording;
    for (const QRect& r : rects)
        recording.bytes += HextileEncoder::encodeRect(picture, r, q.format, options);
    VncInputBuffer input(recording.source(), kReadAhead);
    ImageTarget target(picture.size());
    int done = 0;
    auto pixelFormat = VncPixelFormat::create(q.quality, [&] { ++done; });
    pixelFormat->setInput(&input);
    pixelFormat->setFrameTarget(&target);
    for (int i = 0; i < rects.size(); ++i)
        EXPECT_TRUE(pixelFormat->decodeRect(headerOf(rects[i]), i == rects.size() - 1)) << "rectangle " << i;
    EXPECT_EQ(input.consumedTotal(), quint64(recording.bytes.size())) << "bytes left unread";
    if (doneCalls)
        *doneCalls = done;
    return target.image;
}

QImage testPicture(QSize size, int seed)
{
    QImage picture(size, QImage::Format_RGB32);
    picture.fill(qRgb(20, 40, 200));
    QPainter painter(&picture);
    painter.fillRect(QRect(3, 2, size.width() / 2, size.height() / 3), qRgb(250, 250, 10));
    painter.fillRect(QRect(size.width() / 3, size.height() / 2, 7, 9), qRgb(200, 30, 90));
    QRandomGenerator random{quint32(seed)};
    for (int i = 0; i < size.width() * size.height() / 20; ++i)
        picture.setPixel(random.bounded(size.width()), random.bounded(size.height()),
                         qRgb(random.bounded(256), random.bounded(256), random.bounded(256)));
    painter.end();
    return picture;
}

void expectSame(const QImage& decoded, const QImage& picture, const PixelFormat& format)
{
    const QImage expected = HextileEncoder::truncated(picture, format);
    ASSERT_EQ(decoded.size(), expected.size());
    for (int y = 0; y < expected.height(); ++y)
        for (int x = 0; x < expected.width(); ++x)
            ASSERT_EQ(QColor(decoded.pixel(x, y)).name(), QColor(expected.pixel(x, y)).name()) << x << "," << y;
}

} // namespace

TEST(VncPixelFormat, MessagesAndConversions)
{
    auto low = VncPixelFormat::create(LowQuality, {});
    auto middle = VncPixelFormat::create(MiddleQuality, {});
    auto high = VncPixelFormat::create(HighQuality, {});
    auto other = VncPixelFormat::create(7, {});
    EXPECT_EQ(low->pixelFormatMessage().toHex(), "0000000008080001000300070007060300000000");
    EXPECT_EQ(middle->pixelFormatMessage().toHex(), "0000000010100001001f003f001f0b0500000000");
    EXPECT_EQ(high->pixelFormatMessage().toHex(), "000000001818000100ff00ff00ff100800000000");
    EXPECT_EQ(other->bitsPerPixel(), 24);

    auto bytesOf = [](quint32 word) { return QByteArray(reinterpret_cast<const char*>(&word), 4).toHex(); };
    quint32 out;
    const uchar lowWhite = 0xFF;
    low->convertPixels(&lowWhite, &out, 1);
    EXPECT_EQ(bytesOf(out), "c0e0e0ff");
    const uchar middleWhite[2] = {0xFF, 0xFF};
    middle->convertPixels(middleWhite, &out, 1);
    EXPECT_EQ(bytesOf(out), "f8fcf8ff");
    // Pure green and pure blue of the 5-6-5 format, low byte first.
    const uchar middleGreenBlue[4] = {0xe0, 0x07, 0x1f, 0x00};
    quint32 two[2];
    middle->convertPixels(middleGreenBlue, two, 2);
    EXPECT_EQ(bytesOf(two[0]), "00fc00ff");
    EXPECT_EQ(bytesOf(two[1]), "0000f8ff");
    const uchar highBytes[3] = {0x11, 0x22, 0x33};
    high->convertPixels(highBytes, &out, 1);
    EXPECT_EQ(bytesOf(out), "332211ff");
}

TEST(VncHextile, DecodedFrameEqualsPictureAtEveryQuality)
{
    const QImage picture = testPicture(QSize(70, 45), 7);
    for (const Quality& q : kQualities) {
        SCOPED_TRACE(q.name);
        for (auto style :
             {HextileOptions::Auto, HextileOptions::Raw, HextileOptions::Subrects, HextileOptions::PixelSubrects}) {
            SCOPED_TRACE(style);
            for (bool reuse : {true, false}) {
                HextileOptions options;
                options.style = style;
                options.reuseColours = reuse;
                int done = 0;
                expectSame(decode(picture, {picture.rect()}, q, options, &done), picture, q.format);
                EXPECT_EQ(done, 1);
            }
        }
    }
}

TEST(VncHextile, EdgeTilesOf33By17Rectangles)
{
    const QImage picture = testPicture(QSize(66, 34), 3);
    const QList<QRect> rects = {QRect(0, 0, 33, 17), QRect(33, 0, 33, 17), QRect(0, 17, 33, 17), QRect(33, 17, 33, 17)};
    for (const Quality& q : kQualities) {
        SCOPED_TRACE(q.name);
        int done = 0;
        expectSame(decode(picture, rects, q, HextileOptions(), &done), picture, q.format);
        EXPECT_EQ(done, 1) << "the update is complete once, after its last rectangle";
    }
}

TEST(VncHextile, TwoHundredPlainSubrectanglesInOneTile)
{
    QImage picture(16, 16, QImage::Format_RGB32);
    picture.fill(qRgb(0, 0, 0));
    int placed = 0;
    for (int i = 1; i < 256 && placed < 200; ++i, ++placed)
        picture.setPixel(i % 16, i / 16, qRgb(255, 255, 255));
    for (const Quality& q : kQualities) {
        SCOPED_TRACE(q.name);
        const QByteArray data = HextileEncoder::encodeRect(picture, picture.rect(), q.format,
                                                           {HextileOptions::PixelSubrects});
        const int bpp = q.format.bitsPerPixel / 8;
        ASSERT_EQ(quint8(data[0]), 2 | 4 | 8);
        ASSERT_EQ(quint8(data[1 + 2 * bpp]), 200);
        expectSame(decode(picture, {picture.rect()}, q, {HextileOptions::PixelSubrects}), picture, q.format);
    }
}

TEST(VncHextile, SubrectangleCountOfZeroMeansNone)
{
    QImage picture = testPicture(QSize(48, 32), 11);
    QPainter(&picture).fillRect(QRect(0, 0, 32, 16), qRgb(0, 255, 0)); // two single-colour tiles
    HextileOptions options;
    options.style = HextileOptions::Subrects;
    options.emptySubrectCount = true;
    for (const Quality& q : kQualities) {
        SCOPED_TRACE(q.name);
        const QByteArray data = HextileEncoder::encodeRect(picture, picture.rect(), q.format, options);
        ASSERT_EQ(quint8(data[0]) & 8, 8);
        ASSERT_EQ(quint8(data[1 + q.format.bitsPerPixel / 8]), 0);
        expectSame(decode(picture, {picture.rect()}, q, options), picture, q.format);
    }
}

TEST(VncHextile, ReadFailuresRaiseAtEveryCut)
{
    const QImage picture = testPicture(QSize(40, 20), 5);
    for (const Quality& q : kQualities) {
        SCOPED_TRACE(q.name);
        const QByteArray data = HextileEncoder::encodeRect(picture, picture.rect(), q.format);
        for (int cut = 0; cut < data.size(); cut += 7) {
            Recording recording{data.left(cut)};
            VncInputBuffer input(recording.source(), kReadAhead);
            int images = 0;
            auto format = VncPixelFormat::create(q.quality, [&] { ++images; });
            ImageTarget target(picture.size());
            format->setInput(&input);
            format->setFrameTarget(&target);
            VncRectHeader header;
            header.width = 40;
            header.height = 20;
            try {
                format->decodeRect(header, true);
                FAIL() << "no exception at cut " << cut;
            } catch (const VncProException& e) {
                EXPECT_EQ(std::string(e.what()).rfind("FrameBufferUpdate:", 0), 0u) << e.what();
            }
            EXPECT_EQ(images, 0) << "an incomplete update was reported done";
        }
    }
}

TEST(VncHextile, GoesOnWhereItStoppedAsTheRestArrives)
{
    // The bytes arrive a few at a time; every call draws the whole tiles
    // that have come and returns, and the next goes on with the rest.
    const QImage picture = testPicture(QSize(40, 20), 9);
    for (const Quality& q : kQualities) {
        SCOPED_TRACE(q.name);
        for (auto style : {HextileOptions::Auto, HextileOptions::Raw, HextileOptions::PixelSubrects}) {
            SCOPED_TRACE(style);
            Recording recording{HextileEncoder::encodeRect(picture, picture.rect(), q.format, {style})};
            recording.arrived = 0;
            recording.more = true;
            VncInputBuffer input(recording.source(), kReadAhead);
            ImageTarget target(picture.size());
            int done = 0;
            auto format = VncPixelFormat::create(q.quality, [&] { ++done; });
            format->setInput(&input);
            format->setFrameTarget(&target);
            const VncRectHeader header = headerOf(picture.rect());
            int calls = 0;
            for (;;) {
                ++calls;
                const bool complete = format->decodeRect(header, true);
                if (recording.arrived < recording.bytes.size()) {
                    ASSERT_FALSE(complete) << "complete with " << recording.arrived << " bytes";
                    EXPECT_TRUE(input.waiting());
                    EXPECT_FALSE(input.failed());
                    EXPECT_EQ(done, 0);
                    recording.arrived = std::min(recording.arrived + 5, int(recording.bytes.size()));
                    continue;
                }
                ASSERT_TRUE(complete);
                break;
            }
            EXPECT_GT(calls, 2);
            EXPECT_EQ(done, 1);
            EXPECT_FALSE(input.waiting());
            EXPECT_EQ(input.consumedTotal(), quint64(recording.bytes.size()));
            expectSame(target.image, picture, q.format);
        }
    }
}

TEST(VncHextile, SilenceInsideARectangleFailsTheReadAfterTheLimit)
{
    const QImage picture = testPicture(QSize(40, 20), 4);
    Recording recording{
        HextileEncoder::encodeRect(picture, picture.rect(), PixelFormat::middle(), {HextileOptions::Raw})};
    recording.arrived = recording.bytes.size() / 2;
    recording.more = true;
    const int limitMs = 600;
    VncInputBuffer input(recording.source(), kReadAhead, limitMs);
    auto format = VncPixelFormat::create(MiddleQuality, [] {});
    format->setInput(&input);
    const VncRectHeader header = headerOf(picture.rect());
    // The checks below hold only while the clocks say so: a busy machine
    // may let more time pass between two lines.
    QElapsedTimer sinceFirst;
    sinceFirst.start();
    ASSERT_FALSE(format->decodeRect(header, true));
    ASSERT_TRUE(input.waiting());
    if (sinceFirst.elapsed() < limitMs) {
        EXPECT_FALSE(input.failed());
    }
    // One more byte restarts the limit.
    waitUntil([&] { return sinceFirst.elapsed() >= limitMs / 2; }, 10000);
    ++recording.arrived;
    QElapsedTimer sinceArrival;
    sinceArrival.start();
    ASSERT_FALSE(format->decodeRect(header, true));
    waitUntil([&] { return sinceFirst.elapsed() > limitMs + 50; }, 10000);
    if (sinceArrival.elapsed() < limitMs) {
        EXPECT_FALSE(input.failed()) << "the limit counted from the first byte, not the last";
    }
    ASSERT_TRUE(waitUntil([&] { return input.failed(); }, 20000));
    EXPECT_GE(sinceArrival.elapsed(), limitMs);
    try {
        format->decodeRect(header, true);
        FAIL() << "no exception";
    } catch (const VncProException& e) {
        EXPECT_STREQ(e.what(), "FrameBufferUpdate:read image frame buffer failed!");
    }
}

TEST(VncHextile, HostileTilesStayInsideTheFrameBuffer)
{
    // Background never given: black. Uncoloured subrectangles without a
    // foreground: skipped but consumed. A subrectangle past the tile and past
    // the frame buffer: drawn clipped.
    QByteArray bytes;
    bytes += char(8) + QByteArray(1, char(1)) + QByteArray::fromHex("0000"); // tile 0: no bg, no fg, 1 subrect
    bytes += char(2 | 8 | 16) + QByteArray::fromHex("ff") + char(1)
             + QByteArray::fromHex("03"
                                   "00"
                                   "ff");
    Recording recording{bytes};
    VncInputBuffer input(recording.source(), kReadAhead);
    auto format = VncPixelFormat::create(LowQuality, [] {});
    ImageTarget target(QSize(20, 16));
    format->setInput(&input);
    format->setFrameTarget(&target);
    VncRectHeader header;
    header.width = 20;
    header.height = 16;
    EXPECT_TRUE(format->decodeRect(header, true));
    EXPECT_EQ(input.consumedTotal(), quint64(bytes.size()));
    EXPECT_EQ(QColor(target.image.pixel(0, 0)).name(), "#000000");
    EXPECT_EQ(QColor(target.image.pixel(15, 15)).name(), "#000000");
    // Tile 1 at x 16 (4 wide): background 0xff, then a 16x16 subrectangle
    // of 0x03 reaching past the tile and the frame buffer.
    EXPECT_EQ(QColor(target.image.pixel(16, 0)).name(), "#000060");
    EXPECT_EQ(QColor(target.image.pixel(19, 15)).name(), "#000060");
    EXPECT_EQ(QColor(target.image.pixel(16, 0)).alpha(), 255);
}

TEST(VncHextile, NothingOutsideTheFrameIsDrawnAndEveryByteIsRead)
{
    // A 40x24 frame; rectangles partly and wholly outside it (subrectangle
    // and raw tiles), and single tiles whose subrectangles pass the right
    // edge, the bottom edge and both.
    const QSize frame(40, 24);
    const QImage beyond = testPicture(QSize(96, 64), 13);
    for (const Quality& q : kQualities) {
        SCOPED_TRACE(q.name);
        Recording recording;
        QList<QRect> rects;
        QImage expected = HextileEncoder::truncated(beyond, q.format).copy(QRect(QPoint(0, 0), frame));
        QPainter painter(&expected);
        const struct {
            QRect rect;
            HextileOptions::Style style;
        } encoded[] = {{QRect(8, 0, 48, 16), HextileOptions::Subrects},
                       {QRect(56, 0, 40, 64), HextileOptions::Auto},
                       {QRect(0, 16, 48, 48), HextileOptions::Raw},
                       {QRect(0, 0, 8, 16), HextileOptions::PixelSubrects}};
        for (const auto& e : encoded) {
            recording.bytes += HextileEncoder::encodeRect(beyond, e.rect, q.format, {e.style});
            rects << e.rect;
        }
        const struct {
            QRect rect;
            QRgb background, colour;
            bool coloured;
            quint8 xy, wh;
        } tiles[] = {{QRect(32, 0, 8, 8), qRgb(255, 0, 0), qRgb(0, 0, 255), false, 0x42, 0xF2},
                     {QRect(0, 16, 16, 8), qRgb(0, 255, 0), qRgb(255, 255, 255), true, 0x35, 0x4F},
                     {QRect(32, 16, 8, 8), qRgb(255, 255, 255), qRgb(255, 0, 0), true, 0x00, 0xFF},
                     {QRect(40, 0, 16, 16), qRgb(0, 0, 255), qRgb(0, 255, 0), false, 0x00, 0xFF},
                     {QRect(65530, 20, 16, 16), qRgb(0, 0, 255), qRgb(0, 255, 0), true, 0xFF, 0xFF}};
        for (const auto& t : tiles) {
            // The same bytes without the rectangle header.
            recording.bytes += HextileEncoder::oneSubrectTile(t.rect, q.format, t.background, t.colour, t.coloured,
                                                              t.xy, t.wh)
                                   .mid(12);
            rects << t.rect;
            painter.fillRect(t.rect, QColor(HextileEncoder::truncated(t.background, q.format)));
            painter.fillRect(HextileEncoder::subrectArea(t.rect, t.xy, t.wh),
                             QColor(HextileEncoder::truncated(t.colour, q.format)));
        }
        painter.end();

        VncInputBuffer input(recording.source(), kReadAhead);
        ImageTarget target(frame);
        auto format = VncPixelFormat::create(q.quality, [] {});
        format->setInput(&input);
        format->setFrameSize(frame);
        format->setFrameTarget(&target);
        for (const QRect& rect : rects)
            EXPECT_TRUE(format->decodeRect(headerOf(rect), false));
        EXPECT_EQ(input.consumedTotal(), quint64(recording.bytes.size())) << "the stream lost its place";
        expectSame(target.image, expected, PixelFormat::high());
    }
}
