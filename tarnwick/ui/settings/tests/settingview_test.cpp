#include "tarnwick/ui/settings/settingview.h"

#include "platform/settings/registrysettings.h"
#include "tarnwick/core/constants.h"
#include "tarnwick/core/devicedatas.h"
#include "tarnwick/core/globalconfig.h"
#include "tarnwick/core/logger.h"
#include "tarnwick/ui/settings/settingsconstants.h"
#include "tarnwick/ui/settings/tests/settingstestenv.h"
#include "tarnwick/widgets/editlineview.h"
#include "tarnwick/widgets/messagebox.h"
#include "tarnwick/widgets/pixmaplineedit.h"
#include "tarnwick/widgets/pushbutton.h"
#include "tarnwick/widgets/radiobutton.h"
#include "tarnwick/widgets/tests/dialogdriver.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QLabel>
#include <QPushButton>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

namespace C = Tarnwick::Constants;
using namespace Tarnwick::Settings;

namespace {

QString u(const char* text)
{
    return QString::fromUtf8(text);
}

stDeviceData cloudDevice(const QString& no, const QString& name)
{
    stDeviceData d;
    d.userName = QStringLiteral("user-") + no;
    d.password = QStringLiteral("pw,\"") + no; // a comma and a quote survive the round trip
    d.deviceNo = no;
    d.deviceName = name;
    d.iccid = QStringLiteral("8986") + no;
    return d;
}

stDeviceData localDevice(const QString& no, const QString& name, const QString& ip)
{
    stDeviceData d;
    d.deviceNo = no;
    d.deviceName = name;
    d.ipAddress = ip;
    return d;
}

class SettingViewTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        work = SettingsTestEnv::prepare();
        QFile::remove(C::kDeviceListFile);
        QFile::remove(C::kLocalDeviceListFile);
        ASSERT_TRUE(DeviceDatas::writeCloudListCsv(C::kDeviceListFile, {cloudDevice("A1", "old-a")}));
        ASSERT_TRUE(DeviceDatas::writeLocalListCsv(C::kLocalDeviceListFile, {localDevice("L1", u("旧面板"), "10.0.0.1"),
                                                                             localDevice("L2", "p2", "10.0.0.2")}));
        DeviceDatas::instance()->loadDevices(C::kDeviceListFile);
        ASSERT_TRUE(DeviceDatas::instance()->loadLocalDevices(C::kLocalDeviceListFile));
        GlobalConfig* config = GlobalConfig::instance();
        config->setServer(QStringLiteral("127.130.0.1"));
        config->setServerPort(8080);
        config->setServerPswd(QStringLiteral("secret"));
        ASSERT_TRUE(config->save());
        ASSERT_TRUE(files.isValid());
    }

    template <typename T>
    T* child(SettingView& view, const char* name)
    {
        T* w = view.findChild<T*>(QString::fromLatin1(name));
        EXPECT_NE(w, nullptr) << name;
        return w;
    }

    void setPort(SettingView& view, const QString& text)
    {
        child<EditLineView>(view, kEditServerPortName)->setText(text);
    }

    QString storedValue(const QString& key)
    {
        RegistrySettings settings(C::kSettingsPath);
        return settings.value(key).toString();
    }

    // Chooses the file through the page's import icon with the radio of the
    // given kind; the replace question is answered with answer.
    void chooseImport(SettingView& view, bool remote, const QString& path,
                      MessageBox::Result answer = DialogDriver::kButton1)
    {
        child<RadioButton>(view, remote ? kRemoteBtnName : kLocalBtnName)->setChecked(true);
        driver.answerFileDialog(path);
        driver.answerBox(answer);
        view.onImportFile();
    }

    QString work;
    QTemporaryDir files;
    DialogDriver driver;
};

