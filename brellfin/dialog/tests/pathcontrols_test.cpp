// The path boxes, up buttons and root combo of the main dialog, against the
// fake file service on loopback (the facade connected directly).
#include "brellfin/dialog/armpathedit.h"

#include "dialogfixture.h"
#include "dialoglayoutchecks.h"

#include "brellfin/dialog/brellfinresources.h"
#include "brellfin/dialog/connecttypecombo.h"
#include "brellfin/dialog/desdircombo.h"
#include "brellfin/dialog/winpathedit.h"
#include "brellfin/service/tests/recordingnotify.h"
#include "brellfin/ui/localizedstring.h"
#include "brellfin/ui/sharedtexts.h"
#include "testing/fakefileservice/fakefileservice.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QGroupBox>
#include <QKeyEvent>
#include <QLabel>
#include <QPushButton>

#include <chrono>

namespace {

using namespace BrellfinUi;

void pressEnter(QWidget* widget)
{
    QKeyEvent press(QEvent::KeyPress, Qt::Key_Return, Qt::NoModifier, QStringLiteral("\r"));
    QApplication::sendEvent(widget, &press);
    QKeyEvent release(QEvent::KeyRelease, Qt::Key_Return, Qt::NoModifier, QStringLiteral("\r"));
    QApplication::sendEvent(widget, &release);
}

class PathControls : public DialogFixture {
protected:
    void SetUp() override
    {
        DialogFixture::SetUp();
        m_panel = std::make_unique<Fake::FakeFileService>();
        m_panel->putFile("/storage/user_dir/a/inner/f.txt", {1});
        m_panel->putFile("/media/usb0/u/g.txt", {2});
    }
    void TearDown() override
    {
        destroyDialog();
        m_panel.reset();
        DialogFixture::TearDown();
    }
    void connectFacade()
    {
        ASSERT_TRUE(dialog().fileService()->connect(FF::Net::Address(m_panel->endpoint().c_str())));
    }
    QLineEdit* remoteBox() { return static_cast<QLineEdit*>(item(kIdRemotePath)); }

