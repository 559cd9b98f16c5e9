#include "tarnwick/ui/mainwindow/mainframe.h"

#include "tarnwick/core/constants.h"
#include "tarnwick/core/devicedatas.h"
#include "tarnwick/core/globalconfig.h"
#include "tarnwick/core/logger.h"
#include "tarnwick/core/programpath.h"
#include "tarnwick/ui/mainwindow/deviceview.h"
#include "tarnwick/ui/mainwindow/tests/cloudframetest.h"
#include "tarnwick/ui/mainwindow/widgetlogin.h"
#include "tarnwick/vnc/vncviewerwindow.h"
#include "tarnwick/widgets/editlineview.h"
#include "tarnwick/widgets/messagebox.h"
#include "tarnwick/widgets/pixmaplineedit.h"
#include "tarnwick/widgets/tableview.h"
#include "tarnwick/widgets/tests/dialogdriver.h"
#include "testing/main/filesizelimit.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QPointer>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTextEdit>
#include <QTimer>

#include <gtest/gtest.h>

#include <memory>
#include <sys/stat.h>

namespace {

const QString kTrickyName = QStringLiteral("车间,\"A\"");

class MainFrameActionsTest : public CloudFrameTest {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(startAccountCloud(fake));
        fake.addDevice(cloudDevice(QStringLiteral("30300001"), kTrickyName, QStringLiteral("127.140.0.5"), 1));
        fake.addDevice(
            cloudDevice(QStringLiteral("30300002"), QStringLiteral("plain"), QStringLiteral("127.140.0.6"), 1));
        fake.addDevice(cloudDevice(QStringLiteral("30300003"), QStringLiteral("noaddress"), QString(), 1));
        ASSERT_TRUE(tools.isValid());
        ProgramPath::setBaseDir(tools.path());
        frame = std::make_unique<MainFrame>();
    }

    void TearDown() override
    {
        frame.reset();
        ProgramPath::setBaseDir(QString());
        spin(20);
    }

    // A tool beside the program that records its arguments into out.
    void makeRecordingTool(const QString& name, const QString& out)
    {
        ASSERT_TRUE(writeRecordingTool(tools.path() + QLatin1Char('/') + name, out));
    }

    QTemporaryDir tools;
};

QByteArray exportLine(int n, const QString& sn, const QString& quotedName)
{
    return QStringLiteral("%1,'%2','%3','%4',%5\n").arg(n).arg(kUser, kPassword, sn, quotedName).toUtf8();
}

} // namespace

TEST_F(MainFrameActionsTest, ExportWritesExactBytesOwnerOnlyAndImportRestoresThem)
{
    const QByteArray head = QByteArray("\xEF\xBB\xBF")
                            + QStringLiteral("序号,用户名,密码,设备编号,设备名称\n").toUtf8();
    QTemporaryDir dir;
    const QString emptyPath = dir.path() + QStringLiteral("/empty.csv");
    ASSERT_TRUE(frame->exportDeviceList(emptyPath));
    EXPECT_EQ(readWholeFile(emptyPath), head);

    login();
    DialogDriver driver;
    driver.answerFileDialog(dir.path());
    driver.answerBox(DialogDriver::kButton1);
    frame->onOperActioned(QString(), 5);
    ASSERT_EQ(driver.boxes().size(), 1);
    const QString path = dir.path() + QStringLiteral("/DeviceList.csv");
    EXPECT_EQ(driver.boxes().at(0).title, QStringLiteral("导出"));
    EXPECT_EQ(driver.boxes().at(0).text, QStringLiteral("设备列表成功导出到: \n") + path);
    ASSERT_EQ(driver.fileDialogs().size(), 1);
    EXPECT_EQ(driver.fileDialogs().at(0).windowTitle, QStringLiteral("选择导出文件夹"));

    QByteArray expected = head;
    const QList<stDeviceData> rows = frame->tableRecords();
    ASSERT_EQ(rows.size(), 3);
    for (int i = 0; i < rows.size(); ++i) {
        const QString sn = rows.at(i).deviceNo;
        const QString name = sn == QLatin1String("30300001")   ? QStringLiteral("\"'车间,\"\"A\"\"'\"")
                             : sn == QLatin1String("30300002") ? QStringLiteral("'plain'")
                                                               : QStringLiteral("'noaddress'");
        expected += exportLine(i + 1, sn, name);
    }
    EXPECT_EQ(readWholeFile(path), expected);
    struct stat info;
    ASSERT_EQ(::stat(QFile::encodeName(path).constData(), &info), 0);
    EXPECT_EQ(info.st_mode & 07777, 0600u);

    // The import of that file brings the same records into the account's list.
    EXPECT_TRUE(DeviceDatas::instance()->findByAccount(kUser, kPassword).isEmpty());
    driver.answerFileDialog(path);
    driver.answerBox(DialogDriver::kButton1);
    frame->onOperActioned(QString(), 6);
    ASSERT_EQ(driver.boxes().size(), 2);
    EXPECT_EQ(driver.boxes().at(1).title, QStringLiteral("设备导入"));
    EXPECT_EQ(driver.boxes().at(1).text, QStringLiteral("设备导入成功。"));
    const QList<stDeviceData> stored = DeviceDatas::instance()->findByAccount(kUser, kPassword);
    ASSERT_EQ(stored.size(), 3);
    for (const stDeviceData& d : stored) {
        if (d.deviceNo == QLatin1String("30300001")) {
            EXPECT_EQ(d.deviceName, kTrickyName);
        }
        EXPECT_EQ(d.userName, kUser);
        EXPECT_EQ(d.password, kPassword);
    }
}

