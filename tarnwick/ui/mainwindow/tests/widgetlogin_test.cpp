#include "tarnwick/ui/mainwindow/widgetlogin.h"

#include "platform/settings/registrysettings.h"
#include "tarnwick/core/constants.h"
#include "tarnwick/core/globalconfig.h"
#include "tarnwick/ui/mainwindow/tests/testhome.h"
#include "tarnwick/widgets/checklineview.h"
#include "tarnwick/widgets/pixmaplineedit.h"
#include "tarnwick/widgets/radiobutton.h"
#include "tarnwick/widgets/selectlineview.h"

#include <QLabel>
#include <QPushButton>
#include <QSettings>
#include <QSignalSpy>

#include <gtest/gtest.h>

namespace {

class WidgetLoginTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() { useTemporaryHome(); }
    void TearDown() override { WidgetLogin::setInterfaceLister({}); }

    static QPushButton* button(WidgetLogin& form, const QString& text)
    {
        for (QPushButton* b : form.findChildren<QPushButton*>())
            if (b->text() == text)
                return b;
        return nullptr;
    }
    static QList<PixmapLineEdit*> edits(WidgetLogin& form) { return form.findChildren<PixmapLineEdit*>(); }
    static QList<RadioButton*> radios(WidgetLogin& form) { return form.findChildren<RadioButton*>(); }
    static QLabel* statusLabel(WidgetLogin& form)
    {
        for (QLabel* label : form.findChildren<QLabel*>())
            if (label->styleSheet().contains(QStringLiteral("color:rgb(22, 155, 213)")))
                return label;
        return nullptr;
    }
};

} // namespace

TEST_F(WidgetLoginTest, LoginClickEmitsOnceUntilFinished)
{
    WidgetLogin form;
    QSignalSpy spy(&form, &WidgetLogin::loginAction);
    edits(form).at(0)->setText(QStringLiteral("abcdef"));
    edits(form).at(1)->setText(QStringLiteral("secret1"));
    QPushButton* login = button(form, QStringLiteral("登录"));
    ASSERT_NE(login, nullptr);
    login->click();
    login->click();
    ASSERT_EQ(spy.count(), 1);
    EXPECT_EQ(spy.at(0).at(0).toString(), "abcdef");
    EXPECT_EQ(spy.at(0).at(1).toString(), "secret1");
    EXPECT_EQ(spy.at(0).at(2).toInt(), 0);
    EXPECT_FALSE(form.isReady());
    for (RadioButton* radio : radios(form))
        EXPECT_FALSE(radio->isRadioEnabled());

    form.slotLoginFinished();
    EXPECT_TRUE(form.isReady());
    for (RadioButton* radio : radios(form))
        EXPECT_TRUE(radio->isRadioEnabled());
    // Empty texts go on as they are.
    edits(form).at(0)->setText(QString());
    login->click();
    ASSERT_EQ(spy.count(), 2);
    EXPECT_EQ(spy.at(1).at(0).toString(), QString());
}

TEST_F(WidgetLoginTest, SearchWithoutInterfaceEmitsNothing)
{
    WidgetLogin::setInterfaceLister([] { return QStringList(); });
    WidgetLogin form;
    QSignalSpy spy(&form, &WidgetLogin::localDebugAction);
    button(form, QStringLiteral("搜索"))->click();
    EXPECT_EQ(spy.count(), 0);
    EXPECT_TRUE(form.isReady());
}

