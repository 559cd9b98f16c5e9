// The frame copy the viewer widget paints from, and its fast scaler: the
// picture kept after a run of partial updates is the picture of a whole
// repaint (no seam, nothing stale), and the scaler draws what the painter's
// smooth transformation draws.

#include "tarnwick/vnc/framecopy.h"

#include "tarnwick/vnc/framescaler.h"

#include <gtest/gtest.h>

#include <QPainter>
#include <QRandomGenerator>

#include <algorithm>
#include <cstdlib>

using namespace VNC;

namespace {

// A frame buffer picture with edges everywhere: random colours in blocks of
// random sizes, single pixels and lines.
QImage busyPicture(QSize size, quint32 seed)
{
    QImage picture(size, QImage::Format_RGBA8888);
    QRandomGenerator random(seed);
    picture.fill(QColor(random.bounded(256), random.bounded(256), random.bounded(256)));
    QPainter painter(&picture);
    for (int i = 0; i < size.width() * size.height() / 40; ++i) {
        const QRect r(random.bounded(size.width()), random.bounded(size.height()), 1 + random.bounded(9),
                      1 + random.bounded(5));
        painter.fillRect(r, QColor(random.bounded(256), random.bounded(256), random.bounded(256)));
    }
    return picture;
}

// The largest difference of one channel between two pictures of one size,
// and how many pixels differ at all.
struct Difference {
    int largest = 0;
    int pixels = 0;
};

Difference compare(const QImage& a, const QImage& b)
{
    Difference d;
    const QImage x = a.convertToFormat(QImage::Format_RGB32);
    const QImage y = b.convertToFormat(QImage::Format_RGB32);
    for (int row = 0; row < x.height(); ++row) {
        for (int column = 0; column < x.width(); ++column) {
            const QRgb p = x.pixel(column, row);
            const QRgb q = y.pixel(column, row);
            const int largest = std::max(
                {std::abs(qRed(p) - qRed(q)), std::abs(qGreen(p) - qGreen(q)), std::abs(qBlue(p) - qBlue(q))});
            d.largest = std::max(d.largest, largest);
            d.pixels += largest > 0 ? 1 : 0;
        }
    }
    return d;
}

// A widget's picture: painted where region says, into what is kept.
void paintInto(QImage& kept, FrameCopy& copy, const QRegion& region)
{
    QPainter painter(&kept);
    painter.setClipRegion(region);
    copy.paint(painter, kept.size(), 1, region);
}

// The painter's own smooth scaling of a whole picture.
QImage painterScaled(const QImage& source, QSize size)
{
    QImage scaled(size, QImage::Format_RGB32);
    QPainter painter(&scaled);
    painter.setCompositionMode(QPainter::CompositionMode_Source);
    painter.setRenderHint(QPainter::SmoothPixmapTransform);
    painter.drawImage(scaled.rect(), source);
    return scaled;
}

} // namespace

