#pragma once

// Texts, names and time limits of the pass-through tool's window, in one place.

#include <QString>

namespace Quillet {

// Tries, periods, counts and limits. The program keeps the defaults; tests
// shorten them through setTiming() before they build a window.
struct Timing {
    int readyTries = 10;         // local and remote readiness tests of a start, together
    int readyTryPauseMs = 1000;  // between two of them
    int watchdogPeriodMs = 5000; // "IsReady" checks of a running pass-through
    int watchdogCount = 12;      // failed checks in a row that give it up
    int startBusyLimitMs = 240000;
    int stopBusyLimitMs = 120000; // also the project start and the pair's jobs
    // The window's end: the work item that runs and the pass-through's own
    // end ("Terminate") after it; what runs on is left running.
    int endLimitMs = 2500;
};
const Timing& timing();
void setTiming(const Timing& timing);

constexpr int kBusyStep = 20;
constexpr int kTcpPortBase = 30000;
constexpr int kTcpPortCount = 100;
constexpr int kPanelPortCount = 15;
constexpr int kTrayMessageMs = 10000;

constexpr const char* kInstanceName = "vexaquillet";
// The language of the window's texts; Qt's own buttons and menus speak it too.
constexpr const char* kLocale = "zh_CN";
constexpr const char* kFontFamily = "Microsoft YaHei";
// What Debian ships in its place (the widget kit's CJK fallback).
constexpr const char* kFallbackFontFamily = "WenQuanYi Micro Hei";
constexpr const char* kTrayIcon = ":/img/app.ico";

// Texts (UTF-8).
namespace Text {
constexpr const char* kError = "错误";
constexpr const char* kSecondCopy = "启动失败，不能启动多个实例";
constexpr const char* kNoLock = "启动失败，请以管理员身份启动";
constexpr const char* kTrayTip = "串口穿透";
constexpr const char* kWarning = "警告";

constexpr const char* kInstalling = "安装中，请关闭其他应用程序...";
constexpr const char* kInstallBusy = "安装虚拟串口中...";
constexpr const char* kInstallDone = "安装虚拟串口成功";
constexpr const char* kInstallFailed = "安装虚拟串口失败";
constexpr const char* kUninstallInUse = "串口使用中，卸载失败";
constexpr const char* kUninstalling = "卸载中，请关闭其他应用程序...";
constexpr const char* kUninstallBusy = "卸载虚拟串口中...";
constexpr const char* kUninstallDone = "卸载虚拟串口成功";
constexpr const char* kUninstallFailed = "卸载虚拟串口失败";
constexpr const char* kChangeInUse = "串口使用中，修改失败";
constexpr const char* kInitialising = "正在初始化...";
constexpr const char* kInitialised = "初始化完毕!";
constexpr const char* kUnchanged = "串口未做任何修改";
constexpr const char* kChanging = "修改串口中,请关闭其他程序...";
constexpr const char* kChangeBusy = "修改串口中...";
constexpr const char* kChangeRestart = "修改串口异常，请重启电脑";
constexpr const char* kChangeDone = "修改串口成功";

constexpr const char* kNoPair = "虚拟串口未安装";
constexpr const char* kNoAddress = "网络IP未设置";
constexpr const char* kStarting = "开启穿透中...";
constexpr const char* kStartingLocal = "开启穿透中.....";
constexpr const char* kNetworkFailed = "网络通讯失败";
constexpr const char* kCheckingPassword = "校验密码中...";
constexpr const char* kPasswordRefused = "密码错误，HMI拒绝连接";
constexpr const char* kLoginCancelled = "用户取消登录";
constexpr const char* kStartRefused = "开启穿透失败";
constexpr const char* kLocalFailed = "本地穿透开启失败";
constexpr const char* kRemoteFailed = "远程穿透开启失败";
constexpr const char* kStarted = "穿透开启成功";
constexpr const char* kLost = "穿透网络超时断开，请重新连接";
constexpr const char* kStopping = "关闭穿透中...";
constexpr const char* kStopped = "关闭穿透完成";
constexpr const char* kProjectStarting = "启动工程中...";
constexpr const char* kProjectStarted = "启动工程成功";
constexpr const char* kProjectFailed = "启动工程失败";
} // namespace Text

inline QString text(const char* utf8)
{
    return QString::fromUtf8(utf8);
}

} // namespace Quillet