TEST_F(SettingViewTest, PageShowsTheStoredSettingsAndItsTexts)
{
    SettingView view;
    EXPECT_EQ(child<EditLineView>(view, kEditServerName)->text(), "127.130.0.1");
    EXPECT_EQ(child<EditLineView>(view, kEditServerPortName)->text(), "8080");
    EXPECT_EQ(child<EditLineView>(view, kEditServerPswdName)->text(), "secret");
    EXPECT_EQ(child<PushButton>(view, kServerTestName)->text(), u(" 测试 "));
    EXPECT_TRUE(child<RadioButton>(view, kRemoteBtnName)->isChecked());
    EXPECT_FALSE(child<RadioButton>(view, kLocalBtnName)->isChecked());
    EXPECT_EQ(child<RadioButton>(view, kRemoteBtnName)->text(), u("远程调试"));
    EXPECT_EQ(child<RadioButton>(view, kLocalBtnName)->text(), u("本地调试"));
    EXPECT_TRUE(child<EditLineView>(view, kImportFileName)->text().isEmpty());
    // The installed app greys its button.
    EXPECT_EQ(child<PushButton>(view, kButtonAppVpnName)->text(), u("已安装"));
    EXPECT_FALSE(child<PushButton>(view, kButtonAppVpnName)->isEnabled());
    EXPECT_FALSE(view.updateAppButton("vnc"));
    EXPECT_FALSE(view.updateAppButton("VPN"));
    EXPECT_TRUE(view.updateAppButton("vpn"));
}

TEST_F(SettingViewTest, ImportTimeOfBlanksShowsNone)
{
    {
        RegistrySettings settings(C::kSettingsPath);
        settings.setValue(C::kKeyImportTime, "   ");
    }
    GlobalConfig::instance()->load();
    SettingView view;
    EXPECT_EQ(child<QLabel>(view, kImportTimeName)->text(), u("无"));
}

TEST_F(SettingViewTest, PortTextsInRangeAreStored)
{
    const QVector<QPair<QString, int>> accepted{{"1", 1}, {"65535", 65535}, {" 80", 80}};
    for (const auto& c : accepted) {
        SettingView view;
        setPort(view, c.first);
        child<EditLineView>(view, kEditServerPswdName)->setText(QStringLiteral(" pw x "));
        EXPECT_TRUE(view.saveSettings()) << c.first.toStdString();
        EXPECT_EQ(GlobalConfig::instance()->serverPort(), c.second);
        EXPECT_EQ(GlobalConfig::instance()->serverPswd(), " pw x "); // as typed
        EXPECT_EQ(storedValue(C::kKeyServerPort), QString::number(c.second));
        EXPECT_EQ(storedValue(C::kKeyServer), "127.130.0.1");
        EXPECT_EQ(storedValue(C::kKeyServerPswd), " pw x ");
    }
    EXPECT_TRUE(driver.boxes().isEmpty());
}

TEST_F(SettingViewTest, PortTextsOutOfRangeAreRefusedAndNothingIsStored)
{
    const QByteArray before = SettingsTestEnv::readBytes(RegistrySettings::fileNameFor(C::kSettingsPath));
    ASSERT_FALSE(before.isEmpty());
    for (const QString& text : {QStringLiteral("0"), QStringLiteral("65536"), QStringLiteral("080"),
                                QStringLiteral("abc"), QStringLiteral("+80"), QString()}) {
        SettingView view;
        setPort(view, text);
        child<EditLineView>(view, kEditServerName)->setText("127.130.0.77");
        driver.answerBox(DialogDriver::kButton1);
        EXPECT_FALSE(view.saveSettings()) << text.toStdString();
        ASSERT_FALSE(driver.boxes().isEmpty());
        EXPECT_EQ(driver.boxes().last().type, MessageBox::Warning);
        EXPECT_EQ(driver.boxes().last().title, u("错误"));
        EXPECT_EQ(driver.boxes().last().text, u("服务端口有效范围为1~65535的整数!"));
        EXPECT_EQ(GlobalConfig::instance()->server(), "127.130.0.1");
        EXPECT_EQ(GlobalConfig::instance()->serverPort(), 8080);
    }
    EXPECT_EQ(SettingsTestEnv::readBytes(RegistrySettings::fileNameFor(C::kSettingsPath)), before);
    EXPECT_EQ(driver.unexpectedBoxes(), 0);
}

