#include "brellfin/dialog/brellfinresources.h"

#include "brellfin/mfc/resources.h"
#include "brellfin/mfc/shellnamespace.h"
#include "brellfin/ui/localizedstring.h"

#include <QPainter>

#include <algorithm>
#include <initializer_list>

namespace BrellfinUi {

namespace {

using Mfc::DialogItem;
using Mfc::ItemKind;

bool chinese()
{
    return currentLanguage() == Language::Chinese;
}

DialogItem item(int id, ItemKind kind, const char* english, const char* chineseText, int x, int y, int w, int h)
{
    DialogItem it;
    it.id = id;
    it.kind = kind;
    it.text = QString::fromUtf8(chinese() ? chineseText : english);
    it.rect = QRect(x, y, w, h);
    return it;
}

Mfc::DialogTemplate mainDialog()
{
    Mfc::DialogTemplate t;
    t.caption = QString();
    t.size = QSize(841, 331);
    t.acceptFiles = true;
    auto& items = t.items;
    items.push_back(item(1058, ItemKind::GroupBox, "connect", "连接", 7, 7, 827, 28));
    items.push_back(item(1029, ItemKind::Static, "Connect type:", "连接方式:", 22, 19, 51, 8));
    DialogItem type = item(kIdConnectType, ItemKind::DropDownList, "", "", 74, 17, 78, 12);
    type.entries = chinese() ? QStringList{QStringLiteral("TCP/IP 网络"), QStringLiteral("USB 通讯")}
                             : QStringList{QStringLiteral("TCP/IP Network"), QStringLiteral("USB Communication")};
    items.push_back(type);
    items.push_back(item(1050, ItemKind::Static, "Target addr:", "目标地址:", 163, 19, 42, 8));
    items.push_back(item(kIdAddress, ItemKind::IpAddress, "", "", 211, 16, 99, 14));
    items.push_back(item(kIdConnect, ItemKind::Button, "connect", "连接", 321, 14, 41, 17));
    items.push_back(item(1065, ItemKind::Static, "Connect status:", "当前连接状态:", 377, 19, 55, 8));
    DialogItem picture = item(kIdStatusPicture, ItemKind::Bitmap, "", "", 435, 19, 9, 8);
    picture.bitmap = kBitmapDisconnected;
    items.push_back(picture);
    items.push_back(item(kIdStatusText, ItemKind::Static, "disconnected", "未连接", 453, 19, 52, 8));
    items.push_back(item(kIdLocalFrame, ItemKind::GroupBox, "", "", 7, 36, 413, 221));
    items.push_back(item(1059, ItemKind::Static, "Local path:", "本地路径:", 13, 49, 55, 8));
    items.push_back(item(kIdLocalPath, ItemKind::Edit, "", "", 75, 48, 273, 12));
    items.push_back(item(kIdLocalUp, ItemKind::Button, "return", "上一级", 352, 47, 32, 16));
    items.push_back(item(kIdLocalRefresh, ItemKind::Button, "refresh", "刷新", 386, 47, 30, 16));
    items.push_back(item(kIdLocalList, ItemKind::ShellList, "", "", 12, 64, 403, 190));
    items.push_back(item(kIdVertBar, ItemKind::Static, "", "", 419, 39, 4, 218));
    items.push_back(item(kIdRemoteFrame, ItemKind::GroupBox, "disconnected", "未连接", 423, 37, 411, 220));
    DialogItem root = item(kIdDestDir, ItemKind::DropDownList, "", "", 428, 48, 68, 12);
    root.entries = chinese() ? QStringList{QStringLiteral("用户文件区"), QStringLiteral("U盘")}
                             : QStringList{QStringLiteral("usrStorage"), QStringLiteral("UDisk")};
    items.push_back(root);
    DialogItem remotePath = item(kIdRemotePath, ItemKind::Edit, "", "", 513, 48, 249, 12);
    remotePath.readOnly = !chinese();
    items.push_back(remotePath);
    items.push_back(item(kIdRemoteUp, ItemKind::Button, "return", "上一级", 765, 47, 32, 16));
    items.push_back(item(kIdRemoteRefresh, ItemKind::Button, "refresh", "刷新", 800, 47, 29, 16));
    items.push_back(item(kIdRemoteList, ItemKind::ListView, "", "", 428, 64, 402, 189));
    items.push_back(item(kIdHorzBar, ItemKind::Static, "", "", 7, 256, 827, 4));
    items.push_back(item(kIdQueueTab, ItemKind::Tab, "", "", 7, 260, 827, 64));
    // On a screen too small for it the window is resizable: the two panes
    // share the change in width, their lists take the change in height, the
    // connection bar and the queue run across the window.
    t.minimumSize = QSize(560, 200);
    const auto anchor = [&items](std::initializer_list<int> ids, int moveX, int moveY, int sizeX, int sizeY) {
        for (DialogItem& it : items) {
            if (std::find(ids.begin(), ids.end(), it.id) != ids.end())
                it.anchor = {moveX, moveY, sizeX, sizeY};
        }
    };
    anchor({1058}, 0, 0, 100, 0);
    anchor({kIdHorzBar, kIdQueueTab}, 0, 100, 100, 0);
    anchor({kIdLocalFrame, kIdLocalList}, 0, 0, 50, 100);
    anchor({kIdLocalPath}, 0, 0, 50, 0);
    anchor({kIdLocalUp, kIdLocalRefresh, kIdDestDir}, 50, 0, 0, 0);
    anchor({kIdVertBar}, 50, 0, 0, 100);
    anchor({kIdRemoteFrame, kIdRemoteList}, 50, 0, 50, 100);
    anchor({kIdRemotePath}, 50, 0, 50, 0);
    anchor({kIdRemoteUp, kIdRemoteRefresh}, 100, 0, 0, 0);
    return t;
}

Mfc::DialogTemplate queuePage()
{
    Mfc::DialogTemplate t;
    t.child = true;
    t.size = QSize(820, 50);
    t.items.push_back(item(kIdQueueList, ItemKind::ListView, "", "", 0, 0, 820, 45));
    return t;
}

Mfc::DialogTemplate logPage()
{
    Mfc::DialogTemplate t;
    t.child = true;
    t.size = QSize(820, 50);
    DialogItem log = item(kIdLog, ItemKind::MultiLineEdit, "", "", 0, 0, 820, 45);
    log.readOnly = true;
    t.items.push_back(log);
    return t;
}

Mfc::DialogTemplate passwordDialog()
{
    Mfc::DialogTemplate t;
    t.caption = QString::fromUtf8(chinese() ? "输入密码" : "Input the Password");
    t.size = QSize(186, 62);
    t.items.push_back(item(1047, ItemKind::Static, "   Password:", "   密码:", 10, 14, 50, 10));
    DialogItem edit = item(kIdPassword, ItemKind::Edit, "", "", 62, 12, 112, 14);
    edit.password = true;
    t.items.push_back(edit);
    DialogItem ok = item(1, ItemKind::Button, "OK", "确定", 40, 38, 50, 14);
    ok.defaultButton = true;
    t.items.push_back(ok);
    t.items.push_back(item(2, ItemKind::Button, "Cancel", "取消", 100, 38, 50, 14));
    return t;
}

Mfc::MenuEntry entry(unsigned command, const char* english, const char* chineseText, bool grayed)
{
    return Mfc::MenuEntry{command, QString::fromUtf8(chinese() ? chineseText : english), grayed};
}

QPixmap statusBitmap(const QColor& colour)
{
    QPixmap pixmap(12, 12);
    pixmap.fill(Qt::transparent);
    QPainter painter(&pixmap);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setBrush(colour);
    painter.setPen(Qt::NoPen);
    painter.drawEllipse(1, 1, 10, 10);
    return pixmap;
}

} // namespace

void registerResources()
{
    static bool done = false;
    if (done)
        return;
    done = true;
    Mfc::registerDialog(kMainDialog, mainDialog);
    Mfc::registerDialog(kQueuePage, queuePage);
    Mfc::registerDialog(kLogPage, logPage);
    Mfc::registerDialog(kPasswordDialog, passwordDialog);
    Mfc::registerMenu(kQueueMenu, [] {
        return Mfc::MenuTemplate{
            {entry(kCmdPause, "pause", "暂停", true), entry(kCmdContinue, "continue", "继续", true),
             entry(kCmdDelete, "delete", "删除", true), entry(kCmdDeleteAll, "delete all", "全部删除", true)}};
    });
    Mfc::registerMenu(kLogMenu, [] {
        return Mfc::MenuTemplate{
            {entry(kCmdExport, "export", "导出", false), entry(kCmdEmpty, "empty", "清空", false)}};
    });
    Mfc::registerBitmap(kBitmapConnected, [] { return statusBitmap(QColor(40, 180, 60)); });
    Mfc::registerBitmap(kBitmapDisconnected, [] { return statusBitmap(QColor(200, 40, 40)); });
    Mfc::ShellNamespace::setTextProvider([](Mfc::ShellText which) {
        return loadLocalizedString(which == Mfc::ShellText::Desktop ? StringId::Desktop : StringId::Shortcut);
    });
    Mfc::ShellNamespace::setLanguageProvider(
        [] { return chinese() ? Mfc::ShellLanguage::Chinese : Mfc::ShellLanguage::English; });
}

} // namespace BrellfinUi
