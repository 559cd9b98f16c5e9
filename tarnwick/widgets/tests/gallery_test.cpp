#include "tarnwick/widgets/tests/gallery.h"

#include "tarnwick/widgets/tests/kittestsupport.h"

#include <QColor>
#include <QFileInfo>

#include <gtest/gtest.h>

#ifndef WIDGETS_GALLERY_PNG
#error "WIDGETS_GALLERY_PNG names the picture the test writes"
#endif

namespace {

// Pixels that are clearly red (text drawn in red, antialiased).
int reddish(const QImage& image, const QRect& r)
{
    int hits = 0;
    for (int y = r.top(); y <= r.bottom(); ++y)
        for (int x = r.left(); x <= r.right(); ++x) {
            const QColor p(image.pixel(x, y));
            hits += p.red() > 200 && p.green() < 90 && p.blue() < 90;
        }
    return hits;
}

// The share of pixels in the rectangle that have the colour (within 6 per channel).
double share(const QImage& image, const QRect& r, const QColor& c)
{
    int hits = 0;
    int all = 0;
    for (int y = r.top(); y <= r.bottom(); ++y)
        for (int x = r.left(); x <= r.right(); ++x) {
            const QColor p(image.pixel(x, y));
            ++all;
            hits += std::abs(p.red() - c.red()) <= 6 && std::abs(p.green() - c.green()) <= 6
                    && std::abs(p.blue() - c.blue()) <= 6;
        }
    return all ? double(hits) / all : 0.0;
}

} // namespace

TEST(Gallery, GrabsEveryWidgetIntoAPicture)
{
    const GalleryShot shot = renderGallery();
    ASSERT_FALSE(shot.image.isNull());
    ASSERT_TRUE(shot.image.save(WIDGETS_GALLERY_PNG, "PNG"));
    EXPECT_GT(QFileInfo(WIDGETS_GALLERY_PNG).size(), 20000);
    EXPECT_GT(shot.image.width(), 1000);
    EXPECT_GT(shot.image.height(), 700);

    const QColor blue(22, 155, 213);
    // The title bar is blue along most of its length (logo, title and buttons aside).
    const QRect title = shot.regions.value("title");
    ASSERT_TRUE(title.isValid());
    EXPECT_GT(share(shot.image, title, blue), 0.6);

    // Every message box has its blue caption and its grey-bordered body.
    for (const char* box : {"informationBox", "warningBox", "questionBox", "contentBox"}) {
        const QRect r = shot.regions.value(box);
        ASSERT_TRUE(r.isValid()) << box;
        EXPECT_GT(share(shot.image, QRect(r.x(), r.y() + 2, r.width(), 26), blue), 0.5) << box;
        EXPECT_GT(share(shot.image, r, QColor(240, 240, 240)), 0.3) << box;
    }
    // The warning text is red, the information text is not.
    EXPECT_GT(reddish(shot.image, shot.regions.value("warningBox")), 100);
    EXPECT_EQ(reddish(shot.image, shot.regions.value("informationBox")), 0);

    // The disabled button is grey, the selected table row light blue.
    EXPECT_GT(share(shot.image, shot.regions.value("disabledButton"), QColor(180, 180, 180)), 0.3);
    EXPECT_GT(share(shot.image, shot.regions.value("selectedRow"), QColor(150, 180, 250)), 0.5);

    // The settings menu was open with its three entries on white.
    const QRect menu = shot.regions.value("menu");
    EXPECT_GT(menu.height(), 3 * 30);
    EXPECT_GT(share(shot.image, menu, Qt::white), 0.5);
}
