#pragma once

// Texts, names and time limits of the main window, the login form and the
// cloud device page, in one place.

#include <QString>

namespace Tarnwick {
namespace MainWindow {

// Timers.
constexpr int kListPollMs = 5000;         // cloud device list polling
constexpr int kVpnStepMs = 2000;          // single-shot VPN operation step
constexpr int kEndLimitMs = 2000;         // what the program's end waits for peers, from the close on
constexpr int kEndStepMs = 100;           // the least it gives an idle worker to end
constexpr qint64 kListFailDropMs = 60000; // failed list replies before a drop

// Window size before scaling, and the fixed size of a wide screen.
constexpr int kWindowWidth = 1024;
constexpr int kWindowHeight = 600;
constexpr int kWideLimit = 1360;
constexpr int kWideWidth = 1260;
constexpr int kWideHeight = 700;

// Login record.
constexpr int kLoginUserType = 1;
inline QString clientVersion()
{
    return QStringLiteral("2.0.1");
}
inline QString userNamePattern()
{
    return QStringLiteral("^[a-zA-Z]{6,32}$");
}
constexpr int kPasswordMin = 6;
constexpr int kPasswordMax = 32;

// Device types and networks.
inline QString typeZel()
{
    return QStringLiteral("Zel");
}
inline QString typeOmber()
{
    return QStringLiteral("Omber");
}
inline QString netWifi()
{
    return QStringLiteral("Wi-Fi");
}
inline QString net4G()
{
    return QStringLiteral("4G");
}
inline QString netUnknown()
{
    return QStringLiteral("未知");
}

// Status cells.
inline QString statusLinking()
{
    return QStringLiteral("联机中");
}
inline QString statusStopping()
{
    return QStringLiteral("停止中");
}
inline QString statusOccupied()
{
    return QStringLiteral("占  用");
}
inline QString statusLinked()
{
    return QStringLiteral("联  机");
}
inline QString statusOnline()
{
    return QStringLiteral("在  线");
}
inline QString statusOffline()
{
    return QStringLiteral("离  线");
}

// Buttons.
inline QString confirm()
{
    return QStringLiteral("确认");
}
inline QString cancel()
{
    return QStringLiteral("取消");
}

// Boxes of the main window.
inline QString exitTitle()
{
    return QStringLiteral("退出");
}
inline QString exitLocalText()
{
    return QStringLiteral("确定退出本地调试吗?");
}
inline QString closeTitle()
{
    return QStringLiteral("程序关闭");
}
inline QString closeText()
{
    return QStringLiteral("确定要退出程序吗?");
}
inline QString loginFailedTitle()
{
    return QStringLiteral("登录失败");
}
inline QString noServerText()
{
    return QStringLiteral("请先设置服务器地址!");
}
inline QString noPortText()
{
    return QStringLiteral("请先设置服务端口!");
}
inline QString badUserText()
{
    return QStringLiteral("用户名错误：必须字母组合，长度为6~32位!");
}
inline QString badPasswordText()
{
    return QStringLiteral("密码错误：必须字母、数字组合，长度为6~32位!");
}
inline QString logoutFailedTitle()
{
    return QStringLiteral("注销失败");
}
inline QString logoutFailedText()
{
    return QStringLiteral("网络异常, 注销失败!");
}
inline QString dropTitle()
{
    return QStringLiteral("掉线");
}
inline QString dropText()
{
    return QStringLiteral("客户端已掉线，请重新登录!");
}
inline QString noticeTitle()
{
    return QStringLiteral("提示");
}
inline QString linkEndedText()
{
    return QStringLiteral("设备联机已断开!");
}
inline QString connectFailedTitle()
{
    return QStringLiteral("连接失败");
}
inline QString emptyIpText()
{
    return QStringLiteral("IP地址不能为空!");
}
inline QString badIpText()
{
    return QStringLiteral("IP地址格式错误!");
}
inline QString deviceNetText()
{
    return QStringLiteral("设备网络异常, 请检查重试!");
}
inline QString disconnectedTitle()
{
    return QStringLiteral("设备断开");
}
inline QString reconnectText()
{
    return QStringLiteral("是否重新连接?");
}
inline QString logoutText()
{
    return QStringLiteral("注销");
}
inline QString exitText()
{
    return QStringLiteral("退出");
}

// Start-up.
inline QString errorTitle()
{
    return QStringLiteral("错误");
}
inline QString startAsAdminText()
{
    return QStringLiteral("启动失败，请以管理员身份启动");
}
inline QString singleInstanceText()
{
    return QStringLiteral("启动失败，不能启动多个实例");
}
inline QString dataFolderName()
{
    return QStringLiteral("Tarnwick");
}
// The language of the program's texts; Qt's own dialogs and buttons speak it too.
inline QString programLocale()
{
    return QStringLiteral("zh_CN");
}
inline QString messagePattern()
{
    return QStringLiteral("[%{time yyyy-MM-dd h:mm:ss.zzz} %{if-debug}D%{endif}%{if-info}I%{endif}"
                          "%{if-warning}W%{endif}%{if-critical}C%{endif}%{if-fatal}F%{endif}] - %{message}");
}

// The cloud device page.
inline QString deviceMenuName()
{
    return QStringLiteral("menuDevice");
}
inline QString deviceTableName()
{
    return QStringLiteral("DeviceTable");
}
inline QString searchPlaceholder()
{
    return QStringLiteral("设备编号/设备名称/ICCID");
}
inline QString connectText()
{
    return QStringLiteral("联机");
}
inline QString stopText()
{
    return QStringLiteral("停止");
}
inline QString debugText()
{
    return QStringLiteral("调试");
}
inline QString vpnIcon()
{
    return QStringLiteral(":/pics/pic/vpn.png");
}
inline QString stopIcon()
{
    return QStringLiteral(":/pics/pic/stop.png");
}
inline QString helpIcon()
{
    return QStringLiteral(":/pics/pic/help.png");
}

// How the user came in: the login form's tab ids and the debugMode of its
// login request carry the same numbers.
enum LoginMode { CloudMode = 0, LocalMode = 1 };

// A cloud device's state as the list and query replies give it; any other
// value is offline.
enum CloudState { CloudOnline = 1, CloudOccupied = 2, CloudConnected = 3 };

// The VPN operation running on one cloud device. A busy row shows
// "connecting" for VpnConnectRequested and VpnConnecting alike.
enum VpnOperation {
    VpnIdle = 0,
    VpnConnectRequested = 1,
    VpnConnecting = 2,
    VpnStopping = 3,
    VpnStoppingAfterFailure = 5
};
// What the last device query found: nothing (or a failed query), the panel
// without a LAN address, or the panel with one.
enum VpnDeviceState { DeviceNotReported = 0, DeviceWithoutLanIp = 1, DeviceWithLanIp = 3 };
// What the local VPN client last reported.
enum VpnRunState { VpnNotReported = 0, VpnRunConnected = 1, VpnRunOther = 2 };

// Action ids shared by the device pages and the main window.
enum Action {
    ActionLogout = 0,
    ActionConnect = 1,
    ActionStop = 2,
    ActionVnc = 3,
    ActionPass = 4,
    ActionExport = 5,
    ActionImport = 6,
    ActionSave = 8,
    ActionRefresh = 9,
    ActionSetting = 10,
    ActionHelp = 11,
    ActionAbout = 12,
    ActionDebugLog = 13,
    ActionFtp = 14
};

// Device menu actions and the VPN steps.
constexpr int kVpnConnectSteps = 20; // query steps before a connect gives up
constexpr int kVpnFailStopSteps = 5; // steps of the stop after a failed connect
inline QString selectDeviceText()
{
    return QStringLiteral("请先选择一个设备!");
}
inline QString notLinkedText()
{
    return QStringLiteral("设备没有联机!");
}
inline QString notSupportedText()
{
    return QStringLiteral("当前模式下，此功能不支持!");
}
inline QString installTitle()
{
    return QStringLiteral("程序安装");
}
inline QString noVpnAppText()
{
    return QStringLiteral("未安装VPN程序, 请到设置界面进行安装, 安装后再手动设置\"关联启动\", 完成设置后请重试!");
}
inline QString vpnPermissionText()
{
    return QStringLiteral("VPN权限未设置，请设置VPN程序允许\"关联启动\", 完成后请重启程序!");
}
inline QString messageTitle()
{
    return QStringLiteral("消息");
}
inline QString cannotConnectText()
{
    return QStringLiteral("离线或者联机状态下不能联机!");
}
inline QString deviceNetFailedText()
{
    return QStringLiteral("设备组网失败, 请检查重试!");
}
inline QString localNetFailedText()
{
    return QStringLiteral("本地组网失败, 请检查重试!");
}
inline QString linkFailedText()
{
    return QStringLiteral("设备联机失败, 请检查重试!");
}
inline QString linkedText()
{
    return QStringLiteral("设备联机成功!");
}
inline QString stoppedText()
{
    return QStringLiteral("设备停止成功!");
}
inline QString stopFailedText()
{
    return QStringLiteral("设备停止失败, 请检查重试!");
}
inline QString maskedPassword()
{
    return QStringLiteral("******");
}
inline QString saveTitle()
{
    return QStringLiteral("保存");
}
inline QString saveQuestionText()
{
    return QStringLiteral("将在线列表保存至本地, 确认操作吗？");
}
inline QString savedText()
{
    return QStringLiteral("保存至本地列表成功!");
}
inline QString saveFailedText()
{
    return QStringLiteral("保存至本地列表失败!");
}
inline QString exportDialogTitle()
{
    return QStringLiteral("选择导出文件夹");
}
inline QString exportTitle()
{
    return QStringLiteral("导出");
}
inline QString exportedText()
{
    return QStringLiteral("设备列表成功导出到: \n");
}
inline QString exportFailedText()
{
    return QStringLiteral("设备列表导出失败, 没有可写权限! \n");
}
inline QString importDialogTitle()
{
    return QStringLiteral("选择导入的CSV文件");
}
inline QString importTitle()
{
    return QStringLiteral("设备导入");
}
inline QString badImportText()
{
    return QStringLiteral("错误的设备文件格式, 请检查!");
}
inline QString importConflictText()
{
    return QStringLiteral("设备列表中存在冲突设备, 是否继续？");
}
inline QString importedText()
{
    return QStringLiteral("设备导入成功。");
}
inline QString debugLogTitle()
{
    return QStringLiteral("调试日志");
}
inline QString clearText()
{
    return QStringLiteral("清空");
}
inline QString closeButtonText()
{
    return QStringLiteral("关闭");
}
inline QString helpTitle()
{
    return QStringLiteral("帮助");
}
inline QString settingTitle()
{
    return QStringLiteral("设置");
}
inline QString settingConfirmText()
{
    return QStringLiteral("     确认     ");
}
inline QString aboutTitle()
{
    return QStringLiteral("关于");
}
inline QString aboutConfirmText()
{
    return QStringLiteral("确 认");
}

// The login form.
inline QString remoteTabText()
{
    return QStringLiteral("远程调试");
}
inline QString localTabText()
{
    return QStringLiteral("本地调试");
}
inline QString userPlaceholder()
{
    return QStringLiteral("请输入用户名称");
}
inline QString pswdPlaceholder()
{
    return QStringLiteral("请输入登录密码");
}
inline QString loginText()
{
    return QStringLiteral("登录");
}
inline QString keepPswdText()
{
    return QStringLiteral("记住密码");
}
inline QString searchText()
{
    return QStringLiteral("搜索");
}
inline QString cancelSearchText()
{
    return QStringLiteral("取消搜索");
}
inline QString searchingText()
{
    return QStringLiteral("搜索中...");
}
inline QString ethernetName()
{
    return QStringLiteral("以太网");
}
inline QString buttonStyle()
{
    return QStringLiteral(
        "QPushButton{  background-color: rgb(22, 155, 213); color: white; height: 24px;  border: 1px solid "
        "rgb(22, 155, 213); border-radius: 4px;}QPushButton:hover {  background-color: rgb(24, 165, 226); "
        "color: rgb(240, 240, 240);}QPushButton:pressed {  background-color: rgb(22, 140, 190); color: white;}");
}

} // namespace MainWindow
} // namespace Tarnwick
