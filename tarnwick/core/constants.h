#pragma once

// The main program's fixed texts, file names, keys, wire constants and time
// limits, in one place. Text constants are set up before main() runs; read
// them from functions, not from the initialisers of other globals.

#include <QColor>
#include <QString>

#include <cstdint>
#include <string>

namespace Tarnwick {
namespace Constants {

// Settings, files and instance name ------------------------------------------

// Where the settings live; the platform settings layer maps it to a file.
extern const QString kSettingsPath;        // "HKEY_CURRENT_USER\Software\Tarnwick\"
extern const QString kMutexName;           // "Global/Tarnwick"
extern const QString kVpnKeyFile;          // "data/vpnkey.txt"
extern const QString kHelpFile;            // "data/help_pc.txt"
extern const QString kDeviceListFile;      // "data/DeviceList.csv"
extern const QString kLocalDeviceListFile; // "data/LocalDeviceList.csv"
extern const QString kLogFile;             // "data/log.txt"
extern const QString kEmptyText;           // "", empty but not null

// Settings keys.
extern const QString kKeyKeepPswd;            // "keeppswd"
extern const QString kKeyKeepIp;              // "keepip"
extern const QString kKeyUserName;            // "username"
extern const QString kKeyPassword;            // "password"
extern const QString kKeyDeviceIp;            // "deviceip"
extern const QString kKeyImportTime;          // "importtime"
extern const QString kKeyCustom;              // "custom"
extern const QString kKeyServer;              // "server"
extern const QString kKeyServerPswd;          // "serverpswd"
extern const QString kKeyServerPort;          // "serverPort"
extern const QString kKeyLocalNetRouteDelCmd; // "localNetRouteDelCmd"

// Titles, version and images -------------------------------------------------

extern const QString kAppTitle;        // "调试助手"
extern const QString kVersionText;     // "当前版本: V2.3"
extern const QString kReleaseDateText; // "发布日期: 2022-07-27"
extern const QString kLogoImage;       // ":/pics/vexa_img/logo.png"
extern const QString kBannerImage;     // ":/pics/vexa_img/banner.png"

// Cloud service paths (also the keys that route replies to their handlers) ---

extern const QString kPathLogin;        // "/user/login"
extern const QString kPathLogout;       // "/user/logout"
extern const QString kPathDeviceList;   // "/user/device/list"
extern const QString kPathDeviceStatus; // "/user/device/status"
extern const QString kPathVpnInstruct;  // "/user/device/instruct/vpn"
extern const QString kPathBeats;        // "/user/beats"
extern const QString kPathTestUrl;      // "/device/test/url"

// Cloud request member names (query strings) ---------------------------------

extern const QString kReqToken;          // "token"
extern const QString kReqSn;             // "sn"
extern const QString kReqDevicePassword; // "devicePassword"
extern const QString kReqVpn;            // "vpn"
extern const QString kReqAdminPassword;  // "adminPassword"
extern const QString kReqDomain;         // "domain"
extern const QString kReqVer;            // "ver"

// Cloud reply member names (JSON keys) ----------------------------------------

extern const std::string kReplySucceed;         // "succeed"
extern const std::string kReplyInfo;            // "info"
extern const std::string kReplyError;           // "error"
extern const std::string kReplyToken;           // "token"
extern const std::string kReplyAuth;            // "auth"
extern const std::string kReplyVer;             // "ver"
extern const std::string kReplyPermission;      // "permission"
extern const std::string kReplyCaName;          // "ca-name"
extern const std::string kReplyCaText;          // "ca-text"
extern const std::string kReplyDevices;         // "devices"
extern const std::string kReplySn;              // "sn"
extern const std::string kReplyAlias;           // "alias"
extern const std::string kReplyOnline;          // "online"
extern const std::string kReplyVpn;             // "vpn"
extern const std::string kReplyIp;              // "ip"
extern const std::string kReplyRemark;          // "remark"
extern const std::string kReplyState;           // "state"
extern const std::string kReplyIccid;           // "iccid"
extern const std::string kReplyServerIp;        // "serverIP"
extern const std::string kReplyServerPort;      // "serverPort"
extern const std::string kReplyBind;            // "bind"
extern const std::string kReplyOpenvpnUser;     // "openvpn-user"
extern const std::string kReplyOpenvpnPassword; // "openvpn-password"

// Device status texts and colours, indexed by a panel's state ----------------

enum DeviceStatus {
    StatusOnline = 0,   // "在  线"
    StatusOffline = 1,  // "离  线"
    StatusOccupied = 2, // "占  用", in use by another client
    StatusLinked = 3,   // "联  机", linked to this PC
    StatusLinking = 4,  // "联机中"
    StatusStopping = 5, // "停止中"
};
constexpr int kDeviceStatusCount = 6;
// The two-character texts hold two blanks so that they are as wide as the
// three-character ones.
extern const QString kDeviceStatusTexts[kDeviceStatusCount];
extern const QColor kDeviceStatusColors[kDeviceStatusCount];

// Client identity: a random UUID text in braces, made once per process; the
// bridge calls carry it as the client id.
extern const QString kClientId;

// Panel services and time limits ----------------------------------------------

constexpr quint16 kDiscoveryPort = 43690; // UDP discovery responder
constexpr quint16 kProbePort = 127;       // TCP reachability probe
constexpr int kResolveTimeoutMs = 2000;   // host lookup of the cloud server
constexpr int kDefaultServerPort = 80;
constexpr qint64 kLogMaxBytes = 2097152;        // bound of "data/log.txt"
constexpr int kLogFlushIntervalMs = 250;        // the log's buffers reach the terminal and the file
constexpr int kLogTerminalBufferBytes = 262144; // terminal text held before the writer writes it itself

} // namespace Constants
} // namespace Tarnwick