TEST_F(MainFrameActionsTest, ImportOfAFileThatIsNoListWarnsAndAddsNothing)
{
    login();
    QTemporaryDir dir;
    const QString path = dir.path() + QStringLiteral("/other.csv");
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write("a,b,c\n" + kUser.toUtf8() + "," + kPassword.toUtf8() + ",40400004,x\n");
    file.close();
    const int before = DeviceDatas::instance()->findByAccount(kUser, kPassword).size();
    DialogDriver driver;
    driver.answerFileDialog(path);
    driver.answerBox(DialogDriver::kButton1);
    frame->onOperActioned(QString(), 6);
    ASSERT_EQ(driver.boxes().size(), 1);
    EXPECT_EQ(driver.boxes().at(0).title, QStringLiteral("设备导入"));
    EXPECT_EQ(driver.boxes().at(0).text, QStringLiteral("错误的设备文件格式, 请检查!"));
    spin(100);
    EXPECT_EQ(driver.unexpectedBoxes(), 0);
    EXPECT_EQ(DeviceDatas::instance()->findByAccount(kUser, kPassword).size(), before);
}

TEST_F(MainFrameActionsTest, ExportWhoseWriteFailsAfterTheOpenReportsTheFailure)
{
    login();
    QTemporaryDir dir;
    const QString path = dir.path() + QStringLiteral("/DeviceList.csv");
    // A file-size limit below the list's size: the open succeeds, the write does not.
    bool ok = true;
    {
        TestLimits::FileSizeLimit limit(16);
        ASSERT_TRUE(limit.active());
        ok = frame->exportDeviceList(path);
    }
    EXPECT_FALSE(ok);

    DialogDriver driver;
    {
        TestLimits::FileSizeLimit limit(16);
        ASSERT_TRUE(limit.active());
        driver.answerFileDialog(dir.path());
        driver.answerBox(DialogDriver::kButton1);
        frame->onOperActioned(QString(), 5);
    }
    ASSERT_EQ(driver.boxes().size(), 1);
    EXPECT_EQ(driver.boxes().at(0).title, QStringLiteral("错误"));
    EXPECT_EQ(driver.boxes().at(0).text, QStringLiteral("设备列表导出失败, 没有可写权限! \n") + path);

    // A folder that cannot be written fails at the open.
    EXPECT_FALSE(frame->exportDeviceList(dir.path() + QStringLiteral("/missing/DeviceList.csv")));
}

