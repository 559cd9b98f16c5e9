#pragma once

// Ports, time limits and outcome texts of the panel RPC work: the call
// stubs, the device messages, the per-panel session and the password and
// server-address object.

#include <QString>

namespace Tarnwick {
namespace PanelConstants {

// Panel services.
constexpr unsigned int kSessionPort = 9059; // "reloadData", "getICCID"
constexpr unsigned int kServicePort = 9009; // identity, VPN, bridge, server address

// Time limits (ms).
constexpr unsigned int kStubTimeOutMs = 6000;
constexpr unsigned int kMrcTimeOutMs = 2000;
constexpr unsigned int kReachableWindowMs = 1000;
constexpr unsigned int kSessionCheckMs = 3000;
constexpr unsigned int kReloadTimeOutMs = 3000;
constexpr unsigned int kIccidTimeOutMs = 1000;
constexpr unsigned int kSessionCallTimeOutMs = 3000;
constexpr int kRefreshIntervalMs = 3000;
// How long the session's end waits for a bind or refresh under way.
constexpr int kSessionEndLimitMs = 1500;
// How long a password request waits for the user's answer before it takes
// the silence as a cancel: the dispatcher thread runs nothing else meanwhile.
constexpr int kPasswordAnswerLimitMs = 120000;

// Device message outcomes.
inline QString textConnectFailed()
{
    return QStringLiteral("连接失败");
}
inline QString textConnected()
{
    return QStringLiteral("连接成功");
}
inline QString textCancelled()
{
    return QStringLiteral("取消连接");
}
inline QString textWrongPassword()
{
    return QStringLiteral("密码不正确");
}
inline QString textNetworkTimeout()
{
    return QStringLiteral("网络超时");
}
inline QString textSaved()
{
    return QStringLiteral("保存成功");
}
inline QString textSaveFailed()
{
    return QStringLiteral("保存失败");
}
inline QString textCommFailed()
{
    return QStringLiteral("网络通讯失败");
}

// Server-address object outcomes.
inline QString textServerIpFormat()
{
    return QStringLiteral("服务器IP地址格式错误");
}
inline QString textDeviceConnectFailed()
{
    return QStringLiteral("连接设备失败");
}
inline QString textCancelSucceeded()
{
    return QStringLiteral("取消连接成功");
}
inline QString textPasswordRefused()
{
    return QStringLiteral("密码错误，连接失败");
}
inline QString textServerIpInvalid()
{
    return QStringLiteral("设备服务器IP地址无效");
}
inline QString textServerIpChanged()
{
    return QStringLiteral("修改设备服务器IP地址成功");
}

// Log lines of the per-panel session.
constexpr const char* kLogAutoRefresh = "auto refresh rpc data";
constexpr const char* kLogDisconnected = "rpc disconnected";

} // namespace PanelConstants
} // namespace Tarnwick

namespace Tarnwick {
namespace PanelConstants {

// How a write message reports: the call failed → "网络通讯失败"; the panel
// answered non-zero → "保存失败"; answered 0 → "保存成功" and success.
inline QString writeOutcome(bool callSucceeded, int answer, bool& success)
{
    success = callSucceeded && answer == 0;
    if (!callSucceeded)
        return textCommFailed();
    return answer == 0 ? textSaved() : textSaveFailed();
}

} // namespace PanelConstants
} // namespace Tarnwick
