#include "tarnwick/widgets/clicklabel.h"
#include "tarnwick/widgets/pixmaplabel.h"
#include "tarnwick/widgets/pushbutton.h"
#include "tarnwick/widgets/radiobutton.h"

#include "tarnwick/widgets/tests/kittestsupport.h"

#include <QBoxLayout>
#include <QButtonGroup>
#include <QLabel>
#include <QRadioButton>
#include <QSignalSpy>

#include <gtest/gtest.h>

namespace {

QLabel* iconOf(PixmapLabel& label)
{
    return label.findChild<QLabel*>("icon");
}

QLabel* textOf(PixmapLabel& label)
{
    return label.findChild<QLabel*>("text");
}

qint64 iconKey(PixmapLabel& label)
{
    return iconOf(label)->pixmap(Qt::ReturnByValue).cacheKey();
}

} // namespace

TEST(PushButton, DisabledLookIsGreyAndEnablingRestoresTheBlueColours)
{
    PushButton button("ok");
    EXPECT_EQ(button.minimumHeight(), 24);
    const QString blue = button.styleSheet();
    EXPECT_TRUE(blue.startsWith("QPushButton{  background-color: rgb(22, 155, 213); color: white; height: 24px;"));

    button.setButtonDisabled(true);
    EXPECT_FALSE(button.isEnabled());
    EXPECT_FALSE(button.styleSheet().contains("rgb(22, 155, 213)"));
    EXPECT_EQ(button.styleSheet().count("rgb(180, 180, 180)"), 4);

    button.setButtonDisabled(false);
    EXPECT_TRUE(button.isEnabled());
    EXPECT_EQ(button.styleSheet(), blue);
}

TEST(ClickLabel, AnyButtonReleaseIsAClick)
{
    ClickLabel label;
    label.resize(80, 20);
    QSignalSpy clicked(&label, &ClickLabel::signalClicked);
    KitTest::click(&label, Qt::RightButton);
    KitTest::click(&label);
    KitTest::release(&label, {500, 500});
    EXPECT_EQ(clicked.count(), 3);
}

TEST(PixmapLabel, ShowsOnlyWhatItWasGiven)
{
    PixmapLabel iconOnly(":/pics/icon/info.png", QString(), false);
    EXPECT_FALSE(iconOf(iconOnly)->isHidden());
    EXPECT_TRUE(textOf(iconOnly)->isHidden());
    ASSERT_FALSE(iconOf(iconOnly)->pixmap(Qt::ReturnByValue).isNull());
    EXPECT_EQ(iconOf(iconOnly)->pixmap(Qt::ReturnByValue).size(), QSize(16, 16));

    PixmapLabel textOnly(QString(), "text", true);
    EXPECT_TRUE(iconOf(textOnly)->isHidden());
    EXPECT_FALSE(textOf(textOnly)->isHidden());
    EXPECT_EQ(static_cast<QBoxLayout*>(textOnly.layout())->direction(), QBoxLayout::TopToBottom);
    EXPECT_EQ(textOnly.objectName(), "pixmapLabel");

    textOnly.setText(QString());
    EXPECT_TRUE(textOf(textOnly)->isHidden());
    iconOnly.setIcon(QString());
    EXPECT_TRUE(iconOf(iconOnly)->isHidden());
    EXPECT_TRUE(iconOnly.icon().isEmpty());
}

TEST(PixmapLabel, RedrawsOnlyWhenSizeOrEnlargementChange)
{
    PixmapLabel label(":/pics/icon/warn.png", "w", false);
    const qint64 first = iconKey(label);
    label.setIconSize(QSize(16, 16));
    EXPECT_EQ(iconKey(label), first);

    label.setIconSize(QSize(24, 24));
    EXPECT_EQ(iconOf(label)->pixmap(Qt::ReturnByValue).size(), QSize(24, 24));

    label.setIconEnlarged(true);
    EXPECT_EQ(iconOf(label)->pixmap(Qt::ReturnByValue).size(), QSize(28, 28));
    const qint64 enlarged = iconKey(label);
    label.setIconEnlarged(true);
    EXPECT_EQ(iconKey(label), enlarged);
    label.setIconEnlarged(false);
    EXPECT_EQ(iconOf(label)->pixmap(Qt::ReturnByValue).size(), QSize(24, 24));
}

