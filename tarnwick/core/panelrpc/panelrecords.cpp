#include "tarnwick/core/panelrpc/panelrecords.h"

#include <mutex>

namespace FF {
namespace utils {

namespace {

// Plain field encodings: no type names inside a record.
void put(IBuffer* buffer, int value)
{
    Serialize(buffer, value);
}
void put(IBuffer* buffer, const std::string& value)
{
    Serialize(buffer, value);
}
void put(IBuffer* buffer, const String& value)
{
    value.serialize(buffer);
}
// A double is its 8 raw IEEE 754 bytes, little-endian as the machine holds it.
void put(IBuffer* buffer, double value)
{
    buffer->write(&value, sizeof value);
}

bool get(IBuffer* buffer, int& value)
{
    return Deserialize(buffer, value);
}
bool get(IBuffer* buffer, std::string& value)
{
    return Deserialize(buffer, value);
}
bool get(IBuffer* buffer, String& value)
{
    return value.deserialize(buffer);
}
bool get(IBuffer* buffer, double& value)
{
    return buffer->read(&value, sizeof value);
}

// Applies f to every field of a record in wire order; false as soon as one fails.
template <class F>
bool fields(stSysInfo& r, F f)
{
    return f(r.text1) && f(r.text2) && f(r.text3) && f(r.text4);
}
template <class F>
bool fields(stRunTimeInfo& r, F f)
{
    return f(r.text1) && f(r.text2) && f(r.text3) && f(r.text4) && f(r.text5) && f(r.text6);
}
template <class F>
bool fields(stSpaceInfo& r, F f)
{
    return f(r.value1) && f(r.value2) && f(r.value3) && f(r.value4);
}
template <class F>
bool fields(stAdapterCommonInfo& r, F f)
{
    return f(r.value1) && f(r.value2) && f(r.kind) && f(r.text1) && f(r.text2) && f(r.text3) && f(r.text4);
}
template <class F>
bool fields(st4GConnectInfo& r, F f)
{
    return f(r.value1) && f(r.value2) && f(r.number) && f(r.text1) && f(r.text2) && f(r.text3) && f(r.text4)
           && f(r.text5);
}
template <class F>
bool fields(stWifiConnectInfo& r, F f)
{
    return f(r.value1) && f(r.value2) && f(r.number) && f(r.text1) && f(r.text2) && f(r.text3);
}
template <class F>
bool fields(stWifiHotspotInfo& r, F f)
{
    return f(r.value1) && f(r.value2) && f(r.value3) && f(r.text1) && f(r.text2) && f(r.text3);
}
template <class F>
bool fields(mrcInfo& r, F f)
{
    return f(r.text) && f(r.value);
}
template <class F>
bool fields(DeviceVPNInfo& r, F f)
{
    return f(r.value1) && f(r.text1) && f(r.value2) && f(r.text2) && f(r.text3) && f(r.value3);
}
template <class F>
bool fields(BridgeStatus& r, F f)
{
    return f(r.status) && f(r.holder);
}

template <class Record>
void writeRecord(IBuffer* buffer, const Record& value)
{
    Record copy = value;
    fields(copy, [buffer](auto& field) {
        put(buffer, field);
        return true;
    });
}

// Reads into a default record and hands it over only when every field was read.
template <class Record>
bool readRecord(IBuffer* buffer, Record& value)
{
    Record fresh;
    if (!fields(fresh, [buffer](auto& field) { return get(buffer, field); }))
        return false;
    value = std::move(fresh);
    return true;
}

} // namespace

#define TW_PANEL_RECORD_IO(Record)                                                                                     \
    void Serialize(IBuffer* buffer, const Record& value)                                                               \
    {                                                                                                                  \
        writeRecord(buffer, value);                                                                                    \
    }                                                                                                                  \
    bool Deserialize(IBuffer* buffer, Record& value)                                                                   \
    {                                                                                                                  \
        return readRecord(buffer, value);                                                                              \
    }

TW_PANEL_RECORD_IO(stSysInfo)
TW_PANEL_RECORD_IO(stRunTimeInfo)
TW_PANEL_RECORD_IO(stSpaceInfo)
TW_PANEL_RECORD_IO(stAdapterCommonInfo)
TW_PANEL_RECORD_IO(st4GConnectInfo)
TW_PANEL_RECORD_IO(stWifiConnectInfo)
TW_PANEL_RECORD_IO(stWifiHotspotInfo)
TW_PANEL_RECORD_IO(mrcInfo)
TW_PANEL_RECORD_IO(DeviceVPNInfo)
TW_PANEL_RECORD_IO(BridgeStatus)

#undef TW_PANEL_RECORD_IO

} // namespace utils
} // namespace FF

namespace Tarnwick {

void registerPanelMetaTypes()
{
    static std::once_flag once;
    std::call_once(once, [] {
        qRegisterMetaType<stSysInfo>("stSysInfo");
        qRegisterMetaType<stRunTimeInfo>("stRunTimeInfo");
        qRegisterMetaType<stSpaceInfo>("stSpaceInfo");
        qRegisterMetaType<stAdapterCommonInfo>("stAdapterCommonInfo");
        qRegisterMetaType<st4GConnectInfo>("st4GConnectInfo");
        qRegisterMetaType<stWifiConnectInfo>("stWifiConnectInfo");
        qRegisterMetaType<stWifiHotspotInfo>("stWifiHotspotInfo");
        qRegisterMetaType<stConfInfo>("stConfInfo");
        qRegisterMetaType<std::string>("std::string");
        // The spellings of the signal signatures as moc normalizes them, and
        // the compact ones, in case a receiver names the type itself.
        qRegisterMetaType<PanelAdapterList>("std::vector<std::pair<std::string,int> >");
        qRegisterMetaType<PanelAdapterList>("std::vector<std::pair<std::string,int>>");
        qRegisterMetaType<PanelNameList>("std::vector<std::string>");
    });
}

} // namespace Tarnwick
