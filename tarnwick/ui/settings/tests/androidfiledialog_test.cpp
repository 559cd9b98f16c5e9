#include "tarnwick/ui/settings/androidfiledialog.h"

#include "tarnwick/ui/settings/settingsconstants.h"
#include "tarnwick/ui/settings/tests/settingstestenv.h"
#include "tarnwick/widgets/messagebox.h"
#include "tarnwick/widgets/pixmaplabel.h"
#include "tarnwick/widgets/selectlineview.h"
#include "tarnwick/widgets/tableview.h"
#include "tarnwick/widgets/tests/dialogdriver.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

using namespace Tarnwick::Settings;

namespace {

// A storage tree: root/{alpha/, Beta/{inner.csv}, a.CSV, b.txt, c.csv} and a
// second root.
class AndroidFileDialogTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(tree.isValid());
        root = tree.filePath("external");
        other = tree.filePath("data");
        ASSERT_TRUE(QDir().mkpath(root + "/alpha"));
        ASSERT_TRUE(QDir().mkpath(root + "/Beta"));
        ASSERT_TRUE(QDir().mkpath(other));
        for (const QString& file : {root + "/a.CSV", root + "/b.txt", root + "/c.csv", root + "/Beta/inner.csv"})
            ASSERT_TRUE(SettingsTestEnv::writeBytes(file, "1,2,3,4\n"));
        for (const char* name : {kEnvAndroidData, kEnvAndroidStorage, kEnvExternalStorage})
            qunsetenv(name);
    }

    void TearDown() override
    {
        for (const char* name : {kEnvAndroidData, kEnvAndroidStorage, kEnvExternalStorage})
            qunsetenv(name);
    }

    static QStringList names(const QStringList& paths)
    {
        QStringList out;
        for (const QString& p : paths)
            out << QFileInfo(p).fileName();
        return out;
    }

    static TableView* table(AndroidFileDialog& dialog)
    {
        return dialog.dialogBox()->findChild<TableView*>(kFilesTableName);
    }

    static int rowOf(AndroidFileDialog& dialog, const QString& name)
    {
        return names(dialog.shownEntries()).indexOf(name);
    }

    QTemporaryDir tree;
    QString root;
    QString other;
};

TEST_F(AndroidFileDialogTest, ExternalStorageIsTheStartRootWhateverTheOrder)
{
    // setenv appends a new variable, so the environment keeps this order.
    qputenv(kEnvAndroidData, other.toUtf8());
    qputenv(kEnvExternalStorage, root.toUtf8());
    {
        AndroidFileDialog dialog("t");
        EXPECT_EQ(dialog.storageRoots(), QStringList({other, root}));
        EXPECT_EQ(dialog.startRootIndex(), 1);
        auto* select = dialog.dialogBox()->findChild<SelectLineView*>(kDirSelectName);
        ASSERT_NE(select, nullptr);
        EXPECT_EQ(select->currentData().toString(), root);
        EXPECT_EQ(select->currentText(), "external");
    }
    qunsetenv(kEnvAndroidData);
    qunsetenv(kEnvExternalStorage);
    qputenv(kEnvExternalStorage, root.toUtf8());
    qputenv(kEnvAndroidData, other.toUtf8());
    {
        AndroidFileDialog dialog("t");
        EXPECT_EQ(dialog.storageRoots(), QStringList({root, other}));
        EXPECT_EQ(dialog.startRootIndex(), 0);
        EXPECT_EQ(dialog.dialogBox()->findChild<SelectLineView*>(kDirSelectName)->currentData().toString(), root);
    }
}

TEST_F(AndroidFileDialogTest, WithoutStorageVariablesTheRootIsSlash)
{
    AndroidFileDialog dialog("t");
    EXPECT_EQ(dialog.storageRoots(), QStringList({"/"}));
    EXPECT_EQ(dialog.startRootIndex(), 0);
}

TEST_F(AndroidFileDialogTest, FileModeListsFoldersThenCsvFilesAndFolderModeNoFiles)
{
    AndroidFileDialog dialog("t");
    dialog.refreshDir(root);
    EXPECT_EQ(names(dialog.shownEntries()), QStringList({"alpha", "Beta", "a.CSV", "c.csv"}));
    EXPECT_EQ(table(dialog)->rowCount(), 4);
    EXPECT_EQ(table(dialog)->cellValue(2, 1).toString(), "a.CSV");
    EXPECT_EQ(dialog.shownFolder(), root);

    dialog.setSelectMode(kFolderSelectMode);
    dialog.refreshDir(root);
    EXPECT_EQ(names(dialog.shownEntries()), QStringList({"alpha", "Beta"}));
}

TEST_F(AndroidFileDialogTest, PathThatIsNoFolderChangesNothing)
{
    AndroidFileDialog dialog("t");
    dialog.refreshDir(root);
    const QStringList before = dialog.shownEntries();
    dialog.refreshDir(root + "/a.CSV");
    dialog.refreshDir(root + "/missing");
    EXPECT_EQ(dialog.shownEntries(), before);
    EXPECT_EQ(dialog.shownFolder(), root);
}