TEST(FrameScaler, DrawsWhatThePaintersSmoothScalingDraws)
{
    if (!FrameScaler::available())
        GTEST_SKIP() << "this processor has no AVX2: the painter scales";
    const struct {
        QSize source, target;
    } cases[] = {{{1024, 600}, {1281, 751}}, // 120 dpi
                 {{1024, 600}, {1536, 900}}, // 144 dpi
                 {{1024, 600}, {1068, 626}}, // 100 dpi
                 {{1024, 600}, {2048, 1200}}, {{40, 30}, {57, 91}}, {{17, 9}, {40, 20}}, {{320, 200}, {320, 260}}};
    for (const auto& c : cases) {
        SCOPED_TRACE(QStringLiteral("%1x%2 to %3x%4")
                         .arg(c.source.width())
                         .arg(c.source.height())
                         .arg(c.target.width())
                         .arg(c.target.height())
                         .toStdString());
        const QImage source = busyPicture(c.source, 5).convertToFormat(QImage::Format_RGB32);
        FrameScaler scaler;
        ASSERT_TRUE(scaler.prepare(c.source, c.target));
        QImage scaled(c.target, QImage::Format_RGB32);
        scaled.fill(Qt::magenta);
        // In uneven bands, as a paint of changed rows would ask.
        QImage band(c.target.width(), 7, QImage::Format_RGB32);
        for (int y = 0; y < c.target.height(); y += 7) {
            const int end = std::min(y + 7, c.target.height());
            scaler.scaleRows(source, y, end, band, QPoint(0, -y));
            QPainter(&scaled).drawImage(QPoint(0, y), band, QRect(0, 0, c.target.width(), end - y));
        }
        const Difference d = compare(scaled, painterScaled(source, c.target));
        // The same samples and weights: at most a level or two of rounding;
        // an offset sample or a wrong weight shows as far more at the edges
        // of the busy picture.
        EXPECT_LE(d.largest, 2);
        // Straight into a larger picture at an offset, in other bands: the
        // same pixels there, and not one pixel written around them.
        QImage larger(c.target + QSize(9, 6), QImage::Format_RGB32);
        larger.fill(Qt::magenta);
        for (int y = 0; y < c.target.height(); y += 5)
            scaler.scaleRows(source, y, y + 5, larger, QPoint(4, 3));
        EXPECT_EQ(compare(larger.copy(QRect(QPoint(4, 3), c.target)), scaled).pixels, 0);
        QImage around = larger;
        QPainter(&around).fillRect(QRect(QPoint(4, 3), c.target), Qt::magenta);
        QImage allMagenta(larger.size(), QImage::Format_RGB32);
        allMagenta.fill(Qt::magenta);
        EXPECT_EQ(compare(around, allMagenta).pixels, 0);
        // A row that would not fit across is not written at all.
        QImage narrow(c.target.width() - 1, c.target.height(), QImage::Format_RGB32);
        narrow.fill(Qt::magenta);
        scaler.scaleRows(source, 0, c.target.height(), narrow, QPoint(0, 0));
        QImage narrowMagenta(narrow.size(), QImage::Format_RGB32);
        narrowMagenta.fill(Qt::magenta);
        EXPECT_EQ(compare(narrow, narrowMagenta).pixels, 0);
    }
}

TEST(FrameScaler, RefusesWhatItCannotScale)
{
    FrameScaler scaler;
    EXPECT_FALSE(scaler.prepare(QSize(1024, 600), QSize(800, 469))) << "narrowed";
    EXPECT_FALSE(scaler.prepare(QSize(12, 600), QSize(30, 900))) << "too narrow for a group";
    EXPECT_FALSE(scaler.prepare(QSize(1024, 600), QSize(1281, 0)));
    EXPECT_FALSE(scaler.ready());
}

TEST(FrameScaler, CopiesRgbaPixelsAsThePainterConvertsThemAndOnlyThose)
{
    if (!FrameScaler::available())
        GTEST_SKIP() << "this processor has no AVX2: the painter converts";
    const QImage frame = busyPicture(QSize(70, 23), 9);
    const QImage converted = frame.convertToFormat(QImage::Format_RGB32);
    QImage magenta(frame.size(), QImage::Format_RGB32);
    magenta.fill(Qt::magenta);
    const QImage pristine = magenta.copy();
    // Whole groups of eight, odd tails, single pixels, the edges, nothing.
    const QRect rects[] = {{0, 0, 70, 23}, {3, 2, 17, 5}, {69, 22, 1, 1}, {0, 10, 8, 1}, {61, 0, 9, 23}, {5, 5, 0, 4}};
    for (const QRect& r : rects) {
        SCOPED_TRACE(QStringLiteral("%1,%2 %3x%4").arg(r.x()).arg(r.y()).arg(r.width()).arg(r.height()).toStdString());
        QImage out = magenta; // shares its pixels with magenta until written
        ASSERT_TRUE(FrameScaler::copyRgba(frame, r, out));
        EXPECT_EQ(compare(magenta, pristine).pixels, 0) << "written into an image that shared the pixels";
        if (!r.isEmpty()) {
            EXPECT_EQ(compare(out.copy(r), converted.copy(r)).pixels, 0);
        }
        QImage rest = out;
        QPainter(&rest).fillRect(r, Qt::magenta);
        EXPECT_EQ(compare(rest, magenta).pixels, 0) << "written outside the rectangle";
        for (int y = r.top(); y <= r.bottom(); ++y)
            for (int x = r.left(); x <= r.right(); ++x)
                ASSERT_EQ(qAlpha(out.pixel(x, y)), 255);
    }
    // Other formats and sizes are the painter's.
    QImage out = magenta;
    EXPECT_FALSE(FrameScaler::copyRgba(converted, converted.rect(), out));
    QImage narrower = magenta.copy(0, 0, 60, 23);
    EXPECT_FALSE(FrameScaler::copyRgba(frame, frame.rect(), narrower));
    EXPECT_FALSE(FrameScaler::copyRgba(frame, QRect(60, 0, 20, 5), out));
    EXPECT_EQ(compare(out, magenta).pixels, 0);
}

