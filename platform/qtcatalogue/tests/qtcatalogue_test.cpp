#include "platform/qtcatalogue/qtcatalogue.h"

#include "testing/main/tempfolder.h"

#include <gtest/gtest.h>

#include <QCoreApplication>

namespace {

const QLocale kChinese(QLocale::Chinese, QLocale::China);

// The texts Qt gives the standard buttons of its message boxes.
QString okText()
{
    return QCoreApplication::translate("QPlatformTheme", "OK");
}

QString cancelText()
{
    return QCoreApplication::translate("QPlatformTheme", "Cancel");
}

} // namespace

TEST(QtCatalogue, ChineseButtonsWhileInstalledEnglishAfter)
{
    ASSERT_EQ(okText(), "OK");
    {
        platform::QtCatalogue catalogue;
        ASSERT_TRUE(catalogue.install(kChinese)) << "qttranslations5-l10n provides qt_zh_CN.qm";
        EXPECT_TRUE(catalogue.isInstalled());
        EXPECT_EQ(okText(), QString::fromUtf8("确定"));
        EXPECT_EQ(cancelText(), QString::fromUtf8("取消"));
        // A second install replaces the first; one removal leaves none.
        ASSERT_TRUE(catalogue.install(kChinese));
        catalogue.remove();
        EXPECT_FALSE(catalogue.isInstalled());
        EXPECT_EQ(okText(), "OK");
        ASSERT_TRUE(catalogue.install(kChinese));
    }
    // Its end takes the catalogue out.
    EXPECT_EQ(okText(), "OK");
    EXPECT_EQ(cancelText(), "Cancel");
}

TEST(QtCatalogue, MissingCatalogueInstallsNothing)
{
    TestFolder::TempFolder empty("twqtcat");
    platform::QtCatalogue catalogue;
    ASSERT_TRUE(catalogue.install(kChinese));
    // A failed install does not leave the previous catalogue behind.
    EXPECT_FALSE(catalogue.install(kChinese, QString::fromStdString(empty.path())));
    EXPECT_FALSE(catalogue.isInstalled());
    EXPECT_EQ(okText(), "OK");
    // Nor is there one for a locale Qt has no texts in.
    EXPECT_FALSE(catalogue.install(QLocale::c()));
    EXPECT_EQ(okText(), "OK");
}