TEST_F(AndroidFileDialogTest, UpStopsAtARootAndOpenEntersOnlyFolders)
{
    qputenv(kEnvExternalStorage, root.toUtf8());
    AndroidFileDialog dialog("t");
    dialog.refreshDir(root);
    dialog.onToUpDir();
    EXPECT_EQ(dialog.shownFolder(), root);

    table(dialog)->setCurrentCell(rowOf(dialog, "a.CSV"), 1);
    dialog.onOpenDir();
    EXPECT_EQ(dialog.shownFolder(), root);
    table(dialog)->setCurrentCell(rowOf(dialog, "Beta"), 1);
    dialog.onDoubleClicked(-1); // the current row decides
    EXPECT_EQ(QFileInfo(dialog.shownFolder()).fileName(), "Beta");
    EXPECT_EQ(names(dialog.shownEntries()), QStringList({"inner.csv"}));
    dialog.onToUpDir();
    EXPECT_EQ(QFileInfo(dialog.shownFolder()).absoluteFilePath(), QFileInfo(root).absoluteFilePath());
    dialog.onToUpDir(); // a root again
    EXPECT_EQ(QFileInfo(dialog.shownFolder()).absoluteFilePath(), QFileInfo(root).absoluteFilePath());
}

TEST_F(AndroidFileDialogTest, RootWithTrailingSlashIsStillARoot)
{
    qputenv(kEnvExternalStorage, (root + "/").toUtf8());
    AndroidFileDialog dialog("t");
    QTimer::singleShot(0, [&] {
        dialog.onToUpDir();
        EXPECT_EQ(QDir::cleanPath(dialog.shownFolder()), QDir::cleanPath(root));
        dialog.dialogBox()->done(MessageBox::TitleClose);
    });
    dialog.exec();
}

TEST_F(AndroidFileDialogTest, OpenLabelShowsOnlyForFolderRows)
{
    AndroidFileDialog dialog("t");
    dialog.dialogBox()->show();
    dialog.refreshDir(root);
    auto* open = dialog.dialogBox()->findChild<PixmapLabel*>(kOpenDirName);
    ASSERT_NE(open, nullptr);
    dialog.onSelectedRow(rowOf(dialog, "alpha"));
    EXPECT_TRUE(open->isVisible());
    dialog.onSelectedRow(rowOf(dialog, "c.csv"));
    EXPECT_FALSE(open->isVisible());
    dialog.onSelectedRow(99); // no such row: unchanged
    EXPECT_FALSE(open->isVisible());
    dialog.dialogBox()->hide();
}

TEST_F(AndroidFileDialogTest, SelectEntersAFolderAndAcceptsAFile)
{
    qputenv(kEnvExternalStorage, root.toUtf8());
    AndroidFileDialog dialog("t");
    bool stayedOpen = false;
    QTimer::singleShot(0, [&] {
        table(dialog)->setCurrentCell(rowOf(dialog, "Beta"), 1);
        dialog.onSelected();
        stayedOpen = dialog.dialogBox()->isVisible();
        EXPECT_EQ(QFileInfo(dialog.shownFolder()).fileName(), "Beta");
        table(dialog)->setCurrentCell(rowOf(dialog, "inner.csv"), 1);
        dialog.onSelected();
    });
    dialog.exec();
    EXPECT_TRUE(stayedOpen);
    EXPECT_EQ(QFileInfo(dialog.selectedPath()).fileName(), "inner.csv");
    EXPECT_EQ(QFileInfo(dialog.selectedPath()).absoluteFilePath(),
              QFileInfo(root + "/Beta/inner.csv").absoluteFilePath());
}

TEST_F(AndroidFileDialogTest, FolderModeAcceptsTheSelectedFolder)
{
    qputenv(kEnvExternalStorage, root.toUtf8());
    AndroidFileDialog dialog("t");
    dialog.setSelectMode(kFolderSelectMode);
    QTimer::singleShot(0, [&] {
        table(dialog)->setCurrentCell(rowOf(dialog, "alpha"), 1);
        dialog.onSelected();
    });
    dialog.exec();
    EXPECT_EQ(QFileInfo(dialog.selectedPath()).fileName(), "alpha");
}

TEST_F(AndroidFileDialogTest, ClosingByTheTitleBarLeavesThePathEmpty)
{
    qputenv(kEnvExternalStorage, root.toUtf8());
    AndroidFileDialog dialog("t");
    DialogDriver driver;
    driver.answerBox(DialogDriver::kTitleClose);
    dialog.exec();
    EXPECT_EQ(driver.boxes().size(), 1);
    EXPECT_TRUE(dialog.selectedPath().isEmpty());
}

TEST_F(AndroidFileDialogTest, Screenshot)
{
    qputenv(kEnvExternalStorage, root.toUtf8());
    AndroidFileDialog dialog(QString::fromUtf8("选择设备文件"));
    QTimer::singleShot(0, [&] {
        QTest::qWait(50);
        EXPECT_TRUE(SettingsTestEnv::saveScreenshot(dialog.dialogBox(), "file_chooser"));
        dialog.dialogBox()->done(MessageBox::TitleClose);
    });
    dialog.exec();
}

} // namespace