TEST(FrameCopy, KeptPictureAfterPartialUpdatesIsTheWholeRepaint)
{
    const QSize frame(320, 200);
    const struct {
        QSize widget;
        bool fast;
    } cases[] = {{{401, 251}, true}, {{401, 251}, false}, {{480, 300}, true},  {{480, 300}, false},
                 {{333, 333}, true}, {{250, 160}, true},  {{250, 160}, false}, {{320, 200}, true}};
    for (const auto& c : cases) {
        SCOPED_TRACE(QStringLiteral("%1x%2%3")
                         .arg(c.widget.width())
                         .arg(c.widget.height())
                         .arg(c.fast ? " fast" : "")
                         .toStdString());
        FrameCopy copy;
        copy.setFastScaling(c.fast);
        QImage buffer = busyPicture(frame, 1);
        QImage kept(c.widget, QImage::Format_RGB32);
        kept.fill(Qt::magenta);
        copy.take(buffer, QRegion(buffer.rect()));
        paintInto(kept, copy, QRegion(kept.rect()));
        // Updates of every shape, at the edges and inside, each of a new
        // picture, each repainting only what shows it.
        QRandomGenerator random(9);
        for (int update = 0; update < 40; ++update) {
            const QImage next = busyPicture(frame, quint32(100 + update));
            QRegion changed;
            for (int n = 1 + random.bounded(3); n > 0; --n) {
                const int w = 1 + random.bounded(update % 4 == 0 ? 60 : 17);
                const int h = 1 + random.bounded(update % 3 == 0 ? 40 : 9);
                changed += QRect(random.bounded(frame.width() - w + 1), random.bounded(frame.height() - h + 1), w, h);
            }
            if (update == 7)
                changed += QRect(frame.width() - 1, frame.height() - 1, 1, 1);
            if (update == 8)
                changed += QRect(0, 0, frame.width(), 1);
            QPainter painter(&buffer);
            painter.setCompositionMode(QPainter::CompositionMode_Source);
            for (const QRect& r : changed)
                painter.drawImage(r.topLeft(), next, r);
            painter.end();
            const QRegion taken = copy.take(buffer, changed);
            EXPECT_EQ(taken, changed);
            paintInto(kept, copy, copy.shownRegion(taken, c.widget, 1));
        }
        QImage whole(c.widget, QImage::Format_RGB32);
        whole.fill(Qt::magenta);
        paintInto(whole, copy, QRegion(whole.rect()));
        const Difference d = compare(kept, whole);
        EXPECT_EQ(d.pixels, 0) << "largest difference " << d.largest;
        // And the whole repaint is the frame buffer's picture, smoothly
        // scaled.
        EXPECT_LE(compare(whole, painterScaled(buffer, c.widget)).largest, 2);
    }
}