// The box's button runs saveSettings() inside its click, so the warning opens
// from that click: two timers of the test's own stand in for the user (the
// dialog driver cannot answer a box opened from its own answer).
TEST(SettingsBox, RefusedPortKeepsTheBoxOpen)
{
    SettingsTestEnv::prepare();
    GlobalConfig::instance()->setServerPort(8080);
    auto* view = new SettingView;
    view->findChild<EditLineView*>(kEditServerPortName)->setText("65536");
    MessageBox box(nullptr, u("设置"), u("     确认     "), QString());
    box.setContentWidget(view);
    box.setButton1Handler([view] { return view->saveSettings(); });

    QVector<DialogDriver::SeenBox> warnings;
    QTimer answer;
    answer.setInterval(10);
    QObject::connect(&answer, &QTimer::timeout, [&] {
        for (QWidget* w : QApplication::topLevelWidgets()) {
            auto* shown = qobject_cast<MessageBox*>(w);
            if (shown == nullptr || shown == &box || !shown->isVisible())
                continue;
            warnings << DialogDriver::describe(shown);
            shown->done(MessageBox::Button1);
        }
    });
    answer.start();
    bool openAfterWarning = false;
    QTimer::singleShot(20, [&] {
        for (QPushButton* button : box.findChildren<QPushButton*>(QString(), Qt::FindDirectChildrenOnly)) {
            if (button->text() == u("     确认     "))
                button->click(); // returns once the warning is answered
        }
        openAfterWarning = box.isVisible();
        box.done(MessageBox::TitleClose);
    });
    EXPECT_EQ(box.exec(), MessageBox::TitleClose);
    EXPECT_TRUE(openAfterWarning);
    ASSERT_EQ(warnings.size(), 1);
    EXPECT_EQ(warnings[0].text, u("服务端口有效范围为1~65535的整数!"));
    EXPECT_EQ(GlobalConfig::instance()->serverPort(), 8080);
}

TEST_F(SettingViewTest, EmptyServerIsStoredAfterTheNotice)
{
    SettingView view;
    child<EditLineView>(view, kEditServerName)->setText("   ");
    setPort(view, "9000");
    driver.answerBox(DialogDriver::kButton1);
    EXPECT_TRUE(view.saveSettings());
    ASSERT_EQ(driver.boxes().size(), 1);
    EXPECT_EQ(driver.boxes()[0].type, MessageBox::Information);
    EXPECT_EQ(driver.boxes()[0].title, u("消息"));
    EXPECT_EQ(driver.boxes()[0].text, u("服务地址为空, 将重置为默认地址!"));
    EXPECT_EQ(GlobalConfig::instance()->server(), "");
    EXPECT_EQ(storedValue(C::kKeyServer), "");
    EXPECT_EQ(storedValue(C::kKeyServerPort), "9000");
}

TEST_F(SettingViewTest, ImportFileOfTheWrongKindIsRefusedWhenChosen)
{
    const QString localFile = files.filePath("local.csv");
    const QString cloudFile = files.filePath("cloud.csv");
    ASSERT_TRUE(DeviceDatas::writeLocalListCsv(localFile, {localDevice("N1", "n1", "10.1.0.1")}));
    ASSERT_TRUE(DeviceDatas::writeCloudListCsv(cloudFile, {cloudDevice("B1", "b1")}));
    const QByteArray cloudBefore = SettingsTestEnv::readBytes(C::kDeviceListFile);
    const QByteArray localBefore = SettingsTestEnv::readBytes(C::kLocalDeviceListFile);

    SettingView view;
    chooseImport(view, true, localFile);
    chooseImport(view, false, cloudFile);

    ASSERT_EQ(driver.boxes().size(), 2);
    for (const DialogDriver::SeenBox& seen : driver.boxes()) {
        EXPECT_EQ(seen.type, MessageBox::Warning);
        EXPECT_EQ(seen.title, u("设备导入"));
        EXPECT_EQ(seen.text, u("错误的设备文件格式, 请检查!"));
    }
    ASSERT_EQ(driver.fileDialogs().size(), 2);
    EXPECT_EQ(driver.fileDialogs()[0].windowTitle, u("选择导入的CSV文件"));
    EXPECT_EQ(driver.fileDialogs()[0].nameFilters, QStringList({"CSV File(*.csv)", "All Files(*.*)"}));
    EXPECT_TRUE(child<EditLineView>(view, kImportFileName)->text().isEmpty());
    setPort(view, "8080");
    EXPECT_TRUE(view.saveSettings());
    EXPECT_EQ(SettingsTestEnv::readBytes(C::kDeviceListFile), cloudBefore);
    EXPECT_EQ(SettingsTestEnv::readBytes(C::kLocalDeviceListFile), localBefore);
    EXPECT_EQ(DeviceDatas::instance()->count(), 1);
}