TEST_F(MainFrameActionsTest, ToolsStartWithTheAddressAsTheOnlyArgument)
{
    const QString ftpOut = tools.path() + QStringLiteral("/ftp.out");
    const QString passOut = tools.path() + QStringLiteral("/pass.out");
    makeRecordingTool(QStringLiteral("fileoperate/Brellfin"), ftpOut);
    makeRecordingTool(QStringLiteral("Quillet"), passOut);

    // Nothing chosen yet: the warnings, nothing started.
    DialogDriver driver;
    driver.answerBox(DialogDriver::kButton1);
    driver.answerBox(DialogDriver::kButton1);
    frame->onOperActioned(QString(), 14);
    frame->onOperActioned(QString(), 4);
    ASSERT_EQ(driver.boxes().size(), 2);
    EXPECT_EQ(driver.boxes().at(0).text, QStringLiteral("请先选择一个设备!"));
    EXPECT_EQ(driver.boxes().at(1).text, QStringLiteral("请先选择一个设备!"));

    login();
    choose(QStringLiteral("30300003"));
    driver.answerBox(DialogDriver::kButton1);
    driver.answerBox(DialogDriver::kButton1);
    frame->onOperActioned(QString(), 14);
    frame->onOperActioned(QString(), 3);
    ASSERT_EQ(driver.boxes().size(), 4);
    EXPECT_EQ(driver.boxes().at(2).title, QStringLiteral("错误"));
    EXPECT_EQ(driver.boxes().at(2).text, QStringLiteral("设备没有联机!"));
    EXPECT_EQ(driver.boxes().at(3).text, QStringLiteral("设备没有联机!"));
    EXPECT_EQ(frame->viewerWindow(), nullptr);
    spin(300);
    EXPECT_FALSE(QFile::exists(ftpOut));
    EXPECT_FALSE(QFile::exists(passOut));
    // The pass-through tool alone starts for a record without an address.
    frame->onOperActioned(QString(), 4);
    ASSERT_TRUE(waitUntil([&] { return readWholeFile(passOut) == QByteArray("1\n\n"); }, 10000));
    EXPECT_EQ(driver.boxes().size(), 4);
    ASSERT_TRUE(QFile::remove(passOut));

    choose(QStringLiteral("30300001"));
    frame->onOperActioned(QString(), 14);
    frame->onOperActioned(QString(), 4);
    ASSERT_TRUE(waitUntil([&] { return QFile::exists(ftpOut) && QFile::exists(passOut); }, 10000));
    EXPECT_EQ(readWholeFile(ftpOut), QByteArray("1\n127.140.0.5\n"));
    EXPECT_EQ(readWholeFile(passOut), QByteArray("1\n127.140.0.5\n"));
    EXPECT_EQ(driver.boxes().size(), 4);
}

TEST_F(MainFrameActionsTest, VncTwiceLeavesOneWindowForTheSecondAddress)
{
    login();
    choose(QStringLiteral("30300001"));
    frame->onOperActioned(QString(), 3);
    QPointer<VncViewerWindow> first = frame->viewerWindow();
    ASSERT_NE(first, nullptr);
    choose(QStringLiteral("30300002"));
    frame->onOperActioned(QString(), 3);
    ASSERT_TRUE(waitUntil(
        [&] {
            QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
            return first.isNull();
        },
        10000));
    int windows = 0;
    for (QWidget* w : QApplication::topLevelWidgets())
        windows += qobject_cast<VncViewerWindow*>(w) != nullptr ? 1 : 0;
    EXPECT_EQ(windows, 1);
    ASSERT_NE(frame->viewerWindow(), nullptr);
    EXPECT_TRUE(frame->viewerWindow()->windowTitle().contains(QStringLiteral("127.140.0.6")))
        << frame->viewerWindow()->windowTitle().toStdString();
    frame->stopVnc();
    EXPECT_EQ(frame->viewerWindow(), nullptr);
    spin(50);
}

