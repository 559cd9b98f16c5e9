#include "testing/panelservices/panelmethodtable.h"

#include "testing/fakepanel/fakepanelconstants.h"
#include "testing/fakepanel/wirereader.h"

#include <cstring>
#include <stdexcept>

namespace Fake {

namespace {

constexpr const char* kString = "FF::utils::String";
constexpr const char* kList = "std::vector<std::string>";
constexpr const char* kPairs = "std::vector<std::pair<std::string, int>>";

// The end offset of every field of layout in bytes; false when they run short.
bool fieldEnds(const std::string& layout, const uint8_t* data, size_t size, std::vector<size_t>& ends)
{
    WireReader reader(data, size);
    for (char field : layout) {
        bool ok = true;
        uint32_t u = 0;
        uint8_t b = 0;
        std::string s;
        std::vector<uint8_t> raw;
        switch (field) {
        case 'i': ok = reader.u32(u); break;
        case 'b': ok = reader.u8(b); break;
        case 'd': ok = reader.raw(8, raw); break;
        case 's': ok = reader.string(s); break;
        case 'L':
            ok = reader.u32(u);
            for (uint32_t n = 0; ok && n < u; ++n)
                ok = reader.string(s);
            break;
        case 'P':
            ok = reader.u32(u);
            for (uint32_t n = 0, number = 0; ok && n < u; ++n)
                ok = reader.string(s) && reader.u32(number);
            break;
        default: ok = false;
        }
        if (!ok)
            return false;
        ends.push_back(reader.pos());
    }
    return true;
}

std::vector<uint8_t> zeroValue(const std::string& layout)
{
    WireWriter out;
    for (char field : layout) {
        switch (field) {
        case 'b': out.u8(0); break;
        case 'd': out.u64(0); break;
        default: out.u32(0); break; // i, and the zero length or count of s, L, P
        }
    }
    return out.take();
}

std::string defaultWrongName(const std::string& right)
{
    if (right == "bool")
        return "int";
    return right.substr(0, right.size() - 1);
}

} // namespace

int32_t PanelArg::integer() const
{
    int32_t v = 0;
    if (value.size() == 4)
        std::memcpy(&v, value.data(), 4);
    return v;
}

bool PanelArg::boolean() const
{
    return value.size() == 1 && value[0] != 0;
}

std::string PanelArg::text() const
{
    WireReader reader(value);
    std::string s;
    reader.string(s);
    return s;
}

std::vector<uint8_t> dropLastField(const std::string& layout, const std::vector<uint8_t>& value)
{
    std::vector<size_t> ends;
    if (!fieldEnds(layout, value.data(), value.size(), ends) || ends.empty())
        return value;
    size_t keep = 0;
    if (layout.size() > 1)
        keep = ends[ends.size() - 2];
    else
        keep = value.empty() ? 0 : value.size() - 1;
    return std::vector<uint8_t>(value.begin(), value.begin() + keep);
}

std::string PanelMethodTable::layoutOf(const std::string& typeName)
{
    static const std::map<std::string, std::string> layouts = {
        {"int", "i"},
        {"bool", "b"},
        {kString, "s"},
        {kList, "L"},
        {kPairs, "P"},
        {"stSysInfo", "ssss"},
        {"stRunTimeInfo", "ssssss"},
        {"stSpaceInfo", "iiii"},
        {"stAdapterCommonInfo", "iiissss"},
        {"st4GConnectInfo", "iidsssss"},
        {"stWifiConnectInfo", "iidsss"},
        {"stWifiHotspotInfo", "iiisss"},
        {"mrcInfo", "si"},
        {"DeviceVPNInfo", "isissi"},
        {"BridgeStatus", "is"},
    };
    const auto found = layouts.find(typeName);
    return found == layouts.end() ? std::string() : found->second;
}

std::vector<PanelMethodSpec> PanelMethodTable::deviceMethods()
{
    return {
        {"projectHasPassword", {}, "bool"},
        {"projectCheckPassword", {kString}, "bool"},
        {"GetRunTimeInfo", {}, "stRunTimeInfo"},
        {"GetSysInfo", {}, "stSysInfo"},
        {"GetSpaceInfo", {}, "stSpaceInfo"},
        {"GetNetworkAdapterCommonInfo", {"int"}, "stAdapterCommonInfo"},
        {"SetNetworkAdapterCommonInfo", {"int", "stAdapterCommonInfo"}, "int"},
        {"Get4GConnectInfo", {"int"}, "st4GConnectInfo"},
        {"Set4GConnectInfo", {"int", "st4GConnectInfo"}, "int"},
        {"Get_Wifi_WorkMode", {"int"}, "int"},
        {"Set_Wifi_WorkMode", {"int", "int"}, "int"},
        {"GetWifiConnectInfo", {"int"}, "stWifiConnectInfo"},
        {"SetWifiConnectInfo", {"int", "stWifiConnectInfo"}, "int"},
        {"Get_WifiHotspotInfo", {"int"}, "stWifiHotspotInfo"},
        {"Set_WifiHotspotInfo", {"int", "stWifiHotspotInfo"}, "int"},
        {"GetNetworkAdapters", {}, kPairs},
        {"GetWifiAdapters", {}, kList},
        {"DownloadMrcFile", {"mrcInfo"}, "int"},
    };
}

std::vector<PanelMethodSpec> PanelMethodTable::sessionMethods()
{
    return {
        {"reloadData", {}, "int"},
        {"getICCID", {}, kString},
    };
}

std::vector<PanelMethodSpec> PanelMethodTable::serviceMethods()
{
    return {
        {"getProductSn", {}, kString},
        {"getDeviceVPNInfo", {}, "DeviceVPNInfo"},
        {"getVpnState", {}, "int"},
        {"bridgeControl", {kString, "bool"}, "int"},
        {"bridgeBeat", {kString}, "BridgeStatus"},
        {"bridgeStatus", {}, "BridgeStatus"},
        {"hasPassword", {}, "bool"},
        {"checkPassword", {kString}, "bool"},
        {"changeServerIP", {kString}, "int"},
        {"getServerIP", {}, kString},
    };
}

PanelMethodTable::PanelMethodTable(FakePanelService& service, std::vector<PanelMethodSpec> methods)
    : m_service(service)
{
    for (auto& spec : methods) {
        const std::string name = spec.name;
        Entry entry;
        entry.result = zeroValue(layoutOf(spec.resultType));
        entry.spec = std::move(spec);
        m_calls->entries[name] = std::move(entry);
        registerMethod(name);
    }
}

PanelMethodTable::~PanelMethodTable()
{
    for (const auto& entry : m_calls->entries)
        m_service.removeMethod(entry.first);
}

void PanelMethodTable::registerMethod(const std::string& name)
{
    m_service.addMethod(
        name, [calls = m_calls, name](MethodArgs& args, MethodResult& result) { calls->serve(name, args, result); });
}

void PanelMethodTable::setResult(const std::string& method, std::vector<uint8_t> value)
{
    std::lock_guard<std::mutex> lock(m_calls->mutex);
    m_calls->entries.at(method).result = std::move(value);
}

void PanelMethodTable::setResponder(const std::string& method, Responder responder)
{
    std::lock_guard<std::mutex> lock(m_calls->mutex);
    m_calls->entries.at(method).responder = std::move(responder);
}

void PanelMethodTable::setAnswer(const std::string& method, PanelAnswer answer, const std::string& wrongTypeName)
{
    {
        std::lock_guard<std::mutex> lock(m_calls->mutex);
        Entry& entry = m_calls->entries.at(method);
        entry.answer = answer;
        entry.wrongTypeName = wrongTypeName.empty() ? defaultWrongName(entry.spec.resultType) : wrongTypeName;
    }
    if (answer == PanelAnswer::Unregistered)
        m_service.removeMethod(method);
    else
        registerMethod(method);
}

std::vector<std::vector<PanelArg>> PanelMethodTable::argsOf(const std::string& method) const
{
    std::lock_guard<std::mutex> lock(m_calls->mutex);
    return m_calls->entries.at(method).accepted;
}

std::vector<std::string> PanelMethodTable::rejections() const
{
    std::lock_guard<std::mutex> lock(m_calls->mutex);
    return m_calls->rejections;
}

void PanelMethodTable::Calls::serve(const std::string& name, MethodArgs& args, MethodResult& result)
{
    std::unique_lock<std::mutex> lock(mutex);
    Entry& entry = entries.at(name);
    auto refuse = [&](const std::string& why) {
        rejections.push_back(name + ": " + why);
        throw ArgsError(why);
    };

    if (args.count() != entry.spec.argTypes.size())
        refuse("argument count " + std::to_string(args.count()));
    std::vector<PanelArg> accepted;
    for (const std::string& type : entry.spec.argTypes) {
        std::string got;
        try {
            got = args.readTypeName();
        } catch (const ArgsError&) {
            refuse("type name missing");
        }
        if (got != type)
            refuse("type " + got + " where " + type + " was expected");
        const std::vector<uint8_t> rest = args.plain().rest();
        std::vector<size_t> ends;
        if (!fieldEnds(layoutOf(type), rest.data(), rest.size(), ends))
            refuse("value of " + type + " short");
        const size_t size = ends.empty() ? 0 : ends.back();
        std::vector<uint8_t> value;
        args.plain().raw(size, value);
        accepted.push_back(PanelArg{type, value});
    }
    if (!args.atEnd())
        refuse("bytes after the last argument");
    entry.accepted.push_back(accepted);

    std::vector<uint8_t> value = entry.result;
    if (entry.responder) {
        Responder responder = entry.responder;
        lock.unlock();
        value = responder(accepted);
        lock.lock();
    }
    const std::string layout = layoutOf(entry.spec.resultType);
    switch (entry.answer) {
    case PanelAnswer::Silent: result.setSilent(); return;
    case PanelAnswer::WrongType: result.addRecord(entry.wrongTypeName, value); return;
    case PanelAnswer::Short: result.addRecord(entry.spec.resultType, dropLastField(layout, value)); return;
    default: result.addRecord(entry.spec.resultType, value);
    }
}

} // namespace Fake
