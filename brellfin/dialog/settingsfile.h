#pragma once

// The tool's settings file "ip_config.ini" beside the program: its
// sections, keys and defaults.

#include "brellfin/service/serviceconstants.h"

namespace BrellfinUi {

constexpr const char* kIniFileName = "ip_config.ini";
constexpr const char* kSectionIp = "ip";
constexpr const char* kKeyIpInfo = "ipInfo";
constexpr const char* kKeyConnectType = "connect_type";
constexpr const char* kSectionPath = "Path";
constexpr const char* kKeyCurPath = "CurPath";
constexpr const char* kDefaultAddress = "200.200.200.190";
constexpr const char* kDefaultConnectType = "tcp";
constexpr const char* kDefaultCurPath = BrellfinService::kUserDirRoot;
// A panel on the USB link always has this address.
constexpr const char* kUsbAddress = "200.200.201.1";
constexpr const char* kExportDirVariable = "VEXA_EXPORT_DIR";
// Characters read of a value by the controls, and by the connect button for CurPath.
constexpr int kValueChars = 259;
constexpr int kCurPathChars = 511;

} // namespace BrellfinUi
