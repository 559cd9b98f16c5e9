#include "tarnwick/widgets/messagebox.h"

#include "tarnwick/widgets/tests/kittestsupport.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QPointer>
#include <QPushButton>

#include <gtest/gtest.h>

using KitTest::buttonWithText;
using KitTest::whenBoxOpens;

namespace {

const QString kOk = QString::fromUtf8("确认");
const QString kCancel = QString::fromUtf8("取消");

QPushButton* closeButton(MessageBox* box)
{
    for (QPushButton* b : box->findChild<QWidget*>("messageTitle")->findChildren<QPushButton*>())
        if (b->styleSheet().contains("close1.png"))
            return b;
    return nullptr;
}

// Buttons of the button row that a user can see.
int visibleRowButtons(MessageBox* box)
{
    int n = 0;
    QWidget* title = box->findChild<QWidget*>("messageTitle");
    for (QPushButton* b : box->findChildren<QPushButton*>())
        if (b->parentWidget() != title && b->isVisibleTo(box))
            ++n;
    return n;
}

QLabel* textLabel(MessageBox* box)
{
    QWidget* title = box->findChild<QWidget*>("messageTitle");
    for (QLabel* l : box->findChildren<QLabel*>())
        if (l->parentWidget() != title)
            return l;
    return nullptr;
}

struct Parent {
    Parent(int w = 800, int h = 600)
    {
        widget.resize(w, h);
        widget.move(40, 50);
        widget.show();
    }
    QWidget widget;
};

} // namespace

// Callers and stored answers rely on these numbers.
static_assert(MessageBox::Closed == -1 && MessageBox::Button1 == 0 && MessageBox::Button2 == 1
              && MessageBox::TitleClose == 2);
static_assert(MessageBox::Content == 0 && MessageBox::Information == 1 && MessageBox::Warning == 2
              && MessageBox::Question == 3);

TEST(MessageBox, InformationAnswersZeroForTheButtonAndTwoForTheTitleClose)
{
    Parent parent;
    whenBoxOpens([](MessageBox* box) { buttonWithText(box, kOk)->click(); });
    EXPECT_EQ(MessageBox::information(&parent.widget, "t", "text", kOk), MessageBox::Button1);

    whenBoxOpens([](MessageBox* box) { closeButton(box)->click(); });
    EXPECT_EQ(MessageBox::information(&parent.widget, "t", "text", kOk), MessageBox::TitleClose);
}

TEST(MessageBox, QuestionAnswersOneForTheSecondButtonAndMinusOneForAnyOtherClose)
{
    Parent parent;
    whenBoxOpens([](MessageBox* box) {
        EXPECT_EQ(visibleRowButtons(box), 2);
        buttonWithText(box, kCancel)->click();
    });
    EXPECT_EQ(MessageBox::question(&parent.widget, "t", "sure?", kOk, kCancel), MessageBox::Button2);

    whenBoxOpens([](MessageBox* box) { box->close(); });
    EXPECT_EQ(MessageBox::question(&parent.widget, "t", "sure?", kOk, kCancel), MessageBox::Closed);

    whenBoxOpens([](MessageBox* box) { box->done(MessageBox::TitleClose); });
    EXPECT_EQ(MessageBox::question(&parent.widget, "t", "sure?", kOk, kCancel), MessageBox::TitleClose);
}

TEST(MessageBox, QuestionWithAnEmptySecondTextShowsOneButton)
{
    MessageBox box(MessageBox::Question, "t", "text", kOk, QString(), nullptr);
    EXPECT_EQ(visibleRowButtons(&box), 1);
    EXPECT_EQ(buttonWithText(&box, kOk)->isVisibleTo(&box), true);
}

TEST(MessageBox, BoxWithoutButtonTextsShowsNoButtonAndStillClosesByTheTitle)
{
    Parent parent;
    whenBoxOpens([](MessageBox* box) {
        EXPECT_EQ(visibleRowButtons(box), 0);
        closeButton(box)->click();
    });
    EXPECT_EQ(MessageBox::warning(&parent.widget, "t", "text", QString()), MessageBox::TitleClose);
}