TEST_F(WidgetLoginTest, SearchThenRepeatedCancels)
{
    WidgetLogin::setInterfaceLister([] { return QStringList{QStringLiteral("eth0"), QStringLiteral("以太网")}; });
    WidgetLogin form;
    QSignalSpy start(&form, &WidgetLogin::localDebugAction);
    QSignalSpy cancel(&form, &WidgetLogin::localDebugActionCancel);
    QPushButton* search = button(form, QStringLiteral("搜索"));
    search->click();
    ASSERT_EQ(start.count(), 1);
    // Nothing remembered: the interface named Ethernet is chosen.
    EXPECT_EQ(start.at(0).at(0).toString(), QStringLiteral("以太网"));
    EXPECT_EQ(start.at(0).at(1).toString(), QString());
    EXPECT_EQ(search->text(), QStringLiteral("取消搜索"));
    EXPECT_EQ(statusLabel(form)->text(), QStringLiteral("搜索中..."));
    search->click();
    search->click();
    EXPECT_EQ(cancel.count(), 2);
    EXPECT_EQ(start.count(), 1);
    EXPECT_FALSE(form.isReady());
    form.slotLoginFinished();
    EXPECT_EQ(search->text(), QStringLiteral("搜索"));
    EXPECT_EQ(statusLabel(form)->text(), QString());
    search->click();
    EXPECT_EQ(start.count(), 2);
}

TEST_F(WidgetLoginTest, InterfaceChoice)
{
    const QStringList names{QStringLiteral("eth0"), QStringLiteral("以太网"), QStringLiteral("wlan0")};
    EXPECT_EQ(WidgetLogin::pickInterface(names, QString()), 1);
    EXPECT_EQ(WidgetLogin::pickInterface(names, QStringLiteral("wlan0")), 2);
    // A remembered name that disappeared gives the first, not Ethernet.
    EXPECT_EQ(WidgetLogin::pickInterface(names, QStringLiteral("gone")), 0);
    EXPECT_EQ(WidgetLogin::pickInterface({QStringLiteral("eth0")}, QString()), 0);
    EXPECT_EQ(WidgetLogin::pickInterface({}, QString()), -1);

    // Choosing the local tab refreshes the list and keeps the selection.
    QStringList current{QStringLiteral("eth0"), QStringLiteral("wlan0")};
    WidgetLogin::setInterfaceLister([&current] { return current; });
    WidgetLogin form;
    SelectLineView* select = form.findChild<SelectLineView*>();
    ASSERT_NE(select, nullptr);
    select->setCurrentIndex(1);
    current = QStringList{QStringLiteral("usb0"), QStringLiteral("wlan0"), QStringLiteral("eth0")};
    RadioButton* local = radios(form).at(1);
    local->slotLabelClicked();
    EXPECT_EQ(select->count(), 3);
    EXPECT_EQ(select->currentText(), "wlan0");
    // The remote tab does not refresh.
    current = QStringList{QStringLiteral("x0")};
    radios(form).at(0)->slotLabelClicked();
    EXPECT_EQ(select->count(), 3);
}

TEST_F(WidgetLoginTest, SaveSettingsWithoutRememberStoresNoCredentials)
{
    WidgetLogin form;
    edits(form).at(0)->setText(QStringLiteral("someuser"));
    edits(form).at(1)->setText(QStringLiteral("pw123456"));
    form.findChild<CheckLineView*>()->setChecked(false);
    form.saveSettings();
    QSettings ini(RegistrySettings::fileNameFor(Tarnwick::Constants::kSettingsPath), QSettings::IniFormat);
    EXPECT_EQ(ini.value(QStringLiteral("keeppswd")).toBool(), false);
    EXPECT_EQ(ini.value(QStringLiteral("username")).toString(), QString());
    EXPECT_EQ(ini.value(QStringLiteral("password")).toString(), QString());
    EXPECT_FALSE(GlobalConfig::instance()->keepPswd());

    form.findChild<CheckLineView*>()->setChecked(true);
    form.saveSettings();
    QSettings again(RegistrySettings::fileNameFor(Tarnwick::Constants::kSettingsPath), QSettings::IniFormat);
    EXPECT_EQ(again.value(QStringLiteral("username")).toString(), "someuser");

    WidgetLogin other;
    other.loadSettings();
    EXPECT_EQ(edits(other).at(0)->text(), "someuser");
    EXPECT_EQ(edits(other).at(1)->text(), "pw123456");
    EXPECT_TRUE(other.findChild<CheckLineView*>()->isChecked());
}