TEST(FrameCopy, PaintsOnePictureOnEveryKindOfDevice)
{
    // The widget's own rows are scaled straight into a painter's 32-bit
    // device (a window's backing store), wherever the widget lies in it;
    // on any other device, and for rows the region repaints only in part,
    // through a band. All draw one picture, and only inside the region.
    const QSize widget(401, 251);
    FrameCopy copy;
    copy.take(busyPicture(QSize(320, 200), 2), QRegion(0, 0, 320, 200));
    QImage reference(widget, QImage::Format_RGB32);
    reference.fill(Qt::magenta);
    paintInto(reference, copy, QRegion(reference.rect()));
    EXPECT_LE(compare(reference, painterScaled(copy.image(), widget)).largest, 2);

    // At an offset in a larger device, as a child widget of a window.
    QImage window(widget + QSize(30, 20), QImage::Format_RGB32);
    window.fill(Qt::magenta);
    {
        QPainter painter(&window);
        painter.translate(17, 11);
        painter.setClipRegion(QRegion(QRect(QPoint(0, 0), widget)));
        copy.paint(painter, widget, 1, QRegion(QRect(QPoint(0, 0), widget)));
    }
    EXPECT_EQ(compare(window.copy(QRect(QPoint(17, 11), widget)), reference).pixels, 0);
    QImage outside = window;
    QPainter(&outside).fillRect(QRect(QPoint(17, 11), widget), Qt::magenta);
    QImage magenta(window.size(), QImage::Format_RGB32);
    magenta.fill(Qt::magenta);
    EXPECT_EQ(compare(outside, magenta).pixels, 0) << "written outside the widget";

    // Straight into the premultiplied device of X11's backing stores, and
    // through the band into a device of another format: one picture.
    for (const QImage::Format format : {QImage::Format_ARGB32_Premultiplied, QImage::Format_RGB888}) {
        QImage device(widget, format);
        device.fill(Qt::magenta);
        {
            QPainter painter(&device);
            copy.paint(painter, widget, 1, QRegion(device.rect()));
        }
        EXPECT_EQ(compare(device, reference).pixels, 0) << "format " << int(format);
    }

    // Rows repainted in part (a window above the widget, say): only the
    // region, the rest of each row untouched.
    const QRegion part = QRegion(0, 0, 120, 90) + QRegion(0, 90, 401, 40) + QRegion(300, 200, 101, 51);
    QImage partial(widget, QImage::Format_RGB32);
    partial.fill(Qt::magenta);
    paintInto(partial, copy, part);
    for (const QRect& r : part)
        EXPECT_EQ(compare(partial.copy(r), reference.copy(r)).pixels, 0);
    QImage rest = partial;
    {
        QPainter painter(&rest);
        for (const QRect& r : part)
            painter.fillRect(r, Qt::magenta);
    }
    QImage widgetMagenta(widget, QImage::Format_RGB32);
    widgetMagenta.fill(Qt::magenta);
    EXPECT_EQ(compare(rest, widgetMagenta).pixels, 0) << "written outside the region";
}

