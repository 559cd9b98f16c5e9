#include "tarnwick/ui/settings/dependsapkinstallview.h"

#include "tarnwick/ui/settings/tests/settingstestenv.h"
#include "tarnwick/widgets/pushbutton.h"

#include <gtest/gtest.h>

#include <QLabel>
#include <QTest>

namespace {

TEST(DependsApkInstallView, InstalledAppGreysTheButtonForGoodAndTheWarningStays)
{
    DependsApkInstallView view;
    view.show();
    auto* button = view.findChild<PushButton*>();
    ASSERT_NE(button, nullptr);
    const QString style = button->styleSheet();
    EXPECT_EQ(button->text(), QString::fromUtf8("已安装"));
    EXPECT_FALSE(button->isEnabled());
    EXPECT_TRUE(DependsApkInstallView::isVpnApkInstalled());
    QLabel* warning = nullptr;
    for (QLabel* label : view.findChildren<QLabel*>()) {
        if (label->text() == QString::fromUtf8("检测到VPN未安装，请安装!"))
            warning = label;
    }
    ASSERT_NE(warning, nullptr);
    EXPECT_TRUE(warning->isVisible());
    EXPECT_TRUE(warning->styleSheet().contains("red"));
    EXPECT_TRUE(SettingsTestEnv::saveScreenshot(&view, "install_panel"));

    // A click, the install slot and unknown keys change nothing.
    QTest::mouseClick(button, Qt::LeftButton);
    view.onInstallApkVpn();
    EXPECT_FALSE(view.checkApk("vnc"));
    EXPECT_FALSE(view.checkApk("VPN"));
    EXPECT_EQ(button->text(), QString::fromUtf8("已安装"));
    EXPECT_FALSE(button->isEnabled());
    EXPECT_EQ(button->styleSheet(), style);
    EXPECT_TRUE(view.checkApk("vpn"));
}

} // namespace