TEST_F(MainFrameActionsTest, DebugLogShowsTheLatestLinesAsTextAndClearRemovesTheFile)
{
    Logger::instance()->appendLine(QStringLiteral("first <b>x</b>"));
    Logger::instance()->appendLine(QStringLiteral("just before the box"));

    // Reads the box's text and answers it from inside its loop.
    QString shown;
    QStringList buttons;
    MessageBox::Result answer = MessageBox::Button2;
    BoxWatcher reader(20, [&](MessageBox* box) {
        if (auto* edit = box->findChild<QTextEdit*>())
            shown = edit->toPlainText();
        buttons = DialogDriver::describe(box).buttons;
        box->done(answer);
    });
    frame->onOperActioned(QString(), 13);
    EXPECT_TRUE(shown.contains(QStringLiteral("first <b>x</b>\n"))) << shown.toStdString();
    EXPECT_TRUE(shown.contains(QStringLiteral("just before the box"))) << shown.toStdString();
    EXPECT_EQ(buttons, QStringList({QStringLiteral("清空"), QStringLiteral("关闭")}));
    EXPECT_TRUE(QFile::exists(Tarnwick::Constants::kLogFile));

    answer = MessageBox::Button1;
    shown.clear();
    frame->onOperActioned(QString(), 13);
    EXPECT_FALSE(shown.isEmpty());
    EXPECT_FALSE(QFile::exists(Tarnwick::Constants::kLogFile));
}

TEST_F(MainFrameActionsTest, SettingsBoxClosesOnlyOnAValidPortAndAboutShowsTheVersion)
{
    int clicks = 0;
    bool closedAfterBadPort = false;
    BoxWatcher driver(30, [&](MessageBox* box) {
        EditLineView* port = box->findChild<EditLineView*>(QStringLiteral("EditServerPort"));
        if (port == nullptr) {
            // An inner warning of the settings page: close it.
            box->done(MessageBox::Button1);
            return;
        }
        QPushButton* confirm = nullptr;
        for (QPushButton* b : box->findChildren<QPushButton*>())
            if (b->text() == QStringLiteral("     确认     "))
                confirm = b;
        ASSERT_NE(confirm, nullptr);
        if (clicks == 0) {
            port->setText(QStringLiteral("0"));
            ++clicks;
            QTimer::singleShot(0, confirm, &QPushButton::click);
        } else if (clicks == 1) {
            closedAfterBadPort = !box->isVisible();
            port->setText(QStringLiteral("80"));
            ++clicks;
            QTimer::singleShot(0, confirm, &QPushButton::click);
        }
    });
    frame->onSettingClicked(QString(), 10);
    driver.stop();
    EXPECT_EQ(clicks, 2);
    EXPECT_FALSE(closedAfterBadPort);
    EXPECT_EQ(GlobalConfig::instance()->serverPort(), 80);

    QStringList labels;
    DialogDriver::SeenBox about;
    BoxWatcher aboutReader(20, [&](MessageBox* box) {
        about = DialogDriver::describe(box);
        for (QLabel* l : box->contentWidget()->findChildren<QLabel*>())
            labels << l->text();
        box->done(MessageBox::Button1);
    });
    frame->onSettingClicked(QString(), 12);
    EXPECT_EQ(about.title, QStringLiteral("关于"));
    EXPECT_EQ(labels, QStringList({QStringLiteral("当前版本: V2.3"), QStringLiteral("发布日期: 2022-07-27")}));
}

TEST_F(MainFrameActionsTest, SaveStoresEveryRow)
{
    login();
    DialogDriver driver;
    driver.answerBox(DialogDriver::kButton1);
    driver.answerBox(DialogDriver::kButton1);
    frame->onOperActioned(QString(), 8);
    ASSERT_EQ(driver.boxes().size(), 2);
    EXPECT_EQ(driver.boxes().at(0).title, QStringLiteral("保存"));
    EXPECT_EQ(driver.boxes().at(0).text, QStringLiteral("将在线列表保存至本地, 确认操作吗？"));
    EXPECT_EQ(driver.boxes().at(1).text, QStringLiteral("保存至本地列表成功!"));
    QStringList stored;
    for (const stDeviceData& d : DeviceDatas::instance()->findByAccount(kUser, kPassword))
        stored << d.deviceNo;
    stored.sort();
    stored.removeDuplicates();
    EXPECT_EQ(stored,
              QStringList({QStringLiteral("30300001"), QStringLiteral("30300002"), QStringLiteral("30300003")}));
}