TEST(FrameCopy, WritesStraightIntoEveryBackingStoreFormatAndNothingElse)
{
    // Whether a paint may skip the band: the backing stores of a window
    // (RGB32 offscreen, ARGB32_Premultiplied on X11, ARGB32) are written
    // straight; other formats, painters that blend, scale or move by part
    // of a pixel, and a widget that does not fit go through the band.
    const QSize widget(64, 40);
    const struct {
        QImage::Format format;
        QSize device;
        void (*set)(QPainter&);
        bool direct;
    } cases[] = {
        {QImage::Format_RGB32, widget, [](QPainter&) {}, true},
        {QImage::Format_ARGB32_Premultiplied, widget, [](QPainter&) {}, true},
        {QImage::Format_ARGB32, widget, [](QPainter&) {}, true},
        {QImage::Format_ARGB32_Premultiplied, {90, 70}, [](QPainter& p) { p.translate(20, 25); }, true},
        {QImage::Format_RGB32, widget, [](QPainter& p) { p.setCompositionMode(QPainter::CompositionMode_Source); },
         true},
        {QImage::Format_RGBA8888, widget, [](QPainter&) {}, false},
        {QImage::Format_RGBA8888_Premultiplied, widget, [](QPainter&) {}, false},
        {QImage::Format_RGB888, widget, [](QPainter&) {}, false},
        {QImage::Format_RGB16, widget, [](QPainter&) {}, false},
        {QImage::Format_ARGB32_Premultiplied, widget, [](QPainter& p) { p.setOpacity(0.5); }, false},
        {QImage::Format_ARGB32_Premultiplied, widget,
         [](QPainter& p) { p.setCompositionMode(QPainter::CompositionMode_Multiply); }, false},
        {QImage::Format_ARGB32_Premultiplied, {90, 70}, [](QPainter& p) { p.translate(20.5, 25); }, false},
        {QImage::Format_ARGB32_Premultiplied, {90, 70}, [](QPainter& p) { p.scale(1.5, 1.5); }, false},
        {QImage::Format_ARGB32_Premultiplied, {90, 70}, [](QPainter& p) { p.translate(30, 0); }, false},
    };
    for (const auto& c : cases) {
        QImage device(c.device, c.format);
        QPainter painter(&device);
        c.set(painter);
        QPoint origin(-1, -1);
        QImage* direct = FrameCopy::directDevice(painter, widget, &origin);
        EXPECT_EQ(direct != nullptr, c.direct) << "format " << int(c.format) << ", device " << c.device.width();
        if (direct) {
            EXPECT_EQ(direct->constBits(), device.constBits());
            EXPECT_EQ(origin, painter.deviceTransform().map(QPoint(0, 0)));
        }
    }
}

TEST(FrameCopy, ShownRegionIsWholeRowsWhenScaledAndTheRectanglesWhenNot)
{
    FrameCopy copy;
    copy.take(busyPicture(QSize(100, 50), 3), QRegion(0, 0, 100, 50));
    EXPECT_EQ(copy.shownRegion(QRegion(10, 20, 5, 3), QSize(100, 50), 1), QRegion(10, 20, 5, 3));
    const QRegion scaled = copy.shownRegion(QRegion(10, 20, 5, 3), QSize(200, 100), 1);
    // Frame rows 20-22 show in widget rows 40-45; the smoothing reaches a
    // frame row further each way, and a pixel more for rounding.
    EXPECT_EQ(scaled, QRegion(0, 37, 200, 12));
    EXPECT_EQ(copy.shownRegion(QRegion(0, 0, 100, 1), QSize(200, 100), 1), QRegion(0, 0, 200, 5));
    EXPECT_EQ(copy.shownRegion(QRegion(0, 49, 100, 1), QSize(200, 100), 1), QRegion(0, 95, 200, 5));
    EXPECT_TRUE(copy.shownRegion(QRegion(), QSize(200, 100), 1).isEmpty());
    EXPECT_TRUE(FrameCopy().shownRegion(QRegion(0, 0, 5, 5), QSize(200, 100), 1).isEmpty());
}

TEST(FrameCopy, NewSizeIsTakenWhole)
{
    FrameCopy copy;
    const QImage first = busyPicture(QSize(40, 30), 4);
    EXPECT_EQ(copy.take(first, QRegion(0, 0, 4, 4)), QRegion(first.rect()));
    EXPECT_EQ(compare(copy.image(), first).pixels, 0);
    const QImage second = busyPicture(QSize(40, 30), 5);
    EXPECT_EQ(copy.take(second, QRegion(2, 3, 4, 5) + QRegion(38, 28, 9, 9)),
              QRegion(2, 3, 4, 5) + QRegion(38, 28, 2, 2));
    EXPECT_EQ(copy.image().pixel(2, 3), second.convertToFormat(QImage::Format_RGB32).pixel(2, 3));
    EXPECT_EQ(copy.image().pixel(0, 0), first.convertToFormat(QImage::Format_RGB32).pixel(0, 0));
    const QImage larger = busyPicture(QSize(50, 30), 6);
    EXPECT_EQ(copy.take(larger, QRegion()), QRegion(larger.rect()));
    EXPECT_EQ(compare(copy.image(), larger).pixels, 0);
}
