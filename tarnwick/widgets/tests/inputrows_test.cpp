#include "tarnwick/widgets/checklineview.h"
#include "tarnwick/widgets/customlineview.h"
#include "tarnwick/widgets/editlineview.h"
#include "tarnwick/widgets/itemview.h"
#include "tarnwick/widgets/pannel.h"
#include "tarnwick/widgets/pixmaplabel.h"
#include "tarnwick/widgets/pixmaplineedit.h"
#include "tarnwick/widgets/selectlineview.h"

#include "tarnwick/widgets/tests/kittestsupport.h"

#include <QBoxLayout>
#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPointer>
#include <QSignalSpy>

#include <gtest/gtest.h>

namespace {

PixmapLabel* eyeOf(EditLineView& row)
{
    return row.findChild<PixmapLabel*>("pswdIcon");
}

QLineEdit* editOf(EditLineView& row)
{
    return row.findChild<QLineEdit*>();
}

} // namespace

TEST(EditLineView, PasswordEyeMasksTheTextAndAClickShowsIt)
{
    EditLineView row("password", "secret");
    EXPECT_EQ(row.text(), "secret");
    EXPECT_TRUE(eyeOf(row)->isHidden());
    EXPECT_EQ(editOf(row)->echoMode(), QLineEdit::Normal);

    row.setPswdIconVisible(true);
    EXPECT_FALSE(eyeOf(row)->isHidden());
    EXPECT_EQ(eyeOf(row)->icon(), ":/pics/icon/eye_close.png");
    EXPECT_EQ(editOf(row)->echoMode(), QLineEdit::Password);

    eyeOf(row)->resize(16, 16);
    KitTest::click(eyeOf(row), {8, 8});
    EXPECT_EQ(eyeOf(row)->icon(), ":/pics/icon/eye_open.png");
    EXPECT_EQ(editOf(row)->echoMode(), QLineEdit::Normal);

    // While the eye shows, the password mode is the eye's to decide.
    row.setPasswordMode(true);
    EXPECT_EQ(editOf(row)->echoMode(), QLineEdit::Normal);

    KitTest::click(eyeOf(row), {8, 8});
    EXPECT_EQ(editOf(row)->echoMode(), QLineEdit::Password);

    // Showing it again changes nothing; hiding it keeps the eye's last mode.
    row.setPswdIconVisible(true);
    EXPECT_EQ(editOf(row)->echoMode(), QLineEdit::Password);
    row.setPswdIconVisible(false);
    EXPECT_EQ(editOf(row)->echoMode(), QLineEdit::Password);
    row.setPasswordMode(false);
    EXPECT_EQ(editOf(row)->echoMode(), QLineEdit::Normal);
}

TEST(EditLineView, ReadOnlyRowIgnoresTheEyeAndGreysTheBackground)
{
    EditLineView row("password", "secret");
    row.setPswdIconVisible(true);
    row.setReadOnly(true);
    EXPECT_TRUE(editOf(row)->isReadOnly());
    EXPECT_TRUE(row.lineEdit()->styleSheet().contains("background-color: rgb(245, 245, 245);"));
    eyeOf(row)->resize(16, 16);
    KitTest::click(eyeOf(row), {8, 8});
    EXPECT_EQ(editOf(row)->echoMode(), QLineEdit::Password);
    EXPECT_EQ(eyeOf(row)->icon(), ":/pics/icon/eye_close.png");

    row.setReadOnly(false);
    EXPECT_TRUE(row.lineEdit()->styleSheet().contains("background-color: white;"));
    KitTest::click(eyeOf(row), {8, 8});
    EXPECT_EQ(editOf(row)->echoMode(), QLineEdit::Normal);
}

TEST(EditLineView, RequiredStarAndCaption)
{
    EditLineView row("name", QString());
    auto* star = row.findChild<QLabel*>("labstar");
    ASSERT_NE(star, nullptr);
    EXPECT_TRUE(star->isHidden());
    EXPECT_EQ(star->text(), "*");
    row.setRequired(true);
    EXPECT_FALSE(star->isHidden());
}

TEST(PixmapLineEdit, ForwardsTextSignalsAndAnEmptyBackgroundIsTransparent)
{
    PixmapLineEdit edit;
    QSignalSpy changed(&edit, &PixmapLineEdit::textChanged);
    edit.setText("abc");
    ASSERT_EQ(changed.count(), 1);
    EXPECT_EQ(changed.at(0).at(0).toString(), "abc");
    edit.setBackground(QString());
    EXPECT_TRUE(edit.styleSheet().contains("background-color: transparent;border-radius: 4px;"));
}

