#include "ui_mainwindow.h"

#include <gtest/gtest.h>

#include <QMainWindow>

TEST(QuilletMainForm, SetupGivesTheDefaults)
{
    QMainWindow window;
    Ui_MainWindow form;
    form.setupUi(&window);
    ASSERT_EQ(form.hmiPortcomboBox->count(), 15);
    for (int i = 0; i < 15; ++i)
        EXPECT_EQ(form.hmiPortcomboBox->itemText(i), QString("COM%1").arg(i + 1));
    EXPECT_EQ(form.hmiPortcomboBox->currentText(), "COM1");
    EXPECT_EQ(form.serverIPLineEdit->text(), "200.200.200.190");
    EXPECT_FALSE(form.stopTransferBtn->isEnabled());
    EXPECT_FALSE(form.virtualComLineEdit->isEnabled());
    EXPECT_TRUE(form.startTransferBtn->isEnabled());
    EXPECT_EQ(form.titleLabel->text(), QString(14, ' ') + QString::fromUtf8("串口穿透"));
    EXPECT_EQ(form.groupBox->title(), "PC<->HMI");
    EXPECT_EQ(window.windowTitle(), QString::fromUtf8("串口穿透"));
    EXPECT_EQ(form.installBtn->text(), QString::fromUtf8("安装"));
}
