// Decode speed of full 1024x600 Hextile updates as the fake server encodes
// them, with 0, 10, 50 and 200 subrectangles per tile at 8 and 16 bits per
// pixel, beside a plain memory copy of the same pixel count. Prints figures;
// asserts nothing.

#include "tarnwick/vnc/vncpixelformat.h"
#include "testing/fakerfb/hextileencoder.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QImage>
#include <QMutex>
#include <QPainter>
#include <QRandomGenerator>

#include <cstdio>
#include <algorithm>
#include <cstring>
#include <vector>

using namespace VNC;
using FakeRfb::HextileEncoder;
using FakeRfb::HextileOptions;
using FakeRfb::PixelFormat;

namespace {

const QSize kFrame(1024, 600);

// The viewer's frame buffer: one lock per tile.
class LockedTarget : public VncFrameTarget
{
public:
    LockedTarget()
        : image(kFrame, QImage::Format_RGBA8888)
    {
        image.fill(0);
    }
    QImage* beginDraw() override
    {
        mutex.lock();
        return &image;
    }
    void endDraw() override { mutex.unlock(); }
    QImage image;
    QMutex mutex;
};

// Every tile: a background and `count` single pixels of a second colour,
// which the encoder sends as `count` plain 1x1 subrectangles.
QImage pictureWith(int count)
{
    QImage picture(kFrame, QImage::Format_RGB32);
    QRandomGenerator random(42);
    for (int ty = 0; ty < kFrame.height(); ty += 16) {
        for (int tx = 0; tx < kFrame.width(); tx += 16) {
            const QRgb background = qRgb(random.bounded(256), random.bounded(256), random.bounded(256));
            const QRgb foreground = qRgb(255 - qRed(background), 255 - qGreen(background), 128);
            std::vector<int> cells(256);
            for (int i = 0; i < 256; ++i)
                cells[size_t(i)] = i;
            for (int i = 255; i > 0; --i)
                std::swap(cells[size_t(i)], cells[size_t(random.bounded(i + 1))]);
            const int th = std::min(16, kFrame.height() - ty);
            for (int y = 0; y < th; ++y)
                for (int x = 0; x < 16; ++x)
                    picture.setPixel(tx + x, ty + y, background);
            // The bottom row of tiles is 8 pixels high and holds fewer.
            int placed = 0;
            for (int i = 0; i < 256 && placed < count; ++i) {
                const int cell = cells[size_t(i)];
                if (cell == 0 || cell / 16 >= th)
                    continue; // the top-left pixel names the background
                picture.setPixel(tx + cell % 16, ty + cell / 16, foreground);
                ++placed;
            }
        }
    }
    return picture;
}

struct Result
{
    double msPerFrame;
    int frames;
};

Result decodeRepeatedly(const QByteArray& data, VncImageQuality quality, bool direct, int minimumMs)
{
    LockedTarget target;
    int position = 0;
    auto format = VncPixelFormat::create(
        quality,
        [&](QImage* image, int x, int y, bool) {
            // What drawing one image per fill costs: a painter per image.
            if (image) {
                QMutexLocker locker(&target.mutex);
                QPainter painter(&target.image);
                painter.setCompositionMode(QPainter::CompositionMode_Source);
                painter.drawImage(x, y, *image);
            }
            delete image;
        },
        [&](unsigned int count, QByteArray& out) {
            if (count == 0 || position + int(count) > data.size())
                return false;
            out = QByteArray::fromRawData(data.constData() + position, int(count));
            position += int(count);
            return true;
        });
    if (direct)
        format->setFrameTarget(&target);
    VncRectHeader header;
    header.width = quint16(kFrame.width());
    header.height = quint16(kFrame.height());
    header.encoding = 5;
    QElapsedTimer timer;
    timer.start();
    int frames = 0;
    do {
        position = 0;
        format->decodeRect(header, true);
        ++frames;
    } while (timer.elapsed() < minimumMs);
    return {double(timer.nsecsElapsed()) / 1e6 / frames, frames};
}

double memcpyMs(int minimumMs)
{
    const size_t bytes = size_t(kFrame.width()) * size_t(kFrame.height()) * 4;
    std::vector<char> from(bytes, 1);
    std::vector<char> to(bytes, 0);
    QElapsedTimer timer;
    timer.start();
    int frames = 0;
    do {
        std::memcpy(to.data(), from.data(), bytes);
        from[size_t(frames) % bytes] = char(frames); // keep the copy from being optimised away
        ++frames;
    } while (timer.elapsed() < minimumMs);
    volatile char sink = to[bytes / 2];
    (void)sink;
    return double(timer.nsecsElapsed()) / 1e6 / frames;
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    const int minimumMs = 600;
    const double copy = memcpyMs(minimumMs);
    std::printf("frame %dx%d; memcpy of the same pixel count (32 bits): %.3f ms (%.0f frames/s)\n", kFrame.width(),
                kFrame.height(), copy, 1000.0 / copy);
    std::printf("%-6s %-9s %10s %10s %12s %14s\n", "bpp", "subrects", "bytes", "ms/frame", "frames/s", "x memcpy");
    const struct
    {
        VncImageQuality quality;
        PixelFormat format;
        int bpp;
    } formats[] = {{LowQuality, PixelFormat::low(), 8}, {MiddleQuality, PixelFormat::middle(), 16}};
    for (const auto& f : formats) {
        for (int count : {0, 10, 50, 200}) {
            HextileOptions options;
            options.style = HextileOptions::PixelSubrects;
            options.reuseColours = false;
            const QByteArray data = HextileEncoder::encodeRect(pictureWith(count), QRect(QPoint(0, 0), kFrame),
                                                               f.format, options);
            const Result r = decodeRepeatedly(data, f.quality, true, minimumMs);
            std::printf("%-6d %-9d %10d %10.3f %12.1f %14.1f\n", f.bpp, count, data.size(), r.msPerFrame,
                        1000.0 / r.msPerFrame, r.msPerFrame / copy);
        }
    }
    // For comparison: one image and one painter per fill, at 50 subrectangles.
    {
        HextileOptions options;
        options.style = HextileOptions::PixelSubrects;
        options.reuseColours = false;
        const QByteArray data = HextileEncoder::encodeRect(pictureWith(50), QRect(QPoint(0, 0), kFrame),
                                                           PixelFormat::middle(), options);
        const Result r = decodeRepeatedly(data, MiddleQuality, false, minimumMs);
        std::printf("image per fill (16 bpp, 50 subrects): %.3f ms/frame (%.1f frames/s)\n", r.msPerFrame,
                    1000.0 / r.msPerFrame);
    }
    return 0;
}
