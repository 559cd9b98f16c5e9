#include "tarnwick/widgets/tests/dialogdriver.h"

#include "tarnwick/widgets/messagebox.h"

#include "testing/main/eventwait.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QFileSystemModel>
#include <QLineEdit>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QWidget>

#include <pwd.h>
#include <unistd.h>

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

TEST(DialogDriver, AnAnswerIsTheDialogsWhateverItStartsInHasFocusOrHasLoaded)
{
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString parent = QFileInfo(dir.path()).canonicalFilePath();
    const QString out = parent + QStringLiteral("/out");
    ASSERT_TRUE(QDir().mkpath(out + QStringLiteral("/inner")));
    ASSERT_TRUE(QDir().mkpath(parent + QStringLiteral("/other")));
    const QString existing = parent + QStringLiteral("/list.csv");
    QFile file(existing);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.close();

    struct Mode {
        QFileDialog::FileMode mode;
        QString answer;
    };
    const Mode modes[] = {{QFileDialog::Directory, out},
                          {QFileDialog::ExistingFile, existing},
                          {QFileDialog::AnyFile, parent + QStringLiteral("/new.csv")}};
    const QString starts[] = {QString(), parent, out, out + QStringLiteral("/inner"),
                              parent + QStringLiteral("/other")};
    QWidget page;
    for (const Mode& mode : modes) {
        for (const QString& start : starts) {
            for (const bool focused : {false, true}) {
                for (const bool loaded : {false, true}) {
                    SCOPED_TRACE(QStringLiteral("mode %1, start \"%2\", focused %3, loaded %4")
                                     .arg(int(mode.mode))
                                     .arg(start)
                                     .arg(focused)
                                     .arg(loaded)
                                     .toStdString());
                    QFileDialog dialog(&page, QString(), start, QString());
                    dialog.setFileMode(mode.mode);
                    dialog.setViewMode(QFileDialog::Detail);
                    if (mode.mode == QFileDialog::Directory)
                        dialog.setOption(QFileDialog::ShowDirsOnly, true);
                    // Placed before the driver sees the dialog: what a person
                    // or a slow machine may have made of it by then.
                    auto* model = dialog.findChild<QFileSystemModel*>();
                    ASSERT_NE(model, nullptr);
                    bool done = false;
                    QObject::connect(model, &QFileSystemModel::directoryLoaded, [&] { done = true; });
                    dialog.show();
                    auto* name = dialog.findChild<QLineEdit*>(QStringLiteral("fileNameEdit"));
                    ASSERT_NE(name, nullptr);
                    if (focused) {
                        QApplication::setActiveWindow(&dialog);
                        name->setFocus();
                        ASSERT_TRUE(TestWait::waitUntil([&] { return name->hasFocus(); }, 10000));
                    }
                    if (loaded) {
                        ASSERT_TRUE(TestWait::waitUntil([&] { return done; }, 10000));
                    }
                    DialogDriver driver;
                    driver.answerFileDialog(mode.answer);
                    ASSERT_EQ(dialog.exec(), QDialog::Accepted);
                    ASSERT_EQ(driver.fileDialogs().size(), 1);
                    EXPECT_TRUE(driver.fileDialogs()[0].accepted);
                    EXPECT_EQ(dialog.selectedFiles().join('|').toStdString(), mode.answer.toStdString());
                    EXPECT_EQ(driver.fileDialogs()[0].selectedFiles.join('|').toStdString(), mode.answer.toStdString());
                }
            }
        }
    }
}

TEST(DialogDriver, FileDialogsKeepTheirHistoryInTheTestsOwnHome)
{
    // The test main gives every test program a home of its own, so dialogs
    // neither start from nor write into the history of whoever runs the tests.
    const QString home = QDir::homePath();
    const passwd* user = ::getpwuid(::getuid());
    ASSERT_NE(user, nullptr);
    EXPECT_NE(QFileInfo(home).canonicalFilePath(), QFileInfo(QFile::decodeName(user->pw_dir)).canonicalFilePath());
    EXPECT_TRUE(home.startsWith(QDir::tempPath() + QStringLiteral("/tw-home-"))) << home.toStdString();
    for (const char* name :
         {"XDG_CONFIG_HOME", "XDG_DATA_HOME", "XDG_STATE_HOME", "XDG_CACHE_HOME", "XDG_RUNTIME_DIR"}) {
        const QString folder = qEnvironmentVariable(name);
        EXPECT_TRUE(folder.startsWith(home + QLatin1Char('/')) && QFileInfo(folder).isDir()) << name;
    }
    const QFileDevice::Permissions others = QFileDevice::ReadGroup | QFileDevice::WriteGroup | QFileDevice::ExeGroup
                                            | QFileDevice::ReadOther | QFileDevice::WriteOther | QFileDevice::ExeOther;
    EXPECT_EQ(QFileInfo(qEnvironmentVariable("XDG_RUNTIME_DIR")).permissions() & others, QFileDevice::Permissions());
    for (const auto location : {QStandardPaths::GenericConfigLocation, QStandardPaths::GenericDataLocation,
                                QStandardPaths::GenericCacheLocation, QStandardPaths::RuntimeLocation}) {
        EXPECT_TRUE(QStandardPaths::writableLocation(location).startsWith(home + QLatin1Char('/'))) << int(location);
    }

    const QString history = qEnvironmentVariable("XDG_CONFIG_HOME") + QStringLiteral("/QtProject.conf");
    QFile::remove(history);
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    {
        QWidget page;
        DialogDriver driver;
        driver.answerFileDialog(dir.path());
        QFileDialog dialog(&page, QString(), QString(), QString());
        dialog.setFileMode(QFileDialog::Directory);
        ASSERT_EQ(dialog.exec(), QDialog::Accepted);
    }
    // The dialog wrote its history as it went, into this home.
    QFile file(history);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly)) << history.toStdString();
    EXPECT_TRUE(file.readAll().contains("[FileDialog]"));
}
