#include "tarnwick/core/constants.h"

#include <QUuid>

namespace Tarnwick {
namespace Constants {

namespace {
QColor rgba(int r, int g, int b, int a)
{
    QColor c;
    c.setRgb(r, g, b, a);
    return c;
}
} // namespace

const QString kSettingsPath = QStringLiteral("HKEY_CURRENT_USER\\Software\\Tarnwick\\");
const QString kMutexName = QStringLiteral("Global/Tarnwick");
const QString kVpnKeyFile = QStringLiteral("data/vpnkey.txt");
const QString kHelpFile = QStringLiteral("data/help_pc.txt");
const QString kDeviceListFile = QStringLiteral("data/DeviceList.csv");
const QString kLocalDeviceListFile = QStringLiteral("data/LocalDeviceList.csv");
const QString kLogFile = QStringLiteral("data/log.txt");
const QString kEmptyText = QStringLiteral("");

const QString kKeyKeepPswd = QStringLiteral("keeppswd");
const QString kKeyKeepIp = QStringLiteral("keepip");
const QString kKeyUserName = QStringLiteral("username");
const QString kKeyPassword = QStringLiteral("password");
const QString kKeyDeviceIp = QStringLiteral("deviceip");
const QString kKeyImportTime = QStringLiteral("importtime");
const QString kKeyCustom = QStringLiteral("custom");
const QString kKeyServer = QStringLiteral("server");
const QString kKeyServerPswd = QStringLiteral("serverpswd");
const QString kKeyServerPort = QStringLiteral("serverPort");
const QString kKeyLocalNetRouteDelCmd = QStringLiteral("localNetRouteDelCmd");

const QString kAppTitle = QString::fromUtf8("调试助手");
const QString kVersionText = QString::fromUtf8("当前版本: V2.3");
const QString kReleaseDateText = QString::fromUtf8("发布日期: 2022-07-27");
const QString kLogoImage = QStringLiteral(":/pics/vexa_img/logo.png");
const QString kBannerImage = QStringLiteral(":/pics/vexa_img/banner.png");

const QString kPathLogin = QStringLiteral("/user/login");
const QString kPathLogout = QStringLiteral("/user/logout");
const QString kPathDeviceList = QStringLiteral("/user/device/list");
const QString kPathDeviceStatus = QStringLiteral("/user/device/status");
const QString kPathVpnInstruct = QStringLiteral("/user/device/instruct/vpn");
const QString kPathBeats = QStringLiteral("/user/beats");
const QString kPathTestUrl = QStringLiteral("/device/test/url");

const QString kReqToken = QStringLiteral("token");
const QString kReqSn = QStringLiteral("sn");
const QString kReqDevicePassword = QStringLiteral("devicePassword");
const QString kReqVpn = QStringLiteral("vpn");
const QString kReqAdminPassword = QStringLiteral("adminPassword");
const QString kReqDomain = QStringLiteral("domain");
const QString kReqVer = QStringLiteral("ver");

const std::string kReplySucceed = "succeed";
const std::string kReplyInfo = "info";
const std::string kReplyError = "error";
const std::string kReplyToken = "token";
const std::string kReplyAuth = "auth";
const std::string kReplyVer = "ver";
const std::string kReplyPermission = "permission";
const std::string kReplyCaName = "ca-name";
const std::string kReplyCaText = "ca-text";
const std::string kReplyDevices = "devices";
const std::string kReplySn = "sn";
const std::string kReplyAlias = "alias";
const std::string kReplyOnline = "online";
const std::string kReplyVpn = "vpn";
const std::string kReplyIp = "ip";
const std::string kReplyRemark = "remark";
const std::string kReplyState = "state";
const std::string kReplyIccid = "iccid";
const std::string kReplyServerIp = "serverIP";
const std::string kReplyServerPort = "serverPort";
const std::string kReplyBind = "bind";
const std::string kReplyOpenvpnUser = "openvpn-user";
const std::string kReplyOpenvpnPassword = "openvpn-password";

const QString kDeviceStatusTexts[kDeviceStatusCount] = {
    QString::fromUtf8("在  线"), QString::fromUtf8("离  线"), QString::fromUtf8("占  用"),
    QString::fromUtf8("联  机"), QString::fromUtf8("联机中"), QString::fromUtf8("停止中"),
};

const QColor kDeviceStatusColors[kDeviceStatusCount] = {
    rgba(0, 0, 255, 255),   rgba(170, 170, 170, 255), rgba(255, 0, 0, 255),
    rgba(0, 176, 240, 255), rgba(0, 176, 80, 255),    rgba(255, 0, 0, 255),
};

const QString kClientId = QUuid::createUuid().toString();

} // namespace Constants
} // namespace Tarnwick