    std::unique_ptr<Fake::FakeFileService> m_panel;
};

TEST_F(PathControls, RemoteEnterRefusalsRestoreTheBoxAndAskThePanelOnlyWhenNeeded)
{
    start();
    connectFacade();
    dialog().remoteList()->setCurrentPath("/storage/user_dir/a");
    m_panel->clearLog();
    const struct {
        const char* typed;
        StringId message;
        size_t panelCalls;
    } cases[] = {
        {"abc", StringId::PathMustStartWithUserDir, 0},  {"/x/../y", StringId::PathMustBeAbsolute, 0},
        {"/x/./y", StringId::PathMustBeAbsolute, 0},     {"用户文件区/x", StringId::RemoteFolderNotShown, 0},
        {"/missing", StringId::RemoteFolderNotShown, 1},
    };
    for (const auto& c : cases) {
        m_boxes.clear();
        m_panel->clearLog();
        remoteBox()->setText(QString::fromUtf8(c.typed));
        pressEnter(remoteBox());
        ASSERT_EQ(m_boxes.size(), 1u) << c.typed;
        EXPECT_EQ(m_boxes[0].text, text(c.message)) << c.typed;
        EXPECT_EQ(m_boxes[0].caption, "Error");
        EXPECT_EQ(m_boxes[0].type, MB_OK | MB_ICONWARNING);
        EXPECT_EQ(remoteBox()->text(), "/a") << c.typed;
        EXPECT_EQ(m_panel->count("hasFileOrFolder"), c.panelCalls) << c.typed;
        EXPECT_EQ(dialog().remoteList()->currentPath(), "/storage/user_dir/a");
    }
}

TEST_F(PathControls, RemoteEnterOfAFolderThePanelCannotCheckSaysSoAndStays)
{
    start();
    connectFacade();
    dialog().remoteList()->setCurrentPath("/storage/user_dir/a");
    // Not "cannot be displayed" as for a missing folder: the panel gave no answer.
    m_panel->panel().removeMethod("hasFileOrFolder");
    remoteBox()->setText("/a/inner");
    pressEnter(remoteBox());
    const QString why = "/a/inner " + text(StringId::ExistenceCheckFailed);
    ASSERT_EQ(m_boxes.size(), 1u);
    EXPECT_EQ(m_boxes[0].text, why);
    EXPECT_EQ(logLines().filter(why).size(), 1);
    EXPECT_EQ(remoteBox()->text(), "/a");
    EXPECT_EQ(dialog().remoteList()->currentPath(), "/storage/user_dir/a");
}

TEST_F(PathControls, RemoteEnterOpensATypedFolder)
{
    start();
    connectFacade();
    dialog().remoteList()->setCurrentPath("/storage/user_dir");
    remoteBox()->setText("/a//inner\\");
    pressEnter(remoteBox());
    EXPECT_TRUE(m_boxes.empty());
    EXPECT_EQ(dialog().remoteList()->currentPath(), "/storage/user_dir/a/inner");
    EXPECT_EQ(remoteBox()->text(), "/a/inner");
    EXPECT_EQ(itemText(kIdRemoteFrame), "inner");
    // ".." and the folder's one file.
    EXPECT_EQ(dialog().remoteList()->GetItemCount(), 2);

    // "/" opens the root of the area the list shows.
    remoteBox()->setText("/");
    pressEnter(remoteBox());
    EXPECT_EQ(dialog().remoteList()->currentPath(), "/storage/user_dir");
    EXPECT_EQ(remoteBox()->text(), "/");
    EXPECT_EQ(itemText(kIdRemoteFrame), QStringLiteral("用户文件区"));
    dialog().remoteList()->setCurrentPath("/media/usb0/u");
    remoteBox()->setText("/");
    pressEnter(remoteBox());
    EXPECT_EQ(dialog().remoteList()->currentPath(), "/media/usb0");
    EXPECT_EQ(itemText(kIdRemoteFrame), QStringLiteral("U盘"));
}

TEST_F(PathControls, RemoteUpStopsAtTheRootChangingOnlyTheBox)
{
    start();
    // Enabled as in the connected state; the click is what is tested.
    item(kIdRemoteUp)->setEnabled(true);
    dialog().remoteList()->setCurrentPath("/storage/user_dir/");
    ::SetWindowText(item(kIdRemoteFrame), "frame");
    remoteBox()->setText("something");
    static_cast<QAbstractButton*>(item(kIdRemoteUp))->click();
    EXPECT_EQ(remoteBox()->text(), "/");
    EXPECT_EQ(dialog().remoteList()->currentPath(), "/storage/user_dir/");
    EXPECT_EQ(itemText(kIdRemoteFrame), "frame");

    dialog().remoteList()->setCurrentPath("/storage/user_dir/a/inner");
    static_cast<QAbstractButton*>(item(kIdRemoteUp))->click();
    EXPECT_EQ(dialog().remoteList()->currentPath(), "/storage/user_dir/a");
    EXPECT_EQ(remoteBox()->text(), "/a");
    EXPECT_EQ(itemText(kIdRemoteFrame), "a");
}

TEST_F(PathControls, UDiskAnsweredOpensItAndIsRemembered)
{
    start();
    connectFacade();
    m_panel->setEnv("VEXA_EXPORT_DIR", "/media/usb0");
    auto* combo = static_cast<DesDirCombo*>(item(kIdDestDir));
    combo->SetCurSel(1);
    emit combo->activated(1);
    EXPECT_EQ(dialog().remoteList()->currentPath(), "/media/usb0");
    EXPECT_EQ(itemText(kIdRemoteFrame), QStringLiteral("U盘"));
    EXPECT_EQ(remoteBox()->text(), "/");
    EXPECT_TRUE(iniBytes().contains("CurPath=/media/usb0"));

    combo->SetCurSel(0);
    emit combo->activated(0);
    EXPECT_EQ(dialog().remoteList()->currentPath(), "/storage/user_dir");
    EXPECT_TRUE(iniBytes().contains("CurPath=/storage/user_dir"));
}

TEST_F(PathControls, UDiskAnsweredEmptyWritesNothing)
{
    start();
    connectFacade();
    dialog().remoteList()->setCurrentPath("/storage/user_dir/a");
    auto* combo = static_cast<DesDirCombo*>(item(kIdDestDir));
    combo->SetCurSel(1);
    emit combo->activated(1);
    EXPECT_EQ(m_panel->count("getEnvPath"), 1u);
    EXPECT_EQ(itemText(kIdRemoteFrame), QStringLiteral("用户文件区"));
    EXPECT_EQ(dialog().remoteList()->currentPath(), "/storage/user_dir/a");
    EXPECT_TRUE(iniBytes().isEmpty());
}

TEST_F(PathControls, LoadFromIniReadsWithoutChangingTheFile)
{
    const QByteArray bytes =
        "; kept\r\n[ip]\r\nconnect_type = TCP\r\nipInfo=10.1.2.3\r\n[Path]\r\nCurPath=/media/usb/sda1\r\n";
    writeIni(bytes);
    start();
    auto* type = static_cast<ConnectTypeCombo*>(item(kIdConnectType));
    EXPECT_TRUE(type->getState());
    EXPECT_EQ(type->GetCurSel(), 0);
    EXPECT_TRUE(item(kIdAddress)->isEnabled());
    EXPECT_EQ(itemText(kIdAddress), "10.1.2.3");
    auto* root = static_cast<DesDirCombo*>(item(kIdDestDir));
    root->loadFromIni(QString());
    EXPECT_EQ(root->GetCurSel(), 1);
    EXPECT_TRUE(root->getState());
    EXPECT_EQ(iniBytes(), bytes);

    writeIni("[ip]\r\nconnect_type=usb\r\n");
    type->loadFromIni(iniPath());
    EXPECT_FALSE(type->getState());
    EXPECT_EQ(type->GetCurSel(), 1);
    EXPECT_FALSE(item(kIdAddress)->isEnabled());
    EXPECT_EQ(dialog().addressControl()->addressText(), "200.200.201.1");
}

TEST_F(PathControls, UserChoiceOfTheConnectionTypeSwitchesTheAddressControl)
{
    start();
    auto* type = static_cast<ConnectTypeCombo*>(item(kIdConnectType));
    type->SetCurSel(1);
    EXPECT_TRUE(type->getState());
    emit type->activated(1);
    EXPECT_FALSE(type->getState());
    EXPECT_FALSE(item(kIdAddress)->isEnabled());
    EXPECT_TRUE(iniBytes().isEmpty());
}

TEST_F(PathControls, LocalEnterReachesTheBoxAndOpensTheTypedFolder)
{
    start();
    const QString target = QDir(folder()).filePath("pc");
    ASSERT_TRUE(QDir().mkpath(target + "/sub"));
    auto* box = static_cast<QLineEdit*>(item(kIdLocalPath));
    EXPECT_EQ(box->text(), "Desktop");
    const QString buttonText = itemText(kIdConnect);
    box->setText("  " + target + "  ");
    pressEnter(box);
    EXPECT_EQ(dialog().localList()->currentPath(), target);
    EXPECT_EQ(box->text(), target);
    EXPECT_EQ(itemText(kIdConnect), buttonText);
    EXPECT_EQ(dialog().localList()->GetItemText(0, 0), "sub");

    box->setText(folder() + "/missing");
    pressEnter(box);
    ASSERT_FALSE(m_boxes.empty());
    EXPECT_EQ(m_boxes[0].text, text(StringId::PathNotFound));
    EXPECT_EQ(box->text(), target + "/");

    // The local up button shows the parent.
    static_cast<QAbstractButton*>(item(kIdLocalUp))->click();
    EXPECT_EQ(box->text(), folder() + "/");
    EXPECT_EQ(itemText(kIdLocalFrame), QDir(folder()).dirName());
}

TEST_F(PathControls, RemotePaneStaysDisabledWhileDisconnected)
{
    start();
    for (int id : {kIdRemoteUp, kIdRemoteRefresh, kIdRemotePath, kIdDestDir})
        EXPECT_FALSE(item(id)->isEnabled()) << id;
    EXPECT_TRUE(item(kIdVertBar)->isHidden());
    EXPECT_TRUE(item(kIdHorzBar)->isHidden());
    EXPECT_EQ(itemText(kIdLocalFrame), "Desktop");
    EXPECT_EQ(dialog().windowTitle(), "Omber File Operation");
    // Only the Chinese template lets a path be typed.
    EXPECT_TRUE(remoteBox()->isReadOnly());
    EXPECT_EQ(static_cast<QComboBox*>(item(kIdConnectType))->itemText(0), "TCP/IP Network");
}

TEST_F(PathControls, EscapeAndEnterNeverCloseTheMainDialog)
{
    start();
    dialog().show();
    for (int key : {Qt::Key_Escape, Qt::Key_Return}) {
        QKeyEvent press(QEvent::KeyPress, key, Qt::NoModifier);
        QApplication::sendEvent(item(kIdAddress), &press);
        QApplication::sendEvent(&dialog(), &press);
    }
    EXPECT_TRUE(dialog().isVisible());
    EXPECT_FALSE(dialog().isEnded());
}

TEST_F(PathControls, ClosingTheWindowDuringABatchEndsItBeforeTheControlsGo)
{
    start();
    connectFacade();
    const QString local = folder() + "/big.bin";
    {
        QFile file(local);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(QByteArray(1 << 20, 'y'));
    }
    // The panel answers two pieces, and never the third.
    m_panel->setCallDelayFrom("download2", 3, std::chrono::hours(1));
    RecordingNotify notify;
    struct Release {
        FileServiceClient* facade;
        ~Release() { facade->disconnect(); } // before the notify goes, also when a check fails
    } release{dialog().fileService()};
    ASSERT_TRUE(
        dialog().fileService()->startSendToPanel({{local.toStdString(), "/storage/user_dir/big.bin"}}, &notify));
    ASSERT_TRUE(waitUntil([this] { return m_panel->count("download2") == 3; }, 20000));
    dialog().show();
    QElapsedTimer clock;
    clock.start();
    dialog().close();
    EXPECT_LT(clock.elapsed(), 5000);
    EXPECT_FALSE(dialog().isVisible());
    EXPECT_TRUE(dialog().isEnded());
    EXPECT_FALSE(dialog().fileService()->isConnected());
    EXPECT_TRUE(notify.waitForEnd(std::chrono::milliseconds(0)));
    EXPECT_EQ(notify.failureCode(), 3);
    EXPECT_EQ(m_panel->count("download2"), 3u);
}

TEST_F(PathControls, WhileTheWindowWaitsForThePanelItShowsTheWaitCursor)
{
    start();
    EXPECT_FALSE(waitCursorShown());
    QElapsedTimer clock;

    // The connect: the panel's answer to the init request comes 2 s late.
    m_panel->panel().setInitDelay(std::chrono::milliseconds(2000));
    {
        CursorDuringCall during([&] { return m_panel->panel().initRequests() > 0; });
        clock.start();
        connectFacade();
        EXPECT_GE(clock.elapsed(), 1900);
        EXPECT_TRUE(during.waitShown());
        EXPECT_FALSE(waitCursorShown());
    }

    // A pane's call: the refresh button lists the folder again.
    dialog().remoteList()->setCurrentPath("/storage/user_dir");
    m_panel->setCallDelay("searchFolders", std::chrono::milliseconds(2000));
    {
        m_panel->clearLog();
        CursorDuringCall during([&] { return m_panel->count("searchFolders") > 0; });
        clock.start();
        dialog().OnRemoteRefresh();
        EXPECT_GE(clock.elapsed(), 1900);
        EXPECT_TRUE(during.waitShown());
        EXPECT_FALSE(waitCursorShown());
    }
}

TEST_F(PathControls, ChineseTemplateAndTexts)
{
    setLanguage(2052);
    start();
    EXPECT_EQ(dialog().windowTitle(), QStringLiteral("Omber文件操作工具"));
    auto* type = static_cast<QComboBox*>(item(kIdConnectType));
    EXPECT_EQ(type->itemText(0), QStringLiteral("TCP/IP 网络"));
    EXPECT_EQ(type->itemText(1), QStringLiteral("USB 通讯"));
    EXPECT_EQ(static_cast<QComboBox*>(item(kIdDestDir))->itemText(1), QStringLiteral("U盘"));
    EXPECT_FALSE(remoteBox()->isReadOnly());
    EXPECT_EQ(itemText(kIdLocalPath), QStringLiteral("桌面"));
    EXPECT_EQ(itemText(kIdConnect), QStringLiteral("连接"));
    // The shell's names in the local pane, and Qt's own buttons, in Chinese too.
    WinShellList& local = *dialog().localList();
    ASSERT_GT(local.GetItemCount(), 0);
    EXPECT_EQ(local.GetItemText(0, 0), QStringLiteral("计算机"));
    EXPECT_EQ(local.GetItemText(0, 2), QStringLiteral("系统文件夹"));
    EXPECT_EQ(QCoreApplication::translate("QPlatformTheme", "&Yes"), QStringLiteral("是(&Y)"));
    EXPECT_EQ(QCoreApplication::translate("QPlatformTheme", "OK"), QStringLiteral("确定"));
}

TEST_F(PathControls, EveryTextFitsItsPlaceInBothLanguages)
{
    for (int language : {1033, 2052}) {
        SCOPED_TRACE(language);
        setLanguage(language);
        start();
        dialog().show();
        ASSERT_TRUE(waitUntil([&] { return dialog().isVisible(); }, 5000));
        DialogChecks::expectEveryControlInside(dialog());
        DialogChecks::expectEveryTextFits(dialog());
        DialogChecks::expectQueueWordsFit(dialog());
        // Four rows of the queue in view below its column titles.
        CListCtrl& queue = dialog().transInfoTab()->listPage().list();
        queue.addTopLevelItem(new QTreeWidgetItem(QStringList{"probe"}));
        const int rowHeight = queue.visualItemRect(queue.topLevelItem(0)).height();
        EXPECT_GE(queue.viewport()->height(), 4 * rowHeight - 2) << rowHeight;
        destroyDialog();
    }
}

} // namespace