TEST_F(SettingViewTest, CloudImportReplacesTheListAndSetsTheImportTime)
{
    const QString cloudFile = files.filePath("cloud.csv");
    ASSERT_TRUE(DeviceDatas::writeCloudListCsv(cloudFile, {cloudDevice("B1", u("新一")), cloudDevice("B2", "b2")}));
    {
        RegistrySettings settings(C::kSettingsPath);
        settings.setValue(C::kKeyImportTime, "");
    }
    GlobalConfig::instance()->load();

    SettingView view;
    chooseImport(view, true, cloudFile);
    ASSERT_EQ(driver.boxes().size(), 1);
    EXPECT_EQ(driver.boxes()[0].type, MessageBox::Question);
    EXPECT_EQ(driver.boxes()[0].text, u("保存时，原有设备文件将被替换, 是否继续?"));
    EXPECT_EQ(child<EditLineView>(view, kImportFileName)->text(), cloudFile);
    // Chosen but not imported before the box is confirmed.
    EXPECT_EQ(DeviceDatas::instance()->count(), 1);

    const QDateTime before = QDateTime::currentDateTime().addSecs(-1);
    EXPECT_TRUE(view.saveSettings());
    const QList<stDeviceData> devices = DeviceDatas::instance()->devices();
    ASSERT_EQ(devices.size(), 2);
    EXPECT_EQ(devices[0].deviceNo, "B1");
    EXPECT_EQ(devices[0].deviceName, u("新一"));
    EXPECT_EQ(SettingsTestEnv::readBytes(C::kDeviceListFile), SettingsTestEnv::readBytes(cloudFile));
    const QDateTime stamped = QDateTime::fromString(GlobalConfig::instance()->importTime(),
                                                    QStringLiteral("yyyy/MM/dd hh:mm:ss"));
    ASSERT_TRUE(stamped.isValid()) << GlobalConfig::instance()->importTime().toStdString();
    EXPECT_GE(stamped, before.addSecs(-1));
}

TEST_F(SettingViewTest, MainWindowExportImportedKeepsEveryField)
{
    const QString exportFile = files.filePath("export.csv");
    stDeviceData one = cloudDevice("E1", u("面板,一"));
    stDeviceData two = cloudDevice("E2", "panel \"two\"");
    ASSERT_TRUE(DeviceDatas::writeExportCsv(exportFile, {one, two}));

    SettingView view;
    chooseImport(view, true, exportFile);
    ASSERT_EQ(driver.boxes().size(), 1);
    ASSERT_EQ(driver.boxes()[0].type, MessageBox::Question);
    EXPECT_TRUE(view.saveSettings());
    const QList<stDeviceData> devices = DeviceDatas::instance()->devices();
    ASSERT_EQ(devices.size(), 2);
    for (int i = 0; i < 2; ++i) {
        const stDeviceData& want = i == 0 ? one : two;
        EXPECT_EQ(devices[i].userName, want.userName);
        EXPECT_EQ(devices[i].password, want.password);
        EXPECT_EQ(devices[i].deviceNo, want.deviceNo);
        EXPECT_EQ(devices[i].deviceName, want.deviceName);
    }
}

TEST_F(SettingViewTest, LocalImportReplacesTheSavedList)
{
    const QString localFile = files.filePath("local.csv");
    ASSERT_TRUE(DeviceDatas::writeLocalListCsv(localFile, {localDevice("N1", "n1", "10.1.0.1")}));
    SettingView view;
    chooseImport(view, false, localFile);
    EXPECT_TRUE(view.importDevices());
    ASSERT_EQ(DeviceDatas::instance()->localDevices().size(), 1);
    EXPECT_EQ(DeviceDatas::instance()->localDevices()[0].ipAddress, "10.1.0.1");
    EXPECT_EQ(SettingsTestEnv::readBytes(C::kLocalDeviceListFile), SettingsTestEnv::readBytes(localFile));
}

