#pragma once

// Texts, object names, pictures and timings of the settings, help and app
// install pages and of the in-app file chooser.

namespace Tarnwick {
namespace Settings {

// Settings page: object names found again by the slots.
constexpr char kBoxWidgetName[] = "boxWidget";
constexpr char kRemoteBtnName[] = "RemoteBtn";
constexpr char kLocalBtnName[] = "LocalBtn";
constexpr char kImportFileName[] = "ImportFile";
constexpr char kImportTimeName[] = "ImportTime";
constexpr char kEditServerName[] = "EditServer";
constexpr char kEditServerPortName[] = "EditServerPort";
constexpr char kEditServerPswdName[] = "EditServerPswd";
constexpr char kServerTestName[] = "serverTest";
constexpr char kButtonAppVpnName[] = "ButtonAppVpn";

constexpr char kBoxWidgetStyle[] = "QWidget#boxWidget{background-color: transparent;}";
constexpr char kScrollAreaStyle[] = "QScrollArea{border: 0px; background-color: transparent;}";

// Settings page texts.
constexpr char kPannelImport[] = "设备导入";
constexpr char kPannelServer[] = "服务器";
constexpr char kPannelThirdParty[] = "三方程序";
constexpr char kRemoteText[] = "远程调试";
constexpr char kLocalText[] = "本地调试";
constexpr char kImportFileCaption[] = "设备文件:  ";
constexpr char kImportTimeCaption[] = "导入时间:  ";
constexpr char kImportTimeNone[] = "无";
constexpr char kImportTip[] = "导入设备列表";
constexpr char kExportTip[] = "导出设备列表";
constexpr char kServerCaption[] = "服务地址:  ";
constexpr char kServerPortCaption[] = "服务端口:  ";
constexpr char kServerPswdCaption[] = "服务密码:  ";
constexpr char kVpnAppCaption[] = "VPN应用:  ";
constexpr char kTestButton[] = " 测试 ";
constexpr char kTestButtonPattern[] = "  %1  ";
constexpr char kTesting[] = "测试中";
constexpr char kTest[] = "测试";
constexpr char kInstall[] = "安装";
constexpr char kInstalled[] = "已安装";

constexpr char kConfirm[] = "确认";
constexpr char kCancel[] = "取消";
constexpr char kTitleError[] = "错误";
constexpr char kTitleMessage[] = "消息";
constexpr char kTitleImport[] = "设备导入";
constexpr char kTitleExport[] = "导出";
constexpr char kTitleServerTest[] = "服务器测试";
constexpr char kTitleLogExport[] = "日志导出";

constexpr char kImportDialogTitle[] = "选择导入的CSV文件";
constexpr char kExportDialogTitle[] = "选择导出文件夹";
constexpr char kFilterCsv[] = "CSV File(*.csv)";
constexpr char kFilterAll[] = "All Files(*.*)";

constexpr char kWrongFileFormat[] = "错误的设备文件格式, 请检查!";
constexpr char kReplaceQuestion[] = "保存时，原有设备文件将被替换, 是否继续?";
constexpr char kConflictQuestion[] = "设备列表中存在冲突设备, 是否继续？";
constexpr char kEmptyServerNotice[] = "服务地址为空, 将重置为默认地址!";
constexpr char kPortRange[] = "服务端口有效范围为1~65535的整数!";
constexpr char kServerEmpty[] = "服务地址不能为空!";
constexpr char kServerTestOk[] = "服务地址和服务端口配置正确!";
constexpr char kServerTestFailed[] = "服务地址或服务端口不正确!";
constexpr char kNoDevices[] = "设备列表导出失败, 没有任何设备信息!";
constexpr char kListExported[] = "设备列表成功导出到: \n";
constexpr char kListExportFailed[] = "设备列表导出失败, 没有可写权限! \n";
constexpr char kLogExported[] = "日志文件成功导出到: \n";
constexpr char kLogExportFailed[] = "日志文件导出失败, 没有可写权限! \n";
constexpr char kLogExportQuestion[] = "点击确认后，请选择日志导出位置, 确认操作吗？";

constexpr char kExportedListName[] = "/DeviceList.csv";
constexpr char kExportedLocalListName[] = "/LocalDeviceList.csv";
constexpr char kExportedLogName[] = "/log.txt";

constexpr char kIconImport[] = ":/pics/icon/import.png";
constexpr char kIconImportDown[] = ":/pics/icon/import_down.png";
constexpr char kIconExport[] = ":/pics/icon/export.png";
constexpr char kIconExportDown[] = ":/pics/icon/export_down.png";

constexpr int kMinPort = 1;
constexpr int kMaxPort = 65535;
constexpr int kInstallPollMs = 500;
// Calls of the log gesture further apart than this start the count again.
constexpr long long kLogClickGapMs = 1000;
// Quick calls after the first one of a series before the question opens.
constexpr int kLogClickLimit = 4;

// Android apps the pages check for.
constexpr char kAppKeyVpn[] = "vpn";
constexpr char kAppKeyVnc[] = "vnc";
constexpr char kPackageVpn[] = "de.blinkt.openvpn";

// Help page.
constexpr char kHelpTextStyle[] = "QTextEdit{border: 0px; background-color: transparent;}";

// App install panel.
constexpr char kVpnAppLabel[] = "VPN应用:";
constexpr char kVpnMissing[] = "检测到VPN未安装，请安装!";
constexpr char kWarningStyle[] = "QLabel{color: \"red\";}";

// File chooser.
constexpr char kEnvAndroidData[] = "ANDROID_DATA";
constexpr char kEnvAndroidStorage[] = "ANDROID_STORAGE";
constexpr char kEnvExternalStorage[] = "EXTERNAL_STORAGE";
constexpr char kDirSelectName[] = "DirSelect";
constexpr char kOpenDirName[] = "OpenDir";
constexpr char kSelectName[] = "Select";
constexpr char kFilesTableName[] = "FilesTable";
constexpr char kDirSelectCaption[] = "主目录";
constexpr char kToUpText[] = "向上";
constexpr char kOpenText[] = "打开";
constexpr char kSelectText[] = "选择";
constexpr char kIconToUp[] = ":/pics/icon/toup.png";
constexpr char kIconFolder[] = ":/pics/img/filebrowser.png";
constexpr char kIconSelected[] = ":/pics/icon/selected.png";
constexpr char kIconFile[] = ":/pics/icon/file.png";
constexpr char kCsvSuffix[] = "csv";
constexpr int kFolderSelectMode = 1;

} // namespace Settings
} // namespace Tarnwick