TEST(MessageBox, TypedBoxesShowTheirIconAndAWarningShowsItsTextInRed)
{
    const struct {
        MessageBox::Type type;
        const char* icon;
    } cases[] = {{MessageBox::Information, ":/pics/icon/info.png"},
                 {MessageBox::Warning, ":/pics/icon/warn.png"},
                 {MessageBox::Question, ":/pics/icon/ask2.png"}};
    for (const auto& c : cases) {
        MessageBox box(c.type, "t", "text", kOk, QString(), nullptr);
        const auto buttons = box.findChild<QWidget*>("messageTitle")->findChildren<QPushButton*>();
        ASSERT_EQ(buttons.size(), 2) << c.type;
        bool iconFound = false;
        for (QPushButton* b : buttons)
            iconFound |= b->styleSheet().contains(QString("border-image: url(\"%1\");}").arg(c.icon));
        EXPECT_TRUE(iconFound) << c.type;
        const QString red = c.type == MessageBox::Warning ? QString("color: red;") : QString();
        EXPECT_EQ(textLabel(&box)->styleSheet(), red) << c.type;
        EXPECT_EQ(textLabel(&box)->text(), "text");
    }
    // Content mode: no icon, no text.
    MessageBox content(nullptr, "t", kOk, QString());
    EXPECT_EQ(content.findChild<QWidget*>("messageTitle")->findChildren<QPushButton*>().size(), 1);
    EXPECT_EQ(textLabel(&content), nullptr) << "no text label";
}

TEST(MessageBox, ContentModeKeepsTheBoxOpenWhileTheCheckFails)
{
    Parent parent;
    MessageBox box(&parent.widget, "t", kOk, kCancel);
    box.setContentWidget(new QLabel("content"));
    bool accept = false;
    int checks = 0;
    box.setButton1Handler([&] {
        ++checks;
        return accept;
    });
    whenBoxOpens([&](MessageBox* open) {
        buttonWithText(open, kOk)->click();
        EXPECT_TRUE(open->isVisible());
        EXPECT_EQ(open->result(), -1);
        accept = true;
        buttonWithText(open, kOk)->click();
    });
    EXPECT_EQ(box.exec(), 0);
    EXPECT_EQ(checks, 2);
    EXPECT_FALSE(box.isVisible());
}

TEST(MessageBox, SettingTheContentWidgetAgainKeepsItAndANewOneDeletesTheOld)
{
    MessageBox box(nullptr, "t", kOk, QString());
    QPointer<QLabel> first = new QLabel("first");
    box.setContentWidget(first);
    EXPECT_EQ(first->parentWidget(), &box);

    box.setContentWidget(first);
    ASSERT_FALSE(first.isNull()) << "setting the same widget must not delete it";
    EXPECT_EQ(box.contentWidget(), first.data());

    QPointer<QLabel> second = new QLabel("second");
    box.setContentWidget(second);
    EXPECT_TRUE(first.isNull());
    EXPECT_EQ(box.contentWidget(), second.data());

    // A content widget that its creator deleted is not deleted twice.
    delete second;
    box.setContentWidget(new QLabel("third"));
    EXPECT_NE(box.contentWidget(), nullptr);

    box.setContentWidget(nullptr);
    EXPECT_EQ(box.contentWidget(), nullptr);
}

TEST(MessageBox, MinimumWidthIsAtLeast300AndFollowsFortyPercentOfTheReference)
{
    Parent narrow(500, 400);
    MessageBox small(MessageBox::Information, "t", "x", kOk, QString(), &narrow.widget);
    EXPECT_EQ(small.minimumWidth(), 300);
    EXPECT_EQ(small.minimumHeight(), 180);

    Parent wide(1001, 400);
    MessageBox large(MessageBox::Information, "t", "x", kOk, QString(), &wide.widget);
    EXPECT_EQ(large.minimumWidth(), 400); // 400.4 rounded

    MessageBox content(&wide.widget, "t", kOk, QString());
    EXPECT_EQ(content.minimumWidth(), 400);
}

TEST(MessageBox, ExecCentresTheBoxOnTheParent)
{
    Parent parent(800, 600);
    whenBoxOpens([&](MessageBox* box) {
        const QPoint expected = parent.widget.mapToGlobal(QPoint((800 - box->width()) / 2, (600 - box->height()) / 2));
        EXPECT_EQ(box->pos(), expected);
        EXPECT_TRUE(box->isWindow());
        EXPECT_EQ(box->windowModality(), Qt::ApplicationModal);
        EXPECT_TRUE(box->windowFlags() & Qt::FramelessWindowHint);
        box->close();
    });
    MessageBox::information(&parent.widget, "t", "text", kOk);
}

TEST(MessageBox, DraggingTheTitleMovesTheBoxButDraggingTheMiddleDoesNot)
{
    MessageBox box(MessageBox::Information, "t", "text", kOk, QString(), nullptr);
    box.move(100, 100);
    box.show();
    const auto drag = [&box](QPoint from, QPoint delta) { KitTest::dragBy(&box, from, delta); };
    const QPoint start = box.pos();
    drag(QPoint(box.width() / 2, box.height() / 2), QPoint(30, 20));
    EXPECT_EQ(box.pos(), start);

    drag(QPoint(40, 10), QPoint(30, 20));
    EXPECT_EQ(box.pos(), start + QPoint(30, 20));

    box.setTitleDraggable(false);
    drag(QPoint(40, 10), QPoint(30, 20));
    EXPECT_EQ(box.pos(), start + QPoint(30, 20));
}
