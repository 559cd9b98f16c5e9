#pragma once

// The tool's resources for the window layer: the dialog templates of the
// main dialog, the queue and log pages and the password dialog in both
// languages, the two popup menus of the queue and the log, the status
// bitmaps; and the shell namespace's texts.

namespace BrellfinUi {

// Registers everything once; later calls do nothing.
void registerResources();

constexpr int kMainDialog = 102;
constexpr int kQueuePage = 139;
constexpr int kLogPage = 140;
constexpr int kPasswordDialog = 152;
constexpr int kQueueMenu = 149;
constexpr int kLogMenu = 150;
constexpr int kBitmapConnected = 141;
constexpr int kBitmapDisconnected = 142;

// Queue menu commands.
constexpr unsigned kCmdPause = 32805;
constexpr unsigned kCmdContinue = 32806;
constexpr unsigned kCmdDelete = 32807;
constexpr unsigned kCmdDeleteAll = 32801;
// Log menu commands.
constexpr unsigned kCmdExport = 32809;
constexpr unsigned kCmdEmpty = 32811;

// Dialog items.
constexpr int kIdLocalPath = 1001;
constexpr int kIdLocalUp = 1002;
constexpr int kIdRemoteFrame = 1012;
constexpr int kIdRemoteList = 1014;
constexpr int kIdRemoteUp = 1017;
constexpr int kIdRemotePath = 1018;
constexpr int kIdLocalList = 1037;
constexpr int kIdAddress = 1038;
constexpr int kIdConnect = 1039;
constexpr int kIdQueueList = 1042;
constexpr int kIdDestDir = 1043;
constexpr int kIdLocalRefresh = 1045;
constexpr int kIdRemoteRefresh = 1047;
constexpr int kIdPassword = 1048;
constexpr int kIdLog = 1049;
constexpr int kIdConnectType = 1052;
constexpr int kIdVertBar = 1055;
constexpr int kIdLocalFrame = 1056;
constexpr int kIdHorzBar = 1060;
constexpr int kIdQueueTab = 1062;
constexpr int kIdStatusPicture = 1064;
constexpr int kIdStatusText = 1066;

} // namespace BrellfinUi
