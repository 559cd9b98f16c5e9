#include "testing/dialogdriver/dialogdriver.h"

#include "tarnwick/widgets/messagebox.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QTemporaryDir>
#include <QWidget>

TEST(DialogDriver, AnswersEachBoxWithItsQueuedButtonAndRecordsIt)
{
    QWidget page;
    page.resize(800, 600);
    DialogDriver driver;
    driver.answerBox(DialogDriver::kButton2);
    driver.answerBox(DialogDriver::kButton1);
    driver.answerBox(DialogDriver::kTitleClose);

    EXPECT_EQ(MessageBox::question(&page, QString::fromUtf8("保存"), QString::fromUtf8("确认操作吗？"),
                                   QString::fromUtf8("确认"), QString::fromUtf8("取消")),
              MessageBox::Button2);
    EXPECT_EQ(MessageBox::information(&page, "T2", "text 2", QString::fromUtf8("确认")), MessageBox::Button1);
    EXPECT_EQ(MessageBox::warning(&page, "T3", "text 3", QString::fromUtf8("确认")), MessageBox::TitleClose);

    ASSERT_EQ(driver.boxes().size(), 3);
    EXPECT_EQ(driver.boxes()[0].type, MessageBox::Question);
    EXPECT_EQ(driver.boxes()[0].title, QString::fromUtf8("保存"));
    EXPECT_EQ(driver.boxes()[0].text, QString::fromUtf8("确认操作吗？"));
    EXPECT_EQ(driver.boxes()[0].buttons, QStringList({QString::fromUtf8("确认"), QString::fromUtf8("取消")}));
    EXPECT_EQ(driver.boxes()[1].title, "T2");
    EXPECT_EQ(driver.boxes()[2].type, MessageBox::Warning);
    EXPECT_EQ(driver.unexpectedBoxes(), 0);
    EXPECT_EQ(driver.pendingAnswers(), 0);
}

TEST(DialogDriver, BoxWithoutAnswerIsClosedAndCounted)
{
    DialogDriver driver;
    EXPECT_EQ(MessageBox::information(nullptr, "T", "x", QString::fromUtf8("确认")), MessageBox::TitleClose);
    EXPECT_EQ(driver.unexpectedBoxes(), 1);
}

TEST(DialogDriver, FileDialogTakesThePathAndIsAccepted)
{
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString file = dir.filePath("list.csv");
    QFile f(file);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.close();

    QWidget page;
    DialogDriver driver;
    driver.answerFileDialog(file);
    driver.answerFileDialog(QString());
    {
        QFileDialog dialog(&page, "", "", "");
        dialog.setWindowTitle("pick");
        dialog.setNameFilters({"CSV File(*.csv)", "All Files(*.*)"});
        ASSERT_EQ(dialog.exec(), QDialog::Accepted);
        ASSERT_FALSE(dialog.selectedFiles().isEmpty());
        EXPECT_EQ(QFileInfo(dialog.selectedFiles().first()).canonicalFilePath(), QFileInfo(file).canonicalFilePath());
    }
    {
        QFileDialog dialog(&page, "", "", "");
        EXPECT_EQ(dialog.exec(), QDialog::Rejected);
    }
    ASSERT_EQ(driver.fileDialogs().size(), 2);
    EXPECT_EQ(driver.fileDialogs()[0].windowTitle, "pick");
    EXPECT_EQ(driver.fileDialogs()[0].nameFilters, QStringList({"CSV File(*.csv)", "All Files(*.*)"}));
    EXPECT_TRUE(driver.fileDialogs()[0].accepted);
    EXPECT_FALSE(driver.fileDialogs()[1].accepted);
}

TEST(DialogDriver, DirectoryDialogTakesTheFolder)
{
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    QWidget page;
    DialogDriver driver;
    driver.answerFileDialog(dir.path());
    QFileDialog dialog(&page, "", "", "");
    dialog.setFileMode(QFileDialog::Directory);
    dialog.setOption(QFileDialog::ShowDirsOnly, true);
    ASSERT_EQ(dialog.exec(), QDialog::Accepted);
    ASSERT_FALSE(dialog.selectedFiles().isEmpty());
    EXPECT_EQ(QFileInfo(dialog.selectedFiles().first()).canonicalFilePath(), QFileInfo(dir.path()).canonicalFilePath());
}