TEST_F(SettingViewTest, LocalClashAnsweredCancelLeavesFileAndMemoryAsTheyWere)
{
    const QString clashFile = files.filePath("clash.csv");
    ASSERT_TRUE(DeviceDatas::writeLocalListCsv(
        clashFile, {localDevice("N1", "n1", "10.1.0.1"), localDevice("N2", "n2", "10.1.0.1")}));
    const QByteArray fileBefore = SettingsTestEnv::readBytes(C::kLocalDeviceListFile);
    const QVector<stDeviceData> memoryBefore = DeviceDatas::instance()->localDevices();

    for (bool fileMissing : {false, true}) {
        if (fileMissing) {
            ASSERT_TRUE(QFile::remove(C::kLocalDeviceListFile));
        }
        SettingView view;
        chooseImport(view, false, clashFile);
        const int seen = driver.boxes().size();
        driver.answerBox(DialogDriver::kButton2); // "取消"
        EXPECT_TRUE(view.saveSettings());         // the server settings are still saved
        ASSERT_EQ(driver.boxes().size(), seen + 1);
        EXPECT_EQ(driver.boxes().last().text, u("设备列表中存在冲突设备, 是否继续？"));
        EXPECT_EQ(driver.boxes().last().buttons, QStringList({u("确认"), u("取消")}));

        if (fileMissing) {
            EXPECT_FALSE(QFile::exists(C::kLocalDeviceListFile));
        } else {
            EXPECT_EQ(SettingsTestEnv::readBytes(C::kLocalDeviceListFile), fileBefore);
        }
        const QVector<stDeviceData> memory = DeviceDatas::instance()->localDevices();
        ASSERT_EQ(memory.size(), memoryBefore.size()) << "file missing: " << fileMissing;
        for (int i = 0; i < memory.size(); ++i) {
            EXPECT_EQ(memory[i].deviceNo, memoryBefore[i].deviceNo);
            EXPECT_EQ(memory[i].deviceName, memoryBefore[i].deviceName);
            EXPECT_EQ(memory[i].ipAddress, memoryBefore[i].ipAddress);
        }
    }
}

TEST_F(SettingViewTest, LocalClashConfirmedSavesTheFirstOfEachClash)
{
    const QString clashFile = files.filePath("clash.csv");
    ASSERT_TRUE(DeviceDatas::writeLocalListCsv(
        clashFile, {localDevice("N1", "n1", "10.1.0.1"), localDevice("N2", "n2", "10.1.0.1")}));
    SettingView view;
    chooseImport(view, false, clashFile);
    driver.answerBox(DialogDriver::kButton1);
    EXPECT_TRUE(view.importDevices());
    ASSERT_EQ(DeviceDatas::instance()->localDevices().size(), 1);
    DeviceDatas check{DeviceDatas::Empty{}};
    ASSERT_TRUE(check.loadLocalDevices(C::kLocalDeviceListFile));
    ASSERT_EQ(check.localDevices().size(), 1);
    EXPECT_EQ(check.localDevices()[0].deviceNo, "N1");
}

TEST_F(SettingViewTest, FileChosenInABoxThatIsClosedImportsNothing)
{
    const QString cloudFile = files.filePath("cloud.csv");
    ASSERT_TRUE(DeviceDatas::writeCloudListCsv(cloudFile, {cloudDevice("B1", "b1"), cloudDevice("B2", "b2")}));
    const QByteArray before = SettingsTestEnv::readBytes(C::kDeviceListFile);
    const QString importTime = GlobalConfig::instance()->importTime();

    auto* view = new SettingView;
    chooseImport(*view, true, cloudFile);
    ASSERT_EQ(view->findChild<EditLineView*>(kImportFileName)->text(), cloudFile);
    MessageBox box(nullptr, u("设置"), u("     确认     "), QString());
    box.setContentWidget(view);
    box.setButton1Handler([view] { return view->saveSettings(); });
    driver.answerBox(DialogDriver::kTitleClose);
    EXPECT_EQ(box.exec(), MessageBox::TitleClose);

    EXPECT_EQ(SettingsTestEnv::readBytes(C::kDeviceListFile), before);
    EXPECT_EQ(DeviceDatas::instance()->count(), 1);
    EXPECT_EQ(GlobalConfig::instance()->importTime(), importTime);
}

TEST_F(SettingViewTest, CloudExportWithoutDevicesFailsBeforeAnyDialog)
{
    DeviceDatas::instance()->loadDevices(files.filePath("no-such.csv")); // unreadable: list kept
    ASSERT_TRUE(DeviceDatas::writeCloudListCsv(files.filePath("empty.csv"), {}));
    DeviceDatas::instance()->loadDevices(files.filePath("empty.csv"));
    ASSERT_EQ(DeviceDatas::instance()->count(), 0);
    SettingView view;
    driver.answerBox(DialogDriver::kButton1);
    view.onExportFile();
    ASSERT_EQ(driver.boxes().size(), 1);
    EXPECT_EQ(driver.boxes()[0].title, u("错误"));
    EXPECT_EQ(driver.boxes()[0].text, u("设备列表导出失败, 没有任何设备信息!"));
    EXPECT_TRUE(driver.fileDialogs().isEmpty());
}