TEST(PixmapLabel, LeftClickInsideEmitsAndSwapsThePressedIconMeanwhile)
{
    PixmapLabel label(":/pics/icon/import.png", ":/pics/icon/import_down.png", QString(), false);
    label.resize(40, 40);
    QSignalSpy clicked(&label, &PixmapLabel::clicked);
    const QImage normal = iconOf(label)->pixmap(Qt::ReturnByValue).toImage();

    KitTest::press(&label, {10, 10});
    EXPECT_NE(iconOf(label)->pixmap(Qt::ReturnByValue).toImage(), normal) << "the pressed picture shows while held";
    KitTest::release(&label, {10, 10});
    EXPECT_EQ(clicked.count(), 1);
    EXPECT_EQ(iconOf(label)->pixmap(Qt::ReturnByValue).toImage(), normal);

    // Released outside: the picture comes back, no click.
    KitTest::press(&label, {10, 10});
    KitTest::release(&label, {100, 10});
    EXPECT_EQ(clicked.count(), 1);
    EXPECT_EQ(iconOf(label)->pixmap(Qt::ReturnByValue).toImage(), normal);

    KitTest::click(&label, {10, 10}, Qt::RightButton);
    EXPECT_EQ(clicked.count(), 1);
}

TEST(PixmapLabel, WithoutAPressedIconThePictureNeverChangesButClicksStillCount)
{
    PixmapLabel label(":/pics/icon/file.png", "file", false);
    label.resize(60, 20);
    QSignalSpy clicked(&label, &PixmapLabel::clicked);
    const qint64 key = iconKey(label);
    KitTest::press(&label, {5, 5});
    EXPECT_EQ(iconKey(label), key);
    KitTest::release(&label, {5, 5});
    EXPECT_EQ(iconKey(label), key);
    EXPECT_EQ(clicked.count(), 1);
}

TEST(RadioButton, AClickOnTheTextSelectsTheRadioOnce)
{
    QWidget host;
    host.resize(300, 40);
    auto* radio = new RadioButton(&host);
    radio->resize(300, 40);
    radio->setText("local");
    QButtonGroup group;
    radio->addToGroup(&group, 1);
    radio->addToGroup(nullptr, 2);
    host.show();
    QSignalSpy clicked(radio, &RadioButton::signalClicked);
    auto* text = radio->findChild<ClickLabel*>();

    // Through the widget tree, as a user's click arrives: the label passes
    // the release on to the frame.
    KitTest::click(text);
    EXPECT_TRUE(radio->isChecked());
    ASSERT_EQ(clicked.count(), 1);
    EXPECT_TRUE(clicked.at(0).at(0).toBool());
    EXPECT_EQ(group.checkedId(), 1);

    // A release on the frame beside the pair selects too.
    KitTest::click(radio, {2, 2});
    EXPECT_EQ(clicked.count(), 2);
}

TEST(RadioButton, DisabledRadioIgnoresClicksOnTheTextAndTheFrame)
{
    RadioButton radio;
    radio.resize(200, 30);
    radio.setText("x");
    radio.setRadioEnabled(false);
    QSignalSpy clicked(&radio, &RadioButton::signalClicked);
    radio.slotLabelClicked();
    KitTest::click(&radio, {2, 2});
    EXPECT_FALSE(radio.isChecked());
    EXPECT_EQ(clicked.count(), 0);
    EXPECT_FALSE(radio.findChild<QRadioButton*>()->isEnabled());
    EXPECT_TRUE(radio.findChild<ClickLabel*>()->isEnabled());
}