TEST(SelectLineView, SignalsEveryIndexChangeWithTheCurrentData)
{
    SelectLineView row("iface");
    QSignalSpy changed(&row, &SelectLineView::selectChanged);

    row.setItems({{"eth0", 10}, {"eth1", 11}, {"wlan0", 12}});
    ASSERT_EQ(changed.count(), 1);
    EXPECT_EQ(changed.at(0).at(0).toInt(), 10);

    row.setCurrentIndex(2);
    ASSERT_EQ(changed.count(), 2);
    EXPECT_EQ(changed.at(1).at(0).toInt(), 12);
    EXPECT_EQ(row.currentText(), "wlan0");

    // Out of range: nothing changes and nothing is reported.
    row.setCurrentIndex(3);
    row.setCurrentIndex(-1);
    EXPECT_EQ(changed.count(), 2);
    EXPECT_EQ(row.currentIndex(), 2);

    row.setItem(2, "wlan1", 13);
    EXPECT_EQ(row.currentData().toInt(), 13);
    row.setItem(3, "none", 0);
    EXPECT_EQ(row.count(), 3);

    // Replacing the items reports the new first item; clearing reports an invalid value.
    row.setItems({{"lo", 1}});
    EXPECT_EQ(changed.last().at(0).toInt(), 1);
    const int before = changed.count();
    row.clear();
    ASSERT_EQ(changed.count(), before + 1);
    EXPECT_FALSE(changed.last().at(0).value<QVariant>().isValid());
}

TEST(SelectLineView, CaptionIconReplacesTheText)
{
    SelectLineView row{QString()};
    auto* caption = row.findChild<QLabel*>("labtext");
    EXPECT_TRUE(caption->isHidden());
    row.setLabelIcon(QString());
    EXPECT_TRUE(caption->isHidden()) << "a null path does nothing";
    row.setLabelIcon(":/pics/icon/networkinterface.png");
    EXPECT_FALSE(caption->isHidden());
    EXPECT_EQ(caption->size(), QSize(16, 16));
    ASSERT_FALSE(caption->pixmap(Qt::ReturnByValue).isNull());
}

TEST(CheckLineView, ReachedThroughItemViewRoundTripsItsValue)
{
    CheckLineView bare(true);
    QWidget* asWidget = &bare;
    ItemView* view = qobject_cast<ItemView*>(asWidget);
    ASSERT_NE(view, nullptr);
    EXPECT_EQ(view->value(), QVariant(true));

    QSignalSpy changed(&bare, &CheckLineView::valueChanged);
    view->setValue(false);
    EXPECT_EQ(view->value(), QVariant(false));
    view->setValue(QVariant(1));
    EXPECT_EQ(view->value(), QVariant(true));
    ASSERT_EQ(changed.count(), 2);
    EXPECT_FALSE(changed.at(0).at(0).toBool());
    EXPECT_TRUE(changed.at(1).at(0).toBool());
}

TEST(CheckLineView, BareBoxIsExactlyTheIndicatorAndATextBoxIsAtLeast100By30)
{
    CheckLineView bare(false);
    auto* box = bare.findChild<QCheckBox*>();
    EXPECT_EQ(box->minimumSize(), QSize(18, 18));
    EXPECT_EQ(box->maximumSize(), QSize(18, 18));

    CheckLineView captioned("remember", "keep password", true);
    auto* textBox = captioned.findChild<QCheckBox*>();
    EXPECT_EQ(textBox->minimumSize(), QSize(100, 30));
    EXPECT_TRUE(captioned.isChecked());
    EXPECT_EQ(captioned.findChild<QLabel*>("labtext")->text(), "remember");

    CheckLineView noCaption("keep", false);
    EXPECT_EQ(noCaption.findChild<QLabel*>("labtext"), nullptr);
}

TEST(CustomLineView, SettingTheSameOrANullWidgetChangesNothing)
{
    auto* first = new QLabel("first");
    CustomLineView row("caption", first);
    EXPECT_EQ(first->parentWidget(), &row);
    QPointer<QLabel> guard = first;

    row.setWidget(first);
    row.setWidget(nullptr);
    KitTest::flushEvents();
    ASSERT_FALSE(guard.isNull());
    EXPECT_EQ(row.widget(), first);

    auto* second = new QLabel("second");
    row.setWidget(second);
    EXPECT_EQ(row.widget(), second);
    EXPECT_EQ(second->parentWidget(), &row);
    KitTest::flushEvents();
    EXPECT_TRUE(guard.isNull());
}

TEST(CustomLineView, CaptionClicksAreRelayedAndStretchesApply)
{
    CustomLineView row("caption", new QLabel("w"));
    QSignalSpy clicked(&row, &CustomLineView::textClicked);
    auto* caption = row.findChild<PixmapLabel*>("labtext");
    ASSERT_NE(caption, nullptr);
    caption->resize(50, 20);
    KitTest::click(caption, {5, 5});
    EXPECT_EQ(clicked.count(), 1);

    row.setStretch(2, 5);
    auto* layout = static_cast<QBoxLayout*>(row.layout());
    EXPECT_EQ(layout->stretch(0), 2);
    EXPECT_EQ(layout->stretch(1), 5);
}

TEST(Pannel, CaptionSitsOnTheBorder)
{
    Pannel panel(QString::fromUtf8("服务器"));
    EXPECT_EQ(panel.objectName(), "Pannel"); // the style sheet's selector
    auto* caption = panel.findChild<QLabel*>();
    ASSERT_NE(caption, nullptr);
    EXPECT_EQ(caption->text(), QString::fromUtf8("  服务器  "));
    EXPECT_EQ(caption->pos(), QPoint(30, 0));
    EXPECT_EQ(panel.styleSheet(), "QWidget#Pannel{  border: 1px solid grey;  border-radius: 10px;  margin: 10px;}");
}