TEST_F(SettingViewTest, ExportsEqualTheirDataFilesAndReplaceOldFiles)
{
    const QString folder = files.filePath("out");
    ASSERT_TRUE(QDir().mkpath(folder));
    ASSERT_TRUE(SettingsTestEnv::writeBytes(folder + "/DeviceList.csv", "stale bytes, longer than the list\n"));
    ASSERT_TRUE(SettingsTestEnv::writeBytes(folder + "/LocalDeviceList.csv", "stale"));

    SettingView view;
    driver.answerFileDialog(folder);
    driver.answerBox(DialogDriver::kButton1);
    view.onExportFile();
    child<RadioButton>(view, kLocalBtnName)->setChecked(true);
    driver.answerFileDialog(folder);
    driver.answerBox(DialogDriver::kButton1);
    view.onExportFile();

    ASSERT_EQ(driver.fileDialogs().size(), 2);
    EXPECT_EQ(driver.fileDialogs()[0].windowTitle, u("选择导出文件夹"));
    EXPECT_EQ(driver.fileDialogs()[0].fileMode, int(QFileDialog::Directory));
    ASSERT_EQ(driver.boxes().size(), 2);
    EXPECT_EQ(driver.boxes()[0].title, u("导出"));
    EXPECT_EQ(driver.boxes()[0].text, u("设备列表成功导出到: \n") + folder + "/DeviceList.csv");
    EXPECT_EQ(driver.boxes()[1].text, u("设备列表成功导出到: \n") + folder + "/LocalDeviceList.csv");
    EXPECT_EQ(SettingsTestEnv::readBytes(folder + "/DeviceList.csv"), SettingsTestEnv::readBytes(C::kDeviceListFile));
    EXPECT_EQ(SettingsTestEnv::readBytes(folder + "/LocalDeviceList.csv"),
              SettingsTestEnv::readBytes(C::kLocalDeviceListFile));
}

TEST_F(SettingViewTest, LocalExportWithoutItsDataFileWritesTheSavedList)
{
    ASSERT_TRUE(QFile::remove(C::kLocalDeviceListFile));
    const QString folder = files.filePath("out");
    ASSERT_TRUE(QDir().mkpath(folder));
    SettingView view;
    child<RadioButton>(view, kLocalBtnName)->setChecked(true);
    driver.answerFileDialog(folder);
    driver.answerBox(DialogDriver::kButton1);
    view.onExportFile();
    const QString reference = files.filePath("reference.csv");
    ASSERT_TRUE(DeviceDatas::instance()->writeLocalDeviceCsv(reference));
    EXPECT_EQ(SettingsTestEnv::readBytes(folder + "/LocalDeviceList.csv"), SettingsTestEnv::readBytes(reference));
    EXPECT_TRUE(SettingsTestEnv::readBytes(reference).contains("10.0.0.2"));
}

TEST_F(SettingViewTest, ExportIntoAnUnwritableFolderReportsTheTarget)
{
    // Not writable even for root.
    const QString target = QStringLiteral("/sys/fs");
    SettingView view;
    driver.answerFileDialog(target);
    driver.answerBox(DialogDriver::kButton1);
    view.onExportFile();
    ASSERT_EQ(driver.boxes().size(), 1);
    EXPECT_EQ(driver.boxes()[0].type, MessageBox::Warning);
    EXPECT_EQ(driver.boxes()[0].text, u("设备列表导出失败, 没有可写权限! \n") + target + "/DeviceList.csv");
}

