#pragma once

// The cloud client's own time limits, bounds and user messages. Paths and
// member names of the service are shared with the rest of the program in
// tarnwick/core/constants.h.

#include <QString>

namespace Tarnwick {
namespace Cloud {

constexpr int kReplyTimeoutMs = 5000;                    // watchdog of every request
constexpr int kHeartbeatIntervalMs = 20000;              // session heartbeat
constexpr int kHeartbeatFailureLimit = 2;                // the third failure in a row drops the session
constexpr int kBeatsRetryBudget = 3;                     // CheckClientOnline's budget
constexpr int kServerTestTimeoutMs = 10000;              // TestServer's longest wait
constexpr int kQuitLogoutWaitMs = 2000;                  // how long quitting waits for the logout to go out
constexpr qint64 kMaxReplyBytes = 16 * 1024 * 1024;      // larger replies are aborted, compressed or not
constexpr qint64 kReplyReadAheadBytes = 4 * 1024 * 1024; // what Qt reads of a reply before the client takes it
constexpr int kMaxConfigNameBytes = 255;

// Every request asks for the answer as it is: a compressed one would be
// inflated by Qt on its own thread, beyond the reach of kMaxReplyBytes.
constexpr char kAcceptEncodingHeader[] = "Accept-Encoding";
constexpr char kAcceptEncodingIdentity[] = "identity";

// Fixed request values.
inline QString domainValue()
{
    return QStringLiteral("vexa");
}
inline QString vpnOnValue()
{
    return QStringLiteral("true");
}
inline QString vpnOffValue()
{
    return QStringLiteral("false");
}
inline QString maskText()
{
    return QStringLiteral("***");
}

// The OpenVPN folders, relative to the working directory, and the
// configuration sub-folder appended to them.
inline QString vpnDirX64()
{
    return QStringLiteral("vpn/x64/");
}
inline QString vpnDirX86()
{
    return QStringLiteral("vpn/x86/");
}
inline QString configSubdir()
{
    return QStringLiteral("/config/");
}

namespace Msg {

// Login reply.
inline QString loginDefault()
{
    return QString::fromUtf8("网络异常, 请检查重试!");
}
inline QString loginOk()
{
    return QString::fromUtf8("登录成功");
}
inline QString loginBadUser()
{
    return QString::fromUtf8("用户名或密码无效");
}
inline QString loginAlready()
{
    return QString::fromUtf8("用户已登录");
}
inline QString loginBadServerPswd()
{
    return QString::fromUtf8("服务器密码无效！");
}
inline QString loginTooLong()
{
    return QString::fromUtf8("用户名密码过长");
}
inline QString loginIncompatible()
{
    return QString::fromUtf8("服务器版本与当前客户端不兼容");
}

// Logout reply.
inline QString logoutDefault()
{
    return QString::fromUtf8("注销失败，未知错误");
}
inline QString logoutOk()
{
    return QString::fromUtf8("注销成功");
}

// Heartbeat reply.
inline QString beatsTimeout()
{
    return QString::fromUtf8("连接超时");
}

// Device list reply.
inline QString listDefault()
{
    return QString::fromUtf8("拉取设备列表状态相关信息失败，未知错误");
}
inline QString listOk()
{
    return QString::fromUtf8("拉取设备列表状态相关信息成功");
}
inline QString listTimeout()
{
    return QString::fromUtf8("拉取设备列表状态相关信息失败，连接超时");
}

// Device status reply.
inline QString statusDefault()
{
    return QString::fromUtf8("拉取设备状态信息失败，未知错误");
}
inline QString statusOk()
{
    return QString::fromUtf8("拉取设备状态信息成功");
}
inline QString statusTimeout()
{
    return QString::fromUtf8("拉取设备状态信息失败，连接超时");
}
inline QString statusNoRight()
{
    return QString::fromUtf8("拉取设备状态信息失败，用户无权限");
}
inline QString statusNoDevice()
{
    return QString::fromUtf8("拉取设备状态信息失败，设备不存在");
}

// VPN instruction reply; "%1" is the operation text below.
inline QString vpnDefault()
{
    return QString::fromUtf8("%1，未知错误");
}
inline QString vpnOk()
{
    return QString::fromUtf8("设置组网成功");
}
inline QString vpnTimeout()
{
    return QString::fromUtf8("%1，连接超时");
}
inline QString vpnNoRight()
{
    return QString::fromUtf8("%1，用户无权限");
}
inline QString vpnNoDevice()
{
    return QString::fromUtf8("%1，设备不存在");
}
inline QString vpnOccupied()
{
    return QString::fromUtf8("%1，设备已占用");
}
inline QString vpnOffline()
{
    return QString::fromUtf8("%1，设备不在线");
}
inline QString vpnTooManyUsers()
{
    return QString::fromUtf8("%1，过多用户在使用设备");
}
inline QString vpnOpOn()
{
    return QString::fromUtf8("设备组网失败");
}
inline QString vpnOpOff()
{
    return QString::fromUtf8("设备解除组网失败");
}

// Server test reply.
inline QString serverTestBad()
{
    return QString::fromUtf8("服务器响应异常");
}

// Session.
inline QString sessionLoginOk()
{
    return QString::fromUtf8("服务器登录成功");
}
inline QString sessionLogoutOk()
{
    return QString::fromUtf8("用户注销成功");
}
inline QString sessionNoTokenLogout()
{
    return QString::fromUtf8("服务器注销成功");
}

// Connect and disconnect sequences.
inline QString seqUnknown()
{
    return QString::fromUtf8("未知错误");
}
inline QString seqUnknownRoute()
{
    return QString::fromUtf8("位置错误");
}
inline QString connDropped()
{
    return QString::fromUtf8("客户端掉线");
}
inline QString connBadSn()
{
    return QString::fromUtf8("连接的设备SN无效");
}
inline QString connOk()
{
    return QString::fromUtf8("设备组网成功");
}
inline QString disconnDropped()
{
    return QString::fromUtf8("客户端掉线了");
}
inline QString disconnNothing()
{
    return QString::fromUtf8("设备关闭VPN成功");
}
inline QString disconnListFailed()
{
    return QString::fromUtf8("拉取设备列表失败");
}
inline QString disconnUnknownSn()
{
    return QString::fromUtf8("设备编号不存在");
}
inline QString disconnOffline()
{
    return QString::fromUtf8("拉取设备列表成功");
}
inline QString disconnStatusFailed()
{
    return QString::fromUtf8("拉取设备信息失败");
}
inline QString disconnOk()
{
    return QString::fromUtf8("设备断开联机成功");
}

// Record checks.
inline QString boxNameEmpty()
{
    return QString::fromUtf8("设备名不能为空!");
}
inline QString boxNameLong()
{
    return QString::fromUtf8("设备名称太长!");
}
inline QString boxSnEmpty()
{
    return QString::fromUtf8("序列号不能为空!");
}
inline QString boxSnBad()
{
    return QString::fromUtf8("序列号非法!");
}
inline QString boxRemarkLong()
{
    return QString::fromUtf8("注释不能太长!");
}
inline QString userNameEmpty()
{
    return QString::fromUtf8("用户名称不能为空!");
}
inline QString userNameLong()
{
    return QString::fromUtf8("用户名太长!");
}
inline QString userPswdLong()
{
    return QString::fromUtf8("用户密码太长!");
}
inline QString userPswdShort()
{
    return QString::fromUtf8("用户密码太短!");
}
inline QString userPswdEmpty()
{
    return QString::fromUtf8("用户密码不能为空!");
}
inline QString userPswdBad()
{
    return QString::fromUtf8("用户密码只能为字母和数字!");
}
inline QString userRemarkLong()
{
    return QString::fromUtf8("用户备注太长!");
}
inline QString loginNoServer()
{
    return QString::fromUtf8("登录服务器未指定");
}
inline QString loginNoUser()
{
    return QString::fromUtf8("用户名不能为空");
}
inline QString loginUserLong()
{
    return QString::fromUtf8("用户名太长");
}
inline QString loginNoPswd()
{
    return QString::fromUtf8("用户密码不能为空");
}
inline QString loginPswdLong()
{
    return QString::fromUtf8("用户密码太长");
}

} // namespace Msg
} // namespace Cloud
} // namespace Tarnwick
