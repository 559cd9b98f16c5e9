#include "quillet/widgets/ipaddressctrl.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QTest>

namespace {

// A shown control whose fields can take the focus.
class AddressFixture : public ::testing::Test {
protected:
    void SetUp() override
    {
        ctrl.resize(240, 30);
        ctrl.show();
        ctrl.activateWindow();
        QApplication::setActiveWindow(&ctrl);
        ctrl.field(0)->setFocus();
        QApplication::processEvents();
    }
    void type(int index, const char* keys)
    {
        for (const char* k = keys; *k; ++k) {
            QWidget* target = QApplication::focusWidget() ? QApplication::focusWidget() : ctrl.field(index);
            QTest::keyClick(target, *k);
        }
    }
    QStringList fields() const
    {
        QStringList texts;
        for (int i = 0; i < 4; ++i)
            texts << ctrl.field(i)->text();
        return texts;
    }

    IPAddressCtrl ctrl;
};

} // namespace

TEST_F(AddressFixture, SetTextFillsTheFieldsAndTextJoinsThem)
{
    ctrl.setText("200.200.200.190");
    EXPECT_EQ(fields(), QStringList({"200", "200", "200", "190"}));
    EXPECT_EQ(ctrl.text(), "200.200.200.190");
}

TEST_F(AddressFixture, InvalidTextKeepsTheFields)
{
    ctrl.setText("10.1.2.3");
    for (const char* bad : {"256.1.1.1", "1.2.3", "1.2.3.4.5", "a.b.c.d", "1.2.3.4:80"}) {
        ctrl.setText(bad);
        EXPECT_EQ(ctrl.text(), "10.1.2.3") << bad;
    }
    ctrl.setText("");
    EXPECT_EQ(fields(), QStringList({"", "", "", ""}));
    EXPECT_EQ(ctrl.text(), "");
}

TEST_F(AddressFixture, EmptyFieldsReadAsZero)
{
    ctrl.field(0)->setText("1");
    ctrl.field(2)->setText("3");
    EXPECT_EQ(ctrl.text(), "1.0.3.0");
}

TEST_F(AddressFixture, ADigitThatDoesNotFitMovesToTheNextField)
{
    // "192" is full at three digits; "30" takes no third one.
    for (const char* kept : {"192", "30"}) {
        ctrl.setText("");
        ctrl.field(0)->setFocus();
        type(0, kept);
        EXPECT_EQ(ctrl.field(0)->text(), kept);
        EXPECT_EQ(QApplication::focusWidget(), ctrl.field(0)) << kept;
        type(0, "7");
        EXPECT_EQ(ctrl.field(0)->text(), kept);
        EXPECT_EQ(ctrl.field(1)->text(), "7") << kept;
        EXPECT_EQ(QApplication::focusWidget(), ctrl.field(1)) << kept;
    }
}

TEST_F(AddressFixture, NoPartAbove255EverShows)
{
    type(0, "25");
    type(0, "7");
    EXPECT_EQ(ctrl.field(0)->text(), "25");
    EXPECT_EQ(ctrl.text(), "25.0.0.0");
    // A digit typed in front of two characters neither.
    ctrl.field(0)->setCursorPosition(0);
    type(0, "9");
    EXPECT_LE(ctrl.field(0)->text().toInt(), 255);
    EXPECT_TRUE(IPAddressCtrl::isCompleteIp(ctrl.text())) << ctrl.text().toStdString();
    // 25 then 5 is still a part.
    ctrl.field(1)->setFocus();
    type(1, "255");
    EXPECT_EQ(ctrl.field(1)->text(), "255");
}

TEST_F(AddressFixture, BackspaceInAnEmptyFieldGoesToTheEndOfThePreviousOne)
{
    ctrl.field(0)->setText("12");
    ctrl.field(1)->setFocus();
    QApplication::processEvents();
    QTest::keyClick(ctrl.field(1), Qt::Key_Backspace);
    EXPECT_EQ(QApplication::focusWidget(), ctrl.field(0));
    EXPECT_EQ(ctrl.field(0)->cursorPosition(), 2);
    // Backspace in the first field stays there.
    ctrl.field(0)->setText("");
    QTest::keyClick(ctrl.field(0), Qt::Key_Backspace);
    EXPECT_EQ(QApplication::focusWidget(), ctrl.field(0));
}

TEST_F(AddressFixture, RightAtTheEndOfTheLastFieldDoesNothing)
{
    ctrl.setText("1.2.3.4");
    ctrl.field(2)->setFocus();
    ctrl.field(2)->setCursorPosition(1);
    QTest::keyClick(ctrl.field(2), Qt::Key_Right);
    EXPECT_EQ(QApplication::focusWidget(), ctrl.field(3));
    EXPECT_EQ(ctrl.field(3)->cursorPosition(), 0);
    ctrl.field(3)->setCursorPosition(1);
    QTest::keyClick(ctrl.field(3), Qt::Key_Right);
    EXPECT_EQ(QApplication::focusWidget(), ctrl.field(3));
}

TEST(QuilletIpAddress, ValidityOfWholeTexts)
{
    EXPECT_TRUE(IPAddressCtrl::isValidIp(""));
    EXPECT_FALSE(IPAddressCtrl::isCompleteIp(""));
    EXPECT_TRUE(IPAddressCtrl::isCompleteIp("0.0.0.0"));
    EXPECT_TRUE(IPAddressCtrl::isCompleteIp("255.255.255.255"));
    EXPECT_FALSE(IPAddressCtrl::isCompleteIp("257.1.1.1"));
    EXPECT_FALSE(IPAddressCtrl::isCompleteIp("1.1.1"));
    EXPECT_FALSE(IPAddressCtrl::isCompleteIp(" 1.1.1.1"));
}

TEST(QuilletIpAddress, NotEditableTakesNoFocus)
{
    IPAddressCtrl ctrl;
    ctrl.setEditable(false);
    for (int i = 0; i < 4; ++i) {
        EXPECT_TRUE(ctrl.field(i)->isReadOnly());
        EXPECT_EQ(ctrl.field(i)->focusPolicy(), Qt::NoFocus);
    }
    ctrl.setEditable(true);
    EXPECT_FALSE(ctrl.field(3)->isReadOnly());
    EXPECT_EQ(ctrl.field(3)->focusPolicy(), Qt::StrongFocus);
}