TEST_F(SettingViewTest, ExportedLogHoldsALineLoggedJustBefore)
{
    const QString marker = QStringLiteral("settings export marker <b>%1</b>").arg(QDateTime::currentMSecsSinceEpoch());
    Logger::instance()->appendLine(marker);
    const QString folder = files.filePath("logs");
    ASSERT_TRUE(QDir().mkpath(folder));
    SettingView view;
    driver.answerFileDialog(folder);
    driver.answerBox(DialogDriver::kButton1);
    view.onExportLog();
    ASSERT_EQ(driver.boxes().size(), 1);
    EXPECT_EQ(driver.boxes()[0].text, u("日志文件成功导出到: \n") + folder + "/log.txt");
    EXPECT_TRUE(QString::fromUtf8(SettingsTestEnv::readBytes(folder + "/log.txt")).contains(marker));
}

TEST_F(SettingViewTest, LogExportIntoTheLogsOwnFolderKeepsTheLog)
{
    Logger::instance()->appendLine(QStringLiteral("kept line"));
    Logger::instance()->flush();
    const QByteArray before = SettingsTestEnv::readBytes(C::kLogFile);
    ASSERT_TRUE(before.contains("kept line"));
    SettingView view;
    driver.answerFileDialog(QDir(work).absoluteFilePath("data"));
    driver.answerBox(DialogDriver::kButton1);
    view.onExportLog();
    ASSERT_EQ(driver.boxes().size(), 1);
    EXPECT_EQ(driver.boxes()[0].title, u("导出"));
    EXPECT_EQ(SettingsTestEnv::readBytes(C::kLogFile), before);
}

TEST_F(SettingViewTest, SixthQuickLogClickAsksForTheExport)
{
    SettingView view;
    view.onLogClicked(); // starts the series
    for (int i = 0; i < 4; ++i)
        view.onLogClicked();
    EXPECT_TRUE(driver.boxes().isEmpty());
    EXPECT_EQ(driver.unexpectedBoxes(), 0);

    driver.answerBox(DialogDriver::kButton1);
    driver.answerFileDialog(QString()); // the folder dialog, cancelled
    view.onLogClicked();
    ASSERT_EQ(driver.boxes().size(), 1);
    EXPECT_EQ(driver.boxes()[0].type, MessageBox::Question);
    EXPECT_EQ(driver.boxes()[0].title, u("日志导出"));
    EXPECT_EQ(driver.boxes()[0].text, u("点击确认后，请选择日志导出位置, 确认操作吗？"));
    ASSERT_EQ(driver.fileDialogs().size(), 1);
    EXPECT_EQ(driver.fileDialogs()[0].windowTitle, u("选择导出文件夹"));

    // The count starts again after the question. How long the question and
    // the folder dialog stayed open counts into the gap to the next call, so
    // the next series starts after a pause, whatever the machine's pace.
    QTest::qWait(1150);
    for (int i = 0; i < 5; ++i)
        view.onLogClicked();
    EXPECT_EQ(driver.boxes().size(), 1);
    driver.answerBox(DialogDriver::kButton2);
    view.onLogClicked();
    EXPECT_EQ(driver.boxes().size(), 2);
    EXPECT_EQ(driver.fileDialogs().size(), 1); // "取消" exports nothing
}

TEST_F(SettingViewTest, PauseOverASecondRestartsTheLogClickCount)
{
    SettingView view;
    for (int i = 0; i < 5; ++i)
        view.onLogClicked();
    QTest::qWait(1150);
    // The first call after the pause starts a new series: five more calls
    // stay silent, the sixth asks.
    for (int i = 0; i < 5; ++i)
        view.onLogClicked();
    EXPECT_TRUE(driver.boxes().isEmpty());
    driver.answerBox(DialogDriver::kButton2);
    view.onLogClicked();
    EXPECT_EQ(driver.boxes().size(), 1);
}

TEST_F(SettingViewTest, ValueChangedTogglesTheServerField)
{
    SettingView view;
    auto* server = child<EditLineView>(view, kEditServerName);
    view.onValueChanged(false);
    EXPECT_TRUE(server->lineEdit()->isReadOnly());
    view.onValueChanged(true);
    EXPECT_FALSE(server->lineEdit()->isReadOnly());
}

TEST_F(SettingViewTest, Screenshot)
{
    auto* view = new SettingView;
    MessageBox box(nullptr, u("设置"), u("     确认     "), QString());
    box.setContentWidget(view);
    box.setButtonAlignment(Qt::AlignRight);
    box.show();
    QTest::qWait(50);
    EXPECT_TRUE(SettingsTestEnv::saveScreenshot(&box, "settings_box"));
    box.done(MessageBox::TitleClose);
}

} // namespace
