#pragma once

// The records exchanged with a panel's RPC services. Field order is the
// declaration order and the wire order; every record travels behind its type
// name, fields without names of their own.
//
// Include this header before framework/rpc/typedcall.h, callscheme.h or
// framework/utils/pack.h: their templates call FF::utils::Serialize and
// Deserialize by qualified name and see only the overloads declared before
// them (the compiler says so when the order is wrong).

#include "framework/utils/ffstring.h"
#include "framework/utils/serialize.h"

#include <QMetaType>

#include <string>
#include <utility>
#include <vector>

// Result of "GetSysInfo".
struct stSysInfo {
    std::string text1;
    std::string text2;
    std::string text3;
    std::string text4;
};

// Result of "GetRunTimeInfo".
struct stRunTimeInfo {
    std::string text1;
    std::string text2;
    std::string text3;
    std::string text4;
    std::string text5;
    std::string text6;
};

// Result of "GetSpaceInfo".
struct stSpaceInfo {
    int value1 = -1;
    int value2 = -1;
    int value3 = -1;
    int value4 = -1;
};

// Adapter kinds, the third number of stAdapterCommonInfo.
enum AdapterKind : int { AdapterPlain = 0, Adapter4G = 1, AdapterWifi = 2 };
// Wi-Fi work modes.
enum WifiWorkMode : int { WifiModeClient = 0, WifiModeHotspot = 1 };

// Result of "GetNetworkAdapterCommonInfo", argument of "SetNetworkAdapterCommonInfo".
struct stAdapterCommonInfo {
    int value1 = -1;
    int value2 = -1;
    int kind = -1;
    std::string text1;
    std::string text2;
    std::string text3;
    std::string text4;
};

// Result of "Get4GConnectInfo", argument of "Set4GConnectInfo".
struct st4GConnectInfo {
    int value1 = -1;
    int value2 = -1;
    double number = 0.0;
    std::string text1;
    std::string text2;
    std::string text3;
    std::string text4;
    std::string text5;
};

// Result of "GetWifiConnectInfo", argument of "SetWifiConnectInfo".
struct stWifiConnectInfo {
    int value1 = -1;
    int value2 = -1;
    double number = 0.0;
    std::string text1;
    std::string text2;
    std::string text3;
};

// Result of "Get_WifiHotspotInfo", argument of "Set_WifiHotspotInfo".
struct stWifiHotspotInfo {
    int value1 = -1;
    int value2 = -1;
    int value3 = -1;
    std::string text1;
    std::string text2;
    std::string text3;
};

// Argument of "DownloadMrcFile".
struct mrcInfo {
    std::string text;
    int value = -1;
};

// Result of "getDeviceVPNInfo".
struct DeviceVPNInfo {
    int value1 = 1;
    std::string text1;
    int value2 = 0;
    std::string text2; // the panel's device name, kept by LocalDeviceObject
    std::string text3;
    int value3 = 0;
};

// Result of "bridgeBeat" and "bridgeStatus": status 0 means no bridge is held.
struct BridgeStatus {
    int status = 1;
    FF::utils::String holder;
};

// What the device information sequence collects: the runtime texts, the
// system texts and the storage figures.
struct stConfInfo {
    stRunTimeInfo runTime;
    stSysInfo sys;
    stSpaceInfo space;
};

using PanelAdapterList = std::vector<std::pair<std::string, int>>;
using PanelNameList = std::vector<std::string>;

namespace FF {
namespace utils {

#define TW_PANEL_RECORD(Record)                                                                                        \
    void Serialize(IBuffer* buffer, const Record& value);                                                              \
    bool Deserialize(IBuffer* buffer, Record& value);                                                                  \
    FF_UTILS_TYPE_NAME(#Record, Record)

TW_PANEL_RECORD(stSysInfo)
TW_PANEL_RECORD(stRunTimeInfo)
TW_PANEL_RECORD(stSpaceInfo)
TW_PANEL_RECORD(stAdapterCommonInfo)
TW_PANEL_RECORD(st4GConnectInfo)
TW_PANEL_RECORD(stWifiConnectInfo)
TW_PANEL_RECORD(stWifiHotspotInfo)
TW_PANEL_RECORD(mrcInfo)
TW_PANEL_RECORD(DeviceVPNInfo)
TW_PANEL_RECORD(BridgeStatus)

#undef TW_PANEL_RECORD

} // namespace utils
} // namespace FF

Q_DECLARE_METATYPE(stSysInfo)
Q_DECLARE_METATYPE(stRunTimeInfo)
Q_DECLARE_METATYPE(stSpaceInfo)
Q_DECLARE_METATYPE(stAdapterCommonInfo)
Q_DECLARE_METATYPE(st4GConnectInfo)
Q_DECLARE_METATYPE(stWifiConnectInfo)
Q_DECLARE_METATYPE(stWifiHotspotInfo)
Q_DECLARE_METATYPE(stConfInfo)
Q_DECLARE_METATYPE(std::string)
Q_DECLARE_METATYPE(PanelAdapterList)
Q_DECLARE_METATYPE(PanelNameList)

namespace Tarnwick {

// Registers every type that the device messages carry across threads in
// their signals, under the spellings the signals use. Idempotent; the
// messages call it when they are built.
void registerPanelMetaTypes();

} // namespace Tarnwick
