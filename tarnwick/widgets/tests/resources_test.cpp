#include "tarnwick/widgets/appfont.h"
#include "tarnwick/widgets/kitresources.h"

#include "tarnwick/core/constants.h"
#include "tarnwick/core/screentool.h"
#include "tarnwick/widgets/tests/kittestsupport.h"

#include <QDirIterator>
#include <QFontDatabase>
#include <QFontInfo>
#include <QFontMetrics>
#include <QGuiApplication>
#include <QPixmap>
#include <QScreen>

#include <gtest/gtest.h>

TEST(KitResources, EveryPictureThePagesNameLoads)
{
    KitResources::init();
    KitResources::init(); // a second call is harmless
    const char* pictures[] = {
        "icon/arrow-down",
        "icon/arrow-up",
        "icon/ask2",
        "icon/close",
        "icon/close1",
        "icon/down",
        "icon/export",
        "icon/export_down",
        "icon/eye_close",
        "icon/eye_open",
        "icon/file",
        "icon/import",
        "icon/import_down",
        "icon/info",
        "icon/lock",
        "icon/my",
        "icon/networkinterface",
        "icon/search2",
        "icon/selected",
        "icon/setting",
        "icon/toup",
        "icon/warn",
        "img/checked",
        "img/closehover",
        "img/filebrowser",
        "img/max",
        "img/min",
        "img/normal",
        "img/unchecked",
        "pic/ftp",
        "pic/ftp_disable",
        "pic/help",
        "pic/pass",
        "pic/pass_disable",
        "pic/quit",
        "pic/refresh",
        "pic/save",
        "pic/save_disable",
        "pic/stop",
        "pic/vnc",
        "pic/vnc_disable",
        "pic/vpn",
        "pic/vpn_disable",
        "vexa_img/banner",
        "vexa_img/logo",
    };
    for (const char* name : pictures) {
        const QString path = QString(":/pics/%1.png").arg(name);
        const QPixmap picture(path);
        ASSERT_FALSE(picture.isNull()) << path.toStdString();
        EXPECT_GE(picture.width(), 16) << path.toStdString();
        // Drawn pictures, not empty canvases.
        const QImage image = picture.toImage();
        int opaque = 0;
        for (int y = 0; y < image.height(); ++y)
            for (int x = 0; x < image.width(); ++x)
                opaque += qAlpha(image.pixel(x, y)) > 128;
        EXPECT_GT(opaque, image.width() * image.height() / 20) << path.toStdString();
    }
    int count = 0;
    QDirIterator it(":/pics", QDirIterator::Subdirectories);
    while (it.hasNext())
        count += it.next().endsWith(".png");
    EXPECT_EQ(count, int(sizeof(pictures) / sizeof(pictures[0])));
    EXPECT_FALSE(QPixmap(Tarnwick::Constants::kLogoImage).isNull());
}

TEST(AppFont, RendersChineseAtTheFixedTestDpi)
{
    ASSERT_EQ(qRound(QGuiApplication::primaryScreen()->logicalDotsPerInch()), KitTest::kFontDpi);
    EXPECT_EQ(ScreenTool::scale(300), 300);

    const QString family = AppFont::family();
    EXPECT_TRUE(QFontDatabase().hasFamily(family)) << family.toStdString();
    if (!QFontDatabase().hasFamily(QString::fromUtf8("微软雅黑"))) {
        EXPECT_EQ(family, "WenQuanYi Micro Hei");
    }

    const QFont font = AppFont::apply();
    EXPECT_EQ(font.pointSize(), ScreenTool::fontSize(11) - 1);
    EXPECT_EQ(QGuiApplication::font().family(), family);
    EXPECT_EQ(QFontInfo(font).family(), family);
    const QFontMetrics metrics(font);
    for (const QChar c : QString::fromUtf8("调试助手确认取消在线离线"))
        EXPECT_TRUE(metrics.inFont(c)) << c.unicode();
}