TEST_F(MainFrameActionsTest, HelpBoxShowsTheHelpFileWithoutButtons)
{
    QFile help(Tarnwick::Constants::kHelpFile);
    ASSERT_TRUE(help.open(QIODevice::WriteOnly));
    help.write(QStringLiteral("<h3>帮助</h3><p>first step</p>").toUtf8());
    help.close();

    QString shown;
    DialogDriver::SeenBox seen;
    QSize size;
    BoxWatcher reader(20, [&](MessageBox* box) {
        if (auto* edit = box->findChild<QTextEdit*>())
            shown = edit->toPlainText();
        seen = DialogDriver::describe(box);
        size = box->size();
        box->done(MessageBox::TitleClose);
    });
    frame->resize(1000, 500);
    frame->onOperActioned(QString(), 11);
    EXPECT_EQ(seen.title, QStringLiteral("帮助"));
    EXPECT_TRUE(seen.buttons.isEmpty()) << seen.buttons.join(' ').toStdString();
    EXPECT_TRUE(shown.contains(QStringLiteral("first step"))) << shown.toStdString();
    EXPECT_FALSE(shown.contains(QStringLiteral("<p>")));
    EXPECT_EQ(size, QSize(800, 400));
}

TEST_F(MainFrameActionsTest, ImportWithConflictingDevicesAsksAndOnlyContinueChangesTheList)
{
    login();
    stDeviceData stored;
    stored.deviceNo = QStringLiteral("50500002");
    stored.userName = kUser;
    stored.password = kPassword;
    stored.deviceName = QStringLiteral("old name");
    ASSERT_TRUE(DeviceDatas::instance()->addDevice({stored}));

    // The same device number twice: the reader reports the conflict.
    QTemporaryDir dir;
    const QString path = dir.path() + QStringLiteral("/conflict.csv");
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(QByteArray("\xEF\xBB\xBF") + QStringLiteral("序号,用户名,密码,设备编号,设备名称\n").toUtf8()
               + exportLine(1, QStringLiteral("50500001"), QStringLiteral("'first'"))
               + exportLine(2, QStringLiteral("50500001"), QStringLiteral("'again'"))
               + exportLine(3, QStringLiteral("50500002"), QStringLiteral("'new name'")));
    file.close();
    auto names = [] {
        QStringList out;
        for (const stDeviceData& d : DeviceDatas::instance()->findByAccount(kUser, kPassword))
            out << d.deviceNo + QLatin1Char('=') + d.deviceName;
        out.sort();
        return out;
    };
    const QStringList before = names();
    const QByteArray listBefore = readWholeFile(Tarnwick::Constants::kDeviceListFile);

    DialogDriver driver;
    driver.answerFileDialog(path);
    driver.answerBox(DialogDriver::kButton2);
    frame->onOperActioned(QString(), 6);
    ASSERT_EQ(driver.boxes().size(), 1);
    EXPECT_EQ(driver.boxes().at(0).title, QStringLiteral("设备导入"));
    EXPECT_EQ(driver.boxes().at(0).text, QStringLiteral("设备列表中存在冲突设备, 是否继续？"));
    EXPECT_EQ(driver.boxes().at(0).buttons, QStringList({QStringLiteral("确认"), QStringLiteral("取消")}));
    spin(100);
    EXPECT_EQ(driver.unexpectedBoxes(), 0);
    EXPECT_EQ(names(), before);
    EXPECT_EQ(readWholeFile(Tarnwick::Constants::kDeviceListFile), listBefore);

    // Continuing adds the first of the doubled device and replaces the stored one.
    driver.answerFileDialog(path);
    driver.answerBox(DialogDriver::kButton1);
    driver.answerBox(DialogDriver::kButton1);
    frame->onOperActioned(QString(), 6);
    ASSERT_EQ(driver.boxes().size(), 3);
    EXPECT_EQ(driver.boxes().at(1).text, QStringLiteral("设备列表中存在冲突设备, 是否继续？"));
    EXPECT_EQ(driver.boxes().at(2).text, QStringLiteral("设备导入成功。"));
    const QStringList after = names();
    EXPECT_TRUE(after.contains(QStringLiteral("50500001=first"))) << after.join(' ').toStdString();
    EXPECT_TRUE(after.contains(QStringLiteral("50500002=new name"))) << after.join(' ').toStdString();
    EXPECT_FALSE(after.contains(QStringLiteral("50500001=again")));
    EXPECT_FALSE(after.contains(QStringLiteral("50500002=old name")));
    EXPECT_TRUE(readWholeFile(Tarnwick::Constants::kDeviceListFile).contains("50500001"));
}
